// The diagnostic log: finding the file, its level, the line layout and cut, the last-error code,
// and lines appended by several threads and processes.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "log.h"
#include "module_version.h"
#include "testkit.h"

namespace {

// Each case uses a module name of its own, so its file C:\MV_<name>.log is its own too.
class Log : public testing::Test {
protected:
    void SetUp() override
    {
        LogResetForTests();
        static int counter = 0;
        char name[64];
        std::snprintf(name, sizeof name, "logtest%lu_%d", GetCurrentProcessId(), ++counter);
        module_ = name;
        path_ = "C:\\MV_" + module_ + ".log";
        DeleteFileA(path_.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(path_.c_str());
        LogResetForTests();
    }
    std::string Contents() const { return testkit::ReadFileBytes(path_); }
    void Place(const std::string &first) { ASSERT_TRUE(testkit::WriteFileBytes(path_, first)); }

    std::string module_, path_;
};

TEST_F(Log, NoFileMeansNothingWrittenAndNoSecondSearch)
{
    EXPECT_FALSE(LogInit(module_.c_str(), nullptr));
    EXPECT_EQ(0, LogLevelInForce());
    Place("5");
    EXPECT_FALSE(LogInit(module_.c_str(), nullptr));  // the search ran once already
    EXPECT_EQ(0, LogMessage(kLogError, "m", "not written"));
    EXPECT_EQ("5", Contents());
}

TEST_F(Log, LevelFromTheFilesFirstCharacter)
{
    struct Case {
        const char *first;
        int level;
    } const cases[] = {{"5", 5}, {"1 more text", 1}, {"9", 9}, {"x", 3}, {"", 3}, {"0", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("file starts with \"") + c.first + "\"");
        LogResetForTests();
        Place(c.first);
        EXPECT_TRUE(LogInit(module_.c_str(), nullptr));
        EXPECT_EQ(c.level, LogLevelInForce());
        EXPECT_EQ(c.level >= 4 ? 1 : 0, LogMessage(kLogMilestone, "m", "milestone"));
        EXPECT_EQ(c.level >= 1 ? 1 : 0, LogMessage(kLogError, "m", "failure"));
        EXPECT_EQ(0, LogMessage(0, "m", "level 0 is never written"));
        std::string text = Contents();
        EXPECT_EQ(c.level >= 4, text.find("milestone") != std::string::npos);
        EXPECT_EQ(c.level >= 1, text.find("failure") != std::string::npos);
        EXPECT_EQ(std::string::npos, text.find("never written"));
    }
}

TEST_F(Log, OpeningEntryNamesProductModuleAndVersions)
{
    Place("3");
    ASSERT_TRUE(LogInit(module_.c_str(), nullptr));
    char path[MAX_PATH], fileVersion[kVersionTextSize];
    GetModuleVersionInfo(nullptr, nullptr, fileVersion, path, nullptr, nullptr, nullptr, nullptr);
    std::string text = Contents();
    std::string expected = std::string("E Start logfile ============================================\n"
                                       "   Sentrio (Ver ") + SENTRIO_TEST_PRODUCT_VERSION +
                           ")\n   Module: " + path + ", Ver: " + fileVersion;
    EXPECT_NE(std::string::npos, text.find(expected)) << text;
    // The entry is a line of its own after what the file held.
    EXPECT_EQ(0u, text.find("3\n["));
}

TEST_F(Log, LineLayoutAndLevelTags)
{
    Place("9");
    ASSERT_TRUE(LogInit(module_.c_str(), nullptr));
    for (int level = 1; level <= 6; ++level)
        EXPECT_EQ(1, LogMessage(level, "cm - ProcessReader:", "message %d of %s", level, "six"));
    std::string text = Contents();
    const char *tags[] = {"E ", "W ", "T ", "P ", "I ", ""};
    for (int level = 1; level <= 6; ++level) {
        SCOPED_TRACE(level);
        std::regex line("\n\\[[ 0-9]{2}:[ 0-9]{2} : [ 0-9]{2}:[ 0-9]{3}\\] cm - ProcessReader: " +
                        std::string(tags[level - 1]) + "message " + std::to_string(level) + " of six");
        EXPECT_TRUE(std::regex_search(text, line)) << text;
    }
}

TEST_F(Log, EmptyModuleName)
{
    Place("3");
    ASSERT_TRUE(LogInit(module_.c_str(), nullptr));
    LogMessage(kLogStep, "", "bare");
    EXPECT_TRUE(std::regex_search(Contents(), std::regex("\\]  T bare$")));
}

TEST_F(Log, LineCutAt512Characters)
{
    Place("3");
    ASSERT_TRUE(LogInit(module_.c_str(), nullptr));
    std::string before = Contents();
    std::string long_text(2000, 'x');
    EXPECT_EQ(1, LogMessage(kLogError, "mod", "%s", long_text.c_str()));
    std::string added = Contents().substr(before.size());
    EXPECT_EQ(static_cast<size_t>(kLogLineSize - 1), added.size());
    EXPECT_EQ('\n', added[0]);
    EXPECT_EQ('x', added.back());
}

TEST_F(Log, LastErrorIsKept)
{
    Place("3");
    ASSERT_TRUE(LogInit(module_.c_str(), nullptr));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(1, LogMessage(kLogError, "m", "written"));
    EXPECT_EQ(0xDEADBEEFu, GetLastError());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, LogMessage(kLogDetail, "m", "filtered"));
    EXPECT_EQ(0xDEADBEEFu, GetLastError());

