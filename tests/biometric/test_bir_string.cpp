// The BIR string codecs: the layouts of both forms byte by byte, the size protocol, refusals of
// strings that are not BIR strings, and strings whose lengths lie or are cut short.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bir_string.h"

namespace {

std::vector<std::string> g_messages;

void CaptureSink(int, const char *, const char *text)
{
    g_messages.push_back(text);
}

class BirString : public testing::Test {
protected:
    void SetUp() override
    {
        g_messages.clear();
        SetBirLogSink(CaptureSink);
    }
    void TearDown() override { SetBirLogSink(nullptr); }

    static bool Logged(const std::string &text)
    {
        for (const std::string &m : g_messages)
            if (m == text)
                return true;
        return false;
    }

    // A BIR with Length 20: four data bytes.
    BioAPI_BIR_HEADER Header20() const
    {
        BioAPI_BIR_HEADER h = {};
        h.Length = 20;
        h.HeaderVersion = 1;
        h.Type = 4;
        h.Format.FormatOwner = 0x1234;
        h.Format.FormatID = 0x5678;
        h.Quality = -1;
        h.Purpose = 3;
        h.FactorsMask = 0x08;
        return h;
    }
    const uint8_t data_[4] = {0xD1, 0xD2, 0xD3, 0xD4};

