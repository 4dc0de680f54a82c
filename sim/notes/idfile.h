// The stand-in's own ID file format (never shipped, never a real Notes ID file): a header with the
// owner's name in clear (the client shows it in its password prompt before the file is opened), a
// salted password verifier, and the name and a payload encrypted with a key stream derived from
// salt and password. It is not strong cryptography; it makes an ID file open with its password
// only, and a password change rewrites every byte after the name.
//
//   0  "SNTRIDF1"            8 bytes
//   8  name length           u16
//  10  payload length        u32
//  14  salt                  16 bytes
//  30  verifier              8 bytes (hash of salt, "verify", password)
//  38  name                  clear
//  ..  encrypted block: name length u16, name, payload length u32, payload, checksum u32
#pragma once

#include <cstdint>
#include <string>

namespace nsim {

enum class IdResult {
    kOk,
    kWrongPassword,  // the file is sound, the password does not open it
    kDamaged,        // not an ID file, cut short, or its contents do not add up
};

constexpr size_t kIdSaltSize = 16;

struct IdContents {
    std::string userName;
    std::string payload;  // the keys of the ID, in a real client; opaque here
};

// Builds the bytes of an ID file holding `contents` that opens with `password`.
std::string EncodeIdFile(const IdContents &contents, const std::string &password,
                         const uint8_t (&salt)[kIdSaltSize]);

// Reads the owner's name from the clear header (no password needed).
IdResult ReadIdOwner(const std::string &bytes, std::string *userName);

// Opens the file with `password`.
IdResult DecodeIdFile(const std::string &bytes, const std::string &password, IdContents *contents);

}  // namespace nsim
