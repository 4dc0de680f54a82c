// The BioAPI and HA-API back ends behind the reader exports: enrolment, capture, verification,
// comparison, and what they do with what a module can and cannot do.
#include <cstring>

#include "braxial_fixture.h"
#include "library_loader.h"
#include "sim_shared_state.h"

namespace braxialtest {
namespace {

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class BioApiBackEnd : public BraxialTest {
protected:
    void Use(const SimBspModule &module)
    {
        bio_.AddModule(&module);
        LoadBraxial();
        ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    }
};

TEST_F(BioApiBackEnd, EnrolmentFallsBackThroughThePurposesInOrder)
{
    Use(Module("Bio Reader A", 1, kAllOperations, 1u << 3));
    std::string bir = Enrol("Bio Reader A");
    ASSERT_FALSE(bir.empty());
    EXPECT_EQ(3u, bio_.LastEnrollPurpose());
    EXPECT_EQ(3u, bio_.CallCount("BioAPI_Enroll"));
    std::string log = Log();
    EXPECT_EQ(2u, Count(log, "error not in purpose 4367")) << log;
    EXPECT_EQ(2u, Count(log, "Error in BioAPI_Enroll"));
}

TEST_F(BioApiBackEnd, AnInconsistentPurposeIsLoggedAsSuch)
{
    SimBspModule m = Module("Bio Reader A", 1, kAllOperations, 1u << 2);
    m.enrollFailCode = 4365;
    Use(m);
    ASSERT_FALSE(Enrol("Bio Reader A").empty());
    EXPECT_EQ(2u, bio_.LastEnrollPurpose());
    EXPECT_EQ(3u, Count(Log(), "error is in purpose!"));
}

TEST_F(BioApiBackEnd, WhenEveryPurposeFailsTheEnrolmentFailsWithSizeZero)
{
    Use(Module("Bio Reader A", 1, kAllOperations, 0));
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    uint32_t size = 1234;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioGetBIR(handle, nullptr, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(1359u, GetLastError());
    EXPECT_EQ(6u, bio_.CallCount("BioAPI_Enroll"));
    EXPECT_EQ(7u, Count(Log(), "Error in BioAPI_Enroll"));
    EXPECT_TRUE(api_.BioCloseReader(handle));
}

TEST_F(BioApiBackEnd, AModuleWithoutEnrollIsNeverAskedToEnrol)
{
    Use(Module("Bio Reader A", 1, BioAPI_CAPTURE | BioAPI_VERIFYMATCH));
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    uint32_t size = 0;
    EXPECT_FALSE(api_.BioGetBIR(handle, nullptr, &size));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Enroll"));
    api_.BioCloseReader(handle);
}

TEST_F(BioApiBackEnd, TheTwoCallProtocolReportsWritesAndRefuses)
{
    Use(Module("ABC", 1));
    ReaderHandle *handle = api_.BioInitReader("ABC");
    ASSERT_NE(nullptr, handle);
    uint8_t buffer[128];
    uint32_t size = sizeof buffer;
    // A buffer before any enrolment: nothing is held.
    EXPECT_FALSE(api_.BioGetBIR(handle, buffer, &size));
    size = 0;
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(api_.BioGetBIR(handle, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    // "1 BioAPI", N, the name, the 16-byte header, the data (6 + 4 + 3 bytes from the stand-in).
    const uint32_t total = 12 + 3 + 16 + 13;
    EXPECT_EQ(total, size);
    std::memset(buffer, 0xAA, sizeof buffer);
    uint32_t shortSize = total - 1;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(api_.BioGetBIR(handle, buffer, &shortSize));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    EXPECT_EQ(0xAA, buffer[0]);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(api_.BioGetBIR(handle, buffer, &size));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(0, std::memcmp(buffer, "1 BioAPI\x03\0\0\0ABC", 15));
    EXPECT_EQ(0xAA, buffer[total]);
    EXPECT_EQ(1u, bio_.CallCount("BioAPI_Enroll"));
    EXPECT_NE(std::string::npos, Log().find("Error: buffer size is too small.\nThis size of buffer needed :44"));
    api_.BioCloseReader(handle);
}

TEST_F(BioApiBackEnd, ASignedRecordCarriesItsSignature)
{
    Use(Module("ABC", 1, kAllOperations, 1u << 1, 2, true));
    std::string bir = Enrol("ABC");
    ASSERT_EQ(44u + 4 + 2, bir.size());
    EXPECT_EQ(std::string("\x02\0\0\0SG", 6), bir.substr(44));
    // The signed template still verifies against a live sample of the same finger.
    ReaderHandle *handle = api_.BioInitReader("ABC");
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(1, api_.BioVerifyBIR(handle, Bytes(bir), Size(bir)));
    api_.BioCloseReader(handle);
}

TEST_F(BioApiBackEnd, VerifyMatchesTheSameFingerOnly)
{
    Use(Module("Bio Reader A", 1));
    std::string stored = Enrol("Bio Reader A");
    ASSERT_FALSE(stored.empty());
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(1, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(1u, bio_.CallCount("BioAPI_Process"));
    EXPECT_EQ(1u, bio_.CallCount("BioAPI_VerifyMatch"));
    bio_.SetFinger(2);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    EXPECT_EQ(0u, Count(Log(), "Error in BioAPI_VerifyMatch"));
    api_.BioCloseReader(handle);
}

TEST_F(BioApiBackEnd, AProcessedCaptureIsUsedWithoutProcessing)
{
    Use(Module("Bio Reader A", 1, kAllOperations, 1u << 1, 4));
    std::string stored = Enrol("Bio Reader A");
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(1, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Process"));
    api_.BioCloseReader(handle);
}

TEST_F(BioApiBackEnd, WithoutCaptureButWithVerifyTheModuleVerifiesItself)
{
    Use(Module("Bio Reader A", 1, BioAPI_ENROLL | BioAPI_VERIFY));
    std::string stored = Enrol("Bio Reader A");
    ASSERT_FALSE(stored.empty());
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(1, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Capture"));
    EXPECT_EQ(1u, bio_.CallCount("BioAPI_Verify"));
    // Nor can it capture.
    uint32_t size = 0;
    EXPECT_FALSE(api_.BioCaptureBIR(handle, nullptr, &size));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Capture"));
    api_.BioCloseReader(handle);
}

TEST_F(BioApiBackEnd, WithCaptureButWithoutVerifyMatchItCapturesAndStillVerifies)
{
    Use(Module("Bio Reader A", 1, BioAPI_CAPTURE | BioAPI_ENROLL | BioAPI_VERIFY));
    std::string stored = Enrol("Bio Reader A");
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(1, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
    EXPECT_EQ(1u, bio_.CallCount("BioAPI_Capture"));
    EXPECT_EQ(1u, bio_.CallCount("BioAPI_Verify"));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_VerifyMatch"));
    api_.BioCloseReader(handle);
}

TEST_F(BioApiBackEnd, WithNeitherVerifyMatchNorVerifyNothingMatches)
{
    Use(Module("Bio Reader A", 1, BioAPI_CAPTURE | BioAPI_ENROLL));
    std::string stored = Enrol("Bio Reader A");
    ASSERT_FALSE(stored.empty());
    std::string sample = Capture("Bio Reader A");
    ASSERT_FALSE(sample.empty());
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(0, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
    api_.BioCloseReader(handle);
    EXPECT_EQ(0, api_.BioCompareBIRS(Bytes(sample), Size(sample), Bytes(stored), Size(stored)));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Verify"));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_VerifyMatch"));
}

TEST_F(BioApiBackEnd, ACapturedSampleComparesWithTheTemplateOfTheSameFinger)
{
    Use(Module("Bio Reader A", 1));
    std::string stored = Enrol("Bio Reader A");
    std::string same = Capture("Bio Reader A");
    bio_.SetFinger(7);
    std::string other = Capture("Bio Reader A");
    ASSERT_FALSE(stored.empty());
    ASSERT_FALSE(same.empty());
    ASSERT_FALSE(other.empty());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(1, api_.BioCompareBIRS(Bytes(same), Size(same), Bytes(stored), Size(stored)));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(0, api_.BioCompareBIRS(Bytes(other), Size(other), Bytes(stored), Size(stored)));
    EXPECT_NE(std::string::npos, Log().find("returned 1"));
    EXPECT_EQ(0u, bio_.AttachedCount());
}

TEST_F(BioApiBackEnd, FailedEventsDoNotStopTheReaderFromOpening)
{
    Use(Module("Bio Reader A", 1));
    bio_.FailNext("BioAPI_EnableEvents", 257);
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    EXPECT_NE(std::string::npos, Log().find("Error in BioAPI_EnableEvents"));
    EXPECT_TRUE(api_.BioCloseReader(handle));
}

TEST_F(BioApiBackEnd, AFailedAttachUnloadsTheModuleAndMapsTheCode)
{
    Use(Module("Bio Reader A", 1));
    bio_.FailNext("BioAPI_ModuleAttach", 12);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, api_.BioInitReader("Bio Reader A"));
    EXPECT_EQ(1705u, GetLastError());
    EXPECT_EQ(1u, bio_.CallCount("BioAPI_ModuleUnload"));
    EXPECT_EQ(0u, bio_.LoadedCount());
    // The reader stays closed and can be opened afterwards.
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    EXPECT_TRUE(api_.BioCloseReader(handle));
}

TEST_F(BioApiBackEnd, AFailedCaptureFailsTheVerificationWithTheMappedError)
{
    Use(Module("Bio Reader A", 1));
    std::string stored = Enrol("Bio Reader A");
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    bio_.FailNext("BioAPI_Capture", 4353);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
    EXPECT_EQ(1359u, GetLastError());
    EXPECT_NE(std::string::npos,
              Log().find("Error in BioAPI_Capture, Error code:[4353] or [0x1101] \"BSP is unable to capture raw "
                         "samples from the device\""));
    api_.BioCloseReader(handle);
}

TEST_F(BioApiBackEnd, AnUnknownFrameworkCodeIsReportedAsUnknown)
{
    Use(Module("Bio Reader A", 1));
    bio_.FailNext("BioAPI_ModuleLoad", 0x4242);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, api_.BioInitReader("Bio Reader A"));
    EXPECT_EQ(1359u, GetLastError());
    EXPECT_NE(std::string::npos, Log().find("Error in BioAPI_ModuleLoad, Error code:[16962] or [0x4242] \"Unknown error!\""));
}

TEST_F(BioApiBackEnd, AStringThatIsNoBioApiBirIsRefused)
{
    Use(Module("Bio Reader A", 1));
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    const std::string garbage = "1 BioAPI\xff\xff\xff\x7f";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, api_.BioVerifyBIR(handle, Bytes(garbage), Size(garbage)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_NE(std::string::npos, Log().find("Cannot convert string Bir to compatible form"));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Capture"));
    api_.BioCloseReader(handle);
}

TEST_F(BioApiBackEnd, ARecordIsWrittenOnlyThroughTheReaderThatMadeIt)
{
    SimBspModule b = Module("Bio Reader B", 2);
    bio_.AddModule(&b);
    Use(Module("Bio Reader A", 1));
    ReaderHandle *a = api_.BioInitReader("Bio Reader A");
    ReaderHandle *other = api_.BioInitReader("Bio Reader B");
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, other);
    uint32_t size = 0;
    ASSERT_TRUE(api_.BioGetBIR(a, nullptr, &size));
    std::string buffer(size, '\x55');
    uint32_t given = size;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioCaptureBIR(other, reinterpret_cast<uint8_t *>(&buffer[0]), &given));
    EXPECT_FALSE(api_.BioGetBIR(other, reinterpret_cast<uint8_t *>(&buffer[0]), &given));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(std::string(size, '\x55'), buffer);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(api_.BioGetBIR(a, reinterpret_cast<uint8_t *>(&buffer[0]), &given));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ("Bio Reader A", buffer.substr(12, 12));
    api_.BioCloseReader(a);
    api_.BioCloseReader(other);
}

TEST_F(BioApiBackEnd, AFailedEnrolmentLeavesNoOlderRecordToWrite)
{
    Use(Module("Bio Reader A", 1));
    ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
    ASSERT_NE(nullptr, handle);
    uint32_t size = 0;
    ASSERT_TRUE(api_.BioGetBIR(handle, nullptr, &size));
    bio_.FailNext("BioAPI_GetBIRFromHandle", 2);
    uint32_t failedSize = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioGetBIR(handle, nullptr, &failedSize));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    std::string buffer(size, '\x55');
    EXPECT_FALSE(api_.BioGetBIR(handle, reinterpret_cast<uint8_t *>(&buffer[0]), &size));
    EXPECT_EQ(std::string(size, '\x55'), buffer);
    api_.BioCloseReader(handle);
}

// A framework or BSP call that faults (an access violation, on demand of the stand-in) ends that
// call only: it is logged, the operation fails, and the same reader works afterwards.
struct FrameworkFault {
    const char *function;  // the stand-in's entry that faults
    const char *step;      // the step named in the log
};

TEST_F(BioApiBackEnd, AFaultInsideTheFrameworkFailsTheCallAndTheHostLivesOn)
{
    const FrameworkFault kFaults[] = {{"BioAPI_ModuleLoad", "Braxial_ModuleLoad"},
                                      {"BioAPI_ModuleAttach", "Braxial_ModuleAttach"},
                                      {"BioAPI_Enroll", "Braxial_Enroll"},
                                      {"BioAPI_Capture", "Braxial_Capture"},
                                      {"BioAPI_VerifyMatch", "Braxial_VerifyMatch"}};
    Use(Module("Bio Reader A", 1));
    std::string stored = Enrol("Bio Reader A");
    ASSERT_FALSE(stored.empty());
    for (const FrameworkFault &f : kFaults) {
        SCOPED_TRACE(f.function);
        bio_.FailNext(f.function, simstate::kFaultOnDemand);
        ReaderHandle *handle = api_.BioInitReader("Bio Reader A");
        bool opening = std::strcmp(f.function, "BioAPI_ModuleLoad") == 0 || std::strcmp(f.function, "BioAPI_ModuleAttach") == 0;
        if (opening) {
            EXPECT_EQ(nullptr, handle);
        } else if (std::strcmp(f.function, "BioAPI_Enroll") == 0) {
            ASSERT_NE(nullptr, handle);
            // The faulting purpose fails; the module supports none of the others.
            uint32_t size = 0;
            EXPECT_FALSE(api_.BioGetBIR(handle, nullptr, &size));
        } else {
            ASSERT_NE(nullptr, handle);
            EXPECT_EQ(0, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
        }
        if (handle != nullptr)
            api_.BioCloseReader(handle);
        std::string log = Log();
        EXPECT_NE(std::string::npos, log.find("Fault 0xC0000005 at")) << log;
        EXPECT_NE(std::string::npos, log.find(std::string("catch ") + f.step));
        // The fault took nothing with it: the reader enrols and verifies as before.
        EXPECT_FALSE(Enrol("Bio Reader A").empty());
        ReaderHandle *again = api_.BioInitReader("Bio Reader A");
        ASSERT_NE(nullptr, again);
        EXPECT_EQ(1, api_.BioVerifyBIR(again, Bytes(stored), Size(stored)));
        EXPECT_TRUE(api_.BioCloseReader(again));
    }
}

class HaApiBackEnd : public BraxialTest {
protected:
    void SetUp() override
    {
        BraxialTest::SetUp();
        ASSERT_TRUE(ha_.InstallVendors());
    }
    void Start()
    {
        LoadBraxial();
        ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    }
};

// A vendor function that faults ends that call only: logged, the operation fails, the held
// records are released, and the reader works afterwards.
TEST_F(HaApiBackEnd, AFaultInsideAVendorModuleFailsTheCallAndTheHostLivesOn)
{
    const char *const kFunctions[] = {"enrollment", "capture", "process", "verify"};
    Start();
    std::string stored = Enrol(SIMHAAPI_FINGER_NAME);
    ASSERT_FALSE(stored.empty());
    for (const char *function : kFunctions) {
        SCOPED_TRACE(function);
        ha_.FailNext(function, simstate::kFaultOnDemand);
        ReaderHandle *handle = api_.BioInitReader(SIMHAAPI_FINGER_NAME);
        ASSERT_NE(nullptr, handle);
        uint32_t size = 0;
        SetLastError(0xdeadbeef);
        if (std::strcmp(function, "enrollment") == 0)
            EXPECT_FALSE(api_.BioGetBIR(handle, nullptr, &size));
        else
            EXPECT_EQ(0, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
        api_.BioCloseReader(handle);
        std::string log = Log();
        EXPECT_NE(std::string::npos, log.find("Fault 0xC0000005 at")) << log;
        EXPECT_NE(std::string::npos, log.find("Error code:[788529170] or [0x2F000012] \"HAAPI_GENERALERROR\""));
        EXPECT_EQ(0u, ha_.OutstandingBlocks());
        handle = api_.BioInitReader(SIMHAAPI_FINGER_NAME);
        ASSERT_NE(nullptr, handle);
        EXPECT_NE(0, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
        EXPECT_TRUE(api_.BioCloseReader(handle));
    }
}

TEST_F(HaApiBackEnd, EnrolsThroughTheVendorDialogAndReleasesEveryBlock)
{
    Start();
    std::string bir = Enrol(SIMHAAPI_FINGER_NAME);
    // "1 HA_API", D, the 12-byte template, N, the name.
    ASSERT_EQ(16u + 12 + std::strlen(SIMHAAPI_FINGER_NAME), bir.size());
    EXPECT_EQ(0, bir.compare(0, 8, "1 HA_API"));
    EXPECT_EQ(0, bir.compare(bir.size() - std::strlen(SIMHAAPI_FINGER_NAME), std::string::npos, SIMHAAPI_FINGER_NAME));
    EXPECT_EQ(1u, ha_.CallCount("dialog"));
    EXPECT_EQ(0u, ha_.OutstandingBlocks());
}

TEST_F(HaApiBackEnd, VerifiesTheSameFingerAndPassesTheVendorsResultOn)
{
    Start();
    std::string stored = Enrol(SIMHAAPI_PALM_NAME);
    ASSERT_FALSE(stored.empty());
    ReaderHandle *handle = api_.BioInitReader(SIMHAAPI_PALM_NAME);
    ASSERT_NE(nullptr, handle);
    ha_.SetMatchResult(7);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(7, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
    EXPECT_EQ(0u, GetLastError());
    ha_.SetFinger(3);
    EXPECT_EQ(0, api_.BioVerifyBIR(handle, Bytes(stored), Size(stored)));
    EXPECT_EQ(0u, ha_.OutstandingBlocks());
    api_.BioCloseReader(handle);
}

TEST_F(HaApiBackEnd, ABioApiStringIsRefusedWithInvalidParameter)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    Start();
    std::string bioStored = Enrol("Bio Reader A");
    ASSERT_FALSE(bioStored.empty());
    ReaderHandle *handle = api_.BioInitReader(SIMHAAPI_FINGER_NAME);
    ASSERT_NE(nullptr, handle);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, api_.BioVerifyBIR(handle, Bytes(bioStored), Size(bioStored)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0u, ha_.CallCount("capture"));
    api_.BioCloseReader(handle);
}

TEST_F(HaApiBackEnd, AUserCancelInTheVendorDialogFailsTheEnrolment)
{
    Start();
    ReaderHandle *handle = api_.BioInitReader(SIMHAAPI_FINGER_NAME);
    ASSERT_NE(nullptr, handle);
    ha_.CancelNext();
    uint32_t size = 99;
    EXPECT_FALSE(api_.BioGetBIR(handle, nullptr, &size));
    EXPECT_EQ(0u, size);
    EXPECT_NE(std::string::npos,
              Log().find("Error in HAAPI_Enrollment, Error code:[788529169] or [0x2F000011] \"HAAPI_USERCANCEL\""));
    EXPECT_EQ(0u, ha_.OutstandingBlocks());
    api_.BioCloseReader(handle);
}

TEST_F(HaApiBackEnd, AFailedProcessReleasesTheCapture)
{
    Start();
    ReaderHandle *handle = api_.BioInitReader(SIMHAAPI_IRIS_NAME);
    ASSERT_NE(nullptr, handle);
    ha_.FailNext("process", HAAPI_GENERALERROR);
    uint32_t size = 0;
    EXPECT_FALSE(api_.BioCaptureBIR(handle, nullptr, &size));
    EXPECT_NE(std::string::npos, Log().find("Error in HAAPI_Process"));
    EXPECT_EQ(0u, ha_.OutstandingBlocks());
    api_.BioCloseReader(handle);
}

TEST_F(HaApiBackEnd, ATemplateIsWrittenOnlyThroughTheReaderThatMadeIt)
{
    Start();
    ReaderHandle *finger = api_.BioInitReader(SIMHAAPI_FINGER_NAME);
    ReaderHandle *palm = api_.BioInitReader(SIMHAAPI_PALM_NAME);
    ASSERT_NE(nullptr, finger);
    ASSERT_NE(nullptr, palm);
    uint32_t size = 0;
    ASSERT_TRUE(api_.BioGetBIR(finger, nullptr, &size));
    std::string buffer(64, '\x55');
    uint32_t given = 64;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioGetBIR(palm, reinterpret_cast<uint8_t *>(&buffer[0]), &given));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(std::string(64, '\x55'), buffer);
    given = size;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(api_.BioGetBIR(finger, reinterpret_cast<uint8_t *>(&buffer[0]), &given));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(SIMHAAPI_FINGER_NAME, buffer.substr(28, std::strlen(SIMHAAPI_FINGER_NAME)));
    EXPECT_EQ(0u, ha_.OutstandingBlocks());
    api_.BioCloseReader(finger);
    api_.BioCloseReader(palm);
}

TEST_F(HaApiBackEnd, TheVendorsOwnMinusOneArrivesAsHaApiError)
{
    Start();
    ReaderHandle *handle = api_.BioInitReader(SIMHAAPI_FINGER_NAME);
    ASSERT_NE(nullptr, handle);
    ha_.FailNext("capture", 0xFFFFFFFFu);
    uint32_t size = 0;
    EXPECT_FALSE(api_.BioCaptureBIR(handle, nullptr, &size));
    EXPECT_NE(std::string::npos, Log().find("Error in HAAPI_Capture, Error code:[-1] or [0xFFFFFFFF] \"HAAPI_ERROR\""))
        << Log();
    api_.BioCloseReader(handle);
}

TEST_F(HaApiBackEnd, ATechnologyWithoutVerifyFunctionIsListedButCannotBeOpened)
{
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SIMHAAPI_VENDORS_KEY "\\Vendor1\\Tech2",
                                                "VerifyFunctionName"));
    Start();
    std::vector<std::string> expected = {SIMHAAPI_FINGER_NAME, SIMHAAPI_PALM_NAME, SIMHAAPI_IRIS_NAME};
    EXPECT_EQ(expected, ReaderNames());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, api_.BioInitReader(SIMHAAPI_PALM_NAME));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    ReaderHandle *other = api_.BioInitReader(SIMHAAPI_IRIS_NAME);
    EXPECT_NE(nullptr, other);
    api_.BioCloseReader(other);
}

TEST_F(HaApiBackEnd, AMissingTechnologyNameListsAnEmptyName)
{
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SIMHAAPI_VENDORS_KEY "\\Vendor2\\Tech1",
                                                "TechnologyName"));
    Start();
    std::vector<std::string> expected = {SIMHAAPI_FINGER_NAME, SIMHAAPI_PALM_NAME, ""};
    EXPECT_EQ(expected, ReaderNames());
    EXPECT_EQ(nullptr, api_.BioInitReader(""));
}

TEST_F(HaApiBackEnd, TheVendorLibraryIsLoadedOnceAcrossReopenings)
{
    // Start from a vendor library that nobody holds, then hold it once ourselves.
    while (GetModuleHandleA("simhaapi.dll") != nullptr)
        FreeLibrary(GetModuleHandleA("simhaapi.dll"));
    haapi_ = LoadProductLibrary("simhaapi.dll");
    ASSERT_NE(nullptr, haapi_);
    ASSERT_TRUE(ha_.InstallVendors != nullptr);
    auto install = reinterpret_cast<int(__cdecl *)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(haapi_, "SimHaApi_InstallVendors")));
    ASSERT_TRUE(install());
    Start();
    for (int round = 0; round < 3; ++round) {
        for (const char *name : {SIMHAAPI_FINGER_NAME, SIMHAAPI_IRIS_NAME}) {
            ReaderHandle *handle = api_.BioInitReader(name);
            ASSERT_NE(nullptr, handle);
            EXPECT_TRUE(api_.BioCloseReader(handle));
        }
        ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    }
    UnloadBraxial();
    // Braxial keeps its vendor libraries for the life of the process: ours and its one reference.
    FreeLibrary(haapi_);
    EXPECT_NE(nullptr, GetModuleHandleA("simhaapi.dll"));
    FreeLibrary(GetModuleHandleA("simhaapi.dll"));
    EXPECT_EQ(nullptr, GetModuleHandleA("simhaapi.dll"));
    // Put the stand-in back for the tear-down.
    BraxialTest::SetUp();
}

