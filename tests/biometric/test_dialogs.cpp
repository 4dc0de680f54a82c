// The three dialog exports driven through their real dialogs: enrolment (102), capture (108),
// verification with a missing device (103) and with no match (104).
#include "braxial_fixture.h"

#include <commctrl.h>

#include <cstring>

#include "braxial_res.h"
#include "dialog_flow.h"
#include "testkit.h"

namespace braxialtest {
namespace {

const char kChangeCaption[] = "Change Biometric ID";
const char kEnrollCaption[] = "Enroll Biometric ID";
const char kVerifyCaption[] = "Verify Biometric ID";
const char kCaptureCaption[] = "Capture Biometric ID";

struct OtherQuery {
    const char *caption;
    HWND exclude;
    HWND found;
};

BOOL CALLBACK FindOther(HWND window, LPARAM param)
{
    OtherQuery *query = reinterpret_cast<OtherQuery *>(param);
    char text[256];
    GetWindowTextA(window, text, sizeof text);
    if (window != query->exclude && IsWindowVisible(window) && std::strcmp(text, query->caption) == 0) {
        query->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window with `caption` other than `exclude` (a message box over its dialog).
HWND WaitForOther(const char *caption, HWND exclude)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kWindowWait) {
        OtherQuery query = {caption, exclude, nullptr};
        EnumWindows(FindOther, reinterpret_cast<LPARAM>(&query));
        if (query.found != nullptr)
            return query.found;
        testkit::PumpMessages(20);
    }
    return nullptr;
}

HWND WaitDialog(const char *caption)
{
    return testkit::WaitForWindow(caption, "#32770", kWindowWait);
}

std::vector<std::string> ListItems(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_BIO_DEVICES);
    std::vector<std::string> items;
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[260] = {};
        LVITEMA item = {};
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        items.push_back(text);
    }
    return items;
}

int SelectedItem(HWND dialog)
{
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, IDC_BIO_DEVICES), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         LVNI_SELECTED));
}

void SelectItem(HWND dialog, int index)
{
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(GetDlgItem(dialog, IDC_BIO_DEVICES), LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
}

// A picture of `window` once its thread has painted it (an artefact, not an assertion).
void Shot(HWND window, const char *name)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    testkit::PumpMessages(400);
    testkit::SaveScreenshot(window, name);
}

// Polls `condition` while pumping, up to the window wait; its last answer.
bool Eventually(const std::function<bool()> &condition)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= kWindowWait)
            return false;
        testkit::PumpMessages(20);
    }
    return true;
}

// Clicks the check box and waits for the dialog to have taken the click.
void ClickCheckBox(HWND dialog)
{
    UINT before = IsDlgButtonChecked(dialog, IDC_BIO_ENABLE);
    testkit::ClickDialogButton(dialog, IDC_BIO_ENABLE);
    EXPECT_TRUE(Eventually([dialog, before] { return IsDlgButtonChecked(dialog, IDC_BIO_ENABLE) != before; }));
    // The click's BN_CLICKED is handled in the same message as the check: one round trip more.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kWindowWait, &ignored);
}

bool Enabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

std::string Text(HWND dialog, int id)
{
    return testkit::GetControlText(GetDlgItem(dialog, id));
}

class Dialogs : public BraxialTest {
protected:
    // One BioAPI module, "Bio Reader A", and the three HA-API technologies.
    void Start(bool withBioApi = true, bool withHaApi = true)
    {
        if (withBioApi) {
            SimBspModule a = Module("Bio Reader A", 1);
            bio_.AddModule(&a);
        }
        if (withHaApi) {
            ASSERT_TRUE(ha_.InstallVendors());
        }
        LoadBraxial();
    }

    std::function<BOOL()> GetBirGui(uint32_t *size, int mode)
    {
        auto f = api_.BioGetBIR_GUI;
        return [f, size, mode] { return f(nullptr, nullptr, nullptr, size, mode); };
    }
    std::function<BOOL()> CaptureGui(uint32_t *size)
    {
        auto f = api_.BioCaptureBIR_GUI;
        return [f, size] { return f(nullptr, nullptr, nullptr, size); };
    }
    std::function<BOOL()> VerifyGui(const std::string *stored, uint32_t *size)
    {
        auto f = api_.BioVerifyBIR_GUI;
        return [f, stored, size] { return f(nullptr, nullptr, Bytes(*stored), Size(*stored), nullptr, size); };
    }

