// The Key operations of CSmartKey: each borrows the Key from the monitor thread, opens it with the
// stored PIN, does its work and gives the Key back. A failure leaves its last error and text in
// the reader's record until the next operation on that reader, for GetErrorText.
#include <cstring>
#include <optional>
#include <vector>

#include "braxial_binding.h"
#include "cut_format.h"
#include "log.h"
#include "smart_key.h"
#include "text_ids.h"
#include "texts.h"

namespace {

constexpr int kOpTextSize = 51;           // operation names are kept to 50 characters
constexpr int kNewPinLength = 8;
constexpr int kLabelLength = 31;

enum OpKind : DWORD { kOpRandom = 0, kOpRead = 1, kOpWrite = 2, kOpDelete = 3 };

bool HasName(const char *readerName)
{
    return readerName != nullptr && *readerName != 0;
}

}  // namespace

// ---- Taking and giving back the Key -------------------------------------------------------------

ReaderRecord *CSmartKey::SelectKey()
{
    if (HasMonitorThread()) {
        int found = -1;
        ReaderRecord *r = nullptr;
        {
            TableLock lock(this);
            for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i) {
                if (m_readers[i]->state == csReady) {
                    found = i;
                    break;
                }
            }
            if (found < 0)
                return nullptr;
            r = m_readers[found];
            m_current = r;
            r->index = static_cast<DWORD>(found);
        }
        Call(m_lib.CloseCard, r->h, 0);
        return ProcessReader(found, true) ? r : nullptr;
    }

    ReaderRecord *previous = nullptr;
    {
        TableLock lock(this);
        previous = m_current;
        m_current = &m_anyReader;
    }
    if (previous != nullptr && previous != &m_anyReader)
        Call(m_lib.CloseCard, previous->h, 0);
    // Without a monitor, this thread is the only one that changes the table.
    for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i) {
        ReaderRecord *r = m_readers[i];
        bool opened = ProcessReader(i, true);
        if (opened || r->state != csAbsent) {
            // A Key that is there but cannot be used stays the one meant.
            TableLock lock(this);
            m_current = r;
            r->index = static_cast<DWORD>(i);
            return opened ? r : nullptr;
        }
    }
    return nullptr;
}

// The start of every operation: the monitor borrowed, then the Key opened. Nothing of the
// reader table is looked at before the monitor is held (parked, or this thread is the monitor's
// own, inside a handler), since the monitor may drop a record between its visits.
CSmartKey::KeyOperation::KeyOperation(CSmartKey *key, const char *opText, const char *readerName, KeyPick pick)
    : key_(key)
{
    if (!key_->IsLoaded())
        return;
    loan_ = key_->BorrowMonitor(false);
    record_ = pick == KeyPick::kCurrentFirst ? key_->OpenCurrentFirst(opText, readerName)
                                             : key_->OpenKey(opText, readerName);
    if (record_ == nullptr)
        key_->GiveBack(loan_);
}

CSmartKey::KeyOperation::~KeyOperation()
{
    if (record_ == nullptr)
        return;
    DWORD error = GetLastError();
    key_->CloseKey(record_, closeFlag_);
    key_->GiveBack(loan_);
    SetLastError(error);
}

ReaderRecord *CSmartKey::OpenKey(const char *opText, const char *readerName)
{
    if (!HasName(readerName)) {
        ReaderRecord *r = SelectKey();
        if (r == nullptr)
            return nullptr;
        TableLock lock(this);
        CopyCut(r->op_text, kOpTextSize, opText);
        return r;
    }
    ReaderRecord *r = nullptr;
    {
        TableLock lock(this);
        r = Record(readerName);
        if (r == nullptr)
            return nullptr;
        CopyCut(r->op_text, kOpTextSize, opText);
        r->last_error = 0;
    }
    Call(m_lib.CloseCard, r->h, 0);
    if (!ProcessReader(static_cast<int>(r->index), true))
        return nullptr;
    return r;
}

