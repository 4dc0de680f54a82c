// TolvikM's link to Tolvik: finding or loading Tolvik.dll, its SentrioTools entry, and the label of
// the Actions menu entry.
#pragma once

#include <windows.h>

#include "sentrio_tools_api.h"

// Why Attach failed; each has its own message for the user.
enum class ToolsLinkFailure { None, LibraryNotLoaded, EntryNotFound };

class CToolsLink {
public:
    // Finds "Tolvik.DLL" among the loaded modules, else loads it (program directory and system
    // directories only), and resolves SentrioTools. On failure nothing is held.
    ToolsLinkFailure Attach();
    // Releases Tolvik only when Attach loaded it; one found already loaded (the client loads it as
    // an extension) stays. Forgets the handle.
    void Detach();
    // Calls SentrioTools with `window`; false when not attached.
    bool OpenTools(HWND window) const;

    HMODULE tolvik() const { return tolvik_; }
    bool loadedByUs() const { return loadedByUs_; }

private:
    HMODULE tolvik_ = nullptr;
    bool loadedByUs_ = false;
    SENTRIO_TOOLS_PROC tools_ = nullptr;
};

// The name TolvikM looks for and loads.
extern const char kTolvikModuleName[];

// Copies `label` into a label field of `fieldSize` bytes, cut to fit, always terminated.
void CopyMenuLabel(const char *label, char *field, size_t fieldSize);
