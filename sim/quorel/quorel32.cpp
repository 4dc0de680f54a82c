// Stand-in for Quorel32.dll, the smart-key library: virtual Key readers and Keys.
//
// It offers the 34 entry points the product resolves (__stdcall, flags as one byte, details in the
// thread's last error) and reproduces what the product relies on: InitCard's status codes, the
// "nothing new" answer -5 after CloseCard with flag 1, PIN tries that block the Key, UnblockPIN,
// data and biometric areas with allocated sizes (SCARD_E_NO_MEMORY past them), labels, card ids,
// random bytes from the system generator and AnyReadersChanges. The 13 entry points the product
// never calls refuse with ERROR_CALL_NOT_IMPLEMENTED.
//
// State shared by all processes lives in the section "QuorelSim_State_<size>" (backed by the file
// %TEMP%\QuorelSim-<size>.state, <size> that of the layout) under the mutex "QuorelSim_Mutex"; reader handles and what each handle already knows about its Key belong to the
// process. Control it through quorel_control.h (Qsim* exports) or quorelctl.exe.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "quorel_control.h"
#include "quorel_library.h"

extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);  // RtlGenRandom

namespace {

constexpr DWORD kNoMemory = 0x80100006;
constexpr DWORD kInvalidParameter = 0x80100004;
constexpr DWORD kInsufficientBuffer = 0x80100008;
constexpr DWORD kUnknownReader = 0x80100009;
constexpr DWORD kNotReady = 0x80100010;
constexpr DWORD kInvalidValue = 0x80100011;
constexpr DWORD kReaderUnavailable = 0x80100017;
constexpr DWORD kCardUnsupported = 0x8010001C;
constexpr DWORD kFileNotFound = 0x80100024;
constexpr DWORD kRemovedCard = 0x80100069;
constexpr DWORD kSecurityViolation = 0x8010006A;
constexpr DWORD kWrongChv = 0x8010006B;
constexpr DWORD kChvBlocked = 0x8010006C;

constexpr int kMaxReaders = 48;
constexpr int kMaxKeys = 16;
constexpr DWORD kMaxArea225 = 65536;
constexpr DWORD kMaxArea227 = 16384;
constexpr DWORD kMagic = 0x51534D31;  // "QSM1"
constexpr char kIssuerSecret[] = "QUOREL-ISSUER";

struct SimReader {
    int used;
    char name[256];  // whole, as a PC's reader names can be long
    int key;       // 1-based, 0 none
    DWORD serial;  // never reused: a handle to a removed reader stays dead
};

struct SimKey {
    int used;
    QsimKeyState s;
    char secret[32];
    DWORD generation;  // changes whenever the Key's presence or PIN state changes
    BYTE data225[kMaxArea225];
    BYTE data227[kMaxArea227];
};

struct SimFailure {
    char entry[32];
    DWORD lastError;
    int result;
    int times;
    int skip;  // calls of the entry let through before the failures start
    int pullKey;  // not 0: the call pulls this Key from its reader and goes on, instead of failing
};

const char *const kCounted[] = {
#define QUOREL_NAME(name) #name,
    QUOREL_ENTRY_POINTS(QUOREL_NAME)
#undef QUOREL_NAME
};
constexpr int kCountedEntries = sizeof kCounted / sizeof kCounted[0];
constexpr LONG kTraceSize = 512;

LONGLONG Micros(const LARGE_INTEGER &t)
{
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart == 0)
        return 0;
    return t.QuadPart / frequency.QuadPart * 1000000 + t.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

struct SimShared {
    DWORD magic;
    DWORD readersGeneration;
    DWORD nextSerial;
    DWORD nextGeneration;
    DWORD latencyMs, bytesPerSecond;
    SimReader readers[kMaxReaders];
    SimKey keys[kMaxKeys];
    SimFailure failures[8];
    DWORD counts[kCountedEntries];
    DWORD delays[kCountedEntries];  // extra ms per call of each entry (appended: older files read 0)
    LONGLONG callMicros;            // time spent inside the counted entries, by every caller
    DWORD callsAfterDetach;         // calls made in a process after the stand-in's detach there
    DWORD commandSize;              // bytes a reader moves per command: data moves in such chunks
    DWORD chunksWritten;            // chunks of area writes that reached a Key since the reset
    int chunkPullKey;               // not 0: this Key is pulled before the chunk after chunkPullSkip more
    int chunkPullSkip;
    volatile LONG departures;       // counts every Key leaving its reader (a chunk's wait ends on it)
    LONG traceOn;                   // the counted calls are written into `trace` (a ring)
    LONG traceNext;                 // calls traced since QsimTraceCalls started it
    QsimTraceEntry trace[kTraceSize];
};

struct Opener {
    int used;
    DWORD serial;     // reader
    int open;         // InitCard opened the Key
    int verified;     // VerifyPIN accepted since
    int key;          // the Key opened / known
    DWORD generation; // the Key's generation when opened / known
    int known;        // CloseCard flag 1: the next InitCard may answer -5
    DWORD app;
};

constexpr int kMaxOpeners = 128;
constexpr DWORD kDefaultCommandSize = 255;  // a short APDU's data: what one command moves
constexpr DWORD kPauseSliceMs = 2;          // how often a chunk's wait looks for a departed Key
constexpr DWORD kHandleBase = 0x51000000;

HANDLE g_mutex = nullptr;
HANDLE g_mapping = nullptr;
SimShared *g_shared = nullptr;
bool g_detached = false;  // this process is ending and the stand-in had its detach
Opener g_openers[kMaxOpeners];
DWORD g_seenReadersGeneration = 0;
char g_enumNames[kMaxReaders][256];

void ResetShared()
{
    std::memset(g_shared, 0, sizeof *g_shared);
    g_shared->magic = kMagic;
    g_shared->nextSerial = 1;
    g_shared->nextGeneration = 1;
    g_shared->commandSize = kDefaultCommandSize;
}

void PullKeyLocked(int key);

// Holds the named mutex; counts the call and applies a pending failure of entry `entry`.
class Locked {
public:
    explicit Locked(const char *entry = nullptr)
    {
        if (g_detached && g_shared != nullptr)
            InterlockedIncrement(reinterpret_cast<volatile LONG *>(&g_shared->callsAfterDetach));
        if (g_mutex != nullptr && !g_detached)
            WaitForSingleObject(g_mutex, INFINITE);
        if (entry == nullptr || g_shared == nullptr)
            return;
        timed_ = QueryPerformanceCounter(&start_) != 0;
        for (int i = 0; i < kCountedEntries; ++i) {
            if (std::strcmp(kCounted[i], entry) == 0) {
                ++g_shared->counts[i];
                delay_ = g_shared->delays[i];
                entry_ = i;
            }
        }
        for (SimFailure &f : g_shared->failures) {
            if (f.times > 0 && std::strcmp(f.entry, entry) == 0) {
                if (f.skip > 0) {
                    --f.skip;
                    break;
                }
                --f.times;
                if (f.pullKey != 0) {
                    PullKeyLocked(f.pullKey);  // the call meets the Key gone, as the calls after it
                    break;
                }
                failed_ = true;
                error_ = f.lastError;
                result_ = f.result;
                break;
            }
        }
    }
    ~Locked()
    {
        DWORD ms = 0;
        if (g_shared != nullptr && card_) {
            ms = g_shared->latencyMs;
            if (g_shared->bytesPerSecond != 0)
                ms += static_cast<DWORD>((static_cast<unsigned long long>(bytes_) * 1000) / g_shared->bytesPerSecond);
        }
        ms += delay_;
        if (g_mutex != nullptr && !g_detached)
            ReleaseMutex(g_mutex);
        if (ms != 0)
            Sleep(ms);
        LARGE_INTEGER end, frequency;
        if (timed_ && g_shared != nullptr && QueryPerformanceCounter(&end) && QueryPerformanceFrequency(&frequency) &&
            frequency.QuadPart != 0) {
            InterlockedExchangeAdd64(&g_shared->callMicros,
                                     (end.QuadPart - start_.QuadPart) * 1000000 / frequency.QuadPart);
            if (entry_ >= 0 && InterlockedCompareExchange(&g_shared->traceOn, 0, 0) != 0) {
                LONG at = InterlockedIncrement(&g_shared->traceNext) - 1;
                QsimTraceEntry &t = g_shared->trace[at % kTraceSize];
                t.entry = static_cast<DWORD>(entry_);
                t.process = GetCurrentProcessId();
                t.thread = GetCurrentThreadId();
                t.startMicros = Micros(start_);
                t.micros = static_cast<DWORD>((end.QuadPart - start_.QuadPart) * 1000000 / frequency.QuadPart);
            }
        }
        SetLastError(lastError_);
    }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

