// This build's package (Sentrio-x86.msi from the 32-bit build, Sentrio-x64.msi from the 64-bit
// one) run by msiexec against a stand-in Notes installation of its own bitness, as that client
// installs: the files land in the Notes
// program folder (found in the registry where the client records it, or given as NOTESDIR), the
// console in a folder of its own with its shortcut; Tolvik and TolvikM are added to the lists of
// notes.ini and taken out again at uninstallation, which leaves notes.ini byte for byte as it was;
// a newer package upgrades in place; without a Notes folder nothing is installed.
#include <gtest/gtest.h>

#include <string>

#include "notes_installation.h"
#include "testkit.h"

namespace {

using testkit::FileExists;
using testkit::NotesInstallation;

#ifdef _WIN64
const char kUpgradeCode[] = SENTRIO_X64_UPGRADE_CODE;
#else
const char kUpgradeCode[] = SENTRIO_X86_UPGRADE_CODE;
#endif
const char kClientFiles[][16] = {"Tolvik.dll", "TolvikM.dll", "Braxial.dll", "Ostrel.dll", "Peglar.exe", "Sentrio.CHM"};
const char kConsoleFiles[][16] = {"Arbolin.exe", "ArbolinCmd.exe", "Braxial.dll", "Ostrel.dll", "Sentrio.CHM"};

// As the Notes client writes it: CRLF lines, no blanks, another extension and add-in listed.
const char kNotesIni[] =
    "[Notes]\r\n"
    "Directory=C:\\Notes\\Data\r\n"
    "KeyFileName=user.id\r\n"
    "EXTMGR_ADDINS=nextmngr.dll\r\n"
    "AddInMenus=otheraddin.dll\r\n"
    "WinNTIconPath=C:\\Notes\\Data\\W32\r\n";

std::string Package(const char *name = SENTRIO_MSI_NAME)
{
    return "\"" + testkit::ExeDir() + name + "\"";
}

std::string ConsoleFolder()
{
    return NotesInstallation::ProgramFiles() + "\\Morvath Sentrio\\";
}

const char kShortcut[] = "\\Morvath Sentrio\\Key Storage Device Manager.lnk";

// The console's shortcut in the Start menu of all users. Wine's installer puts the shortcuts of a
// per-machine package into the installing user's Start menu.
bool ShortcutThere()
{
    if (FileExists(NotesInstallation::CommonPrograms() + kShortcut))
        return true;
    return testkit::RunningOnWine() && FileExists(NotesInstallation::UserPrograms() + kShortcut);
}

class Installer : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(NotesInstallation::InstalledProducts(kUpgradeCode).empty()) << "left installed"; }
    void TearDown() override
    {
        // A failed test leaves nothing installed for the next one.
        for (const NotesInstallation::Product &p : NotesInstallation::InstalledProducts(kUpgradeCode))
            testkit::RunProcess("msiexec /x " + p.code + " /qn", 120000);
    }
    std::string Ini(const NotesInstallation &notes, const char *key)
    {
        char value[256] = "";
        GetPrivateProfileStringA("Notes", key, "<absent>", value, sizeof value, notes.File("notes.ini").c_str());
        return value;
    }
};

TEST_F(Installer, InstallsBesideTheRecordedClientRegistersAndUninstallsToTheSameNotesIni)
{
    NotesInstallation notes(kNotesIni, true);
    std::string clientHost = testkit::ReadFileBytes(notes.File("notes.exe"));
    std::string clientLibrary = testkit::ReadFileBytes(notes.File("nnotes.dll"));
    ASSERT_FALSE(clientHost.empty() || clientLibrary.empty());
    ASSERT_EQ(0, notes.Msiexec("/i " + Package())) << notes.LastLog();
    for (const char *f : kClientFiles)
        EXPECT_TRUE(FileExists(notes.File(f))) << f;
    for (const char *f : kConsoleFiles)
        EXPECT_TRUE(FileExists(ConsoleFolder() + f)) << f;
    EXPECT_TRUE(ShortcutThere());
    EXPECT_EQ("nextmngr.dll,Tolvik.dll", Ini(notes, "EXTMGR_ADDINS"));
    EXPECT_EQ("otheraddin.dll,TolvikM.dll", Ini(notes, "AddInMenus"));
    EXPECT_EQ(notes.File("notes.ini"), testkit::HklmValue("SOFTWARE\\Morvath\\Sentrio", "NotesIni", testkit::kOwnClient));
#ifdef _WIN64
    // The 64-bit package writes the native view only.
    EXPECT_EQ("", testkit::HklmValue("SOFTWARE\\Morvath\\Sentrio", "NotesIni", testkit::ClientBitness::k32));
#endif
    ASSERT_EQ(1u, NotesInstallation::InstalledProducts(kUpgradeCode).size());

    ASSERT_EQ(0, notes.Msiexec("/x " + Package())) << notes.LastLog();
    EXPECT_EQ(kNotesIni, notes.NotesIni());
    for (const char *f : kClientFiles)
        EXPECT_FALSE(FileExists(notes.File(f))) << f;
    for (const char *f : kConsoleFiles)
        EXPECT_FALSE(FileExists(ConsoleFolder() + f)) << f;
    // The client's own files stay as they were.
    EXPECT_EQ(clientHost, testkit::ReadFileBytes(notes.File("notes.exe")));
    EXPECT_EQ(clientLibrary, testkit::ReadFileBytes(notes.File("nnotes.dll")));
    EXPECT_FALSE(ShortcutThere());
    EXPECT_EQ("", testkit::HklmValue("SOFTWARE\\Morvath\\Sentrio", "NotesIni", testkit::kOwnClient));
    EXPECT_TRUE(NotesInstallation::InstalledProducts(kUpgradeCode).empty());
}

