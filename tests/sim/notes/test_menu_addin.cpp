// A tiny menu add-in for the tests of the Notes client host (never shipped): two entries in the
// Actions menu, "Test &One" (id 7) and "Test &Two" (id 8). What it sees goes to the file
// NSIM_TEST_MENU_LOG names:
//   init number=N start=S / menu item <label> (each item of the Actions menu when it opens) /
//   command id=I parent=<class of the window's parent> / term
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "notes_api.h"

namespace {

void Log(const char *format, ...)
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("NSIM_TEST_MENU_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    FILE *f = std::fopen(path, "ab");
    if (f == nullptr)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fputc('\n', f);
    std::fclose(f);
}

}  // namespace

extern "C" NAMRESULT LNCALLBACK TestMenuProc(WORD message, void *param)
{
    switch (message) {
    case NAMM_INIT: {
        NAM_INIT_INFO *info = static_cast<NAM_INIT_INFO *>(param);
        Log("init number=%u start=%u", static_cast<unsigned>(info->wMenuItemNumber),
            static_cast<unsigned>(info->wStartingID));
        bool first = info->wMenuItemNumber == 0;
        info->wMenuID = first ? 7 : 8;
        std::strcpy(info->MenuItemName, first ? "Test &One" : "Test &Two");
        return first ? NAM_INIT_CONTINUE : NAM_INIT_STOP;
    }
    case NAMM_INITMENU: {
        NAM_INITMENU_INFO *info = static_cast<NAM_INITMENU_INFO *>(param);
        int count = GetMenuItemCount(info->hMenu);
        for (int i = 0; i < count; ++i) {
            char text[128] = "";
            GetMenuStringA(info->hMenu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            Log("menu item <%s>", text);
        }
        return NAM_NOERROR;
    }
    case NAMM_COMMAND: {
        NAM_COMMAND_INFO *info = static_cast<NAM_COMMAND_INFO *>(param);
        char parentClass[64] = "";
        GetClassNameA(GetParent(info->hNotesWnd), parentClass, sizeof parentClass);
        Log("command id=%u parent=<%s>", static_cast<unsigned>(info->wMenuID), parentClass);
        return NAM_NOERROR;
    }
    case NAMM_TERM:
        Log("term");
        return NAM_NOERROR;
    }
    return NAM_NOERROR;
}
