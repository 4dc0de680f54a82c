// HA-API vendors with several technologies each: every technology is a reader of its own, and
// opening a reader loads the vendor module its own technology names, for the second vendor as
// for the first.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "braxial_fixture.h"
#include "testkit.h"

namespace {

using namespace braxialtest;

struct Technology {
    const char *key;   // under SOFTWARE\HAAPI\Vendors
    const char *name;  // TechnologyName: the reader's name
};

const Technology kTechnologies[] = {
    {"Vendor1\\Tech1", "Vendor One Finger"},
    {"Vendor1\\Tech2", "Vendor One Palm"},
    {"Vendor2\\Tech1", "Vendor Two Iris"},
    {"Vendor2\\Tech2", "Vendor Two Face"},
};

bool WriteTechnology(const Technology &t, const std::string &module)
{
    const std::string path = std::string(SIMHAAPI_VENDORS_KEY) + "\\" + t.key;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const std::pair<const char *, std::string> values[] = {
        {"TechnologyName", t.name},
        {"ModuleName", module},
        {"CaptureFunctionName", "SimHaCapture"},
        {"EnrollmentFunctionName", "SimHaEnroll"},
        {"FreeFunctionName", "SimHaFree"},
        {"InformationFunctionName", "SimHaInformation"},
        {"LiveVerifyFunctionName", "SimHaLiveVerify"},
        {"ProcessFunctionName", "SimHaProcess"},
        {"VerifyFunctionName", "SimHaVerify"},
    };
    bool ok = true;
    for (const auto &v : values)
        ok = ok && RegSetValueExA(key, v.first, 0, REG_SZ, reinterpret_cast<const BYTE *>(v.second.c_str()),
                                  static_cast<DWORD>(v.second.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

using HaApiVendors = BraxialTest;

// Each technology gets a vendor module of its own (copies of the stand-in under their own names),
// so the module a reader loads tells which technology record the reader was given.
TEST_F(HaApiVendors, EachReaderOpensTheModuleOfItsOwnTechnology)
{
    testkit::TempDir dir;
    std::vector<std::string> modules, names;
    for (const Technology &t : kTechnologies) {
        std::string module = dir.file("vendor" + std::to_string(modules.size() + 1) + ".dll");
        ASSERT_TRUE(CopyFileA((testkit::ExeDir() + "simhaapi.dll").c_str(), module.c_str(), FALSE));
        ASSERT_TRUE(WriteTechnology(t, module));
        modules.push_back(module);
        names.push_back(t.name);
    }
    LoadBraxial();
    EXPECT_EQ(names, ReaderNames());  // vendor by vendor, technology by technology
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(nullptr, GetModuleHandleA(modules[i].c_str()));
        std::string bir = Enrol(names[i].c_str());
        ASSERT_FALSE(bir.empty()) << Log();
        // The record names the reader it was made with, and that reader's own module did it.
        EXPECT_EQ(names[i], bir.substr(bir.size() - names[i].size()));
        EXPECT_NE(nullptr, GetModuleHandleA(modules[i].c_str()));
        for (std::size_t j = i + 1; j < modules.size(); ++j)
            EXPECT_EQ(nullptr, GetModuleHandleA(modules[j].c_str())) << "opened for " << names[i] << ": " << modules[j];
    }
    // Braxial keeps vendor modules for the life of the process: given back here, so that the
    // folder can go.
    UnloadBraxial();
    for (const std::string &module : modules)
        while (HMODULE loaded = GetModuleHandleA(module.c_str()))
            FreeLibrary(loaded);
}

}  // namespace