    // The pending record of the last GetBIR_GUI flow, copied out (empty when the copy failed).
    std::string CopyEnrolled(uint32_t size)
    {
        std::string bir(size + 8, '\x55');
        uint32_t given = size;
        SetLastError(0xdeadbeef);
        if (!api_.BioGetBIR_GUI(nullptr, nullptr, reinterpret_cast<uint8_t *>(&bir[0]), &given, 1) ||
            GetLastError() != 0 || given != size)
            return std::string();
        EXPECT_EQ('\x55', bir[size]) << "written past the record";
        bir.resize(size);
        return bir;
    }

    // Enrols through dialog 102 in mode 3 on list item `item`; the BIR string.
    std::string EnrolThroughDialog(int item)
    {
        uint32_t size = 0;
        testkit::FlowOutcome flow = testkit::RunDialogFlow(GetBirGui(&size, 3), kEnrollCaption, [item](HWND dialog) {
            SelectItem(dialog, item);
            testkit::ClickDialogButton(dialog, IDC_BIO_OK);
        });
        EXPECT_TRUE(flow.result);
        EXPECT_EQ(0u, flow.error);
        return flow.result ? CopyEnrolled(size) : std::string();
    }
};

// A flow that ended as cancelled: result 0, last error 1223.
void ExpectCancelled(const testkit::FlowOutcome &flow)
{
    EXPECT_TRUE(flow.finished);
    EXPECT_FALSE(flow.result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), flow.error);
}

// Presses the dialog's Cancel button.
void PressCancel(HWND dialog)
{
    testkit::ClickDialogButton(dialog, IDC_BIO_CANCEL);
}

void PressOk(HWND dialog)
{
    testkit::ClickDialogButton(dialog, IDC_BIO_OK);
}

// ---- BioGetBIR_GUI ------------------------------------------------------------------------

TEST_F(Dialogs, ModeZeroStartsSwitchedOffAndEnrolsOnceTicked)
{
    Start();
    uint32_t size = 0;
    FlowThread flow(GetBirGui(&size, 0));
    HWND dialog = WaitDialog(kChangeCaption);
    ASSERT_NE(nullptr, dialog);
    std::vector<std::string> expected = {"Bio Reader A", SIMHAAPI_FINGER_NAME, SIMHAAPI_PALM_NAME, SIMHAAPI_IRIS_NAME};
    EXPECT_EQ(expected, ListItems(dialog));
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(dialog, IDC_BIO_ENABLE));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_BIO_ENABLE)));
    EXPECT_FALSE(Enabled(dialog, IDC_BIO_DEVICES));
    EXPECT_FALSE(Enabled(dialog, IDC_BIO_PROMPT));
    EXPECT_FALSE(Enabled(dialog, IDC_BIO_OK));
    EXPECT_EQ("Enable Biometric ID verification", Text(dialog, IDC_BIO_ENABLE));
    EXPECT_EQ("Please select the biometric device from the list below. This device will be used to get your "
              "Biometric Identifier.",
              Text(dialog, IDC_BIO_PROMPT));
    EXPECT_EQ("&OK", Text(dialog, IDC_BIO_OK));
    EXPECT_EQ("Cancel", Text(dialog, IDC_BIO_CANCEL));
    Shot(dialog, "braxial_102_mode0");

    ClickCheckBox(dialog);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, IDC_BIO_ENABLE));
    EXPECT_TRUE(Enabled(dialog, IDC_BIO_DEVICES));
    EXPECT_EQ(0, SelectedItem(dialog));
    EXPECT_TRUE(Enabled(dialog, IDC_BIO_OK));
    testkit::ClickDialogButton(dialog, IDC_BIO_OK);
    ASSERT_TRUE(flow.Finish());
    EXPECT_TRUE(flow.result());
    EXPECT_EQ(0u, flow.error());
    EXPECT_EQ(62u, size);
    std::string bir = CopyEnrolled(size);
    EXPECT_EQ(0, bir.compare(0, 20, std::string("1 BioAPI\x0c\0\0\0Bio Reader A", 24), 0, 20));
    EXPECT_EQ(0u, bio_.AttachedCount());
    EXPECT_NE(std::string::npos, Log().find(" after selection - bir size62"));
}