    bool failed() const { return failed_; }
    int result() const { return result_; }
    // The failure injected for this call: sets its error and answers the failure flag.
    QBOOL fail() { return error(error_); }
    QBOOL error(DWORD code) { lastError_ = code; return 0; }
    QBOOL ok() { lastError_ = 0; return 1; }
    void setError(DWORD code) { lastError_ = code; }
    // This call reaches the Key: it takes the configured latency, plus `bytes` at the set speed.
    void card(DWORD bytes = 0) { card_ = true; bytes_ = bytes; }
    // The time one command takes at the set speed, moving the bytes from `from` to `to` of a call's
    // data (counted from the call's start, so that the milliseconds the chunks round away add
    // up), spent with the lock given up so that the Key can be pulled meanwhile; ends early when
    // a Key leaves its reader. True when a Key left (the caller looks whether it was its own).
    bool pause(DWORD from, DWORD to)
    {
        if (g_shared == nullptr || g_shared->bytesPerSecond == 0 || to <= from)
            return false;
        auto at = [](DWORD bytes) {
            return static_cast<DWORD>((static_cast<unsigned long long>(bytes) * 1000) / g_shared->bytesPerSecond);
        };
        DWORD ms = at(to) - at(from);
        LONG departures = g_shared->departures;
        if (g_mutex != nullptr && !g_detached)
            ReleaseMutex(g_mutex);
        bool left = false;
        for (DWORD start = GetTickCount(); !left && GetTickCount() - start < ms;) {
            DWORD rest = ms - (GetTickCount() - start);
            Sleep(rest < kPauseSliceMs ? rest : kPauseSliceMs);
            left = g_shared->departures != departures;
        }
        if (g_mutex != nullptr && !g_detached)
            WaitForSingleObject(g_mutex, INFINITE);
        return left || g_shared->departures != departures;
    }

private:
    bool failed_ = false;
    DWORD error_ = 0;
    int result_ = 0;
    DWORD lastError_ = 0;
    bool card_ = false;
    DWORD bytes_ = 0;
    DWORD delay_ = 0;
    int entry_ = -1;
    bool timed_ = false;
    LARGE_INTEGER start_ = {};
};

SimReader *ReaderBySerial(DWORD serial)
{
    for (SimReader &r : g_shared->readers)
        if (r.used && r.serial == serial)
            return &r;
    return nullptr;
}

SimReader *ReaderByName(const char *name)
{
    if (name == nullptr)
        return nullptr;
    for (SimReader &r : g_shared->readers)
        if (r.used && std::strcmp(r.name, name) == 0)
            return &r;
    return nullptr;
}

SimKey *KeyByNumber(int key)
{
    if (key < 1 || key > kMaxKeys || !g_shared->keys[key - 1].used)
        return nullptr;
    return &g_shared->keys[key - 1];
}

Opener *OpenerOf(DWORD h)
{
    if (h <= kHandleBase || h > kHandleBase + kMaxOpeners)
        return nullptr;
    Opener *o = &g_openers[h - kHandleBase - 1];
    return o->used ? o : nullptr;
}

void Touch(SimKey *k)
{
    k->generation = g_shared->nextGeneration++;
}

// Pulls Key `key` from its reader; with the mutex held.
void PullKeyLocked(int key)
{
    SimKey *k = KeyByNumber(key);
    if (k == nullptr || k->s.reader[0] == 0)
        return;
    if (SimReader *r = ReaderByName(k->s.reader))
        r->key = 0;
    k->s.reader[0] = 0;
    Touch(k);
    InterlockedIncrement(&g_shared->departures);
}

// The Key this handle opened, if it is still in its reader; else null with the reason in `error`.
SimKey *OpenedKey(DWORD h, DWORD *error, Opener **opener = nullptr)
{
    Opener *o = OpenerOf(h);
    if (o == nullptr) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (opener != nullptr)
        *opener = o;
    SimReader *r = ReaderBySerial(o->serial);
    if (r == nullptr) {
        *error = kReaderUnavailable;
        return nullptr;
    }
    if (!o->open) {
        *error = kNotReady;
        return nullptr;
    }
    SimKey *k = KeyByNumber(r->key);
    if (k == nullptr || r->key != o->key || k->generation != o->generation) {
        *error = kRemovedCard;
        return nullptr;
    }
    return k;
}

// Like OpenedKey, and the PIN must have been given (or the Key has none).
SimKey *UnlockedKey(DWORD h, DWORD *error, Opener **opener = nullptr)
{
    Opener *o = nullptr;
    SimKey *k = OpenedKey(h, error, &o);
    if (opener != nullptr)
        *opener = o;
    if (k == nullptr)
        return nullptr;
    if (k->s.finallyBlocked || k->s.tries <= 0) {
        *error = kChvBlocked;
        return nullptr;
    }
    if (!k->s.formatted) {
        *error = kCardUnsupported;
        return nullptr;
    }
    if (!o->verified && k->s.pin[0] != 0) {
        *error = kSecurityViolation;
        return nullptr;
    }
    return k;
}

enum class KeyNeed { kOpened, kUnlocked };

// The start every Key entry point shares: the card's latency (for `bytes` moved), a failure planted for the entry, and
// the Key behind the handle (opened, or opened with its PIN verified). Null when the call is
// refused; `refused` then holds the entry's answer.
SimKey *BeginKeyCall(Locked &lock, DWORD h, KeyNeed need, QBOOL *refused, Opener **opener = nullptr,
                     DWORD bytes = 0)
{
    lock.card(bytes);
    if (lock.failed()) {
        *refused = lock.fail();
        return nullptr;
    }
    DWORD error = 0;
    SimKey *k = need == KeyNeed::kUnlocked ? UnlockedKey(h, &error, opener) : OpenedKey(h, &error, opener);
    if (k == nullptr)
        *refused = lock.error(error);
    return k;
}

struct Area {
    BYTE *data;
    DWORD *size;
    DWORD allocated;
};

bool AreaOf(SimKey *k, DWORD app, Area *area)
{
    if (app == 225) {
        *area = {k->data225, &k->s.size225, k->s.allocated225};
        return true;
    }
    if (app == 227) {
        *area = {k->data227, &k->s.size227, k->s.allocated227};
        return true;
    }
    return false;
}

// The Key behind `h` is still the one the call began with (not pulled, not exchanged).
bool StillThere(DWORD h, const SimKey *k)
{
    DWORD error = 0;
    return OpenedKey(h, &error) == k;
}

// The pull planned after a number of chunks of area writes, if it is due now (before the next
// chunk, or right after the last chunk of a write).
void PlannedChunkPull()
{
    if (g_shared->chunkPullKey == 0 || g_shared->chunkPullSkip > 0)
        return;
    int key = g_shared->chunkPullKey;
    g_shared->chunkPullKey = 0;
    PullKeyLocked(key);
}

// A chunk landed: one less to let through before the planned pull.
void ChunkLanded()
{
    ++g_shared->chunksWritten;
    if (g_shared->chunkPullKey != 0 && g_shared->chunkPullSkip > 0)
        --g_shared->chunkPullSkip;
}

DWORD CommandSize()
{
    return g_shared->commandSize != 0 ? g_shared->commandSize : kDefaultCommandSize;
}

// Reads move at card speed, one command's chunk after the other; a Key pulled meanwhile ends the
// read at once, failed, as a card does.
QBOOL ReadArea(Locked &lock, DWORD h, SimKey *k, DWORD app, DWORD offset, BYTE *buffer, DWORD *length)
{
    Area a;
    if (!AreaOf(k, app, &a))
        return lock.error(kFileNotFound);
    if (length == nullptr)
        return lock.error(kInvalidParameter);
    if (buffer == nullptr) {
        *length = *a.size;
        return lock.ok();
    }
    if (offset > *a.size)
        return lock.error(kInvalidParameter);
    DWORD available = *a.size - offset;
    if (*length < available) {
        *length = available;
        return lock.error(kInsufficientBuffer);
    }
    for (DWORD done = 0; done < available;) {
        DWORD chunk = available - done < CommandSize() ? available - done : CommandSize();
        lock.pause(done, done + chunk);
        if (!StillThere(h, k) || offset + done + chunk > *a.size)
            return lock.error(kRemovedCard);
        std::memcpy(buffer + done, a.data + offset + done, chunk);
        done += chunk;
    }
    *length = available;
    return lock.ok();
}

// Writes go on at card speed in chunks of one command each. A Key pulled between two chunks (or
// during one: its bytes never land) fails the write and keeps the chunks that landed over the old
// bytes, with the area's old data size: the torn state a real card is left in.
QBOOL WriteArea(Locked &lock, DWORD h, SimKey *k, DWORD app, DWORD offset, const BYTE *buffer, DWORD *length)
{
    Area a;
    if (!AreaOf(k, app, &a))
        return lock.error(kFileNotFound);
    if (length == nullptr || buffer == nullptr)
        return lock.error(kInvalidParameter);
    if (offset > a.allocated || *length > a.allocated - offset)
        return lock.error(kNoMemory);
    DWORD total = *length;
    for (DWORD done = 0; done < total;) {
        DWORD chunk = total - done < CommandSize() ? total - done : CommandSize();
        PlannedChunkPull();
        lock.pause(done, done + chunk);
        if (!StillThere(h, k))
            return lock.error(kRemovedCard);
        std::memcpy(a.data + offset + done, buffer + done, chunk);
        ChunkLanded();
        done += chunk;
    }
    if (offset + total > *a.size)
        *a.size = offset + total;
    // Pulled right after the last chunk: the write is whole, and what follows meets the Key gone.
    PlannedChunkPull();
    return lock.ok();
}

QBOOL SetAreaSize(Locked &lock, SimKey *k, DWORD app, DWORD size)
{
    Area a;
    if (!AreaOf(k, app, &a))
        return lock.error(kFileNotFound);
    if (size > a.allocated)
        return lock.error(kNoMemory);
    if (size > *a.size)
        std::memset(a.data + *a.size, 0, size - *a.size);
    *a.size = size;
    return lock.ok();
}

bool ValidPin(const char *pin)
{
    return pin != nullptr && std::strlen(pin) <= 8;
}

void Append(char *buffer, DWORD size, DWORD *used, const char *format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (n >= static_cast<int>(sizeof line))
        n = sizeof line - 1;
    if (buffer != nullptr && *used < size) {
        DWORD room = size - *used;
        DWORD copy = static_cast<DWORD>(n) < room ? static_cast<DWORD>(n) : room - 1;
        std::memcpy(buffer + *used, line, copy);
        buffer[*used + copy] = 0;
    }
    *used += static_cast<DWORD>(n);
}

}  // namespace

