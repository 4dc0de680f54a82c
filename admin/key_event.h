// A Key event as it travels from the Key layer's threads to the console's window: a copy of what
// happened, posted to the main window, so that no worker thread ever touches a window and no
// handler waits for the window thread.
#pragma once

#include <windows.h>

// The message that carries one event; lParam is a KeyEvent the window deletes.
constexpr UINT WM_KEY_EVENT = WM_APP + 1;

enum class KeyEventKind {
    kFinishInit,  // initialisation and the first Key events are over: hide the wait window
    kInserted,    // a usable Key: `reader` gets a row showing `text` (its label or card id)
    kRemoved,     // `reader` lost its Key
    kBadPin,      // a presented PIN was refused; `tries` attempts are left
    kKeyError,    // `reader` reports `state`; `text` is the state's text, `detail` the layer's
};

struct KeyEvent {
    KeyEventKind kind;
    char reader[256];   // whole reader name, never cut to a shorter buffer
    char text[200];
    char detail[200];   // the layer's error text for the reader, "" when it has none
    int state;          // KeyStatus at the time of the event
    int tries;
};

// The window the events go to (null: they are dropped). Set by the window thread.
void SetKeyEventWindow(HWND window);
// Posts a copy of `event`; false (and nothing left behind) when no window takes it.
bool PostKeyEvent(const KeyEvent &event);
