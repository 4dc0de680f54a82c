// The Notes logon record on virtual Keys: written whole and read back (also by another process),
// refused when it cannot be trusted or stored, and the temporary ID file made from it.
#include <gtest/gtest.h>

#include <string>

#include "notes_key_data.h"
#include "quorel_control.h"
#include "recording_key.h"
#include "virtual_keys.h"
#include "testkit.h"
#include "texts.h"

namespace {

std::string Bytes(std::size_t n, unsigned seed)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + seed) & 0xFF);
    return s;
}

class KeyData : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(keys.ok());
        card = keys.InsertNewKey("Reader A", "Notes", "1234");
        ASSERT_NE(0, card);
        ASSERT_TRUE(testkit::StartWatching(key, "Reader A", "1234"));
        // The temporary directory of this process becomes a folder of the test's own.
        char old[MAX_PATH] = "";
        GetEnvironmentVariableA("TMP", old, sizeof old);
        oldTmp = old;
        SetEnvironmentVariableA("TMP", temp.path().c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("TMP", oldTmp.empty() ? nullptr : oldTmp.c_str());
    }
    bool WriteRecord(const std::string &user, const std::string &password, const std::string &name,
                     const std::string &id, std::string *report = nullptr)
    {
        char text[512] = "";
        bool ok = WriteNotesKeyData(key, "Reader A", user.c_str(), password.c_str(), name.c_str(),
                                    reinterpret_cast<const BYTE *>(id.data()), id.size(), text, sizeof text);
        if (report != nullptr)
            *report = text;
        return ok;
    }
    bool PartialFileLeft()
    {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(temp.file("*.part").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return false;
        FindClose(find);
        return true;
    }
    std::string IdBytes(const NotesKeyData &d)
    {
        return std::string(reinterpret_cast<const char *>(d.wData) + d.record.idFileOffset, d.record.wIDFileLength);
    }

    testkit::TempDir temp;
    std::string oldTmp;
    testkit::VirtualKeys keys;  // declared first: emptied after the Key object has stopped
    RecordingKey key;
    int card = 0;
    NotesKeyData data;
};

TEST_F(KeyData, RecordWrittenIsReadBackWhole)
{
    std::string id = Bytes(5000, 7);
    ASSERT_TRUE(WriteRecord("CN=Anna Berg/O=Acme", "s3cret", "anna.id", id));
    QsimKeyState s;
    ASSERT_TRUE(QsimGetKey(card, &s));
    EXPECT_EQ(12u + 19 + 6 + 7 + 5000, s.size225);  // the data size is the record's length

    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, nullptr));
    EXPECT_STREQ("CN=Anna Berg/O=Acme", data.record.sUserName);
    EXPECT_STREQ("s3cret", data.record.sPassword);
    EXPECT_STREQ("anna.id", data.record.sIDFileName);
    EXPECT_EQ(id, IdBytes(data));
}

TEST_F(KeyData, LargestRecordOf16768BytesFits)
{
    std::string user(256, 'u'), password(64, 'p'), name(252, 'n');
    name += ".id";
    std::string id = Bytes(16768 - 12 - 256 - 64 - 255, 3);
    ASSERT_TRUE(WriteRecord(user, password, name, id));
    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, nullptr));
    EXPECT_EQ(16768u, data.wDataSize);
    EXPECT_EQ(user, data.record.sUserName);
    EXPECT_EQ(id, IdBytes(data));

    // One byte more is refused before anything reaches the Key.
    DWORD writes = QsimCallCount("WriteData");
    std::string report;
    EXPECT_FALSE(WriteRecord(user, password, name, id + "x", &report));
    EXPECT_EQ(writes, QsimCallCount("WriteData"));
    EXPECT_EQ("Error writing data into KSD.\n\nthe Notes data would exceed the 16768 bytes a Key holds", report);
    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, nullptr));
    EXPECT_EQ(id, IdBytes(data));  // the record on the Key is untouched
}

TEST_F(KeyData, EmptyKeyAndDamagedRecordLeaveTheFieldsAsTheyWere)
{
    EXPECT_EQ(KeyDataRead::kEmpty, ReadNotesKeyData(key, "Reader A", &data, nullptr));

    ASSERT_TRUE(WriteRecord("first user", "pw", "first.id", "IDIDID"));
    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, nullptr));

    // A record whose password length runs past the bytes on the Key.
    const BYTE lying[] = {20, 0, 0, 0, 2, 0, 'a', 'b', 60, 0, 'x', 'y'};
    ASSERT_TRUE(key.Write("Reader A", 0, lying, sizeof lying));
    LogonRecordError why = LogonRecordError::kNone;
    EXPECT_EQ(KeyDataRead::kUnreadable, ReadNotesKeyData(key, "Reader A", &data, &why));
    EXPECT_EQ(LogonRecordError::kTruncated, why);
    EXPECT_STREQ("first user", data.record.sUserName);
    EXPECT_STREQ("pw", data.record.sPassword);

    ASSERT_TRUE(QsimPullKey(card));
    ASSERT_TRUE(key.WaitFor("removed Reader A"));
    EXPECT_EQ(KeyDataRead::kReadFailed, ReadNotesKeyData(key, "Reader A", &data, nullptr));
    EXPECT_STREQ("first user", data.record.sUserName);
}