// ---- The library's entry points -----------------------------------------------------------------

extern "C" {

const char *__stdcall EnumReaders(DWORD index)
{
    Locked lock("EnumReaders");
    if (lock.failed()) {
        lock.fail();
        return nullptr;
    }
    DWORD n = 0;
    for (SimReader &r : g_shared->readers) {
        if (!r.used)
            continue;
        if (n == index) {
            std::memcpy(g_enumNames[index % kMaxReaders], r.name, sizeof r.name);
            lock.ok();
            return g_enumNames[index % kMaxReaders];
        }
        ++n;
    }
    lock.error(ERROR_NO_MORE_ITEMS);
    return nullptr;
}

DWORD __stdcall InitReader(const char *name)
{
    Locked lock("InitReader");
    if (lock.failed()) {
        lock.fail();
        return 0;
    }
    SimReader *r = ReaderByName(name);
    if (r == nullptr) {
        lock.error(kUnknownReader);
        return 0;
    }
    for (int i = 0; i < kMaxOpeners; ++i) {
        if (!g_openers[i].used) {
            g_openers[i] = Opener{};
            g_openers[i].used = 1;
            g_openers[i].serial = r->serial;
            lock.ok();
            return kHandleBase + i + 1;
        }
    }
    lock.error(ERROR_TOO_MANY_OPEN_FILES);
    return 0;
}

QBOOL __stdcall CloseReader(DWORD h)
{
    Locked lock("CloseReader");
    if (lock.failed())
        return lock.fail();
    Opener *o = OpenerOf(h);
    if (o == nullptr)
        return lock.error(ERROR_INVALID_HANDLE);
    *o = Opener{};
    return lock.ok();
}

int __stdcall InitCard(DWORD h, DWORD appId)
{
    Locked lock("InitCard");
    lock.card();
    if (lock.failed()) {
        lock.fail();
        return lock.result() != 0 ? lock.result() : kInitCardKeyError;
    }
    Opener *o = OpenerOf(h);
    if (o == nullptr) {
        lock.setError(ERROR_INVALID_HANDLE);
        return kInitCardKeyError;
    }
    SimReader *r = ReaderBySerial(o->serial);
    if (r == nullptr) {
        o->open = 0;
        lock.setError(kReaderUnavailable);
        return kInitCardNoKey;
    }
    SimKey *k = KeyByNumber(r->key);
    if (k == nullptr) {
        o->open = 0;
        o->known = 0;
        lock.setError(kRemovedCard);
        return kInitCardNoKey;
    }
    if (o->known && o->key == r->key && o->generation == k->generation) {
        lock.setError(0);
        return kInitCardUnchanged;
    }
    o->open = 1;
    o->verified = 0;
    o->known = 0;
    o->key = r->key;
    o->generation = k->generation;
    o->app = appId;
    lock.setError(0);
    if (!k->s.formatted)
        return kInitCardNotFormatted;
    if (k->s.finallyBlocked)
        return kInitCardFinallyBlocked;
    if (k->s.tries <= 0)
        return kInitCardBlocked;
    if (k->s.pin[0] == 0)
        return kInitCardTriesUnknown;  // no PIN set: the tries are not known
    return k->s.tries;
}

QBOOL __stdcall CloseCard(DWORD h, DWORD flag)
{
    Locked lock("CloseCard");
    if (lock.failed())
        return lock.fail();
    Opener *o = OpenerOf(h);
    if (o == nullptr)
        return lock.error(ERROR_INVALID_HANDLE);
    SimReader *r = ReaderBySerial(o->serial);
    SimKey *k = r != nullptr ? KeyByNumber(r->key) : nullptr;
    // After an InitCard that answered -5 nothing was opened: flag 1 leaves what the handle knows
    // as it was, so the unchanged Key answers -5 again, for ever; only flag 0 makes the next
    // InitCard report it afresh (a caller retrying -5 with flag 1 never gets past it).
    if (!o->open && o->known && flag != 0)
        return lock.ok();
    // Flag 1: the Key counts as known, so that an unchanged Key answers -5 next time. A Key that
    // still waits for its PIN is never "known": each InitCard reports it, so that a PIN handed in
    // later is tried on the next visit.
    bool waitsForPin = k != nullptr && k->s.formatted && !k->s.finallyBlocked && k->s.tries > 0 &&
                       k->s.pin[0] != 0 && !o->verified;
    o->known = flag == 1 && k != nullptr && o->key == r->key && o->generation == k->generation && !waitsForPin;
    o->open = 0;
    o->verified = 0;
    return lock.ok();
}

// A wrong PIN costs a try; the last one blocks the Key. Returns the error to report.
static DWORD SpendTry(SimKey *k, Opener *o)
{
    --k->s.tries;
    Touch(k);
    o->generation = k->generation;
    return k->s.tries <= 0 ? kChvBlocked : kWrongChv;
}

QBOOL __stdcall VerifyPIN(DWORD h, const char *pin)
{
    Locked lock("VerifyPIN");
    QBOOL refused = 0;
    Opener *o = nullptr;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kOpened, &refused, &o);
    if (k == nullptr)
        return refused;
    if (!k->s.formatted)
        return lock.error(kCardUnsupported);
    if (k->s.finallyBlocked || k->s.tries <= 0)
        return lock.error(kChvBlocked);
    if (pin == nullptr)
        return lock.error(kInvalidParameter);
    if (pin[0] == 0 && k->s.pin[0] != 0)
        return lock.error(kWrongChv);  // no PIN presented: refused, no try spent
    if (k->s.pin[0] == 0 || std::strcmp(k->s.pin, pin) == 0) {
        if (k->s.tries != 3) {
            k->s.tries = 3;
            Touch(k);
            o->generation = k->generation;
        }
        o->verified = 1;
        return lock.ok();
    }
    return lock.error(SpendTry(k, o));
}

