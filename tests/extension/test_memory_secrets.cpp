// The Key's PIN and its Notes password do not stay in the client's memory once the Key session
// ended: the client's private committed pages (heaps, stacks, private allocations, and its modules'
// globals) are read after
// a pull and searched for both, as 8-bit text and as UTF-16. The stand-ins' shared mappings model
// the Key itself and are not searched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notes_host_res.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;

// Distinctive, so that a find is never a coincidence.
const char kPin[] = "Q7pZ4kW9";
const char kPassword[] = "Veydra!Quillon-83hX";

std::string Lines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

class MemorySecrets : public TolvikClient {
protected:
    // The client started on Anna's Key (its distinctive PIN and Notes password) and open on it.
    void StartOnTheKey(int *key)
    {
        const NotesKeyRecord record = {kAnna, kPassword, "anna.id"};
        *key = s.MakeKey("Anna's Key", kPin, &record);
        ASSERT_NE(0, *key);
        ASSERT_TRUE(s.Insert(*key));
        s.Start(190, "own.id");
        ASSERT_TRUE(s.AnswerPin(kPin));
        ASSERT_NE(nullptr, s.WaitMain());
        ASSERT_TRUE(s.WaitStatus("State=open")) << s.Status();
    }
    // The pull's lock has run to its end: notes.ini put back and the Logout Screen disabled
    // under the lock (the last step, after the session's data were wiped).
    void ExpectLockDone()
    {
        EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
        EXPECT_TRUE(testkit::WaitUntil([&] { return s.IniValue("KeyFileName") == "own.id"; }));
        EXPECT_TRUE(testkit::WaitUntil([&] {
            HWND screen = s.Find(nullptr, "Logout Screen", 0);
            return screen != nullptr && !IsWindowEnabled(screen);
        }));
    }
};

TEST_F(MemorySecrets, AfterAPullTheClientHoldsNeitherThePinNorTheNotesPassword)
{
    int key = 0;
    ASSERT_NO_FATAL_FAILURE(StartOnTheKey(&key));

    HANDLE client = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, s.pid());
    ASSERT_NE(nullptr, client);
    // While the session runs, the scan finds the password where the product keeps it.
    std::vector<std::string> during = testkit::FindInPrivateMemory(client, {kPassword});
    EXPECT_FALSE(during.empty());
    EXPECT_EQ(std::string::npos, Lines(during).find("nothing could be read")) << Lines(during);

    ASSERT_TRUE(s.Pull(key));
    ExpectLockDone();
    std::vector<std::string> finds = testkit::FindInPrivateMemory(client, {kPin, kPassword});
    EXPECT_TRUE(finds.empty()) << finds.size() << " finds:\n" << Lines(finds);
    CloseHandle(client);
}

TEST_F(MemorySecrets, ANewPasswordTypedInTheChangeIsGoneAfterAPull)
{
    const char kNewPassword[] = "Orvane#Tesk-5521";
    int key = 0;
    ASSERT_NO_FATAL_FAILURE(StartOnTheKey(&key));

    // The change: the new password typed twice, written to the Key.
    testkit::NoteSecret(kNewPassword);
    PostMessageA(s.WaitMain(), WM_COMMAND, IDM_CHANGE_PASSWORD, 0);
    for (int dialog = 0; dialog < 2; ++dialog) {
        HWND ask = s.Find("#32770", NotesScenario::kCaption);
        ASSERT_NE(nullptr, ask);
        ASSERT_TRUE(testkit::SetControlText(GetDlgItem(ask, 101), kNewPassword));
        testkit::ClickDialogButton(ask, IDOK);
        ASSERT_TRUE(testkit::WaitForWindowGone(ask, NotesScenario::kWait));
    }
    EXPECT_EQ("Password was successfuly changed", s.TakeBox());

    HANDLE client = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, s.pid());
    ASSERT_NE(nullptr, client);
    ASSERT_TRUE(s.Pull(key));
    ExpectLockDone();
    std::vector<std::string> finds = testkit::FindInPrivateMemory(client, {kPin, kPassword, kNewPassword});
    EXPECT_TRUE(finds.empty()) << finds.size() << " finds:\n" << Lines(finds);
    CloseHandle(client);
}

}  // namespace