// A record's write pulled between any two of the reader's commands: reported failed, and what is
// read afterwards is the old record or one refused as damaged, never a mix.
TEST_F(KeyData, WritePulledBetweenAnyTwoChunksFailsAndLeavesTheOldRecordOrADamagedOne)
{
    const std::string oldId = Bytes(1500, 1), newId = Bytes(1500, 2);  // same lengths: a password change
    ASSERT_TRUE(WriteRecord("CN=Anna Berg/O=Acme", "password-one", "anna.id", oldId));
    DWORD before = QsimChunkCount();
    ASSERT_TRUE(WriteRecord("CN=Anna Berg/O=Acme", "password-two", "anna.id", newId));
    int chunks = static_cast<int>(QsimChunkCount() - before);
    EXPECT_EQ(8, chunks);  // 1539 bytes in commands of 255, and the true head last
    int old = 0, damaged = 0;
    for (int k = 0; k < chunks; ++k) {
        SCOPED_TRACE("pulled before chunk " + std::to_string(k + 1));
        ASSERT_TRUE(WriteRecord("CN=Anna Berg/O=Acme", "password-one", "anna.id", oldId));
        ASSERT_TRUE(QsimPullOnChunk(k, card));
        std::string report;
        int removed = key.Count("removed Reader A"), inserted = key.Count("inserted Reader A");
        EXPECT_FALSE(WriteRecord("CN=Anna Berg/O=Acme", "password-two", "anna.id", newId, &report));
        EXPECT_EQ(0u, report.find("Error writing data into KSD.")) << report;
        ASSERT_TRUE(key.WaitFor("removed Reader A", 5000, removed + 1));
        ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
        ASSERT_TRUE(key.WaitFor("inserted Reader A", 5000, inserted + 1));
        LogonRecordError why = LogonRecordError::kNone;
        KeyDataRead read = ReadNotesKeyData(key, "Reader A", &data, &why);
        if (read == KeyDataRead::kRead) {
            EXPECT_STREQ("password-one", data.record.sPassword);
            EXPECT_EQ(oldId, IdBytes(data));
            ++old;
        } else {
            EXPECT_EQ(KeyDataRead::kUnreadable, read);
            EXPECT_EQ(LogonRecordError::kUnfinished, why);
            ++damaged;
        }
    }
    EXPECT_EQ(1, old);  // pulled before anything landed
    EXPECT_EQ(chunks - 1, damaged);
}

TEST_F(KeyData, RecordStaysRefusedUntilItsTrueHeadIsOn)
{
    ASSERT_TRUE(WriteRecord("user", "old", "a.id", Bytes(600, 3)));
    // The second WriteData of a record's write is its true head: failing it leaves the marked record.
    ASSERT_TRUE(QsimFailCall("WriteData", 1, ERROR_WRITE_FAULT, 0));
    EXPECT_FALSE(WriteRecord("user", "new", "a.id", Bytes(600, 4)));
    LogonRecordError why = LogonRecordError::kNone;
    EXPECT_EQ(KeyDataRead::kUnreadable, ReadNotesKeyData(key, "Reader A", &data, &why));
    EXPECT_EQ(LogonRecordError::kUnfinished, why);
    // The size set failing leaves it marked too.
    ASSERT_TRUE(QsimFailNext("SetDataSize", ERROR_WRITE_FAULT));
    EXPECT_FALSE(WriteRecord("user", "new", "a.id", Bytes(600, 4)));
    EXPECT_EQ(KeyDataRead::kUnreadable, ReadNotesKeyData(key, "Reader A", &data, &why));
    // A write that goes through reads whole.
    ASSERT_TRUE(WriteRecord("user", "new", "a.id", Bytes(600, 4)));
    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, &why));
    EXPECT_STREQ("new", data.record.sPassword);
}

TEST_F(KeyData, TooLittleSpaceReportsTheFigures)
{
    // The area's figures (allocated 2000, of it free 2000) add up to less than the record needs.
    ASSERT_TRUE(QsimSetCapacity(card, 8192, 2000, 512));
    std::string report;
    EXPECT_FALSE(WriteRecord("user", "password", "big.id", Bytes(4000, 1), &report));
    EXPECT_EQ("Error writing data into KSD.\nNot enough free space on KSD.\n\n"
              "(Neaded: 4030, Exist free: 4000 bytes only...)",
              report);
    QsimKeyState s;
    ASSERT_TRUE(QsimGetKey(card, &s));
    EXPECT_EQ(0u, s.size225);
}

TEST_F(KeyData, OtherWriteFailuresCarryTheKeysText)
{
    ASSERT_TRUE(QsimFailNext("WriteData", ERROR_WRITE_FAULT));
    std::string report;
    EXPECT_FALSE(WriteRecord("user", "password", "small.id", "ID", &report));
    EXPECT_EQ(0u, report.find("Error writing data into KSD.\n\n")) << report;
    EXPECT_NE(std::string::npos, report.find("writing  to the Key!")) << report;
    EXPECT_NE(std::string::npos, report.find("Ret,GLE:3, 1D")) << report;
    EXPECT_NE(std::string::npos, report.find("Key Reader:Reader A")) << report;
}

