// CSmartKey: the Key access layer. Binds the smart-key library, keeps one record per Key reader and
// runs the reader monitor thread, which reports Key events through virtual operations.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "gate_seam_win.h"
#include "monitor_gate.h"
#include "quorel_library.h"

enum KeyStatus {
    csAbsent = 0,
    csReady = 1,
    csBlocked = 2,
    csFinallyBlocked = 3,
    csError = 4,
    csNeedPIN = 5,
    csNotFormatted = 6,
    csBioFailed = 7,
};

// Application ids of the Key's data areas.
constexpr DWORD kAppNotes = 225;
constexpr DWORD kAppBiometric = 227;
constexpr DWORD kAppWholeKey = 0;

constexpr int kMaxReaders = 32;

// What the layer knows of one reader and its Key. Created zeroed.
struct ReaderRecord {
    DWORD h;                 // reader handle from InitReader
    char name[256];
    LONG ret;                // last InitCard result (-4 stored as 3)
    DWORD init_error;        // last error right after that InitCard
    DWORD last_error;        // of the last failed operation (1 if it left 0)
    BYTE card_id[8];
    char pin[64];            // the PIN used with this Key
    void *data;              // caller's buffer of the current operation
    DWORD *length_ref;       // caller's in/out length of the current Read (valid during it only)
    DWORD requested_length;
    DWORD needed_length;     // stored size a Read found larger than the caller's buffer
    DWORD write_length;
    DWORD offset;
    char op_text[200];       // current operation's name, or the text of its failure
    DWORD op_kind;           // 0 random, 1 read, 2 write, 3 delete
    DWORD alocc_space, free_space;   // whole Key (application 0)
    KeyStatus state;
    char status_text[100];
    DWORD app_allocated, app_free;   // the object's application id
    DWORD index;             // position in the reader table, set when looked up
    LONG tries;              // PIN attempts left as InitCard last said
    LONG count;              // refused stored PINs since the Key was last ready or absent
    char label[36];
    DWORD bio_allocated, bio_free;   // application 227
    BOOL present;            // mark used while the readers are listed again
    BOOL announced;          // the monitor has announced this Key's insertion (onKeyInserted)
};

// Text id of a Key state's status text.
UINT StatusTextId(KeyStatus state);

class CSmartKey {
public:
    CSmartKey();
    // Stops the initialisation thread (waiting for onFinishInit to end), then StopMonitoring.
    // A subclass whose overrides use members of its own calls StopMonitoring in its destructor,
    // so that no thread runs them once those members are gone.
    virtual ~CSmartKey();
    CSmartKey(const CSmartKey &) = delete;
    CSmartKey &operator=(const CSmartKey &) = delete;

    // Key events; called on the monitor thread (the first reader events and onFinishInit on the
    // initialisation thread, check-mode visits on the caller's thread).
    virtual void onKeyOpened(const char *readerName, DWORD readerHandle, const char *pin);
    virtual void onKeyInserted(const char *readerName);
    virtual void onKeyRemoved(const char *readerName);
    virtual void onFinishInit(int reserved);
    // The stored PIN is missing or was refused; true means "try again" (a PIN has been stored).
    virtual bool onNeedPIN(const char *readerName, int count, int tries);
    virtual void onKeyError(const char *readerName, const char *statusText);
    virtual int reserved();
    virtual void onNoKey();
    virtual void onReaderChanged(const char *readerName, int attached);

    // Starts the initialisation thread; returns the semaphore released when Init has finished,
    // or INVALID_HANDLE_VALUE. The semaphore stays the object's.
    HANDLE StartInit(DWORD appId);
    bool Init(DWORD appId);
    void StartMonitoring();
    void StopMonitoring();
    // The process is ending (a DLL's detach at the process's end): the Key library had its own
    // detach already, so nothing of it is called again, the destructor included.
    void AbandonLibrary();
    // Parks the monitor thread; true when this call parked it (the caller must ReleaseMonitor).
    // False at once while another caller waits for or holds the park, on the monitor thread
    // itself (inside an event handler) or when there is no monitor: the caller then holds nothing
    // and must not release. A running event handler is waited for (handlers return at once).
    bool AskToStopMonitorThread();
    // Gives back a park AskToStopMonitorThread gave; nothing when none is held that way.
    void ReleaseMonitor();
    bool AskToTerminateMonitorThread();
    // A copy of the named reader's record (no name: the current Key, else the first reader with a
    // Key), or none. Taken under the table lock: the monitor may change or drop the record
    // meanwhile, the copy stays as it was. The copy's PIN is empty.
    std::optional<ReaderRecord> FindReader(const char *readerName);
    int FirstKeyIndex();

