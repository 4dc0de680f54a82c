// The biometric client binding over Braxial.dll and the Key's biometric record.
#include "braxial_binding.h"

#include <cstdlib>
#include <cstring>

#include "key_worker.h"
#include "library_loader.h"
#include "log.h"
#include "text_ids.h"
#include "texts.h"

namespace {

constexpr DWORD kKeyNoMemory = 0x80100006;  // the smart-card subsystem's "not enough memory"

void ShowError(HWND parent, const char *caption, const char *text)
{
    MessageBoxA(parent, text, caption != nullptr ? caption : "", MB_OK | MB_ICONERROR);
}

// Shows the message box and leaves `error` as the thread's last error.
bool FailWith(HWND parent, const char *caption, UINT id, DWORD error)
{
    char text[kSharedTextSize];
    if (id == IDS_ERROR_LOADING_MODULE)
        FormatResString(id, "braxial.dll", text, sizeof text);
    else if (id == IDS_INTERNAL_ERROR)
        FormatResString(id, static_cast<int>(ERROR_NOT_ENOUGH_MEMORY), text, sizeof text);
    else
        LoadResString(id, text, sizeof text);
    ShowError(parent, caption, text);
    SetLastError(error);
    return false;
}

// One call of the Key library under the Key layer's call lock, as every other call of it; the
// call's last error is kept.
template <typename Fn, typename... Args>
QBOOL Guarded(const KeyBirAccess &key, Fn fn, Args... args)
{
    if (key.callLock != nullptr)
        EnterCriticalSection(key.callLock);
    QBOOL result = fn(args...);
    DWORD error = GetLastError();
    if (key.callLock != nullptr)
        LeaveCriticalSection(key.callLock);
    SetLastError(error);
    return result;
}

// ---- The three workers ------------------------------------------------------------------------

bool ReadWorker(BraxialKeyWorker *block, void *context)
{
    const KeyBirAccess *key = static_cast<const KeyBirAccess *>(context);
    return Guarded(*key, key->ReadBIR, key->reader, DWORD{0}, static_cast<BYTE *>(block->buffer), &block->size) != 0;
}

bool RemoveWorker(BraxialKeyWorker *, void *context)
{
    const KeyBirAccess *key = static_cast<const KeyBirAccess *>(context);
    return Guarded(*key, key->DeleteBIR, key->reader) != 0;
}

bool WriteWorker(BraxialKeyWorker *block, void *context)
{
    const KeyBirAccess *key = static_cast<const KeyBirAccess *>(context);
    if (!Guarded(*key, key->WriteBIR, key->reader, DWORD{0}, static_cast<const BYTE *>(block->buffer), &block->size))
        return false;
    return Guarded(*key, key->SetBIRSize, key->reader, block->size) != 0;
}

bool RunWorker(HINSTANCE instance, HWND parent, const KeyBirAccess &key, KeyAccessProc worker, void *buffer,
               DWORD *size, DWORD *error)
{
    BraxialKeyWorker block = {};
    block.reader = key.reader;
    block.buffer = buffer;
    block.size = size != nullptr ? *size : 0;
    bool ok = RunKeyAccess(instance, parent, &block, worker, const_cast<KeyBirAccess *>(&key), error);
    if (size != nullptr)
        *size = block.size;
    return ok;
}

// The size of the Key's current biometric record, asked without a buffer.
bool StoredSize(const KeyBirAccess &key, DWORD *size)
{
    *size = 0;
    return Guarded(key, key.ReadBIR, key.reader, DWORD{0}, static_cast<BYTE *>(nullptr), size) != 0;
}

}  // namespace

bool LoadBraxial(BraxialLibrary *library)
{
    std::memset(library, 0, sizeof *library);
    HMODULE module = LoadProductLibrary("Braxial.dll");
    if (module == nullptr)
        return false;
    if (!ResolveBraxialApi(module, &library->api)) {
        DWORD error = GetLastError();
        FreeLibrary(module);
        std::memset(library, 0, sizeof *library);
        SetLastError(error);
        return false;
    }
    library->module = module;
    return true;
}

void FreeBraxial(BraxialLibrary *library)
{
    if (library->module != nullptr) {
        DWORD error = GetLastError();
        FreeLibrary(library->module);
        SetLastError(error);
    }
    std::memset(library, 0, sizeof *library);
}