QBOOL __stdcall ChangePIN(DWORD h, const char *oldPin, const char *newPin)
{
    Locked lock("ChangePIN");
    QBOOL refused = 0;
    Opener *o = nullptr;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kOpened, &refused, &o);
    if (k == nullptr)
        return refused;
    if (k->s.finallyBlocked || k->s.tries <= 0)
        return lock.error(kChvBlocked);
    if (oldPin == nullptr || !ValidPin(newPin))
        return lock.error(kInvalidParameter);
    if (k->s.pin[0] != 0 && std::strcmp(k->s.pin, oldPin) != 0) {
        return lock.error(SpendTry(k, o));
    }
    std::strcpy(k->s.pin, newPin);
    k->s.tries = 3;
    o->verified = 1;
    return lock.ok();
}

QBOOL __stdcall UnblockPIN(DWORD h, const char *newPin)
{
    Locked lock("UnblockPIN");
    QBOOL refused = 0;
    Opener *o = nullptr;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kOpened, &refused, &o);
    if (k == nullptr)
        return refused;
    if (!ValidPin(newPin))
        return lock.error(kInvalidParameter);
    if (k->s.finallyBlocked)
        return lock.error(kChvBlocked);
    if (k->s.tries > 0)
        return lock.error(ERROR_INVALID_STATE);
    // The library unblocks with the issuer's credential; a Key issued with another secret refuses,
    // and three refusals block it for good.
    if (std::strcmp(k->secret, kIssuerSecret) != 0) {
        if (++k->s.unblockTries >= 3)
            k->s.finallyBlocked = 1;
        Touch(k);
        o->generation = k->generation;
        return lock.error(kSecurityViolation);
    }
    std::strcpy(k->s.pin, newPin);
    k->s.tries = 3;
    k->s.unblockTries = 0;
    Touch(k);
    o->generation = k->generation;
    return lock.ok();
}