// Without a name, the Key the last selection chose is tried first: an operation goes on with the
// Key the user has been working with, not with whichever Key a new selection finds first. Its
// name is copied only once the monitor is held, so the record cannot be dropped meanwhile.
ReaderRecord *CSmartKey::OpenCurrentFirst(const char *opText, const char *readerName)
{
    char name[sizeof m_anyReader.name] = "";
    if (!HasName(readerName)) {
        TableLock lock(this);
        if (m_current != nullptr)
            CopyCut(name, sizeof name, m_current->name);
    }
    if (name[0] != 0) {
        if (ReaderRecord *r = OpenKey(opText, name))
            return r;
        std::optional<ReaderRecord> current = FindReader(name);
        if (current && current->state != csAbsent)
            return nullptr;
    }
    return OpenKey(opText, readerName);
}

void CSmartKey::CloseKey(ReaderRecord *r, DWORD closeFlag)
{
    Call(m_lib.CloseCard, r->h, closeFlag);
}

void CSmartKey::Failed(ReaderRecord *r)
{
    DWORD error = GetLastError();
    TableLock lock(this);
    r->last_error = error != 0 ? error : 1;
    SetLastError(error);
}

CSmartKey::KeySpace CSmartKey::ReadSpace(DWORD readerHandle)
{
    KeySpace space;
    Call(m_lib.GetApplicationInfo, readerHandle, m_appId, &space.app[0], &space.app[1]);
    Call(m_lib.GetApplicationInfo, readerHandle, kAppWholeKey, &space.whole[0], &space.whole[1]);
    Call(m_lib.GetApplicationInfo, readerHandle, kAppBiometric, &space.bio[0], &space.bio[1]);
    return space;
}

void CSmartKey::StoreSpace(ReaderRecord *r, const KeySpace &space)
{
    r->app_allocated = space.app[0];
    r->app_free = space.app[1];
    r->alocc_space = space.whole[0];
    r->free_space = space.whole[1];
    r->bio_allocated = space.bio[0];
    r->bio_free = space.bio[1];
}

void CSmartKey::RefreshSpace(ReaderRecord *r)
{
    KeySpace space = ReadSpace(r->h);
    TableLock lock(this);
    StoreSpace(r, space);
}

// ---- Data ---------------------------------------------------------------------------------------

