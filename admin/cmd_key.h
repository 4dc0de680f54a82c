// CSmartKeyCmd, the command line program's flavour of the Key access layer. Its event handlers
// show nothing and wait for nobody: they note what the commands and the batch ask afterwards (the
// Keys seen, a PIN the Key refused) and return.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "smart_key.h"

class CSmartKeyCmd : public CSmartKey {
public:
    CSmartKeyCmd();
    ~CSmartKeyCmd() override;

    void onFinishInit(int reserved) override;
    bool onNeedPIN(const char *readerName, int count, int tries) override;

    // Starts the layer for the product's data area and waits (at most `ms`) until the readers are
    // listed and the monitor runs; false when the smart-key library did not load.
    bool Start(DWORD ms);

    // Lets the monitor through one whole pass over the readers (at most `ms`), so that what the
    // layer shows of the Keys is what is in the readers now.
    void AwaitPass(DWORD ms);

    // The names of the readers the layer knows now.
    std::vector<std::string> ReaderNames();

    // Whether the Key in `reader` refused a PIN since the last call (the PIN is forgotten then, so
    // that it is not presented again); *tries receives the attempts left. Clears the note.
    bool TakePinRefusal(const std::string &reader, int *tries);

private:
    CRITICAL_SECTION lock_;
    std::map<std::string, int> refused_;  // reader -> attempts left
    HANDLE ready_ = nullptr;              // set by onFinishInit once the monitor runs
};
