// The BioAPI form of the BIR string as it comes back from a Key: any bytes. The device name (what
// the back end's GetBIRDeviceName reads) and the record parse inside the bytes given; a string
// that parses writes back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bir_string.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 0x20000)
        return 0;
    std::vector<std::uint8_t> bytes(data, data + size);
    const std::uint8_t *string = bytes.empty() ? nullptr : bytes.data();
    uint32_t length = static_cast<uint32_t>(size);

    // The name alone, into the caller's zeroed 260 bytes.
    char name[kBirDeviceNameMax + 1] = {};
    bool named = ConvertSTRINGtoBIR(string, length, name, nullptr);
    FUZZ_CHECK(name[kBirDeviceNameMax] == 0);

    BioAPI_INPUT_BIR bir = {};
    char name2[kBirDeviceNameMax + 1] = {};
    bool parsed = ConvertSTRINGtoBIR(string, length, name2, &bir);
    FUZZ_CHECK(!parsed || named);
    if (!parsed) {
        FUZZ_CHECK(bir.InputBIR.BIR == nullptr);
        return 0;
    }
    FUZZ_CHECK(std::memcmp(name, name2, sizeof name) == 0);
    FUZZ_CHECK(bir.Form == BioAPI_FULLBIR_INPUT && bir.InputBIR.BIR != nullptr);
    const BioAPI_BIR &record = *bir.InputBIR.BIR;
    uint32_t nameLength = static_cast<uint32_t>(bytes[8] | bytes[9] << 8 | bytes[10] << 16) |
                          static_cast<uint32_t>(bytes[11]) << 24;
    uint64_t expected = 12u + static_cast<uint64_t>(nameLength) + record.Header.Length;
    if (record.Signature != nullptr)
        expected += 4u + record.Signature->Length;
    FUZZ_CHECK(expected == length);

    // Written back with the same name (when the name holds no zero byte), byte for byte.
    if (std::strlen(name2) == nameLength) {
        uint32_t needed = 0;
        FUZZ_CHECK(!ConvertBIRtoSTRING(record.Header, record.BiometricData, record.Signature, nullptr,
                                       &needed, name2));
        FUZZ_CHECK(needed == length);
        std::vector<std::uint8_t> written(needed + 3, 0xEE);
        uint32_t room = needed - 1;
        FUZZ_CHECK(!ConvertBIRtoSTRING(record.Header, record.BiometricData, record.Signature,
                                       written.data(), &room, name2));
        FUZZ_CHECK(room == needed - 1 && written[0] == 0xEE);
        room = static_cast<uint32_t>(written.size());
        FUZZ_CHECK(ConvertBIRtoSTRING(record.Header, record.BiometricData, record.Signature,
                                      written.data(), &room, name2));
        FUZZ_CHECK(room == needed);
        // The tag may stand anywhere in the string's text; the writer always puts "1 BioAPI".
        FUZZ_CHECK(std::memcmp(written.data(), "1 BioAPI", 8) == 0);
        FUZZ_CHECK(std::memcmp(written.data() + 8, bytes.data() + 8, needed - 8) == 0);
        FUZZ_CHECK(written[needed] == 0xEE);  // the bytes behind the string are left as they were
    }
    FreeConvertedBIR(&bir);
    FUZZ_CHECK(bir.InputBIR.BIR == nullptr);
    return 0;
}
