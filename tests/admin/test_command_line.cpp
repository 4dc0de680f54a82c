// ArbolinCmd's commands in the test's own process, among virtual Keys and against the Notes
// stand-in: each command's exit code, what it writes, and what it leaves on the Keys, notes.ini
// and the Notes runtime (a table of cases); the secrets' sources; questions on the console.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "arbolin_cmd.h"
#include "command_line.h"
#include "key_records.h"
#include "notes_control.h"
#include "provisioning_scene.h"
#include "quorel_control.h"
#include "log.h"
#include "texts.h"
#include "virtual_keys.h"

namespace {

using testkit::CapturedIo;
using testkit::CountOf;
using testkit::VirtualKeys;

const char kAnnaUser[] = "Anna Berg/Morvath";
const char kAnnaPassword[] = "anna-secret";
const char kBertUser[] = "Bert Brun/Morvath";
const char kBertPassword[] = "bert-secret";
const char kAnnaPin[] = "p4711";  // not hexadecimal: never part of a card id it is compared with

// Anna's Key asks for its PIN and holds nothing; Bert's has no PIN and holds his ID file.
class CommandLine : public testing::Test {
public:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        LogInit("Sentrio", nullptr);  // as the program opens it: the secret scan reads what it writes
        ASSERT_TRUE(scene.ok());
        anna = scene.NewKey("Anna", kAnnaPin);
        bert = scene.NewKey("Bert", "");
        ASSERT_TRUE(scene.Insert(anna, "Reader A"));
        ASSERT_TRUE(scene.Insert(bert, "Reader B"));
        ASSERT_FALSE(scene.IdFile("anna.id", kAnnaUser, kAnnaPassword).empty());
        ASSERT_FALSE(scene.IdFile("bert.id", kBertUser, kBertPassword).empty());
        ASSERT_TRUE(scene.PutRecord(bert, kBertUser, kBertPassword, "bert.id"));
        secrets = scene.SecretsFile("secrets.txt", {{"anna-pin", kAnnaPin}, {"anna-pw", kAnnaPassword}});
        ASSERT_FALSE(secrets.empty());
        iniBefore = scene.IniText();
    }
    // The arguments with "@name" turned into the path of `name` in the scene's folder.
    std::vector<std::string> Paths(const std::vector<std::string> &args)
    {
        std::vector<std::string> out;
        for (const std::string &a : args)
            out.push_back(!a.empty() && a[0] == '@' ? scene.file(a.substr(1)) : a);
        return out;
    }
    int Run(const std::vector<std::string> &args, CapturedIo &io) { return RunArbolinCmd(Paths(args), io); }

    testkit::ProvisioningScene scene;
    int anna = 0, bert = 0;
    std::string secrets, iniBefore;
    std::string lastOut;  // what the last command of a table row wrote
};

// ---- Every command: exit code, output, and what it leaves ---------------------------------------

struct CommandCase {
    const char *name;
    std::vector<std::string> args;  // "@name": a file of the scene's folder
    std::vector<std::string> input; // lines of standard input
    int exit;
    const char *out;  // in standard output ("" none expected)
    const char *err;  // in standard error ("" none expected: it stays empty)
    // What the Keys, files and stand-ins show afterwards: "" when as expected, else what is wrong.
    std::function<std::string(CommandLine &, int anna, int bert)> check;
};

std::string Ok(bool good, const std::string &what)
{
    return good ? "" : what;
}

std::string AnnaHolds(int anna, const char *user)
{
    testkit::KeyRecordFields r = testkit::GetKeyRecord(anna);
    return Ok(r.found && r.user == user && r.password == kAnnaPassword, "Anna's Key holds: " + r.user);
}

std::string AnnaEmpty(int anna)
{
    return Ok(VirtualKeys::Data(anna).empty(), "Anna's Key was written");
}

