// The Notes logon record of a virtual Key, put on it and read back through the Key stand-in's
// control surface (no PIN, no Key access object), with the product's record codec.
#pragma once

#include <string>

namespace testkit {

struct KeyRecordFields {
    std::string user, password, idFileName, idFile;
    bool found = false;  // GetKeyRecord: the Key holds a record that parses
};

// Replaces the data of Key `key`'s area 225 with the record of `fields`.
bool PutKeyRecord(int key, const KeyRecordFields &fields);
// The record Key `key` holds now (found false when it holds none or one that does not parse).
KeyRecordFields GetKeyRecord(int key);

}  // namespace testkit
