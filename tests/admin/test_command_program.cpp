// ArbolinCmd.exe itself, run as an administrator's script runs it: arguments, standard input
// through a pipe, the exit code, both outputs; the Notes runtime it pairs, seen from outside; and
// the program started where no smart-key library is.
#include <gtest/gtest.h>

#include <string>

#include "arbolin_cmd.h"
#include "chm_file.h"
#include "command_line.h"
#include "key_messages.h"
#include "key_records.h"
#include "provisioning_scene.h"
#include "quorel_control.h"
#include "testkit.h"
#include "virtual_keys.h"

namespace {

using testkit::ConsoleRun;
using testkit::RunConsoleProgram;

std::string ArbolinCmdExe()
{
    return "\"" + testkit::ExeDir() + "ArbolinCmd.exe\"";
}

std::string Quoted(const std::string &path)
{
    return "\"" + path + "\"";
}

class Program : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scene.ok()); }
    testkit::ProvisioningScene scene;
};

TEST_F(Program, HelpDocumentsEveryExitCode)
{
    ConsoleRun run = RunConsoleProgram(ArbolinCmdExe() + " --help");
    EXPECT_EQ(kExitDone, run.exitCode);
    for (const char *line : {"0  done", "1  the command failed", "2  bad arguments", "3  the smart-key library",
                             "4  the Key is in no reader", "5  the PIN was refused", "6  Notes could not be started",
                             "7  not confirmed"})
        EXPECT_NE(std::string::npos, run.out.find(line)) << line;
    EXPECT_EQ("", run.err);
}

// The administrator's guide in the help file lists the same exit codes, in the same words, as --help.
TEST(ExitCodes, TheGuideAndTheHelpTextAgree)
{
    testkit::ChmFile chm(testkit::ExeDir() + "Sentrio.CHM");
    ASSERT_TRUE(chm.ok());
    std::string page;
    ASSERT_TRUE(chm.Read("/admin_scripted.htm", &page));
    std::string usage = CmdUsage();
    int rows = 0;
    for (std::size_t at = page.find("<tr><td>"); at != std::string::npos; at = page.find("<tr><td>", at + 1)) {
        std::size_t codeEnd = page.find("</td><td>", at);
        std::size_t end = page.find("</td></tr>", at);
        std::string code = page.substr(at + 8, codeEnd - at - 8);
        if (code.size() != 1 || !isdigit(static_cast<unsigned char>(code[0])))
            continue;  // a row of another table
        std::string meaning;
        bool inTag = false;
        for (char ch : page.substr(codeEnd + 9, end - codeEnd - 9)) {
            if (ch == '<' || ch == '>')
                inTag = ch == '<';
            else if (!inTag)
                meaning += ch;
        }
        SCOPED_TRACE(code);
        EXPECT_NE(std::string::npos, usage.find("  " + code + "  " + meaning + "\n")) << meaning;
        ++rows;
    }
    EXPECT_EQ(8, rows);
}

TEST_F(Program, BadArgumentsSayWhereTheUsageIs)
{
    ConsoleRun run = RunConsoleProgram(ArbolinCmdExe() + " list --everything");
    EXPECT_EQ(kExitUsage, run.exitCode);
    EXPECT_EQ("ArbolinCmd: Unknown option --everything for list. See ArbolinCmd --help.\r\n", run.err);
    EXPECT_EQ("", run.out);
}

TEST_F(Program, PinThroughAPipe)
{
    int key = scene.NewKey("Anna", "p4711");
    ASSERT_TRUE(scene.Insert(key, "Reader A"));
    ConsoleRun wrong = RunConsoleProgram(ArbolinCmdExe() + " verify-pin --pin stdin", "1111\r\n");
    EXPECT_EQ(kExitPin, wrong.exitCode) << wrong.err;
    ConsoleRun right = RunConsoleProgram(ArbolinCmdExe() + " verify-pin --pin stdin", "p4711\r\n");
    EXPECT_EQ(kExitDone, right.exitCode) << right.err;
    EXPECT_EQ("PIN accepted: the Key in Reader A is open.\r\n", right.out);
    EXPECT_EQ(3, testkit::VirtualKeys::State(key).tries);  // the right PIN gave the attempts back
}

// Without a console to ask at, the questions are not asked: what to give instead is said.
TEST_F(Program, NoPromptAndNoQuestionThroughAPipe)
{
    int key = scene.NewKey("Bert", "p4711");
    ASSERT_TRUE(scene.Insert(key, "Reader B"));
    ConsoleRun prompt = RunConsoleProgram(ArbolinCmdExe() + " verify-pin --pin prompt");
    EXPECT_EQ(kExitUsage, prompt.exitCode);
    EXPECT_NE(std::string::npos, prompt.err.find("standard input is not a console. Give it with stdin, file:<path> or "
                                                 "secret:<name>.")) << prompt.err;
    ConsoleRun clear = RunConsoleProgram(ArbolinCmdExe() + " clear --pin stdin", "p4711\r\n");
    EXPECT_EQ(kExitNotConfirmed, clear.exitCode);
    EXPECT_NE(std::string::npos, clear.err.find("Add --yes to confirm it on the command line.")) << clear.err;
    EXPECT_EQ(3, testkit::VirtualKeys::State(key).tries);
}

