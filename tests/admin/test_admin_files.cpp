// The console's whole-file writes and the notes.ini backup: a target is replaced whole or left as
// it was, an unreadable source never overwrites anything, and the backup is made once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin_files.h"
#include "file_dialog_id.h"
#include "testkit.h"

namespace {

using testkit::ReadFileBytes;
using testkit::TempDir;
using testkit::WriteFileBytes;

// The names in a folder, to see that nothing was left behind.
std::vector<std::string> Names(const TempDir &dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((dir.path() + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return names;
}

TEST(WholeFiles, WriteReplacesAnExistingFileWholeAndLeavesNoTemporaryFile)
{
    TempDir dir;
    std::string target = dir.file("anna.id");
    ASSERT_TRUE(WriteFileBytes(target, std::string(5000, 'o')));
    std::string bytes("new\0bytes", 9);
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(WriteWholeFile(target, bytes.data(), bytes.size()));
    EXPECT_EQ(bytes, ReadFileBytes(target));
    EXPECT_EQ(std::vector<std::string>{"anna.id"}, Names(dir));
}

TEST(WholeFiles, WriteThatCannotReplaceTheTargetLeavesItAsItWas)
{
    TempDir dir;
    std::string target = dir.file("anna.id");
    ASSERT_TRUE(WriteFileBytes(target, "the old file"));
    // The target held open without delete sharing: the move over it is refused.
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteWholeFile(target, "new", 3));
    EXPECT_NE(0xdeadbeefu, GetLastError());
    EXPECT_NE(0u, GetLastError());
    CloseHandle(held);
    EXPECT_EQ("the old file", ReadFileBytes(target));
    EXPECT_EQ(std::vector<std::string>{"anna.id"}, Names(dir));
}

TEST(WholeFiles, WriteIntoAMissingFolderFailsWithAnError)
{
    TempDir dir;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteWholeFile(dir.file("missing\\anna.id"), "x", 1));
    EXPECT_NE(0xdeadbeefu, GetLastError());  // the temporary name's error: no such directory
    EXPECT_NE(0u, GetLastError());
    EXPECT_TRUE(Names(dir).empty());
}

TEST(WholeFiles, CopyFromAnUnreadableFileLeavesTheTargetAlone)
{
    TempDir dir;
    std::string from = dir.file("notes.ini.bak"), to = dir.file("notes.ini");
    ASSERT_TRUE(WriteFileBytes(to, "[Notes]\r\nKeyFileName=anna.id\r\n"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyWholeFile(from, to));  // missing
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ASSERT_TRUE(CreateDirectoryA(from.c_str(), nullptr));  // there, but not a file
    EXPECT_FALSE(CopyWholeFile(from, to));
    EXPECT_EQ("[Notes]\r\nKeyFileName=anna.id\r\n", ReadFileBytes(to));
}

TEST(WholeFiles, ReadRefusesAFileOverItsLimitWithoutReadingIt)
{
    TempDir dir;
    std::string path = dir.file("big.id");
    ASSERT_TRUE(WriteFileBytes(path, std::string(100, 'b')));
    std::vector<BYTE> bytes(3, 1);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadWholeFile(path, &bytes, 99));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_TOO_LARGE), GetLastError());
    EXPECT_TRUE(bytes.empty());
    ASSERT_TRUE(ReadWholeFile(path, &bytes, 100));
    EXPECT_EQ(100u, bytes.size());
}

TEST(IniBackup, IsMadeOnceAndKeepsTheFirstContents)
{
    TempDir dir;
    std::string ini = dir.file("notes.ini");
    ASSERT_TRUE(WriteFileBytes(ini, "first"));
    EXPECT_EQ(IniBackupResult::kMade, MakeIniBackup(ini));
    EXPECT_EQ("first", ReadFileBytes(ini + ".bak"));
    ASSERT_TRUE(WriteFileBytes(ini, "second"));
    EXPECT_EQ(IniBackupResult::kKept, MakeIniBackup(ini));
    EXPECT_EQ("first", ReadFileBytes(ini + ".bak"));
    ASSERT_TRUE(RestoreIniBackup(ini));
    EXPECT_EQ("first", ReadFileBytes(ini));
    EXPECT_EQ("first", ReadFileBytes(ini + ".bak"));
}

TEST(IniBackup, OfAnIniThatCannotBeReadFailsAndMakesNothing)
{
    TempDir dir;
    std::string ini = dir.file("notes.ini");
    EXPECT_EQ(IniBackupResult::kFailed, MakeIniBackup(ini));  // no such file
    EXPECT_TRUE(Names(dir).empty());
    ASSERT_TRUE(WriteFileBytes(ini, "[Notes]"));
    HANDLE held = CreateFileA(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(IniBackupResult::kFailed, MakeIniBackup(ini));
    CloseHandle(held);
    EXPECT_FALSE(testkit::FileExists(ini + ".bak"));
    EXPECT_EQ(std::vector<std::string>{"notes.ini"}, Names(dir));
}

TEST(IniBackup, RestoreWithoutABackupLeavesTheIni)
{
    TempDir dir;
    std::string ini = dir.file("notes.ini");
    ASSERT_TRUE(WriteFileBytes(ini, "[Notes]\r\nX=1\r\n"));
    EXPECT_FALSE(RestoreIniBackup(ini));
    EXPECT_EQ("[Notes]\r\nX=1\r\n", ReadFileBytes(ini));
}

TEST(FileDialogFilter, BarsBecomeTheTerminatorsTheDialogWants)
{
    EXPECT_EQ(std::string("ID Files (*.id)\0*.id\0All Files\0*.*\0\0", 36),
              TFileDialogID::FilterForDialog("ID Files (*.id)|*.id|All Files|*.*"));
}

}  // namespace
