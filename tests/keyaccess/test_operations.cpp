// Key operations against virtual Keys: data, PIN, label, the current Key, the monitor's park and
// the texts GetErrorText makes of failures.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "quorel_control.h"
#include "recording_key.h"
#include "virtual_keys.h"
#include "testkit.h"
#include "texts.h"

namespace {

constexpr DWORD kKeyNoMemory = 0x80100006;

class Operations : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(keys.ok());
    }

    // One reader with one Key (PIN 1234) taken up by a running monitor.
    void StartWithKey(const char *label = "Alice")
    {
        card = keys.InsertNewKey("Reader A", label, "1234");
        ASSERT_NE(0, card);
        ASSERT_TRUE(testkit::StartWatching(key, "Reader A", "1234"));
    }
    QsimKeyState KeyState() { return testkit::VirtualKeys::State(card); }
    std::string ErrorText(const char *reader = "Reader A")
    {
        char text[200] = "";
        return key.GetErrorText(reader, text) ? text : "(nothing)";
    }

    testkit::VirtualKeys keys;  // declared first: emptied after the Key object has stopped
    RecordingKey key;
    int card = 0;
};

TEST_F(Operations, WriteThenReadGivesTheBytesAndTheStoredSize)
{
    StartWithKey();
    const char data[] = "record bytes";
    ASSERT_TRUE(key.Write("Reader A", 0, data, sizeof data));
    EXPECT_EQ(sizeof data, KeyState().size225);

    DWORD length = 0;
    EXPECT_TRUE(key.Read("Reader A", nullptr, &length));  // size only
    EXPECT_EQ(sizeof data, length);

    char buffer[64] = {};
    length = sizeof buffer;
    ASSERT_TRUE(key.Read("Reader A", buffer, &length));
    EXPECT_EQ(sizeof data, length);
    EXPECT_STREQ(data, buffer);
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

TEST_F(Operations, ReadIntoATooSmallBufferFailsWithTheNeededSize)
{
    StartWithKey();
    std::string data(100, 'x');
    ASSERT_TRUE(key.Write("Reader A", 0, data.data(), 100));

    char buffer[64];
    std::memset(buffer, 0x5A, sizeof buffer);
    DWORD length = 10;
    EXPECT_FALSE(key.Read("Reader A", buffer, &length));
    EXPECT_EQ(100u, length);
    EXPECT_EQ(0x5A, static_cast<unsigned char>(buffer[10]));  // nothing copied past the given size
    EXPECT_EQ("Reader A : The buffer is too small for the data on the Key.", ErrorText());

    // A buffer given with length 0 has no known size: nothing is copied into it either.
    length = 0;
    EXPECT_FALSE(key.Read("Reader A", buffer, &length));
    EXPECT_EQ(100u, length);
    EXPECT_EQ(0x5A, static_cast<unsigned char>(buffer[0]));
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

TEST_F(Operations, WriteWithoutDataResizesOrFails)
{
    StartWithKey();
    std::string data(300, 'y');
    ASSERT_TRUE(key.Write("Reader A", 0, data.data(), 300));
    EXPECT_TRUE(key.Write("Reader A", 0, nullptr, 120));
    EXPECT_EQ(120u, KeyState().size225);

    DWORD calls = QsimCallCount("SetDataSize");
    EXPECT_FALSE(key.Write("Reader A", 0, nullptr, 0));
    EXPECT_EQ(calls, QsimCallCount("SetDataSize"));  // nothing done to the Key
    EXPECT_EQ(120u, KeyState().size225);
}

TEST_F(Operations, WriteAtAnOffsetKeepsWhatCameBefore)
{
    StartWithKey();
    ASSERT_TRUE(key.Write("Reader A", 0, "abcdefgh", 8));
    ASSERT_TRUE(key.Write("Reader A", 4, "XY", 2));
    char buffer[16] = {};
    DWORD length = sizeof buffer;
    ASSERT_TRUE(key.Read("Reader A", buffer, &length));
    EXPECT_EQ(6u, length);
    EXPECT_EQ(std::string("abcdXY"), std::string(buffer, length));
}

TEST_F(Operations, WriteHeadLastEndsWithTheTrueHeadAndTheDataSize)
{
    StartWithKey();
    ASSERT_TRUE(key.Write("Reader A", 0, "an older and longer content", 27));
    DWORD writes = QsimCallCount("WriteData");
    ASSERT_TRUE(key.WriteHeadLast("Reader A", "##cdefgh", 8, "ab", 2));
    EXPECT_EQ(writes + 2, QsimCallCount("WriteData"));  // the data, then the head in one command
    char buffer[32] = {};
    DWORD length = sizeof buffer;
    ASSERT_TRUE(key.Read("Reader A", buffer, &length));
    EXPECT_EQ("abcdefgh", std::string(buffer, length));
}

// Arguments that cannot make a write whose head goes last: refused before the Key is touched.
struct HeadLastRefusal {
    const char *name;
    const char *data;
    DWORD length;
    const char *head;
    DWORD headLength;
};

const HeadLastRefusal kHeadLastRefusals[] = {
    {"NoData", nullptr, 4, "ab", 2},
    {"NoHead", "abcd", 4, nullptr, 2},
    {"EmptyData", "abcd", 0, "ab", 2},
    {"EmptyHead", "abcd", 4, "ab", 0},
    {"HeadLongerThanTheData", "abcd", 4, "abcdef", 6},
};

class HeadLastRefused : public Operations, public testing::WithParamInterface<HeadLastRefusal> {};

TEST_P(HeadLastRefused, NothingReachesTheKey)
{
    StartWithKey();
    ASSERT_TRUE(key.Write("Reader A", 0, "kept", 4));
    DWORD writes = QsimCallCount("WriteData") + QsimCallCount("SetDataSize");
    const HeadLastRefusal &c = GetParam();
    EXPECT_FALSE(key.WriteHeadLast("Reader A", c.data, c.length, c.head, c.headLength));
    EXPECT_EQ(writes, QsimCallCount("WriteData") + QsimCallCount("SetDataSize"));
    EXPECT_EQ("kept", testkit::VirtualKeys::Data(card));
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

INSTANTIATE_TEST_SUITE_P(Arguments, HeadLastRefused, testing::ValuesIn(kHeadLastRefusals),
                         [](const testing::TestParamInfo<HeadLastRefusal> &info) { return std::string(info.param.name); });

TEST_F(Operations, WritingPastTheFreeSpaceSaysSo)
{
    StartWithKey();
    ASSERT_TRUE(QsimSetCapacity(card, 2048, 1000, 512));
    std::string data(1001, 'z');
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(key.Write("Reader A", 0, data.data(), 1001));
    EXPECT_EQ(kKeyNoMemory, key.FindReader("Reader A")->last_error);
    EXPECT_EQ("Reader A : Not enough free space on the Key!", ErrorText());
    EXPECT_EQ(0u, KeyState().size225);
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

TEST_F(Operations, DeleteEmptiesTheDataArea)
{
    StartWithKey();
    ASSERT_TRUE(key.Write("Reader A", 0, "something", 9));
    ASSERT_TRUE(key.Delete("Reader A"));
    EXPECT_EQ(0u, KeyState().size225);
    DWORD length = 0;
    EXPECT_TRUE(key.Read("Reader A", nullptr, &length));
    EXPECT_EQ(0u, length);
}

TEST_F(Operations, LibraryRefusalLeavesItsErrorForTheText)
{
    StartWithKey();
    ASSERT_TRUE(QsimFailNext("SetDataSize", ERROR_WRITE_FAULT));
    EXPECT_FALSE(key.Delete("Reader A"));
    std::optional<ReaderRecord> r = key.FindReader("Reader A");
    EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_FAULT), r->last_error);
    std::string text = ErrorText();
    EXPECT_NE(std::string::npos, text.find("An error occurred while deleting (SetDataSize) from the Key!")) << text;
    EXPECT_NE(std::string::npos, text.find("Key Reader:Reader A")) << text;
    EXPECT_NE(std::string::npos, text.find("App ID: 225")) << text;
    EXPECT_NE(std::string::npos, text.find("Ret,GLE:3, 1D")) << text;
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());

    // A refusal that leaves no last error is still a failure with an error to report.
    ASSERT_TRUE(QsimFailNext("SetDataSize", 0));
    EXPECT_FALSE(key.Delete("Reader A"));
    EXPECT_EQ(1u, key.FindReader("Reader A")->last_error);

    // The next operation on the reader starts clean.
    EXPECT_TRUE(key.Delete("Reader A"));
    EXPECT_EQ("(nothing)", ErrorText());
}

TEST_F(Operations, TwoOperationsInARowEachVerifyThePin)
{
    StartWithKey();
    ASSERT_TRUE(key.AskToStopMonitorThread());  // no monitor visit may add calls meanwhile
    DWORD inits = QsimCallCount("InitCard"), verifies = QsimCallCount("VerifyPIN");
    // Already parked: the operations neither wait for nor release the monitor.
    EXPECT_TRUE(key.Write("Reader A", 0, "one", 3));
    EXPECT_TRUE(key.Write("Reader A", 0, "two", 3));
    EXPECT_EQ(inits + 2, QsimCallCount("InitCard"));
    EXPECT_EQ(verifies + 2, QsimCallCount("VerifyPIN"));
    Sleep(400);
    EXPECT_EQ(inits + 2, QsimCallCount("InitCard"));  // still parked
    key.ReleaseMonitor();
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

TEST_F(Operations, AWrongStoredPinFailsTheOperation)
{
    StartWithKey();
    key.SetPIN("Reader A", "0000");
    EXPECT_FALSE(key.Write("Reader A", 0, "data", 4));
    EXPECT_EQ(0u, KeyState().size225);
    EXPECT_EQ(2, KeyState().tries);
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

TEST_F(Operations, WithoutANameTheReadyKeyIsUsedAndBecomesCurrent)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    card = QsimCreateKey("Bob", "1234");
    ASSERT_TRUE(QsimInsertKey(card, "Reader B"));
    key.SetPIN(nullptr, "1234");
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("inserted Reader B"));

    ASSERT_TRUE(key.Write(nullptr, 0, "current", 7));
    EXPECT_EQ(7u, KeyState().size225);
    EXPECT_EQ(key.NameOf("Reader B"), key.NameOf(nullptr));
    DWORD length = 0;
    EXPECT_TRUE(key.Read("", nullptr, &length));
    EXPECT_EQ(7u, length);
}

TEST_F(Operations, WithoutAMonitorTheFirstUsableKeyIsSelected)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    card = QsimCreateKey("Bob", "1234");
    ASSERT_TRUE(QsimInsertKey(card, "Reader B"));
    ASSERT_TRUE(key.Start(false));
    key.SetPIN(nullptr, "1234");
    EXPECT_TRUE(key.Write(nullptr, 0, "abc", 3));
    EXPECT_EQ(3u, KeyState().size225);
    EXPECT_EQ(key.NameOf("Reader B"), key.NameOf(nullptr));

    // A Key that is there but cannot be used stops the search: it is the one meant.
    ASSERT_TRUE(QsimBlockKey(card, 1));
    EXPECT_FALSE(key.Write(nullptr, 0, "xyz", 3));
    EXPECT_EQ(3u, KeyState().size225);
    EXPECT_EQ(key.NameOf("Reader B"), key.NameOf(nullptr));
}