bool CSmartKey::Read(const char *readerName, void *buffer, DWORD *length)
{
    DWORD wanted = length != nullptr ? *length : 0;
    LogMessage(kLogMilestone, "", "CSmartKey::Read (%s, addr:%X, len=%d)", readerName != nullptr ? readerName : "",
               static_cast<unsigned>(reinterpret_cast<UINT_PTR>(buffer)), static_cast<int>(wanted));
    if (length == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    KeyOperation r(this, "Read data", readerName, KeyPick::kSelect);
    if (!r)
        return false;
    {
        TableLock lock(this);
        r->data = buffer;
        r->length_ref = length;
        r->requested_length = wanted;
        r->needed_length = 0;
        r->op_kind = kOpRead;
    }

    bool ok = false;
    DWORD size = 0;
    if (!Call(m_lib.ReadData, r->h, 0, nullptr, &size)) {
        Failed(r.record());
        SetOpResText(r.record(), IDS_ERROR_READING_FROM_KEY, "");
    } else if (buffer == nullptr && wanted == 0) {
        *length = size;  // asked for the size only
        ok = true;
    } else if (wanted < size) {
        // Also a buffer given with length 0: its size is unknown, so nothing is copied into it.
        *length = size;
        TableLock lock(this);
        r->needed_length = size;
        r->last_error = 1;
        SetLastError(1);
        LogMessage(kLogError, "", "CSmartKey::Read, need_len=%d", static_cast<int>(size));
    } else if (buffer == nullptr) {
        *length = size;
        ok = true;
    } else {
        *length = size;
        if (!Call(m_lib.ReadData, r->h, 0, static_cast<BYTE *>(buffer), length)) {
            Failed(r.record());
            SetOpResText(r.record(), IDS_ERROR_READING_FROM_KEY, "");
        } else {
            RefreshSpace(r.record());
            ok = true;
        }
    }
    {
        TableLock lock(this);
        r->length_ref = nullptr;  // the caller's variable is not ours beyond this call
    }
    return ok;
}

bool CSmartKey::Write(const char *readerName, DWORD offset, const void *data, DWORD length)
{
    LogMessage(kLogMilestone, "", "CSmartKey::Write (%s, addr:%X, offset=%d)", readerName != nullptr ? readerName : "",
               static_cast<unsigned>(reinterpret_cast<UINT_PTR>(data)), static_cast<int>(offset));
    KeyOperation r(this, "Write data", readerName, KeyPick::kCurrentFirst);
    if (!r)
        return false;
    {
        TableLock lock(this);
        r->offset = offset;
        r->data = const_cast<void *>(data);
        r->write_length = length;
        r->op_kind = kOpWrite;
    }

    bool ok = false;
    DWORD size = length;
    if (data == nullptr && length == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        Failed(r.record());
    } else if (data != nullptr && !Call(m_lib.WriteData, r->h, offset, static_cast<const BYTE *>(data), &size)) {
        Failed(r.record());
        SetOpResText(r.record(), IDS_ERROR_WRITING_TO_KEY, "");
    } else {
        // The data ends where the write ended; bytes before the offset are kept.
        if (data != nullptr)
            size += offset;
        SetOpText(r.record(), "Write Data, SetDataSize");
        if (!Call(m_lib.SetDataSize, r->h, size)) {
            Failed(r.record());
            SetOpResText(r.record(), IDS_ERROR_WRITING_TO_KEY, "(SetDataSize after write)");
        } else {
            RefreshSpace(r.record());
            ok = true;
        }
    }
    return ok;
}

bool CSmartKey::WriteHeadLast(const char *readerName, const void *data, DWORD length, const void *head,
                              DWORD headLength)
{
    LogMessage(kLogMilestone, "", "CSmartKey::WriteHeadLast (%s, addr:%X, len=%d)",
               readerName != nullptr ? readerName : "", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(data)),
               static_cast<int>(length));
    KeyOperation r(this, "Write data", readerName, KeyPick::kCurrentFirst);
    if (!r)
        return false;
    {
        TableLock lock(this);
        r->offset = 0;
        r->data = const_cast<void *>(data);
        r->write_length = length;
        r->op_kind = kOpWrite;
    }
    if (data == nullptr || head == nullptr || length == 0 || headLength == 0 || headLength > length) {
        SetLastError(ERROR_INVALID_PARAMETER);
        Failed(r.record());
        return false;
    }
    DWORD size = length;
    if (!Call(m_lib.WriteData, r->h, 0, static_cast<const BYTE *>(data), &size)) {
        Failed(r.record());
        SetOpResText(r.record(), IDS_ERROR_WRITING_TO_KEY, "");
        return false;
    }
    SetOpText(r.record(), "Write Data, SetDataSize");
    if (!Call(m_lib.SetDataSize, r->h, length)) {
        Failed(r.record());
        SetOpResText(r.record(), IDS_ERROR_WRITING_TO_KEY, "(SetDataSize after write)");
        return false;
    }
    // The true first bytes last: until they are on, the Key holds what its readers refuse.
    SetOpText(r.record(), "Write data");
    DWORD headSize = headLength;
    if (!Call(m_lib.WriteData, r->h, 0, static_cast<const BYTE *>(head), &headSize)) {
        Failed(r.record());
        SetOpResText(r.record(), IDS_ERROR_WRITING_TO_KEY, "");
        return false;
    }
    RefreshSpace(r.record());
    return true;
}

