// Braxial.dll as its callers see it: the types of its ten exports and one typed table of them,
// filled by name in a fixed order. Braxial itself and every stand-in of it declare their exports
// from these types (BRAXIAL_DECLARE_EXPORT), so an export whose signature differs does not compile.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

// Braxial's open-reader block; callers only pass its address back.
struct ReaderHandle;

// All exports report details through the thread's last-error code. BIR strings travel in buffers
// owned by the caller, always with their length; sizes are in/out for the two-call protocol (a
// null buffer asks for the size, last error 8).
typedef const char *(__stdcall *PFN_BioEnumReaders)(uint32_t index);
typedef ReaderHandle *(__stdcall *PFN_BioInitReader)(const char *name);
typedef BOOL(__stdcall *PFN_BioCloseReader)(ReaderHandle *handle);
typedef BOOL(__stdcall *PFN_BioGetBIR)(ReaderHandle *handle, uint8_t *buffer, uint32_t *size);
typedef BOOL(__stdcall *PFN_BioVerifyBIR)(ReaderHandle *handle, const uint8_t *stored, uint32_t length);
typedef BOOL(__stdcall *PFN_BioCaptureBIR)(ReaderHandle *handle, uint8_t *buffer, uint32_t *size);
typedef BOOL(__stdcall *PFN_BioCompareBIRS)(const uint8_t *captured, uint32_t capturedLength, const uint8_t *stored,
                                            uint32_t storedLength);
// The dialog flows. `resources` is the caller's language module, or none for Braxial's own texts.
typedef BOOL(__stdcall *PFN_BioGetBIR_GUI)(HMODULE resources, HWND parent, uint8_t *buffer, uint32_t *size,
                                           int mode);
typedef BOOL(__stdcall *PFN_BioCaptureBIR_GUI)(HMODULE resources, HWND parent, uint8_t *buffer, uint32_t *size);
typedef BOOL(__stdcall *PFN_BioVerifyBIR_GUI)(HMODULE resources, HWND parent, const uint8_t *stored,
                                              uint32_t storedLength, uint8_t *buffer, uint32_t *size);

// X-list of the exports in the order the client binding looks them up.
#define BRAXIAL_EXPORTS(X)                                                                      \
    X(BioEnumReaders) X(BioInitReader) X(BioCloseReader) X(BioVerifyBIR) X(BioGetBIR_GUI)       \
    X(BioVerifyBIR_GUI) X(BioCaptureBIR) X(BioCompareBIRS) X(BioCaptureBIR_GUI) X(BioGetBIR)

constexpr int kBraxialExportCount = 10;

// Declares one export with its typed signature; a definition that differs from it then fails to
// compile ("conflicting declaration of C function").
#define BRAXIAL_DECLARE_EXPORT(name) extern "C" std::remove_pointer_t<PFN_##name> name;

struct BraxialApi {
#define BRAXIAL_MEMBER(name) PFN_##name name;
    BRAXIAL_EXPORTS(BRAXIAL_MEMBER)
#undef BRAXIAL_MEMBER
};

// Looks up every export of the loaded `module` by name, in order. When one is missing the table is
// cleared, the last-error code of the failed look-up kept, and false returned; the module stays
// loaded (its owner frees it).
inline bool ResolveBraxialApi(HMODULE module, BraxialApi *api)
{
    std::memset(api, 0, sizeof *api);
#define BRAXIAL_RESOLVE(name)                                                                  \
    api->name = reinterpret_cast<PFN_##name>(reinterpret_cast<void *>(GetProcAddress(module, #name))); \
    if (api->name == nullptr) {                                                                \
        DWORD error = GetLastError();                                                          \
        std::memset(api, 0, sizeof *api);                                                      \
        SetLastError(error);                                                                   \
        return false;                                                                          \
    }
    BRAXIAL_EXPORTS(BRAXIAL_RESOLVE)
#undef BRAXIAL_RESOLVE
    return true;
}
