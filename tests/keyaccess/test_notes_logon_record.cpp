// The Notes logon record: round trips, the size limits, and records whose lengths lie.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "notes_logon_record.h"

namespace {

std::vector<std::uint8_t> Build(const std::string &user, const std::string &password,
                                const std::string &file, const std::vector<std::uint8_t> &id)
{
    std::vector<std::uint8_t> out(kLogonRecordMaxSize);
    std::size_t total = 0;
    LogonRecordError error = LogonRecordError::kNone;
    EXPECT_TRUE(BuildNotesLogonRecord(user.c_str(), password.c_str(), file.c_str(), id.data(),
                                      id.size(), out.data(), out.size(), &total, &error))
        << LogonRecordErrorText(error);
    out.resize(total);
    return out;
}

void ExpectRoundTrip(const std::string &user, const std::string &password, const std::string &file,
                     const std::vector<std::uint8_t> &id)
{
    std::vector<std::uint8_t> bytes = Build(user, password, file, id);
    ASSERT_EQ(kLogonHeaderSize + user.size() + password.size() + file.size() + id.size(), bytes.size());
    NotesLogonRecord record;
    LogonRecordError error;
    ASSERT_TRUE(ParseNotesLogonRecord(bytes.data(), bytes.size(), &record, &error))
        << LogonRecordErrorText(error);
    EXPECT_EQ(user, record.sUserName);
    EXPECT_EQ(password, record.sPassword);
    EXPECT_EQ(file, record.sIDFileName);
    ASSERT_EQ(id.size(), record.wIDFileLength);
    EXPECT_TRUE(std::equal(id.begin(), id.end(), bytes.begin() + record.idFileOffset));
}

TEST(NotesLogonRecord, LayoutOfASmallRecord)
{
    std::vector<std::uint8_t> bytes = Build("CN=Ann", "pw", "ann.id", {0xAA, 0xBB, 0xCC});
    const std::uint8_t expected[] = {29, 0, 0, 0, 6, 0, 'C', 'N', '=', 'A', 'n', 'n', 2, 0, 'p', 'w',
                                     6, 0, 'a', 'n', 'n', '.', 'i', 'd', 3, 0, 0xAA, 0xBB, 0xCC};
    // total counts header and fields: 12 + 6 + 2 + 6 + 3 = 29
    EXPECT_EQ(29u, bytes.size());
    EXPECT_EQ(std::vector<std::uint8_t>(expected, expected + sizeof expected), bytes);
}

TEST(NotesLogonRecord, RoundTripsEmptyAndFullSizeFields)
{
    ExpectRoundTrip("", "", "", {});
    ExpectRoundTrip("CN=Ann Smith/O=Acme", "", "ann.id", {1, 2, 3});  // empty password
    std::vector<std::uint8_t> id(8000);
    for (std::size_t i = 0; i < id.size(); ++i)
        id[i] = static_cast<std::uint8_t>(i * 7);
    ExpectRoundTrip(std::string(256, 'u'), std::string(64, 'p'), std::string(256, 'f'), id);
}

TEST(NotesLogonRecord, FullRecordOf16768Bytes)
{
    std::size_t idSize = kLogonRecordMaxSize - kLogonHeaderSize - 10 - 8 - 6;
    std::vector<std::uint8_t> id(idSize, 0x5A);
    id.back() = 0xA5;
    ExpectRoundTrip("CN=Bob/O=X", "secret12", "bob.id", id);
    EXPECT_EQ(kLogonRecordMaxSize, Build("CN=Bob/O=X", "secret12", "bob.id", id).size());
}

TEST(NotesLogonRecord, OversizeRecordsAreRefusedBeforeAnythingIsWritten)
{
    struct Case {
        const char *what;
        std::string user, password, file;
        std::size_t idSize;
        LogonRecordError error;
    } const cases[] = {
        {"one byte over 16768", "u", "p", "f", kLogonRecordMaxSize - kLogonHeaderSize - 3 + 1,
         LogonRecordError::kRecordTooLarge},
        {"ID file over 65535", "u", "p", "f", 65536, LogonRecordError::kIDFileTooLong},
        {"user name of 257", std::string(257, 'u'), "p", "f", 1, LogonRecordError::kUserNameTooLong},
        {"password of 65", "u", std::string(65, 'p'), "f", 1, LogonRecordError::kPasswordTooLong},
        {"file name of 257", "u", "p", std::string(257, 'f'), 1, LogonRecordError::kFileNameTooLong},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> id(c.idSize, 1);
        std::vector<std::uint8_t> out(70000, 0xEE);
        std::size_t total = 12345;
        LogonRecordError error = LogonRecordError::kNone;
        EXPECT_FALSE(BuildNotesLogonRecord(c.user.c_str(), c.password.c_str(), c.file.c_str(),
                                           id.data(), id.size(), out.data(), out.size(), &total, &error));
        EXPECT_EQ(c.error, error);
        EXPECT_EQ(12345u, total);
        EXPECT_EQ(0xEE, out[0]);
    }
}

TEST(NotesLogonRecord, BuildRefusesABufferThatIsOneShort)
{
    std::vector<std::uint8_t> out(12 + 1 + 1 + 1 + 2 - 1, 0xEE);
    LogonRecordError error;
    const std::uint8_t id[2] = {1, 2};
    EXPECT_FALSE(BuildNotesLogonRecord("u", "p", "f", id, 2, out.data(), out.size(), nullptr, &error));
    EXPECT_EQ(LogonRecordError::kBufferTooSmall, error);
    out.push_back(0xEE);
    EXPECT_TRUE(BuildNotesLogonRecord("u", "p", "f", id, 2, out.data(), out.size(), nullptr, &error));
}

TEST(NotesLogonRecord, StoredTotalIsIgnoredTheDataSizeCounts)
{
    std::vector<std::uint8_t> bytes = Build("CN=Ann", "pw", "ann.id", {9, 8, 7});
    bytes[0] = 0xFF;
    bytes[1] = 0xFF;  // a total that lies
    NotesLogonRecord record;
    ASSERT_TRUE(ParseNotesLogonRecord(bytes.data(), bytes.size(), &record, nullptr));
    EXPECT_STREQ("pw", record.sPassword);
    EXPECT_EQ(3u, record.wIDFileLength);
}

// Offsets of the four length fields in a record built from these lengths.
std::size_t LengthFieldOffset(int field, const std::size_t lengths[4])
{
    std::size_t at = 4;
    for (int i = 0; i < field; ++i)
        at += 2 + lengths[i];
    return at;
}

TEST(NotesLogonRecord, LengthsThatLieAreRefusedAndChangeNothing)
{
    const std::size_t lengths[4] = {6, 2, 6, 3};
    const std::vector<std::uint8_t> good = Build("CN=Ann", "pw", "ann.id", {9, 8, 7});
    for (int field = 0; field < 4; ++field) {
        for (std::size_t lie : {lengths[field] + 1, static_cast<std::size_t>(0xFFFF)}) {
            SCOPED_TRACE("L" + std::to_string(field + 1) + " = " + std::to_string(lie));
            std::vector<std::uint8_t> bytes = good;
            std::size_t at = LengthFieldOffset(field, lengths);
            bytes[at] = static_cast<std::uint8_t>(lie & 0xFF);
            bytes[at + 1] = static_cast<std::uint8_t>(lie >> 8);
            NotesLogonRecord record;
            std::memset(&record, 0x33, sizeof record);
            NotesLogonRecord before = record;
            LogonRecordError error = LogonRecordError::kNone;
            EXPECT_FALSE(ParseNotesLogonRecord(bytes.data(), bytes.size(), &record, &error));
            EXPECT_NE(LogonRecordError::kNone, error);
            EXPECT_EQ(0, std::memcmp(&before, &record, sizeof record));
        }
    }
}

TEST(NotesLogonRecord, FieldsOverTheirBuffersAreRefused)
{
    // A hand-made record whose user name (300 bytes) is within the bytes read but over its buffer.
    std::vector<std::uint8_t> bytes = {0, 0, 0, 0, 0x2C, 0x01};
    bytes.insert(bytes.end(), 300, 'u');
    bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0});
    NotesLogonRecord record;
    LogonRecordError error;
    EXPECT_FALSE(ParseNotesLogonRecord(bytes.data(), bytes.size(), &record, &error));
    EXPECT_EQ(LogonRecordError::kUserNameTooLong, error);
}

