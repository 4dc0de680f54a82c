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

bool FormatArgumentKinds(const char *format, char *kinds, std::size_t size)
{
    if (kinds == nullptr || size == 0)
        return false;
    std::size_t n = 0;
    kinds[0] = 0;
    if (format == nullptr)
        return true;
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
        char kind = 0;
        if (c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X' || c == 'o' || c == 'c')
            kind = 'i';
        else if (c == 's' && !isShort)
            kind = 's';
        if (kind == 0 || n + 1 >= size)
            return false;
        kinds[n++] = kind;
        kinds[n] = 0;
    }
    return true;
}

bool FormatTakesOneArgument(const char *format, OneArgument kind)
{
    char kinds[3];
    if (!FormatArgumentKinds(format, kinds, sizeof kinds))
        return false;
    return kinds[0] == 0 || (kinds[1] == 0 && kinds[0] == (kind == OneArgument::kInteger ? 'i' : 's'));
}

bool FormatTakesArgumentsOf(const char *format, const char *reference)
{
    char kinds[kMaxFormatArguments + 1], expected[kMaxFormatArguments + 1];
    if (!FormatArgumentKinds(format, kinds, sizeof kinds) || !FormatArgumentKinds(reference, expected, sizeof expected))
        return false;
    return std::strncmp(kinds, expected, std::strlen(kinds)) == 0;
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
