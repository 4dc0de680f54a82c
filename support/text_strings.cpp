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
    // Through the checked path: a text whose placeholders do not take the arguments the own text
    // takes is never used as a format.
    char text[kSharedTextSize];
    va_list args;
    va_start(args, id);
    VFormatResString(id, text, sizeof text, args);
    va_end(args);
    return text;
}

std::string ProductCaption()
{
    return TextF(IDS_PRODUCT_CAPTION, kMakerName);
}