TEST_F(Dialogs, ModeZeroWithoutTheTickLeavesOkDisabledAndCancelAnswers1223)
{
    Start();
    uint32_t size = 77;
    ExpectCancelled(testkit::RunDialogFlow(GetBirGui(&size, 0), kChangeCaption, [](HWND dialog) {
        EXPECT_FALSE(Enabled(dialog, IDC_BIO_OK));
        PressCancel(dialog);
    }));
    EXPECT_EQ(77u, size);
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Enroll"));
    EXPECT_NE(std::string::npos, Log().find(" user cancelled "));
    // The copy call after a cancel fails the same way.
    uint8_t buffer[8];
    uint32_t bufferSize = sizeof buffer;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioGetBIR_GUI(nullptr, nullptr, buffer, &bufferSize, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), GetLastError());
}

TEST_F(Dialogs, ModeZeroTickedAndClearedAgainCannotConfirm)
{
    Start();
    uint32_t size = 0;
    ExpectCancelled(testkit::RunDialogFlow(GetBirGui(&size, 0), kChangeCaption, [](HWND dialog) {
        ClickCheckBox(dialog);
        EXPECT_TRUE(Enabled(dialog, IDC_BIO_OK));
        ClickCheckBox(dialog);
        // Nothing was set up, so there is nothing to switch off.
        EXPECT_FALSE(Enabled(dialog, IDC_BIO_OK));
        EXPECT_FALSE(Enabled(dialog, IDC_BIO_DEVICES));
        EXPECT_EQ(-1, SelectedItem(dialog));
        PressCancel(dialog);
    }));
}

TEST_F(Dialogs, WithoutAnyDeviceOkStaysDisabled)
{
    Start(false, false);
    uint32_t size = 0;
    auto noDevices = [](HWND dialog) {
        EXPECT_TRUE(ListItems(dialog).empty());
        EXPECT_FALSE(Enabled(dialog, IDC_BIO_OK));
        PressCancel(dialog);
    };
    ExpectCancelled(testkit::RunDialogFlow(GetBirGui(&size, 3), kEnrollCaption, noDevices));
    ExpectCancelled(testkit::RunDialogFlow(CaptureGui(&size), kCaptureCaption, noDevices));
}

// A plain top-level window of this thread to own the dialogs.
HWND MakeOwner(int x, int y, int width, int height)
{
    return CreateWindowExA(0, "STATIC", "Braxial test owner", WS_POPUP | WS_VISIBLE | WS_BORDER, x, y, width, height,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TEST_F(Dialogs, ADialogIsCentredOverItsOwnerAndKeptOnTheScreen)
{
    Start();
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        int x, y;
    } cases[] = {{200, 150}, {screenWidth - 150, screenHeight - 100}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x);
        HWND owner = MakeOwner(c.x, c.y, 400, 300);
        ASSERT_NE(nullptr, owner);
        uint32_t size = 0;
        auto f = api_.BioCaptureBIR_GUI;
        FlowThread flow([f, owner, &size] { return f(nullptr, owner, nullptr, &size); });
        HWND dialog = WaitDialog(kCaptureCaption);
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ(owner, GetWindow(dialog, GW_OWNER));
        RECT box, area;
        GetWindowRect(dialog, &box);
        GetWindowRect(owner, &area);
        if (c.x == 200) {
            EXPECT_NEAR((area.left + area.right) / 2, (box.left + box.right) / 2, 2);
            EXPECT_NEAR((area.top + area.bottom) / 2, (box.top + box.bottom) / 2, 2);
        } else {
            EXPECT_LE(box.right, screenWidth);
            EXPECT_LE(box.bottom, screenHeight);
            EXPECT_GE(box.left, 0);
        }
        testkit::ClickDialogButton(dialog, IDC_BIO_CANCEL);
        ASSERT_TRUE(flow.Finish());
        DestroyWindow(owner);
    }
}