bool CSmartKey::Delete(const char *readerName)
{
    KeyOperation r(this, "Delete", readerName, KeyPick::kSelect);
    if (!r)
        return false;
    {
        TableLock lock(this);
        r->op_kind = kOpDelete;
    }
    bool ok = Call(m_lib.SetDataSize, r->h, 0) != 0;
    if (!ok) {
        Failed(r.record());
        SetOpResText(r.record(), IDS_ERROR_DELETING_FROM_KEY, "(SetDataSize)");
    } else {
        RefreshSpace(r.record());
    }
    return ok;
}

bool CSmartKey::GetRandom(const char *readerName, void *buffer, DWORD length)
{
    KeyOperation r(this, "GetRandom", readerName, KeyPick::kSelect);
    if (!r)
        return false;
    {
        TableLock lock(this);
        r->data = buffer;
        r->write_length = length & 0xFFFF;
        r->op_kind = kOpRandom;
    }
    bool ok = Call(m_lib.GetRandom, r->h, static_cast<BYTE *>(buffer), length) != 0;
    if (!ok)
        Failed(r.record());
    return ok;
}

// ---- PIN and label ------------------------------------------------------------------------------

bool CSmartKey::ChangePIN(const char *readerName, const char *newPin)
{
    char opText[kOpTextSize];
    KeyOperation r(this, LoadResString(IDS_CHANGE_PIN, opText, sizeof opText), readerName, KeyPick::kCurrentFirst);
    if (!r)
        return false;
    char oldPin[sizeof r->pin];
    {
        TableLock lock(this);
        CopyCut(oldPin, sizeof oldPin, r->pin);
    }
    char pin[kNewPinLength + 1];
    CopyCut(pin, sizeof pin, newPin != nullptr ? newPin : "");
    bool ok = Call(m_lib.ChangePIN, r->h, oldPin, pin) != 0;
    SecureZeroMemory(oldPin, sizeof oldPin);
    if (ok) {
        TableLock lock(this);
        CopyCut(r->pin, sizeof r->pin, pin);
    } else {
        Failed(r.record());
        SetOpResText(r.record(), IDS_ERROR_CHANGING_PIN);
    }
    SecureZeroMemory(pin, sizeof pin);
    return ok;
}

bool CSmartKey::UnblockPIN(const char *readerName, const char *newPin)
{
    char opText[kOpTextSize];
    KeyOperation r(this, LoadResString(IDS_UNBLOCK, opText, sizeof opText), readerName, KeyPick::kCurrentFirst);
    if (!r)
        return false;
    bool ok = false;
    if (r->state == csBlocked) {
        char pin[kNewPinLength + 1];
        CopyCut(pin, sizeof pin, newPin != nullptr ? newPin : "");
        ok = Call(m_lib.UnblockPIN, r->h, pin) != 0;
        if (ok) {
            SetState(r.record(), csAbsent);  // the monitor takes the Key up again on its next pass
            TableLock lock(this);
            CopyCut(r->pin, sizeof r->pin, pin);
        } else {
            Failed(r.record());
            SetOpText(r.record(), "error unblock PIN");
        }
        SecureZeroMemory(pin, sizeof pin);
    }
    r.CloseWith(0);
    return ok;
}

bool CSmartKey::ChangeLabel(const char *readerName, const char *label)
{
    KeyOperation r(this, "Change Label", readerName, KeyPick::kCurrentFirst);
    if (!r)
        return false;
    char text[kLabelLength + 1];
    CopyCut(text, sizeof text, label != nullptr ? label : "");
    LogMessage(kLogMilestone, "CSmartkey", "Change Label %s ", text);
    bool ok = Call(m_lib.WriteLabel, r->h, text) != 0;
    if (ok) {
        TableLock lock(this);
        CopyCut(r->label, sizeof r->label, text);
    } else {
        Failed(r.record());
    }
    return ok;
}

// ---- Biometric identifier -----------------------------------------------------------------------

KeyBirAccess CSmartKey::BirAccess(const ReaderRecord *r)
{
    return KeyBirAccess{m_lib.ReadBIR, m_lib.WriteBIR, m_lib.SetBIRSize, m_lib.DeleteBIR, r->h, &m_callLock};
}