TEST_F(Program, AttachPairsTheNotesRuntimeAndLeavesNotesIniAsItWas)
{
    int key = scene.NewKey("Anna", "");
    ASSERT_TRUE(scene.Insert(key, "Reader A"));
    std::string idFile = scene.IdFile("anna.id", "Anna Berg/Morvath", "anna-secret");
    std::string ini = scene.IniText();
    std::string runtimeLog = scene.file("runtime.log");
    ConsoleRun run = RunConsoleProgram(ArbolinCmdExe() + " attach --id-file " + Quoted(idFile) + " --ini " +
                                           Quoted(scene.ini()) + " --password stdin",
                                       "anna-secret\r\n", 60000, {"SENTRIO_NOTES_RUNTIME_LOG=" + runtimeLog});
    EXPECT_EQ(kExitDone, run.exitCode) << run.err;
    EXPECT_EQ("init\nterm\n", testkit::ReadFileBytes(runtimeLog));
    EXPECT_EQ(ini, scene.IniText());
    EXPECT_EQ("Anna Berg/Morvath", testkit::GetKeyRecord(key).user);
}

TEST_F(Program, BatchThroughTheProgram)
{
    int anna = scene.NewKey("Anna", "p4711");
    int bert = scene.NewKey("", "");
    ASSERT_TRUE(scene.Insert(anna, "Reader A"));
    ASSERT_TRUE(scene.Insert(bert, "Reader B"));
    std::string bertId = CardIdText(testkit::VirtualKeys::State(bert).cardId);
    ASSERT_FALSE(scene.IdFile("anna.id", "Anna Berg/Morvath", "anna-secret").empty());
    ASSERT_FALSE(scene.IdFile("bert.id", "Bert Brun/Morvath", "bert-secret").empty());
    std::string secrets = scene.SecretsFile("keys.secrets", {{"anna-pin", "p4711"}, {"anna-pw", "anna-secret"}});
    std::string csv = scene.file("keys.csv");
    ASSERT_TRUE(testkit::WriteFileBytes(csv, "key,id_file,password,pin\r\n"
                                             "Anna," + scene.file("anna.id") + ",secret:anna-pw,secret:anna-pin\r\n" +
                                             bertId + "," + scene.file("bert.id") + ",stdin,none\r\n"));
    std::string ini = scene.IniText();
    ConsoleRun run = RunConsoleProgram(ArbolinCmdExe() + " batch --csv " + Quoted(csv) + " --ini " + Quoted(scene.ini()) +
                                           " --secrets " + Quoted(secrets) + " --wait 30",
                                       "bert-secret\r\n");
    EXPECT_EQ(kExitDone, run.exitCode) << run.out << run.err;
    EXPECT_NE(std::string::npos, run.out.find("Reader B, Key " + bertId + ": row 2 done: Bert Brun/Morvath, bert.id.\r\n"))
        << run.out;
    EXPECT_NE(std::string::npos, run.out.find("Summary: 2 rows: 2 done")) << run.out;
    EXPECT_EQ("Anna Berg/Morvath", testkit::GetKeyRecord(anna).user);
    EXPECT_EQ("Bert Brun/Morvath", testkit::GetKeyRecord(bert).user);
    std::string report = testkit::ReadFileBytes(csv + ".report.csv");
    EXPECT_EQ(2, testkit::CountOf(report, ",done,")) << report;
    for (const char *secret : {"p4711", "anna-secret", "bert-secret"})
        EXPECT_EQ(std::string::npos, (run.out + run.err + report).find(secret)) << secret;
    EXPECT_EQ(ini, scene.IniText());
}

// The program where the smart-key library is missing, or is of the other bitness: its own exit
// code, and the window's words for what is wrong.
struct NoLibraryCase {
    const char *name;
    const char *library;  // copied beside the program as Quorel32.dll ("" none)
    const char *said;
};

const NoLibraryCase kNoLibrary[] = {
    {"Missing", "", "put Quorel32.dll beside ArbolinCmd.exe, and run again."},
#ifdef _WIN64
    {"OtherBitness", "other_bitness\\Quorel32.dll", "\\Quorel32.dll is a 32-bit library. This Sentrio is made for the 64-bit"},
#else
    {"OtherBitness", "other_bitness\\Quorel32.dll", "\\Quorel32.dll is a 64-bit library. This Sentrio is made for the 32-bit"},
#endif
};

class NoLibrary : public testing::TestWithParam<NoLibraryCase> {};

TEST_P(NoLibrary, EndsWithItsOwnCode)
{
    testkit::TempDir alone;
    for (const char *file : {"ArbolinCmd.exe", "nnotes.dll"})
        ASSERT_TRUE(CopyFileA((testkit::ExeDir() + file).c_str(), alone.file(file).c_str(), FALSE)) << file;
    if (GetParam().library[0] != 0) {
        ASSERT_TRUE(CopyFileA((testkit::ExeDir() + GetParam().library).c_str(), alone.file("Quorel32.dll").c_str(),
                              FALSE));
    }
    ConsoleRun run = RunConsoleProgram(Quoted(alone.file("ArbolinCmd.exe")) + " list");
    EXPECT_EQ(kExitNoKeyLibrary, run.exitCode) << run.out << run.err;
    EXPECT_EQ(0u, run.err.find("ArbolinCmd: An error occurred while loading Quorel32.DLL!")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(GetParam().said)) << run.err;
    EXPECT_EQ("", run.out);
}

INSTANTIATE_TEST_SUITE_P(KeyLibrary, NoLibrary, testing::ValuesIn(kNoLibrary),
                         [](const testing::TestParamInfo<NoLibraryCase> &info) { return std::string(info.param.name); });

}  // namespace
