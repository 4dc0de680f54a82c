// Help-desk words for an outside library that was found but is of the other bitness.
#include "library_bitness.h"

#include "library_loader.h"
#include "text_ids.h"
#include "texts.h"

bool OtherBitnessText(const char *name, DWORD error, char *buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return false;
    buffer[0] = 0;
    if (error != ERROR_BAD_EXE_FORMAT)
        return false;
    char path[MAX_PATH];
    if (!FindProductLibrary(name, path))
        return false;
    WORD machine = LibraryMachine(path);
    UINT id;
    if (machine == IMAGE_FILE_MACHINE_I386 && kOwnMachine == IMAGE_FILE_MACHINE_AMD64)
        id = IDS_LIBRARY_IS_32BIT;
    else if (machine == IMAGE_FILE_MACHINE_AMD64 && kOwnMachine == IMAGE_FILE_MACHINE_I386)
        id = IDS_LIBRARY_IS_64BIT;
    else
        return false;
    char text[1024];
    FormatResString(id, path, text, sizeof text);
    lstrcpynA(buffer, text, size);
    return buffer[0] != 0;
}

std::string LibraryFailureText(UINT failureId, const char *name, DWORD error)
{
    char failure[1024];
    LoadResString(failureId, failure, sizeof failure);
    char bitness[1024];
    if (!OtherBitnessText(name, error, bitness, sizeof bitness))
        return failure;
    return std::string(failure) + "\n\n" + bitness;
}