QBOOL __stdcall ReadData(DWORD h, DWORD offset, BYTE *buffer, DWORD *length)
{
    Locked lock("ReadData");
    QBOOL refused = 0;
    Opener *o = nullptr;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kUnlocked, &refused, &o);
    if (k == nullptr)
        return refused;
    return ReadArea(lock, h, k, o->app, offset, buffer, length);
}

QBOOL __stdcall WriteData(DWORD h, DWORD offset, const BYTE *buffer, DWORD *length)
{
    Locked lock("WriteData");
    QBOOL refused = 0;
    Opener *o = nullptr;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kUnlocked, &refused, &o);
    if (k == nullptr)
        return refused;
    return WriteArea(lock, h, k, o->app, offset, buffer, length);
}

QBOOL __stdcall SetDataSize(DWORD h, DWORD size)
{
    Locked lock("SetDataSize");
    QBOOL refused = 0;
    Opener *o = nullptr;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kUnlocked, &refused, &o);
    if (k == nullptr)
        return refused;
    return SetAreaSize(lock, k, o->app, size);
}

QBOOL __stdcall GetRandom(DWORD h, BYTE *buffer, DWORD length)
{
    Locked lock("GetRandom");
    QBOOL refused = 0;
    if (BeginKeyCall(lock, h, KeyNeed::kOpened, &refused, nullptr, length) == nullptr)
        return refused;
    if (buffer == nullptr && length != 0)
        return lock.error(kInvalidParameter);
    if (length != 0 && !SystemFunction036(buffer, length))
        return lock.error(ERROR_GEN_FAILURE);
    return lock.ok();
}

QBOOL __stdcall GetCardID(DWORD h, BYTE *buffer, DWORD *length)
{
    Locked lock("GetCardID");
    QBOOL refused = 0;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kOpened, &refused, nullptr, 8);
    if (k == nullptr)
        return refused;
    if (length == nullptr)
        return lock.error(kInvalidParameter);
    if (buffer == nullptr || *length < 8) {
        *length = 8;
        return lock.error(kInsufficientBuffer);
    }
    std::memcpy(buffer, k->s.cardId, 8);
    *length = 8;
    return lock.ok();
}

QBOOL __stdcall GetApplicationInfo(DWORD h, DWORD appId, DWORD *allocated, DWORD *freeSpace)
{
    Locked lock("GetApplicationInfo");
    QBOOL refused = 0;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kOpened, &refused);
    if (k == nullptr)
        return refused;
    if (allocated == nullptr || freeSpace == nullptr)
        return lock.error(kInvalidParameter);
    if (appId == 0) {
        DWORD used = k->s.size225 + k->s.size227;
        *allocated = k->s.capacity;
        *freeSpace = k->s.capacity > used ? k->s.capacity - used : 0;
        return lock.ok();
    }
    Area a;
    if (!AreaOf(k, appId, &a))
        return lock.error(kFileNotFound);
    *allocated = a.allocated;
    *freeSpace = a.allocated - *a.size;
    return lock.ok();
}

QBOOL __stdcall ReadLabel(DWORD h, char *label)
{
    Locked lock("ReadLabel");
    QBOOL refused = 0;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kOpened, &refused, nullptr, 32);
    if (k == nullptr)
        return refused;
    if (label == nullptr)
        return lock.error(kInvalidParameter);
    std::memcpy(label, k->s.label, sizeof k->s.label);
    return lock.ok();
}

QBOOL __stdcall WriteLabel(DWORD h, const char *label)
{
    Locked lock("WriteLabel");
    QBOOL refused = 0;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kUnlocked, &refused, nullptr, 32);
    if (k == nullptr)
        return refused;
    if (label == nullptr)
        return lock.error(kInvalidParameter);
    std::memset(k->s.label, 0, sizeof k->s.label);
    std::strncpy(k->s.label, label, sizeof k->s.label - 1);
    return lock.ok();
}

QBOOL __stdcall ReadBIR(DWORD h, DWORD offset, BYTE *buffer, DWORD *length)
{
    Locked lock("ReadBIR");
    QBOOL refused = 0;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kUnlocked, &refused);
    if (k == nullptr)
        return refused;
    return ReadArea(lock, h, k, 227, offset, buffer, length);
}