TEST_F(KeyData, WriterReadsTheIdFileFromDisk)
{
    std::string id = Bytes(1234, 9);
    ASSERT_TRUE(testkit::WriteFileBytes(temp.file("disk.id"), id));
    char report[256] = "";
    ASSERT_TRUE(WriteNotesKeyDataFromFile(key, "Reader A", "user", "pw", "disk.id", temp.file("disk.id").c_str(),
                                          report, sizeof report));
    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, nullptr));
    EXPECT_EQ(id, IdBytes(data));

    ASSERT_TRUE(testkit::WriteFileBytes(temp.file("huge.id"), Bytes(70000, 1)));
    DWORD writes = QsimCallCount("WriteData");
    EXPECT_FALSE(WriteNotesKeyDataFromFile(key, "Reader A", "user", "pw", "huge.id", temp.file("huge.id").c_str(),
                                           report, sizeof report));
    EXPECT_EQ(writes, QsimCallCount("WriteData"));
    EXPECT_STREQ("Error writing data into KSD.\n\nthe ID file is larger than 65535 bytes", report);

    EXPECT_FALSE(WriteNotesKeyDataFromFile(key, "Reader A", "user", "pw", "none.id", temp.file("none.id").c_str(),
                                           report, sizeof report));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(KeyData, IdFileMaterialisedInTheTemporaryDirectoryReplacesAnOldOne)
{
    std::string id = Bytes(3000, 5);
    ASSERT_TRUE(WriteRecord("user", "pw", "user.id", id));
    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, nullptr));
    ASSERT_TRUE(testkit::WriteFileBytes(temp.file("user.id"), "an older file of the same name, longer than nothing"));

    char path[MAX_PATH] = "", old[257] = "";
    ASSERT_TRUE(MaterialiseIdFile(data, "C:\\Notes\\Data\\previous.id", path, sizeof path, old, sizeof old));
    char longTemp[MAX_PATH] = "";
    GetLongPathNameA(temp.path().c_str(), longTemp, sizeof longTemp);
    EXPECT_STRCASEEQ((std::string(longTemp) + "\\user.id").c_str(), path);
    EXPECT_EQ(id, testkit::ReadFileBytes(path));
    EXPECT_STREQ("C:\\Notes\\Data\\previous.id", old);  // kept whole, drive and folders too

    EXPECT_FALSE(PartialFileLeft());  // nothing but the ID file is left in the folder
}

TEST_F(KeyData, IdFileNameFromTheKeyNeverLeavesTheTemporaryDirectory)
{
    ASSERT_TRUE(WriteRecord("user", "pw", "..\\escaped.id", "ID"));
    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, nullptr));
    char path[MAX_PATH] = "unchanged", old[257] = "unchanged";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MaterialiseIdFile(data, "x.id", path, sizeof path, old, sizeof old));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
    EXPECT_STREQ("unchanged", path);
    EXPECT_FALSE(testkit::FileExists(temp.path() + "\\..\\escaped.id"));

    ASSERT_TRUE(WriteRecord("user", "pw", "", "ID"));
    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, nullptr));
    EXPECT_FALSE(MaterialiseIdFile(data, "x.id", path, sizeof path, old, sizeof old));
}

TEST_F(KeyData, IdFileInUseIsNotHalfReplaced)
{
    ASSERT_TRUE(WriteRecord("user", "pw", "busy.id", Bytes(2000, 2)));
    ASSERT_EQ(KeyDataRead::kRead, ReadNotesKeyData(key, "Reader A", &data, nullptr));
    ASSERT_TRUE(testkit::WriteFileBytes(temp.file("busy.id"), "the client's open ID file"));
    HANDLE held = CreateFileA(temp.file("busy.id").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    char path[MAX_PATH] = "", old[257] = "";
    EXPECT_FALSE(MaterialiseIdFile(data, "x.id", path, sizeof path, old, sizeof old));
    EXPECT_NE(0u, GetLastError());
    CloseHandle(held);
    EXPECT_EQ("the client's open ID file", testkit::ReadFileBytes(temp.file("busy.id")));
    EXPECT_FALSE(PartialFileLeft());
}

TEST_F(KeyData, AnotherProcessReadsTheRecordBackEqual)
{
    std::string id = Bytes(9000, 11);
    ASSERT_TRUE(WriteRecord("CN=Per Lund/O=Acme", "pw-of-per", "per.id", id));
    std::string out = temp.file("probe.out");
    int rc = testkit::RunProcess("\"" + testkit::ExeDir() + "logon_record_probe.exe\" \"" + out + "\" 1234");
    ASSERT_EQ(0, rc) << testkit::ReadFileBytes(out);
    std::string expected = "CN=Per Lund/O=Acme\npw-of-per\nper.id\n9000\n" + id;
    EXPECT_EQ(expected, testkit::ReadFileBytes(out));
}

}  // namespace