    std::vector<uint8_t> Write(const BioAPI_DATA *signature)
    {
        uint32_t size = 0;
        EXPECT_FALSE(ConvertBIRtoSTRING(Header20(), data_, signature, nullptr, &size, "ABC"));
        std::vector<uint8_t> out(size);
        EXPECT_TRUE(ConvertBIRtoSTRING(Header20(), data_, signature, out.data(), &size, "ABC"));
        return out;
    }
};

TEST_F(BirString, BioApiFormWithoutSignatureIs35Bytes)
{
    std::vector<uint8_t> s = Write(nullptr);
    ASSERT_EQ(35u, s.size());
    EXPECT_EQ(0, std::memcmp(s.data(), "1 BioAPI\x03\x00\x00\x00" "ABC", 15));
    const uint8_t header[16] = {0x14, 0, 0, 0, 1, 4, 0x34, 0x12, 0x78, 0x56, 0xFF, 3, 8, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(s.data() + 15, header, 16));
    EXPECT_EQ(0, std::memcmp(s.data() + 31, data_, 4));
}

TEST_F(BirString, BioApiFormWithSignatureIs41Bytes)
{
    uint8_t sig[2] = {0x5A, 0xA5};
    BioAPI_DATA signature = {2, sig};
    std::vector<uint8_t> s = Write(&signature);
    ASSERT_EQ(41u, s.size());
    const uint8_t tail[6] = {2, 0, 0, 0, 0x5A, 0xA5};
    EXPECT_EQ(0, std::memcmp(s.data() + 35, tail, 6));
}

TEST_F(BirString, BioApiRoundTripWithAndWithoutSignature)
{
    uint8_t sig[2] = {7, 9};
    BioAPI_DATA signature = {2, sig};
    for (const BioAPI_DATA *with : {static_cast<const BioAPI_DATA *>(nullptr),
                                    static_cast<const BioAPI_DATA *>(&signature)}) {
        SCOPED_TRACE(with ? "with signature" : "without signature");
        std::vector<uint8_t> s = Write(with);
        char name[260] = {};
        BioAPI_INPUT_BIR bir = {};
        ASSERT_TRUE(ConvertSTRINGtoBIR(s.data(), static_cast<uint32_t>(s.size()), name, &bir));
        EXPECT_STREQ("ABC", name);
        ASSERT_EQ(BioAPI_FULLBIR_INPUT, bir.Form);
        BioAPI_BIR *r = bir.InputBIR.BIR;
        EXPECT_EQ(20u, r->Header.Length);
        EXPECT_EQ(4, r->Header.Type);
        EXPECT_EQ(0x5678, r->Header.Format.FormatID);
        EXPECT_EQ(-1, r->Header.Quality);
        EXPECT_EQ(0, std::memcmp(r->BiometricData, data_, 4));
        if (with) {
            ASSERT_NE(nullptr, r->Signature);
            EXPECT_EQ(2u, r->Signature->Length);
            EXPECT_EQ(7, r->Signature->Data[0]);
        } else {
            EXPECT_EQ(nullptr, r->Signature);
        }
        FreeConvertedBIR(&bir);
        EXPECT_EQ(nullptr, bir.InputBIR.BIR);
    }
}

TEST_F(BirString, BioApiSizeProtocol)
{
    uint32_t size = 0;
    EXPECT_FALSE(ConvertBIRtoSTRING(Header20(), data_, nullptr, nullptr, &size, "ABC"));
    EXPECT_EQ(35u, size);
    std::vector<uint8_t> shortBuffer(34, 0xEE);
    size = 34;
    EXPECT_FALSE(ConvertBIRtoSTRING(Header20(), data_, nullptr, shortBuffer.data(), &size, "ABC"));
    EXPECT_EQ(34u, size);
    EXPECT_EQ(std::vector<uint8_t>(34, 0xEE), shortBuffer);
    // A larger buffer: the string is written, the bytes behind it stay as they were.
    std::vector<uint8_t> big(40, 0xEE);
    size = 40;
    EXPECT_TRUE(ConvertBIRtoSTRING(Header20(), data_, nullptr, big.data(), &size, "ABC"));
    EXPECT_EQ(35u, size);
    for (size_t i = 35; i < 40; ++i)
        EXPECT_EQ(0xEE, big[i]) << "byte " << i;
    // No data: refused at once.
    size = 0;
    EXPECT_FALSE(ConvertBIRtoSTRING(Header20(), nullptr, nullptr, nullptr, &size, "ABC"));
    EXPECT_EQ(0u, size);
}

TEST_F(BirString, NotABirString)
{
    std::vector<uint8_t> s = Write(nullptr);
    std::vector<uint8_t> two = s;
    two[0] = '2';
    char name[260] = {};
    EXPECT_FALSE(ConvertSTRINGtoBIR(two.data(), static_cast<uint32_t>(two.size()), name, nullptr));
    EXPECT_TRUE(Logged("This is not BIR"));
    g_messages.clear();
    const char text[] = "1 HA_API\0\0\0\0";
    EXPECT_FALSE(ConvertSTRINGtoBIR(reinterpret_cast<const uint8_t *>(text), 12, name, nullptr));
    EXPECT_TRUE(Logged("This is not BioAPI BIR"));
}

TEST_F(BirString, TrailingBytesThatAreNoSignatureAreRefused)
{
    std::vector<uint8_t> s = Write(nullptr);
    s.insert(s.end(), {5, 0, 0, 0, 1, 2});  // S says 5, only 2 bytes follow
    BioAPI_INPUT_BIR bir = {};
    EXPECT_FALSE(ConvertSTRINGtoBIR(s.data(), static_cast<uint32_t>(s.size()), nullptr, &bir));
    EXPECT_TRUE(Logged("index 44 != len 41")) << (g_messages.empty() ? "" : g_messages.back());
    EXPECT_EQ(nullptr, bir.InputBIR.BIR);
}

TEST_F(BirString, TruncatedOrLyingBioApiStringsAreRefusedWithoutReadingPastTheEnd)
{
    std::vector<uint8_t> good = Write(nullptr);
    // Every cut of a good string: only the full length parses (the copies live on the heap, so
    // the sanitizers see any read past their end).
    for (size_t cut = 1; cut < good.size(); ++cut) {
        SCOPED_TRACE("cut to " + std::to_string(cut));
        uint8_t *copy = static_cast<uint8_t *>(std::malloc(cut));
        std::memcpy(copy, good.data(), cut);
        BioAPI_INPUT_BIR bir = {};
        EXPECT_FALSE(ConvertSTRINGtoBIR(copy, static_cast<uint32_t>(cut), nullptr, &bir));
        std::free(copy);
    }
    struct Lie {
        const char *what;
        size_t offset;
        uint32_t value;
    } const lies[] = {{"N huge", 8, 0xFFFFFFF0u}, {"N past the end", 8, 40},
                      {"N over 259", 8, 260},     {"Length huge", 15, 0xFFFFFFFFu},
                      {"Length below 16", 15, 3}, {"Length past the end", 15, 21}};
    for (const Lie &lie : lies) {
        SCOPED_TRACE(lie.what);
        std::vector<uint8_t> s = good;
        s[lie.offset] = static_cast<uint8_t>(lie.value);
        s[lie.offset + 1] = static_cast<uint8_t>(lie.value >> 8);
        s[lie.offset + 2] = static_cast<uint8_t>(lie.value >> 16);
        s[lie.offset + 3] = static_cast<uint8_t>(lie.value >> 24);
        uint8_t *copy = static_cast<uint8_t *>(std::malloc(s.size()));
        std::memcpy(copy, s.data(), s.size());
        char name[260] = {};
        BioAPI_INPUT_BIR bir = {};
        EXPECT_FALSE(ConvertSTRINGtoBIR(copy, static_cast<uint32_t>(s.size()), name, &bir));
        std::free(copy);
    }
}

TEST_F(BirString, HaApiFormIs23BytesAndRoundTrips)
{
    const uint8_t record[5] = {1, 2, 3, 4, 5};
    uint32_t size = 0;
    EXPECT_FALSE(ConvertHABIRtoSTRING(5, record, nullptr, &size, "XY", 2));
    ASSERT_EQ(23u, size);
    std::vector<uint8_t> s(size, 0xEE);
    ASSERT_TRUE(ConvertHABIRtoSTRING(5, record, s.data(), &size, "XY", 2));
    EXPECT_EQ(0, std::memcmp(s.data(), "1 HA_API\x05\x00\x00\x00", 12));
    EXPECT_EQ(0, std::memcmp(s.data() + 12, record, 5));
    EXPECT_EQ(0, std::memcmp(s.data() + 17, "\x02\x00\x00\x00XY", 6));

    HAAPI_DATA parsed = {};
    char name[260] = {};
    uint32_t nameLength = 0;
    ASSERT_TRUE(ConvertSTRINGtoHABIR(s.data(), 23, &parsed, name, &nameLength));
    EXPECT_EQ(5u, parsed.Length);
    EXPECT_EQ(0, std::memcmp(parsed.Data, record, 5));
    EXPECT_STREQ("XY", name);
    EXPECT_EQ(2u, nameLength);
    std::free(parsed.Data);
}

TEST_F(BirString, HaApiLargerBufferIsZeroFilledAndShortOneReportsTheSize)
{
    const uint8_t record[5] = {1, 2, 3, 4, 5};
    std::vector<uint8_t> big(30, 0xEE);
    uint32_t size = 30;
    ASSERT_TRUE(ConvertHABIRtoSTRING(5, record, big.data(), &size, "XY", 2));
    for (size_t i = 23; i < 30; ++i)
        EXPECT_EQ(0, big[i]) << "byte " << i;
    std::vector<uint8_t> small(22, 0xEE);
    size = 22;
    EXPECT_FALSE(ConvertHABIRtoSTRING(5, record, small.data(), &size, "XY", 2));
    EXPECT_EQ(23u, size);
    EXPECT_EQ(std::vector<uint8_t>(22, 0xEE), small);
}

TEST_F(BirString, HaApiRefusesOtherFormsAndLyingLengths)
{
    const uint8_t record[5] = {1, 2, 3, 4, 5};
    uint32_t size = 23;
    std::vector<uint8_t> good(23);
    ASSERT_TRUE(ConvertHABIRtoSTRING(5, record, good.data(), &size, "XY", 2));
    char name[260] = {};
    std::vector<uint8_t> bioapi = {'1', ' ', 'B', 'i', 'o', 'A', 'P', 'I', 0, 0, 0, 0};
    EXPECT_FALSE(ConvertSTRINGtoHABIR(bioapi.data(), 12, nullptr, name, nullptr));
    std::vector<uint8_t> two = good;
    two[0] = '2';
    EXPECT_FALSE(ConvertSTRINGtoHABIR(two.data(), 23, nullptr, name, nullptr));
    for (size_t cut = 1; cut < good.size(); ++cut) {
        SCOPED_TRACE("cut to " + std::to_string(cut));
        uint8_t *copy = static_cast<uint8_t *>(std::malloc(cut));
        std::memcpy(copy, good.data(), cut);
        HAAPI_DATA parsed = {};
        EXPECT_FALSE(ConvertSTRINGtoHABIR(copy, static_cast<uint32_t>(cut), &parsed, name, nullptr));
        std::free(copy);
    }
    std::vector<uint8_t> lyingD = good;
    lyingD[8] = 0xF0;
    lyingD[11] = 0xFF;
    HAAPI_DATA parsed = {};
    EXPECT_FALSE(ConvertSTRINGtoHABIR(lyingD.data(), 23, &parsed, name, nullptr));
    std::vector<uint8_t> lyingN = good;
    lyingN[17] = 3;
    EXPECT_FALSE(ConvertSTRINGtoHABIR(lyingN.data(), 23, nullptr, name, nullptr));
}

TEST_F(BirString, TagIsSearchedOnlyWithinTheGivenLength)
{
    const char text[] = "1 BioAPI";
    EXPECT_TRUE(BirStringHasTag(text, 8, "BioAPI"));
    EXPECT_FALSE(BirStringHasTag(text, 7, "BioAPI"));
    EXPECT_FALSE(BirStringHasTag("1 Bi\0oAPI", 9, "BioAPI"));
}

}  // namespace
