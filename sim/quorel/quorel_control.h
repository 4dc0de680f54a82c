// Control surface of the Quorel32.dll stand-in (virtual Key readers and Keys), for tests, the
// benchmarks and sim/quorel/quorelctl.exe. Exported from Quorel32.dll under names of its own.
//
// The state of every reader and Key lives in the named shared memory section "QuorelSim_State"
// (backed by %TEMP%\QuorelSim.state, so it outlives the processes),
// guarded by the named mutex "QuorelSim_Mutex": every process that loads the stand-in (the admin
// console, the Notes client, quorelctl) sees and changes the same readers and Keys at once.
#pragma once

#include <windows.h>

extern "C" {

// A Key as the stand-in holds it.
struct QsimKeyState {
    BYTE cardId[8];
    char label[32];
    char pin[9];          // empty: the Key has no PIN
    int tries;            // PIN tries left; 0 blocked
    int finallyBlocked;   // unblock refused too often: only a reformat helps
    int formatted;
    int unblockTries;
    DWORD capacity;       // whole Key
    DWORD allocated225, size225;  // the product's record area
    DWORD allocated227, size227;  // the biometric record area
    char reader[64];      // the reader it sits in, "" when pulled
};

// Empties everything: no readers, no Keys, no failures, no latency, counters at 0.
BOOL __stdcall QsimReset(void);
// A new Key (PIN up to 8 characters, "" for none); answers its number (1, 2 ...) or 0.
int __stdcall QsimCreateKey(const char *label, const char *pin);
BOOL __stdcall QsimAddReader(const char *name);
BOOL __stdcall QsimRemoveReader(const char *name);
BOOL __stdcall QsimInsertKey(int key, const char *reader);
BOOL __stdcall QsimPullKey(int key);
// how: 0 unblocked with 3 tries, 1 blocked, 2 finally blocked.
BOOL __stdcall QsimBlockKey(int key, int how);
BOOL __stdcall QsimSetTries(int key, int tries);
BOOL __stdcall QsimSetPin(int key, const char *pin);
BOOL __stdcall QsimSetLabel(int key, const char *label);
BOOL __stdcall QsimSetFormatted(int key, BOOL formatted);
// The unblock secret the library's issuer credential must match for UnblockPIN.
BOOL __stdcall QsimSetUnblockSecret(int key, const char *secret);
BOOL __stdcall QsimSetCapacity(int key, DWORD total, DWORD allocated225, DWORD allocated227);
BOOL __stdcall QsimGetKey(int key, QsimKeyState *state);
// Makes the next `times` calls of entry point `entry` fail with `lastError`; `result` is what
// InitCard answers then (flag entries answer 0, EnumReaders null, InitReader 0).
BOOL __stdcall QsimFailNext(const char *entry, DWORD lastError);
BOOL __stdcall QsimFailNextEx(const char *entry, DWORD lastError, int result, int times);
// Every Key call takes msPerCall plus its bytes at bytesPerSecond (0: no limit).
BOOL __stdcall QsimSetLatency(DWORD msPerCall, DWORD bytesPerSecond);
// How many times `entry` was called (all processes) since the last reset.
DWORD __stdcall QsimCallCount(const char *entry);
// Text of everything; answers the length the whole text needs.
DWORD __stdcall QsimDump(char *buffer, DWORD size);

}  // extern "C"
