// The window that Key events are posted to, and the posting itself.
#include "key_event.h"

namespace {
HWND volatile g_eventWindow = nullptr;
}

void SetKeyEventWindow(HWND window)
{
    InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(&g_eventWindow), window);
}

bool PostKeyEvent(const KeyEvent &event)
{
    HWND window = static_cast<HWND>(
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&g_eventWindow), nullptr, nullptr));
    if (window == nullptr)
        return false;
    KeyEvent *copy = new KeyEvent(event);
    if (PostMessageA(window, WM_KEY_EVENT, 0, reinterpret_cast<LPARAM>(copy)))
        return true;
    delete copy;  // the window is gone or its queue is full: the event is dropped whole
    return false;
}