const CommandCase kCases[] = {
    {"Help", {"--help"}, {}, kExitDone, "7  not confirmed", "", nullptr},
    {"NoCommand", {}, {}, kExitUsage, "", "No command given. See ArbolinCmd --help.", nullptr},
    {"UnknownCommand", {"format"}, {}, kExitUsage, "", "Unknown command \"format\"", nullptr},
    {"UnknownOption", {"list", "--all"}, {}, kExitUsage, "", "Unknown option --all for list", nullptr},
    {"OptionWithoutValue", {"set-label", "--key", "Bert", "--label"}, {}, kExitUsage, "", "--label needs a value", nullptr},
    {"PinOnTheCommandLineIsRefused", {"verify-pin", "--key", "Anna", "--pin", kAnnaPin}, {}, kExitUsage, "",
     "That is no source of a secret",
     [](CommandLine &, int anna, int) { return Ok(VirtualKeys::State(anna).tries == 3, "a PIN was presented"); }},
    {"ListTable", {"list"}, {}, kExitDone, "Reader A            Anna", "", nullptr},
    {"ListShowsTheUserOfAKeyWithoutPin", {"list"}, {}, kExitDone, kBertUser, "", nullptr},
    {"ListSaysAPinIsNeeded", {"list"}, {}, kExitDone, "(PIN needed)", "", nullptr},
    {"ListJson", {"list", "--json"}, {}, kExitDone,
     "\"label\": \"Anna\", \"cardId\": \"", "", nullptr},
    {"ListJsonUser", {"list", "--json"}, {}, kExitDone, "\"state\": \"ready\", \"triesLeft\": 3, \"user\": \"Bert Brun/Morvath\"",
     "", nullptr},
    {"VerifyPinRight", {"verify-pin", "--key", "Anna", "--pin", "stdin"}, {kAnnaPin}, kExitDone,
     "PIN accepted: the Key in Reader A is open.", "", nullptr},
    {"VerifyPinWrong", {"verify-pin", "--key", "Anna", "--pin", "stdin"}, {"9999"}, kExitPin, "",
     "Remain 2 attempts to enter correct PIN code\nCheck the PIN given",
     [](CommandLine &, int anna, int) { return Ok(VirtualKeys::State(anna).tries == 2, "tries not 2"); }},
    {"VerifyPinTooShort", {"verify-pin", "--key", "Anna", "--pin", "stdin"}, {"12"}, kExitPin, "",
     "PIN length need at least 4 symbols. A PIN has 4 to 8 characters",
     [](CommandLine &, int anna, int) { return Ok(VirtualKeys::State(anna).tries == 3, "a PIN was presented"); }},
    {"VerifyPinOfAKeyWithout", {"verify-pin", "--key", "Bert", "--pin", "stdin"}, {"1234"}, kExitDone,
     "The Key in Reader B asks for no PIN now", "", nullptr},
    {"VerifyPinNeedsASource", {"verify-pin", "--key", "Anna"}, {}, kExitUsage, "", "verify-pin needs --pin", nullptr},
    {"StdinEndedBeforeThePin", {"verify-pin", "--key", "Anna", "--pin", "stdin"}, {}, kExitUsage, "",
     "Standard input ended before the PIN of the Key in Reader A", nullptr},
    {"PromptWithoutConsole", {"verify-pin", "--key", "Anna", "--pin", "prompt"}, {}, kExitUsage, "",
     "standard input is not a console", nullptr},
    {"PinNeededNotGiven", {"show", "--key", "Anna"}, {}, kExitPin, "", "asks for its PIN. Give it with --pin", nullptr},
    {"KeyNamedByCardIdReaderOrLabel", {"show", "--key", "Reader B"}, {}, kExitDone, kBertUser, "", nullptr},
    {"UnknownKey", {"show", "--key", "Zed"}, {}, kExitNoKey, "", "No inserted Key has the card id, label or reader \"Zed\"",
     nullptr},
    {"TwoKeysNoneNamed", {"show"}, {}, kExitNoKey, "", "2 Keys are inserted. Name the one meant with --key", nullptr},
    {"ShowUserAndFileNotThePassword", {"show", "--key", "Bert"}, {}, kExitDone, "ID file:  bert.id", "",
     [](CommandLine &t, int, int) { return Ok(t.lastOut.find(kBertPassword) == std::string::npos, "password shown"); }},
    {"ShowPasswordUnconfirmed", {"show", "--key", "Bert", "--password"}, {}, kExitNotConfirmed, "",
     "Nobody can be asked here", [](CommandLine &t, int, int) {
         return Ok(t.lastOut.find(kBertPassword) == std::string::npos, "password shown");
     }},
    {"ShowPasswordConfirmed", {"show", "--key", "Bert", "--password", "--yes"}, {}, kExitDone,
     "Current Notes password:\n\n bert-secret\n", "", nullptr},
    {"YesWithoutPassword", {"show", "--key", "Bert", "--yes"}, {}, kExitUsage, "", "give it with --password", nullptr},
    {"DetachToANewFile", {"detach", "--key", "Bert", "--to", "@out.id"}, {}, kExitDone, "Saved bert.id", "",
     [](CommandLine &t, int, int) {
         return Ok(testkit::ReadFileBytes(t.scene.file("out.id")) == testkit::ReadFileBytes(t.scene.file("bert.id")),
                   "detached bytes differ");
     }},
    {"DetachOverAFileUnconfirmed", {"detach", "--key", "Bert", "--to", "@notes.ini"}, {}, kExitNotConfirmed, "",
     "already exist", [](CommandLine &t, int, int) { return Ok(t.scene.IniText() == t.iniBefore, "file replaced"); }},
    {"DetachOverwrite", {"detach", "--key", "Bert", "--to", "@admin.id", "--overwrite"}, {}, kExitDone, "Saved", "",
     [](CommandLine &t, int, int) {
         return Ok(testkit::ReadFileBytes(t.scene.file("admin.id")) == testkit::ReadFileBytes(t.scene.file("bert.id")),
                   "not replaced");
     }},
    {"DetachIntoAFolderThatIsNotThere", {"detach", "--key", "Bert", "--to", "@none\\out.id"}, {}, kExitFailed, "",
     "Can't open ID file to writing", nullptr},
    {"DetachFromAnEmptyKey", {"detach", "--key", "Anna", "--pin", "stdin", "--to", "@out.id"}, {kAnnaPin}, kExitFailed, "",
     "holds no ID file: nothing to detach", nullptr},
    {"Attach",
     {"attach", "--key", "Anna", "--pin", "stdin", "--id-file", "@anna.id", "--ini", "@notes.ini", "--password", "stdin"},
     {kAnnaPin, kAnnaPassword}, kExitDone, "Attached anna.id", "",
     [](CommandLine &, int anna, int) { return AnnaHolds(anna, kAnnaUser); }},
    {"AttachWithSecretsFile",
     {"attach", "--key", "Anna", "--pin", "secret:anna-pin", "--id-file", "@anna.id", "--ini", "@notes.ini", "--password",
      "secret:anna-pw", "--secrets", "@secrets.txt"},
     {}, kExitDone, "Attached anna.id", "", [](CommandLine &, int anna, int) { return AnnaHolds(anna, kAnnaUser); }},
    {"AttachWrongPassword",
     {"attach", "--key", "Anna", "--pin", "stdin", "--id-file", "@anna.id", "--ini", "@notes.ini", "--password", "stdin"},
     {kAnnaPin, "wrong"}, kExitNotes, "", "Invalid password is entered for",
     [](CommandLine &, int anna, int) { return AnnaEmpty(anna); }},
    {"AttachMissingIdFile",
     {"attach", "--key", "Anna", "--pin", "stdin", "--id-file", "@gone.id", "--ini", "@notes.ini", "--password", "stdin"},
     {kAnnaPin, kAnnaPassword}, kExitFailed, "", "Error ID file opening",
     [](CommandLine &, int anna, int) { return AnnaEmpty(anna); }},
    {"AttachIniMissing",
     {"attach", "--key", "Anna", "--pin", "stdin", "--id-file", "@anna.id", "--ini", "@none\\notes.ini", "--password",
      "stdin"},
     {kAnnaPin, kAnnaPassword}, kExitNotes, "", "Check that --ini names the notes.ini",
     [](CommandLine &, int anna, int) { return AnnaEmpty(anna); }},
    {"AttachNeedsItsOptions", {"attach", "--key", "Anna", "--id-file", "@anna.id"}, {}, kExitUsage, "", "attach needs --ini",
     nullptr},
    {"SetLabel", {"set-label", "--key", "Bert", "--label", "Office"}, {}, kExitDone, "is now listed as Office", "",
     [](CommandLine &, int, int bert) {
         return Ok(std::string(VirtualKeys::State(bert).label) == "Office", "label not set");
     }},
    {"RemoveLabelShowsTheCardId", {"set-label", "--key", "Bert", "--label", ""}, {}, kExitDone, "is now listed as ", "",
     [](CommandLine &, int, int bert) { return Ok(VirtualKeys::State(bert).label[0] == 0, "label kept"); }},
    {"LabelTooLong", {"set-label", "--key", "Bert", "--label", std::string(32, 'L')}, {}, kExitUsage, "",
     "at most 31 characters", [](CommandLine &, int, int bert) {
         return Ok(std::string(VirtualKeys::State(bert).label) == "Bert", "label changed");
     }},
    {"ChangePin", {"change-pin", "--key", "Anna", "--pin", "stdin", "--new-pin", "stdin"}, {kAnnaPin, "8642"}, kExitDone,
     "PIN is changed successfully!", "",
     [](CommandLine &, int anna, int) { return Ok(std::string(VirtualKeys::State(anna).pin) == "8642", "pin kept"); }},
    {"ChangePinTooShort", {"change-pin", "--key", "Anna", "--pin", "stdin", "--new-pin", "stdin"}, {kAnnaPin, "864"},
     kExitPin, "", "PIN length need at least 4 symbols",
     [](CommandLine &, int anna, int) { return Ok(std::string(VirtualKeys::State(anna).pin) == kAnnaPin, "pin changed"); }},
    {"RemovePin", {"change-pin", "--key", "Anna", "--pin", "stdin", "--new-pin", "none"}, {kAnnaPin}, kExitDone,
     "PIN is changed", "",
     [](CommandLine &, int anna, int) { return Ok(VirtualKeys::State(anna).pin[0] == 0, "pin kept"); }},
    {"UnblockAKeyNotBlocked", {"unblock", "--key", "Bert", "--pin", "stdin"}, {"1234"}, kExitFailed, "",
     "is not blocked: nothing to unblock", nullptr},
    {"ClearUnconfirmed", {"clear", "--key", "Bert"}, {}, kExitNotConfirmed, "", "Add --yes",
     [](CommandLine &, int, int bert) { return Ok(testkit::GetKeyRecord(bert).found, "cleared"); }},
    {"Clear", {"clear", "--key", "Bert", "--yes"}, {}, kExitDone, "is deleted", "",
     [](CommandLine &, int, int bert) { return Ok(VirtualKeys::Data(bert).empty(), "record kept"); }},
    {"ChangePasswordGenerated", {"change-password", "--key", "Bert", "--ini", "@notes.ini", "--generate"}, {}, kExitDone,
     "to one the Key made (not shown)", "",
     [](CommandLine &t, int, int bert) {
         testkit::KeyRecordFields r = testkit::GetKeyRecord(bert);
         std::string check = t.scene.file("check.id");
         testkit::WriteFileBytes(check, r.idFile);
         return Ok(r.password.size() == 64 && NsimCheckIdPassword(check.c_str(), r.password.c_str()) == NOERROR &&
                       t.lastOut.find(r.password) == std::string::npos,
                   "generated password not on the Key's ID file, or shown");
     }},
    {"ChangePasswordTyped", {"change-password", "--key", "Bert", "--ini", "@notes.ini", "--new-password", "stdin"},
     {"brand-new"}, kExitDone, "is changed.", "",
     [](CommandLine &, int, int bert) { return Ok(testkit::GetKeyRecord(bert).password == "brand-new", "kept"); }},
    {"ChangePasswordToTheSame", {"change-password", "--key", "Bert", "--ini", "@notes.ini", "--new-password", "stdin"},
     {kBertPassword}, kExitUsage, "", "Specified password already used now",
     [](CommandLine &, int, int bert) { return Ok(testkit::GetKeyRecord(bert).password == kBertPassword, "changed"); }},
    {"ChangePasswordBothWays", {"change-password", "--key", "Bert", "--ini", "@notes.ini", "--generate", "--new-password",
     "stdin"}, {}, kExitUsage, "", "either --new-password <source> or --generate", nullptr},
    {"SecretFromAFileOthersRead", {"verify-pin", "--key", "Anna", "--pin", "file:@notes.ini"}, {}, kExitUsage, "",
     "can be read by other users of this PC", nullptr},
    {"SecretsFileWithoutTheEntry", {"verify-pin", "--key", "Anna", "--pin", "secret:carl-pin", "--secrets", "@secrets.txt"},
     {}, kExitUsage, "", "has no entry carl-pin", nullptr},
    {"SecretEntryWithoutSecretsFile", {"verify-pin", "--key", "Anna", "--pin", "secret:anna-pin"}, {}, kExitUsage, "",
     "Add --secrets <file>", nullptr},
    {"SecretsFileOthersRead", {"verify-pin", "--key", "Anna", "--pin", "stdin", "--secrets", "@notes.ini"}, {kAnnaPin}, kExitUsage, "", "can be read by other users", nullptr},
};

