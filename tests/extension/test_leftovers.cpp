// Nothing of a Key session is left behind, whatever way the client ends: a client killed on the
// Key's ID is put right by its next start (with the Key, without it, or passive beside the
// console), a process that ends with Tolvik still loaded restores notes.ini without touching the
// Key library, KeyFileName comes back whole, and an ID the user switched to is never overwritten.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "notes_host_res.h"
#include "quorel_control.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;
using testkit::FileExists;

class Leftovers : public ToolsClient {
protected:
    // Logged on with the Key, then the client killed as Task Manager does: its traces stay.
    int KilledOnKeyId(std::string *tempId)
    {
        int key = LogOn("1234");
        *tempId = s.IniValue("KeyFileName");
        EXPECT_TRUE(FileExists(*tempId)) << *tempId;
        EXPECT_TRUE(FileExists(s.JournalFile()));
        EXPECT_TRUE(s.Kill());
        EXPECT_EQ(*tempId, s.IniValue("KeyFileName"));
        EXPECT_TRUE(FileExists(*tempId));
        return key;
    }
    // The client's own ID back in notes.ini, the Key's ID file and the journal gone.
    void ExpectNothingLeft(const std::string &tempId, const std::string &ownId = "own.id")
    {
        EXPECT_EQ(ownId, s.IniValue("KeyFileName"));
        EXPECT_FALSE(FileExists(tempId)) << tempId;
        EXPECT_FALSE(FileExists(s.JournalFile()));
    }
};

TEST_F(Leftovers, KilledOnTheKeysIdThenStartedWithTheKeyGivesTheUsersIdBackAtTheEnd)
{
    std::string tempId;
    KilledOnKeyId(&tempId);

    s.Restart(190);
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();
    EXPECT_TRUE(FileExists(s.JournalFile()));
    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId);
}

TEST_F(Leftovers, KilledOnTheKeysIdThenStartedWithoutTheKeyOpensTheUsersOwnId)
{
    std::string tempId;
    int key = KilledOnKeyId(&tempId);
    ASSERT_TRUE(s.Pull(key));

    s.Restart(190);
    EXPECT_EQ("Key Storage Device not found or not formatted for Sentrio", s.TakeBox());
    ExpectClientsOwnPrompt();
    ExpectNothingLeft(tempId);
    EXPECT_EQ(0, s.Close());
}

TEST_F(Leftovers, KilledOnTheKeysIdThenStartedPassiveBesideTheConsoleStillRepairs)
{
    std::string tempId;
    KilledOnKeyId(&tempId);
    // The console holds the marker: the client's Tolvik stays passive.
    HANDLE marker = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 256, "Sentrio");
    ASSERT_NE(nullptr, marker);

    s.Restart(190);
    ExpectClientsOwnPrompt();
    ExpectNothingLeft(tempId);
    EXPECT_EQ(0, s.Close());
    CloseHandle(marker);
}

TEST_F(Leftovers, AJournalOfAClientThatStillRunsIsLeftAlone)
{
    std::string tempId;
    LogOn("1234");
    tempId = s.IniValue("KeyFileName");
    std::string journal = testkit::ReadFileBytes(s.JournalFile());
    ASSERT_FALSE(journal.empty());

    // A second client of the same Windows user (passive) starts while the first runs on the Key.
    NotesScenario second(false);
    SetEnvironmentVariableA("LOCALAPPDATA", s.appData().path().c_str());  // the same Windows user
    ASSERT_FALSE(second.MakeIdFile("own.id", kOwner, kOwnPassword).empty());
    second.Start(190, "own.id");
    ASSERT_TRUE(second.AnswerClientPrompt(kOwnPassword)) << second.HostLog();
    ASSERT_NE(nullptr, second.WaitMain());
    EXPECT_TRUE(FileExists(tempId));
    EXPECT_EQ(tempId, s.IniValue("KeyFileName"));
    EXPECT_EQ(0, second.Close());
    EXPECT_TRUE(FileExists(tempId));
    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId);
}

TEST_F(Leftovers, ProcessEndingWithTolvikLoadedRestoresWithoutCallingTheKeyLibrary)
{
    s.hostOptions = "-end process";
    LogOn("1234");
    std::string tempId = s.IniValue("KeyFileName");
    EXPECT_EQ(0, s.Close());
    EXPECT_TRUE(s.WaitHostLog("client ends the process")) << s.HostLog();
    ExpectNothingLeft(tempId);
    EXPECT_EQ(0u, QsimCallsAfterDetach());
}

// ---- KeyFileName kept whole ---------------------------------------------------------------------

struct NameCase {
    const char *name;
    const char *keyFileName;  // "%d" stands for the scenario's folder
};

