// The nnotes.dll stand-in's contract as the product relies on it: the ordinals, notes.ini
// variables, ID files that open with their password only, switching and KeyFileName, status
// texts, the build number, and the Extension Manager's handler chain.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "nnotes_test_ordinals.h"
#include "notes_control.h"
#include "testkit.h"

namespace {

class Nnotes : public testing::Test {
protected:
    void SetUp() override
    {
        NsimReset();
        ini_ = dir_.file("notes.ini");
        ASSERT_TRUE(testkit::WriteFileBytes(ini_, "[Notes]\r\nDirectory=" + dir_.path() + "\r\n"));
        ASSERT_EQ(NOERROR, NotesInitIni(&ini_[0]));
        id_ = dir_.file("user.id");
        ASSERT_EQ(NOERROR, NsimCreateIdFile(id_.c_str(), "Anna Berg/Sales/Morvath", "secret1"));
    }
    void TearDown() override { NsimReset(); }

    STATUS Switch(const std::string &file, const char *password, std::string *user = nullptr,
                  DWORD flags = 0)
    {
        std::string path = file;
        std::string pw = password;
        char name[MAXUSERNAME + 1] = "unchanged";
        STATUS status = SECKFMSwitchToIDFile(&path[0], &pw[0], name, MAXUSERNAME, flags, nullptr);
        if (user != nullptr)
            *user = name;
        return status;
    }
    std::string Ini(const char *name)
    {
        char value[MAXENVVALUE] = "sentinel";
        OSGetEnvironmentString(name, value, sizeof value);
        return value;
    }
    static std::string Text(STATUS status)
    {
        char text[STATUS_TEXT_SIZE] = "";
        OSLoadString(nullptr, ERR(status), text, sizeof text);
        return text;
    }

    testkit::TempDir dir_;
    std::string ini_;
    std::string id_;
};

#ifndef _WIN64
TEST(NnotesExports, TheProductsOrdinalsAndNoNames)
{
    HMODULE module = GetModuleHandleA("nnotes.dll");
    ASSERT_NE(nullptr, module);
    for (const NnotesOrdinal &entry : kNnotesOrdinals) {
        SCOPED_TRACE(entry.name);
        EXPECT_NE(nullptr, reinterpret_cast<void *>(GetProcAddress(module, MAKEINTRESOURCEA(entry.ordinal))));
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, reinterpret_cast<void *>(GetProcAddress(module, entry.name)));
        EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    }
    // The control surface is there by name.
    EXPECT_NE(nullptr, reinterpret_cast<void *>(GetProcAddress(module, "NsimFirePasswordRequest")));
    // The ordinals between the product's are free.
    EXPECT_EQ(nullptr, reinterpret_cast<void *>(GetProcAddress(module, MAKEINTRESOURCEA(14))));
}
#else
// The 64-bit library is called by name: every call the product makes is there under the API's
// undecorated name, and none sits at the 32-bit library's ordinal (a 64-bit image that imported by
// ordinal would fail to load instead of calling the wrong function).
TEST(NnotesExports, TheProductsNamesAndNoneAtThe32BitOrdinals)
{
    HMODULE module = GetModuleHandleA("nnotes.dll");
    ASSERT_NE(nullptr, module);
    for (const NnotesOrdinal &entry : kNnotesOrdinals) {
        SCOPED_TRACE(entry.name);
        FARPROC byName = GetProcAddress(module, entry.name);
        EXPECT_NE(nullptr, reinterpret_cast<void *>(byName));
        EXPECT_NE(reinterpret_cast<void *>(byName),
                  reinterpret_cast<void *>(GetProcAddress(module, MAKEINTRESOURCEA(entry.ordinal))));
    }
    EXPECT_NE(nullptr, reinterpret_cast<void *>(GetProcAddress(module, "NsimFirePasswordRequest")));
}
#endif

