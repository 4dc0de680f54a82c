// The Quorel32.dll stand-in: PIN tries and blocking, the -5 answer, data sizes and their errors,
// refusing entry points, and one Key seen by two processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "quorel_control.h"
#include "quorel_library.h"
#include "testkit.h"

namespace {

constexpr DWORD kNoMemory = 0x80100006;
constexpr DWORD kInsufficientBuffer = 0x80100008;
constexpr DWORD kWrongChv = 0x8010006B;
constexpr DWORD kChvBlocked = 0x8010006C;
constexpr DWORD kSecurityViolation = 0x8010006A;
constexpr DWORD kRemovedCard = 0x80100069;

class Quorel : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QsimReset());
        library_ = BindQuorelLibrary(&q);
        ASSERT_NE(nullptr, library_);
        ASSERT_TRUE(QsimAddReader("Reader A"));
        key_ = QsimCreateKey("Label", "1234");
        ASSERT_TRUE(QsimInsertKey(key_, "Reader A"));
        h_ = q.InitReader("Reader A");
        ASSERT_NE(0u, h_);
    }
    void TearDown() override
    {
        if (h_ != 0)
            q.CloseReader(h_);
        if (library_ != nullptr)
            FreeLibrary(library_);
        QsimReset();
    }
    // Opens the Key and gives its PIN.
    void Open()
    {
        ASSERT_EQ(3, q.InitCard(h_, 225));
        ASSERT_TRUE(q.VerifyPIN(h_, "1234"));
    }

    QuorelLibrary q{};
    HMODULE library_ = nullptr;
    int key_ = 0;
    DWORD h_ = 0;
};

TEST_F(Quorel, WrongPinsCostTriesAndTheLastBlocks)
{
    for (int left = 2; left >= 0; --left) {
        SCOPED_TRACE(left);
        ASSERT_EQ(left + 1, q.InitCard(h_, 225));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(q.VerifyPIN(h_, "0000"));
        EXPECT_EQ(left == 0 ? kChvBlocked : kWrongChv, GetLastError());
        q.CloseCard(h_, 0);
    }
    EXPECT_EQ(kInitCardBlocked, q.InitCard(h_, 225));
    SetLastError(0xdeadbeef);
    DWORD length = 0;
    EXPECT_FALSE(q.ReadData(h_, 0, nullptr, &length));
    EXPECT_EQ(kChvBlocked, GetLastError());
    EXPECT_FALSE(q.UnblockPIN(h_, "123456789"));  // more than 8 characters
    ASSERT_TRUE(q.UnblockPIN(h_, "5678"));
    q.CloseCard(h_, 0);
    ASSERT_EQ(3, q.InitCard(h_, 225));
    EXPECT_TRUE(q.VerifyPIN(h_, "5678"));
}

TEST_F(Quorel, EmptyPinIsRefusedWithoutATry)
{
    ASSERT_EQ(3, q.InitCard(h_, 225));
    EXPECT_FALSE(q.VerifyPIN(h_, ""));
    q.CloseCard(h_, 0);
    EXPECT_EQ(3, q.InitCard(h_, 225));
}

TEST_F(Quorel, UnblockRefusedForAForeignIssuerEndsFinallyBlocked)
{
    ASSERT_TRUE(QsimSetUnblockSecret(key_, "other issuer"));
    ASSERT_TRUE(QsimBlockKey(key_, 1));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(kInitCardBlocked, q.InitCard(h_, 225));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(q.UnblockPIN(h_, "1111"));
        EXPECT_EQ(kSecurityViolation, GetLastError());
        q.CloseCard(h_, 0);
    }
    EXPECT_EQ(kInitCardFinallyBlocked, q.InitCard(h_, 225));
}

