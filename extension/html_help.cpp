// hhctrl.ocx bound by ordinal for the extension's help command.
#include "html_help.h"

#include "library_loader.h"

bool HtmlHelpLibrary::Bind()
{
    if (HtmlHelpA != nullptr)
        return true;
    if (module == nullptr)
        module = LoadProductLibrary("hhctrl.ocx");
    if (module == nullptr)
        return false;
    HtmlHelpA = reinterpret_cast<HtmlHelpAFn>(
        reinterpret_cast<void *>(GetProcAddress(module, MAKEINTRESOURCEA(kHtmlHelpAOrdinal))));
    return HtmlHelpA != nullptr;
}

HWND ShowHelpContext(const char *file, DWORD context)
{
    static HtmlHelpLibrary help;
    if (!help.Bind())
        return nullptr;
    return help.HtmlHelpA(nullptr, file, HtmlHelpLibrary::kHelpContext, context);
}
