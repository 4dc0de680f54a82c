// BIR string codecs. A string comes back from a Key, so it is outside data: each length it
// carries (N, Length, S, D) is checked against the bytes actually given before anything is copied.
#include "bir_string.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

BirLogSink g_sink = nullptr;

const char kBioApiPrefix[] = "1 BioAPI";
const char kHaApiPrefix[] = "1 HA_API";
const char kParseContext[] = "Call ConvertSTRINGtoBIR";

void Log(int level, const char *context, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

void Log(int level, const char *context, const char *format, ...)
{
    if (g_sink == nullptr)
        return;
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_sink(level, context, text);
}

uint32_t ReadU32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteU32(uint8_t *p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

void WriteHeader(uint8_t *p, const BioAPI_BIR_HEADER &h)
{
    WriteU32(p, h.Length);
    p[4] = h.HeaderVersion;
    p[5] = h.Type;
    p[6] = static_cast<uint8_t>(h.Format.FormatOwner);
    p[7] = static_cast<uint8_t>(h.Format.FormatOwner >> 8);
    p[8] = static_cast<uint8_t>(h.Format.FormatID);
    p[9] = static_cast<uint8_t>(h.Format.FormatID >> 8);
    p[10] = static_cast<uint8_t>(h.Quality);
    p[11] = h.Purpose;
    WriteU32(p + 12, h.FactorsMask);
}

void ReadHeader(const uint8_t *p, BioAPI_BIR_HEADER &h)
{
    h.Length = ReadU32(p);
    h.HeaderVersion = p[4];
    h.Type = p[5];
    h.Format.FormatOwner = static_cast<uint16_t>(p[6] | p[7] << 8);
    h.Format.FormatID = static_cast<uint16_t>(p[8] | p[9] << 8);
    h.Quality = static_cast<int8_t>(p[10]);
    h.Purpose = p[11];
    h.FactorsMask = ReadU32(p + 12);
}

}  // namespace

void SetBirLogSink(BirLogSink sink)
{
    g_sink = sink;
}

bool BirStringHasTag(const void *string, size_t length, const char *tag)
{
    if (string == nullptr || tag == nullptr)
        return false;
    const char *s = static_cast<const char *>(string);
    size_t end = 0;
    while (end < length && s[end] != 0)
        ++end;
    size_t tagLength = std::strlen(tag);
    if (tagLength == 0 || tagLength > end)
        return false;
    for (size_t i = 0; i + tagLength <= end; ++i)
        if (std::memcmp(s + i, tag, tagLength) == 0)
            return true;
    return false;
}

bool ConvertBIRtoSTRING(const BioAPI_BIR_HEADER &header, const uint8_t *biometricData,
                        const BioAPI_DATA *signature, uint8_t *buffer, uint32_t *size,
                        const char *deviceName)
{
    if (biometricData == nullptr || size == nullptr || header.Length < 16)
        return false;
    size_t nameLength = deviceName != nullptr ? std::strlen(deviceName) : 0;
    if (nameLength > kBirDeviceNameMax)
        return false;
    uint64_t total = 12u + nameLength + static_cast<uint64_t>(header.Length);
    if (signature != nullptr)
        total += 4u + static_cast<uint64_t>(signature->Length);
    if (total > 0xFFFFFFFFu || (signature != nullptr && signature->Length != 0 && signature->Data == nullptr))
        return false;
    if (buffer == nullptr) {
        *size = static_cast<uint32_t>(total);
        return false;
    }
    if (*size < total)
        return false;

    std::memset(buffer, 0, static_cast<size_t>(total));
    uint8_t *p = buffer;
    std::memcpy(p, kBioApiPrefix, 8);
    WriteU32(p + 8, static_cast<uint32_t>(nameLength));
    if (nameLength != 0)
        std::memcpy(p + 12, deviceName, nameLength);
    p += 12 + nameLength;
    WriteHeader(p, header);
    p += 16;
    std::memcpy(p, biometricData, header.Length - 16);
    p += header.Length - 16;
    if (signature != nullptr) {
        WriteU32(p, signature->Length);
        if (signature->Length != 0)
            std::memcpy(p + 4, signature->Data, signature->Length);
    }
    *size = static_cast<uint32_t>(total);
    return true;
}

bool ConvertSTRINGtoBIR(const uint8_t *string, uint32_t length, char *deviceName,
                        BioAPI_INPUT_BIR *bir)
{
    if (string == nullptr || length == 0) {
        Log(1, kParseContext, "%s", "This is not BioAPI BIR");
        return false;
    }
    if (!BirStringHasTag(string, length, "BioAPI")) {
        Log(1, kParseContext, "%s", "This is not BioAPI BIR");
        return false;
    }
    if (length < 2 || string[0] != '1' || string[1] != ' ') {
        Log(1, kParseContext, "%s", "This is not BIR");
        return false;
    }
    if (length < 12) {
        Log(1, kParseContext, "BIR string of %u bytes has no room for its name length", length);
        return false;
    }
    uint32_t nameLength = ReadU32(string + 8);
    if (nameLength > kBirDeviceNameMax) {
        Log(1, kParseContext, "device name length %u is too long", nameLength);
        return false;
    }
    if (12u + static_cast<uint64_t>(nameLength) > length) {
        Log(1, kParseContext, "device name length %u does not fit in %u bytes", nameLength, length);
        return false;
    }
    if (deviceName != nullptr)
        std::memcpy(deviceName, string + 12, nameLength);
    if (bir == nullptr)
        return true;

    uint64_t headerAt = 12u + static_cast<uint64_t>(nameLength);
    if (headerAt + 16 > length) {
        Log(1, kParseContext, "BIR header does not fit in %u bytes", length);
        return false;
    }
    BioAPI_BIR_HEADER header;
    ReadHeader(string + headerAt, header);
    if (header.Length < 16 || headerAt + header.Length > length) {
        Log(1, kParseContext, "BIR length %u does not fit in %u bytes", header.Length, length);
        return false;
    }
    uint32_t dataLength = header.Length - 16;
    uint64_t signatureAt = headerAt + header.Length;
    uint32_t signatureLength = 0;
    bool hasSignature = signatureAt != length;
    if (hasSignature) {
        if (signatureAt + 4 > length) {
            Log(1, kParseContext, "index %u != len %u", static_cast<uint32_t>(signatureAt + 4), length);
            return false;
        }
        signatureLength = ReadU32(string + signatureAt);
        uint64_t end = signatureAt + 4 + signatureLength;
        if (end != length) {
            Log(1, kParseContext, "index %llu != len %u", static_cast<unsigned long long>(end), length);
            return false;
        }
    }

    BioAPI_BIR *record = static_cast<BioAPI_BIR *>(std::calloc(1, sizeof(BioAPI_BIR)));
    if (record == nullptr) {
        Log(1, kParseContext, "%s", "Cannot alloc global memory");
        return false;
    }
    record->Header = header;
    record->BiometricData = static_cast<uint8_t *>(std::malloc(dataLength != 0 ? dataLength : 1));
    if (record->BiometricData == nullptr) {
        Log(1, kParseContext, "%s", "Cannot alloc global memory for BiometricData");
        std::free(record);
        return false;
    }
    std::memcpy(record->BiometricData, string + headerAt + 16, dataLength);
    if (hasSignature) {
        record->Signature = static_cast<BioAPI_DATA *>(std::calloc(1, sizeof(BioAPI_DATA)));
        if (record->Signature == nullptr) {
            Log(1, kParseContext, "%s", "Cannot alloc global memory for Signature");
        } else {
            record->Signature->Length = signatureLength;
            record->Signature->Data =
                static_cast<uint8_t *>(std::malloc(signatureLength != 0 ? signatureLength : 1));
            if (record->Signature->Data == nullptr)
                Log(1, kParseContext, "%s", "Cannot alloc global memory for Signature->Data");
        }
        if (record->Signature == nullptr || record->Signature->Data == nullptr) {
            BioAPI_INPUT_BIR partial = {};
            partial.Form = BioAPI_FULLBIR_INPUT;
            partial.InputBIR.BIR = record;
            FreeConvertedBIR(&partial);
            return false;
        }
        std::memcpy(record->Signature->Data, string + signatureAt + 4, signatureLength);
    }
    bir->Form = BioAPI_FULLBIR_INPUT;
    bir->InputBIR.BIR = record;
    return true;
}

namespace {

// A biometric template is wiped before it goes back to the heap (volatile stores, which the
// compiler keeps although the memory is freed right after).
void WipeAndFree(void *data, std::size_t size)
{
    if (data != nullptr) {
        volatile uint8_t *bytes = static_cast<volatile uint8_t *>(data);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = 0;
    }
    std::free(data);
}

}  // namespace

void FreeConvertedBIR(BioAPI_INPUT_BIR *bir)
{
    if (bir == nullptr || bir->Form != BioAPI_FULLBIR_INPUT || bir->InputBIR.BIR == nullptr)
        return;
    BioAPI_BIR *record = bir->InputBIR.BIR;
    WipeAndFree(record->BiometricData, record->Header.Length >= 16 ? record->Header.Length - 16 : 0);
    if (record->Signature != nullptr) {
        WipeAndFree(record->Signature->Data, record->Signature->Data != nullptr ? record->Signature->Length : 0);
        std::free(record->Signature);
    }
    std::free(record);
    bir->InputBIR.BIR = nullptr;
}

bool ConvertHABIRtoSTRING(uint32_t recordLength, const uint8_t *record, uint8_t *buffer,
                          uint32_t *size, const char *deviceName, uint32_t nameLength)
{
    Log(5, "BIR SIZE ", "=========%u================", recordLength);
    if (size == nullptr || nameLength > kBirDeviceNameMax || (recordLength != 0 && record == nullptr) ||
        (nameLength != 0 && deviceName == nullptr))
        return false;
    uint64_t total = 16u + static_cast<uint64_t>(recordLength) + nameLength;
    if (total > 0xFFFFFFFFu)
        return false;
    if (buffer == nullptr || *size < total) {
        if (recordLength != 0)
            *size = static_cast<uint32_t>(total);
        return false;
    }
    std::memset(buffer, 0, *size);
    std::memcpy(buffer, kHaApiPrefix, 8);
    WriteU32(buffer + 8, recordLength);
    if (recordLength != 0)
        std::memcpy(buffer + 12, record, recordLength);
    WriteU32(buffer + 12 + recordLength, nameLength);
    if (nameLength != 0)
        std::memcpy(buffer + 16 + recordLength, deviceName, nameLength);
    return true;
}

bool ConvertSTRINGtoHABIR(const uint8_t *string, uint32_t length, HAAPI_DATA *record,
                          char *deviceName, uint32_t *nameLength)
{
    const char context[] = "Call ConvertSTRINGtoHABIR";
    if (string == nullptr || length == 0 || !BirStringHasTag(string, length, "HA_API") ||
        length < 2 || string[0] != '1' || string[1] != ' ')
        return false;
    if (length < 12) {
        Log(1, context, "BIR string of %u bytes has no room for its record length", length);
        return false;
    }
    uint32_t recordLength = ReadU32(string + 8);
    uint64_t nameAt = 12u + static_cast<uint64_t>(recordLength);
    if (nameAt + 4 > length) {
        Log(1, context, "record length %u does not fit in %u bytes", recordLength, length);
        return false;
    }
    uint32_t storedNameLength = ReadU32(string + nameAt);
    if (storedNameLength > kBirDeviceNameMax || nameAt + 4 + storedNameLength > length) {
        Log(1, context, "device name length %u does not fit in %u bytes", storedNameLength, length);
        return false;
    }
    if (record != nullptr) {
        Log(5, "BIR SIZE ", "-------------%u--------------", recordLength);
        uint8_t *data = static_cast<uint8_t *>(std::malloc(recordLength != 0 ? recordLength : 1));
        if (data == nullptr)
            return false;
        std::memcpy(data, string + 12, recordLength);
        record->Length = recordLength;
        record->Data = data;
    }
    if (deviceName != nullptr) {
        if (nameLength != nullptr)
            *nameLength = storedNameLength;
        std::memset(deviceName, 0, storedNameLength + 1);
        std::memcpy(deviceName, string + nameAt + 4, storedNameLength);
    }
    return true;
}