TEST_F(Dialogs, TheCheckBoxShrinksToItsText)
{
    Start(true, false);
    uint32_t size = 0;
    testkit::RunDialogFlow(GetBirGui(&size, 1), kChangeCaption, [](HWND dialog) {
        RECT designed = {0, 0, 220, 10};
        MapDialogRect(dialog, &designed);
        RECT check;
        GetWindowRect(GetDlgItem(dialog, IDC_BIO_ENABLE), &check);
        EXPECT_LT(check.right - check.left, designed.right - designed.left);
        EXPECT_GT(check.right - check.left, 19);
        PressCancel(dialog);
    });
}

TEST_F(Dialogs, TheSystemCloseCommandCancelsToo)
{
    Start();
    uint32_t size = 0;
    ExpectCancelled(testkit::RunDialogFlow(GetBirGui(&size, 1), kChangeCaption, [](HWND dialog) {
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }));
}

TEST_F(Dialogs, ModeOneSwitchedOffSucceedsWithSizeZeroAndNoEnrolment)
{
    Start();
    uint32_t size = 77;
    testkit::FlowOutcome flow = testkit::RunDialogFlow(GetBirGui(&size, 1), kChangeCaption, [](HWND dialog) {
        EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, IDC_BIO_ENABLE));
        EXPECT_EQ(0, SelectedItem(dialog));
        EXPECT_TRUE(Enabled(dialog, IDC_BIO_OK));
        ClickCheckBox(dialog);
        EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(dialog, IDC_BIO_ENABLE));
        EXPECT_EQ(-1, SelectedItem(dialog));
        EXPECT_FALSE(Enabled(dialog, IDC_BIO_DEVICES));
        EXPECT_TRUE(Enabled(dialog, IDC_BIO_OK));
        Shot(dialog, "braxial_102_switched_off");
        testkit::ClickDialogButton(dialog, IDC_BIO_OK);
    });
    ASSERT_TRUE(flow.finished);
    EXPECT_TRUE(flow.result);
    EXPECT_EQ(0u, flow.error);
    EXPECT_EQ(0u, size);
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Enroll"));
    EXPECT_EQ(0u, ha_.CallCount("dialog"));
    // The copy call then reports the size 0 and writes nothing.
    uint8_t buffer[4] = {9, 9, 9, 9};
    uint32_t bufferSize = sizeof buffer;
    EXPECT_TRUE(api_.BioGetBIR_GUI(nullptr, nullptr, buffer, &bufferSize, 1));
    EXPECT_EQ(0u, bufferSize);
    EXPECT_EQ(9, buffer[0]);
}

TEST_F(Dialogs, ModeThreeHidesTheSwitchAndEnrolsOnTheChosenDevice)
{
    Start();
    uint32_t size = 0;
    testkit::FlowOutcome flow = testkit::RunDialogFlow(GetBirGui(&size, 3), kEnrollCaption, [](HWND dialog) {
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_BIO_ENABLE)));
        EXPECT_EQ(0, SelectedItem(dialog));
        EXPECT_TRUE(Enabled(dialog, IDC_BIO_OK));
        Shot(dialog, "braxial_102_mode3");
        SelectItem(dialog, 3);
        testkit::ClickDialogButton(dialog, IDC_BIO_OK);
    });
    ASSERT_TRUE(flow.finished);
    EXPECT_TRUE(flow.result);
    std::string bir = CopyEnrolled(size);
    ASSERT_EQ(16u + 12 + std::strlen(SIMHAAPI_IRIS_NAME), bir.size());
    EXPECT_EQ(0, bir.compare(0, 8, "1 HA_API"));
    EXPECT_EQ(SIMHAAPI_IRIS_NAME, bir.substr(28));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Enroll"));
}

TEST_F(Dialogs, CancelWhileTheEnrolmentRunsOnlyBeeps)
{
    Start(false, true);
    ha_.SetInteractive(1);
    uint32_t size = 0;
    FlowThread flow(GetBirGui(&size, 3));
    HWND dialog = WaitDialog(kEnrollCaption);
    ASSERT_NE(nullptr, dialog);
    testkit::ClickDialogButton(dialog, IDC_BIO_OK);
    HWND vendor = WaitDialog(SIMHAAPI_DIALOG_CAPTION);
    ASSERT_NE(nullptr, vendor);
    Shot(vendor, "simhaapi_device");
    // Sent, not posted: each returns once the dialog has handled it.
    DWORD_PTR ignored = 0;
    EXPECT_NE(0, SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BIO_CANCEL, BN_CLICKED), 0, SMTO_NORMAL,
                                     kWindowWait, &ignored));
    EXPECT_NE(0, SendMessageTimeoutA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, kWindowWait, &ignored));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(IsWindow(vendor));
    testkit::ClickDialogButton(vendor, IDOK);
    ASSERT_TRUE(flow.Finish());
    EXPECT_TRUE(flow.result());
    EXPECT_EQ(0u, flow.error());
    EXPECT_EQ(16u + 12 + std::strlen(SIMHAAPI_FINGER_NAME), size);
}

