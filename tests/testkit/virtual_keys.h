// Virtual Keys for a test: the Key stand-in emptied at the start and at the end, readers made on
// demand, new Keys inserted, and a Key access object started on them.
#pragma once

#include <string>

#include "quorel_control.h"

namespace testkit {

class VirtualKeys {
public:
    VirtualKeys();   // empties the Key stand-in: no readers, Keys, failures or latency
    ~VirtualKeys();  // and empties it again
    VirtualKeys(const VirtualKeys &) = delete;
    VirtualKeys &operator=(const VirtualKeys &) = delete;

    // Whether the stand-in could be emptied at the start.
    bool ok() const { return ok_; }
    // Makes `reader` when it is missing and inserts a new Key (`pin` "" for none) into it; the
    // Key's number, or 0.
    int InsertNewKey(const char *reader, const char *label, const char *pin);
    // What the stand-in holds of Key `key` now (all zero when it has none).
    static QsimKeyState State(int key);
    // The bytes Key `key` holds in its area `app` (225 the Notes record, 227 the biometric one).
    static std::string Data(int key, DWORD app = 225);

private:
    bool ok_ = false;
};

// Whether the monitor of the Key access object in this process visits its readers: a reader
// visit (InitCard) within `ms`. False while it is parked.
bool MonitorKeepsVisiting(DWORD ms = 2000);

// Gives `key` (a RecordingKey or another CSmartKey that records its events) the PIN, starts it and
// waits until it has seen the Key in `reader`.
template <class Key>
bool StartWatching(Key &key, const char *reader, const char *pin)
{
    key.SetPIN(nullptr, pin);
    return key.Start() && key.WaitFor(std::string("inserted ") + reader);
}

}  // namespace testkit
