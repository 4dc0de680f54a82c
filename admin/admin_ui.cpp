// Texts, captions and the DPI scale of the console.
#include "admin_ui.h"


#include "text_ids.h"
#include "texts.h"

const char kAdminLog[] = "Sentrio Admin";

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
