// TolvikM.dll: the Notes menu add-in. Puts the product's entry into the client's Actions menu and
// hands the user's choice to Tolvik's SentrioTools, which shows the Key commands.
#include <windows.h>

#include <type_traits>

#include "notes_api.h"
#include "text_ids.h"
#include "texts.h"
#include "tools_link.h"
#include "module_activation.h"

namespace {

constexpr int kLabelSize = 512;
const char kMaker[] = "Morvath";

CToolsLink g_link;

// The two load failures of attach: an error box owned by the focused window, product caption.
void ShowLoadFailure(UINT messageId)
{
    char caption[256];
    char text[kSharedTextSize];
    FormatResString(IDS_PRODUCT_CAPTION, kMaker, caption, sizeof caption);
    LoadResString(messageId, text, sizeof text);
    ModuleActivation activation;  // the DLL's dialogs in common controls 6
    MessageBoxA(GetFocus(), text, caption, MB_OK | MB_ICONERROR);
}

BOOL Attach(HINSTANCE instance)
{
    LoadLanguage(nullptr, instance);
    switch (g_link.Attach()) {
    case ToolsLinkFailure::LibraryNotLoaded:
        ShowLoadFailure(IDS_ERROR_LOADING_TOLVIK);
        return FALSE;
    case ToolsLinkFailure::EntryNotFound:
        ShowLoadFailure(IDS_TOOLS_ENTRY_NOT_FOUND);
        return FALSE;
    case ToolsLinkFailure::None:
        break;
    }
    return TRUE;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        return Attach(instance);
    case DLL_PROCESS_DETACH:
        // At process exit (reserved set) the loader frees every module itself; only an unload by
        // FreeLibrary releases what Attach loaded.
        if (reserved == nullptr)
            g_link.Detach();
        return TRUE;
    default:
        return TRUE;
    }
}

extern "C" NAMRESULT LNCALLBACK SentrioMenuProc(WORD message, void *record)
{
    switch (message) {
    case NAMM_INIT: {
        NAM_INIT_INFO *info = static_cast<NAM_INIT_INFO *>(record);
        if (info == nullptr)
            return NAM_INIT_STOP;
        info->wMenuID = 0;
        char label[kLabelSize];
        FormatResString(IDS_TOOLS_MENU, kMaker, label, sizeof label);
        CopyMenuLabel(label, info->MenuItemName, sizeof info->MenuItemName);
        return NAM_INIT_STOP;
    }
    case NAMM_COMMAND: {
        const NAM_COMMAND_INFO *info = static_cast<const NAM_COMMAND_INFO *>(record);
        if (info != nullptr && info->wMenuID == 0)
            g_link.OpenTools(info->hNotesWnd);
        return NAM_NOERROR;
    }
    default:
        return NAM_NOERROR;
    }
}

static_assert(std::is_same<decltype(&SentrioMenuProc), ADDIN_MENU_PROC>::value,
              "SentrioMenuProc has the client's menu procedure type");
