// Filling a fetched text that takes one argument (the shorthands of FormatResString). The text may
// come from a language DLL, so it is outside data: it is used as a printf format only when its
// placeholders take no more than the one argument given, of the kind given.
#pragma once

#include <cstddef>

enum class OneArgument { kInteger, kText };

// True when every placeholder of `format` is "%%" or one conversion of `kind` (integer: d i u x X
// o c, with at most an "h" size; text: s), with flags, width and precision as digits (no
// "*", no "$"), and there is at most one such conversion. A null format fits.
bool FormatTakesOneArgument(const char *format, OneArgument kind);

// The kinds of the arguments `format`'s placeholders take, in order, into `kinds` (of `size` bytes,
// ended by a zero): 'i' for an integer conversion, 's' for a text, under the rules above. False
// when a placeholder is of another kind or form, or when there are more than size - 1 of them.
bool FormatArgumentKinds(const char *format, char *kinds, std::size_t size);

// The most arguments a fetched text's placeholders may take.
constexpr std::size_t kMaxFormatArguments = 8;

// True when `format` takes the arguments `reference` takes, or the first of them, in order and of
// the same kinds (fewer are safe: printf leaves the rest unread), under the rules above. A language
// DLL's text is checked so against the deliverable's own text, whose arguments the caller passes.
bool FormatTakesArgumentsOf(const char *format, const char *reference);

// Formats `format` with the one argument into `out` (of `size` bytes, cut there; nothing with a
// size of 0) when it fits (above); a format that does not fit is copied as it stands, unfilled.
// A null text argument reads as the empty text. Returns the length of the text written (a "%c"
// of 0 ends it there).
std::size_t FormatOneArgument(char *out, std::size_t size, const char *format, OneArgument kind,
                              int integer, const char *text);
