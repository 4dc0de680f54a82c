// Texts, captions and the DPI scale of the console.
#include "admin_ui.h"

#include <cstdarg>

#include "cut_format.h"
#include "text_ids.h"
#include "texts.h"

const char kAdminLog[] = "Sentrio Admin";

namespace {
const char kMakerName[] = "Morvath";
}

std::string Text(UINT id)
{
    char text[kSharedTextSize];
    LoadResString(id, text, sizeof text);
    return text;
}

std::string TextF(UINT id, ...)
{
    char format[kSharedTextSize], text[kSharedTextSize];
    LoadResString(id, format, sizeof format);
    va_list args;
    va_start(args, id);
    VFormatCut(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string ProductCaption()
{
    return TextF(IDS_PRODUCT_CAPTION, kMakerName);
}

std::string StandardCaption()
{
    return ProductCaption() + " - " + Text(IDS_KSD_MANAGER);
}

int ScreenDpi()
{
    static int dpi = 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen != nullptr)
            ReleaseDC(nullptr, screen);
        if (dpi <= 0)
            dpi = 96;
    }
    return dpi;
}

int Scale(int pixels)
{
    return MulDiv(pixels, ScreenDpi(), 96);
}