TEST_F(Nnotes, IniVariablesGoToTheNotesSectionOfTheActiveFile)
{
    OSSetEnvironmentVariable("KeyFileName", "other.id");
    char direct[64] = "";
    GetPrivateProfileStringA("Notes", "KeyFileName", "", direct, sizeof direct, ini_.c_str());
    EXPECT_STREQ("other.id", direct);
    EXPECT_EQ("other.id", Ini("KeyFileName"));
    // Unset reads as empty and FALSE.
    char value[16] = "sentinel";
    EXPECT_FALSE(OSGetEnvironmentString("NoSuchVariable", value, sizeof value));
    EXPECT_STREQ("", value);
    // A short buffer gets what fits, terminated.
    OSSetEnvironmentVariable("Long", "0123456789");
    char small[5];
    std::memset(small, 'x', sizeof small);
    EXPECT_TRUE(OSGetEnvironmentString("Long", small, sizeof small));
    EXPECT_STREQ("0123", small);
}

TEST_F(Nnotes, WithoutAnActiveIniNothingIsReadOrWritten)
{
    NotesTerm();
    OSSetEnvironmentVariable("KeyFileName", "lost.id");
    char direct[64] = "";
    GetPrivateProfileStringA("Notes", "KeyFileName", "", direct, sizeof direct, ini_.c_str());
    EXPECT_STREQ("", direct);
    char user[MAXUSERNAME + 1];
    EXPECT_EQ(NSIM_ERR_NOT_INITIALIZED, SECKFMGetUserName(user));
    std::string missing = dir_.file("missing.ini");
    EXPECT_EQ(ERR_NOEXIST, NotesInitIni(&missing[0]));
}

TEST_F(Nnotes, IdOpensWithItsPasswordOnly)
{
    std::string user;
    EXPECT_EQ(ERR_SECURE_BADPASSWORD, Switch(id_, "secret2", &user));
    EXPECT_EQ(ERR_SECURE_BADPASSWORD, Switch(id_, "Secret1"));
    EXPECT_EQ(ERR_SECURE_BADPASSWORD, Switch(id_, ""));
    EXPECT_EQ("unchanged", user);
    NSIM_STATE state;
    NsimGetState(&state);
    EXPECT_STREQ("", state.szIdFile);

    EXPECT_EQ(NOERROR, Switch(id_, "secret1", &user));
    EXPECT_EQ("Anna Berg/Sales/Morvath", user);
    char name[MAXUSERNAME + 1] = "";
    EXPECT_EQ(NOERROR, SECKFMGetUserName(name));
    EXPECT_STREQ("Anna Berg/Sales/Morvath", name);
}

TEST_F(Nnotes, AfterAChangeOnlyTheNewPasswordOpens)
{
    std::string before = testkit::ReadFileBytes(id_);
    std::string path = id_;
    std::string oldPw = "secret1", newPw = "fresh-2";
    std::string wrong = "nope";
    EXPECT_EQ(ERR_SECURE_BADPASSWORD, SECKFMChangePassword(&path[0], &wrong[0], &newPw[0]));
    EXPECT_EQ(before, testkit::ReadFileBytes(id_));  // a refused change leaves the file alone

    ASSERT_EQ(NOERROR, SECKFMChangePassword(&path[0], &oldPw[0], &newPw[0]));
    std::string after = testkit::ReadFileBytes(id_);
    EXPECT_NE(before, after);
    // Every byte of the encrypted part differs in most places, not just a field.
    size_t same = 0;
    for (size_t i = before.size() / 2; i < before.size() && i < after.size(); ++i)
        same += before[i] == after[i];
    EXPECT_LT(same, before.size() / 8);
    EXPECT_EQ(ERR_SECURE_BADPASSWORD, Switch(id_, "secret1"));
    std::string user;
    EXPECT_EQ(NOERROR, Switch(id_, "fresh-2", &user));
    EXPECT_EQ("Anna Berg/Sales/Morvath", user);
    EXPECT_FALSE(testkit::FileExists(id_ + ".nsim-new"));
}

TEST_F(Nnotes, LargeIdFileHasItsSizeAndKeepsItThroughAPasswordChange)
{
    std::string large = dir_.file("large.id");
    ASSERT_EQ(NOERROR, NsimCreateIdFileOfSize(large.c_str(), "Bert Brun/Morvath", "pw-large", 16384));
    EXPECT_EQ(16384u, testkit::ReadFileBytes(large).size());
    std::string path = large, oldPw = "pw-large", newPw = "pw-changed";
    ASSERT_EQ(NOERROR, SECKFMChangePassword(&path[0], &oldPw[0], &newPw[0]));
    EXPECT_EQ(16384u, testkit::ReadFileBytes(large).size());
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(large.c_str(), "pw-changed"));
    // Asked smaller than an ID file can be, it is as small as it can be.
    std::string small = dir_.file("small.id");
    ASSERT_EQ(NOERROR, NsimCreateIdFileOfSize(small.c_str(), "Bert Brun/Morvath", "pw", 10));
    EXPECT_LT(testkit::ReadFileBytes(small).size(), 200u);
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(small.c_str(), "pw"));
}

