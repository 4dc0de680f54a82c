// Control surface of the Quorel32.dll stand-in (virtual Key readers and Keys), for tests, the
// benchmarks and sim/quorel/quorelctl.exe. Exported from Quorel32.dll under names of its own
// (plain C calling convention, so that the import library matches the undecorated names).
//
// The state of every reader and Key lives in the named shared memory section "QuorelSim_State_<n>"
// (backed by %TEMP%\QuorelSim-<n>.state, so it outlives the processes; <n> is the layout's size),
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
BOOL QsimReset(void);
// A new Key (PIN up to 8 characters, "" for none); answers its number (1, 2 ...) or 0.
int QsimCreateKey(const char *label, const char *pin);
BOOL QsimAddReader(const char *name);
BOOL QsimRemoveReader(const char *name);
BOOL QsimInsertKey(int key, const char *reader);
BOOL QsimPullKey(int key);
// how: 0 unblocked with 3 tries, 1 blocked, 2 finally blocked.
BOOL QsimBlockKey(int key, int how);
BOOL QsimSetTries(int key, int tries);
BOOL QsimSetPin(int key, const char *pin);
BOOL QsimSetLabel(int key, const char *label);
BOOL QsimSetFormatted(int key, BOOL formatted);
// The unblock secret the library's issuer credential must match for UnblockPIN.
BOOL QsimSetUnblockSecret(int key, const char *secret);
BOOL QsimSetCapacity(int key, DWORD total, DWORD allocated225, DWORD allocated227);
BOOL QsimGetKey(int key, QsimKeyState *state);
// Makes the next `times` calls of entry point `entry` fail with `lastError`; `result` is what
// InitCard answers then (flag entries answer 0, EnumReaders null, InitReader 0).
BOOL QsimFailNext(const char *entry, DWORD lastError);
BOOL QsimFailNextEx(const char *entry, DWORD lastError, int result, int times);
// Lets the next `skip` calls of `entry` through and makes the one after fail once, as above.
BOOL QsimFailCall(const char *entry, int skip, DWORD lastError, int result);
// Lets the next `skip` calls of `entry` through; the one after pulls Key `key` from its reader
// first and goes on, so that it meets the Key gone (as do the calls after it, until the Key is
// inserted again).
BOOL QsimPullOnCall(const char *entry, int skip, int key);
// How fast the Keys answer. Data moves in chunks of one reader command (`commandSize` bytes) at
// `bytesPerSecond`: a read or a write of the data areas takes its chunks one after the other, with
// the stand-in's lock given up between them, so that a Key pulled meanwhile fails the call at once
// (a write keeps the chunks that landed over the old bytes, with the area's old data size).
struct QsimCardSpeed {
    DWORD msPerCall;       // every Key call takes this long
    DWORD bytesPerSecond;  // 0: data moves without taking time
    DWORD commandSize;     // bytes per command; 0 takes the usual 255
};
BOOL QsimSetCardSpeed(const QsimCardSpeed *speed);
BOOL QsimGetCardSpeed(QsimCardSpeed *speed);
// Every Key call takes msPerCall plus its bytes at bytesPerSecond (0: no limit); the command size
// is kept.
BOOL QsimSetLatency(DWORD msPerCall, DWORD bytesPerSecond);
// Lets the next `skip` chunks of area writes land (of any Key) and then pulls Key `key`: before
// the chunk after them, so that write fails and leaves the torn bytes, or, when the last of them
// ended a write, right after it (the write is whole). Key 0 takes the plan back.
BOOL QsimPullOnChunk(int skip, int key);
// Chunks of area writes that reached a Key since the last reset (all processes).
DWORD QsimChunkCount(void);
// Every call of entry point `entry` (any of the 34) takes `ms` longer, after its work and outside
// the stand-in's lock, so that a caller can be caught inside it; 0 ends that. Reset clears all.
BOOL QsimSetCallDelay(const char *entry, DWORD ms);
// The bytes of a Key's area `app` (225 or 227), as an administrator left them: replaces the area's
// data and sets its size (at most what is allocated). Reading answers the stored size and copies
// at most `size` bytes.
BOOL QsimSetData(int key, DWORD app, const void *data, DWORD size);
DWORD QsimGetData(int key, DWORD app, void *buffer, DWORD size);
// How many times `entry` was called (all processes) since the last reset.
// Microseconds spent inside the counted entries so far (latency included), by every caller.
ULONGLONG QsimCallMicros(void);
// One traced call of a counted entry: which (an index for QsimEntryName), by whom, when it started
// (QsimNowMicros's clock, the same in every process) and how long it took (latency included).
struct QsimTraceEntry {
    DWORD entry;
    DWORD process, thread;
    DWORD micros;
    LONGLONG startMicros;
};
// Starts (TRUE) or stops tracing the counted calls of every process; either way the trace is
// emptied. The last 512 calls are kept.
BOOL QsimTraceCalls(BOOL on);
// The calls traced since, oldest first, at most `size` of them; answers how many were copied.
DWORD QsimGetTrace(QsimTraceEntry *entries, DWORD size);
// The entry point of a trace entry's index, "" for none.
const char *QsimEntryName(DWORD entry);
// The trace's clock: microseconds of the performance counter.
LONGLONG QsimNowMicros(void);
// Calls of the stand-in made in a process after its detach there (the process was ending).
DWORD QsimCallsAfterDetach(void);
DWORD QsimCallCount(const char *entry);
// Text of everything; answers the length the whole text needs.
DWORD QsimDump(char *buffer, DWORD size);

}  // extern "C"