class WholeKeyFileName : public Leftovers, public testing::WithParamInterface<NameCase> {
protected:
    std::string Value() const
    {
        std::string value = GetParam().keyFileName;
        std::size_t at = value.find("%d");
        if (at != std::string::npos)
            value.replace(at, 2, s.dir().path());
        return value;
    }
};

TEST_P(WholeKeyFileName, ComesBackAsItWasAfterTheUnloadAPullAndAKill)
{
    std::string value = Value();
    int key = s.MakeKey("Anna's Key", "1234", &kAnnaRecord);
    ASSERT_TRUE(s.Insert(key));
    s.Start(190, value, extraIni);
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();

    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    EXPECT_TRUE(testkit::WaitUntil([&] { return s.IniValue("KeyFileName") == value; })) << s.IniValue("KeyFileName");

    ASSERT_TRUE(s.Insert(key));
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
    std::string tempId = s.IniValue("KeyFileName");
    ASSERT_NE(value, tempId);
    ASSERT_TRUE(s.Kill());

    s.Restart(190);
    ASSERT_TRUE(s.AnswerPin("1234"));
    ASSERT_NE(nullptr, s.WaitMain());
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId, value);
}

INSTANTIATE_TEST_SUITE_P(Values, WholeKeyFileName,
                         testing::Values(NameCase{"Bare", "own.id"}, NameCase{"Relative", "ids\\jdoe.id"},
                                         NameCase{"Absolute", "%d\\own.id"}, NameCase{"Empty", ""}),
                         [](const testing::TestParamInfo<NameCase> &info) { return info.param.name; });

TEST_F(Leftovers, AnIdTheUserSwitchedToAfterWorkWithoutKeyIsKeptAtTheEnd)
{
    LogOn("1234");
    std::string tempId = s.IniValue("KeyFileName");
    std::string other = s.MakeIdFile("other.id", kOwner, "pw-other");
    ASSERT_FALSE(other.empty());
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithoutKey, true, false));
    s.TakeBox(IDYES);
    s.TakeBox();
    HWND choose = s.Find("#32770", "Choose User ID to switch to");
    ASSERT_NE(nullptr, choose);
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    ASSERT_TRUE(testkit::SetControlText(GetDlgItem(choose, IDC_SWITCHID_PATH), other.c_str()));
    testkit::ClickDialogButton(choose, IDOK);
    ASSERT_TRUE(s.AnswerClientPrompt("pw-other")) << s.HostLog();
    ASSERT_TRUE(s.WaitStatus(std::string("User=") + kOwner)) << s.Status();
    ASSERT_EQ(other, s.IniValue("KeyFileName"));

    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId, other);
}

TEST_F(Leftovers, AnIdTheUserNamedWhileOnTheKeyIsKeptAtThePull)
{
    int key = LogOn("1234");
    std::string tempId = s.IniValue("KeyFileName");
    ASSERT_FALSE(s.MakeIdFile("other.id", kOwner, "pw-other").empty());
    ASSERT_TRUE(s.SetIniValue("KeyFileName", "other.id"));
    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    EXPECT_TRUE(testkit::WaitUntil([&] { return !FileExists(tempId); }));
    EXPECT_EQ("other.id", s.IniValue("KeyFileName"));
    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId, "other.id");
}

// ---- The temporary ID guarded ----------------------------------------------------------------

std::string FolderOf(const std::string &path)
{
    std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<BYTE> CurrentUserSid()
{
    HANDLE token = nullptr;
    std::vector<BYTE> user(256);
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    bool ok = GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size);
    CloseHandle(token);
    if (!ok)
        return {};
    PSID sid = reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid;
    const BYTE *bytes = static_cast<const BYTE *>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

// The folder's access list: one entry, the user's, allowed everything on files.
std::string AccessProblem(const std::string &folder)
{
    DWORD size = 0;
    GetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    if (size == 0)
        return "no security descriptor (error " + std::to_string(GetLastError()) + ")";
    std::vector<BYTE> buffer(size);
    auto *descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer.data());
    if (!GetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor, size, &size))
        return "GetFileSecurity failed";
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present || acl == nullptr)
        return "no access list";
    // The user's entry alone: nothing inherited from the temporary directory (its users, its
    // administrators). Wine shows a folder that only its owner may enter (mode 0700) with the local
    // system's entry beside the owner's; that one is the machine itself, no other person.
    std::vector<BYTE> user = CurrentUserSid();
    DWORD others = 0;
    ACCESS_ALLOWED_ACE *ace = nullptr;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE *entry = nullptr;
        char *text = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void **>(&entry)) || !ConvertSidToStringSidA(&entry->SidStart, &text))
            return "an entry cannot be read";
        bool system = std::string(text) == "S-1-5-18";
        LocalFree(text);
        if (system)
            continue;
        ++others;
        ace = entry;
    }
    if (others != 1) {
        std::string entries = std::to_string(acl->AceCount) + " entries:";
        for (DWORD i = 0; i < acl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE *entry = nullptr;
            char *text = nullptr;
            if (GetAce(acl, i, reinterpret_cast<void **>(&entry)) && ConvertSidToStringSidA(&entry->SidStart, &text)) {
                entries += std::string(" ") + std::to_string(entry->Header.AceType) + "/" + text;
                LocalFree(text);
            }
        }
        return entries;
    }
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
        return "not an allowing entry";
    PSID sid = &ace->SidStart;
    if (user.empty() || GetLengthSid(sid) != user.size() || !EqualSid(sid, user.data()))
        return "the entry is not the user's";
    if ((ace->Mask & FILE_ALL_ACCESS) != FILE_ALL_ACCESS)
        return "the user may not do everything";
    return "";
}

