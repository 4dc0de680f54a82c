// Numbered texts as strings.
#include "text_strings.h"

#include <cstdarg>

#include "cut_format.h"
#include "text_ids.h"
#include "texts.h"

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
