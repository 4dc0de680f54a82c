// Configuration values of the product: strings under HKEY_CURRENT_USER\Software\Morvath\Sentrio.
#pragma once

#include <windows.h>

// Each answers TRUE on success, else FALSE with the last error: ERROR_INVALID_PARAMETER for a
// missing or empty name (or a null buffer), ERROR_FILE_NOT_FOUND for a value that does not exist,
// ERROR_MORE_DATA when `size` (terminator included) is too small (the buffer is then empty),
// ERROR_INVALID_DATA for a value that is not a string; registry errors as the registry gives them.
BOOL ReadConfigValue(const char *name, char *value, DWORD size);
BOOL WriteConfigValue(const char *name, const char *value);
BOOL DeleteConfigValue(const char *name);
