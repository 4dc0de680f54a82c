// Where the log may be: only the root of a fixed drive. A file planted at the root of a stick, a
// CD or a network share is never opened nor written (it would collect user names, ID paths and
// Key details for whoever planted it).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "log.h"
#include "testkit.h"
#include "wine_drive.h"

namespace {

struct DriveCase {
    const char *name;
    UINT type;
    bool logged;
};

TEST(LogDrives, OnlyTheRootOfAFixedDriveHoldsTheLog)
{
    if (!testkit::RunningOnWine())
        GTEST_SKIP() << "drives of a chosen type are made through Wine's mount manager";
    const DriveCase cases[] = {
        {"removable", DRIVE_REMOVABLE, false},
        {"network", DRIVE_REMOTE, false},
        {"CD", DRIVE_CDROM, false},
        {"fixed", DRIVE_FIXED, true},  // the same file where it may be: found and written
    };
    char module[64];
    std::snprintf(module, sizeof module, "logdrive%lu", GetCurrentProcessId());
    const std::string fileName = std::string("MV_") + module + ".log";
    ASSERT_FALSE(testkit::FileExists("C:\\" + fileName));  // no other file of this name to find
    for (const DriveCase &c : cases) {
        SCOPED_TRACE(c.name);
        testkit::TempDir folder;
        const std::string planted = folder.file(fileName);
        ASSERT_TRUE(testkit::WriteFileBytes(planted, "5"));
        testkit::WineDrive drive(folder.path(), c.type);
        ASSERT_TRUE(drive.ok());
        ASSERT_EQ(c.type, GetDriveTypeA(drive.root().c_str()));
        ASSERT_TRUE(testkit::FileExists(drive.root() + fileName));

        LogResetForTests();
        EXPECT_EQ(c.logged, LogInit(module, nullptr));
        LogMessage(kLogError, "CSmartKeyEx::onKeyInserted", "user <%s> ID <%s>", "Anna Berg/Morvath",
                   "C:\\temp\\anna.id");
        std::string contents = testkit::ReadFileBytes(planted);
        if (c.logged) {
            EXPECT_NE(std::string::npos, contents.find("Anna Berg/Morvath")) << contents;
        } else {
            EXPECT_EQ("5", contents);
            EXPECT_EQ(0, LogLevelInForce());
        }
    }
    LogResetForTests();
}

}  // namespace
