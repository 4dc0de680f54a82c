// The console's dialogs through their real windows, driven from a second thread of the test while
// the dialog runs modally on the first: the one-line input dialog in its five uses, and Generate
// of the new-password dialog.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "arbolin_res.h"
#include "change_pin_dialog.h"
#include "password_dialog.h"
#include "testkit.h"
#include "texts.h"

namespace {

DWORD g_dialogThread = 0;

BOOL CALLBACK FindDialog(HWND window, LPARAM param)
{
    if (IsWindowVisible(window) && GetDlgItem(window, IDOK) != nullptr) {
        *reinterpret_cast<HWND *>(param) = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitDialog()
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = nullptr;
        EnumThreadWindows(g_dialogThread, FindDialog, reinterpret_cast<LPARAM>(&found));
        if (found != nullptr || GetTickCount() - start > 15000)
            return found;
        Sleep(10);
    }
}

// Runs `show` on this thread while `drive` works the dialog from another.
INT_PTR RunDriven(const std::function<INT_PTR()> &show, const std::function<void(HWND)> &drive)
{
    g_dialogThread = GetCurrentThreadId();
    std::thread driver([&] {
        HWND dialog = WaitDialog();
        if (dialog != nullptr)
            drive(dialog);
    });
    INT_PTR result = show();
    driver.join();
    return result;
}

std::string Text(HWND dialog, int id)
{
    return testkit::GetControlText(GetDlgItem(dialog, id));
}

class Dialogs : public testing::Test {
protected:
    void SetUp() override { LoadLanguage(nullptr, GetModuleHandleA(nullptr)); }
};

struct InputUse {
    const char *name;
    void (TChangePINDlg::*prepare)();
    const char *caption, *prompt, *note;
    int maxLength;
    char mask;
};

const InputUse kUses[] = {
    {"NewPin", &TChangePINDlg::PrepareNewPin, "Change PIN Dialog", "Enter new PIN code:",
     "Note: Leave blank to remove PIN code", 8, 'X'},
    {"ConfirmPin", &TChangePINDlg::PrepareConfirmPin, "Change PIN Dialog", "Confirm new PIN code:", "", 8, 'X'},
    {"Label", &TChangePINDlg::PrepareLabel, "Change Label Dialog", "Enter new Label:",
     "Note: Leave blank to remove Label", 32, 0},
    {"Unblock", &TChangePINDlg::PrepareUnblock, "Unblock PIN Dialog", "Enter right PIN:",
     "Note: Only 3 attempts are available", 8, 'X'},
};

class InputDialog : public Dialogs, public testing::WithParamInterface<InputUse> {};

TEST_P(InputDialog, ShowsItsTextsLimitAndMaskAndGivesBackTheInputCut)
{
    const InputUse &u = GetParam();
    TChangePINDlg dlg;
    (dlg.*u.prepare)();
    std::string typed(40, '7');
    INT_PTR result = RunDriven([&] { return dlg.ShowModal(nullptr); },
                               [&](HWND dialog) {
                                   EXPECT_EQ(u.caption, testkit::GetControlText(dialog));
                                   EXPECT_EQ(u.prompt, Text(dialog, IDC_ENTER_NEW_LAB));
                                   EXPECT_EQ(u.note, Text(dialog, IDC_NOTE_LAB));
                                   EXPECT_EQ("&OK", Text(dialog, IDOK));
                                   EXPECT_EQ("Cancel", Text(dialog, IDCANCEL));
                                   HWND edit = GetDlgItem(dialog, IDC_NEW_PIN_EDIT);
                                   EXPECT_EQ("", testkit::GetControlText(edit));
                                   EXPECT_EQ(u.maxLength, static_cast<int>(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0)));
                                   EXPECT_EQ(u.mask, static_cast<char>(SendMessageA(edit, EM_GETPASSWORDCHAR, 0, 0)));
                                   SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
                                   PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                               });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(typed.substr(0, static_cast<size_t>(u.maxLength)), dlg.text);
}

INSTANTIATE_TEST_SUITE_P(Uses, InputDialog, testing::ValuesIn(kUses),
                         [](const testing::TestParamInfo<InputUse> &info) { return std::string(info.param.name); });

TEST_F(Dialogs, NotesPasswordPromptNamesTheIdFileAndCancelGivesNothing)
{
    TChangePINDlg dlg;
    dlg.PrepareNotesPassword("C:\\Data\\anna.id");
    INT_PTR result = RunDriven([&] { return dlg.ShowModal(nullptr); },
                               [&](HWND dialog) {
                                   EXPECT_EQ("Get Password Dialog", testkit::GetControlText(dialog));
                                   EXPECT_EQ("Enter Lotus Notes password:", Text(dialog, IDC_ENTER_NEW_LAB));
                                   EXPECT_EQ("for: C:\\Data\\anna.id", Text(dialog, IDC_NOTE_LAB));
                                   SetDlgItemTextA(dialog, IDC_NEW_PIN_EDIT, "secret");
                                   PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                               });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ("", dlg.text);
}

bool GenerateShown(HWND dialog)
{
    return IsWindowVisible(GetDlgItem(dialog, IDC_GENERATE_BT)) != FALSE;
}

TEST_F(Dialogs, GenerateIsShownOnlyWhileTheInputIsEmpty)
{
    TChangePasDlg dlg;
    dlg.PrepareNewPassword();
    INT_PTR result = RunDriven([&] { return dlg.ShowModal(nullptr); },
                               [&](HWND dialog) {
                                   EXPECT_EQ("Change current Lotus Notes password", testkit::GetControlText(dialog));
                                   EXPECT_EQ("Enter new Lotus Notes password:", Text(dialog, IDC_ENTER_CONF_LAB));
                                   EXPECT_EQ("Generate", Text(dialog, IDC_GENERATE_BT));
                                   EXPECT_TRUE(GenerateShown(dialog));
                                   HWND edit = GetDlgItem(dialog, IDC_PASSWORD_EDIT);
                                   SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("a"));
                                   EXPECT_FALSE(GenerateShown(dialog));
                                   SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
                                   EXPECT_TRUE(GenerateShown(dialog));
                                   PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_GENERATE_BT, BN_CLICKED), 0);
                               });
    EXPECT_EQ(ID_GENERATE_RESULT, result);
}

TEST_F(Dialogs, TheConfirmationNeverShowsGenerate)
{
    TChangePasDlg dlg;
    dlg.PrepareConfirmation();
    INT_PTR result = RunDriven([&] { return dlg.ShowModal(nullptr); },
                               [&](HWND dialog) {
                                   EXPECT_EQ("Confirm new Lotus Notes password", Text(dialog, IDC_ENTER_CONF_LAB));
                                   EXPECT_FALSE(GenerateShown(dialog));
                                   HWND edit = GetDlgItem(dialog, IDC_PASSWORD_EDIT);
                                   SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x"));
                                   SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
                                   EXPECT_FALSE(GenerateShown(dialog));
                                   EXPECT_EQ(64, static_cast<int>(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0)));
                                   EXPECT_EQ('X', static_cast<char>(SendMessageA(edit, EM_GETPASSWORDCHAR, 0, 0)));
                                   SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("pw-new"));
                                   PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                               });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ("pw-new", dlg.password);
}

}  // namespace