bool VerifyKeyBIR(HINSTANCE instance, HWND parent, const char *caption, const KeyBirAccess &key)
{
    const char *context = "VerifyBIR:";
    LogMessage(kLogMilestone, context, "ReadBIR what size?");
    DWORD size = 0;
    if (!StoredSize(key, &size))
        return FailWith(parent, caption, IDS_ERROR_PROCESSING_KEY, GetLastError());
    if (size == 0)
        return true;  // the Key holds no biometric identifier

    LogMessage(kLogMilestone, context, "Load bioapi?");
    BraxialLibrary braxial;
    if (!LoadBraxial(&braxial))
        return FailWith(parent, caption, IDS_ERROR_LOADING_MODULE, GetLastError());

    BYTE *buffer = static_cast<BYTE *>(std::malloc(size));
    if (buffer == nullptr) {
        FreeBraxial(&braxial);
        return FailWith(parent, caption, IDS_INTERNAL_ERROR, ERROR_NOT_ENOUGH_MEMORY);
    }
    LogMessage(kLogMilestone, context, "ReadBIR (hinst:%X, hwnd:%X)",
               static_cast<unsigned>(reinterpret_cast<UINT_PTR>(instance)),
               static_cast<unsigned>(reinterpret_cast<UINT_PTR>(parent)));
    DWORD error = 0;
    if (!RunWorker(instance, parent, key, ReadWorker, buffer, &size, &error)) {
        std::free(buffer);
        FreeBraxial(&braxial);
        return FailWith(parent, caption, IDS_ERROR_PROCESSING_KEY, error);
    }

    LogMessage(kLogMilestone, context, "BIOVerifyBIR");
    BOOL verified = braxial.api.BioVerifyBIR_GUI(GetLanguageModule(), parent, buffer, size, nullptr, nullptr);
    error = GetLastError();
    std::free(buffer);
    FreeBraxial(&braxial);
    if (verified) {
        LogMessage(kLogMilestone, context, "exit");
        return true;
    }
    LogMessage(kLogMilestone, context, "BIOVerify return false");
    SetLastError(error);
    return false;
}

bool ReportBIRFailure(HWND parent, const char *caption, UINT id, DWORD error)
{
    return FailWith(parent, caption, id, error);
}

bool KeyBIRSize(const KeyBirAccess &key, DWORD *size)
{
    return StoredSize(key, size);
}

bool EnrolBIR(HWND parent, const char *caption, bool replacing, std::vector<BYTE> *record)
{
    record->clear();
    BraxialLibrary braxial;
    if (!LoadBraxial(&braxial))
        return FailWith(parent, caption, IDS_ERROR_LOADING_MODULE, GetLastError());

    uint32_t newSize = 0;
    if (!braxial.api.BioGetBIR_GUI(GetLanguageModule(), parent, nullptr, &newSize, replacing ? 1 : 0)) {
        DWORD error = GetLastError();
        FreeBraxial(&braxial);
        SetLastError(error);
        return false;
    }
    if (newSize == 0) {  // verification switched off
        FreeBraxial(&braxial);
        SetLastError(0);
        return true;
    }
    BYTE *buffer = static_cast<BYTE *>(std::malloc(newSize));
    if (buffer == nullptr) {
        FreeBraxial(&braxial);
        return FailWith(parent, caption, IDS_INTERNAL_ERROR, ERROR_NOT_ENOUGH_MEMORY);
    }
    uint32_t copied = newSize;
    if (!braxial.api.BioGetBIR_GUI(GetLanguageModule(), parent, buffer, &copied, 1)) {
        DWORD error = GetLastError();
        std::free(buffer);
        FreeBraxial(&braxial);
        return FailWith(parent, caption, IDS_ERROR_PROCESSING_KEY, error);
    }
    record->assign(buffer, buffer + (copied < newSize ? copied : newSize));
    std::free(buffer);
    FreeBraxial(&braxial);
    SetLastError(0);
    return true;
}

bool StoreKeyBIR(HINSTANCE instance, HWND parent, const char *caption, const KeyBirAccess &key,
                 const std::vector<BYTE> &record)
{
    DWORD error = 0;
    if (record.empty()) {
        // Verification switched off: the record goes, whether or not the Key had one.
        if (RunWorker(instance, parent, key, RemoveWorker, nullptr, nullptr, &error)) {
            SetLastError(0);
            return true;
        }
        return FailWith(parent, caption, IDS_ERROR_PROCESSING_KEY, error);
    }
    // Measured again: the Key was given back during the user's dialogs.
    DWORD currentSize = 0, freeSpace = 0;
    if (!StoredSize(key, &currentSize) ||
        !Guarded(key, key.WriteBIR, key.reader, DWORD{0}, static_cast<const BYTE *>(nullptr), &freeSpace))
        return FailWith(parent, caption, IDS_ERROR_PROCESSING_KEY, GetLastError());
    // The old record's space is reused; compared in 64 bits so that no sum wraps round.
    if (static_cast<unsigned long long>(freeSpace) + currentSize < record.size())
        return FailWith(parent, caption, IDS_KEY_NO_SPACE, kKeyNoMemory);
    DWORD length = static_cast<DWORD>(record.size());
    if (RunWorker(instance, parent, key, WriteWorker, const_cast<BYTE *>(record.data()), &length, &error)) {
        SetLastError(0);
        return true;
    }
    return FailWith(parent, caption, IDS_ERROR_PROCESSING_KEY, error);
}
