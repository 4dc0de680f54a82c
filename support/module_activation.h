// A DLL's dialogs in common controls 6 whatever the host program asks for: the activation context
// of the module's own manifest (resource 2, ISOLATIONAWARE_MANIFEST_RESOURCE_ID) made active on the
// calling thread while the object lives. Controls created meanwhile are of the common controls the
// manifest names; they keep them for their lifetime.
#pragma once

#include <windows.h>

class ModuleActivation {
public:
    // The module this code is linked into (the DLL or program that makes the object).
    ModuleActivation();
    // A module without that manifest (a program, whose own manifest is the process default)
    // activates nothing.
    explicit ModuleActivation(HMODULE module);
    ~ModuleActivation();
    ModuleActivation(const ModuleActivation &) = delete;
    ModuleActivation &operator=(const ModuleActivation &) = delete;

    bool active() const { return active_; }

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

// The activation context of `module`'s resource 2, made on first use and kept for the process's
// life; INVALID_HANDLE_VALUE when the module has none.
HANDLE ModuleActivationContext(HMODULE module);