TEST_F(Quorel, UnchangedKeyAnswersMinusFiveAfterFlagOne)
{
    Open();
    q.CloseCard(h_, 1);
    EXPECT_EQ(kInitCardUnchanged, q.InitCard(h_, 225));
    q.CloseCard(h_, 0);
    EXPECT_EQ(3, q.InitCard(h_, 225));  // flag 0: reported afresh
    ASSERT_TRUE(q.VerifyPIN(h_, "1234"));
    q.CloseCard(h_, 1);
    ASSERT_TRUE(QsimPullKey(key_));
    EXPECT_EQ(kInitCardNoKey, q.InitCard(h_, 225));
    ASSERT_TRUE(QsimInsertKey(key_, "Reader A"));
    EXPECT_EQ(3, q.InitCard(h_, 225));  // put back: a change
}

TEST_F(Quorel, MinusFiveStaysUntilTheKeyIsClosedWithFlagZero)
{
    Open();
    q.CloseCard(h_, 1);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(kInitCardUnchanged, q.InitCard(h_, 225));
        q.CloseCard(h_, 1);  // nothing was opened: the handle still knows the Key
    }
    EXPECT_EQ(kInitCardUnchanged, q.InitCard(h_, 225));
    q.CloseCard(h_, 0);
    EXPECT_EQ(3, q.InitCard(h_, 225));
}

TEST_F(Quorel, KeyWaitingForItsPinIsNeverKnown)
{
    ASSERT_EQ(3, q.InitCard(h_, 225));
    q.CloseCard(h_, 1);
    EXPECT_EQ(3, q.InitCard(h_, 225));
}

