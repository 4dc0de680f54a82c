// Stand-in for the BioAPI 1.x framework library bioapi100.dll, with simulated BSP modules.
// It offers every framework entry point that Braxial resolves (exported by name, BioAPI calling
// convention), keeps the modules that tests and the demo describe through the control exports
// below, and decides matching by a simulated finger: a template matches a sample made from the
// same finger on a device of the same name. Records handed out are allocated with the memory
// functions of the attach, as the real framework does. The modules, the finger, pending
// failures and the call counts are shared by every process (a section backed by
// %TEMP%\SentrioSimBioAPI.state, see sim_shared_state.h), so a test or simbioctl.exe steers the
// device that the admin console or the Notes client uses; loaded modules, attach handles and BIR
// handles belong to each process, as a real framework's do.
#pragma once

#include <cstdint>

#include "bioapi_types.h"

// One simulated BSP module.
struct SimBspModule {
    BioAPI_UUID uuid;
    uint32_t deviceId;
    char description[68];     // the reader's name
    uint32_t operations;      // BioAPI_CAPTURE, BioAPI_VERIFYMATCH, BioAPI_ENROLL, BioAPI_VERIFY ...
    uint32_t enrollPurposes;  // bit p set: BioAPI_Enroll with purpose p succeeds
    uint32_t enrollFailCode;  // what a refused purpose answers (0: BSP "purpose not supported")
    uint8_t captureType;      // header Type of a capture: 2 needs BioAPI_Process, 4 does not
    uint32_t withSignature;   // nonzero: records carry a 2-byte signature
};

#define SIMBIOAPI_API extern "C" __declspec(dllexport)

// Forgets modules, counts, pending failures (and this process's loads, attaches and BIR
// handles); the finger becomes 1.
SIMBIOAPI_API void __cdecl SimBioAPI_Reset();
// Adds a module (at most 16); one whose UUID is all zero gets a UUID of its own.
SIMBIOAPI_API void __cdecl SimBioAPI_AddModule(const SimBspModule *module);
// The finger that the next captures and enrolments read.
SIMBIOAPI_API void __cdecl SimBioAPI_SetFinger(uint32_t finger);
// The next call of `function` (e.g. "BioAPI_Capture") answers `code` instead of working.
SIMBIOAPI_API void __cdecl SimBioAPI_FailNext(const char *function, uint32_t code);
// How often `function` was called since the last reset.
SIMBIOAPI_API uint32_t __cdecl SimBioAPI_CallCount(const char *function);
// Purpose of the last successful enrolment (0 when none).
SIMBIOAPI_API uint32_t __cdecl SimBioAPI_LastEnrollPurpose();
// Number of modules loaded and handles attached at this moment, in this process.
SIMBIOAPI_API uint32_t __cdecl SimBioAPI_LoadedCount();
SIMBIOAPI_API uint32_t __cdecl SimBioAPI_AttachedCount();
