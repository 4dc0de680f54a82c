// The stand-in ID file codec: see idfile.h for the layout.
#include "idfile.h"

#include <cstring>

namespace nsim {

namespace {

const char kMagic[8] = {'S', 'N', 'T', 'R', 'I', 'D', 'F', '1'};
constexpr size_t kHeaderSize = 38;
constexpr size_t kMaxName = 0xFFFF;

uint64_t Fnv1a(uint64_t hash, const void *data, size_t size)
{
    const uint8_t *p = static_cast<const uint8_t *>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= p[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}

uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

uint64_t Derive(const uint8_t *salt, const char *purpose, const std::string &password)
{
    uint64_t h = 0xCBF29CE484222325ull;
    h = Fnv1a(h, salt, kIdSaltSize);
    h = Fnv1a(h, purpose, std::strlen(purpose));
    h = Fnv1a(h, password.data(), password.size());
    for (int round = 0; round < 1000; ++round)
        h = Mix(h ^ static_cast<uint64_t>(round));
    return h;
}

void Crypt(std::string *block, uint64_t key)
{
    uint64_t state = key;
    for (size_t i = 0; i < block->size(); i += 8) {
        state = Mix(state);
        for (size_t j = 0; j < 8 && i + j < block->size(); ++j)
            (*block)[i + j] = static_cast<char>((*block)[i + j] ^ static_cast<char>(state >> (8 * j)));
    }
}

void PutU16(std::string *out, uint32_t v)
{
    out->push_back(static_cast<char>(v & 0xFF));
    out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

void PutU32(std::string *out, uint32_t v)
{
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

void PutU64(std::string *out, uint64_t v)
{
    PutU32(out, static_cast<uint32_t>(v));
    PutU32(out, static_cast<uint32_t>(v >> 32));
}

uint32_t GetU16(const std::string &s, size_t at)
{
    return static_cast<uint8_t>(s[at]) | (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8);
}

uint32_t GetU32(const std::string &s, size_t at)
{
    return GetU16(s, at) | (GetU16(s, at + 2) << 16);
}

uint64_t GetU64(const std::string &s, size_t at)
{
    return GetU32(s, at) | (static_cast<uint64_t>(GetU32(s, at + 4)) << 32);
}

// Checks the clear header; gives the lengths and where the encrypted block starts.
bool ParseHeader(const std::string &bytes, size_t *nameLength, size_t *payloadLength)
{
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return false;
    *nameLength = GetU16(bytes, 8);
    *payloadLength = GetU32(bytes, 10);
    // clear name + block (2 + name + 4 + payload + 4) must be exactly what follows the header
    size_t expected = kHeaderSize + *nameLength + 2 + *nameLength + 4 + *payloadLength + 4;
    return *payloadLength <= bytes.size() && bytes.size() == expected;
}

}  // namespace

std::string EncodeIdFile(const IdContents &contents, const std::string &password,
                         const uint8_t (&salt)[kIdSaltSize])
{
    std::string name = contents.userName.substr(0, kMaxName);
    std::string out(kMagic, sizeof kMagic);
    PutU16(&out, static_cast<uint32_t>(name.size()));
    PutU32(&out, static_cast<uint32_t>(contents.payload.size()));
    out.append(reinterpret_cast<const char *>(salt), kIdSaltSize);
    PutU64(&out, Derive(salt, "verify", password));
    out += name;

    std::string block;
    PutU16(&block, static_cast<uint32_t>(name.size()));
    block += name;
    PutU32(&block, static_cast<uint32_t>(contents.payload.size()));
    block += contents.payload;
    PutU32(&block, static_cast<uint32_t>(Fnv1a(0xCBF29CE484222325ull, block.data(), block.size())));
    Crypt(&block, Derive(salt, "key", password));
    return out + block;
}

IdResult ReadIdOwner(const std::string &bytes, std::string *userName)
{
    size_t nameLength = 0, payloadLength = 0;
    if (!ParseHeader(bytes, &nameLength, &payloadLength))
        return IdResult::kDamaged;
    userName->assign(bytes, kHeaderSize, nameLength);
    return IdResult::kOk;
}

IdResult DecodeIdFile(const std::string &bytes, const std::string &password, IdContents *contents)
{
    size_t nameLength = 0, payloadLength = 0;
    if (!ParseHeader(bytes, &nameLength, &payloadLength))
        return IdResult::kDamaged;
    const uint8_t *salt = reinterpret_cast<const uint8_t *>(bytes.data() + 14);
    if (GetU64(bytes, 30) != Derive(salt, "verify", password))
        return IdResult::kWrongPassword;

    std::string block = bytes.substr(kHeaderSize + nameLength);
    Crypt(&block, Derive(salt, "key", password));
    size_t bodySize = block.size() - 4;
    uint32_t sum = static_cast<uint32_t>(Fnv1a(0xCBF29CE484222325ull, block.data(), bodySize));
    if (GetU32(block, bodySize) != sum || GetU16(block, 0) != nameLength ||
        GetU32(block, 2 + nameLength) != payloadLength)
        return IdResult::kDamaged;
    std::string name = block.substr(2, nameLength);
    if (name != bytes.substr(kHeaderSize, nameLength))
        return IdResult::kDamaged;
    contents->userName = name;
    contents->payload = block.substr(2 + nameLength + 4, payloadLength);
    return IdResult::kOk;
}

}  // namespace nsim
