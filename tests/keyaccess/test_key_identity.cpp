// Which Key a visit talks to: a Key the library answers -5 for ("nothing new") while the monitor
// takes it for absent is reported afresh, and a PIN kept for one Key is never tried on another.
#include <gtest/gtest.h>

#include <string>

#include "quorel_control.h"
#include "quorel_library.h"
#include "recording_key.h"
#include "testkit.h"
#include "texts.h"

namespace {

class KeyIdentity : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(QsimReset());
        library_ = BindQuorelLibrary(&q_);
        ASSERT_NE(nullptr, library_);
    }
    void TearDown() override
    {
        if (library_ != nullptr)
            FreeLibrary(library_);
        QsimReset();
    }
    static int Tries(int card)
    {
        QsimKeyState state = {};
        return QsimGetKey(card, &state) ? state.tries : -1;
    }
    // The monitor held at its park, `move` done meanwhile (no visit sees the Keys between), the
    // monitor let go.
    template <typename Move>
    static void WhileParked(RecordingKey &key, Move move)
    {
        ASSERT_TRUE(key.AskToStopMonitorThread());
        key.Clear();
        move();
        key.ReleaseMonitor();
    }

    QuorelLibrary q_{};
    HMODULE library_ = nullptr;
};

struct MinusFiveCase {
    const char *name;
    const char *pin;    // the Key's PIN ("" none)
    const char *event;  // what the visit reports once it is past the -5
};

// The library answers -5 for a Key this reader's handle already knows (here: opened and closed
// with flag 1 before the monitor ran, as another program's access leaves it) while the monitor's
// record still says csAbsent. The visit must close with flag 0 to hear about the Key again: with
// flag 1 the library answers -5 for ever and the visit, and every Key operation after it, hangs.
TEST_F(KeyIdentity, MinusFiveForAKeyTheMonitorTakesForAbsentEndsTheVisit)
{
    const MinusFiveCase cases[] = {
        {"PIN", "1234", "needpin Reader A 0 3"},
        {"no PIN", "", "inserted Reader A"},
    };
    for (const MinusFiveCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QsimReset());
        ASSERT_TRUE(QsimAddReader("Reader A"));
        int card = QsimCreateKey("Erin", c.pin);
        ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
        RecordingKey key;
        ASSERT_TRUE(key.Start(false));
        std::optional<ReaderRecord> r = key.FindReader("Reader A");
        ASSERT_TRUE(r.has_value());
        ASSERT_EQ(csAbsent, r->state);
        int opened = q_.InitCard(r->h, kAppNotes);
        ASSERT_TRUE(opened > 0 || opened == kInitCardTriesUnknown) << opened;
        if (c.pin[0] != 0) {
            ASSERT_TRUE(q_.VerifyPIN(r->h, c.pin));
        }
        q_.CloseCard(r->h, 1);

        DWORD initCards = QsimCallCount("InitCard");
        key.StartMonitoring();
        bool ended = key.WaitFor(c.event, 5000);
        EXPECT_TRUE(ended) << "the visit did not get past -5: " << QsimCallCount("InitCard") - initCards
                           << " InitCard calls";
        if (!ended)
            QsimPullKey(card);  // -1 ends the looping visit, so that the monitor can be stopped
        EXPECT_EQ(3, Tries(card));
    }
}

struct KeptPinCase {
    const char *name;
    // Where Key 1 (PIN "1111") and Key 2 (PIN "2222") are put while the monitor is held, after
    // each was opened with its PIN in its own reader (Key 1 in A, Key 2 in B); null: left out.
    const char *key1To;
    const char *key2To;
};

// A PIN the monitor keeps for the Key it saw in a reader goes with that Key's card id: a Key that
// is there now in its place (swapped in, or moved over from the other reader, between two
// visits) is asked for its own PIN, and no try of it is spent on the other Key's PIN.
TEST_F(KeyIdentity, KeptPinIsNeverPresentedToAnotherKey)
{
    const KeptPinCase cases[] = {
        {"another Key in the same reader", nullptr, "Reader A"},
        {"the Keys moved to each other's reader", "Reader B", "Reader A"},
    };
    for (const KeptPinCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QsimReset());
        ASSERT_TRUE(QsimAddReader("Reader A"));
        ASSERT_TRUE(QsimAddReader("Reader B"));
        int key1 = QsimCreateKey("One", "1111");
        int key2 = QsimCreateKey("Two", "2222");
        ASSERT_TRUE(QsimInsertKey(key1, "Reader A"));
        ASSERT_TRUE(QsimInsertKey(key2, "Reader B"));
        RecordingKey key;
        ASSERT_TRUE(key.Start());
        ASSERT_TRUE(key.WaitFor("needpin Reader A 0 3"));
        ASSERT_TRUE(key.WaitFor("needpin Reader B 0 3"));
        WhileParked(key, [&] {
            key.SetPIN("Reader A", "1111");
            key.SetPIN("Reader B", "2222");
        });
        ASSERT_TRUE(key.WaitFor("inserted Reader A"));
        ASSERT_TRUE(key.WaitFor("inserted Reader B"));

        WhileParked(key, [&] {
            ASSERT_TRUE(QsimPullKey(key1));
            ASSERT_TRUE(QsimPullKey(key2));
            if (c.key1To != nullptr) {
                ASSERT_TRUE(QsimInsertKey(key1, c.key1To));
            }
            ASSERT_TRUE(QsimInsertKey(key2, c.key2To));
        });
        // Each Key now in a reader is asked for its PIN as a Key seen for the first time.
        ASSERT_TRUE(key.WaitFor(std::string("needpin ") + c.key2To + " 0 3")) << testing::PrintToString(key.Events());
        if (c.key1To != nullptr) {
            ASSERT_TRUE(key.WaitFor(std::string("needpin ") + c.key1To + " 0 3"))
                << testing::PrintToString(key.Events());
        }
        EXPECT_EQ(3, Tries(key1));
        EXPECT_EQ(3, Tries(key2));
        EXPECT_EQ(0, key.Count("needpin Reader A 1 2"));
        EXPECT_EQ(0, key.Count("needpin Reader B 1 2"));
        EXPECT_EQ(0, key.Count("inserted Reader A"));
        EXPECT_EQ(0, key.Count("inserted Reader B"));
    }
}

}  // namespace