TEST(NotesLogonRecord, EveryTruncationIsRefused)
{
    const std::vector<std::uint8_t> good = Build("CN=Ann", "pw", "ann.id", {9, 8, 7});
    for (std::size_t size = 0; size < good.size(); ++size) {
        SCOPED_TRACE(size);
        // A copy of exactly `size` bytes, so a read past it is caught by the sanitizers.
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + size);
        NotesLogonRecord record;
        EXPECT_FALSE(ParseNotesLogonRecord(cut.empty() ? nullptr : cut.data(), cut.size(), &record, nullptr));
    }
}

TEST(NotesLogonRecord, RandomRecordsAgainstAModel)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        std::string user(random() % 257, 0), password(random() % 65, 0), file(random() % 257, 0);
        for (std::string *s : {&user, &password, &file})
            for (char &c : *s)
                c = static_cast<char>(1 + random() % 255);
        std::size_t room = kLogonRecordMaxSize - kLogonHeaderSize - user.size() - password.size() - file.size();
        std::vector<std::uint8_t> id(random() % (room + 1));
        for (auto &b : id)
            b = static_cast<std::uint8_t>(random());
        SCOPED_TRACE(round);
        ExpectRoundTrip(user, password, file, id);

        // Random bytes never parse past their end; when they parse, the fields fit what was read.
        std::vector<std::uint8_t> noise(random() % 64);
        for (auto &b : noise)
            b = static_cast<std::uint8_t>(random() % 8);
        NotesLogonRecord record;
        if (ParseNotesLogonRecord(noise.empty() ? nullptr : noise.data(), noise.size(), &record, nullptr)) {
            EXPECT_LE(record.idFileOffset + record.wIDFileLength, noise.size());
        }
    }
}