TEST_F(Nnotes, MissingDamagedAndWrongGiveDistinctStatusesWithTexts)
{
    std::string missing = dir_.file("missing.id");
    std::string bytes = testkit::ReadFileBytes(id_);
    std::string cut = dir_.file("cut.id"), flipped = dir_.file("flipped.id"),
                garbage = dir_.file("garbage.id");
    ASSERT_TRUE(testkit::WriteFileBytes(cut, bytes.substr(0, bytes.size() - 1)));
    std::string changed = bytes;
    changed[changed.size() - 3] ^= 0x40;
    ASSERT_TRUE(testkit::WriteFileBytes(flipped, changed));
    ASSERT_TRUE(testkit::WriteFileBytes(garbage, "not an ID file at all"));

    EXPECT_EQ(ERR_NOEXIST, Switch(missing, "secret1"));
    EXPECT_EQ(NSIM_ERR_ID_DAMAGED, Switch(cut, "secret1"));
    EXPECT_EQ(NSIM_ERR_ID_DAMAGED, Switch(flipped, "secret1"));
    EXPECT_EQ(NSIM_ERR_ID_DAMAGED, Switch(garbage, "secret1"));
    EXPECT_EQ(NSIM_ERR_ID_DAMAGED, NsimCheckIdPassword(flipped.c_str(), "secret1"));
    std::string empty;
    EXPECT_EQ(NSIM_ERR_BAD_ARGUMENT, Switch(empty, "secret1"));

    const STATUS statuses[] = {ERR_NOEXIST, NSIM_ERR_ID_DAMAGED, ERR_SECURE_BADPASSWORD};
    std::vector<std::string> texts;
    for (STATUS s : statuses) {
        SCOPED_TRACE(s);
        std::string text = Text(s);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(std::string::npos, text.find("Unknown"));
        // The flags above the error code do not change the text.
        EXPECT_EQ(text, Text(static_cast<STATUS>(s | STS_DISPLAYED)));
        for (const std::string &other : texts)
            EXPECT_NE(other, text);
        texts.push_back(text);
    }
    EXPECT_EQ("Wrong Password. (Passwords are case sensitive - be sure to use correct upper and "
              "lower case.)",
              Text(ERR_SECURE_BADPASSWORD));
    // The damaged file was not rewritten by the attempts.
    EXPECT_EQ(changed, testkit::ReadFileBytes(flipped));
}

TEST_F(Nnotes, StatusTextFitsTheBuffer)
{
    std::string full = Text(ERR_SECURE_BADPASSWORD);
    char exact[128];
    ASSERT_LT(full.size() + 1, sizeof exact);
    EXPECT_EQ(full.size(), OSLoadString(nullptr, ERR_SECURE_BADPASSWORD, exact,
                                        static_cast<WORD>(full.size() + 1)));
    EXPECT_EQ(full, exact);
    char shorter[8];
    std::memset(shorter, 'x', sizeof shorter);
    EXPECT_EQ(7u, OSLoadString(nullptr, ERR_SECURE_BADPASSWORD, shorter, sizeof shorter));
    EXPECT_EQ(full.substr(0, 7), shorter);
    EXPECT_EQ(0u, OSLoadString(nullptr, ERR_SECURE_BADPASSWORD, shorter, 0));
}

