// The client's password change taken over by Tolvik: a typed password with its confirmation, a
// generated one drawn from the Key, refusals and cancels; the ID file, the Key's record and the
// next password request all hold the new password.
#include <gtest/gtest.h>

#include <string>

#include "notes_control.h"
#include "notes_host_res.h"
#include "quorel_control.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;

constexpr int kEdit = 101;
constexpr int kPrompt = 109;
constexpr int kGenerate = 111;

class PasswordChange : public TolvikClient {
protected:
    // The change dialog of Tolvik (the product caption and the Generate button), after the
    // client's Change Password command.
    HWND OpenChange()
    {
        PostMessageA(s.WaitMain(), WM_COMMAND, IDM_CHANGE_PASSWORD, 0);
        return Dialog();
    }
    HWND Dialog()
    {
        HWND d = nullptr;
        DWORD start = GetTickCount();
        while (d == nullptr && GetTickCount() - start < NotesScenario::kWait) {
            d = s.Find("#32770", NotesScenario::kCaption, 50);
            if (d != nullptr && GetDlgItem(d, kGenerate) == nullptr)
                d = nullptr;
        }
        return d;
    }
    void Type(HWND dialog, const char *text)
    {
        ASSERT_TRUE(testkit::SetControlText(GetDlgItem(dialog, kEdit), text));
    }
    void Press(HWND dialog, int id)
    {
        testkit::ClickDialogButton(dialog, id);
        ASSERT_TRUE(testkit::WaitForWindowGone(dialog, NotesScenario::kWait));
    }
    // The ID is locked (F5) and unlocked by a click on the Logout Screen: the handler's password.
    void ExpectUnlockWith(const std::string &password)
    {
        PostMessageA(s.WaitMain(), WM_COMMAND, IDM_LOCK_ID, 0);
        HWND logout = s.Find(nullptr, "Logout Screen");
        ASSERT_NE(nullptr, logout);
        ASSERT_TRUE(s.WaitStatus("State=locked"));
        PostMessageA(logout, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 0);
        PostMessageA(logout, WM_LBUTTONUP, MK_CONTROL, 0);
        EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
        EXPECT_TRUE(s.WaitHostLog("by a handler")) << s.HostLog();
        EXPECT_EQ(NOERROR, NsimCheckIdPassword(s.TempFile("anna.id").c_str(), password.c_str()));
    }
    // The Key's record holds `password`, with the ID file that opens with it.
    void ExpectKeyHolds(int key, const std::string &password)
    {
        NotesKeyRecord record;
        std::string id;
        ASSERT_TRUE(s.ReadRecord(key, &record, &id));
        EXPECT_EQ(password, record.password);
        EXPECT_EQ(kAnna, record.user);
        EXPECT_EQ("anna.id", record.idFileName);
        std::string copy = s.dir().file("from-key.id");
        ASSERT_TRUE(testkit::WriteFileBytes(copy, id));
        EXPECT_EQ(NOERROR, NsimCheckIdPassword(copy.c_str(), password.c_str()));
    }
};

TEST_F(PasswordChange, TypedPasswordIsConfirmedAndReachesIdFileKeyAndNextRequest)
{
    int key = LogOn("1234");
    HWND ask = OpenChange();
    ASSERT_NE(nullptr, ask);
    EXPECT_EQ("Enter new Lotus Notes password:", testkit::GetControlText(GetDlgItem(ask, kPrompt)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(ask, kGenerate)));
    Type(ask, "new-secret");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(ask, kGenerate)));  // typing hides Generate
    Type(ask, "");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(ask, kGenerate)));   // an empty field shows it again
    Type(ask, "new-secret");
    Press(ask, IDOK);

    HWND confirm = Dialog();
    ASSERT_NE(nullptr, confirm);
    EXPECT_EQ("Confirm new Lotus Notes password", testkit::GetControlText(GetDlgItem(confirm, kPrompt)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(confirm, kGenerate)));
    Type(confirm, "new-secret");
    Press(confirm, IDOK);
    EXPECT_EQ("Password was successfuly changed", s.TakeBox());
    EXPECT_TRUE(s.WaitHostLog("password changed by a handler")) << s.HostLog();

    ExpectKeyHolds(key, "new-secret");
    ExpectUnlockWith("new-secret");
}