TEST(NotesLogonRecord, BareFileNameDropsDriveAndDirectory)
{
    char out[32];
    BareFileName("C:\\Lotus\\Notes\\Data\\user.id", out, sizeof out);
    EXPECT_STREQ("user.id", out);
    BareFileName("D:ann.id", out, sizeof out);
    EXPECT_STREQ("ann.id", out);
    BareFileName("plain.id", out, sizeof out);
    EXPECT_STREQ("plain.id", out);
    BareFileName("C:\\dir\\", out, sizeof out);
    EXPECT_STREQ("", out);
    BareFileName("C:\\a\\averyveryverylongname.id", out, 8);
    EXPECT_STREQ("averyve", out);
}

TEST(NotesLogonRecord, OnlyAPlainFileNameFromTheKeyNamesTheTemporaryIdFile)
{
    const struct {
        std::string name;
        bool plain;
    } kCases[] = {{"user.id", true}, {"a", true}, {"CN=Ann Smith.id", true}, {"console.id", true},
                  {"COM0.id", true}, {"nul2.id", true}, {std::string(256, 'f'), true},
                  {"", false}, {".", false}, {"..", false}, {"..\\x.id", false}, {"a/b.id", false},
                  {"C:x.id", false}, {"x.id:stream", false}, {"a<b", false}, {"a|b", false}, {"q?.id", false},
                  {"s*.id", false}, {"\"q\".id", false}, {"tab\t.id", false}, {"x.id.", false}, {"x.id ", false},
                  {"CON", false}, {"nul.id", false}, {"Aux.txt", false}, {"NUL .id", false}, {"com1.id", false},
                  {"LPT9", false}, {"conout$", false}, {std::string(257, 'f'), false}};
    for (const auto &c : kCases)
        EXPECT_EQ(c.plain, IsPlainIdFileName(c.name.c_str())) << c.name;
    EXPECT_FALSE(IsPlainIdFileName(nullptr));
}

}  // namespace

// ---- Records cut short on their way onto a Key ----------------------------------------------------

namespace {

std::vector<std::uint8_t> IdBytes(std::size_t n, unsigned seed)
{
    std::vector<std::uint8_t> id(n);
    for (std::size_t i = 0; i < n; ++i)
        id[i] = static_cast<std::uint8_t>((i * 131 + seed) & 0xFF);
    return id;
}

// What a record read parses to, as one text ("" when refused).
std::string Parsed(const std::vector<std::uint8_t> &bytes, LogonRecordError *error)
{
    NotesLogonRecord record;
    if (!ParseNotesLogonRecord(bytes.empty() ? nullptr : bytes.data(), bytes.size(), &record, error))
        return "";
    return std::string(record.sUserName) + "|" + record.sPassword + "|" + record.sIDFileName + "|" +
           std::string(bytes.begin() + record.idFileOffset, bytes.begin() + record.idFileOffset + record.wIDFileLength);
}

}  // namespace

