// Ostrel.dll: the exported entries of the About box.
#include <windows.h>

#include <type_traits>

#include "about_binding.h"
#include "about_dialog.h"
#include "config_keys.h"

namespace {
HINSTANCE g_instance = nullptr;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" int __stdcall AboutDialog(HINSTANCE resourceModule, HINSTANCE versionModule,
                                     HWND parent, UINT iconId, const char *const *modules,
                                     const char *productTitle, UINT reservedTitle,
                                     const char *webAddress, const char *supportAddress,
                                     UINT bitmapId, UINT reservedContactA, UINT reservedContactB,
                                     const char *makerName, UINT modal)
{
    // Reserved values have no effect; the box is always modal to `parent`.
    (void)reservedTitle;
    (void)reservedContactA;
    (void)reservedContactB;
    (void)modal;
    if (parent != nullptr && !IsWindow(parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    TAboutDlg dialog;
    dialog.ownModule = g_instance;
    dialog.resourceModule = resourceModule;
    dialog.versionModule = versionModule;
    dialog.iconId = iconId;
    dialog.bitmapId = bitmapId;
    dialog.productTitle = productTitle != nullptr ? productTitle : "";
    dialog.webAddress = webAddress != nullptr ? webAddress : "";
    dialog.supportAddress = supportAddress != nullptr ? supportAddress : "";
    dialog.makerName = makerName != nullptr ? makerName : "";
    for (const char *const *name = modules; name != nullptr && *name != nullptr; ++name)
        dialog.modules.push_back(ReadAboutModule(*name));
    INT_PTR result = dialog.Show(parent);
    return result == IDOK ? IDOK : -1;
}

extern "C" BOOL __stdcall DeleteConfigKey(const char *name)
{
    return DeleteConfigValue(name);
}

extern "C" BOOL __stdcall ReadConfigKey(const char *name, char *value, DWORD size)
{
    return ReadConfigValue(name, value, size);
}

extern "C" BOOL __stdcall WriteConfigKey(const char *name, const char *value)
{
    return WriteConfigValue(name, value);
}

// Update checks, file associations and a different registry root are not part of this product:
// each says so instead of pretending it did something.
extern "C" BOOL __stdcall CheckForUpdates(HWND parent)
{
    (void)parent;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

extern "C" BOOL __stdcall Associate(const char *extension, const char *command)
{
    (void)extension;
    (void)command;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

extern "C" BOOL __stdcall SetRegistryKey(const char *keyName)
{
    (void)keyName;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

extern "C" BOOL __stdcall UnAssociate(const char *extension)
{
    (void)extension;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

// The exports have exactly the types the callers' table expects.
static_assert(std::is_same_v<decltype(&AboutDialog), AboutDialogFn>);
static_assert(std::is_same_v<decltype(&DeleteConfigKey), DeleteConfigKeyFn>);
static_assert(std::is_same_v<decltype(&ReadConfigKey), ReadConfigKeyFn>);
static_assert(std::is_same_v<decltype(&WriteConfigKey), WriteConfigKeyFn>);
static_assert(std::is_same_v<decltype(&CheckForUpdates), CheckForUpdatesFn>);
static_assert(std::is_same_v<decltype(&Associate), AssociateFn>);
static_assert(std::is_same_v<decltype(&SetRegistryKey), SetRegistryKeyFn>);
static_assert(std::is_same_v<decltype(&UnAssociate), UnAssociateFn>);
