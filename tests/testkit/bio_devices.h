// The simulated biometric devices of the BioAPI stand-in (bioapi100.dll), steered from a test:
// their state is shared with every process that loads the stand-in, so the devices, the finger
// and the records set up here are what Braxial sees inside the Notes client or the console.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "braxial_api.h"
#include "sim_bioapi.h"

namespace testkit {

class BioDevices {
public:
    // Loads the stand-in beside the test program and forgets every device. Construct it after
    // whatever points %TEMP% at a folder of its own (a NotesScenario): that folder gets the
    // stand-in's state file, so that the client started there shares it.
    BioDevices();
    // Forgets every device again (the state outlives the process), frees the stand-in.
    ~BioDevices();
    BioDevices(const BioDevices &) = delete;
    BioDevices &operator=(const BioDevices &) = delete;

    bool ok() const { return ok_; }
    // A fully able device named `name`; `id` makes its UUID and device id.
    void AddDevice(const char *name, uint8_t id);
    // Forgets every device (the finger becomes 1).
    void Reset();
    // The finger that the next captures and enrolments read.
    void SetFinger(uint32_t finger);
    // A BIR string enrolled on the device `name` with the current finger, through Braxial.dll
    // loaded for the call; "" on failure.
    std::string Enrol(const char *name);

private:
    HMODULE bioapi_ = nullptr;
    void(__cdecl *reset_)() = nullptr;
    void(__cdecl *addModule_)(const SimBspModule *) = nullptr;
    void(__cdecl *setFinger_)(uint32_t) = nullptr;
    bool ok_ = false;
};

}  // namespace testkit