TEST_F(Quorel, DataSizesAndTheirErrors)
{
    Open();
    DWORD allocated = 0, freeSpace = 0;
    ASSERT_TRUE(q.GetApplicationInfo(h_, 225, &allocated, &freeSpace));
    EXPECT_EQ(24576u, allocated);
    EXPECT_EQ(24576u, freeSpace);

    BYTE data[100];
    for (int i = 0; i < 100; ++i)
        data[i] = static_cast<BYTE>(i);
    DWORD length = sizeof data;
    ASSERT_TRUE(q.WriteData(h_, 0, data, &length));
    EXPECT_EQ(100u, length);
    length = 0;
    ASSERT_TRUE(q.ReadData(h_, 0, nullptr, &length));  // null buffer: the stored size
    EXPECT_EQ(100u, length);
    BYTE back[100] = {};
    length = 99;  // one short
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(q.ReadData(h_, 0, back, &length));
    EXPECT_EQ(kInsufficientBuffer, GetLastError());
    EXPECT_EQ(100u, length);
    ASSERT_TRUE(q.ReadData(h_, 0, back, &length));  // exact fit
    EXPECT_EQ(0, std::memcmp(data, back, sizeof data));

    length = 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(q.WriteData(h_, 24576, data, &length));  // past the allocated area
    EXPECT_EQ(kNoMemory, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(q.SetDataSize(h_, 24577));
    EXPECT_EQ(kNoMemory, GetLastError());
    ASSERT_TRUE(q.SetDataSize(h_, 10));
    ASSERT_TRUE(q.GetApplicationInfo(h_, 225, &allocated, &freeSpace));
    EXPECT_EQ(24576u - 10u, freeSpace);
    ASSERT_TRUE(q.GetApplicationInfo(h_, 0, &allocated, &freeSpace));
    EXPECT_EQ(32768u, allocated);
    EXPECT_EQ(32768u - 10u, freeSpace);

    length = 0;
    ASSERT_TRUE(q.WriteBIR(h_, 0, nullptr, &length));  // null buffer: free space for the record
    EXPECT_EQ(4096u, length);
    length = 50;
    ASSERT_TRUE(q.WriteBIR(h_, 0, data, &length));
    length = 0;
    ASSERT_TRUE(q.WriteBIR(h_, 0, nullptr, &length));
    EXPECT_EQ(4046u, length);
    ASSERT_TRUE(q.GetApplicationInfo(h_, 227, &allocated, &freeSpace));
    EXPECT_EQ(4096u, allocated);
    EXPECT_EQ(4046u, freeSpace);
    ASSERT_TRUE(q.DeleteBIR(h_));
    length = 0;
    ASSERT_TRUE(q.ReadBIR(h_, 0, nullptr, &length));
    EXPECT_EQ(0u, length);
}

// ---- Data in chunks of one reader command, and pulls between them ---------------------------------

std::string Filled(std::size_t n, char c)
{
    return std::string(n, c);
}

std::string AreaBytes(int key)
{
    std::string data(QsimGetData(key, 225, nullptr, 0), 0);
    QsimGetData(key, 225, data.data(), static_cast<DWORD>(data.size()));
    return data;
}

// A write of `size` bytes of 'n' over 600 bytes of 'o', with the Key pulled after `landed` chunks
// of `command` bytes.
struct TornCase {
    const char *name;
    DWORD command;  // bytes per command (0: the usual 255)
    DWORD size;     // bytes written
    int landed;     // chunks that reach the Key before the pull
};

const TornCase kTornCases[] = {
    {"PulledBeforeTheFirstChunk", 0, 600, 0},
    {"PulledAfterTheFirstChunk", 0, 600, 1},
    {"PulledBeforeTheLastChunk", 0, 600, 2},
    {"SmallCommandsLongerThanTheOldData", 64, 1000, 12},
    {"ShorterThanTheOldData", 100, 300, 2},
    {"PulledRightAfterTheLastChunk", 0, 600, 3},
};

class TornWrite : public Quorel, public testing::WithParamInterface<TornCase> {};

TEST_P(TornWrite, KeepsTheChunksThatLandedAndTheOldSize)
{
    const TornCase &c = GetParam();
    QsimCardSpeed speed = {0, 0, c.command};
    ASSERT_TRUE(QsimSetCardSpeed(&speed));
    std::string old = Filled(600, 'o');
    ASSERT_TRUE(QsimSetData(key_, 225, old.data(), 600));
    Open();
    ASSERT_TRUE(QsimPullOnChunk(c.landed, key_));
    std::string data = Filled(c.size, 'n');
    DWORD length = c.size;
    DWORD chunks = QsimChunkCount();
    DWORD command = c.command != 0 ? c.command : 255;
    std::size_t torn = std::min<std::size_t>(c.landed * command, c.size);
    bool whole = torn == c.size;  // pulled only after the last chunk
    SetLastError(0xdeadbeef);
    EXPECT_EQ(whole, q.WriteData(h_, 0, reinterpret_cast<const BYTE *>(data.data()), &length) != 0);
    if (!whole) {
        EXPECT_EQ(kRemovedCard, GetLastError());
    }
    EXPECT_EQ(static_cast<DWORD>(c.landed), QsimChunkCount() - chunks);
    std::string expected = old;
    if (whole) {
        expected.replace(0, torn, data);
    } else {
        expected.replace(0, std::min<std::size_t>(torn, 600), Filled(std::min<std::size_t>(torn, 600), 'n'));
    }
    EXPECT_EQ(expected, AreaBytes(key_));  // a torn write keeps the old data size
    QsimKeyState state = {};
    ASSERT_TRUE(QsimGetKey(key_, &state));
    EXPECT_EQ(0, state.reader[0]);  // pulled
}

INSTANTIATE_TEST_SUITE_P(Chunks, TornWrite, testing::ValuesIn(kTornCases),
                         [](const testing::TestParamInfo<TornCase> &info) { return std::string(info.param.name); });

TEST_F(Quorel, WritesGoOnInChunksOfTheCommandSize)
{
    QsimCardSpeed speed = {0, 0, 100};
    ASSERT_TRUE(QsimSetCardSpeed(&speed));
    QsimCardSpeed back = {};
    ASSERT_TRUE(QsimGetCardSpeed(&back));
    EXPECT_EQ(100u, back.commandSize);
    Open();
    std::string data = Filled(1001, 'x');
    DWORD length = 1001;
    DWORD chunks = QsimChunkCount();
    ASSERT_TRUE(q.WriteData(h_, 0, reinterpret_cast<const BYTE *>(data.data()), &length));
    EXPECT_EQ(11u, QsimChunkCount() - chunks);
    EXPECT_EQ(data, AreaBytes(key_));
    speed.commandSize = 0;  // the usual size again
    ASSERT_TRUE(QsimSetCardSpeed(&speed));
    ASSERT_TRUE(QsimGetCardSpeed(&back));
    EXPECT_EQ(255u, back.commandSize);
    // A plan taken back pulls nothing.
    ASSERT_TRUE(QsimPullOnChunk(0, key_));
    ASSERT_TRUE(QsimPullOnChunk(0, 0));
    ASSERT_TRUE(q.WriteData(h_, 0, reinterpret_cast<const BYTE *>(data.data()), &length));
    QsimKeyState state = {};
    ASSERT_TRUE(QsimGetKey(key_, &state));
    EXPECT_STREQ("Reader A", state.reader);
    EXPECT_FALSE(QsimPullOnChunk(-1, key_));
    EXPECT_FALSE(QsimPullOnChunk(0, 99));
}

// A long read or write at card speed fails as soon as the Key leaves, not when its time is up.
struct LongCallCase {
    const char *name;
    bool write;
};

const LongCallCase kLongCalls[] = {{"Write", true}, {"Read", false}};

class LongCall : public Quorel, public testing::WithParamInterface<LongCallCase> {};

TEST_P(LongCall, FailsWhenTheKeyIsPulledMeanwhile)
{
    // 8000 bytes at 1000 bytes/s: eight seconds, if nothing stopped it.
    std::string old = Filled(8000, 'o');
    ASSERT_TRUE(QsimSetData(key_, 225, old.data(), 8000));
    QsimCardSpeed speed = {0, 1000, 255};
    ASSERT_TRUE(QsimSetCardSpeed(&speed));
    Open();
    std::string buffer = Filled(8000, 'n');
    DWORD length = 8000;
    BOOL ok = TRUE;
    DWORD error = 0;
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread call([&] {
        SetEvent(started);
        ok = GetParam().write ? q.WriteData(h_, 0, reinterpret_cast<const BYTE *>(buffer.data()), &length)
                              : q.ReadData(h_, 0, reinterpret_cast<BYTE *>(buffer.data()), &length);
        error = GetLastError();
    });
    WaitForSingleObject(started, INFINITE);
    CloseHandle(started);
    // The call is under way (its first chunk takes a quarter of a second) when the Key leaves.
    ASSERT_TRUE(testkit::WaitUntil([] { return QsimCallCount("WriteData") + QsimCallCount("ReadData") > 0; }));
    ASSERT_TRUE(QsimPullKey(key_));
    DWORD chunksAtPull = QsimChunkCount();
    call.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(kRemovedCard, error);
    EXPECT_LE(QsimChunkCount(), chunksAtPull);  // nothing landed after the pull
    std::string now = AreaBytes(key_);
    EXPECT_EQ(8000u, now.size());
    if (GetParam().write) {
        EXPECT_NE(std::string::npos, now.find('o'));  // cut short: old bytes remain
    }
}

INSTANTIATE_TEST_SUITE_P(CardSpeed, LongCall, testing::ValuesIn(kLongCalls),
                         [](const testing::TestParamInfo<LongCallCase> &info) { return std::string(info.param.name); });

TEST_F(Quorel, DataNeedsThePin)
{
    ASSERT_EQ(3, q.InitCard(h_, 225));
    DWORD length = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(q.ReadData(h_, 0, nullptr, &length));
    EXPECT_EQ(kSecurityViolation, GetLastError());
    char label[32];
    ASSERT_TRUE(q.ReadLabel(h_, label));  // the label needs no PIN
    EXPECT_STREQ("Label", label);
    EXPECT_FALSE(q.WriteLabel(h_, "New"));
}

TEST_F(Quorel, LabelIsCutTo31AndCardIdNeedsEightBytes)
{
    Open();
    ASSERT_TRUE(q.WriteLabel(h_, "0123456789012345678901234567890123456789"));
    char label[32];
    ASSERT_TRUE(q.ReadLabel(h_, label));
    EXPECT_EQ(31u, std::strlen(label));
    BYTE id[8];
    DWORD length = 7;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(q.GetCardID(h_, id, &length));
    EXPECT_EQ(kInsufficientBuffer, GetLastError());
    EXPECT_EQ(8u, length);
    ASSERT_TRUE(q.GetCardID(h_, id, &length));
    QsimKeyState s;
    ASSERT_TRUE(QsimGetKey(key_, &s));
    EXPECT_EQ(0, std::memcmp(s.cardId, id, 8));
}

TEST_F(Quorel, RandomBytesDiffer)
{
    Open();
    BYTE a[32] = {}, b[32] = {};
    ASSERT_TRUE(q.GetRandom(h_, a, sizeof a));
    ASSERT_TRUE(q.GetRandom(h_, b, sizeof b));
    EXPECT_NE(0, std::memcmp(a, b, sizeof a));
}

TEST_F(Quorel, NeverCalledEntriesRefuse)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(q.FormatCard(h_, "1", "x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(q.DeleteData(h_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
}

TEST_F(Quorel, InjectedFailureAndReaderChanges)
{
    ASSERT_TRUE(QsimFailNextEx("InitCard", 0x80100066, kInitCardKeyFailure, 1));
    SetLastError(0);
    EXPECT_EQ(kInitCardKeyFailure, q.InitCard(h_, 225));
    EXPECT_EQ(0x80100066u, GetLastError());
    EXPECT_EQ(3, q.InitCard(h_, 225));  // only the next call
    q.AnyReadersChanges(0);
    EXPECT_FALSE(q.AnyReadersChanges(0));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    EXPECT_TRUE(q.AnyReadersChanges(0));
    EXPECT_FALSE(q.AnyReadersChanges(0));
    EXPECT_STREQ("Reader A", q.EnumReaders(0));
    EXPECT_STREQ("Reader B", q.EnumReaders(1));
    EXPECT_EQ(nullptr, q.EnumReaders(2));
}

TEST_F(Quorel, DelayedEntryHoldsItsCallerAndResetEndsIt)
{
    ASSERT_TRUE(QsimSetCallDelay("EnumReaders", 300));
    EXPECT_FALSE(QsimSetCallDelay("NoSuchEntry", 300));
    DWORD start = GetTickCount();
    EXPECT_STREQ("Reader A", q.EnumReaders(0));
    EXPECT_GE(GetTickCount() - start, 250u);  // at least the delay (tick granularity aside)
    ASSERT_TRUE(QsimReset());
    ASSERT_TRUE(QsimAddReader("Reader A"));
    char dump[1024];
    QsimDump(dump, sizeof dump);
    EXPECT_EQ(nullptr, std::strstr(dump, "takes")) << dump;
}

TEST_F(Quorel, TraceKeepsTheLastCallsInOrderWithWhoAndHowLong)
{
    std::vector<QsimTraceEntry> t(1000);
    q.InitCard(h_, 225);  // before the trace starts: not in it
    EXPECT_EQ(0u, QsimGetTrace(t.data(), static_cast<DWORD>(t.size())));
    ASSERT_TRUE(QsimTraceCalls(TRUE));
    ASSERT_TRUE(QsimSetCallDelay("GetCardID", 50));
    LONGLONG before = QsimNowMicros();
    q.InitCard(h_, 225);
    BYTE id[8];
    DWORD length = sizeof id;
    q.GetCardID(h_, id, &length);
    t.resize(QsimGetTrace(t.data(), static_cast<DWORD>(t.size())));
    ASSERT_EQ(2u, t.size());
    EXPECT_STREQ("InitCard", QsimEntryName(t[0].entry));
    EXPECT_STREQ("GetCardID", QsimEntryName(t[1].entry));
    EXPECT_EQ(GetCurrentThreadId(), t[0].thread);
    EXPECT_EQ(GetCurrentProcessId(), t[1].process);
    EXPECT_GE(t[0].startMicros, before);
    EXPECT_GE(t[1].startMicros, t[0].startMicros + t[0].micros);
    EXPECT_GE(t[1].micros, 40000u);  // the call's delay is part of it
    EXPECT_STREQ("", QsimEntryName(9999));

    // A full ring keeps the last 512 calls, oldest first; a short buffer takes the oldest of them.
    for (int i = 0; i < 600; ++i)
        q.AnyReadersChanges(0);
    t.assign(1000, QsimTraceEntry{});
    t.resize(QsimGetTrace(t.data(), static_cast<DWORD>(t.size())));
    ASSERT_EQ(512u, t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        EXPECT_STREQ("AnyReadersChanges", QsimEntryName(t[i].entry)) << i;
        if (i > 0) {
            EXPECT_GE(t[i].startMicros, t[i - 1].startMicros) << i;
        }
    }
    QsimTraceEntry two[2] = {};
    ASSERT_EQ(2u, QsimGetTrace(two, 2));
    EXPECT_EQ(t[0].startMicros, two[0].startMicros);

    // Stopped: emptied, and nothing more is written.
    ASSERT_TRUE(QsimTraceCalls(FALSE));
    q.InitCard(h_, 225);
    EXPECT_EQ(0u, QsimGetTrace(t.data(), static_cast<DWORD>(t.size())));
}

TEST_F(Quorel, AreaDataSetDirectlyIsWhatTheKeyReads)
{
    const char record[] = "administrator's record";
    ASSERT_TRUE(QsimSetData(key_, 225, record, sizeof record));
    EXPECT_FALSE(QsimSetData(key_, 225, nullptr, 5));
    EXPECT_FALSE(QsimSetData(key_, 226, record, sizeof record));
    std::string tooBig(24577, 'x');  // one past the allocated 24576
    EXPECT_FALSE(QsimSetData(key_, 225, tooBig.data(), static_cast<DWORD>(tooBig.size())));
    Open();
    char buffer[64] = {};
    DWORD length = sizeof buffer;
    ASSERT_TRUE(q.ReadData(h_, 0, reinterpret_cast<BYTE *>(buffer), &length));
    EXPECT_EQ(sizeof record, length);
    EXPECT_STREQ(record, buffer);
    char back[8] = {};
    EXPECT_EQ(sizeof record, QsimGetData(key_, 225, back, sizeof back - 1));  // the size, a cut copy
    EXPECT_STREQ("adminis", back);
    EXPECT_EQ(0u, QsimGetData(key_, 227, nullptr, 0));
}

TEST_F(Quorel, SecondProcessSeesTheSameKey)
{
    std::string ctl = "\"" + testkit::ExeDir() + "quorelctl.exe\" ";
    ASSERT_EQ(0, testkit::RunProcess(ctl + "pull 1"));
    EXPECT_EQ(kInitCardNoKey, q.InitCard(h_, 225));
    ASSERT_EQ(0, testkit::RunProcess(ctl + "insert 1 \"Reader A\""));
    EXPECT_EQ(3, q.InitCard(h_, 225));
    EXPECT_EQ(1, testkit::RunProcess(ctl + "insert 1 \"No such reader\""));
    EXPECT_EQ(2, testkit::RunProcess(ctl + "no-such-command"));
}

}  // namespace