TEST_F(Nnotes, SwitchNamesTheIdInKeyFileNameUnlessAskedNotTo)
{
    OSSetEnvironmentVariable("KeyFileName", "previous.id");
    std::string second = dir_.file("second.id");
    ASSERT_EQ(NOERROR, NsimCreateIdFile(second.c_str(), "Carl Dorn/Morvath", "pw-two"));
    ASSERT_EQ(NOERROR, Switch(second, "pw-two", nullptr, fKFM_switchid_DontSetEnvVar));
    EXPECT_EQ("previous.id", Ini("KeyFileName"));
    ASSERT_EQ(NOERROR, Switch(id_, "secret1"));
    EXPECT_EQ(id_, Ini("KeyFileName"));
    NSIM_STATE state;
    NsimGetState(&state);
    EXPECT_EQ(id_, state.szIdFile);
    EXPECT_STREQ("Anna Berg/Sales/Morvath", state.szUserName);
    // A refused switch keeps the ID in use and KeyFileName.
    EXPECT_EQ(ERR_SECURE_BADPASSWORD, Switch(second, "wrong"));
    EXPECT_EQ(id_, Ini("KeyFileName"));
    char name[MAXUSERNAME + 1] = "";
    EXPECT_EQ(NOERROR, SECKFMGetUserName(name));
    EXPECT_STREQ("Anna Berg/Sales/Morvath", name);
}

TEST_F(Nnotes, UserNameBeforeASwitchComesFromKeyFileName)
{
    OSSetEnvironmentVariable("KeyFileName", "user.id");  // relative: in Directory
    char name[MAXUSERNAME + 1] = "";
    EXPECT_EQ(NOERROR, SECKFMGetUserName(name));
    EXPECT_STREQ("Anna Berg/Sales/Morvath", name);
    OSSetEnvironmentVariable("KeyFileName", "");
    EXPECT_EQ(NSIM_ERR_NO_KEYFILENAME, SECKFMGetUserName(name));
}

TEST_F(Nnotes, LockAndUnlockNeedThePassword)
{
    ASSERT_EQ(NOERROR, Switch(id_, "secret1"));
    NsimLockId();
    NSIM_STATE state;
    NsimGetState(&state);
    EXPECT_TRUE(state.fLocked);
    EXPECT_EQ(ERR_SECURE_BADPASSWORD, NsimUnlockId("wrong"));
    NsimGetState(&state);
    EXPECT_TRUE(state.fLocked);
    EXPECT_EQ(NOERROR, NsimUnlockId("secret1"));
    NsimGetState(&state);
    EXPECT_FALSE(state.fLocked);
}

TEST_F(Nnotes, BuildNumberThroughADatabaseHandle)
{
    DBHANDLE db = 0;
    ASSERT_EQ(NOERROR, NSFDbOpen(nullptr, &db));
    WORD build = 0;
    EXPECT_EQ(NOERROR, NSFDbGetBuildVersion(db, &build));
    EXPECT_EQ(NSIM_DEFAULT_BUILD, build);  // the test runs without SENTRIO_NOTES_BUILD
    NsimSetBuildVersion(166);
    EXPECT_EQ(NOERROR, NSFDbGetBuildVersion(db, &build));
    EXPECT_EQ(166, build);
    EXPECT_EQ(NOERROR, NSFDbClose(db));
    EXPECT_EQ(NSIM_ERR_BAD_HANDLE, NSFDbGetBuildVersion(db, &build));
    EXPECT_EQ(NSIM_ERR_BAD_HANDLE, NSFDbClose(db));
    // A reset gives back the build the process started with.
    NsimReset();
    ASSERT_EQ(NOERROR, NSFDbOpen(nullptr, &db));
    EXPECT_EQ(NOERROR, NSFDbGetBuildVersion(db, &build));
    EXPECT_EQ(NSIM_DEFAULT_BUILD, build);
    NSFDbClose(db);
}

TEST_F(Nnotes, PlantedFaultHitsOnceTheNamedOrdinal)
{
    NsimFailNext(2005, 0x1234);
    DBHANDLE db = 0;
    EXPECT_EQ(0x1234, NSFDbOpen(nullptr, &db));
    EXPECT_EQ(NOERROR, NSFDbOpen(nullptr, &db));
    NSFDbClose(db);
}

// --- Extension Manager ---

struct Seen {
    int calls = 0;
    EID eid = 0;
    WORD type = 0xFFFF;
    STATUS status = 0xFFFF;
    DWORD maxLen = 0;
    std::string file, owner;
};
Seen g_first, g_second;
STATUS g_firstAnswer = ERR_EM_CONTINUE;
STATUS g_secondAnswer = ERR_EM_CONTINUE;

