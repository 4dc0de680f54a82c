// Base64 encoding, RFC 4648 alphabet and padding.
#include "base64.h"

#include <cstring>

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::size_t Base64BufferSize(std::size_t length)
{
    return 4 * ((length + 2) / 3) + 1;
}

std::string Base64EncodeText(const void *data, std::size_t length)
{
    const unsigned char *in = static_cast<const unsigned char *>(data);
    std::string out;
    out.reserve(Base64BufferSize(length));
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        unsigned b0 = in[i], b1 = in[i + 1], b2 = in[i + 2];
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 << 4) & 63) | (b1 >> 4)];
        out += kAlphabet[((b1 << 2) & 63) | (b2 >> 6)];
        out += kAlphabet[b2 & 63];
    }
    if (length - i == 1) {
        unsigned b0 = in[i];
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[(b0 << 4) & 63];
        out += "==";
    } else if (length - i == 2) {
        unsigned b0 = in[i], b1 = in[i + 1];
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 << 4) & 63) | (b1 >> 4)];
        out += kAlphabet[(b1 << 2) & 63];
        out += '=';
    }
    return out;
}

std::string Base64Encode(unsigned char *buffer, std::size_t length)
{
    return Base64Encode(buffer, length, Base64BufferSize(length));
}

std::string Base64Encode(unsigned char *buffer, std::size_t length, std::size_t bufferSize)
{
    std::string text = Base64EncodeText(buffer, length);
    if (text.size() + 1 > bufferSize) {
        if (bufferSize > 0)
            buffer[0] = 0;
        return std::string();
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return text;
}