TEST_F(Dialogs, AVendorCancelEndsTheEnrolmentWith1223)
{
    Start(false, true);
    ha_.SetInteractive(1);
    uint32_t size = 0;
    ExpectCancelled(testkit::RunDialogFlow(GetBirGui(&size, 3), kEnrollCaption, [](HWND dialog) {
        testkit::ClickDialogButton(dialog, IDC_BIO_OK);
        HWND vendor = WaitDialog(SIMHAAPI_DIALOG_CAPTION);
        ASSERT_NE(nullptr, vendor);
        testkit::ClickDialogButton(vendor, IDCANCEL);
    }));
    EXPECT_NE(std::string::npos, Log().find("\"HAAPI_USERCANCEL\""));
    EXPECT_EQ(0u, ha_.OutstandingBlocks());
}

TEST_F(Dialogs, AReaderThatCannotBeOpenedShowsTheFailureAndLetsTheUserTryAgain)
{
    Start(true, false);
    bio_.FailNext("BioAPI_ModuleLoad", 278);
    uint32_t size = 0;
    FlowThread flow(GetBirGui(&size, 3));
    HWND dialog = WaitDialog(kEnrollCaption);
    ASSERT_NE(nullptr, dialog);
    testkit::ClickDialogButton(dialog, IDC_BIO_OK);
    HWND box = WaitForOther(kChangeCaption, dialog);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Biometric registration failed!", testkit::GetControlText(GetDlgItem(box, 0xFFFF)));
    Shot(box, "braxial_registration_failed");
    testkit::ClickDialogButton(box, IDOK);
    ASSERT_TRUE(testkit::WaitForWindowGone(box, kWindowWait));
    EXPECT_TRUE(IsWindow(dialog));
    testkit::ClickDialogButton(dialog, IDC_BIO_OK);
    ASSERT_TRUE(flow.Finish());
    EXPECT_TRUE(flow.result());
    EXPECT_EQ(62u, size);
}

