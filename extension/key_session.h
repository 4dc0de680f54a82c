// The Key session: everything Tolvik knows of the Key in this client process, as one state that
// only the client's thread changes. The Key monitor posts a copy of each Key event to the client's
// thread (hFictDlg); the session decides there what it means, and runs the prompts, boxes, Notes
// calls and Key operations that follow. Other threads (the password handlers) only read the state.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "notes_api.h"
#include "session_state.h"

// Where a logon starts from, which decides where a failed one ends.
enum class LogonOrigin {
    kStart,        // MainEntryPoint: a failure leaves the client without the Key
    kReEntry,      // the Key came back to a locked client: a failure leaves it locked
    kWorkWithKey,  // the tools' "Work with KSD": a failure leaves it without the Key
};

// One Key event as the monitor saw it, carried to the client's thread by value.
struct SessionEvent {
    enum Kind { kInserted, kNeedPin, kBadPin, kRemoved, kKeyError };
    SessionEvent(Kind what, const char *readerName) : kind(what), reader(readerName != nullptr ? readerName : "") {}

    Kind kind;
    std::string reader;  // whole, as the Key layer names it
    int state = 0;       // the Key's KeyStatus when the event was raised
    int tries = 0;       // kBadPin: attempts left
    std::string label;   // kInserted, kNeedPin: the Key's label, else its card id in hexadecimal
    std::string text;    // kKeyError: what failed
    std::string detail;  // kKeyError: the Key layer's error text, "" when it has none
    bool prepared = true;  // kInserted, kNeedPin: the Key has space for the product's data
};

// What the second half of a lock needs, posted to hFictDlg after the lock keys.
struct LockFollowUp {
    std::string reader;
    bool keyError = false;    // a Key error caused the lock (not a pull): said after it
    std::string errorText;    // what failed
    std::string errorDetail;  // the Key layer's text for that error
};

class KeySession {
public:
    // Which Key session a command or a handler was started for: the reader and the logon it
    // came from. A Key pulled and put back while a dialog was open is a session of its own.
    struct Ticket {
        std::string reader;
        LONG logon = 0;
        bool operator==(const Ticket &other) const { return reader == other.reader && logon == other.logon; }
    };
    Ticket CurrentKey() const;
    // True when the client still runs on the Key's ID of that same logon (a pull, a stop or a new
    // logon may have come while a command's dialogs were open).
    bool StillOnKey(const Ticket &ticket) const;

    SessionState State() const;
    // The bound reader and the Key's label, as copies; empty when no reader is bound.
    std::string Reader() const;
    std::string Label() const;
    bool Bound() const;

    // ---- The client's thread only.

    // MainEntryPoint after the single-instance check: the Key layer started, the wait for the
    // first Key, then the logon. Returns the status MainEntryPoint returns.
    STATUS Start();
    void BecomePassive();
    // A Key event posted by the monitor.
    void OnEvent(const SessionEvent &event);
    // The logon sequence: PIN, biometric check, read, ID file, switch, handlers. True when the
    // client runs on the Key's ID afterwards.
    bool Logon(LogonOrigin origin);
    // The tools' "Work without KSD": ends the Key session, the client keeps running.
    void WorkWithoutKey();
    // The client's termination notice or the unload: every wait and prompt of a flow ends at once
    // (never taken as the user's answer), the Key work ends.
    void Stop();
    bool Stopping() const;
    // The second half of a lock: boxes and the Logout Screen.
    void FinishLock(const LockFollowUp &lock);

    // Key events held back while a flow ran, taken up once it ended (posted to hFictDlg).
    void RunDeferred();
    // The event that makes the stop's waits end (manual reset, made on first use).
    HANDLE StopEvent();
    // A Key problem was reported to the user (the read's generic error is then not shown).
    void NoteErrorShown() { errorShown_ = true; }
    bool ErrorShown() const { return errorShown_; }

    // A flow (a logon, a lock, a tools command) runs on the client's thread: Key events other
    // than a removal wait until it ends, so that flows never nest.
    class Flow {
    public:
        explicit Flow(KeySession &session);
        ~Flow();
        Flow(const Flow &) = delete;
        Flow &operator=(const Flow &) = delete;

    private:
        KeySession &session_;
    };
    // True when the bound Key was pulled while the current flow ran.
    bool PulledDuringFlow() const { return pulledDuringFlow_; }
    // After a Key operation of the current flow failed: whether the Key left its reader (the Key
    // layer opens it afresh, and notes a removal it meets). A Key that left counts as pulled
    // during the flow at once: the flow reports nothing more and the client is locked as it
    // ends, without waiting for the monitor's next pass.
    bool KeyLeftDuringFlow(const std::string &reader);

private:
    void Enter(SessionState next);
    void Bind(const SessionEvent &event);
    void Unbind();
    void OnRemoved(const SessionEvent &event);
    void OnBadPin(const SessionEvent &event);
    void OnKeyError(const SessionEvent &event);
    void OnInsertedOrNeedPin(const SessionEvent &event);
    // The client locked and the traces of the Key undone, after a pull of the bound Key.
    void Lock(const LockFollowUp &cause = LockFollowUp());
    // Undoes what a logon did before it failed, and leaves the state its origin falls back to.
    void FailLogon(LogonOrigin origin);
    void CancelOpenPrompt();
    void ReleaseStartWait();
    // A report of a Key event (a lock may close it, see Lock).
    void ReportBox(const std::string &text);
    void FlowEnded();

    volatile LONG state_ = static_cast<LONG>(SessionState::kLoaded);
    volatile LONG stopping_ = 0;
    volatile LONG logons_ = 0;  // logons that reached the Key's ID
    mutable SRWLOCK lock_ = SRWLOCK_INIT;  // guards reader_ and label_ for readers on other threads
    std::string reader_;
    std::string label_;
    HANDLE stopEvent_ = nullptr;
    int flowDepth_ = 0;
    int reportsOpen_ = 0;  // reports of Key events open on the client's thread
    bool pulledDuringFlow_ = false;
    bool errorShown_ = false;  // a Key problem was reported: the generic read error is not shown again
    STATUS registerStatus_ = 0;
    std::deque<SessionEvent> deferred_;
    friend class Flow;
};

KeySession &Session();
// hFictDlg's handler of a posted LockFollowUp (it deletes it).
void RunLockFollowUp(LockFollowUp *lock);