TEST_F(Operations, NoKeyAnywhereFailsAndReleasesTheMonitor)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("nokey"));
    EXPECT_FALSE(key.Write(nullptr, 0, "abc", 3));
    EXPECT_FALSE(key.Read("Reader Z", nullptr, nullptr));
    DWORD length = 0;
    EXPECT_FALSE(key.Read("Reader Z", nullptr, &length));
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

TEST_F(Operations, ChangePinUsesTheStoredPinAndKeepsTheNewOne)
{
    StartWithKey();
    ASSERT_TRUE(key.ChangePIN("Reader A", "87654321XYZ"));  // cut to 8 characters
    EXPECT_STREQ("87654321", KeyState().pin);
    EXPECT_TRUE(key.HoldsPIN("Reader A", "87654321"));
    EXPECT_TRUE(key.Write("Reader A", 0, "after", 5));  // opened with the new PIN

    key.SetPIN("Reader A", "11111111");
    EXPECT_FALSE(key.ChangePIN("Reader A", "2222"));
    EXPECT_STREQ("87654321", KeyState().pin);
}

TEST_F(Operations, UnblockOnAKeyThatIsNotBlockedChangesNothing)
{
    StartWithKey();
    DWORD calls = QsimCallCount("UnblockPIN");
    EXPECT_FALSE(key.UnblockPIN("Reader A", "5555"));
    EXPECT_EQ(calls, QsimCallCount("UnblockPIN"));
    EXPECT_STREQ("1234", KeyState().pin);
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

TEST_F(Operations, BlockedKeyUnblockedIsTakenUpAgainWithTheNewPin)
{
    StartWithKey();
    ASSERT_TRUE(QsimBlockKey(card, 1));
    ASSERT_TRUE(key.WaitFor("error Reader A The Key is blocked!"));
    key.Clear();
    ASSERT_TRUE(key.UnblockPIN("Reader A", "4321"));
    EXPECT_STREQ("4321", KeyState().pin);
    EXPECT_EQ(3, KeyState().tries);
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    EXPECT_EQ(1, key.Count("opened Reader A 4321"));
    EXPECT_EQ(csReady, key.FindReader("Reader A")->state);
}

TEST_F(Operations, LabelIsCutTo31Characters)
{
    StartWithKey();
    std::string label = "A label of more than thirty-one characters";
    ASSERT_TRUE(key.ChangeLabel("Reader A", label.c_str()));
    EXPECT_EQ(label.substr(0, 31), KeyState().label);
    char read[36] = {};
    EXPECT_EQ(csReady, key.GetKeyInfo("Reader A", nullptr, nullptr, read));
    EXPECT_EQ(label.substr(0, 31), read);
}

TEST_F(Operations, RandomBytesFillTheBuffer)
{
    StartWithKey();
    BYTE a[32] = {}, b[32] = {};
    ASSERT_TRUE(key.GetRandom("Reader A", a, sizeof a));
    ASSERT_TRUE(key.GetRandom("Reader A", b, sizeof b));
    EXPECT_NE(0, std::memcmp(a, b, sizeof a));
    EXPECT_EQ(32u, key.FindReader("Reader A")->write_length);
}

TEST_F(Operations, OperationInsideAnEventHandlerRunsWithoutWaiting)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    card = QsimCreateKey("Eve", "1234");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    std::atomic<int> written{-1};
    std::atomic<DWORD> took{0};
    key.insertedHook = [&](const char *name) {
        DWORD start = GetTickCount();
        written = key.Write(name, 0, "from the event", 14) ? 1 : 0;
        took = GetTickCount() - start;
    };
    key.SetPIN(nullptr, "1234");
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    for (int i = 0; i < 100 && written.load() < 0; ++i)
        Sleep(20);
    EXPECT_EQ(1, written.load());
    EXPECT_LT(took.load(), 500u);
    EXPECT_EQ(14u, KeyState().size225);
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());  // the operation did not release a park it did not make
}

