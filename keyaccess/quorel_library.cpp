// Binding of the smart-key library.
#include "quorel_library.h"

#include <cstring>

#include "library_loader.h"

HMODULE BindQuorelLibrary(QuorelLibrary *table)
{
    std::memset(table, 0, sizeof *table);
    HMODULE library = LoadProductLibrary("Quorel32.dll");
    if (library == nullptr)
        return nullptr;
#define QUOREL_RESOLVE(name)                                                                    \
    table->name = reinterpret_cast<PFN_##name>(reinterpret_cast<void *>(GetProcAddress(library, #name))); \
    if (table->name == nullptr) {                                                               \
        DWORD error = GetLastError();                                                           \
        FreeLibrary(library);                                                                   \
        std::memset(table, 0, sizeof *table);                                                   \
        SetLastError(error);                                                                    \
        return nullptr;                                                                         \
    }
    QUOREL_ENTRY_POINTS(QUOREL_RESOLVE)
#undef QUOREL_RESOLVE
    return library;
}
