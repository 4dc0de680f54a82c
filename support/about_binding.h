// The caller's side of the About box: Ostrel.dll loaded for one About command, its entry table,
// and the command both programs run.
#pragma once

#include <windows.h>

// Entries of Ostrel.dll. Only AboutDialog is called by the product; the other seven are resolved
// so that an incomplete Ostrel.dll is refused as a whole.
extern "C" {
// Shows the modal About box. `resourceModule` supplies icon `iconId` and bitmap `bitmapId` (Ostrel
// falls back to its own copies); `versionModule` supplies the product version. `modules` is a
// null-terminated list of module file names listed with their versions. The reserved values are
// passed as the product passes them (0; 255 and 0); `modal` is 1. Returns IDOK once closed, -1
// with the last error when the box could not be shown.
typedef int(__stdcall *AboutDialogFn)(HINSTANCE resourceModule, HINSTANCE versionModule,
                                      HWND parent, UINT iconId, const char *const *modules,
                                      const char *productTitle, UINT reservedTitle,
                                      const char *webAddress, const char *supportAddress,
                                      UINT bitmapId, UINT reservedContactA, UINT reservedContactB,
                                      const char *makerName, UINT modal);
// Configuration values (strings) under HKEY_CURRENT_USER\Software\Morvath\Sentrio.
typedef BOOL(__stdcall *DeleteConfigKeyFn)(const char *name);
typedef BOOL(__stdcall *ReadConfigKeyFn)(const char *name, char *value, DWORD size);
typedef BOOL(__stdcall *WriteConfigKeyFn)(const char *name, const char *value);
// Not supported by this product: FALSE with ERROR_CALL_NOT_IMPLEMENTED.
typedef BOOL(__stdcall *CheckForUpdatesFn)(HWND parent);
typedef BOOL(__stdcall *AssociateFn)(const char *extension, const char *command);
typedef BOOL(__stdcall *SetRegistryKeyFn)(const char *keyName);
typedef BOOL(__stdcall *UnAssociateFn)(const char *extension);
}

// The entry table, in the order BindAbout resolves it.
struct AboutEntries {
    AboutDialogFn AboutDialog;
    DeleteConfigKeyFn DeleteConfigKey;
    ReadConfigKeyFn ReadConfigKey;
    WriteConfigKeyFn WriteConfigKey;
    CheckForUpdatesFn CheckForUpdates;
    AssociateFn Associate;
    SetRegistryKeyFn SetRegistryKey;
    UnAssociateFn UnAssociate;
};

// The process's table, filled by BindAbout and empty otherwise.
extern AboutEntries g_about;

// Loads "Ostrel.dll" (LoadProductLibrary) and resolves the eight entries in order. When one is
// missing the library is freed, the whole table cleared, and false returned with the last error
// of the failed lookup. On success *module holds the library, which the caller frees.
bool BindAbout(HMODULE *module);
// The same from a named library file (tests bind stand-ins through it).
bool BindAboutLibrary(const char *libraryName, HMODULE *module);

// Calls AboutDialog when bound; -1 with ERROR_INVALID_FUNCTION otherwise.
int ShowAbout(HINSTANCE resourceModule, HINSTANCE versionModule, HWND parent, UINT iconId,
              const char *const *modules, const char *productTitle, UINT reservedTitle,
              const char *webAddress, const char *supportAddress, UINT bitmapId,
              UINT reservedContactA, UINT reservedContactB, const char *makerName, UINT modal);

// The About command of Arbolin and Tolvik: binds Ostrel.dll, shows the About box of `instance`
// (the calling module) over `parent` with the given module list, and frees the library. Without a
// usable Ostrel.dll it shows a plain message box with the product caption and the product name,
// version and copyright read from `instance`'s version resource. Returns AboutDialog's result, or
// 0 when the plain box was shown.
int RunAboutCommand(HINSTANCE instance, HWND parent, const char *const *modules);
// The same with the library named (tests).
int RunAboutCommandWith(const char *libraryName, HINSTANCE instance, HWND parent,
                        const char *const *modules);
