// The reader table: lookups give copies, the PIN and the Key's display name are the layer's
// methods, and the table stays whole while other threads read it during the monitor's changes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quorel_control.h"
#include "recording_key.h"
#include "testkit.h"
#include "texts.h"
#include "virtual_keys.h"

namespace {

class ReaderTable : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(keys.ok());
    }
    void StartWithKey(const char *label)
    {
        card = keys.InsertNewKey("Reader A", label, "1234");
        ASSERT_NE(0, card);
        ASSERT_TRUE(testkit::StartWatching(key, "Reader A", "1234"));
    }
    static std::string CardIdHex(int id)
    {
        QsimKeyState s = testkit::VirtualKeys::State(id);
        static const char kHex[] = "0123456789ABCDEF";
        std::string text;
        for (BYTE b : s.cardId) {
            text += kHex[b >> 4];
            text += kHex[b & 0x0F];
        }
        return text;
    }

    testkit::VirtualKeys keys;  // declared first: emptied after the Key object has stopped
    RecordingKey key;
    int card = 0;
};

struct NameCase {
    const char *label;     // the Key's label
    const char *reader;    // the reader asked for
    int size;              // of the caller's buffer
    bool found;
    const char *expected;  // "#" stands for the card id in hex
};

TEST_F(ReaderTable, DisplayNameIsTheLabelElseTheCardIdInHex)
{
    const NameCase cases[] = {
        {"Alice", "Reader A", 40, true, "Alice"},
        {"Alice", "Reader A", 4, true, "Ali"},  // cut to the caller's buffer
        {"", "Reader A", 40, true, "#"},
        {"", "Reader A", 17, true, "#"},        // exactly the 16 digits and the end
        {"", "Reader A", 16, false, ""},        // too small for the card id: nothing
        {"Alice", "Reader Z", 40, false, ""},   // unknown reader
        {"Alice", nullptr, 40, true, "Alice"},  // no name: the first reader with a Key
    };
    for (const NameCase &c : cases) {
        SCOPED_TRACE(std::string("label <") + c.label + "> reader <" + (c.reader ? c.reader : "null") + "> size " +
                     std::to_string(c.size));
        testkit::VirtualKeys own;  // declared first: emptied after the Key object has stopped
        RecordingKey watcher;
        int id = own.InsertNewKey("Reader A", c.label, "1234");
        ASSERT_NE(0, id);
        ASSERT_TRUE(testkit::StartWatching(watcher, "Reader A", "1234"));
        char text[64];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(c.found, watcher.DisplayName(c.reader, text, c.size));
        std::string expected = std::strcmp(c.expected, "#") == 0 ? CardIdHex(id) : c.expected;
        EXPECT_EQ(expected, std::string(text));
        EXPECT_EQ('x', text[c.size]);  // nothing written past the buffer
    }
}

TEST_F(ReaderTable, ForgetPinWipesTheStoredPinOnce)
{
    StartWithKey("Alice");
    ASSERT_TRUE(key.HoldsPIN("Reader A", "1234"));
    EXPECT_TRUE(key.ForgetPIN("Reader A"));
    EXPECT_TRUE(key.HoldsPIN("Reader A", ""));
    EXPECT_FALSE(key.ForgetPIN("Reader A"));  // nothing left to forget
    EXPECT_FALSE(key.ForgetPIN("Reader Z"));
    // The Key stays open for the monitor: forgetting touches no Key.
    EXPECT_EQ(csReady, key.GetKeyInfo("Reader A", nullptr, nullptr, nullptr));
}

TEST_F(ReaderTable, ACopyStaysAsItWasWhileTheRecordChanges)
{
    StartWithKey("Alice");
    std::optional<ReaderRecord> before = key.FindReader("Reader A");
    ASSERT_TRUE(before);
    ASSERT_TRUE(key.ChangeLabel("Reader A", "Bertha"));
    EXPECT_STREQ("Alice", before->label);
    EXPECT_STREQ("Bertha", key.FindReader("Reader A")->label);
    key.SetPIN("Reader A", "9999");
    EXPECT_TRUE(key.HoldsPIN("Reader A", "9999"));
}

TEST_F(ReaderTable, ACopyNeverCarriesThePin)
{
    StartWithKey("Alice");
    ASSERT_TRUE(key.HoldsPIN("Reader A", "1234"));
    std::optional<ReaderRecord> copy = key.FindReader("Reader A");
    ASSERT_TRUE(copy);
    EXPECT_STREQ("Alice", copy->label);
    for (char c : copy->pin)
        ASSERT_EQ(0, c);
    EXPECT_TRUE(key.HoldsPIN("Reader A", "1234"));  // the table keeps it
    EXPECT_FALSE(key.HoldsPIN("Reader A", "123"));
    EXPECT_FALSE(key.HoldsPIN("Reader Z", "1234"));
}

// Threads read and set the table without holding the Key while the monitor lists readers that
// come and go, takes Keys up and drops them: every answer is whole (a known name, a known state)
// and nothing crashes.
TEST_F(ReaderTable, ReadersOfTheTableMeetOnlyWholeRecordsWhileReadersComeAndGo)
{
    const std::set<std::string> names = {"Reader A", "Reader B", "Reader C"};
    card = keys.InsertNewKey("Reader A", "Alice", "1234");
    ASSERT_NE(0, card);
    ASSERT_TRUE(QsimAddReader("Reader B"));
    ASSERT_TRUE(testkit::StartWatching(key, "Reader A", "1234"));

    std::atomic<bool> stop{false};
    std::atomic<int> lookups{0}, broken{0};
    auto reader = [&](int seed) {
        char text[200];
        const char *pick[] = {"Reader A", "Reader B", "Reader C", nullptr};
        for (int i = seed; !stop.load(); ++i) {
            const char *name = pick[i % 4];
            if (std::optional<ReaderRecord> r = key.FindReader(name)) {
                if (names.count(r->name) == 0 || r->state < csAbsent || r->state > csBioFailed)
                    ++broken;
            }
            DWORD allocated = 0, freeSpace = 0;
            char label[36];
            int state = key.GetKeyInfo(name, &allocated, &freeSpace, label);
            if (state < 0 || state > csBioFailed || std::strlen(label) >= sizeof label)
                ++broken;
            key.GetErrorText(name, text);
            key.DisplayName(name, text, sizeof text);
            if (i % 7 == 0)
                key.SetPIN(name, "1234");
            ++lookups;
        }
    };
    std::thread a(reader, 0), b(reader, 1);
    for (int round = 0; round < 6; ++round) {
        ASSERT_TRUE(QsimAddReader("Reader C"));
        ASSERT_TRUE(QsimPullKey(card));
        ASSERT_TRUE(QsimInsertKey(card, "Reader B"));
        Sleep(150);
        ASSERT_TRUE(QsimRemoveReader("Reader C"));
        ASSERT_TRUE(QsimPullKey(card));
        ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
        Sleep(150);
    }
    stop = true;
    a.join();
    b.join();
    EXPECT_GT(lookups.load(), 100);
    EXPECT_EQ(0, broken.load());
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

}  // namespace