TEST_F(PasswordChange, GeneratedPasswordIsSixtyBase64CharactersHeldOnTheKey)
{
    int key = LogOn("");
    DWORD draws = QsimCallCount("GetRandom");
    HWND ask = OpenChange();
    ASSERT_NE(nullptr, ask);
    Press(ask, kGenerate);
    EXPECT_EQ("Password was successfuly changed", s.TakeBox());
    EXPECT_EQ(draws + 1, QsimCallCount("GetRandom"));

    NotesKeyRecord record;
    ASSERT_TRUE(s.ReadRecord(key, &record));
    EXPECT_EQ(60u, record.password.size()) << record.password;
    EXPECT_EQ(std::string::npos,
              record.password.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"));
    ExpectKeyHolds(key, record.password);
    ExpectUnlockWith(record.password);
}

struct RefusalCase {
    const char *name;
    const char *typed;      // null: Cancel in the first dialog
    const char *confirmed;  // null: Cancel in the confirmation
    const char *box;        // the box shown, or null
    unsigned status;        // what the client is answered
};

TEST_F(PasswordChange, RefusedOrCancelledChangesLeaveEverythingAsItWas)
{
    int key = LogOn("");
    const RefusalCase cases[] = {
        {"cancel", nullptr, nullptr, nullptr, 5928},
        {"empty", "", nullptr, nullptr, 6007},
        {"confirmation differs", "one-pass", "two-pass", "The password and its confirmation value are not the same",
         6007},
        {"confirmation cancelled", "one-pass", nullptr, nullptr, 5928},
    };
    for (const RefusalCase &c : cases) {
        SCOPED_TRACE(c.name);
        HWND ask = OpenChange();
        ASSERT_NE(nullptr, ask);
        if (c.typed == nullptr) {
            Press(ask, IDCANCEL);
        } else {
            Type(ask, c.typed);
            Press(ask, IDOK);
            if (c.typed[0] != 0) {
                HWND confirm = Dialog();
                ASSERT_NE(nullptr, confirm);
                if (c.confirmed != nullptr) {
                    Type(confirm, c.confirmed);
                    Press(confirm, IDOK);
                } else {
                    Press(confirm, IDCANCEL);
                }
            }
        }
        if (c.box != nullptr) {
            EXPECT_EQ(c.box, s.TakeBox());
        }
        EXPECT_TRUE(s.WaitHostLog("handlers answered " + std::to_string(c.status))) << s.HostLog();
        // Back to a fresh log line for the next case.
        testkit::WriteFileBytes(s.dir().file("host.log"), "");
    }
    ExpectKeyHolds(key, kAnnaPassword);
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(s.TempFile("anna.id").c_str(), kAnnaPassword));
}

TEST_F(PasswordChange, KeyPulledWhileTheDialogIsOpenChangesNothing)
{
    int key = LogOn("");
    HWND ask = OpenChange();
    ASSERT_NE(nullptr, ask);
    ASSERT_TRUE(s.Pull(key));
    for (DWORD start = GetTickCount();
         testkit::FileExists(s.TempFile("anna.id")) && GetTickCount() - start < NotesScenario::kWait;)
        testkit::PumpMessages(20);
    ASSERT_EQ("own.id", s.IniValue("KeyFileName"));
    Type(ask, "late-pass");
    Press(ask, IDOK);
    HWND confirm = Dialog();
    ASSERT_NE(nullptr, confirm);
    Type(confirm, "late-pass");
    Press(confirm, IDOK);
    // Not handled: the client goes on with its own dialog; the user's own ID keeps its password.
    EXPECT_TRUE(s.WaitHostLog("handlers answered 725")) << s.HostLog();
    HWND own = s.Find("#32770", "Change Password");
    ASSERT_NE(nullptr, own);
    testkit::ClickDialogButton(own, IDCANCEL);
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(s.dir().file("own.id").c_str(), kOwnPassword));
    ASSERT_TRUE(s.Insert(key));
    NotesKeyRecord record;
    ASSERT_TRUE(s.ReadRecord(key, &record));
    EXPECT_EQ(kAnnaPassword, record.password);
}

}  // namespace