TEST_F(Dialogs, ACopyOneByteShortFailsAndLosesTheRecord)
{
    Start(true, false);
    uint32_t size = 0;
    ASSERT_TRUE(testkit::RunDialogFlow(GetBirGui(&size, 3), kEnrollCaption, PressOk).result);
    ASSERT_EQ(62u, size);
    std::string buffer(64, '\x55');
    uint32_t shortSize = size - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioGetBIR_GUI(nullptr, nullptr, reinterpret_cast<uint8_t *>(&buffer[0]), &shortSize, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(std::string(64, '\x55'), buffer);
    // The record is gone: a copy with room enough writes nothing.
    uint32_t fullSize = 64;
    EXPECT_TRUE(api_.BioGetBIR_GUI(nullptr, nullptr, reinterpret_cast<uint8_t *>(&buffer[0]), &fullSize, 1));
    EXPECT_EQ(0u, fullSize);
    EXPECT_EQ(std::string(64, '\x55'), buffer);
}

// ---- BioCaptureBIR_GUI --------------------------------------------------------------------

TEST_F(Dialogs, CaptureThroughDialog108)
{
    Start();
    uint32_t size = 0;
    testkit::FlowOutcome flow = testkit::RunDialogFlow(CaptureGui(&size), kCaptureCaption, [](HWND dialog) {
        EXPECT_EQ(0, SelectedItem(dialog));
        EXPECT_EQ(4u, ListItems(dialog).size());
        Shot(dialog, "braxial_108");
        SelectItem(dialog, 2);
        testkit::ClickDialogButton(dialog, IDC_BIO_OK);
    });
    ASSERT_TRUE(flow.finished);
    EXPECT_TRUE(flow.result);
    ASSERT_EQ(16u + 12 + std::strlen(SIMHAAPI_PALM_NAME), size);
    std::string bir(size, '\0');
    uint32_t given = size;
    EXPECT_TRUE(api_.BioCaptureBIR_GUI(nullptr, nullptr, reinterpret_cast<uint8_t *>(&bir[0]), &given));
    EXPECT_EQ(SIMHAAPI_PALM_NAME, bir.substr(28));
    // Nothing pending any more.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioCaptureBIR_GUI(nullptr, nullptr, reinterpret_cast<uint8_t *>(&bir[0]), &given));
}

TEST_F(Dialogs, CancelledCaptureFails)
{
    Start();
    uint32_t size = 0;
    ExpectCancelled(testkit::RunDialogFlow(CaptureGui(&size), kCaptureCaption, PressCancel));
    EXPECT_EQ(0u, bio_.CallCount("BioAPI_Capture"));
    EXPECT_EQ(0u, ha_.CallCount("capture"));
}

// ---- BioVerifyBIR_GUI ---------------------------------------------------------------------

// Enrol through dialog 102, then verify through the verify flow with the same finger and with
// another one: for a BioAPI device (list item 0) and an HA-API device (list item 1).
class EnrolThenVerify : public Dialogs, public testing::WithParamInterface<int> {
protected:
    void SetFinger(uint32_t finger)
    {
        bio_.SetFinger(finger);
        ha_.SetFinger(finger);
    }
};

TEST_P(EnrolThenVerify, TheSameFingerPassesAndAnotherFails)
{
    Start();
    SetFinger(4);
    std::string stored = EnrolThroughDialog(GetParam());
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(GetParam() == 0 ? "1 BioAPI" : "1 HA_API", stored.substr(0, 8));

    // The same finger: verified, no dialog of Braxial's own.
    uint32_t capturedSize = 0;
    {
        FlowThread flow(VerifyGui(&stored, &capturedSize));
        ASSERT_TRUE(flow.Finish());
        EXPECT_EQ(1, flow.result());
        EXPECT_EQ(0u, flow.error());
    }
    EXPECT_NE(0u, capturedSize);
    EXPECT_NE(std::string::npos, Log().find(" Verification success!"));

    // Another finger: dialog 104; Cancel gives up.
    SetFinger(5);
    FlowThread flow(VerifyGui(&stored, nullptr));
    HWND noMatch = WaitDialog(kVerifyCaption);
    ASSERT_NE(nullptr, noMatch);
    EXPECT_EQ("Biometric verification failed!", Text(noMatch, IDC_BIO_FAILED_TEXT));
    EXPECT_EQ("Try &Again", Text(noMatch, IDC_BIO_TRY_AGAIN));
    EXPECT_EQ("Cancel", Text(noMatch, IDC_BIO_CANCEL));
    Shot(noMatch, GetParam() == 0 ? "braxial_104_bioapi" : "braxial_104_haapi");
    testkit::ClickDialogButton(noMatch, IDC_BIO_CANCEL);
    ASSERT_TRUE(flow.Finish());
    EXPECT_EQ(0, flow.result());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNAL_ERROR), flow.error());
    EXPECT_EQ(0u, bio_.AttachedCount());
    EXPECT_EQ(0u, ha_.OutstandingBlocks());
}

TEST_P(EnrolThenVerify, AForeignFingerThenTryAgainWithTheRightOne)
{
    Start();
    SetFinger(4);
    std::string stored = EnrolThroughDialog(GetParam());
    ASSERT_FALSE(stored.empty());
    SetFinger(9);
    FlowThread flow(VerifyGui(&stored, nullptr));
    HWND noMatch = WaitDialog(kVerifyCaption);
    ASSERT_NE(nullptr, noMatch);
    SetFinger(4);
    testkit::ClickDialogButton(noMatch, IDC_BIO_TRY_AGAIN);
    ASSERT_TRUE(flow.Finish());
    EXPECT_EQ(1, flow.result());
    EXPECT_EQ(0u, flow.error());
    // No size pointer: nothing is left pending.
    uint8_t buffer[128];
    uint32_t size = sizeof buffer;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioVerifyBIR_GUI(nullptr, nullptr, Bytes(stored), Size(stored), buffer, &size));
    EXPECT_NE(std::string::npos, Log().find("CapturedBIRSize is NULL and we will delete recived BIR"));
}

