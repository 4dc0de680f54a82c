// One visit of CSmartKey to one reader: InitCard, the PIN steps and the events they raise.
#include "smart_key.h"

#include <cstring>

#include "cut_format.h"
#include "log.h"
#include "smart_key_internal.h"
#include "text_ids.h"
#include "texts.h"

using namespace smart_key_internal;

void CSmartKey::RefreshKeyInfo(int index)
{
    ReaderRecord *r = m_readers[index];
    BYTE id[8] = {};
    DWORD length = sizeof id;
    Call(m_lib.GetCardID, r->h, id, &length);
    KeySpace space = ReadSpace(r->h);
    char label[40] = {};
    Call(m_lib.ReadLabel, r->h, label);

    TableLock lock(this);
    if (std::memcmp(id, r->card_id, sizeof id) != 0) {
        SecureZeroMemory(r->pin, sizeof r->pin);  // another Key: the PIN was not its
        r->announced = FALSE;                     // nor the announcement
    }
    std::memcpy(r->card_id, id, sizeof id);
    StoreSpace(r, space);
    CopyCut(r->label, sizeof r->label, label);
}

bool CSmartKey::ProcessReader(int index, bool checkMode)
{
    ReaderRecord *r = m_readers[index];
    for (;;) {
        SetLastError(0);
        LogMessage(kLogDetail, "cm - ProcessReader:", "call InitCard rdrs=%08X, x=%d, [%X]",
                   static_cast<unsigned>(reinterpret_cast<UINT_PTR>(m_readers)), index,
                   static_cast<unsigned>(GetCurrentThreadId()));
        LONG ret = Call(m_lib.InitCard, r->h, m_appId);
        LogMessage(kLogDetail, "cm - ProcessReader:", "analizing ret value = %d [%X]", static_cast<int>(ret),
                   static_cast<unsigned>(GetCurrentThreadId()));
        DWORD error = GetLastError();
        if (ret == kInitCardTriesUnknown)
            ret = kInitCardDefaultTries;
        {
            TableLock lock(this);
            r->ret = ret;
            r->init_error = error;
        }

        switch (ret) {
        case kInitCardUnchanged:
            // Nothing new about a Key this reader knows. Unless the record says no Key (the Key
            // came while the record was not looking), or a Key operation opened the Key before
            // the monitor announced it: then the Key is heard afresh, so that its insertion is
            // reported like any other.
            if (r->state != csAbsent && (checkMode || r->state != csReady || r->announced))
                return false;
            if (r->state == csAbsent)
                LogMessage(kLogDetail, "cm - ProcessReader:", "-5, on [csAbsent]'ed Key, doing InitCard again...");
            else
                LogMessage(kLogDetail, "cm - ProcessReader:", "-5, on a Key not yet announced, doing InitCard again...");
            Call(m_lib.CloseCard, r->h, 0);
            continue;
        case kInitCardNoKey:
            WipePIN(r);
            if (r->state != csAbsent) {
                SetCount(r, 0);
                SetAnnounced(r, false);
                SetState(r, csAbsent);
                EvKeyRemoved(r);
            }
            return false;
        case kInitCardKeyError:
        case kInitCardKeyFailure:
            RefreshKeyInfo(index);
            WipePIN(r);
            Call(m_lib.CloseCard, r->h, 1);
            SetState(r, csError);
            SetOpResText(r, IDS_KEY_UNKNOWN_ERROR);
            EvKeyError(r);
            return true;
        case kInitCardBlocked:
            RefreshKeyInfo(index);
            SetState(r, csBlocked);
            SetOpResText(r, IDS_KEY_BLOCKED);
            if (checkMode)
                return true;
            Call(m_lib.CloseCard, r->h, 1);
            EvKeyError(r);
            return false;
        case kInitCardFinallyBlocked:
            RefreshKeyInfo(index);
            SetState(r, csFinallyBlocked);
            Call(m_lib.CloseCard, r->h, 1);
            SetOpResText(r, IDS_KEY_FINALLY_BLOCKED);
            EvKeyError(r);
            return false;
        case kInitCardNotFormatted:
            RefreshKeyInfo(index);
            SetState(r, csNotFormatted);
            SetOpResText(r, IDS_KEY_NOT_FORMATTED);
            Call(m_lib.CloseCard, r->h, 1);
            EvKeyError(r);
            return false;
        default:
            break;
        }
        if (ret < 0) {
            RefreshKeyInfo(index);
            char text[sizeof r->status_text];
            LoadResString(IDS_KEY_UNIDENTIFIED, text, sizeof text);
            {
                TableLock lock(this);
                r->state = csError;
                std::memcpy(r->status_text, text, sizeof text);
            }
            EvKeyError(r);
            return false;
        }

        // PIN steps.
        RefreshKeyInfo(index);
        char pin[sizeof r->pin];
        {
            TableLock lock(this);
            r->tries = ret;
            CopyCut(pin, sizeof pin, r->pin);
        }
        if (Call(m_lib.VerifyPIN, r->h, pin)) {
            SetCount(r, 0);
            SetState(r, csReady);
            if (checkMode) {
                SecureZeroMemory(pin, sizeof pin);
                return true;
            }
            EvKeyOpened(r, pin);
            SecureZeroMemory(pin, sizeof pin);
            Call(m_lib.CloseCard, r->h, 1);
            SetAnnounced(r, true);
            EvKeyInserted(r);
            return true;
        }
        Call(m_lib.CloseCard, r->h, 0);
        bool refused = pin[0] != 0;
        SecureZeroMemory(pin, sizeof pin);
        {
            TableLock lock(this);
            r->state = csNeedPIN;
        }
        if (refused) {
            SetCount(r, r->count + 1);
            LONG tries = Call(m_lib.InitCard, r->h, m_appId);
            {
                TableLock lock(this);
                r->tries = tries == kInitCardTriesUnknown ? kInitCardDefaultTries : tries;
            }
            Call(m_lib.CloseCard, r->h, 0);
            if (r->tries == kInitCardBlocked)
                continue;  // the refusal used the last try: the next InitCard finds it blocked
        }
        bool again = EvNeedPIN(r);
        if (again)
            continue;
        SetState(r, csNeedPIN);
        Call(m_lib.CloseCard, r->h, 1);
        return false;
    }
}