class Commands : public CommandLine, public testing::WithParamInterface<CommandCase> {};

TEST_P(Commands, ExitCodeOutputAndEffect)
{
    const CommandCase &t = GetParam();
    std::vector<std::string> args;
    for (const std::string &a : t.args)  // "file:@x" also names a file of the folder
        args.push_back(a.compare(0, 6, "file:@") == 0 ? "file:" + scene.file(a.substr(6)) : a);
    CapturedIo io(t.input);
    int code = Run(args, io);
    lastOut = io.out();
    EXPECT_EQ(t.exit, code) << "out: " << io.out() << "\nerr: " << io.err();
    if (t.out[0] != 0) {
        EXPECT_NE(std::string::npos, io.out().find(t.out)) << io.out();
    }
    if (t.err[0] != 0) {
        EXPECT_NE(std::string::npos, io.err().find(t.err)) << io.err();
    } else {
        EXPECT_EQ("", io.err());
    }
    if (t.check) {
        EXPECT_EQ("", t.check(*this, anna, bert));
    }
    // On every path: the Notes runtime ended, notes.ini as it was, no secret said but the one
    // asked for.
    EXPECT_FALSE(testkit::ProvisioningScene::NotesRuntimeRunning());
    EXPECT_EQ(iniBefore, scene.IniText());
    for (const char *secret : {kAnnaPin, kAnnaPassword}) {
        EXPECT_EQ(std::string::npos, (io.out() + io.err()).find(secret)) << secret;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Commands, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<CommandCase> &info) { return std::string(info.param.name); });

