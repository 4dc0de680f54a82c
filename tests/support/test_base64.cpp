// Base64 encoding against the RFC 4648 vectors, the lengths the programs use, and the copy back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base64.h"

namespace {

struct Vector {
    const char *input;
    const char *expected;
};

// RFC 4648, section 10.
const Vector kRfcVectors[] = {
    {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
};

TEST(Base64, RfcVectorsAndCopyBack)
{
    for (const Vector &v : kRfcVectors) {
        SCOPED_TRACE(v.input);
        std::size_t length = std::strlen(v.input);
        std::vector<unsigned char> buffer(Base64BufferSize(length), 0xAA);
        std::memcpy(buffer.data(), v.input, length);
        std::string text = Base64Encode(buffer.data(), length);
        EXPECT_EQ(v.expected, text);
        EXPECT_STREQ(v.expected, reinterpret_cast<const char *>(buffer.data()));
    }
}

TEST(Base64, LengthsZeroOneTwoAndFortyEight)
{
    unsigned char zero[1] = {0x55};
    EXPECT_EQ("", Base64Encode(zero, 0));
    EXPECT_EQ(0, zero[0]);

    unsigned char one[5] = {0xFF};
    std::string t1 = Base64Encode(one, 1);
    EXPECT_EQ("/w==", t1);

    unsigned char two[5] = {0xFF, 0xEE};
    EXPECT_EQ("/+4=", Base64Encode(two, 2));

    // 48 random bytes, as the admin console draws them: 64 characters, no padding.
    std::vector<unsigned char> bytes(Base64BufferSize(48));
    for (int i = 0; i < 48; ++i)
        bytes[i] = static_cast<unsigned char>(i * 37 + 11);
    std::string text = Base64Encode(bytes.data(), 48);
    EXPECT_EQ(64u, text.size());
    EXPECT_EQ(std::string::npos, text.find('='));
    EXPECT_EQ(65u, Base64BufferSize(48));
}

TEST(Base64, EveryByteValueMapsIntoTheAlphabet)
{
    const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    // Three bytes per value: the value in each position exercises every shift of the encoder.
    for (int v = 0; v < 256; ++v) {
        unsigned char in[3] = {static_cast<unsigned char>(v), static_cast<unsigned char>(255 - v),
                               static_cast<unsigned char>(v ^ 0x5A)};
        std::string text = Base64EncodeText(in, 3);
        ASSERT_EQ(4u, text.size());
        unsigned idx[4];
        for (int i = 0; i < 4; ++i) {
            std::size_t at = alphabet.find(text[i]);
            ASSERT_NE(std::string::npos, at);
            idx[i] = static_cast<unsigned>(at);
        }
        unsigned decoded0 = (idx[0] << 2) | (idx[1] >> 4);
        unsigned decoded1 = ((idx[1] & 15) << 4) | (idx[2] >> 2);
        unsigned decoded2 = ((idx[2] & 3) << 6) | idx[3];
        EXPECT_EQ(in[0], decoded0);
        EXPECT_EQ(in[1], decoded1);
        EXPECT_EQ(in[2], decoded2);
    }
}

TEST(Base64, TooSmallBufferIsLeftEmptyAndNothingWrittenPastIt)
{
    unsigned char buffer[8] = {'a', 'b', 'c', 'd', 'e', 'f', 0x77, 0x77};
    // Six bytes need 9 bytes of text and terminator; only 6 are given.
    std::string text = Base64Encode(buffer, 6, 6);
    EXPECT_EQ("", text);
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ(0x77, buffer[6]);
    EXPECT_EQ(0x77, buffer[7]);

    unsigned char exact[9] = {'a', 'b', 'c', 'd', 'e', 'f'};
    EXPECT_EQ("YWJjZGVm", Base64Encode(exact, 6, 9));
}

}  // namespace
