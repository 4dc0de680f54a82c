// SentrioTools, the entry the menu add-in calls: the popup of the Key commands at the cursor, its
// texts and enabling, and the chosen command carried out on the calling (client's) thread.
#include <windows.h>

#include <type_traits>

#include "common_ui.h"
#include "key_session.h"
#include "log.h"
#include "logon_rules.h"
#include "logon_state.h"
#include "sentrio_tools_api.h"
#include "text_ids.h"
#include "tolvik_res.h"
#include "tools_commands.h"

extern "C" void WINAPI SentrioTools(HWND window);
static_assert(std::is_same<decltype(&SentrioTools), SENTRIO_TOOLS_PROC>::value,
              "SentrioTools has the type the menu add-in calls");

namespace {

struct ItemText {
    UINT id;
    UINT text;
};

const ItemText kItemTexts[] = {
    {IDM_TOOLS_CHANGE_PIN, IDS_MENU_CHANGE_PIN},   {IDM_TOOLS_CHANGE_BIO, IDS_MENU_CHANGE_BIO},
    {IDM_TOOLS_SAVE_ID_FILE, IDS_MENU_SAVE_ID_FILE}, {IDM_TOOLS_WORK_WITHOUT, IDS_MENU_WORK_WITHOUT_KSD},
    {IDM_TOOLS_WORK_WITH, IDS_MENU_WORK_WITH_KSD}, {IDM_TOOLS_HELP, IDS_MENU_HELP},
    {IDM_TOOLS_ABOUT, IDS_MENU_ABOUT},
};

void SetItemText(HMENU popup, UINT id, const std::string &text)
{
    ModifyMenuA(popup, id, MF_BYCOMMAND | MF_STRING, id, text.c_str());
}

void EnableItem(HMENU popup, UINT id, bool on)
{
    EnableMenuItem(popup, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
}

// The popup's texts and states for the moment it opens.
void PrepareTools(HMENU popup)
{
    SetItemText(popup, IDM_TOOLS_TITLE, ProductCaption());
    for (const ItemText &item : kItemTexts)
        SetItemText(popup, item.id, Text(item.text));
    ToolsOffer offer = ToolsMenuOffer(Session().State(), Session().Bound());
    for (UINT id : {IDM_TOOLS_CHANGE_PIN, IDM_TOOLS_SAVE_ID_FILE, IDM_TOOLS_WORK_WITHOUT, IDM_TOOLS_CHANGE_BIO})
        EnableItem(popup, id, offer.keyCommands);
    EnableItem(popup, IDM_TOOLS_WORK_WITH, offer.workWithKey);
    EnableItem(popup, IDM_TOOLS_HELP, true);
    EnableItem(popup, IDM_TOOLS_ABOUT, true);
    EnableItem(popup, IDM_TOOLS_TITLE, false);
    SetMenuDefaultItem(popup, IDM_TOOLS_TITLE, FALSE);
}

void RunCommand(UINT command, HWND window, HWND owner)
{
    switch (command) {
    case IDM_TOOLS_CHANGE_PIN:
        ChangePinCommand();
        break;
    case IDM_TOOLS_CHANGE_BIO:
        ChangeBioIdCommand(window);
        break;
    case IDM_TOOLS_SAVE_ID_FILE:
        SaveIdFileCommand(owner);
        break;
    case IDM_TOOLS_WORK_WITHOUT:
        WorkWithoutKeyCommand(owner);
        break;
    case IDM_TOOLS_WORK_WITH:
        WorkWithKeyCommand();
        break;
    case IDM_TOOLS_HELP:
        HelpCommand();
        break;
    case IDM_TOOLS_ABOUT:
        AboutCommand(window);
        break;
    default:
        break;  // nothing chosen, or the title
    }
}

}  // namespace

extern "C" void WINAPI SentrioTools(HWND window)
{
#ifdef _WIN64
    // A window handle is significant in its low 32 bits on 64-bit Windows too (32-bit processes
    // share it). A caller that holds it in a 32-bit integer (a LotusScript Long, say) may leave the
    // upper half of the argument undefined: the handle is rebuilt from the low half, sign-extended
    // as Windows extends handles.
    window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(reinterpret_cast<ULONG_PTR>(window) & 0xFFFFFFFFu)));
#endif
    LogonState &s = State();
    HMENU menu = LoadMenuA(s.instance, MAKEINTRESOURCEA(IDM_TOOLS));
    if (menu == nullptr) {
        LogMessage(kLogError, kLogModule, "SentrioTools : menu not loaded (%lu)", GetLastError());
        return;
    }
    HMENU popup = GetSubMenu(menu, 0);
    if (popup != nullptr) {
        PrepareTools(popup);
        HWND owner = GetParent(window);
        if (owner == nullptr)
            owner = window;  // a top-level window handed over owns the popup itself
        LogMessage(kLogStep, kLogModule, "SentrioTools : hWnd = %d", static_cast<int>(reinterpret_cast<INT_PTR>(owner)));
        POINT at = {};
        GetCursorPos(&at);
        UINT command = static_cast<UINT>(TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, at.x,
                                                        at.y, 0, owner, nullptr));
        LogMessage(kLogStep, kLogModule, "SentrioTools : wMenuID = %d", static_cast<int>(command));
        // Lets the owner's menu loop see the popup gone before a command's own windows open.
        PostMessageA(owner, WM_NULL, 0, 0);
        RunCommand(command, window, owner);
    }
    DestroyMenu(menu);
}
