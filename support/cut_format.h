// printf-style formatting that never writes past the buffer it is given: the text is cut there.
#pragma once

#include <cstdarg>
#include <cstddef>

// Formats into `out` (of `size` bytes, terminator included); returns the length written. With a
// size of 0 nothing is written.
std::size_t VFormatCut(char *out, std::size_t size, const char *format, std::va_list args);
std::size_t FormatCut(char *out, std::size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Copies at most size-1 characters of `text` and a terminator; returns the length written.
std::size_t CopyCut(char *out, std::size_t size, const char *text);
