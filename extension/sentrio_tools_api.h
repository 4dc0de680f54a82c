// The one entry Tolvik.dll exports for its menu add-in: TolvikM resolves it by name and calls it
// with a window of the client when the user picks the product's entry in the Actions menu. Tolvik
// defines it with this type, the add-in and its tests call it through this type.
#pragma once

#include <windows.h>

// Name under which Tolvik exports the entry (undecorated, from its .def file).
#define SENTRIO_TOOLS_EXPORT "SentrioTools"

// Opens the popup of the Key commands over `window`'s parent and carries out the chosen command,
// on the calling (client's) thread; returns when the command has ended.
typedef void(WINAPI *SENTRIO_TOOLS_PROC)(HWND window);