    // ---- Key operations. Each takes a reader name first; null or empty means the Key chosen by
    // SelectKey. Each borrows the Key from the monitor, opens it with the stored PIN, does its work
    // and gives it back; a failure leaves its last error and text for GetErrorText.

    // Reads the data area into `buffer`. `*length` holds the buffer's size (0 with a null buffer
    // asks only the stored size) and receives the stored size.
    bool Read(const char *readerName, void *buffer, DWORD *length);
    // Writes `length` bytes at `offset` and sets the data size to what was written; null data with
    // a length only resizes the area.
    bool Write(const char *readerName, DWORD offset, const void *data, DWORD length);
    // Writes `length` bytes of `data` at offset 0 and sets the data size to `length`, then writes
    // `head` over the first `headLength` bytes (one reader command). With `data` starting with a
    // mark its readers refuse and `head` the true first bytes, a write cut short anywhere leaves
    // the old data (nothing written yet) or data the readers refuse, never a mix taken as whole.
    bool WriteHeadLast(const char *readerName, const void *data, DWORD length, const void *head, DWORD headLength);
    bool Delete(const char *readerName);
    bool GetRandom(const char *readerName, void *buffer, DWORD length);
    // New PINs are cut to 8 characters.
    bool ChangePIN(const char *readerName, const char *newPin);
    bool UnblockPIN(const char *readerName, const char *newPin);
    bool ChangeLabel(const char *readerName, const char *label);
    // Enrols a new biometric identifier onto the Key (or removes it): 0 done, 1 failed,
    // ERROR_CANCELLED when the user cancelled.
    int ChangeBioID(const char *readerName, HINSTANCE instance, HWND window, const char *caption);
    // True when the user is verified against the Key's biometric identifier or the Key has none.
    bool VerifyBioID(const char *readerName, HINSTANCE instance, HWND window, const char *caption);

    // The PIN to try: for the named reader, or with no name for any reader (the placeholder) and
    // the current Key. Never touches the Key.
    void SetPIN(const char *readerName, const char *pin);
    // Forgets (wipes) the PIN stored for the reader; true when there was one to forget.
    bool ForgetPIN(const char *readerName);
    // Whether the PIN stored for the reader is `pin` ("" : none stored). The PIN itself is never
    // handed out.
    bool HoldsPIN(const char *readerName, const char *pin);
    // The name a Key is shown by: its label, else its card id in hex (16 digits). Empty and false
    // for an unknown reader or a `size` too small for the card id.
    bool DisplayName(const char *readerName, char *text, int size);
    // The reader's state (0 for an unknown name) and its figures; never touches the Key.
    int GetKeyInfo(const char *readerName, DWORD *allocated, DWORD *freeSpace, char *label);
    // Text of the last failure (at least 200 chars) or null; true when there is something to report.
    bool GetErrorText(const char *readerName, char *text);

    bool IsLoaded() const { return InterlockedCompareExchange(const_cast<volatile LONG *>(&m_loaded), 0, 0) != 0; }
    // Why the smart-key library did not load (the system's error code of the last try; 0 when it
    // loaded or was not tried).
    DWORD LoadError() const
    {
        return static_cast<DWORD>(InterlockedCompareExchange(const_cast<volatile LONG *>(&m_loadError), 0, 0));
    }
    bool IsSingleInstanceInProcess() const { return m_isSingleInstanceInProcess != FALSE; }
    DWORD MonitorThreadId() const { return m_monitorThreadId; }
    bool HasMonitorThread() const;

protected:
    // One visit to a reader: InitCard, then the PIN steps; raises the events of what it found
    // (none in check mode, where an operation opens the Key for itself). True when the Key is open.
    bool ProcessReader(int index, bool checkMode);
    void UpdateReaders();
    void RefreshKeyInfo(int index);

