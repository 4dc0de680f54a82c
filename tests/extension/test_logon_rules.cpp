// The rules of the logon and password flows: what an answer of the PIN prompt means, how many
// random bytes a generated password takes, and whether a password fits the client's buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base64.h"
#include "logon_rules.h"

namespace {

struct PinCase {
    int result;
    const char *pin;
    PinVerdict verdict;
};

TEST(PinEntry, EachAnswerOfThePromptHasItsVerdict)
{
    const PinCase cases[] = {
        {kPinOk, "1234", PinVerdict::kAccept},
        {kPinOk, "1234567890", PinVerdict::kAccept},
        {kPinOk, "123", PinVerdict::kTooShort},
        {kPinOk, "", PinVerdict::kTooShort},  // an empty entry let through by a length of -1
        {kPinOkEmpty, "", PinVerdict::kRequired},
        {kPinSecondButton, "", PinVerdict::kWithoutKey},
        {kPinSecondButton, "1234", PinVerdict::kWithoutKey},
    };
    for (const PinCase &c : cases) {
        SCOPED_TRACE(std::string("result ") + std::to_string(c.result) + " pin <" + c.pin + ">");
        EXPECT_EQ(c.verdict, JudgePinEntry(c.result, c.pin));
    }
}

struct GenerateCase {
    std::size_t maxLength;
    std::size_t bytes;
};

TEST(GeneratedPassword, TextAndTerminatorFitTheBufferAndTheRecord)
{
    const GenerateCase cases[] = {
        {63, 45},   // the client's usual maximum: 60 characters
        {64, 45},   // 63 usable: 15 groups
        {65, 48},   // 64 usable: 64 characters, the record's limit
        {200, 48},  // never above the record's 64 characters
        {5, 3},     // 4 usable: one group
        {4, 0},     // 3 usable: no whole group
        {1, 0},
        {0, 0},
    };
    for (const GenerateCase &c : cases) {
        SCOPED_TRACE("maximum length " + std::to_string(c.maxLength));
        std::size_t n = GeneratedRandomBytes(c.maxLength);
        EXPECT_EQ(c.bytes, n);
        EXPECT_EQ(0u, n % 3);
        std::string text = Base64EncodeText(std::string(n, '\x5A').data(), n);
        EXPECT_EQ(4 * n / 3, text.size());
        EXPECT_EQ(std::string::npos, text.find('='));  // no padding
        EXPECT_LE(text.size(), 64u);
        if (c.maxLength > 0) {
            EXPECT_LT(text.size(), c.maxLength);  // the terminator fits too
        }
    }
}

TEST(ClientBuffer, PasswordFitsOnlyWithItsTerminator)
{
    EXPECT_TRUE(PasswordFitsClient(62, 63));
    EXPECT_FALSE(PasswordFitsClient(63, 63));
    EXPECT_FALSE(PasswordFitsClient(64, 63));
    EXPECT_TRUE(PasswordFitsClient(0, 1));
    EXPECT_FALSE(PasswordFitsClient(0, 0));
    EXPECT_EQ(62u, TypedPasswordLimit(63));
    EXPECT_EQ(64u, TypedPasswordLimit(1000));
    EXPECT_EQ(0u, TypedPasswordLimit(1));
}

}  // namespace

namespace {

struct JoinCase {
    std::string directory, name;
    std::size_t size;
    bool joined;
    std::string expected;
};

TEST(IdFilePath, ANameWithAColonIsThePathOthersJoinTheDirectoryAndNothingIsWrittenPastTheBuffer)
{
    const std::string d250(250, 'd');
    const JoinCase cases[] = {
        {"C:\\notes\\data", "anna.id", 256, true, "C:\\notes\\data\\anna.id"},
        {"C:\\notes\\data", "D:\\ids\\anna.id", 256, true, "D:\\ids\\anna.id"},
        {"", "anna.id", 256, true, "\\anna.id"},
        {d250, "a.id", 256, true, d250 + "\\a.id"},  // 255 characters and the terminator
        {d250, "ab.id", 256, false, ""},             // 256 characters: refused
        {"C:\\d", "x.id", 10, true, "C:\\d\\x.id"},  // exactly fills the buffer
        {"C:\\d", "xy.id", 10, false, ""},
        {"C:\\d", "Z:" + std::string(8, 'z'), 10, false, ""},
    };
    for (const JoinCase &c : cases) {
        SCOPED_TRACE(c.directory + " + " + c.name);
        char path[300];
        std::memset(path, 'q', sizeof path);
        EXPECT_EQ(c.joined, JoinIdFilePath(c.directory.c_str(), c.name.c_str(), path, c.size));
        EXPECT_EQ(c.expected, path);
        EXPECT_EQ('q', path[c.size]) << "wrote past the buffer";
    }
}

}  // namespace
