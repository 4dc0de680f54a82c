// Bounded formatting and copying used wherever a text goes into a fixed buffer.
#include "cut_format.h"

#include <cstdio>
#include <cstring>

std::size_t VFormatCut(char *out, std::size_t size, const char *format, std::va_list args)
{
    if (out == nullptr || size == 0)
        return 0;
    int n = std::vsnprintf(out, size, format ? format : "", args);
    if (n < 0) {
        out[0] = 0;
        return 0;
    }
    out[size - 1] = 0;
    return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

std::size_t FormatCut(char *out, std::size_t size, const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::size_t n = VFormatCut(out, size, format, args);
    va_end(args);
    return n;
}

std::size_t CopyCut(char *out, std::size_t size, const char *text)
{
    if (out == nullptr || size == 0)
        return 0;
    std::size_t n = text ? std::strlen(text) : 0;
    if (n > size - 1)
        n = size - 1;
    if (n)
        std::memcpy(out, text, n);
    out[n] = 0;
    return n;
}
