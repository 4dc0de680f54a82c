// The HA-API form of the BIR string as it comes back from a Key: any bytes. The vendor record and
// the device name (what the back end's GetBIRDeviceName reads) parse inside the bytes given; a
// string that parses writes back to the same bytes.
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

    char name[kBirDeviceNameMax + 1] = {};
    uint32_t nameLength = 0xFFFFFFFF;
    bool named = ConvertSTRINGtoHABIR(string, length, nullptr, name, &nameLength);
    FUZZ_CHECK(name[kBirDeviceNameMax] == 0);
    FUZZ_CHECK(!named || nameLength <= kBirDeviceNameMax);

    HAAPI_DATA record = {0, nullptr};
    bool parsed = ConvertSTRINGtoHABIR(string, length, &record, nullptr, nullptr);
    FUZZ_CHECK(parsed == named);
    if (!parsed) {
        FUZZ_CHECK(record.Data == nullptr);
        return 0;
    }
    FUZZ_CHECK(record.Data != nullptr);
    FUZZ_CHECK(16u + static_cast<uint64_t>(record.Length) + nameLength <= length);

    // Written back: the string's own bytes up to 16 + D + N, zeros behind them in the buffer. The
    // tag is looked for anywhere in the string's text, so only "1 " and what follows the eight
    // prefix bytes are compared; the writer always puts "1 HA_API".
    uint32_t total = 16u + record.Length + nameLength;
    uint32_t needed = 0;
    FUZZ_CHECK(!ConvertHABIRtoSTRING(record.Length, record.Data, nullptr, &needed, name, nameLength));
    FUZZ_CHECK(needed == (record.Length != 0 ? total : 0));
    std::vector<std::uint8_t> written(total + 5, 0xEE);
    uint32_t room = static_cast<uint32_t>(written.size());
    FUZZ_CHECK(ConvertHABIRtoSTRING(record.Length, record.Data, written.data(), &room, name, nameLength));
    FUZZ_CHECK(std::memcmp(written.data(), "1 HA_API", 8) == 0);
    FUZZ_CHECK(std::memcmp(written.data(), bytes.data(), 2) == 0);
    FUZZ_CHECK(std::memcmp(written.data() + 8, bytes.data() + 8, total - 8) == 0);
    for (std::size_t i = total; i < written.size(); ++i)
        FUZZ_CHECK(written[i] == 0);
    std::free(record.Data);
    return 0;
}