TEST(NotesLogonRecord, UnfinishedRecordIsRefusedUntilItsHeadIsOn)
{
    std::vector<std::uint8_t> bytes = Build("CN=Ann", "pw", "ann.id", {9, 8, 7});
    const std::vector<std::uint8_t> whole = bytes;
    std::uint8_t head[kLogonRecordHeadSize];
    ASSERT_TRUE(MarkLogonRecordUnfinished(bytes.data(), bytes.size(), head));
    EXPECT_TRUE(std::equal(head, head + kLogonRecordHeadSize, whole.begin()));
    LogonRecordError error = LogonRecordError::kNone;
    EXPECT_EQ("", Parsed(bytes, &error));
    EXPECT_EQ(LogonRecordError::kUnfinished, error);
    std::copy(head, head + kLogonRecordHeadSize, bytes.begin());
    EXPECT_EQ(whole, bytes);
    EXPECT_EQ(std::string("CN=Ann|pw|ann.id|") + "\x09\x08\x07", Parsed(bytes, &error));
    std::uint8_t shortRecord[kLogonHeaderSize - 1] = {};
    EXPECT_FALSE(MarkLogonRecordUnfinished(shortRecord, sizeof shortRecord, head));
}

TEST(NotesLogonRecord, LengthsMustFillTheBytesRead)
{
    std::vector<std::uint8_t> bytes = Build("CN=Ann", "pw", "ann.id", {9, 8, 7});
    for (std::size_t extra : {1u, 2u, 255u}) {
        SCOPED_TRACE(extra);
        std::vector<std::uint8_t> longer = bytes;
        longer.resize(bytes.size() + extra, 0);  // an older, longer record's tail left behind
        LogonRecordError error = LogonRecordError::kNone;
        EXPECT_EQ("", Parsed(longer, &error));
        EXPECT_EQ(LogonRecordError::kLengthsDisagree, error);
        EXPECT_NE(std::string::npos, std::string(LogonRecordErrorText(error)).find("do not add up"));
    }
}

// The record's write as the writers do it (marked record, size, true head) over an old record, cut
// after every chunk of a reader's command size: what is left, read by the old data size or the new
// one, is the old record, the new one, or refused; never anything else.
struct TornRecordCase {
    const char *name;
    std::string oldPassword, newPassword;
    std::size_t oldId, newId;
};

class TornRecord : public testing::TestWithParam<TornRecordCase> {};

TEST_P(TornRecord, ReadsAsTheOldOrTheNewRecordOrIsRefused)
{
    const TornRecordCase &c = GetParam();
    std::vector<std::uint8_t> oldRecord = Build("CN=Ann Smith/O=Acme", c.oldPassword, "ann.id", IdBytes(c.oldId, 1));
    std::vector<std::uint8_t> newRecord = Build("CN=Ann Smith/O=Acme", c.newPassword, "ann.id", IdBytes(c.newId, 2));
    std::string oldText = Parsed(oldRecord, nullptr), newText = Parsed(newRecord, nullptr);
    std::vector<std::uint8_t> marked = newRecord;
    std::uint8_t head[kLogonRecordHeadSize];
    ASSERT_TRUE(MarkLogonRecordUnfinished(marked.data(), marked.size(), head));
    for (std::size_t command : {6u, 64u, 255u}) {
        // The Key's area after `landed` chunks of the marked record: the old size while the write
        // runs, the new size once it is set, and the true head as the last command.
        std::size_t chunks = (marked.size() + command - 1) / command;
        for (std::size_t landed = 0; landed <= chunks + 1; ++landed) {
            SCOPED_TRACE("command " + std::to_string(command) + ", chunks landed " + std::to_string(landed));
            std::vector<std::uint8_t> area(std::max(oldRecord.size(), marked.size()));
            std::copy(oldRecord.begin(), oldRecord.end(), area.begin());
            std::size_t torn = std::min(landed * command, marked.size());
            std::copy(marked.begin(), marked.begin() + torn, area.begin());
            std::size_t size = landed < chunks ? oldRecord.size() : marked.size();
            if (landed == chunks + 1)
                std::copy(head, head + kLogonRecordHeadSize, area.begin());
            area.resize(size);
            std::string read = Parsed(area, nullptr);
            if (landed == 0)
                EXPECT_EQ(oldText, read);
            else if (landed == chunks + 1)
                EXPECT_EQ(newText, read);
            else
                EXPECT_EQ("", read) << "a torn record was taken as whole";
        }
    }
}

const TornRecordCase kTornRecords[] = {
    {"SameLengths", "password-one", "password-two", 4000, 4000},  // a password change
    {"LongerRecord", "pw", "longer password", 300, 16000},
    {"ShorterRecord", "longer password", "pw", 16000, 300},
    {"EmptyPasswordAndFile", "", "", 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Writes, TornRecord, testing::ValuesIn(kTornRecords),
                         [](const testing::TestParamInfo<TornRecordCase> &info) { return std::string(info.param.name); });