void Record(Seen *seen, EMRECORD *record)
{
    ++seen->calls;
    seen->eid = record->EId;
    seen->type = record->NotificationType;
    seen->status = record->Status;
    seen->maxLen = EMArgument<DWORD>(record, EM_GETPASSWORD_MAXPWDLEN);
    seen->file = EMArgument<const char *>(record, EM_GETPASSWORD_FILENAME);
    seen->owner = EMArgument<const char *>(record, EM_GETPASSWORD_OWNERNAME);
}

STATUS LNCALLBACK FirstHandler(EMRECORD *record)
{
    Record(&g_first, record);
    if (g_firstAnswer == ERR_BSAFE_EXTERNAL_PASSWORD) {
        char *buffer = EMArgument<char *>(record, EM_GETPASSWORD_RETPASSWORD);
        std::memcpy(buffer, "secret1", 7);
        *EMArgument<DWORD *>(record, EM_GETPASSWORD_RETLENGTH) = 7;
    }
    return g_firstAnswer;
}

STATUS LNCALLBACK SecondHandler(EMRECORD *record)
{
    Record(&g_second, record);
    return g_secondAnswer;
}

class Handlers : public Nnotes {
protected:
    void SetUp() override
    {
        Nnotes::SetUp();
        g_first = Seen();
        g_second = Seen();
        g_firstAnswer = g_secondAnswer = ERR_EM_CONTINUE;
        ASSERT_EQ(NOERROR, EMCreateRecursionID(&recursion_));
    }
    HEMREGISTRATION Register(EID eid, EMHANDLER proc, DWORD flags = EM_REG_BEFORE)
    {
        HEMREGISTRATION h = 0;
        EXPECT_EQ(NOERROR, EMRegister(eid, flags, proc, recursion_, &h));
        EXPECT_NE(0u, h);
        return h;
    }
    STATUS Request(char *buffer, DWORD *length, BOOL *answered = nullptr)
    {
        STATUS status = 0;
        BOOL a = NsimFirePasswordRequest(id_.c_str(), "Anna Berg/Sales/Morvath", 63, &status,
                                         buffer, length);
        if (answered != nullptr)
            *answered = a;
        return status;
    }
    WORD recursion_ = 0;
};

TEST_F(Handlers, PasswordRequestCarriesTheClientsArguments)
{
    Register(EM_GETPASSWORD, FirstHandler);
    g_firstAnswer = ERR_BSAFE_EXTERNAL_PASSWORD;
    char buffer[64] = {};
    DWORD length = 0;
    BOOL answered = FALSE;
    EXPECT_EQ(ERR_BSAFE_EXTERNAL_PASSWORD, Request(buffer, &length, &answered));
    EXPECT_TRUE(answered);
    EXPECT_EQ(1, g_first.calls);
    EXPECT_EQ(EM_GETPASSWORD, g_first.eid);
    EXPECT_EQ(EM_BEFORE, g_first.type);
    EXPECT_EQ(NOERROR, g_first.status);
    EXPECT_EQ(63u, g_first.maxLen);
    EXPECT_EQ(id_, g_first.file);
    EXPECT_EQ("Anna Berg/Sales/Morvath", g_first.owner);
    EXPECT_EQ(7u, length);
    EXPECT_STREQ("secret1", buffer);
}

TEST_F(Handlers, AnAnswerOtherThanContinueEndsTheChain)
{
    Register(EM_GETPASSWORD, FirstHandler);
    Register(EM_GETPASSWORD, SecondHandler);
    char buffer[64] = {};
    DWORD length = 0;
    const STATUS answers[] = {ERR_BSAFE_EXTERNAL_PASSWORD, ERR_BSAFE_USER_ABORT, NOERROR};
    for (STATUS answer : answers) {
        SCOPED_TRACE(answer);
        g_first.calls = g_second.calls = 0;
        g_firstAnswer = answer;
        EXPECT_EQ(answer, Request(buffer, &length));
        EXPECT_EQ(1, g_first.calls);
        EXPECT_EQ(0, g_second.calls);
    }
    // 725 goes on to the next handler, and with nobody answering the client prompts itself.
    g_first.calls = g_second.calls = 0;
    g_firstAnswer = ERR_EM_CONTINUE;
    BOOL answered = TRUE;
    EXPECT_EQ(ERR_EM_CONTINUE, Request(buffer, &length, &answered));
    EXPECT_FALSE(answered);
    EXPECT_EQ(1, g_first.calls);
    EXPECT_EQ(1, g_second.calls);
}

