// The start-up logon with a Key that carries a biometric identifier, through Braxial's real
// dialogs in the client: the enrolled finger logs on; a finger that does not match, a device
// that is not there, or no Braxial at all ends in "Biometric verification failed!" and the read
// error, and the client goes on with its own ID, no temporary ID file and no handlers.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "bio_devices.h"
#include "braxial_res.h"
#include "quorel_control.h"
#include "tolvik_fixture.h"
#include "testkit.h"

namespace {

using namespace tolvik_test;

const char kBioDevice[] = "Bio Reader A";
const char kVerifyTitle[] = "Verify Biometric ID";
constexpr DWORD kAppBiometricId = 227;

class BiometricLogon : public TolvikClient {
protected:
    // Anna's Key (no PIN) with a biometric ID enrolled on kBioDevice with finger 4, inserted.
    int MakeBioKey()
    {
        EXPECT_TRUE(bio.ok());
        bio.AddDevice(kBioDevice, 1);
        bio.SetFinger(4);
        std::string bir = bio.Enrol(kBioDevice);
        EXPECT_FALSE(bir.empty());
        int key = s.MakeKey("Anna's Key", "", &kAnnaRecord);
        EXPECT_NE(0, key);
        EXPECT_TRUE(QsimSetData(key, kAppBiometricId, bir.data(), static_cast<DWORD>(bir.size())));
        EXPECT_TRUE(s.Insert(key));
        return key;
    }
    // The failed verification as the user sees it, and the client left to its own ID.
    // The binding's box (caption "Morvath Sentrio (BIR Verification)") with `text`, answered; then
    // the logon ends like a failed verification.
    void ExpectBindingBoxThenVerificationFailed(const char *text)
    {
        HWND box = testkit::FindProcessWindow(s.pid(), "#32770", "Morvath Sentrio (BIR Verification)",
                                              NotesScenario::kWait, 0xFFFF);
        ASSERT_NE(nullptr, box) << s.HostLog();
        EXPECT_EQ(text, NotesScenario::BoxText(box));
        ASSERT_TRUE(NotesScenario::AnswerBox(box));
        ExpectVerificationFailed();
    }
    void ExpectVerificationFailed()
    {
        EXPECT_EQ("Biometric verification failed!", s.TakeBox());
        EXPECT_EQ("Error reading data from KSD", s.TakeBox());
        ExpectClientsOwnPrompt();
        EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
        EXPECT_NE(std::string::npos, s.Status().find("Handlers=0,0")) << s.Status();
        EXPECT_EQ(nullptr, s.WaitBox(500)) << s.BoxText(s.WaitBox(0));
    }

    testkit::BioDevices bio;  // after the scenario: shares the client's %TEMP%
};

TEST_F(BiometricLogon, EnrolledFingerLogsOnWithoutAnyDialog)
{
    MakeBioKey();
    s.Start(190, "own.id");
    ExpectOnKeyId();
    EXPECT_EQ(nullptr, s.Find("#32770", kVerifyTitle, 0));
    EXPECT_EQ(std::string::npos, s.Status().find("Handlers=0,0")) << s.Status();
}

// A dialog of Braxial's verification that the user cancels.
struct BioFailure {
    const char *name;
    std::function<void(testkit::BioDevices &)> arrange;  // after enrolment, before the start
    int shows;                                           // the control that tells this dialog apart
    const char *text;                                    // what that control (or its partner) says
};

class BiometricFailure : public BiometricLogon, public testing::WithParamInterface<BioFailure> {};

TEST_P(BiometricFailure, CancelledVerificationLeavesTheClientOnItsOwnId)
{
    const BioFailure &row = GetParam();
    MakeBioKey();
    row.arrange(bio);
    s.Start(190, "own.id");
    HWND dialog = testkit::FindProcessWindow(s.pid(), "#32770", kVerifyTitle, NotesScenario::kWait, row.shows);
    ASSERT_NE(nullptr, dialog) << s.HostLog();
    int textId = row.shows == IDC_BIO_TRY_AGAIN ? IDC_BIO_FAILED_TEXT : IDC_BIO_MISSING_NAME;
    EXPECT_EQ(row.text, testkit::GetControlText(GetDlgItem(dialog, textId)));
    testkit::ClickDialogButton(dialog, IDC_BIO_CANCEL);
    ExpectVerificationFailed();
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, BiometricFailure,
    testing::Values(BioFailure{"NoMatch", [](testkit::BioDevices &bio) { bio.SetFinger(5); }, IDC_BIO_TRY_AGAIN,
                               "Biometric verification failed!"},
                    BioFailure{"DeviceMissing",
                               [](testkit::BioDevices &bio) {
                                   bio.Reset();
                                   bio.AddDevice("Bio Reader B", 2);
                               },
                               IDC_BIO_MISSING_NAME, "\"Bio Reader A\""}),
    [](const testing::TestParamInfo<BioFailure> &info) { return std::string(info.param.name); });

// The Key failing while the biometric record is read: the size asked first (call 1) or the record
// read in the worker (call 2). The binding reports the Key's failure under its caption, and the
// logon ends like a failed verification, with the client on its own ID.
struct BirReadFault {
    const char *name;
    int skip;  // ReadBIR calls let through before the failing one
};

class BiometricReadFault : public BiometricLogon, public testing::WithParamInterface<BirReadFault> {};

TEST_P(BiometricReadFault, KeyErrorIsReportedAndTheClientGoesOnWithItsOwnId)
{
    MakeBioKey();
    ASSERT_TRUE(QsimFailCall("ReadBIR", GetParam().skip, ERROR_IO_DEVICE, 0));
    s.Start(190, "own.id");
    ExpectBindingBoxThenVerificationFailed("An error occurred while processing the Key!");
}

INSTANTIATE_TEST_SUITE_P(Calls, BiometricReadFault,
                         testing::Values(BirReadFault{"SizeQuery", 0}, BirReadFault{"RecordRead", 1}),
                         [](const testing::TestParamInfo<BirReadFault> &info) { return std::string(info.param.name); });

TEST_F(BiometricLogon, MissingBraxialIsReportedThenTheVerificationFails)
{
    // The client in a folder of its own, with the Key library but without Braxial.dll.
    std::string folder = s.dir().file("client") + "\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    for (const char *file : {"notes.exe", "nnotes.dll", "Tolvik.dll", "Quorel32.dll"})
        ASSERT_TRUE(CopyFileA((testkit::ExeDir() + file).c_str(), (folder + file).c_str(), FALSE)) << file;
    s.clientFolder = folder;
    MakeBioKey();
    s.Start(190, "own.id");
    ExpectBindingBoxThenVerificationFailed("An error occurred while loading braxial.dll!");
}

}  // namespace