// The enrolment dialogs run with the Key given back, so the monitor goes on meanwhile: the Key's
// record is measured first, the user chooses, and the Key is borrowed again for the write. A Key
// exchanged (or gone) meanwhile gets nothing written.
int CSmartKey::ChangeBioID(const char *readerName, HINSTANCE instance, HWND window, const char *caption)
{
    char opText[kOpTextSize];
    LoadResString(IDS_CHANGE_BIO_ID, opText, sizeof opText);
    char reader[sizeof m_anyReader.name] = "";
    BYTE cardId[sizeof m_anyReader.card_id] = {};
    DWORD currentSize = 0;
    bool measured = false;
    {
        KeyOperation r(this, opText, readerName, KeyPick::kCurrentFirst);
        if (!r)
            return 1;
        CopyCut(reader, sizeof reader, r->name);
        {
            TableLock lock(this);
            std::memcpy(cardId, r->card_id, sizeof cardId);
        }
        measured = KeyBIRSize(BirAccess(r.record()), &currentSize);
        if (!measured)
            NoteFailure(reader, GetLastError(), IDS_BIO_ENROLL_FAILED);
    }
    if (!measured) {
        ReportBIRFailure(window, caption, IDS_ERROR_PROCESSING_KEY, GetLastError());
        return 1;
    }

    std::vector<BYTE> record;
    if (!EnrolBIR(window, caption, currentSize != 0, &record)) {
        if (GetLastError() == ERROR_CANCELLED) {
            NoteFailure(reader, 0, 0);  // the user's choice, nothing to report
            SetLastError(0);
            return ERROR_CANCELLED;
        }
        NoteFailure(reader, GetLastError(), IDS_BIO_ENROLL_FAILED);
        return 1;
    }

    KeyOperation r(this, opText, reader, KeyPick::kSelect);
    if (!r || std::memcmp(cardId, r->card_id, sizeof cardId) != 0) {
        NoteFailure(reader, ERROR_MEDIA_CHANGED, IDS_BIO_ENROLL_FAILED);
        ReportBIRFailure(window, caption, IDS_ERROR_PROCESSING_KEY, ERROR_MEDIA_CHANGED);
        return 1;
    }
    if (!StoreKeyBIR(instance, window, caption, BirAccess(r.record()), record)) {
        Failed(r.record());
        SetOpResText(r.record(), IDS_BIO_ENROLL_FAILED);
        return 1;
    }
    RefreshSpace(r.record());
    return 0;
}

void CSmartKey::NoteFailure(const char *readerName, DWORD error, UINT textId)
{
    char text[sizeof m_anyReader.op_text] = "";
    if (textId != 0)
        LoadResString(textId, text, sizeof text);
    {
        TableLock lock(this);
        if (ReaderRecord *r = Record(readerName)) {
            r->last_error = textId == 0 ? 0 : (error != 0 ? error : 1);
            if (textId != 0)
                CopyCut(r->op_text, sizeof r->op_text, text);
        }
    }
    SetLastError(error);
}

bool CSmartKey::VerifyBioID(const char *readerName, HINSTANCE instance, HWND window, const char *caption)
{
    char opText[kOpTextSize];
    KeyOperation r(this, LoadResString(IDS_VERIFY_BIO_ID, opText, sizeof opText), readerName, KeyPick::kCurrentFirst);
    if (!r)
        return false;
    bool ok = true;
    if (r->state != csReady) {
        // Opened, but not with its PIN (blocked by the refusal just made): nothing to verify
        // against, and the Key's state tells the caller why.
        ok = false;
    } else if (r->bio_allocated != 0) {
        ok = VerifyKeyBIR(instance, window, caption, BirAccess(r.record()));
        if (!ok) {
            Failed(r.record());
            SetOpResText(r.record(), IDS_BIO_VERIFY_FAILED);
            SetState(r.record(), csBioFailed);
        }
    }
    return ok;
}