TEST_F(CommandLine, MessageLongerThanATextIsStillOneWholeLine)
{
    CapturedIo io;
    EXPECT_EQ(kExitNoKey, Run({"show", "--key", std::string(1500, 'K')}, io));
    std::string err = io.err();
    EXPECT_EQ(0u, err.find("ArbolinCmd: No inserted Key has the card id, label or reader \"KKK")) << err;
    ASSERT_FALSE(err.empty());
    EXPECT_EQ('\n', err.back());
    EXPECT_EQ(1, CountOf(err, "\n"));
}

// ---- Blocked Keys --------------------------------------------------------------------------------

TEST_F(CommandLine, BlockedKeyIsRefusedAndUnblockedWithItsRightPin)
{
    ASSERT_TRUE(QsimBlockKey(anna, 1));
    ASSERT_TRUE(testkit::WaitUntil([&] {
        CapturedIo io;
        Run({"list", "--json"}, io);
        return io.out().find("\"state\": \"blocked\"") != std::string::npos;
    }, 10000));
    CapturedIo show({kAnnaPin});
    EXPECT_EQ(kExitPin, Run({"show", "--key", "Anna", "--pin", "stdin"}, show));
    EXPECT_NE(std::string::npos, show.err().find("Reader A is blocked. Unblock it with ArbolinCmd unblock")) << show.err();
    CapturedIo unblock({kAnnaPin});
    EXPECT_EQ(kExitDone, Run({"unblock", "--key", "Anna", "--pin", "stdin"}, unblock)) << unblock.err();
    EXPECT_EQ(3, VirtualKeys::State(anna).tries);
}