TEST_F(Operations, BlockedKeyIsReportedByItsState)
{
    StartWithKey();
    ASSERT_TRUE(QsimBlockKey(card, 1));
    ASSERT_TRUE(key.WaitFor("error Reader A The Key is blocked!"));
    EXPECT_EQ("Reader A : The Key is blocked!", ErrorText());
    EXPECT_FALSE(key.GetErrorText("Reader Z", nullptr));
}

TEST(OperationsWithoutLibrary, EveryOperationFailsAndTheLoadErrorIsReported)
{
    LoadLanguage(nullptr, nullptr);
    RecordingKey key;  // never initialised: the library is not loaded
    DWORD length = 0;
    EXPECT_FALSE(key.Read("Reader A", nullptr, &length));
    EXPECT_FALSE(key.Write(nullptr, 0, "x", 1));
    EXPECT_FALSE(key.Delete(nullptr));
    EXPECT_FALSE(key.ChangePIN(nullptr, "1"));
    EXPECT_FALSE(key.ChangeLabel(nullptr, "l"));
    EXPECT_EQ(1, key.ChangeBioID(nullptr, nullptr, nullptr, "c"));
    EXPECT_FALSE(key.VerifyBioID(nullptr, nullptr, nullptr, "c"));
    char text[200] = "";
    EXPECT_TRUE(key.GetErrorText(nullptr, nullptr));
    EXPECT_TRUE(key.GetErrorText(nullptr, text));
    EXPECT_STREQ("An error occurred while loading Quorel32.dll!", text);
}

}  // namespace
