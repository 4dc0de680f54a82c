// The Key's biometric identifier end to end: CSmartKey's ChangeBioID and VerifyBioID through the
// client binding, the real Braxial.dll with its dialogs, the BioAPI and HA-API stand-ins, and a
// virtual Key holding the record.
#include "braxial_fixture.h"

#include <commctrl.h>

#include <string>

#include "braxial_res.h"
#include "dialog_flow.h"
#include "quorel_control.h"
#include "recording_key.h"
#include "virtual_keys.h"
#include "testkit.h"
#include "texts.h"

namespace braxialtest {
namespace {

const char kChangeCaption[] = "Change Biometric ID";
const char kVerifyCaption[] = "Verify Biometric ID";
const char kCaption[] = "Key biometrics";

class KeyBiometrics : public BraxialTest, public testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        BraxialTest::SetUp();
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(keys.ok());
        SimBspModule a = Module("Bio Reader A", 1);
        bio_.AddModule(&a);
        ASSERT_TRUE(ha_.InstallVendors());
        card = keys.InsertNewKey("Reader A", "Bio", "1234");
        ASSERT_NE(0, card);
        ASSERT_TRUE(testkit::StartWatching(key, "Reader A", "1234"));
    }
    void TearDown() override
    {
        key.StopMonitoring();
        BraxialTest::TearDown();
    }
    void SetFinger(uint32_t finger)
    {
        bio_.SetFinger(finger);
        ha_.SetFinger(finger);
    }
    std::function<BOOL()> ChangeCall()
    {
        return [this] { return key.ChangeBioID("Reader A", GetModuleHandleA(nullptr), nullptr, kCaption); };
    }
    std::function<BOOL()> VerifyCall()
    {
        return [this] { return key.VerifyBioID("Reader A", GetModuleHandleA(nullptr), nullptr, kCaption) ? 1 : 0; };
    }
    // Enrols the device at `item` through Braxial's dialog: verification switched on, device chosen, OK.
    void EnrolThroughTheDialog(int item)
    {
        FlowThread flow(ChangeCall());
        HWND dialog = testkit::WaitForWindow(kChangeCaption, "#32770", kWindowWait);
        ASSERT_NE(nullptr, dialog);
        if (IsDlgButtonChecked(dialog, IDC_BIO_ENABLE) != BST_CHECKED) {
            testkit::ClickDialogButton(dialog, IDC_BIO_ENABLE);
            for (int i = 0; i < 250 && IsDlgButtonChecked(dialog, IDC_BIO_ENABLE) != BST_CHECKED; ++i)
                testkit::PumpMessages(20);
        }
        LVITEMA lv = {};
        lv.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        lv.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(GetDlgItem(dialog, IDC_BIO_DEVICES), LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                     reinterpret_cast<LPARAM>(&lv));
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kWindowWait, &ignored);
        testkit::ClickDialogButton(dialog, IDC_BIO_OK);
        ASSERT_TRUE(flow.Finish(30000));
        EXPECT_EQ(0, flow.result());  // ChangeBioID: 0 done
    }
    QsimKeyState KeyState()
    {
        QsimKeyState s = {};
        EXPECT_TRUE(QsimGetKey(card, &s));
        return s;
    }

    testkit::VirtualKeys keys;  // declared first: emptied after the Key object has stopped
    RecordingKey key;
    int card = 0;
};

TEST_P(KeyBiometrics, EnrolledOnTheKeyTheSameFingerPassesAndAnotherFails)
{
    SetFinger(4);
    EnrolThroughTheDialog(GetParam());
    EXPECT_LT(0u, KeyState().size227);  // the BIR string is on the Key

    {
        FlowThread flow(VerifyCall());
        ASSERT_TRUE(flow.Finish(30000));
        EXPECT_EQ(1, flow.result());
    }
    EXPECT_EQ(csReady, key.FindReader("Reader A")->state);

    SetFinger(5);
    testkit::FlowOutcome flow = testkit::RunDialogFlow(
        VerifyCall(), kVerifyCaption, [](HWND noMatch) { testkit::ClickDialogButton(noMatch, IDC_BIO_CANCEL); }, 30000);
    ASSERT_TRUE(flow.finished);
    EXPECT_EQ(0, flow.result);
    EXPECT_EQ(csBioFailed, key.FindReader("Reader A")->state);
    char text[200] = "";
    ASSERT_TRUE(key.GetErrorText("Reader A", text));
    EXPECT_STREQ("Reader A : Biometric verification failed!", text);
}

TEST_P(KeyBiometrics, SwitchingVerificationOffRemovesTheRecordFromTheKey)
{
    SetFinger(4);
    EnrolThroughTheDialog(GetParam());
    ASSERT_LT(0u, KeyState().size227);

    FlowThread flow(ChangeCall());
    HWND dialog = testkit::WaitForWindow(kChangeCaption, "#32770", kWindowWait);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, IDC_BIO_ENABLE));  // a record is there
    testkit::ClickDialogButton(dialog, IDC_BIO_ENABLE);
    for (int i = 0; i < 250 && IsDlgButtonChecked(dialog, IDC_BIO_ENABLE) != BST_UNCHECKED; ++i)
        testkit::PumpMessages(20);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kWindowWait, &ignored);
    testkit::ClickDialogButton(dialog, IDC_BIO_OK);
    ASSERT_TRUE(flow.Finish(30000));
    EXPECT_EQ(0, flow.result());
    EXPECT_EQ(0u, KeyState().size227);

    // Without a record the Key passes at once.
    SetFinger(6);
    FlowThread verify(VerifyCall());
    ASSERT_TRUE(verify.Finish(30000));
    EXPECT_EQ(1, verify.result());
}

INSTANTIATE_TEST_SUITE_P(BioApiAndHaApi, KeyBiometrics, testing::Values(0, 1));

}  // namespace
}  // namespace braxialtest