QBOOL __stdcall WriteBIR(DWORD h, DWORD offset, const BYTE *buffer, DWORD *length)
{
    Locked lock("WriteBIR");
    QBOOL refused = 0;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kUnlocked, &refused);
    if (k == nullptr)
        return refused;
    if (buffer == nullptr) {
        if (length == nullptr)
            return lock.error(kInvalidParameter);
        *length = k->s.allocated227 - k->s.size227;  // the space still free for the record
        return lock.ok();
    }
    return WriteArea(lock, h, k, 227, offset, buffer, length);
}

QBOOL __stdcall SetBIRSize(DWORD h, DWORD size)
{
    Locked lock("SetBIRSize");
    QBOOL refused = 0;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kUnlocked, &refused);
    if (k == nullptr)
        return refused;
    return SetAreaSize(lock, k, 227, size);
}

QBOOL __stdcall DeleteBIR(DWORD h)
{
    Locked lock("DeleteBIR");
    QBOOL refused = 0;
    SimKey *k = BeginKeyCall(lock, h, KeyNeed::kUnlocked, &refused);
    if (k == nullptr)
        return refused;
    return SetAreaSize(lock, k, 227, 0);
}

QBOOL __stdcall AnyReadersChanges(DWORD)
{
    Locked lock("AnyReadersChanges");
    if (lock.failed())
        return lock.fail();
    bool changed = g_shared->readersGeneration != g_seenReadersGeneration;
    g_seenReadersGeneration = g_shared->readersGeneration;
    lock.ok();
    return changed ? 1 : 0;
}

// Entry points the product resolves but never calls: they refuse plainly.
#define QUOREL_REFUSE(name, result, ...)                                                        \
    result __stdcall name(__VA_ARGS__)                                                          \
    {                                                                                           \
        Locked lock(#name);                                                                     \
        lock.error(ERROR_CALL_NOT_IMPLEMENTED);                                                 \
        return 0;                                                                               \
    }
QUOREL_REFUSE(DeleteData, QBOOL, DWORD)
QUOREL_REFUSE(GetReaderName, QBOOL, DWORD, char *, DWORD)
QUOREL_REFUSE(GetReaderType, DWORD, DWORD)
QUOREL_REFUSE(IsDataExist, QBOOL, DWORD)
QUOREL_REFUSE(GetCardType, DWORD, DWORD)
QUOREL_REFUSE(EnumApplications, QBOOL, DWORD, DWORD, DWORD *)
QUOREL_REFUSE(ReadDataApp, QBOOL, DWORD, DWORD, DWORD, BYTE *, DWORD *)
QUOREL_REFUSE(WriteDataApp, QBOOL, DWORD, DWORD, DWORD, const BYTE *, DWORD *)
QUOREL_REFUSE(SetDataSizeApp, QBOOL, DWORD, DWORD, DWORD)
QUOREL_REFUSE(ExternalAuth, QBOOL, DWORD, const BYTE *, DWORD)
QUOREL_REFUSE(ChangeIssuerKey, QBOOL, DWORD, const BYTE *, const BYTE *, DWORD)
QUOREL_REFUSE(FormatCard, QBOOL, DWORD, const char *, const char *)
QUOREL_REFUSE(UnformatCard, QBOOL, DWORD)
#undef QUOREL_REFUSE

// The prototypes are those the product calls through.
#define QUOREL_CHECK(name) static_assert(std::is_same_v<decltype(&name), PFN_##name>, #name);
QUOREL_ENTRY_POINTS(QUOREL_CHECK)
#undef QUOREL_CHECK

// ---- Control surface ----------------------------------------------------------------------------

BOOL QsimReset(void)
{
    Locked lock;
    DWORD readers = g_shared->readersGeneration;
    ResetShared();
    g_shared->readersGeneration = readers + 1;
    return TRUE;
}

int QsimCreateKey(const char *label, const char *pin)
{
    Locked lock;
    if (!ValidPin(pin == nullptr ? "" : pin))
        return 0;
    for (int i = 0; i < kMaxKeys; ++i) {
        SimKey &k = g_shared->keys[i];
        if (k.used)
            continue;
        std::memset(&k, 0, sizeof k);
        k.used = 1;
        SystemFunction036(k.s.cardId, 8);
        k.s.cardId[0] = static_cast<BYTE>(i + 1);  // distinct within one state
        std::strncpy(k.s.label, label != nullptr ? label : "", sizeof k.s.label - 1);
        std::strcpy(k.s.pin, pin != nullptr ? pin : "");
        k.s.tries = 3;
        k.s.formatted = 1;
        k.s.capacity = 32768;
        k.s.allocated225 = 24576;
        k.s.allocated227 = 4096;
        std::strcpy(k.secret, kIssuerSecret);
        Touch(&k);
        return i + 1;
    }
    return 0;
}

BOOL QsimAddReader(const char *name)
{
    Locked lock;
    if (name == nullptr || *name == 0 || std::strlen(name) >= 256 || ReaderByName(name) != nullptr)
        return FALSE;
    for (SimReader &r : g_shared->readers) {
        if (!r.used) {
            r = SimReader{};
            r.used = 1;
            std::strcpy(r.name, name);
            r.serial = g_shared->nextSerial++;
            ++g_shared->readersGeneration;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL QsimRemoveReader(const char *name)
{
    Locked lock;
    SimReader *r = ReaderByName(name);
    if (r == nullptr)
        return FALSE;
    if (SimKey *k = KeyByNumber(r->key)) {
        k->s.reader[0] = 0;
        Touch(k);
        InterlockedIncrement(&g_shared->departures);
    }
    *r = SimReader{};
    ++g_shared->readersGeneration;
    return TRUE;
}

BOOL QsimInsertKey(int key, const char *reader)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    SimReader *r = ReaderByName(reader);
    if (k == nullptr || r == nullptr || r->key != 0 || k->s.reader[0] != 0)
        return FALSE;
    r->key = key;
    std::strcpy(k->s.reader, r->name);
    Touch(k);
    return TRUE;
}

BOOL QsimPullKey(int key)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    if (k == nullptr || k->s.reader[0] == 0)
        return FALSE;
    PullKeyLocked(key);
    return TRUE;
}

BOOL QsimBlockKey(int key, int how)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    if (k == nullptr || how < 0 || how > 2)
        return FALSE;
    k->s.tries = how == 0 ? 3 : 0;
    k->s.finallyBlocked = how == 2;
    k->s.unblockTries = 0;
    Touch(k);
    return TRUE;
}

BOOL QsimSetTries(int key, int tries)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    if (k == nullptr || tries < 0 || tries > 3)
        return FALSE;
    k->s.tries = tries;
    Touch(k);
    return TRUE;
}