TEST_F(CommandLine, ListAsJsonEscapesWhatIsNotPlainAscii)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the label's bytes are written for code page 1252; this system's is " << GetACP();
    ASSERT_TRUE(QsimSetLabel(bert, "B\xFCr\xF6 \"A\"\\1"));
    CapturedIo io;
    EXPECT_EQ(kExitDone, Run({"list", "--json"}, io)) << io.err();
    EXPECT_NE(std::string::npos, io.out().find("\"label\": \"B\\u00fcr\\u00f6 \\\"A\\\"\\\\1\"")) << io.out();
}

TEST_F(CommandLine, ListReadsNoKeyThatWouldAskForABiometricCheck)
{
    const char bir[] = "1 BioAPI";
    ASSERT_TRUE(QsimSetData(bert, 227, bir, sizeof bir));
    DWORD reads = QsimCallCount("ReadData");
    CapturedIo io;
    EXPECT_EQ(kExitDone, Run({"list"}, io)) << io.err();
    EXPECT_NE(std::string::npos, io.out().find("(biometric check)")) << io.out();
    EXPECT_EQ(std::string::npos, io.out().find(kBertUser)) << io.out();
    EXPECT_EQ(reads, QsimCallCount("ReadData"));
    CapturedIo json;
    EXPECT_EQ(kExitDone, Run({"list", "--json"}, json));
    EXPECT_NE(std::string::npos, json.out().find("\"user\": null, \"biometric\": true")) << json.out();
}

