// Peglar's list editing against an INI value: the value as read (cut to 194 characters) and the
// item from the command line, both any text. Adding joins with one ","; removing takes out one
// contiguous entry around the item's first occurrence; nothing longer than 199 is ever written.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "item_list.h"

namespace {

// Whether `out` is `value` with one span [a, b) taken out, where the span covers [at, end).
bool IsValueLessOneSpan(const std::string &value, const std::string &out, std::size_t at, std::size_t end)
{
    if (out.size() > value.size())
        return false;
    std::size_t removed = value.size() - out.size();
    for (std::size_t a = 0; a <= at && a <= out.size(); ++a) {
        std::size_t b = a + removed;
        if (b < end)
            continue;
        if (value.compare(0, a, out, 0, a) == 0 && value.compare(b, std::string::npos, out, a, std::string::npos) == 0)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // "value\nitem": the value as GetPrivateProfileString gives it (no zero byte, at most 194
    // characters), the item as a command-line token (no zero byte).
    std::string input(reinterpret_cast<const char *>(data), size);
    std::size_t split = input.find('\n');
    std::string value = input.substr(0, split);
    std::string item = split == std::string::npos ? std::string() : input.substr(split + 1);
    value = value.c_str();
    item = item.c_str();
    if (value.size() > kValueReadMax)
        value.resize(kValueReadMax);

    std::size_t at = FindItem(value, item);
    FUZZ_CHECK(item.empty() ? at == std::string::npos : at == value.find(item));
    if (at != std::string::npos)
        FUZZ_CHECK(OccurrenceStartsEntry(value, at) ==
                   (at == 0 || value[at - 1] == ',' || value[at - 1] == ' '));

    std::string out = "untouched";
    EditResult added = AddItem(value, item, &out);
    std::string joined = value.empty() ? item : value + "," + item;
    if (added == EditResult::kChanged) {
        FUZZ_CHECK(out == joined && out.size() <= kValueWriteMax);
    } else {
        FUZZ_CHECK(added == EditResult::kTooLong && joined.size() > kValueWriteMax && out == "untouched");
    }

    out = "untouched";
    EditResult removed = RemoveItem(value, item, &out);
    if (at == std::string::npos) {
        FUZZ_CHECK(removed == EditResult::kNotFound && out == "untouched");
        return 0;
    }
    FUZZ_CHECK(removed == EditResult::kChanged);
    FUZZ_CHECK(out.size() < value.size() || (item.empty() && out.size() == value.size()));
    FUZZ_CHECK(IsValueLessOneSpan(value, out, at, at + item.size()));
    // The value keeps no empty entry that the removal made: no leading "," unless it was there.
    if (!out.empty() && out[0] == ',')
        FUZZ_CHECK(value[0] == ',' || value.find(",,") != std::string::npos);
    return 0;
}
