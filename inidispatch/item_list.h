// Editing a comma-separated INI value: find, add and remove one item.
#pragma once

#include <cstddef>
#include <string>

// Sizes of the buffers the value lives in: the value as read holds at most kValueReadMax
// characters; an added or rebuilt value at most kValueWriteMax.
constexpr std::size_t kValueReadMax = 194;
constexpr std::size_t kValueWriteMax = 199;

// Where `item` first occurs in `value` as a substring (std::string::npos when nowhere, or when the
// item is empty).
std::size_t FindItem(const std::string &value, const std::string &item);

// Whether that occurrence starts an entry: at the start of the value, or right after "," or " ".
bool OccurrenceStartsEntry(const std::string &value, std::size_t at);

enum class EditResult {
    kChanged,   // `out` holds the new value
    kTooLong,   // the new value would exceed kValueWriteMax characters: nothing to write
    kNotFound,  // remove: the item is not in the value
};

// value + "," + item, or the item alone when the value is empty.
EditResult AddItem(const std::string &value, const std::string &item, std::string *out);

// Removes the entry that holds the item's first occurrence: from the nearest "," before it (or
// the start) up to the next "," after the occurrence (or the end), keeping one separator between
// what stays. "A,B,C" less "B" is "A,C"; "AB,B" less "B" is "B".
EditResult RemoveItem(const std::string &value, const std::string &item, std::string *out);