BOOL QsimSetPin(int key, const char *pin)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    if (k == nullptr || !ValidPin(pin))
        return FALSE;
    std::strcpy(k->s.pin, pin);
    Touch(k);
    return TRUE;
}

BOOL QsimSetLabel(int key, const char *label)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    if (k == nullptr || label == nullptr)
        return FALSE;
    std::memset(k->s.label, 0, sizeof k->s.label);
    std::strncpy(k->s.label, label, sizeof k->s.label - 1);
    return TRUE;
}

BOOL QsimSetFormatted(int key, BOOL formatted)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    if (k == nullptr)
        return FALSE;
    k->s.formatted = formatted ? 1 : 0;
    Touch(k);
    return TRUE;
}

BOOL QsimSetUnblockSecret(int key, const char *secret)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    if (k == nullptr || secret == nullptr || std::strlen(secret) >= sizeof k->secret)
        return FALSE;
    std::strcpy(k->secret, secret);
    return TRUE;
}

BOOL QsimSetCapacity(int key, DWORD total, DWORD allocated225, DWORD allocated227)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    if (k == nullptr || allocated225 > kMaxArea225 || allocated227 > kMaxArea227 ||
        allocated225 + allocated227 > total || allocated225 < k->s.size225 || allocated227 < k->s.size227)
        return FALSE;
    k->s.capacity = total;
    k->s.allocated225 = allocated225;
    k->s.allocated227 = allocated227;
    return TRUE;
}

BOOL QsimGetKey(int key, QsimKeyState *state)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    if (k == nullptr || state == nullptr)
        return FALSE;
    *state = k->s;
    return TRUE;
}