    // The file removed while the program runs: the line is due, dropped silently, and the file is
    // not created again.
    ASSERT_TRUE(DeleteFileA(path_.c_str()));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(1, LogMessage(kLogError, "m", "dropped"));
    EXPECT_EQ(0xDEADBEEFu, GetLastError());
    EXPECT_FALSE(testkit::FileExists(path_));
}

// Every line in `text` from `tag` must read exactly as the writer built it.
int CountIntactLines(const std::string &text, const std::string &tag, int expected)
{
    std::istringstream in(text);
    std::string line;
    std::regex pattern("\\[[ 0-9]{2}:[ 0-9]{2} : [ 0-9]{2}:[ 0-9]{3}\\] " + tag + " T " + tag +
                       " line ([0-9]{5}) \\.+");
    std::vector<bool> seen(expected, false);
    int count = 0;
    while (std::getline(in, line)) {
        if (line.find(tag + " line") == std::string::npos)
            continue;
        std::smatch m;
        if (!std::regex_match(line, m, pattern)) {
            ADD_FAILURE() << "merged or damaged line: " << line;
            continue;
        }
        int index = std::stoi(m[1]);
        if (index < expected && !seen[index]) {
            seen[index] = true;
            ++count;
        }
    }
    return count;
}

TEST_F(Log, TwoProcessesAppendWholeLinesToOneFile)
{
    Place("3");
    const int lines = 400;
    std::string exe = testkit::ExeDir() + "logwriter.exe";
    HANDLE a = testkit::StartProcess("\"" + exe + "\" " + module_ + " " + std::to_string(lines) + " alpha");
    HANDLE b = testkit::StartProcess("\"" + exe + "\" " + module_ + " " + std::to_string(lines) + " bravo");
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    HANDLE both[2] = {a, b};
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, TRUE, 60000));
    DWORD codeA = 1, codeB = 1;
    GetExitCodeProcess(a, &codeA);
    GetExitCodeProcess(b, &codeB);
    CloseHandle(a);
    CloseHandle(b);
    EXPECT_EQ(0u, codeA);
    EXPECT_EQ(0u, codeB);

    std::string text = Contents();
    EXPECT_EQ(lines, CountIntactLines(text, "alpha", lines));
    EXPECT_EQ(lines, CountIntactLines(text, "bravo", lines));
    EXPECT_EQ(0u, text.find("3\n"));
}

DWORD WINAPI WriteLines(LPVOID param)
{
    const char *tag = static_cast<const char *>(param);
    for (int i = 0; i < 200; ++i)
        LogMessage(kLogStep, tag, "%s line %05d ..........................................", tag, i);
    return 0;
}

TEST_F(Log, ThreadsOfOneProcessDoNotMergeLines)
{
    Place("3");
    ASSERT_TRUE(LogInit(module_.c_str(), nullptr));
    const char *tags[] = {"t0", "t1", "t2", "t3"};
    HANDLE threads[4];
    for (int i = 0; i < 4; ++i)
        threads[i] = CreateThread(nullptr, 0, WriteLines, const_cast<char *>(tags[i]), 0, nullptr);
    WaitForMultipleObjects(4, threads, TRUE, 60000);
    for (HANDLE t : threads)
        CloseHandle(t);
    std::string text = Contents();
    for (const char *tag : tags)
        EXPECT_EQ(200, CountIntactLines(text, tag, 200)) << tag;
}

}  // namespace
