// Secrets (PINs, passwords, records with them, random bytes, biometric templates) are wiped before
// their memory goes back to the heap or the window that showed them goes away: the heap does not
// clear what it is given back, so a freed secret would stay readable in the process.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

inline void WipeBytes(void *data, std::size_t size)
{
    if (data != nullptr && size != 0)
        SecureZeroMemory(data, size);
}

// The whole buffer, its spare capacity included; the text is empty afterwards.
inline void WipeString(std::string &text)
{
    if (text.capacity() != 0)
        SecureZeroMemory(&text[0], text.capacity());
    text.clear();
}

template <class T>
void WipeVector(std::vector<T> &buffer)
{
    if (buffer.capacity() != 0)
        SecureZeroMemory(static_cast<void *>(buffer.data()), buffer.capacity() * sizeof(T));
}

// Runs its wipe when the scope ends, on every way out:
//     WipeOnExit wipe([&] { WipeString(password); });
template <class Wipe>
class WipeOnExit {
public:
    explicit WipeOnExit(Wipe wipe) : wipe_(wipe) {}
    ~WipeOnExit() { wipe_(); }
    WipeOnExit(const WipeOnExit &) = delete;
    WipeOnExit &operator=(const WipeOnExit &) = delete;

private:
    Wipe wipe_;
};

// An edit that held a secret is written over before it goes (the edit's own buffer is freed
// unwiped with the window): the same number of characters, then nothing.
inline void WipeWindowText(HWND window)
{
    int length = GetWindowTextLengthA(window);
    if (length > 0) {
        std::string filler(static_cast<std::size_t>(length), '*');
        SetWindowTextA(window, filler.c_str());
    }
    SetWindowTextA(window, "");
}
