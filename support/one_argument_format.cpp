// One-argument formatting of fetched texts: the format is checked before printf sees it.
#include "one_argument_format.h"

#include <cstring>

#include "cut_format.h"

namespace {

bool IsFlag(char c)
{
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

bool FormatTakesOneArgument(const char *format, OneArgument kind)
{
    if (format == nullptr)
        return true;
    int conversions = 0;
    for (const char *p = format; *p != 0; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        while (IsFlag(*p))
            ++p;
        // Width and precision as digits only; a long run of digits is refused (no printf is
        // asked for a field of millions of characters).
        int digits = 0;
        while (IsDigit(*p) && digits < 4) {
            ++p;
            ++digits;
        }
        if (IsDigit(*p))
            return false;
        if (*p == '.') {
            ++p;
            digits = 0;
            while (IsDigit(*p) && digits < 4) {
                ++p;
                ++digits;
            }
            if (IsDigit(*p))
                return false;
        }
        bool isShort = *p == 'h';
        if (isShort)
            ++p;
        char c = *p;
        bool integer = c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X' || c == 'o' || c == 'c';
        bool text = c == 's' && !isShort;
        if (kind == OneArgument::kInteger ? !integer : !text)
            return false;
        if (++conversions > 1)
            return false;
    }
    return true;
}

std::size_t FormatOneArgument(char *out, std::size_t size, const char *format, OneArgument kind,
                              int integer, const char *text)
{
    if (out == nullptr || size == 0)
        return 0;
    if (format == nullptr)
        format = "";
    if (!FormatTakesOneArgument(format, kind))
        return CopyCut(out, size, format);
    if (kind == OneArgument::kInteger)
        FormatCut(out, size, format, integer);
    else
        FormatCut(out, size, format, text != nullptr ? text : "");
    // The length of the text as it stands: a "%c" of 0 ends it early.
    return std::strlen(out);
}
