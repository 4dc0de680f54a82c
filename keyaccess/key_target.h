// The Key a command was started for: its reader's name and the Key's identity (card identifier and
// label), copied when the command starts. Key events may empty or change what the program shows
// while the command's dialogs are open; the command checks its own copy before it touches the Key.
#pragma once

#include <windows.h>

#include <string>

#include "smart_key.h"

struct KeyTarget {
    std::string reader;  // whole reader name; "" when no Key was selected
    BYTE cardId[8] = {};
    std::string label;

    bool empty() const { return reader.empty(); }
};

// The copy of the Key now in `reader` (reader "" or unknown: an empty target).
KeyTarget TakeKeyTarget(CSmartKey &key, const std::string &reader);

// Whether the Key of `target` is still in its reader: the reader is known, holds a Key, and that
// Key has the card identifier and label taken. An empty target is never there.
bool KeyTargetPresent(CSmartKey &key, const KeyTarget &target);