INSTANTIATE_TEST_SUITE_P(BioApiAndHaApi, EnrolThenVerify, testing::Values(0, 1));

TEST_F(Dialogs, WithASizePointerTheCapturedSampleCanBeCopiedOut)
{
    Start(true, false);
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    std::string stored = Enrol("Bio Reader A");
    ASSERT_FALSE(stored.empty());
    uint32_t size = 0;
    FlowThread flow(VerifyGui(&stored, &size));
    ASSERT_TRUE(flow.Finish());
    ASSERT_EQ(1, flow.result());
    ASSERT_EQ(62u, size);
    std::string sample(size, '\0');
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(api_.BioVerifyBIR_GUI(nullptr, nullptr, Bytes(stored), Size(stored),
                                   reinterpret_cast<uint8_t *>(&sample[0]), &size));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ("1 BioAPI", sample.substr(0, 8));
    // The captured sample matches the template it was verified against.
    EXPECT_EQ(1, api_.BioCompareBIRS(Bytes(sample), Size(sample), Bytes(stored), Size(stored)));
}

TEST_F(Dialogs, AFailedVerificationWithoutSizePointerLeavesNothingPending)
{
    Start(true, false);
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    std::string stored = Enrol("Bio Reader A");
    bio_.SetFinger(2);
    EXPECT_EQ(0, testkit::RunDialogFlow(VerifyGui(&stored, nullptr), kVerifyCaption, PressCancel).result);
    uint8_t buffer[128];
    uint32_t size = sizeof buffer;
    EXPECT_FALSE(api_.BioVerifyBIR_GUI(nullptr, nullptr, Bytes(stored), Size(stored), buffer, &size));
}

TEST_F(Dialogs, AMissingDeviceLeadsToDialog103WithItsNameInQuotes)
{
    SimBspModule gone = Module("Gone Reader", 7);
    bio_.AddModule(&gone);
    LoadBraxial();
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    std::string stored = Enrol("Gone Reader");
    ASSERT_FALSE(stored.empty());
    bio_.Reset();
    SimBspModule a = Module("Bio Reader A", 1);
    bio_.AddModule(&a);
    ASSERT_TRUE(ha_.InstallVendors());

    FlowThread flow(VerifyGui(&stored, nullptr));
    HWND missing = WaitDialog(kVerifyCaption);
    ASSERT_NE(nullptr, missing);
    EXPECT_EQ("\"Gone Reader\"", Text(missing, IDC_BIO_MISSING_NAME));
    EXPECT_EQ("Unable to process the required biometric device:", Text(missing, IDC_BIO_MISSING_TEXT));
    EXPECT_EQ("Please select another biometric device from the list below. This device will be used to verify "
              "your Biometric Identifier.",
              Text(missing, IDC_BIO_PROMPT));
    EXPECT_FALSE(Enabled(missing, IDC_BIO_OK));
    EXPECT_EQ(4u, ListItems(missing).size());
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(GetDlgItem(missing, IDC_BIO_MISSING_NAME), WM_GETFONT, 0, 0));
    LOGFONTA logFont = {};
    ASSERT_NE(0, GetObjectA(font, sizeof logFont, &logFont));
    EXPECT_EQ(FW_BOLD, logFont.lfWeight);
    Shot(missing, "braxial_103");

    // Another device cannot match a record made on the missing one: dialog 104 follows.
    SelectItem(missing, 0);
    EXPECT_TRUE(Enabled(missing, IDC_BIO_OK));
    testkit::ClickDialogButton(missing, IDC_BIO_OK);
    ASSERT_TRUE(testkit::WaitForWindowGone(missing, kWindowWait));
    HWND noMatch = WaitDialog(kVerifyCaption);
    ASSERT_NE(nullptr, noMatch);
    EXPECT_EQ("Biometric verification failed!", Text(noMatch, IDC_BIO_FAILED_TEXT));
    EXPECT_EQ(1u, bio_.CallCount("BioAPI_Capture"));
    testkit::ClickDialogButton(noMatch, IDC_BIO_CANCEL);
    ASSERT_TRUE(flow.Finish());
    EXPECT_EQ(0, flow.result());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNAL_ERROR), flow.error());
    EXPECT_EQ(0u, bio_.AttachedCount());
}

