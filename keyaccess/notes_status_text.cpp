// A Notes status's text from the Notes API (kept apart: only programs that call Notes link it).
#include "key_messages.h"

#include <vector>

#include "notes_api.h"

std::string NotesStatusText(unsigned short status, unsigned size)
{
    if (size == 0)
        return "";
    std::vector<char> text(size, 0);
    OSLoadString(nullptr, ERR(status), text.data(), static_cast<WORD>(size));
    text[size - 1] = 0;
    return text.data();
}
