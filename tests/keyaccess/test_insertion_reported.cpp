// An insertion is never unreported: a Key that a Key operation opens before the monitor has taken
// it up (the program hands in the PIN and reads at once, or the Key goes in while the monitor is
// parked) is still announced by the monitor with its insertion event, once; a Key already
// announced is not announced again because an operation opened it.
#include <gtest/gtest.h>

#include <string>

#include "quorel_control.h"
#include "recording_key.h"
#include "testkit.h"
#include "texts.h"
#include "virtual_keys.h"

namespace {

struct InsertionRow {
    const char *name;
    bool pinBeforeStart;   // the placeholder's PIN is set before the monitor starts
    bool insertWhileParked;  // the Key goes in while the caller holds the monitor parked
    bool announcedBefore;  // the monitor has announced the Key before the operation
};

class InsertionReported : public testing::TestWithParam<InsertionRow> {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(keys.ok());
    }

    testkit::VirtualKeys keys;  // declared first: emptied after the Key object has stopped
    RecordingKey key;
};

TEST_P(InsertionReported, KeyOpenedFirstByAnOperationIsAnnouncedOnce)
{
    const InsertionRow &row = GetParam();
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Ines", "1234");
    ASSERT_NE(0, card);
    const std::string data = "record of the Key";
    ASSERT_TRUE(QsimSetData(card, kAppNotes, data.data(), static_cast<DWORD>(data.size())));
    if (!row.insertWhileParked) {
        ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    }
    if (row.pinBeforeStart)
        key.SetPIN(nullptr, "1234");
    ASSERT_TRUE(key.Start());
    if (row.insertWhileParked) {
        ASSERT_TRUE(key.WaitFor("nokey"));
    } else if (row.announcedBefore) {
        ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    } else {
        ASSERT_TRUE(key.WaitFor("needpin Reader A 0 3"));  // asked for its PIN, not yet opened
    }

    // No monitor visit between the Key's arrival (or the PIN handed in) and the operation: the
    // operation is the first to open the Key.
    ASSERT_TRUE(key.AskToStopMonitorThread());
    if (row.insertWhileParked) {
        ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    }
    if (!row.pinBeforeStart)
        key.SetPIN("Reader A", "1234");  // as a program does with what its prompt returned
    char buffer[64] = {};
    DWORD length = sizeof buffer;
    EXPECT_TRUE(key.Read("Reader A", buffer, &length));
    EXPECT_EQ(data, std::string(buffer, length));
    EXPECT_EQ(row.announcedBefore ? 1 : 0, key.Count("inserted Reader A"));
    key.ReleaseMonitor();

    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());  // a further pass: no second announcement
    EXPECT_EQ(1, key.Count("inserted Reader A"));
    EXPECT_EQ(1, key.Count("opened Reader A 1234"));
    EXPECT_EQ(csReady, key.GetKeyInfo("Reader A", nullptr, nullptr, nullptr));
    QsimKeyState s = {};
    ASSERT_TRUE(QsimGetKey(card, &s));
    EXPECT_EQ(3, s.tries);  // the announcement presented the right PIN: no try spent
    // The Key stays usable, and a later removal is reported as usual.
    length = sizeof buffer;
    EXPECT_TRUE(key.Read("Reader A", buffer, &length));
    ASSERT_TRUE(QsimPullKey(card));
    ASSERT_TRUE(key.WaitFor("removed Reader A"));
}

const InsertionRow kInsertionRows[] = {
    {"PinHandedInAfterThePromptAndReadAtOnce", false, false, false},
    {"KeyPutInWhileTheMonitorWasParked", true, true, false},
    {"KeyAnnouncedBeforeTheOperation", true, false, true},
};

INSTANTIATE_TEST_SUITE_P(Insertions, InsertionReported, testing::ValuesIn(kInsertionRows),
                         [](const testing::TestParamInfo<InsertionRow> &info) { return std::string(info.param.name); });

}  // namespace