bool IsSessionFolderName(const std::string &folder)
{
    std::string leaf = folder.substr(folder.find_last_of('\\') + 1);
    if (leaf.size() != 8 + 16 || leaf.compare(0, 8, "Sentrio-") != 0)
        return false;
    return leaf.find_first_not_of("0123456789abcdef", 8) == std::string::npos;
}

TEST_F(Leftovers, TemporaryIdLivesInAFolderOfItsOwnForTheUserAloneANewOneEachSession)
{
    int key = LogOn("1234");
    std::string first = s.IniValue("KeyFileName");
    std::string folder = FolderOf(first);
    EXPECT_EQ(folder + "\\anna.id", first);  // the file keeps the record's name
    EXPECT_TRUE(IsSessionFolderName(folder)) << folder;
    EXPECT_EQ("", AccessProblem(folder));
    EXPECT_EQ(1u, s.SessionFolders().size());
    // A folder made with the temporary directory's own access is not one of them.
    std::string plain = s.dir().file("plain-folder");
    ASSERT_TRUE(CreateDirectoryA(plain.c_str(), nullptr));
    EXPECT_NE("", AccessProblem(plain));

    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(testkit::WaitUntil([&] { return s.SessionFolders().empty(); }));
    ASSERT_TRUE(s.Insert(key));
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
    std::string second = s.IniValue("KeyFileName");
    EXPECT_NE(first, second);
    EXPECT_TRUE(IsSessionFolderName(FolderOf(second))) << second;
    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(second);
    EXPECT_TRUE(s.SessionFolders().empty());
}

TEST_F(Leftovers, TemporaryIdHeldForAMomentIsDeletedOnceFreed)
{
    int key = LogOn("1234");
    std::string tempId = s.IniValue("KeyFileName");
    // Another program reads the file without letting it be deleted, for a moment.
    HANDLE held = CreateFileA(tempId.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ASSERT_TRUE(s.Pull(key));
    // notes.ini is put back right before the deletion is tried: freed while the tries go on.
    EXPECT_TRUE(testkit::WaitUntil([&] { return s.IniValue("KeyFileName") == "own.id"; }));
    Sleep(200);
    CloseHandle(held);
    EXPECT_TRUE(testkit::WaitUntil([&] { return !FileExists(tempId) && s.SessionFolders().empty(); })) << tempId;
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    EXPECT_EQ(0, s.Close());
}

// The paths scheduled for the next restart (the names of PendingFileRenameOperations).
std::string PendingRenames()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return "";
    std::vector<wchar_t> value(65536);
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t)), type = 0;
    LONG r = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                              reinterpret_cast<BYTE *>(value.data()), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return "";
    std::string names;
    for (DWORD i = 0; i < size / sizeof(wchar_t); ++i)
        names += value[i] == 0 ? '|' : static_cast<char>(value[i] < 128 ? value[i] : '?');
    return names;
}

TEST_F(Leftovers, TemporaryIdThatCannotBeDeletedIsScheduledForTheNextRestart)
{
    int key = LogOn("1234");
    std::string tempId = s.IniValue("KeyFileName");
    HANDLE held = CreateFileA(tempId.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    EXPECT_TRUE(testkit::WaitUntil([&] { return PendingRenames().find(tempId.substr(2)) != std::string::npos; }))
        << PendingRenames();
    CloseHandle(held);
    EXPECT_EQ(0, s.Close());
    // Cleared for the scenario's own end: the restart would have done it.
    DeleteFileA(tempId.c_str());
    RemoveDirectoryA(FolderOf(tempId).c_str());
}

}  // namespace
