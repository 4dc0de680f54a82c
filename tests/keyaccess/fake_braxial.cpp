// A scripted stand-in for Braxial.dll with which the biometric client binding is tested apart
// from Braxial's own dialogs. It is steered by environment variables of the test process, read at
// each call (the binding loads and frees the library for every operation):
//   FAKEBRAX_ENROL   what the enrolment dialog ends with: "cancel" (1223), "fail" (31),
//                    "off" (verification switched off, size 0) or the BIR text enrolled
//   FAKEBRAX_COPY    "fail": copying the enrolled BIR out fails with 87
//   FAKEBRAX_FINGER  the BIR text the user's finger matches
//   FAKEBRAX_WAIT    name of an event: the enrolment dialog signals "<name>-shown" and stays
//                    open until the test sets "<name>" (10 s at most), as a user taking their time
// Every call is appended to FAKEBRAX_CALLS ("get<mode>;", "copy;", "verify:<text>;", "lang:<0|1>;").
#include <windows.h>

#include <cstring>
#include <string>

#include "braxial_api.h"

// The stand-in's exports are declared from the callers' types, so its definitions must match them.
BRAXIAL_EXPORTS(BRAXIAL_DECLARE_EXPORT)

namespace {

std::string Env(const char *name)
{
    char value[4096];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void Note(const std::string &call)
{
    std::string calls = Env("FAKEBRAX_CALLS") + call + ";";
    SetEnvironmentVariableA("FAKEBRAX_CALLS", calls.c_str());
}

BOOL Refuse()
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

}  // namespace

extern "C" {

__declspec(dllexport) const char *__stdcall BioEnumReaders(uint32_t) { return nullptr; }
__declspec(dllexport) ReaderHandle *__stdcall BioInitReader(const char *) { return nullptr; }
__declspec(dllexport) BOOL __stdcall BioCloseReader(ReaderHandle *) { return Refuse(); }
__declspec(dllexport) BOOL __stdcall BioVerifyBIR(ReaderHandle *, const uint8_t *, uint32_t) { return Refuse(); }
__declspec(dllexport) BOOL __stdcall BioCaptureBIR(ReaderHandle *, uint8_t *, uint32_t *) { return Refuse(); }
#ifndef FAKE_BRAXIAL_LACKING
__declspec(dllexport) BOOL __stdcall BioCompareBIRS(const uint8_t *, uint32_t, const uint8_t *, uint32_t)
{
    return Refuse();
}
#endif
__declspec(dllexport) BOOL __stdcall BioCaptureBIR_GUI(HMODULE, HWND, uint8_t *, uint32_t *) { return Refuse(); }
__declspec(dllexport) BOOL __stdcall BioGetBIR(ReaderHandle *, uint8_t *, uint32_t *) { return Refuse(); }

__declspec(dllexport) BOOL __stdcall BioGetBIR_GUI(HMODULE resources, HWND, uint8_t *buffer, uint32_t *size, int mode)
{
    std::string enrol = Env("FAKEBRAX_ENROL");
    if (buffer != nullptr) {
        Note("copy");
        if (Env("FAKEBRAX_COPY") == "fail" || size == nullptr || *size < enrol.size()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::memcpy(buffer, enrol.data(), enrol.size());
        *size = static_cast<uint32_t>(enrol.size());
        SetLastError(0);
        return TRUE;
    }
    std::string wait = Env("FAKEBRAX_WAIT");
    if (!wait.empty()) {
        HANDLE shown = OpenEventA(EVENT_MODIFY_STATE, FALSE, (wait + "-shown").c_str());
        HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, wait.c_str());
        if (shown != nullptr)
            SetEvent(shown);
        if (go != nullptr)
            WaitForSingleObject(go, 10000);
        if (shown != nullptr)
            CloseHandle(shown);
        if (go != nullptr)
            CloseHandle(go);
    }
    Note("get" + std::to_string(mode));
    Note(std::string("lang:") + (resources != nullptr ? "1" : "0"));
    if (enrol == "cancel") {
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    if (enrol == "fail") {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    *size = enrol == "off" ? 0 : static_cast<uint32_t>(enrol.size());
    SetLastError(0);
    return TRUE;
}

__declspec(dllexport) BOOL __stdcall BioVerifyBIR_GUI(HMODULE, HWND, const uint8_t *stored, uint32_t storedLength,
                                                      uint8_t *, uint32_t *)
{
    std::string text(reinterpret_cast<const char *>(stored), storedLength);
    Note("verify:" + text);
    if (text == Env("FAKEBRAX_FINGER")) {
        SetLastError(0);
        return TRUE;
    }
    SetLastError(ERROR_INTERNAL_ERROR);  // the user gave up retrying
    return FALSE;
}

}  // extern "C"
