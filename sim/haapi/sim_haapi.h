// Stand-in for an HA-API vendor module (simhaapi.dll), with the registry entries that list it.
// It exports the seven vendor functions Braxial calls by the names the registry gives (capture,
// enrollment, free, information, live verify, process, verify; __stdcall), shows a small device
// dialog of its own wherever a vendor shows user interface (capture and enrolment), and decides
// matching by a simulated finger: a template matches a sample made from the same finger. A user
// cancel in its dialog answers HAAPI_USERCANCEL (0x2F000011). Tests and the demo steer it with the
// control exports below (or simbioctl.exe); the settings, pending failures and call counts are
// shared by every process (%TEMP%\SentrioSimHaApi.state), the blocks handed out are each
// process's own.
#pragma once

#include <cstdint>

#include "haapi_types.h"

#define SIMHAAPI_API extern "C" __declspec(dllexport)

// Registry layout that SimHaApi_InstallVendors writes under HKLM\SOFTWARE\HAAPI\Vendors:
//   Vendor1\Tech1  TechnologyName "Sim HA Finger"
//   Vendor1\Tech2  TechnologyName "Sim HA Palm"
//   Vendor2\Tech1  TechnologyName "Sim HA Iris"
// each with ModuleName "simhaapi.dll" and the function names exported here.
#define SIMHAAPI_VENDORS_KEY "SOFTWARE\\HAAPI\\Vendors"
#define SIMHAAPI_FINGER_NAME "Sim HA Finger"
#define SIMHAAPI_PALM_NAME "Sim HA Palm"
#define SIMHAAPI_IRIS_NAME "Sim HA Iris"
// Caption of the device dialog; its buttons are IDOK ("Place finger") and IDCANCEL.
#define SIMHAAPI_DIALOG_CAPTION "Simulated HA-API device"

// Writes the vendor keys above (replacing whatever was there); false when the registry refused.
SIMHAAPI_API int __cdecl SimHaApi_InstallVendors();
// Deletes SOFTWARE\HAAPI (vendors and all).
SIMHAAPI_API void __cdecl SimHaApi_RemoveVendors();
// Forgets the finger (back to 1), the match result (back to 1), pending failures and cancels,
// the call counts, and switches the device dialog back to answering on its own.
SIMHAAPI_API void __cdecl SimHaApi_Reset();
// The finger that the next captures and enrolments read.
SIMHAAPI_API void __cdecl SimHaApi_SetFinger(uint32_t finger);
// The value the verify function stores for a match (1 unless set; any nonzero value).
SIMHAAPI_API void __cdecl SimHaApi_SetMatchResult(uint32_t result);
// 0 (default): the device dialog presses "Place finger" itself shortly after it opens.
// 1: it waits for someone to press "Place finger" or Cancel.
SIMHAAPI_API void __cdecl SimHaApi_SetInteractive(int interactive);
// The next device dialog ends as if the user had pressed Cancel (HAAPI_USERCANCEL).
SIMHAAPI_API void __cdecl SimHaApi_CancelNext();
// The next call of `function` ("capture", "enrollment", "process", "verify", "free",
// "information", "liveverify") answers `code` instead of working.
SIMHAAPI_API void __cdecl SimHaApi_FailNext(const char *function, uint32_t code);
// How often `function` (names as above, plus "dialog" for device dialogs shown) was called.
SIMHAAPI_API uint32_t __cdecl SimHaApi_CallCount(const char *function);
// Blocks handed out in this process by capture, enrollment and process and not yet given back
// to free.
SIMHAAPI_API uint32_t __cdecl SimHaApi_OutstandingBlocks();
