// Tolvik's Key events on the monitor thread: each becomes a copy posted to the client's thread.
#include "tolvik_key.h"

#include <cstring>

#include "client_window.h"
#include "cut_format.h"
#include "key_messages.h"
#include "key_session.h"
#include "log.h"
#include "logon_state.h"

bool CSmartKeyEx::GetKSD_ID(const char *readerName, char *label, int size)
{
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::GetKSD_ID - Begin Reader=%s", readerName);
    DWORD allocated = 0, freeSpace = 0;
    char own[36] = "";
    int state = GetKeyInfo(readerName, &allocated, &freeSpace, own);
    std::optional<ReaderRecord> r = FindReader(readerName);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::GetKSD_ID - rdr=%d alocc_space=%lu free_space=%lu",
               r ? static_cast<int>(r->index) : -1, static_cast<unsigned long>(allocated),
               static_cast<unsigned long>(freeSpace));
    label[0] = 0;
    if (state != csReady && state != csNeedPIN)
        return false;
    DisplayName(readerName, label, size);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::GetKSD_ID - Exit KSDLabel=%s", label);
    return label[0] != 0;
}

void CSmartKeyEx::onFinishInit(int)
{
    StartMonitoring();
}

void CSmartKeyEx::PostArrival(const char *readerName, bool needPin)
{
    SessionEvent e(needPin ? SessionEvent::kNeedPin : SessionEvent::kInserted, readerName);
    DWORD allocated = 0, freeSpace = 0;
    char label[kLabelSize] = "";
    e.state = GetKeyInfo(readerName, &allocated, &freeSpace, label);
    e.prepared = allocated != 0;
    if (label[0] == 0)
        DisplayName(readerName, label, sizeof label);
    e.label = label;
    PostSessionEvent(e);
}

void CSmartKeyEx::onKeyInserted(const char *readerName)
{
    PostArrival(readerName, false);
}

void CSmartKeyEx::onKeyRemoved(const char *readerName)
{
    SessionEvent e(SessionEvent::kRemoved, readerName);
    PostSessionEvent(e);
}

bool CSmartKeyEx::onNeedPIN(const char *readerName, int count, int tries)
{
    if (count == 0) {
        // Announced once: the Key stays asking until the client's thread hands it a PIN.
        PostArrival(readerName, true);
        return false;
    }
    // A PIN presented to the Key was refused. It is forgotten, so that no visit presents it again
    // (each try costs one of the Key's attempts); a visit that had no PIN to present refused nothing.
    if (!ForgetPIN(readerName))
        return false;
    SessionEvent e(SessionEvent::kBadPin, readerName);
    e.tries = tries;
    PostSessionEvent(e);
    return false;
}

void CSmartKeyEx::onKeyError(const char *readerName, const char *statusText)
{
    SessionEvent e(SessionEvent::kKeyError, readerName);
    e.state = GetKeyInfo(readerName, nullptr, nullptr, nullptr);
    e.text = statusText != nullptr ? statusText : "";
    char detail[256] = "";
    if (GetErrorText(readerName, detail))
        e.detail = detail;
    PostSessionEvent(e);
}
