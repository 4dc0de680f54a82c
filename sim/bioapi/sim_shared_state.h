// The state of a biometric stand-in that every process sees: a fixed-size record in a named
// section backed by a file in %TEMP% (so that a control tool's settings outlive the tool), under
// a named mutex. Tests, the demo's control tool and the programs that load the stand-in (the
// admin console, the Notes client) therefore steer one simulated device.
#pragma once

#include <windows.h>

#include <cstring>

namespace simstate {

// A fixed table of named counters or failures ("BioAPI_Capture" -> value).
template <int Slots>
struct NamedValues {
    struct Entry {
        char name[40];
        uint32_t value;
        uint32_t used;
    } entries[Slots];

    uint32_t *Find(const char *name, bool create)
    {
        for (Entry &e : entries)
            if (e.used && std::strncmp(e.name, name, sizeof e.name) == 0)
                return &e.value;
        if (!create)
            return nullptr;
        for (Entry &e : entries)
            if (!e.used) {
                std::memset(&e, 0, sizeof e);
                lstrcpynA(e.name, name, sizeof e.name);
                e.used = 1;
                return &e.value;
            }
        return nullptr;
    }
    void Remove(const char *name)
    {
        for (Entry &e : entries)
            if (e.used && std::strncmp(e.name, name, sizeof e.name) == 0)
                e.used = 0;
    }
    void Clear() { std::memset(entries, 0, sizeof entries); }
};

// A pending failure with this code makes a stand-in raise an access violation inside the call
// instead of answering: a faulting outside module, on demand.
constexpr uint32_t kFaultOnDemand = 0xC0000005u;

// Writes through a null pointer the compiler cannot see (it would turn a plain one into a trap).
inline void RaiseAccessViolation()
{
    volatile uintptr_t address = 0;
    *reinterpret_cast<volatile int *>(address) = 1;
}

// Counts a call of `function` and takes a pending failure of it (0 when none).
template <typename State>
uint32_t CountAndTakeFailure(State &state, const char *function)
{
    if (uint32_t *count = state.calls.Find(function, true))
        ++*count;
    uint32_t *failure = state.failures.Find(function, false);
    if (failure == nullptr)
        return 0;
    uint32_t code = *failure;
    state.failures.Remove(function);
    return code;
}

// `State` must be plain data with a `uint32_t magic` first and a Reset() that sets the defaults.
template <typename State>
class Shared {
public:
    Shared(const char *mutexName, const char *sectionName, const char *fileName)
        : mutexName_(mutexName), sectionName_(sectionName), fileName_(fileName)
    {
    }

    // Locks the state for one scope. Without a section (it could not be made) the state is this
    // process's own.
    class Lock {
    public:
        explicit Lock(Shared &shared) : shared_(shared)
        {
            shared_.Open();
            if (shared_.mutex_ != nullptr)
                WaitForSingleObject(shared_.mutex_, INFINITE);
            state = shared_.view_ != nullptr ? shared_.view_ : &shared_.local_;
            if (state->magic != State::kMagic)
                state->Reset();
        }
        ~Lock()
        {
            if (shared_.mutex_ != nullptr && held_)
                ReleaseMutex(shared_.mutex_);
        }
        // Lets the mutex go before the scope ends (before a call faults on demand, whose scope
        // never ends).
        void Unlock()
        {
            if (shared_.mutex_ != nullptr && held_)
                ReleaseMutex(shared_.mutex_);
            held_ = false;
        }
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;
        State *state;

    private:
        Shared &shared_;
        bool held_ = true;
    };

private:
    void Open()
    {
        if (view_ != nullptr)
            return;
        if (mutex_ == nullptr)
            mutex_ = CreateMutexA(nullptr, FALSE, mutexName_);
        char path[MAX_PATH];
        DWORD n = GetTempPathA(MAX_PATH - 64, path);
        if (n == 0 || n >= MAX_PATH - 64)
            return;
        lstrcatA(path, fileName_);
        HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE mapping = CreateFileMappingA(file != INVALID_HANDLE_VALUE ? file : INVALID_HANDLE_VALUE, nullptr,
                                            PAGE_READWRITE, 0, sizeof(State), sectionName_);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (mapping == nullptr)
            return;
        view_ = static_cast<State *>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(State)));
        CloseHandle(mapping);  // the view keeps the section
    }

    const char *mutexName_;
    const char *sectionName_;
    const char *fileName_;
    HANDLE mutex_ = nullptr;
    State *view_ = nullptr;
    State local_ = {};
};

}  // namespace simstate
