// Texts that the console and the Notes extension both build from the Key layer and the Notes API:
// the name a Key is shown by, a message followed by the Key layer's reason, and a Notes status's
// text.
#pragma once

#include <windows.h>

#include <string>

#include "smart_key.h"

// The 8 bytes of a card identifier as 16 upper-case hexadecimal digits.
std::string CardIdText(const BYTE cardId[8]);

// The name a Key is listed by: its label, or its card identifier when the label is empty; "" when
// the reader has no Key that is ready or asks for its PIN.
std::string KeyDisplayName(CSmartKey &key, const char *readerName);

// "message\n\n<the layer's reason>" when the Key layer has a reason for `readerName`, else
// `message` alone; *hadReason (when given) says which.
std::string WithKeyReason(CSmartKey &key, const char *readerName, const std::string &message,
                          bool *hadReason = nullptr);

// The Notes API's text for `status` (its error proper, masked with 0x3FFF), cut to `size` - 1
// characters (notes_status_text.cpp: it calls nnotes.dll).
std::string NotesStatusText(unsigned short status, unsigned size = 256);
