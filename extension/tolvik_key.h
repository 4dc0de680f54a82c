// CSmartKeyEx: Tolvik's Key events as the monitor sees them. Each handler only takes a copy of
// what happened and posts it to the client's thread, where the Key session decides what it means;
// no handler shows a window, waits for a user or calls the Notes API.
#pragma once

#include "smart_key.h"

class CSmartKeyEx : public CSmartKey {
public:
    ~CSmartKeyEx() override { StopMonitoring(); }
    void onKeyInserted(const char *readerName) override;
    void onKeyRemoved(const char *readerName) override;
    void onFinishInit(int reserved) override;
    bool onNeedPIN(const char *readerName, int count, int tries) override;
    void onKeyError(const char *readerName, const char *statusText) override;

    // The Key's label, or its card id as 16 uppercase hexadecimal digits when it has none, for a
    // Key that is ready or asks for its PIN; false (and `label` empty) otherwise.
    bool GetKSD_ID(const char *readerName, char *label, int size);

private:
    void PostArrival(const char *readerName, bool needPin);
};
