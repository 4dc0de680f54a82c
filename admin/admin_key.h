// CSmartKeyEx, the console's flavour of the Key access layer: Key events become rows of the Key
// list and warnings. Every handler runs on a Key layer thread (initialisation, monitor, or the
// window thread inside a Key operation) and reaches the window only through PostKeyEvent.
#pragma once

#include <windows.h>

#include "smart_key.h"

// Flags the handlers set for the window thread. Written with Interlocked operations:
//  - badPinShown: set by onNeedPIN (any Key layer thread) when it warned about a refused PIN;
//    cleared by the window thread before it reads the Key.
//  - blockedKeySeen: set by onKeyError (any Key layer thread) for a blocked Key; never cleared.
struct AdminKeyFlags {
    volatile LONG badPinShown = 0;
    volatile LONG blockedKeySeen = 0;
};

class CSmartKeyEx : public CSmartKey {
public:
    ~CSmartKeyEx() override;

    void onKeyInserted(const char *readerName) override;
    void onKeyRemoved(const char *readerName) override;
    void onFinishInit(int reserved) override;
    bool onNeedPIN(const char *readerName, int count, int tries) override;
    void onKeyError(const char *readerName, const char *statusText) override;

    // The Key's label, or its card id as 16 upper-case hexadecimal digits, for a Key that is
    // ready or asks for its PIN; "" otherwise. Written into `text` (at least 36 bytes).
    bool GetKSD_ID(const char *readerName, char *text, int size);

    AdminKeyFlags flags;

private:
    volatile LONG m_insertions = 0;   // insertion events so far (monitor and initialisation threads)
    HANDLE volatile m_startSem = nullptr;  // "SNTR_adm", made by onFinishInit
};

// The console's one Key access object, constructed when the program loads.
CSmartKeyEx &AdminKey();
