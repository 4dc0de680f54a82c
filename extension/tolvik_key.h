// CSmartKeyEx: what Key events mean inside the Notes client. The first insertion releases the
// waiting start-up logon; a later one asks the PIN and gives the client back the Key's ID; pulling
// the bound Key locks the client and undoes the extension's traces.
#pragma once

#include "smart_key.h"

class CSmartKeyEx : public CSmartKey {
public:
    ~CSmartKeyEx() override { StopMonitoring(); }  // the handlers use m_label
    void onKeyInserted(const char *readerName) override;
    void onKeyRemoved(const char *readerName) override;
    void onFinishInit(int reserved) override;
    bool onNeedPIN(const char *readerName, int count, int tries) override;
    void onKeyError(const char *readerName, const char *statusText) override;

    // The Key's label, or its card id as 16 uppercase hexadecimal digits when it has none, for a
    // Key that is ready or asks for its PIN; false (and `label` empty) otherwise.
    bool GetKSD_ID(const char *readerName, char *label, int size);

private:
    void ReEntryWithPin(const char *readerName);
    // Empties the PIN kept for the reader, so a refused PIN is not tried again by the monitor.
    void ForgetPIN(const char *readerName);
    bool KeptPinWasTried(const char *readerName);
    void CardIdText(const char *readerName, char *label, int size);

    char m_label[36] = "";
};
