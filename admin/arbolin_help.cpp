// F1 help and the context-help pop-ups of the console.
#include "arbolin_help.h"

#include "admin_ui.h"
#include "log.h"

const char ArbolinHelp::kPopupFont[] = "MS Sans Serif, 10";

ArbolinHelp::ArbolinHelp() : entry(HtmlHelpA) {}

std::string ArbolinHelp::HelpFileBeside(const char *program, const std::string &fileName)
{
    std::string dir(program);
    std::size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    std::string joined = dir + fileName;
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(joined.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full) : joined;
}

void ArbolinHelp::ShowContext(HWND caller, DWORD context)
{
    helpWindow = entry(caller, helpFile.c_str(), HH_HELP_CONTEXT, context);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::OnMessageHandler - help context %lu <%p>",
               static_cast<unsigned long>(context), static_cast<void *>(helpWindow));
}

HH_POPUP ArbolinHelp::PopupFor(DWORD context, POINT where)
{
    HH_POPUP popup = {};
    popup.cbStruct = sizeof popup;
    popup.hinst = nullptr;
    popup.idString = context;
    popup.pszText = nullptr;
    popup.pt = where;
    popup.clrForeground = static_cast<COLORREF>(-1);
    popup.clrBackground = static_cast<COLORREF>(-1);
    popup.rcMargins = {10, 10, 10, 10};
    popup.pszFont = const_cast<char *>(kPopupFont);
    return popup;
}

bool ArbolinHelp::ApplicationEventsHelp(UINT command, DWORD_PTR data, POINT where, bool *callHelp)
{
    if (helpWindow != nullptr && IsWindow(helpWindow)) {
        *callHelp = false;
        return true;
    }
    if (command == kHelpContextPopupCommand) {
        HH_POPUP popup = PopupFor(static_cast<DWORD>(data), where);
        std::string topic = helpFile + "::/Cshelp.txt";
        entry(nullptr, topic.c_str(), HH_DISPLAY_TEXT_POPUP, reinterpret_cast<DWORD_PTR>(&popup));
        *callHelp = false;
    }
    return true;
}
