// The Braxial test fixture: stand-ins, a fresh Braxial per test, its log, flow threads.
#include "braxial_fixture.h"

#include <cstring>

#include "library_loader.h"
#include "testkit.h"

namespace braxialtest {

namespace {

const char kLogPath[] = "C:\\MV_BioAPI.log";

template <typename F>
void Resolve(HMODULE module, const char *name, F &slot)
{
    slot = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    ASSERT_NE(nullptr, reinterpret_cast<void *>(slot)) << name;
}

}  // namespace

SimBspModule Module(const char *description, uint8_t id, uint32_t operations, uint32_t enrollPurposes,
                    uint8_t captureType, bool signature)
{
    SimBspModule m = {};
    for (int i = 0; i < 16; ++i)
        m.uuid[i] = static_cast<uint8_t>(id * 16 + i);
    m.deviceId = id;
    lstrcpynA(m.description, description, sizeof m.description);
    m.operations = operations;
    m.enrollPurposes = enrollPurposes;
    m.captureType = captureType;
    m.withSignature = signature ? 1 : 0;
    return m;
}

void BraxialTest::SetUp()
{
    bioapi_ = LoadProductLibrary("bioapi100.dll");
    ASSERT_NE(nullptr, bioapi_);
    Resolve(bioapi_, "SimBioAPI_Reset", bio_.Reset);
    Resolve(bioapi_, "SimBioAPI_AddModule", bio_.AddModule);
    Resolve(bioapi_, "SimBioAPI_SetFinger", bio_.SetFinger);
    Resolve(bioapi_, "SimBioAPI_FailNext", bio_.FailNext);
    Resolve(bioapi_, "SimBioAPI_CallCount", bio_.CallCount);
    Resolve(bioapi_, "SimBioAPI_LastEnrollPurpose", bio_.LastEnrollPurpose);
    Resolve(bioapi_, "SimBioAPI_LoadedCount", bio_.LoadedCount);
    Resolve(bioapi_, "SimBioAPI_AttachedCount", bio_.AttachedCount);
    haapi_ = LoadProductLibrary("simhaapi.dll");
    ASSERT_NE(nullptr, haapi_);
    Resolve(haapi_, "SimHaApi_InstallVendors", ha_.InstallVendors);
    Resolve(haapi_, "SimHaApi_RemoveVendors", ha_.RemoveVendors);
    Resolve(haapi_, "SimHaApi_Reset", ha_.Reset);
    Resolve(haapi_, "SimHaApi_SetFinger", ha_.SetFinger);
    Resolve(haapi_, "SimHaApi_SetMatchResult", ha_.SetMatchResult);
    Resolve(haapi_, "SimHaApi_SetInteractive", ha_.SetInteractive);
    Resolve(haapi_, "SimHaApi_CancelNext", ha_.CancelNext);
    Resolve(haapi_, "SimHaApi_FailNext", ha_.FailNext);
    Resolve(haapi_, "SimHaApi_CallCount", ha_.CallCount);
    Resolve(haapi_, "SimHaApi_OutstandingBlocks", ha_.OutstandingBlocks);
    bio_.Reset();
    ha_.Reset();
    ha_.RemoveVendors();
}

void BraxialTest::TearDown()
{
    UnloadBraxial();
    // The stand-ins' state is shared with other processes (and kept in %TEMP%): leave none behind.
    if (bio_.Reset != nullptr)
        bio_.Reset();
    if (ha_.Reset != nullptr)
        ha_.Reset();
    if (ha_.RemoveVendors != nullptr)
        ha_.RemoveVendors();
    DeleteFileA(kLogPath);
}

void BraxialTest::LoadBraxial()
{
    ASSERT_TRUE(testkit::WriteFileBytes(kLogPath, "5"));
    braxial_ = LoadProductLibrary("Braxial.dll");
    ASSERT_NE(nullptr, braxial_);
    ASSERT_TRUE(ResolveBraxialApi(braxial_, &api_));
}

void BraxialTest::UnloadBraxial()
{
    if (braxial_ != nullptr)
        FreeLibrary(braxial_);
    braxial_ = nullptr;
    api_ = {};
}

std::string BraxialTest::Log() const
{
    return testkit::ReadFileBytes(kLogPath);
}

std::vector<std::string> BraxialTest::ReaderNames()
{
    std::vector<std::string> names;
    for (uint32_t i = 0;; ++i) {
        const char *name = api_.BioEnumReaders(i);
        if (name == nullptr)
            break;
        names.push_back(name);
    }
    return names;
}

namespace {

std::string TwoCalls(PFN_BioGetBIR call, ReaderHandle *handle)
{
    uint32_t size = 0;
    SetLastError(0xdeadbeef);
    if (!call(handle, nullptr, &size) || GetLastError() != ERROR_NOT_ENOUGH_MEMORY || size == 0)
        return std::string();
    std::string bir(size, '\0');
    SetLastError(0xdeadbeef);
    if (!call(handle, reinterpret_cast<uint8_t *>(&bir[0]), &size) || GetLastError() != 0)
        return std::string();
    bir.resize(size);
    return bir;
}

}  // namespace

std::string BraxialTest::Enrol(const char *reader)
{
    ReaderHandle *handle = api_.BioInitReader(reader);
    if (handle == nullptr)
        return std::string();
    std::string bir = TwoCalls(api_.BioGetBIR, handle);
    api_.BioCloseReader(handle);
    return bir;
}

std::string BraxialTest::Capture(const char *reader)
{
    ReaderHandle *handle = api_.BioInitReader(reader);
    if (handle == nullptr)
        return std::string();
    std::string bir = TwoCalls(api_.BioCaptureBIR, handle);
    api_.BioCloseReader(handle);
    return bir;
}

}  // namespace braxialtest
