// What the Braxial tests share: Braxial.dll loaded afresh for each test with both stand-ins
// (bioapi100.dll with simulated modules, simhaapi.dll with its registry entries) steered through
// their control exports, the Braxial log captured, and dialog flows run on a second thread.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bio_backend.h"
#include "braxial_api.h"
#include "dialog_flow.h"
#include "sim_bioapi.h"
#include "sim_haapi.h"

namespace braxialtest {

constexpr DWORD kWindowWait = 10000;

// The stand-ins' controls, typed.
struct BioApiSim {
    void(__cdecl *Reset)();
    void(__cdecl *AddModule)(const SimBspModule *module);
    void(__cdecl *SetFinger)(uint32_t finger);
    void(__cdecl *FailNext)(const char *function, uint32_t code);
    uint32_t(__cdecl *CallCount)(const char *function);
    uint32_t(__cdecl *LastEnrollPurpose)();
    uint32_t(__cdecl *LoadedCount)();
    uint32_t(__cdecl *AttachedCount)();
};
struct HaApiSim {
    int(__cdecl *InstallVendors)();
    void(__cdecl *RemoveVendors)();
    void(__cdecl *Reset)();
    void(__cdecl *SetFinger)(uint32_t finger);
    void(__cdecl *SetMatchResult)(uint32_t result);
    void(__cdecl *SetInteractive)(int interactive);
    void(__cdecl *CancelNext)();
    void(__cdecl *FailNext)(const char *function, uint32_t code);
    uint32_t(__cdecl *CallCount)(const char *function);
    uint32_t(__cdecl *OutstandingBlocks)();
};

// Operations of a fully able simulated module.
constexpr uint32_t kAllOperations =
    BioAPI_CAPTURE | BioAPI_PROCESS | BioAPI_VERIFYMATCH | BioAPI_ENROLL | BioAPI_VERIFY;

// A simulated BSP module named `description`; `id` makes its UUID and device id.
SimBspModule Module(const char *description, uint8_t id, uint32_t operations = kAllOperations,
                    uint32_t enrollPurposes = 1u << 1, uint8_t captureType = 2, bool signature = false);

class BraxialTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads Braxial (its log at level 5 into C:\MV_BioAPI.log). Add modules before or after.
    void LoadBraxial();
    void UnloadBraxial();
    // The Braxial log written so far.
    std::string Log() const;
    // Every reader name in table order (rebuilds the table).
    std::vector<std::string> ReaderNames();
    // Enrols on `reader` through the two-call protocol; the BIR string, empty on failure.
    std::string Enrol(const char *reader);
    std::string Capture(const char *reader);

    HMODULE braxial_ = nullptr;
    HMODULE bioapi_ = nullptr;
    HMODULE haapi_ = nullptr;
    BraxialApi api_ = {};  // Braxial's exports, typed
    BioApiSim bio_ = {};
    HaApiSim ha_ = {};
};

// Dialog flows run on a second thread (testkit's).
using FlowThread = testkit::DialogFlow;

// A BIR string as bytes.
inline const uint8_t *Bytes(const std::string &s)
{
    return reinterpret_cast<const uint8_t *>(s.data());
}
inline uint32_t Size(const std::string &s)
{
    return static_cast<uint32_t>(s.size());
}

}  // namespace braxialtest