    static DWORD WINAPI InitThreadProc(LPVOID self);
    // Asks the initialisation thread to stop (what it has not begun of the listing, and
    // onFinishInit when that has not begun) and waits for it to end, onFinishInit included.
    void StopInit();
    static DWORD WINAPI MonitorThreadStart(LPVOID self);
    DWORD MonitorThreadProc();
    // The monitor's checkpoint between readers and between passes: parks while operations wait for
    // or hold the Key; false when the monitor is to end.
    bool Checkpoint();
    // The monitor's sleep between passes (and while there is no reader): `ms`, cut short by a
    // park asked or a stop requested meanwhile.
    void IdleWait(DWORD ms);
    void ReleaseReaders();
    // The wait of a caller that polls a flag: sleeps `ms` but serves messages sent to this thread
    // meanwhile, so that an event handler on the monitor thread that sends to a window of this
    // thread cannot deadlock with it.
    static void PollWait(DWORD ms);
    // The same wait, ending early when one of `handles` is signalled (true then).
    static bool WaitServing(const HANDLE *handles, DWORD count, DWORD ms);

    // Event calls: on the monitor thread the gate is told a handler runs (see EventScope).
    class EventScope;
    void EvKeyOpened(ReaderRecord *r, const char *pin);
    void EvKeyInserted(ReaderRecord *r);
    void EvKeyRemoved(ReaderRecord *r);
    bool EvNeedPIN(ReaderRecord *r);
    void EvKeyError(ReaderRecord *r);
    void EvNoKey();
    void EvReaderChanged(const char *name, int attached);
    void SetState(ReaderRecord *r, KeyStatus state);
    // The reader table: m_readers, m_retired, m_current and every record's fields. Held only
    // for a few instructions, never across a library call, an event or a wait. The Key's borrower
    // (the monitor during its visit, an operation while it holds the Key) is the only writer of a
    // record besides the PIN methods; it writes under this lock, and others read copies.
    class TableLock;
    // The record of the named reader (see FindReader), or null; the caller holds the table lock.
    ReaderRecord *Record(const char *readerName);
    // The record of a reader that went away under this name, taken back from m_retired, or null.
    ReaderRecord *TakeRetired(const char *readerName);

    // Borrows the Key from the monitor through the gate (see MonitorGate::Borrow); a loan of the
    // park is given back with GiveBack.
    keygate::Loan BorrowMonitor(bool onlyIfFree);
    void GiveBack(keygate::Loan loan);

    // One Key operation, scoped: see KeyOperation below. Which Key it takes when no reader is
    // named: the one SelectKey finds, or first the Key the last selection chose (the one the user
    // has been working with).
    enum class KeyPick { kSelect, kCurrentFirst };
    class KeyOperation;
    // The record of the Key to use, opened and checked, or null.
    ReaderRecord *SelectKey();
    ReaderRecord *OpenKey(const char *opText, const char *readerName);
    ReaderRecord *OpenCurrentFirst(const char *opText, const char *readerName);
    void CloseKey(ReaderRecord *r, DWORD closeFlag);
    void Failed(ReaderRecord *r);
    // The same for a reader whose Key this thread no longer holds (textId 0: clears the failure).
    void NoteFailure(const char *readerName, DWORD error, UINT textId);
    // The record's operation text, written under the table lock.
    void SetOpText(ReaderRecord *r, const char *text);
    // The same with a text loaded by id (and formatted with `part` when there is one).
    void SetOpResText(ReaderRecord *r, UINT id, const char *part = nullptr);
    void SetCount(ReaderRecord *r, LONG count);
    void SetAnnounced(ReaderRecord *r, bool announced);
    void WipePIN(ReaderRecord *r);
    void RefreshSpace(ReaderRecord *r);
    // The Key's figures of its three areas (the object's application, the whole Key, the
    // biometric one), read from the library; stored into a record under the table lock.
    struct KeySpace {
        DWORD app[2] = {}, whole[2] = {}, bio[2] = {};
    };
    KeySpace ReadSpace(DWORD readerHandle);
    static void StoreSpace(ReaderRecord *r, const KeySpace &space);
    KeyBirAccess BirAccess(const ReaderRecord *r);

