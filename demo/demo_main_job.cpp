// The main job, start to finish, as a person would see it: a blank Key prepared in the admin
// console (its PIN given, an ID file and its password written onto it through the console's
// windows), the Notes client started with Tolvik and TolvikM, the PIN typed, a database opened
// without a password prompt, the Key pulled (client locked) and put back (PIN, client back), the
// client closed with notes.ini as it was. Each step is timed and photographed (demo_timeline.h);
// scripts/demo.sh turns the records of the x64 (and x86) runs into build/demo/index.html.
#include <gtest/gtest.h>

#include <string>

#include "arbolin_window.h"
#include "demo_timeline.h"
#include "notes_host_res.h"
#include "notes_scenario.h"
#include "testkit.h"

namespace {

using testkit::ArbolinConsole;
using testkit::NotesScenario;

const char kUser[] = "Anna Berg/Morvath";
const char kKeyPassword[] = "pw-anna-key";
const char kPin[] = "2468";
const char kOwnId[] = "own.id";

// The menu add-in goes into notes.ini once the extension beside it carries the tools entry it
// hands the menu choice to; until then TolvikM would refuse to load, with a box.
bool ExtensionHasTools()
{
    HMODULE tolvik = LoadLibraryExA((testkit::ExeDir() + "Tolvik.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    bool has = tolvik != nullptr && GetProcAddress(tolvik, "SentrioTools") != nullptr;
    if (tolvik != nullptr)
        FreeLibrary(tolvik);
    return has;
}

TEST(MainJob, FromAPreparedKeyToALockedAndRestoredClient)
{
    demo::Timeline t;
    NotesScenario s;  // an empty Key stand-in with "Reader A"
    ASSERT_FALSE(s.MakeIdFile(kOwnId, "Olaf Own/Morvath", "pw-own").empty());

    // Anna's ID file as the administrator has it, beside the notes.ini the console initialises
    // Notes from; and a blank Key with its PIN.
    std::string id = s.MakeIdFile("anna.id", kUser, kKeyPassword);
    ASSERT_FALSE(id.empty());
    std::string ini = s.dir().file("admin-notes.ini");
    ASSERT_TRUE(testkit::WriteFileBytes(ini, "[Notes]\r\nDirectory=" + s.dir().path() + "\r\nKeyFileName=anna.id\r\n"));
    int key = s.MakeKey("Anna's Key", kPin, nullptr);
    ASSERT_NE(0, key);

    // The administrator prepares the Key in the console: the ID file and its password onto it.
    {
        ArbolinConsole c(false);
        EXPECT_TRUE(t.Step("The admin console starts", [&] { c.Start(); },
                           [&] { return c.WaitMain() != nullptr; }, [&] { return c.main(); }));
        EXPECT_TRUE(t.Step("The Key is inserted and listed in the console", [&] { s.Insert(key); },
                           [&] { return c.WaitRowCount(1) && c.Rows()[0].label == "Anna's Key"; },
                           [&] { return c.main(); }, "reader " + std::string(NotesScenario::kReader)));
        EXPECT_TRUE(t.Step("The Key's PIN is given in the console", [] {}, [&] { return c.GivePin(0, kPin); },
                           [&] { return c.main(); }));
        EXPECT_TRUE(t.Step("Anna's ID file and its password are written onto the Key",
                           [&] { c.WriteIdFile(id, ini, kKeyPassword); },
                           [&] { return testkit::WaitUntil([&] { return c.Rows()[0].info == kUser; }); },
                           [&] { return c.main(); }, "the Key's row shows " + std::string(kUser)));
        EXPECT_TRUE(t.Step("The console is closed", [] {}, [&] { return c.Close() == 0; }, [] { return nullptr; }));
    }

    // The Notes client with the extension and the menu add-in.
    s.Start(190, kOwnId, ExtensionHasTools() ? "AddInMenus=TolvikM.dll\r\n" : "");
    EXPECT_TRUE(t.Step("The Notes client starts with Tolvik and asks for the Key's PIN", [] {},
                       [&] { return s.WaitPinPrompt() != nullptr; }, [&] { return s.WaitPinPrompt(0); }));
    EXPECT_TRUE(t.Step("The PIN is entered: the client runs on the ID from the Key", [&] { s.AnswerPin(kPin); },
                       [&] {
                           return s.WaitMain() != nullptr && s.WaitStatus("State=open") &&
                                  s.Status().find(std::string("User=") + kUser) != std::string::npos;
                       },
                       [&] { return s.WaitMain(); }));
    EXPECT_TRUE(t.Step("A database is opened without a password prompt",
                       [&] { PostMessageA(s.WaitMain(), WM_COMMAND, IDM_OPEN_DATABASE, 0); },
                       [&] {
                           return s.WaitHostLog("database opened <names.nsf><" + std::string(kUser) + "> by a handler") &&
                                  s.HostLog().find("own password prompt") == std::string::npos;
                       },
                       [&] { return s.WaitMain(); }, "the extension answered the client's password request"));
    EXPECT_TRUE(t.Step("The Key is pulled: the client is locked", [&] { s.Pull(key); },
                       [&] { return s.WaitStatus("State=locked"); },
                       [&] {
                           HWND logout = s.Find(nullptr, "Logout Screen", 2000);
                           return logout != nullptr ? logout : s.WaitMain();
                       },
                       "notes.ini KeyFileName back to " + std::string(kOwnId)));
    EXPECT_TRUE(t.Step("The Key is put back: the PIN is asked again", [&] { s.Insert(key); },
                       [&] { return s.WaitPinPrompt() != nullptr; }, [&] { return s.WaitPinPrompt(0); }));
    EXPECT_TRUE(t.Step("The PIN is entered: the client is back on the ID from the Key", [&] { s.AnswerPin(kPin); },
                       [&] {
                           return s.WaitMain() != nullptr && s.WaitStatus("State=open") &&
                                  s.Status().find(std::string("User=") + kUser) != std::string::npos;
                       },
                       [&] { return s.WaitMain(); }));
    EXPECT_TRUE(t.Step("The client is closed: notes.ini is as it was", [] {},
                       [&] { return s.Close() == 0 && s.IniValue("KeyFileName") == kOwnId; },
                       [] { return nullptr; }));
    EXPECT_EQ(0, t.failures());
}

}  // namespace