TEST_F(HaApiBackEnd, CompareAcrossTechnologiesOrDevicesAnswersNoWithoutOpeningAReader)
{
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    Start();
    std::string bio = Enrol("Bio Reader A");
    std::string finger = Enrol(SIMHAAPI_FINGER_NAME);
    std::string palm = Capture(SIMHAAPI_PALM_NAME);
    std::string fingerSample = Capture(SIMHAAPI_FINGER_NAME);
    ASSERT_FALSE(bio.empty());
    ASSERT_FALSE(finger.empty());
    ASSERT_FALSE(palm.empty());
    ASSERT_FALSE(fingerSample.empty());
    size_t opened = Count(Log(), "Call BioInitReader");
    uint32_t loads = bio_.CallCount("BioAPI_ModuleLoad");
    EXPECT_EQ(0, api_.BioCompareBIRS(Bytes(bio), Size(bio), Bytes(finger), Size(finger)));
    EXPECT_EQ(0, api_.BioCompareBIRS(Bytes(finger), Size(finger), Bytes(bio), Size(bio)));
    EXPECT_EQ(0, api_.BioCompareBIRS(Bytes(palm), Size(palm), Bytes(finger), Size(finger)));
    EXPECT_EQ(0, api_.BioCompareBIRS(nullptr, 0, Bytes(finger), Size(finger)));
    EXPECT_EQ(opened, Count(Log(), "Call BioInitReader"));
    EXPECT_EQ(loads, bio_.CallCount("BioAPI_ModuleLoad"));
    EXPECT_EQ(0u, ha_.CallCount("verify"));
    // The same device and finger do match.
    EXPECT_EQ(1, api_.BioCompareBIRS(Bytes(fingerSample), Size(fingerSample), Bytes(finger), Size(finger)));
    EXPECT_EQ(1u, ha_.CallCount("verify"));
}

}  // namespace
}  // namespace braxialtest
