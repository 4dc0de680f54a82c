// The reader table behind BioEnumReaders and BioInitReader: order, duplicates, open state, rebuilds.
#include <cstring>

#include "braxial_fixture.h"

namespace braxialtest {
namespace {

class ReaderTable : public BraxialTest {};

TEST_F(ReaderTable, ListsBioApiModulesFirstThenHaApiTechnologiesVendorByVendor)
{
    SimBspModule b = Module("Bio Reader B", 2), a = Module("Bio Reader A", 1);
    bio_.AddModule(&b);
    bio_.AddModule(&a);
    ASSERT_TRUE(ha_.InstallVendors());
    LoadBraxial();
    std::vector<std::string> expected = {"Bio Reader B", "Bio Reader A", SIMHAAPI_FINGER_NAME, SIMHAAPI_PALM_NAME,
                                         SIMHAAPI_IRIS_NAME};
    EXPECT_EQ(expected, ReaderNames());
}

TEST_F(ReaderTable, EnumeratesUpToTheLastNameAndRefusesTheCount)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    ASSERT_TRUE(ha_.InstallVendors());
    LoadBraxial();
    SetLastError(0xdeadbeef);
    const char *first = api_.BioEnumReaders(0);
    ASSERT_NE(nullptr, first);
    EXPECT_STREQ("Bio Reader A", first);
    EXPECT_EQ(0u, GetLastError());
    SetLastError(0xdeadbeef);
    const char *last = api_.BioEnumReaders(3);
    ASSERT_NE(nullptr, last);
    EXPECT_STREQ(SIMHAAPI_IRIS_NAME, last);
    EXPECT_EQ(0u, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, api_.BioEnumReaders(4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_NE(std::string::npos, Log().find("Call BioEnumReaders with index 4"));
}

TEST_F(ReaderTable, BeforeTheFirstRebuildAnIndexAnswersNothingAndLeavesTheLastError)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    LoadBraxial();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, api_.BioEnumReaders(1));
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, api_.BioInitReader("Bio Reader A"));
    EXPECT_EQ(0xdeadbeefu, GetLastError());
}

TEST_F(ReaderTable, WithoutFrameworkOrVendorsThereAreNoReaders)
{
    bio_.FailNext("BioAPI_Init", 1);
    LoadBraxial();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, api_.BioEnumReaders(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, api_.BioInitReader("Bio Reader A"));
    EXPECT_NE(std::string::npos, Log().find("Error in BioAPI_Init"));
}

TEST_F(ReaderTable, AFailedFrameworkStillLeavesTheHaApiReaders)
{
    bio_.FailNext("BioAPI_Init", 258);
    ASSERT_TRUE(ha_.InstallVendors());
    LoadBraxial();
    std::vector<std::string> expected = {SIMHAAPI_FINGER_NAME, SIMHAAPI_PALM_NAME, SIMHAAPI_IRIS_NAME};
    EXPECT_EQ(expected, ReaderNames());
    EXPECT_NE(std::string::npos, Log().find("BioAPI was'nt loaded"));
}

TEST_F(ReaderTable, AFailedModuleEnumerationLeavesTheHaApiReaders)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    ASSERT_TRUE(ha_.InstallVendors());
    LoadBraxial();
    bio_.FailNext("BioAPI_EnumModules", 2);
    SetLastError(0xdeadbeef);
    const char *first = api_.BioEnumReaders(0);
    ASSERT_NE(nullptr, first);
    EXPECT_STREQ(SIMHAAPI_FINGER_NAME, first);
    EXPECT_EQ(0u, GetLastError());
    EXPECT_NE(std::string::npos, Log().find("Error in BioAPI_EnumModules, Error code:[2] or [0x2] \"A memory error occurred.\""));
    // The next rebuild finds the module again.
    EXPECT_EQ(4u, ReaderNames().size());
}

TEST_F(ReaderTable, TheSameNameTwiceAlwaysOpensTheFirst)
{
    SimBspModule first = Module("Twin Reader", 1, kAllOperations, 1u << 1);
    SimBspModule second = Module("Twin Reader", 2, kAllOperations, 1u << 3);
    bio_.AddModule(&first);
    bio_.AddModule(&second);
    LoadBraxial();
    ASSERT_EQ(2u, ReaderNames().size());
    ReaderHandle *handle = api_.BioInitReader("Twin Reader");
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(0, handle->openIndex);
    // The second module would enrol with purpose 3 only: purpose 1 shows the first answered.
    uint32_t size = 0;
    EXPECT_TRUE(api_.BioGetBIR(handle, nullptr, &size));
    EXPECT_EQ(1u, bio_.LastEnrollPurpose());
    EXPECT_TRUE(api_.BioCloseReader(handle));
}