// ---- A Key pulled during a command --------------------------------------------------------------

TEST_F(CommandLine, KeyPulledDuringTheAttachFailsItAndTouchesNoOtherKey)
{
    std::string bertBefore = VirtualKeys::Data(bert);
    ASSERT_TRUE(QsimPullOnCall("WriteData", 0, anna));
    CapturedIo io({kAnnaPin, kAnnaPassword});
    int code = Run({"attach", "--key", "Anna", "--pin", "stdin", "--id-file", "@anna.id", "--ini", "@notes.ini",
                    "--password", "stdin"},
                   io);
    EXPECT_EQ(kExitNoKey, code) << io.err();
    EXPECT_NE(std::string::npos, io.err().find("The Key is no longer in Reader A: insert it again and run the command again. No other Key was touched.")) << io.err();
    EXPECT_EQ(bertBefore, VirtualKeys::Data(bert));
    EXPECT_FALSE(testkit::ProvisioningScene::NotesRuntimeRunning());
    EXPECT_EQ(iniBefore, scene.IniText());
}

// ---- Questions on the console ------------------------------------------------------------------

struct AskCase {
    const char *name;
    std::vector<std::string> args;
    std::vector<std::string> answers;
    int exit;
    const char *question;  // the start of the first question
    bool hidden;           // asked with the typing hidden
};

const AskCase kAsks[] = {
    {"PinAtThePrompt", {"verify-pin", "--key", "Anna", "--pin", "prompt"}, {kAnnaPin}, kExitDone,
     "The PIN of the Key in Reader A: ", true},
    {"ShowPasswordYes", {"show", "--key", "Bert", "--password"}, {"y"}, kExitDone,
     "The password will be shown in open form.\n\nAre you sure? [y/N] ", false},
    {"ShowPasswordNo", {"show", "--key", "Bert", "--password"}, {"n"}, kExitNotConfirmed,
     "The password will be shown in open form.", false},
    {"ClearNo", {"clear", "--key", "Bert"}, {"no"}, kExitNotConfirmed, "Clear all Lotus Notes info: Are you sure?", false},
    {"NewPinTypedTwiceDiffering", {"change-pin", "--key", "Bert", "--new-pin", "prompt"}, {"2468", "2469"}, kExitPin,
     "The new PIN: ", true},
    {"NewPasswordTypedTwice", {"change-password", "--key", "Bert", "--ini", "@notes.ini", "--new-password", "prompt"},
     {"typed-new", "typed-new"}, kExitDone, "The new Notes password: ", true},
};

class Asks : public CommandLine, public testing::WithParamInterface<AskCase> {};

TEST_P(Asks, Question)
{
    const AskCase &t = GetParam();
    CapturedIo io({}, true, t.answers);
    EXPECT_EQ(t.exit, Run(t.args, io)) << io.err();
    std::vector<std::string> asked = io.questions();
    ASSERT_FALSE(asked.empty());
    std::string expected = (t.hidden ? "hidden: " : "") + std::string(t.question);
    EXPECT_EQ(0u, asked[0].find(expected)) << asked[0];
    if (t.exit == kExitNotConfirmed || std::string(t.name) == "NewPinTypedTwiceDiffering") {
        EXPECT_STREQ("", VirtualKeys::State(bert).pin);  // nothing changed
        EXPECT_TRUE(testkit::GetKeyRecord(bert).found);
    }
}

INSTANTIATE_TEST_SUITE_P(Console, Asks, testing::ValuesIn(kAsks),
                         [](const testing::TestParamInfo<AskCase> &info) { return std::string(info.param.name); });

}  // namespace