    DWORD m_appId = 0;
    volatile LONG m_loaded = 0;
    volatile LONG m_loadError = 0;
    ReaderRecord *m_readers[kMaxReaders + 1] = {};
    // Records of readers that went away. SetPIN, GetKeyInfo, FindReader and GetErrorText read
    // records without parking the monitor, so a record is never freed while the object lives: a
    // reader that comes back under its old name gets its old record again, and the rest are
    // freed with the readers when the monitor ends. Touched by the listing thread only.
    std::vector<ReaderRecord *> m_retired;
    HANDLE volatile m_monitorThread = INVALID_HANDLE_VALUE;
    HANDLE m_singleInstanceSem = nullptr;
    BOOL m_isSingleInstanceInProcess = TRUE;
    HMODULE m_library = nullptr;
    volatile LONG m_noKeyNotified = 0;
    HANDLE m_initDoneSem = nullptr;
    HANDLE volatile m_initThread = INVALID_HANDLE_VALUE;
    DWORD volatile m_monitorThreadId = 0;
    DWORD m_initThreadId = 0;
    volatile LONG m_initStop = 0;         // StopInit is waiting for the initialisation thread
    ReaderRecord m_anyReader;
    ReaderRecord *m_current = nullptr;

    // One call of the Key library at a time: held around each single call, never across an
    // event, a dialog or a wait.
    template <typename Fn, typename... Args>
    auto Call(Fn fn, Args... args) -> decltype(fn(args...))
    {
        EnterCriticalSection(&m_callLock);
        auto result = fn(args...);
        DWORD error = GetLastError();
        LeaveCriticalSection(&m_callLock);
        SetLastError(error);
        return result;
    }

    QuorelLibrary m_lib = {};
    CRITICAL_SECTION m_callLock;
    CRITICAL_SECTION m_tableLock;
    volatile LONG m_releaseOnExit = 0;    // StopMonitoring ran on the monitor thread
    volatile LONG m_askedParks = 0;       // parks AskToStopMonitorThread gave and ReleaseMonitor owes
    // The monitor's turns with the operations: its state behind its own lock (monitor_gate.h).
    WinGateSeam m_gateSeam;
    keygate::MonitorGate m_gate{m_gateSeam};

    friend class WinGateSeam;  // its borrowers' wait is WaitServing
};

class CSmartKey::TableLock {
public:
    explicit TableLock(CSmartKey *key) : lock_(&key->m_tableLock) { EnterCriticalSection(lock_); }
    ~TableLock() { LeaveCriticalSection(lock_); }
    TableLock(const TableLock &) = delete;
    TableLock &operator=(const TableLock &) = delete;

private:
    CRITICAL_SECTION *lock_;
};

// One Key operation: the constructor borrows the Key from the monitor (parks it, or finds it
// already held) and opens it with the stored PIN; the destructor closes the Key and gives the
// monitor back. When the Key cannot be had, nothing stays borrowed and the object is false.
class CSmartKey::KeyOperation {
public:
    KeyOperation(CSmartKey *key, const char *opText, const char *readerName, KeyPick pick);
    ~KeyOperation();
    KeyOperation(const KeyOperation &) = delete;
    KeyOperation &operator=(const KeyOperation &) = delete;

    explicit operator bool() const { return record_ != nullptr; }
    ReaderRecord *operator->() const { return record_; }
    ReaderRecord *record() const { return record_; }
    // How the Key is closed at the end (1 unless set): 0 leaves its state to be read afresh.
    void CloseWith(DWORD flag) { closeFlag_ = flag; }

private:
    CSmartKey *key_;
    keygate::Loan loan_ = keygate::Loan::kNone;
    ReaderRecord *record_ = nullptr;
    DWORD closeFlag_ = 1;
};
