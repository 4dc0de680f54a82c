// Comma-separated list editing: plain code, no Windows API.
#include "item_list.h"

std::size_t FindItem(const std::string &value, const std::string &item)
{
    if (item.empty())
        return std::string::npos;
    return value.find(item);
}

bool OccurrenceStartsEntry(const std::string &value, std::size_t at)
{
    if (at == 0)
        return true;
    if (at > value.size())
        return false;
    return value[at - 1] == ',' || value[at - 1] == ' ';
}

EditResult AddItem(const std::string &value, const std::string &item, std::string *out)
{
    std::string joined = value.empty() ? item : value + "," + item;
    if (joined.size() > kValueWriteMax)
        return EditResult::kTooLong;
    *out = joined;
    return EditResult::kChanged;
}

EditResult RemoveItem(const std::string &value, const std::string &item, std::string *out)
{
    std::size_t at = FindItem(value, item);
    if (at == std::string::npos)
        return EditResult::kNotFound;
    // Back to the nearest "," before the occurrence, or the start.
    std::size_t from = value.rfind(',', at == 0 ? std::string::npos : at - 1);
    bool onComma = at != 0 && from != std::string::npos;
    std::string result = value.substr(0, onComma ? from : 0);
    // The next "," after the occurrence ends the entry. It is looked for after the item itself, so
    // an item that holds a "," is removed whole.
    std::size_t next = value.find(',', at + item.size());
    if (next != std::string::npos)
        result += onComma ? value.substr(next) : value.substr(next + 1);
    if (result.size() > kValueWriteMax)
        return EditResult::kTooLong;
    *out = result;
    return EditResult::kChanged;
}