BOOL QsimFailNextEx(const char *entry, DWORD lastError, int result, int times)
{
    Locked lock;
    if (entry == nullptr || std::strlen(entry) >= 32 || times < 0)
        return FALSE;
    for (SimFailure &f : g_shared->failures) {
        if (f.times == 0 || std::strcmp(f.entry, entry) == 0) {
            std::strcpy(f.entry, entry);
            f.lastError = lastError;
            f.result = result;
            f.times = times;
            f.skip = 0;
            f.pullKey = 0;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL QsimFailCall(const char *entry, int skip, DWORD lastError, int result)
{
    Locked lock;  // planned whole under one hold: a call on another thread never takes the
                  // failure before its skip count is set
    if (skip < 0 || !QsimFailNextEx(entry, lastError, result, 1))
        return FALSE;
    for (SimFailure &f : g_shared->failures)
        if (f.times > 0 && std::strcmp(f.entry, entry) == 0)
            f.skip = skip;
    return TRUE;
}

BOOL QsimPullOnCall(const char *entry, int skip, int key)
{
    Locked lock;  // planned whole under one hold: no call meets half of it
    if (skip < 0 || KeyByNumber(key) == nullptr || !QsimFailNextEx(entry, 0, 0, 1))
        return FALSE;
    for (SimFailure &f : g_shared->failures) {
        if (f.times > 0 && std::strcmp(f.entry, entry) == 0) {
            f.skip = skip;
            f.pullKey = key;
        }
    }
    return TRUE;
}

BOOL QsimFailNext(const char *entry, DWORD lastError)
{
    return QsimFailNextEx(entry, lastError, 0, 1);
}

BOOL QsimSetLatency(DWORD msPerCall, DWORD bytesPerSecond)
{
    Locked lock;
    g_shared->latencyMs = msPerCall;
    g_shared->bytesPerSecond = bytesPerSecond;
    return TRUE;
}

BOOL QsimSetCardSpeed(const QsimCardSpeed *speed)
{
    Locked lock;
    if (speed == nullptr || speed->commandSize > kMaxArea225)
        return FALSE;
    g_shared->latencyMs = speed->msPerCall;
    g_shared->bytesPerSecond = speed->bytesPerSecond;
    g_shared->commandSize = speed->commandSize != 0 ? speed->commandSize : kDefaultCommandSize;
    return TRUE;
}

BOOL QsimGetCardSpeed(QsimCardSpeed *speed)
{
    Locked lock;
    if (speed == nullptr)
        return FALSE;
    speed->msPerCall = g_shared->latencyMs;
    speed->bytesPerSecond = g_shared->bytesPerSecond;
    speed->commandSize = CommandSize();
    return TRUE;
}

BOOL QsimPullOnChunk(int skip, int key)
{
    Locked lock;
    if (key == 0) {
        g_shared->chunkPullKey = 0;
        g_shared->chunkPullSkip = 0;
        return TRUE;
    }
    if (skip < 0 || KeyByNumber(key) == nullptr)
        return FALSE;
    g_shared->chunkPullKey = key;
    g_shared->chunkPullSkip = skip;
    return TRUE;
}

DWORD QsimChunkCount(void)
{
    Locked lock;
    return g_shared->chunksWritten;
}

BOOL QsimSetCallDelay(const char *entry, DWORD ms)
{
    Locked lock;
    for (int i = 0; i < kCountedEntries; ++i) {
        if (entry != nullptr && std::strcmp(kCounted[i], entry) == 0) {
            g_shared->delays[i] = ms;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL QsimSetData(int key, DWORD app, const void *data, DWORD size)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    Area a;
    if (k == nullptr || !AreaOf(k, app, &a) || size > a.allocated || (data == nullptr && size != 0))
        return FALSE;
    if (size != 0)
        std::memcpy(a.data, data, size);
    *a.size = size;
    return TRUE;
}

DWORD QsimGetData(int key, DWORD app, void *buffer, DWORD size)
{
    Locked lock;
    SimKey *k = KeyByNumber(key);
    Area a;
    if (k == nullptr || !AreaOf(k, app, &a))
        return 0;
    if (buffer != nullptr)
        std::memcpy(buffer, a.data, size < *a.size ? size : *a.size);
    return *a.size;
}

ULONGLONG QsimCallMicros(void)
{
    Locked lock;
    return g_shared != nullptr ? static_cast<ULONGLONG>(g_shared->callMicros) : 0;
}

BOOL QsimTraceCalls(BOOL on)
{
    Locked lock;
    g_shared->traceOn = 0;
    g_shared->traceNext = 0;
    std::memset(g_shared->trace, 0, sizeof g_shared->trace);
    g_shared->traceOn = on ? 1 : 0;
    return TRUE;
}

DWORD QsimGetTrace(QsimTraceEntry *entries, DWORD size)
{
    Locked lock;
    LONG traced = g_shared->traceNext;
    LONG first = traced > kTraceSize ? traced - kTraceSize : 0;
    DWORD n = 0;
    for (LONG i = first; i < traced && entries != nullptr && n < size; ++i)
        entries[n++] = g_shared->trace[i % kTraceSize];
    return n;
}

const char *QsimEntryName(DWORD entry)
{
    return entry < static_cast<DWORD>(kCountedEntries) ? kCounted[entry] : "";
}

LONGLONG QsimNowMicros(void)
{
    LARGE_INTEGER now;
    return QueryPerformanceCounter(&now) ? Micros(now) : 0;
}

DWORD QsimCallsAfterDetach(void)
{
    Locked lock;
    return g_shared != nullptr ? g_shared->callsAfterDetach : 0;
}

DWORD QsimCallCount(const char *entry)
{
    Locked lock;
    for (int i = 0; i < kCountedEntries; ++i)
        if (entry != nullptr && std::strcmp(kCounted[i], entry) == 0)
            return g_shared->counts[i];
    return 0;
}

DWORD QsimDump(char *buffer, DWORD size)
{
    Locked lock;
    DWORD used = 0;
    if (buffer != nullptr && size > 0)
        buffer[0] = 0;
    Append(buffer, size, &used, "latency: %lu ms per call, %lu bytes/s, %lu bytes per command\n",
           static_cast<unsigned long>(g_shared->latencyMs), static_cast<unsigned long>(g_shared->bytesPerSecond),
           static_cast<unsigned long>(CommandSize()));
    for (const SimReader &r : g_shared->readers)
        if (r.used)
            Append(buffer, size, &used, "reader \"%s\": %s%d\n", r.name, r.key ? "Key " : "no Key ", r.key);
    for (int i = 0; i < kMaxKeys; ++i) {
        const SimKey &k = g_shared->keys[i];
        if (!k.used)
            continue;
        const BYTE *c = k.s.cardId;
        Append(buffer, size, &used,
               "key %d: id %02X%02X%02X%02X%02X%02X%02X%02X label \"%s\" pin \"%s\" tries %d%s%s%s"
               " capacity %lu, 225: %lu/%lu, 227: %lu/%lu, in \"%s\"\n",
               i + 1, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], k.s.label, k.s.pin, k.s.tries,
               k.s.tries == 0 && !k.s.finallyBlocked ? " blocked" : "", k.s.finallyBlocked ? " finally blocked" : "",
               k.s.formatted ? "" : " not formatted", static_cast<unsigned long>(k.s.capacity),
               static_cast<unsigned long>(k.s.size225), static_cast<unsigned long>(k.s.allocated225),
               static_cast<unsigned long>(k.s.size227), static_cast<unsigned long>(k.s.allocated227), k.s.reader);
    }
    for (int i = 0; i < kCountedEntries; ++i)
        if (g_shared->delays[i] != 0)
            Append(buffer, size, &used, "every call of %s takes %lu ms more\n", kCounted[i],
                   static_cast<unsigned long>(g_shared->delays[i]));
    if (g_shared->chunkPullKey != 0)
        Append(buffer, size, &used, "key %d is pulled after %d more chunk(s) of a write\n", g_shared->chunkPullKey,
               g_shared->chunkPullSkip);
    for (const SimFailure &f : g_shared->failures)
        if (f.times > 0)
            Append(buffer, size, &used, "next %d call(s) of %s fail with 0x%08lX\n", f.times, f.entry,
                   static_cast<unsigned long>(f.lastError));
    return used + 1;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_mutex = CreateMutexA(nullptr, FALSE, "QuorelSim_Mutex");
        // The section is backed by a file in the temporary directory, so that the readers and
        // Keys outlive the processes: quorelctl sets them up, the programs find them later.
        char path[MAX_PATH];
        DWORD n = GetTempPathA(MAX_PATH - 20, path);
        if (n == 0 || n >= MAX_PATH - 20)
            return FALSE;
        // The names carry the layout's size: a stand-in built with another layout (an older
        // checkout, a wineserver still holding the last build's section) never maps this one.
        char name[64];
        std::snprintf(name, sizeof name, "QuorelSim-%u.state", static_cast<unsigned>(sizeof(SimShared)));
        std::strcat(path, name);
        WaitForSingleObject(g_mutex, INFINITE);
        HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::snprintf(name, sizeof name, "QuorelSim_State_%u", static_cast<unsigned>(sizeof(SimShared)));
            g_mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, sizeof(SimShared), name);
            CloseHandle(file);
        }
        ReleaseMutex(g_mutex);
        if (g_mutex == nullptr || g_mapping == nullptr)
            return FALSE;
        g_shared = static_cast<SimShared *>(MapViewOfFile(g_mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SimShared)));
        if (g_shared == nullptr)
            return FALSE;
        WaitForSingleObject(g_mutex, INFINITE);
        if (g_shared->magic != kMagic)
            ResetShared();
        g_seenReadersGeneration = g_shared->readersGeneration;
        ReleaseMutex(g_mutex);
    } else if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        // The process ends: the view stays, so that a call made after this detach (by a DLL
        // detached later) is counted where the tests see it, rather than crashing the process.
        g_detached = true;
    } else if (reason == DLL_PROCESS_DETACH) {
        if (g_shared != nullptr)
            UnmapViewOfFile(g_shared);
        if (g_mapping != nullptr)
            CloseHandle(g_mapping);
        if (g_mutex != nullptr)
            CloseHandle(g_mutex);
    }
    return TRUE;
}
