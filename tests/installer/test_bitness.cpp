// The two packages and the two kinds of Notes client: each package takes the client of its own
// bitness (the 32-bit client recorded in the 32-bit view of the registry, the 64-bit one in the
// native view), refuses, changing nothing, a PC with only a client of the other bitness, naming the
// package to use, and says so apart from finding no client at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <memory>
#include <string>
#include <vector>

#include "notes_installation.h"
#include "testkit.h"

namespace {

using testkit::ClientBitness;
using testkit::FileExists;
using testkit::NotesInstallation;

const char kNotesIni[] = "[Notes]\r\nDirectory=C:\\Notes\\Data\r\nKeyFileName=user.id\r\n";

const char kNotFound[] = "The Notes program directory was not found. Install the Lotus Notes client first, or give its "
                         "folder as NOTESDIR=\"...\" on the command line.";

// The refusal of the package for `own` clients on a PC whose client, in `folder`, is the other one.
std::string Refusal(ClientBitness own, const std::string &folder)
{
    bool is64 = own == ClientBitness::k64;
    return std::string("This package is for the ") + (is64 ? "64-bit" : "32-bit") +
           " Notes client, but the Notes client on this PC (" + folder + ") is the " + (is64 ? "32-bit" : "64-bit") +
           " one. Install " + (is64 ? "Sentrio-x86.msi" : "Sentrio-x64.msi") + " instead. Nothing was changed.";
}

// The package for clients of `bitness` that this build can run: its own, or (64-bit build) the one
// of the x86 template made from its images for this check.
std::string PackageFor(ClientBitness bitness)
{
    if (bitness == testkit::kOwnClient)
        return testkit::ExeDir() + SENTRIO_MSI_NAME;
    return testkit::ExeDir() + "installer_check\\Sentrio-x86.msi";
}

const char *UpgradeCodeOf(ClientBitness bitness)
{
    return bitness == ClientBitness::k64 ? SENTRIO_X64_UPGRADE_CODE : SENTRIO_X86_UPGRADE_CODE;
}

// The messages of the launch conditions `package` fails on this PC as it is: the package opened
// without a user interface, its searches run, each condition evaluated, the message of each false
// one formatted as the installer shows it.
std::vector<std::string> FailedConditions(const std::string &package)
{
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MSIHANDLE session = 0;
    UINT rc = MsiOpenPackageA(package.c_str(), &session);
    if (rc != ERROR_SUCCESS)
        return {"<the package did not open: " + std::to_string(rc) + ">"};
    std::vector<std::string> failed;
    if ((rc = MsiDoActionA(session, "AppSearch")) != ERROR_SUCCESS)
        failed.push_back("<AppSearch failed: " + std::to_string(rc) + ">");
    MSIHANDLE database = MsiGetActiveDatabase(session);
    MSIHANDLE view = 0;
    if (MsiDatabaseOpenViewA(database, "SELECT `Condition`, `Description` FROM `LaunchCondition`", &view) ==
            ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS) {
        MSIHANDLE row = 0;
        while (MsiViewFetch(view, &row) == ERROR_SUCCESS) {
            char condition[1024] = "", message[1024] = "", shown[2048] = "";
            DWORD size = sizeof condition;
            MsiRecordGetStringA(row, 1, condition, &size);
            size = sizeof message;
            MsiRecordGetStringA(row, 2, message, &size);
            if (MsiEvaluateConditionA(session, condition) != MSICONDITION_TRUE) {
                MSIHANDLE text = MsiCreateRecord(0);
                MsiRecordSetStringA(text, 0, message);
                size = sizeof shown;
                MsiFormatRecordA(session, text, shown, &size);
                MsiCloseHandle(text);
                failed.push_back(shown);
            }
            MsiCloseHandle(row);
        }
        MsiCloseHandle(view);
    } else {
        failed.push_back("<no LaunchCondition table>");
    }
    MsiCloseHandle(database);
    MsiCloseHandle(session);
    return failed;
}

struct ClientsCase {
    const char *name;
    ClientBitness package;  // the package for clients of this bitness
    bool client32, client64;
    enum { kTakes, kRefusesOther, kNoClient } expect;
};

class PackageAndClients : public testing::TestWithParam<ClientsCase> {};

TEST_P(PackageAndClients, EachPackageTakesItsOwnClientOnly)
{
    const ClientsCase &c = GetParam();
    if ((c.client64 || c.package == ClientBitness::k64) && !testkit::Has64BitWindows())
        GTEST_SKIP() << "no 64-bit side on this Windows";
#ifndef _WIN64
    if (c.package != testkit::kOwnClient)
        GTEST_SKIP() << "the 32-bit build makes no 64-bit package";
#endif
    std::unique_ptr<NotesInstallation> client32, client64;
    // Each client as its installer records it; absent ones are taken out of their view (and put
    // back at the end).
    client32.reset(new NotesInstallation(kNotesIni, c.client32, ClientBitness::k32));
    client64.reset(testkit::Has64BitWindows() ? new NotesInstallation(kNotesIni, c.client64, ClientBitness::k64) : nullptr);

    std::vector<std::string> failed = FailedConditions(PackageFor(c.package));
    switch (c.expect) {
    case ClientsCase::kTakes:
        EXPECT_TRUE(failed.empty()) << failed.at(0);
        break;
    case ClientsCase::kRefusesOther: {
        const NotesInstallation &other = c.package == ClientBitness::k64 ? *client32 : *client64;
        EXPECT_EQ(std::vector<std::string>{Refusal(c.package, other.Folder())}, failed);
        break;
    }
    case ClientsCase::kNoClient:
        EXPECT_EQ(std::vector<std::string>{kNotFound}, failed);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackageAndClients,
    testing::Values(ClientsCase{"x64_with_64bit_client", ClientBitness::k64, false, true, ClientsCase::kTakes},
                    ClientsCase{"x64_with_both_clients", ClientBitness::k64, true, true, ClientsCase::kTakes},
                    ClientsCase{"x64_with_32bit_client_only", ClientBitness::k64, true, false, ClientsCase::kRefusesOther},
                    ClientsCase{"x64_without_client", ClientBitness::k64, false, false, ClientsCase::kNoClient},
                    ClientsCase{"x86_with_32bit_client", ClientBitness::k32, true, false, ClientsCase::kTakes},
                    ClientsCase{"x86_with_both_clients", ClientBitness::k32, true, true, ClientsCase::kTakes},
                    ClientsCase{"x86_with_64bit_client_only", ClientBitness::k32, false, true, ClientsCase::kRefusesOther},
                    ClientsCase{"x86_without_client", ClientBitness::k32, false, false, ClientsCase::kNoClient}),
    [](const testing::TestParamInfo<ClientsCase> &info) { return std::string(info.param.name); });

// msiexec itself on a PC with only the other client: the installation fails and nothing changes,
// neither the client's folder and notes.ini nor the registry nor the console's folder.
class OtherBitnessClient : public testing::TestWithParam<ClientBitness> {
protected:
    void TearDown() override
    {
        // A failed test leaves nothing installed for the next one.
        for (const NotesInstallation::Product &p : NotesInstallation::InstalledProducts(UpgradeCodeOf(GetParam())))
            testkit::RunProcess("msiexec /x " + p.code + " /qn", 120000);
    }
};

TEST_P(OtherBitnessClient, IsRefusedAndNothingChanges)
{
    ClientBitness package = GetParam();
    ClientBitness client = package == ClientBitness::k64 ? ClientBitness::k32 : ClientBitness::k64;
    if (!testkit::Has64BitWindows())
        GTEST_SKIP() << "no 64-bit side on this Windows";
#ifndef _WIN64
    if (package != testkit::kOwnClient)
        GTEST_SKIP() << "the 32-bit build makes no 64-bit package";
#endif
    NotesInstallation own(kNotesIni, false, package);  // takes any record of the package's own client away
    NotesInstallation notes(kNotesIni, true, client);
    ASSERT_TRUE(NotesInstallation::InstalledProducts(UpgradeCodeOf(package)).empty()) << "left installed";
    EXPECT_EQ(static_cast<int>(ERROR_INSTALL_FAILURE), notes.Msiexec("/i \"" + PackageFor(package) + "\""));
    // Windows logs the launch condition's message; Wine's installer logs only that it failed.
    if (!testkit::RunningOnWine()) {
        EXPECT_NE(std::string::npos, notes.LastLog().find(Refusal(package, notes.Folder()))) << notes.LastLog();
    }
    EXPECT_EQ(kNotesIni, notes.NotesIni());
    for (const char *f : {"Tolvik.dll", "TolvikM.dll", "Peglar.exe"})
        EXPECT_FALSE(FileExists(notes.File(f))) << f;
    EXPECT_EQ("", testkit::HklmValue("SOFTWARE\\Morvath\\Sentrio", "NotesIni", package));
    EXPECT_TRUE(NotesInstallation::InstalledProducts(UpgradeCodeOf(package)).empty());
}

INSTANTIATE_TEST_SUITE_P(Packages, OtherBitnessClient, testing::Values(ClientBitness::k64, ClientBitness::k32),
                         [](const testing::TestParamInfo<ClientBitness> &info) {
                             return std::string(info.param == ClientBitness::k64 ? "x64" : "x86");
                         });

}  // namespace
