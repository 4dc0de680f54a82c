// Configuration values kept in the current user's registry key of the product.
#include "config_keys.h"

#include <vector>

namespace {

const char kConfigKey[] = "Software\\Morvath\\Sentrio";

bool ValidName(const char *name)
{
    if (name == nullptr || *name == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

BOOL Fail(LONG status)
{
    SetLastError(static_cast<DWORD>(status));
    return FALSE;
}

}  // namespace

BOOL ReadConfigValue(const char *name, char *value, DWORD size)
{
    if (!ValidName(name))
        return FALSE;
    if (value == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    value[0] = 0;
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, kConfigKey, 0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return Fail(status);
    DWORD type = 0, bytes = 0;
    status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &bytes);
    if (status == ERROR_SUCCESS && type != REG_SZ)
        status = ERROR_INVALID_DATA;
    std::vector<char> data(bytes + 1, 0);
    if (status == ERROR_SUCCESS)
        status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return Fail(status);
    data[bytes < data.size() ? bytes : data.size() - 1] = 0;  // the stored string may lack its terminator
    size_t length = lstrlenA(data.data());
    if (length + 1 > size)
        return Fail(ERROR_MORE_DATA);
    CopyMemory(value, data.data(), length + 1);
    return TRUE;
}

BOOL WriteConfigValue(const char *name, const char *value)
{
    if (!ValidName(name))
        return FALSE;
    if (value == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, kConfigKey, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return Fail(status);
    status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                            static_cast<DWORD>(lstrlenA(value) + 1));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return Fail(status);
    return TRUE;
}

BOOL DeleteConfigValue(const char *name)
{
    if (!ValidName(name))
        return FALSE;
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, kConfigKey, 0, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return Fail(status);
    status = RegDeleteValueA(key, name);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return Fail(status);
    return TRUE;
}