TEST_F(ReaderTable, NamesAreMatchedExactly)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    LoadBraxial();
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    EXPECT_EQ(nullptr, api_.BioInitReader("bio reader a"));
    EXPECT_EQ(nullptr, api_.BioInitReader("Bio Reader"));
    EXPECT_EQ(nullptr, api_.BioInitReader(nullptr));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_ModuleLoad"));
}

TEST_F(ReaderTable, OpeningTwiceFailsWithInvalidHandle)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    ASSERT_TRUE(ha_.InstallVendors());
    LoadBraxial();
    ASSERT_EQ(4u, ReaderNames().size());
    for (const char *name : {"Bio Reader A", SIMHAAPI_PALM_NAME}) {
        SCOPED_TRACE(name);
        ReaderHandle *handle = api_.BioInitReader(name);
        ASSERT_NE(nullptr, handle);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, api_.BioInitReader(name));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(api_.BioCloseReader(handle));
        EXPECT_EQ(0u, GetLastError());
        // Closed twice: the handle's reader is no longer open.
        EXPECT_FALSE(api_.BioCloseReader(handle));
        ReaderHandle *again = api_.BioInitReader(name);
        EXPECT_EQ(handle, again);
        EXPECT_TRUE(api_.BioCloseReader(again));
    }
    EXPECT_EQ(0u, bio_.AttachedCount());
    EXPECT_EQ(0u, bio_.LoadedCount());
}

TEST_F(ReaderTable, ARebuildClosesEveryReaderAndInvalidatesItsHandle)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    ASSERT_TRUE(ha_.InstallVendors());
    LoadBraxial();
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    ReaderHandle *bio = api_.BioInitReader("Bio Reader A");
    ReaderHandle *ha = api_.BioInitReader(SIMHAAPI_FINGER_NAME);
    ASSERT_NE(nullptr, bio);
    ASSERT_NE(nullptr, ha);
    EXPECT_EQ(1u, bio_.AttachedCount());
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    EXPECT_EQ(0u, bio_.AttachedCount());
    EXPECT_EQ(0u, bio_.LoadedCount());
    uint32_t size = 0;
    EXPECT_FALSE(api_.BioCloseReader(bio));
    EXPECT_FALSE(api_.BioCloseReader(ha));
    EXPECT_FALSE(api_.BioGetBIR(bio, nullptr, &size));
    EXPECT_FALSE(api_.BioCaptureBIR(ha, nullptr, &size));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Enroll"));
    EXPECT_EQ(0u, ha_.CallCount("capture"));
    EXPECT_NE(std::string::npos, Log().find("free_device_alloc_memory"));
}

TEST_F(ReaderTable, ACompareClosesTheReadersOpenBeforeIt)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    LoadBraxial();
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    std::string stored = Enrol("Bio Reader A");
    ASSERT_FALSE(stored.empty());
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    api_.BioCompareBIRS(Bytes(stored), Size(stored), Bytes(stored), Size(stored));
    EXPECT_FALSE(api_.BioCloseReader(handle));
    EXPECT_EQ(0u, bio_.AttachedCount());
}

TEST_F(ReaderTable, ANullOrClosedHandleIsRefusedAtOnce)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    LoadBraxial();
    uint32_t size = 0;
    uint8_t byte = 0;
    EXPECT_FALSE(api_.BioCloseReader(nullptr));
    EXPECT_FALSE(api_.BioGetBIR(nullptr, nullptr, &size));
    EXPECT_FALSE(api_.BioVerifyBIR(nullptr, &byte, 1));
    EXPECT_FALSE(api_.BioCaptureBIR(nullptr, nullptr, &size));
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    ASSERT_TRUE(api_.BioCloseReader(handle));
    EXPECT_FALSE(api_.BioGetBIR(handle, nullptr, &size));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Enroll"));
}

}  // namespace
}  // namespace braxialtest