TEST_F(Dialogs, CancelInDialog103GivesUp)
{
    Start(false, true);
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    std::string stored = Enrol(SIMHAAPI_IRIS_NAME);
    ASSERT_FALSE(stored.empty());
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_LOCAL_MACHINE, SIMHAAPI_VENDORS_KEY "\\Vendor2"));
    testkit::FlowOutcome flow = testkit::RunDialogFlow(VerifyGui(&stored, nullptr), kVerifyCaption, [](HWND missing) {
        EXPECT_EQ("\"" SIMHAAPI_IRIS_NAME "\"", Text(missing, IDC_BIO_MISSING_NAME));
        EXPECT_EQ(2u, ListItems(missing).size());
        PressCancel(missing);
    });
    ASSERT_TRUE(flow.finished);
    EXPECT_EQ(0, flow.result);
    EXPECT_EQ(0u, ha_.CallCount("dialog") - 1);  // only the enrolment's
}

TEST_F(Dialogs, TextsComeFromTheCallersLanguageModuleFirst)
{
    Start(true, false);
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    std::string stored = Enrol("Bio Reader A");
    ASSERT_FALSE(stored.empty());
    HMODULE language = LoadLibraryExA((testkit::ExeDir() + "braxlang_lang.dll").c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, language);
    bio_.SetFinger(3);
    auto f = api_.BioVerifyBIR_GUI;
    auto verify = [f, language, &stored] {
        return f(language, nullptr, Bytes(stored), Size(stored), nullptr, nullptr);
    };
    testkit::FlowOutcome flow = testkit::RunDialogFlow(verify, "Verify Biometric ID (test language)", [](HWND noMatch) {
        EXPECT_EQ("Biometric verification failed! (test language)", Text(noMatch, IDC_BIO_FAILED_TEXT));
        EXPECT_EQ("Try &Again", Text(noMatch, IDC_BIO_TRY_AGAIN));
        PressCancel(noMatch);
    });
    ASSERT_TRUE(flow.finished);
    EXPECT_EQ(0, flow.result);
    FreeLibrary(language);
}

TEST_F(Dialogs, AVendorCancelDuringVerificationCountsAsNoMatch)
{
    Start(false, true);
    ASSERT_NE(nullptr, api_.BioEnumReaders(0));
    std::string stored = Enrol(SIMHAAPI_PALM_NAME);
    ASSERT_FALSE(stored.empty());
    ha_.CancelNext();
    auto tryAgain = [this](HWND noMatch) {
        EXPECT_NE(std::string::npos, Log().find("Error in HAAPI_Capture"));
        testkit::ClickDialogButton(noMatch, IDC_BIO_TRY_AGAIN);
    };
    testkit::FlowOutcome flow = testkit::RunDialogFlow(VerifyGui(&stored, nullptr), kVerifyCaption, tryAgain);
    ASSERT_TRUE(flow.finished);
    EXPECT_EQ(1, flow.result);
    EXPECT_EQ(0u, ha_.OutstandingBlocks());
}

TEST_F(Dialogs, ACaptureCopyOneByteShortFailsAndLosesTheSample)
{
    Start(true, false);
    uint32_t size = 0;
    ASSERT_TRUE(testkit::RunDialogFlow(CaptureGui(&size), kCaptureCaption, PressOk).result);
    ASSERT_EQ(62u, size);
    std::string buffer(64, '\x55');
    uint32_t shortSize = size - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioCaptureBIR_GUI(nullptr, nullptr, reinterpret_cast<uint8_t *>(&buffer[0]), &shortSize));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    uint32_t fullSize = 64;
    EXPECT_FALSE(api_.BioCaptureBIR_GUI(nullptr, nullptr, reinterpret_cast<uint8_t *>(&buffer[0]), &fullSize));
    EXPECT_EQ(std::string(64, '\x55'), buffer);
}

TEST_F(Dialogs, ANullStoredStringFailsAtOnce)
{
    Start();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(api_.BioVerifyBIR_GUI(nullptr, nullptr, nullptr, 10, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

}  // namespace
}  // namespace braxialtest