TEST_F(Installer, NotesFolderAndNotesIniGivenAsPropertiesAreUsedAndKeptForTheUninstallation)
{
    NotesInstallation notes(kNotesIni, false);
    testkit::TempDir data;
    std::string ini = data.file("notes.ini");
    ASSERT_TRUE(testkit::WriteFileBytes(ini, kNotesIni));
    ASSERT_EQ(0, notes.Msiexec("/i " + Package() + " NOTESDIR=\"" + notes.FolderPath() + "\" NOTESINI=\"" + ini + "\""))
        << notes.LastLog();
    EXPECT_TRUE(FileExists(notes.File("Tolvik.dll")));
    EXPECT_EQ(std::string(kNotesIni), notes.NotesIni()) << "the notes.ini beside the client was not the one named";
    char value[256] = "";
    GetPrivateProfileStringA("Notes", "EXTMGR_ADDINS", "", value, sizeof value, ini.c_str());
    EXPECT_STREQ("nextmngr.dll,Tolvik.dll", value);
    // The uninstallation is given no properties, as a group policy removal is not.
    ASSERT_EQ(0, notes.Msiexec("/x " + Package())) << notes.LastLog();
    EXPECT_EQ(kNotesIni, testkit::ReadFileBytes(ini));
    EXPECT_FALSE(FileExists(notes.File("Tolvik.dll")));
}

TEST_F(Installer, ANotesFolderGivenOnTheCommandLineWinsOverTheClientsRecord)
{
    NotesInstallation notes(kNotesIni, true);
    testkit::TempDir other;
    ASSERT_TRUE(testkit::WriteFileBytes(other.file("notes.ini"), kNotesIni));
    ASSERT_EQ(0, notes.Msiexec("/i " + Package() + " NOTESDIR=\"" + other.path() + "\"")) << notes.LastLog();
    EXPECT_TRUE(FileExists(other.file("Tolvik.dll")));
    EXPECT_FALSE(FileExists(notes.File("Tolvik.dll")));
    EXPECT_EQ(kNotesIni, notes.NotesIni());
    ASSERT_EQ(0, notes.Msiexec("/x " + Package())) << notes.LastLog();
    EXPECT_EQ(kNotesIni, testkit::ReadFileBytes(other.file("notes.ini")));
    EXPECT_FALSE(FileExists(other.file("Tolvik.dll")));
}

TEST_F(Installer, WithoutANotesFolderNothingIsInstalledAndNotesIniIsUntouched)
{
    NotesInstallation notes(kNotesIni, false);
    EXPECT_EQ(static_cast<int>(ERROR_INSTALL_FAILURE), notes.Msiexec("/i " + Package()));
    // Windows logs the launch condition's message; Wine's installer logs only that it failed.
    if (!testkit::RunningOnWine()) {
        EXPECT_NE(std::string::npos, notes.LastLog().find("The Notes program directory was not found")) << notes.LastLog();
    }
    EXPECT_EQ(kNotesIni, notes.NotesIni());
    EXPECT_FALSE(FileExists(notes.File("Tolvik.dll")));
    EXPECT_FALSE(FileExists(ConsoleFolder() + "Arbolin.exe"));
    EXPECT_TRUE(NotesInstallation::InstalledProducts(kUpgradeCode).empty());
}

TEST_F(Installer, ANewerPackageUpgradesInPlaceAndRegistersOnce)
{
    NotesInstallation notes(kNotesIni, true);
    ASSERT_EQ(0, notes.Msiexec("/i " + Package())) << notes.LastLog();
    std::string installed = NotesInstallation::InstalledProducts(kUpgradeCode).at(0).version;
    ASSERT_EQ(0, notes.Msiexec("/i " + Package(SENTRIO_MSI_NEXT_NAME))) << notes.LastLog();
    std::vector<NotesInstallation::Product> products = NotesInstallation::InstalledProducts(kUpgradeCode);
    ASSERT_EQ(1u, products.size());
    EXPECT_NE(installed, products[0].version);
    EXPECT_EQ("nextmngr.dll,Tolvik.dll", Ini(notes, "EXTMGR_ADDINS"));
    EXPECT_EQ("otheraddin.dll,TolvikM.dll", Ini(notes, "AddInMenus"));
    for (const char *f : kClientFiles)
        EXPECT_TRUE(FileExists(notes.File(f))) << f;
    ASSERT_EQ(0, notes.Msiexec("/x " + Package(SENTRIO_MSI_NEXT_NAME))) << notes.LastLog();
    EXPECT_EQ(kNotesIni, notes.NotesIni());
    EXPECT_TRUE(NotesInstallation::InstalledProducts(kUpgradeCode).empty());
}

}  // namespace
