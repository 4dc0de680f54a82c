// Base64 encoding (RFC 4648, section 4): turns random bytes from the Key into a printable password.
#pragma once

#include <cstddef>
#include <string>

// Size of the buffer that holds the encoding of `length` bytes and its terminating zero.
std::size_t Base64BufferSize(std::size_t length);

// The encoding of the first `length` bytes of `data`, with "=" padding and no line breaks.
std::string Base64EncodeText(const void *data, std::size_t length);

// Encodes the first `length` bytes of `buffer` and copies the text, with its terminating zero,
// back over `buffer`, which must hold Base64BufferSize(length) bytes. Returns the text.
std::string Base64Encode(unsigned char *buffer, std::size_t length);

// As above, for a buffer of `bufferSize` bytes: when the text and its zero would not fit, nothing
// is copied, the buffer is made empty (if it has room for that) and the empty text is returned.
std::string Base64Encode(unsigned char *buffer, std::size_t length, std::size_t bufferSize);
