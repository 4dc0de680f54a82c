// The fixture of Tolvik's scenarios: the client's own ID "own.id", a Key with Anna's record, the
// client started on it, and the two ends a start can have (on the Key's ID, or the client's own).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "notes_scenario.h"
#include "testkit.h"

namespace tolvik_test {

using testkit::NotesKeyRecord;
using testkit::NotesScenario;

inline const char kAnna[] = "Anna Berg/Morvath";
inline const char kAnnaPassword[] = "pw-anna-key";
inline const char kOwner[] = "Olaf Own/Morvath";
inline const char kOwnPassword[] = "pw-own";
inline const NotesKeyRecord kAnnaRecord = {kAnna, kAnnaPassword, "anna.id"};

class TolvikClient : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(s.MakeIdFile("own.id", kOwner, kOwnPassword).empty()); }

    // A Key with Anna's record in the reader, and the client started with its own ID "own.id".
    int StartWithKey(const char *pin, int build = 190)
    {
        int key = s.MakeKey("Anna's Key", pin, &kAnnaRecord);
        EXPECT_NE(0, key);
        EXPECT_TRUE(s.Insert(key));
        s.Start(build, "own.id", extraIni);
        return key;
    }
    // Started with the Key, PIN given when it has one, and on the Key's ID.
    int LogOn(const char *pin, int build = 190)
    {
        int key = StartWithKey(pin, build);
        if (pin[0] != 0) {
            EXPECT_TRUE(s.AnswerPin(pin));
        }
        ExpectOnKeyId();
        return key;
    }
    // The client runs on the ID from the Key: its status, notes.ini and no prompt of its own.
    void ExpectOnKeyId()
    {
        ASSERT_NE(nullptr, s.WaitMain());
        EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
        EXPECT_NE(std::string::npos, s.Status().find(std::string("User=") + kAnna)) << s.Status();
        EXPECT_EQ(s.TempFile("anna.id"), s.IniValue("KeyFileName"));
        EXPECT_TRUE(testkit::FileExists(s.TempFile("anna.id")));
        EXPECT_EQ(std::string::npos, s.HostLog().find("own password prompt")) << s.HostLog();
    }
    // The client asks for its own ID with its own prompt and opens it.
    void ExpectClientsOwnPrompt(bool ownIdInIni = true)
    {
        ASSERT_TRUE(s.AnswerClientPrompt(kOwnPassword)) << s.HostLog();
        ASSERT_NE(nullptr, s.WaitMain());
        EXPECT_TRUE(s.WaitStatus(std::string("User=") + kOwner)) << s.Status();
        if (ownIdInIni) {
            EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
        }
    }

    NotesScenario s;
    std::string extraIni;  // further notes.ini lines for the start
};

// The popup of the Key commands as the client logs it when it opens: the title greyed and bold,
// then the Key commands, "Work with KSD", Help and About, each greyed when not offered.
inline std::string ToolsOffer(bool keyCommands, bool workWithKey)
{
    auto item = [](const char *text, bool on) { return std::string("<") + text + ">" + (on ? "" : " grey"); };
    return "<Morvath Sentrio> grey default|-|" + item("Change &PIN code for KSD", keyCommands) + "|" +
           item("Change &Biometric ID", keyCommands) + "|-|" + item("Save &ID file onto KSD", keyCommands) +
           "|-|" + item("&Work without KSD", keyCommands) + "|" + item("Work w&ith KSD", workWithKey) +
           "|-|<&Help>|<&About>";
}

// The client with the menu add-in too, so that Actions > "Morvath Sentrio Tools >" opens the tools.
class ToolsClient : public TolvikClient {
protected:
    void SetUp() override
    {
        TolvikClient::SetUp();
        extraIni = "AddInMenus=" + testkit::ExeDir() + "TolvikM.dll\r\n";
    }
    // Opens the tools, checks what they offer, and chooses `item`.
    void Choose(int item, bool keyCommands, bool workWithKey)
    {
        ASSERT_EQ(ToolsOffer(keyCommands, workWithKey), s.OpenTools()) << s.HostLog();
        ASSERT_TRUE(s.ChooseTool(item));
    }
};

}  // namespace tolvik_test
