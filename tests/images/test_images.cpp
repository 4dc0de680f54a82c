// The shipped images as Windows sees them: every file of deliverables.txt carries the product's
// version resource under its own name; every one that shows dialogs carries a manifest naming
// common controls 6 (the console also DPI awareness), and a DLL's dialogs are made with those
// controls even in a host program that does not ask for them (this test program does not).
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dialog_flow.h"
#include "module_activation.h"
#include "sentrio_version.h"
#include "testkit.h"

namespace {

std::vector<std::string> Deliverables()
{
    std::vector<std::string> files;
    std::ifstream list(testkit::ExeDir() + "..\\deliverables.txt");
    std::string line;
    while (std::getline(list, line)) {
        std::istringstream words(line);
        std::string file;
        if (words >> file)
            files.push_back(file);
    }
    return files;
}

std::string VersionString(const std::vector<char> &info, const char *name)
{
    char *value = nullptr;
    UINT size = 0;
    std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void **>(&value), &size) || size == 0)
        return "";
    return std::string(value);
}

TEST(Images, EveryShippedFileCarriesTheProductVersionUnderItsOwnName)
{
    std::vector<std::string> files = Deliverables();
    ASSERT_GE(files.size(), 6u) << "deliverables.txt lists the six deliverables";
    for (const std::string &file : files) {
        SCOPED_TRACE(file);
        std::string path = testkit::ExeDir() + file;
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
        ASSERT_NE(0u, size) << "no version resource, error " << GetLastError();
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
        VS_FIXEDFILEINFO *fixed = nullptr;
        UINT fixedSize = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &fixedSize));
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(SENTRIO_VERSION_MINOR, SENTRIO_VERSION_MAJOR)), fixed->dwFileVersionMS);
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(SENTRIO_VERSION_TWEAK, SENTRIO_VERSION_PATCH)), fixed->dwFileVersionLS);
        EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
        bool program = file.size() > 4 && file.compare(file.size() - 4, 4, ".exe") == 0;
        EXPECT_EQ(static_cast<DWORD>(program ? VFT_APP : VFT_DLL), fixed->dwFileType);
        EXPECT_EQ(file, VersionString(info, "OriginalFilename"));
        EXPECT_EQ(SENTRIO_VERSION_TEXT, VersionString(info, "FileVersion"));
        EXPECT_EQ(SENTRIO_VERSION_TEXT, VersionString(info, "ProductVersion"));
        EXPECT_EQ(SENTRIO_PRODUCT_NAME, VersionString(info, "ProductName"));
        EXPECT_EQ(SENTRIO_COMPANY_NAME, VersionString(info, "CompanyName"));
        EXPECT_FALSE(VersionString(info, "FileDescription").empty());
    }
}

std::string Manifest(const std::string &file, WORD id)
{
    HMODULE image = LoadLibraryExA((testkit::ExeDir() + file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr)
        return "";
    std::string text;
    HRSRC resource = FindResourceA(image, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(24));
    HGLOBAL loaded = resource != nullptr ? LoadResource(image, resource) : nullptr;
    if (loaded != nullptr)
        text.assign(static_cast<const char *>(LockResource(loaded)), SizeofResource(image, resource));
    FreeLibrary(image);
    return text;
}

struct ManifestCase {
    const char *file;
    WORD id;  // 1: a program's own; 2: a DLL's, for the activation context of its dialogs
    bool dpiAware;
};

// Every deliverable that shows a window or a box (Peglar shows nothing).
const ManifestCase kManifests[] = {
    {"Arbolin.exe", 1, true}, {"Tolvik.dll", 2, false}, {"TolvikM.dll", 2, false},
    {"Braxial.dll", 2, false}, {"Ostrel.dll", 2, false},
};

TEST(Images, EveryImageWithDialogsNamesCommonControls6)
{
    for (const ManifestCase &c : kManifests) {
        SCOPED_TRACE(c.file);
        std::string manifest = Manifest(c.file, c.id);
        ASSERT_FALSE(manifest.empty()) << "no manifest resource " << c.id;
        size_t controls = manifest.find("name=\"Microsoft.Windows.Common-Controls\"");
        ASSERT_NE(std::string::npos, controls);
        EXPECT_EQ(controls + 41, manifest.find("version=\"6.0.0.0\"", controls));
        EXPECT_EQ(c.dpiAware, manifest.find(">true</dpiAware>") != std::string::npos);
    }
}

// Whether a button is of common controls 6: only those answer BCM_GETIDEALSIZE.
bool VersionSixButton(HWND button)
{
    SIZE size = {};
    return button != nullptr && SendMessageA(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&size)) != FALSE;
}

HWND MakeButton()
{
    return CreateWindowA("BUTTON", "Probe", WS_POPUP | BS_PUSHBUTTON, 0, 0, 80, 24, nullptr, nullptr, nullptr, nullptr);
}

TEST(DllDialogs, WithoutTheDllsContextAButtonOfThisProgramIsTheOldKind)
{
    // The control of the probe: this program has no manifest, so its buttons are the old kind.
    ModuleActivation none(GetModuleHandleA(nullptr));
    EXPECT_FALSE(none.active());
    HWND button = MakeButton();
    ASSERT_NE(nullptr, button);
    EXPECT_FALSE(VersionSixButton(button));
    DestroyWindow(button);
}

TEST(DllDialogs, InsideADllsContextButtonsAreOfCommonControls6)
{
    HMODULE ostrel = LoadLibraryA((testkit::ExeDir() + "Ostrel.dll").c_str());
    ASSERT_NE(nullptr, ostrel);
    HWND button = nullptr;
    {
        SetLastError(0xdeadbeef);
        ModuleActivation activation(ostrel);
        EXPECT_TRUE(activation.active());
        EXPECT_EQ(0xdeadbeefu, GetLastError()) << "the activation keeps the caller's last error";
        button = MakeButton();
    }
    EXPECT_TRUE(VersionSixButton(button));
    DestroyWindow(button);
    FreeLibrary(ostrel);
}

typedef int(__stdcall *AboutEntry)(HINSTANCE, HINSTANCE, HWND, UINT, const char *const *, const char *, UINT,
                                   const char *, const char *, UINT, UINT, UINT, const char *, UINT);

TEST(DllDialogs, TheAboutBoxOfOstrelIsMadeWithCommonControls6)
{
    HMODULE ostrel = LoadLibraryA((testkit::ExeDir() + "Ostrel.dll").c_str());
    ASSERT_NE(nullptr, ostrel);
    AboutEntry about = reinterpret_cast<AboutEntry>(reinterpret_cast<void *>(GetProcAddress(ostrel, "AboutDialog")));
    ASSERT_NE(nullptr, about);
    const char *modules[] = {"Ostrel.dll", nullptr};
    bool sixOk = false;
    testkit::FlowOutcome outcome = testkit::RunDialogFlow(
        [&] {
            return about(nullptr, nullptr, nullptr, 0, modules, "Sentrio", 0, "", "", 0, 0, 0, "Morvath", 1) == IDOK;
        },
        "About Sentrio",
        [&](HWND dialog) {
            sixOk = VersionSixButton(GetDlgItem(dialog, IDOK));
            testkit::ClickDialogButton(dialog, IDOK);
        });
    EXPECT_TRUE(outcome.shown);
    EXPECT_TRUE(outcome.finished);
    EXPECT_TRUE(sixOk) << "the OK button is not of common controls 6";
    FreeLibrary(ostrel);
}

}  // namespace
