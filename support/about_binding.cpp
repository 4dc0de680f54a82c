// Binding of Ostrel.dll for the About command, and the command itself.
#include "about_binding.h"

#include "cut_format.h"
#include "library_loader.h"
#include "log.h"
#include "module_version.h"
#include "sentrio_maker.h"
#include "sentrio_version.h"
#include "text_ids.h"
#include "texts.h"

AboutEntries g_about = {};

namespace {

const char kLogModule[] = "Sentrio";

template <typename Fn>
bool Resolve(HMODULE library, const char *name, Fn *entry)
{
    *entry = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(library, name)));
    return *entry != nullptr;
}

// The plain box shown when Ostrel.dll cannot be used: product, version and copyright of the
// calling module, under the product caption.
void ShowPlainAbout(HINSTANCE instance, HWND parent)
{
    char productName[kVersionTextSize], productVersion[kVersionTextSize];
    char copyright[kVersionTextSize];
    GetModuleVersionInfo(instance, nullptr, nullptr, nullptr, nullptr, productName,
                         productVersion, copyright);
    char text[3 * kVersionTextSize + 8];
    FormatCut(text, sizeof text, "%s %s\n%s", productName, productVersion, copyright);
    char caption[kSharedTextSize];
    FormatResString(IDS_PRODUCT_CAPTION, SENTRIO_COMPANY_NAME, caption, sizeof caption);
    MessageBoxA(parent, text, caption, MB_OK | MB_ICONINFORMATION);
}

}  // namespace

bool BindAboutLibrary(const char *libraryName, HMODULE *module)
{
    if (module != nullptr)
        *module = nullptr;
    HMODULE library = LoadProductLibrary(libraryName);
    if (library == nullptr) {
        DWORD error = GetLastError();
        LogMessage(kLogError, kLogModule, "BindAbout - cannot load %s (%lu)", libraryName, error);
        return false;
    }
    AboutEntries entries = {};
    bool ok = Resolve(library, "AboutDialog", &entries.AboutDialog) &&
              Resolve(library, "DeleteConfigKey", &entries.DeleteConfigKey) &&
              Resolve(library, "ReadConfigKey", &entries.ReadConfigKey) &&
              Resolve(library, "WriteConfigKey", &entries.WriteConfigKey) &&
              Resolve(library, "CheckForUpdates", &entries.CheckForUpdates) &&
              Resolve(library, "Associate", &entries.Associate) &&
              Resolve(library, "SetRegistryKey", &entries.SetRegistryKey) &&
              Resolve(library, "UnAssociate", &entries.UnAssociate);
    if (!ok) {
        DWORD error = GetLastError();
        FreeLibrary(library);
        g_about = AboutEntries{};
        LogMessage(kLogError, kLogModule, "BindAbout - %s lacks an entry (%lu)", libraryName, error);
        SetLastError(error);
        return false;
    }
    g_about = entries;
    if (module != nullptr)
        *module = library;
    return true;
}

bool BindAbout(HMODULE *module)
{
    return BindAboutLibrary("Ostrel.dll", module);
}

int ShowAbout(HINSTANCE resourceModule, HINSTANCE versionModule, HWND parent, UINT iconId,
              const char *const *modules, const char *productTitle, UINT reservedTitle,
              const char *webAddress, const char *supportAddress, UINT bitmapId,
              UINT reservedContactA, UINT reservedContactB, const char *makerName, UINT modal)
{
    if (g_about.AboutDialog == nullptr) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return -1;
    }
    return g_about.AboutDialog(resourceModule, versionModule, parent, iconId, modules,
                               productTitle, reservedTitle, webAddress, supportAddress, bitmapId,
                               reservedContactA, reservedContactB, makerName, modal);
}

int RunAboutCommandWith(const char *libraryName, HINSTANCE instance, HWND parent,
                        const char *const *modules)
{
    LogMessage(kLogStep, kLogModule, "RunAboutCommand - Begin");
    HMODULE library = nullptr;
    int result = 0;
    if (BindAboutLibrary(libraryName, &library)) {
        result = ShowAbout(instance, instance, parent, SENTRIO_ABOUT_ICON, modules,
                           SENTRIO_PRODUCT_NAME, 0, SENTRIO_MAKER_WEB_ADDRESS,
                           SENTRIO_MAKER_SUPPORT_ADDRESS, SENTRIO_ABOUT_BITMAP, 255, 0,
                           SENTRIO_COMPANY_NAME, 1);
        FreeLibrary(library);
        g_about = AboutEntries{};
        if (result == -1)
            ShowPlainAbout(instance, parent);
    } else {
        ShowPlainAbout(instance, parent);
    }
    return result == -1 ? 0 : result;
}

int RunAboutCommand(HINSTANCE instance, HWND parent, const char *const *modules)
{
    return RunAboutCommandWith("Ostrel.dll", instance, parent, modules);
}
