// The biometric stand-ins as the product and the demo use them: state set by simbioctl.exe in
// another process is what the framework and the vendor module answer here.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "library_loader.h"
#include "sim_bioapi.h"
#include "sim_haapi.h"
#include "testkit.h"

namespace {

template <typename F>
F Entry(HMODULE module, const char *name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

int Ctl(const std::string &arguments)
{
    return testkit::RunProcess("\"" + testkit::ExeDir() + "simbioctl.exe\" " + arguments);
}

void *BioAPI Alloc(uint32_t size, void *)
{
    return GlobalAlloc(GPTR, size);
}
void BioAPI Release(void *block, void *)
{
    if (block != nullptr)
        GlobalFree(block);
}
void *BioAPI Realloc(void *block, uint32_t size, void *)
{
    return GlobalReAlloc(block, size, GMEM_MOVEABLE);
}
void *BioAPI Calloc(uint32_t count, uint32_t size, void *)
{
    return GlobalAlloc(GPTR, static_cast<SIZE_T>(count) * size);
}

class SimBiometric : public testing::Test {
protected:
    void SetUp() override
    {
        bioapi_ = LoadProductLibrary("bioapi100.dll");
        haapi_ = LoadProductLibrary("simhaapi.dll");
        ASSERT_NE(nullptr, bioapi_);
        ASSERT_NE(nullptr, haapi_);
        ASSERT_EQ(0, Ctl("reset"));
    }
    void TearDown() override
    {
        Ctl("reset");
        Ctl("ha-remove");
        FreeLibrary(bioapi_);
        FreeLibrary(haapi_);
    }
    HMODULE bioapi_ = nullptr, haapi_ = nullptr;
};

TEST_F(SimBiometric, ModulesAndFingerSetByTheControlToolAreWhatTheFrameworkAnswers)
{
    ASSERT_EQ(0, Ctl("add-module \"Demo Reader\" 0x6D 0x8 4 1"));
    ASSERT_EQ(0, Ctl("add-module \"Second Reader\""));
    ASSERT_EQ(0, Ctl("finger 5"));
    auto init = Entry<BioAPI_RETURN(BioAPI *)(const BioAPI_VERSION *, uint32_t, const void *, uint32_t, const void *)>(
        bioapi_, "BioAPI_Init");
    auto enumModules =
        Entry<BioAPI_RETURN(BioAPI *)(BioAPI_BSP_SCHEMA *, uint32_t, uint32_t *, uint32_t *)>(bioapi_, "BioAPI_EnumModules");
    ASSERT_NE(nullptr, init);
    ASSERT_NE(nullptr, enumModules);
    BioAPI_VERSION version = {1, 10};
    ASSERT_EQ(0u, init(&version, 0, nullptr, 0, nullptr));
    uint32_t needed = 0, returned = 0;
    ASSERT_EQ(0u, enumModules(nullptr, 0, &needed, &returned));
    ASSERT_EQ(2u, needed);
    BioAPI_BSP_SCHEMA schemas[2] = {};
    ASSERT_EQ(0u, enumModules(schemas, 2, &needed, &returned));
    EXPECT_EQ(2u, returned);
    EXPECT_STREQ("Demo Reader", schemas[0].Description);
    EXPECT_STREQ("Second Reader", schemas[1].Description);
    EXPECT_EQ(0x6Du, schemas[0].Operations);
    EXPECT_NE(0, std::memcmp(schemas[0].ModuleId, schemas[1].ModuleId, 16));

    auto load = Entry<BioAPI_RETURN(BioAPI *)(const BioAPI_UUID *, uint32_t, void *, void *)>(bioapi_, "BioAPI_ModuleLoad");
    auto attach = Entry<BioAPI_RETURN(BioAPI *)(const BioAPI_UUID *, const BioAPI_VERSION *, const BioAPI_MEMORY_FUNCS *,
                                                uint32_t, uint32_t, uint32_t, uint32_t, void *, uint32_t, const void *,
                                                BioAPI_HANDLE *)>(bioapi_, "BioAPI_ModuleAttach");
    auto enroll = Entry<BioAPI_RETURN(BioAPI *)(BioAPI_HANDLE, uint8_t, const BioAPI_INPUT_BIR *, BioAPI_BIR_HANDLE *,
                                                const BioAPI_DATA *, int32_t, BioAPI_BIR_HANDLE *)>(bioapi_, "BioAPI_Enroll");
    auto fromHandle =
        Entry<BioAPI_RETURN(BioAPI *)(BioAPI_HANDLE, BioAPI_BIR_HANDLE, BioAPI_BIR **)>(bioapi_, "BioAPI_GetBIRFromHandle");
    BioAPI_MEMORY_FUNCS memory = {Alloc, Release, Realloc, Calloc, nullptr};
    ASSERT_EQ(0u, load(&schemas[0].ModuleId, 0, nullptr, nullptr));
    BioAPI_HANDLE module = 0;
    ASSERT_EQ(0u, attach(&schemas[0].ModuleId, &version, &memory, schemas[0].DeviceId, 0, 0, 0, nullptr, 0, nullptr,
                         &module));
    BioAPI_BIR_HANDLE templ = -1;
    // Purpose 1 is refused (the mask allows 3 only); the failure set from the tool comes next.
    EXPECT_EQ(static_cast<uint32_t>(BioAPIERR_BSP_PURPOSE_NOT_SUPPORTED),
              enroll(module, 1, nullptr, &templ, nullptr, -1, nullptr));
    ASSERT_EQ(0, Ctl("fail-next BioAPI_Enroll 4353"));
    EXPECT_EQ(4353u, enroll(module, 3, nullptr, &templ, nullptr, -1, nullptr));
    ASSERT_EQ(0u, enroll(module, 3, nullptr, &templ, nullptr, -1, nullptr));
    BioAPI_BIR *bir = nullptr;
    ASSERT_EQ(0u, fromHandle(module, templ, &bir));
    ASSERT_NE(nullptr, bir);
    ASSERT_EQ(16u + 10 + 11, bir->Header.Length);
    uint32_t finger = 0;
    std::memcpy(&finger, bir->BiometricData + 6, 4);
    EXPECT_EQ(5u, finger);
    ASSERT_NE(nullptr, bir->Signature);
    EXPECT_EQ(2u, bir->Signature->Length);
    // The record came from our memory functions; the handle was consumed.
    EXPECT_NE(0u, GlobalSize(bir));
    EXPECT_NE(0u, fromHandle(module, templ, &bir));
    auto calls = Entry<uint32_t(__cdecl *)(const char *)>(bioapi_, "SimBioAPI_CallCount");
    EXPECT_EQ(3u, calls("BioAPI_Enroll"));
}

TEST_F(SimBiometric, TheVendorModuleFollowsTheControlTool)
{
    ASSERT_EQ(0, Ctl("ha-install"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, SIMHAAPI_VENDORS_KEY "\\Vendor1\\Tech2", 0, KEY_READ, &key));
    char value[64] = {};
    DWORD size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "TechnologyName", nullptr, nullptr, reinterpret_cast<BYTE *>(value), &size));
    EXPECT_STREQ(SIMHAAPI_PALM_NAME, value);
    size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "VerifyFunctionName", nullptr, nullptr, reinterpret_cast<BYTE *>(value), &size));
    RegCloseKey(key);
    auto capture = Entry<HaCaptureFn>(haapi_, "SimHaCapture");
    auto process = Entry<HaProcessFn>(haapi_, "SimHaProcess");
    auto enroll = Entry<HaEnrollmentFn>(haapi_, "SimHaEnroll");
    auto verify = Entry<HaVerifyFn>(haapi_, value);
    auto release = Entry<HaFreeFn>(haapi_, "SimHaFree");
    ASSERT_NE(nullptr, capture);
    ASSERT_NE(nullptr, verify);

    ASSERT_EQ(0, Ctl("finger 3"));
    HAAPI_DATA first = {}, templ = {}, captured = {}, processed = {};
    ASSERT_EQ(0u, enroll(nullptr, &first, &templ, 0));
    ASSERT_EQ(0, Ctl("ha-cancel-next"));
    EXPECT_EQ(HAAPI_USERCANCEL, capture(nullptr, &captured));
    ASSERT_EQ(0, Ctl("ha-match-result 9"));
    ASSERT_EQ(0u, capture(nullptr, &captured));
    ASSERT_EQ(0u, process(&captured, &processed));
    uint32_t result = 0;
    EXPECT_EQ(0u, verify(&processed, &templ, &result));
    EXPECT_EQ(9u, result);
    // A foreign finger does not match; a captured (unprocessed) sample is refused.
    HAAPI_DATA foreign = {}, foreignProcessed = {};
    ASSERT_EQ(0, Ctl("finger 4"));
    ASSERT_EQ(0u, capture(nullptr, &foreign));
    ASSERT_EQ(0u, process(&foreign, &foreignProcessed));
    EXPECT_EQ(0u, verify(&foreignProcessed, &templ, &result));
    EXPECT_EQ(0u, result);
    EXPECT_EQ(HAAPI_INVALIDPARAMETERS, verify(&captured, &templ, &result));
    ASSERT_EQ(0, Ctl("ha-fail-next verify 788529170"));
    EXPECT_EQ(HAAPI_GENERALERROR, verify(&processed, &templ, &result));
    for (HAAPI_DATA *data : {&first, &templ, &captured, &processed, &foreign, &foreignProcessed}) {
        EXPECT_EQ(0u, release(data));
        EXPECT_EQ(nullptr, data->Data);
    }
    EXPECT_EQ(0u, Entry<uint32_t(__cdecl *)()>(haapi_, "SimHaApi_OutstandingBlocks")());
}

TEST_F(SimBiometric, TheControlToolRefusesAWrongCommandLine)
{
    EXPECT_EQ(2, Ctl(""));
    EXPECT_EQ(2, Ctl("finger"));
    EXPECT_EQ(2, Ctl("no-such-command 1"));
}

}  // namespace