TEST_F(Handlers, DeregisteredAndAfterHandlersAreNotCalled)
{
    HEMREGISTRATION first = Register(EM_GETPASSWORD, FirstHandler);
    Register(EM_GETPASSWORD, SecondHandler, EM_REG_AFTER);  // no effect on a before-only notification
    Register(EM_SETPASSWORD, SecondHandler);                // another notification
    ASSERT_EQ(NOERROR, EMDeregister(first));
    EXPECT_EQ(NSIM_ERR_BAD_HANDLE, EMDeregister(first));
    char buffer[64] = {};
    DWORD length = 0;
    BOOL answered = TRUE;
    EXPECT_EQ(ERR_EM_CONTINUE, Request(buffer, &length, &answered));
    EXPECT_FALSE(answered);
    EXPECT_EQ(0, g_first.calls);
    EXPECT_EQ(0, g_second.calls);
    NSIM_STATE state;
    NsimGetState(&state);
    EXPECT_EQ(1u, state.dwHandlers73);
    EXPECT_EQ(1u, state.dwHandlers74);
}

TEST_F(Handlers, PasswordChangeGoesToTheSetPasswordHandlers)
{
    Register(EM_GETPASSWORD, FirstHandler);
    Register(EM_SETPASSWORD, SecondHandler);
    g_secondAnswer = ERR_BSAFE_PASSWORD_REQUIRED;
    char buffer[64] = {};
    DWORD length = 0;
    STATUS status = 0;
    EXPECT_TRUE(NsimFirePasswordChange(id_.c_str(), "Anna Berg/Sales/Morvath", 63, &status, buffer,
                                       &length));
    EXPECT_EQ(ERR_BSAFE_PASSWORD_REQUIRED, status);
    EXPECT_EQ(0, g_first.calls);
    EXPECT_EQ(1, g_second.calls);
    EXPECT_EQ(EM_SETPASSWORD, g_second.eid);
    EXPECT_EQ(id_, g_second.file);
}

int g_nestedCalls = 0;
BOOL g_nestedAnswered = TRUE;

STATUS LNCALLBACK NestingHandler(EMRECORD *record)
{
    ++g_nestedCalls;
    if (g_nestedCalls == 1) {
        // A request raised from inside the handler does not enter it again.
        char buffer[64] = {};
        DWORD length = 0;
        STATUS inner = 0;
        g_nestedAnswered = NsimFirePasswordRequest(EMArgument<const char *>(record, EM_GETPASSWORD_FILENAME),
                                                   "inner", 63, &inner, buffer, &length);
    }
    return ERR_EM_CONTINUE;
}

TEST_F(Handlers, AHandlerIsNotReenteredForItsOwnRecursionId)
{
    g_nestedCalls = 0;
    g_nestedAnswered = TRUE;
    Register(EM_GETPASSWORD, NestingHandler);
    char buffer[64] = {};
    DWORD length = 0;
    EXPECT_EQ(ERR_EM_CONTINUE, Request(buffer, &length));
    EXPECT_EQ(1, g_nestedCalls);
    EXPECT_FALSE(g_nestedAnswered);
    // Afterwards it is called again as usual.
    EXPECT_EQ(ERR_EM_CONTINUE, Request(buffer, &length));
    EXPECT_EQ(2, g_nestedCalls);
}

TEST_F(Handlers, RegistrationRefusesMissingArguments)
{
    HEMREGISTRATION h = 0;
    EXPECT_EQ(NSIM_ERR_BAD_ARGUMENT, EMRegister(EM_GETPASSWORD, EM_REG_BEFORE, nullptr, recursion_, &h));
    EXPECT_EQ(NSIM_ERR_BAD_ARGUMENT, EMRegister(EM_GETPASSWORD, EM_REG_BEFORE, FirstHandler, recursion_, nullptr));
    EXPECT_EQ(NSIM_ERR_BAD_ARGUMENT, EMCreateRecursionID(nullptr));
    WORD another = 0;
    EXPECT_EQ(NOERROR, EMCreateRecursionID(&another));
    EXPECT_NE(recursion_, another);
}

}  // namespace
