// The reader table of CSmartKey: one record per reader, behind the table lock. Lookups give
// copies; the PIN, the display name and the figures are read and set through methods.
#include "smart_key.h"

#include <cstring>

#include "cut_format.h"
#include "log.h"
#include "smart_key_internal.h"
#include "text_ids.h"
#include "texts.h"

using namespace smart_key_internal;

bool CSmartKey::onNeedPIN(const char *readerName, int, int)
{
    TableLock lock(this);
    if (m_anyReader.pin[0] == 0)
        return false;
    ReaderRecord *r = Record(readerName);
    if (r == nullptr)
        return false;
    if (r->pin[0] == 0) {
        CopyCut(r->pin, 41, m_anyReader.pin);
        return true;
    }
    std::memset(r->pin, 0, sizeof r->pin);  // the given PIN was already refused
    return false;
}

void CSmartKey::SetState(ReaderRecord *r, KeyStatus state)
{
    char text[sizeof r->status_text];
    LoadResString(StatusTextId(state), text, sizeof text);
    TableLock lock(this);
    r->state = state;
    std::memcpy(r->status_text, text, sizeof text);
}

void CSmartKey::SetOpText(ReaderRecord *r, const char *text)
{
    TableLock lock(this);
    CopyCut(r->op_text, sizeof r->op_text, text);
}

void CSmartKey::SetOpResText(ReaderRecord *r, UINT id, const char *part)
{
    char text[sizeof r->op_text];
    if (part != nullptr)
        FormatResString(id, part, text, sizeof text);
    else
        LoadResString(id, text, sizeof text);
    SetOpText(r, text);
}

void CSmartKey::SetAnnounced(ReaderRecord *r, bool announced)
{
    TableLock lock(this);
    r->announced = announced ? TRUE : FALSE;
}

void CSmartKey::SetCount(ReaderRecord *r, LONG count)
{
    TableLock lock(this);
    r->count = count;
}

void CSmartKey::WipePIN(ReaderRecord *r)
{
    TableLock lock(this);
    SecureZeroMemory(r->pin, sizeof r->pin);
}

bool CSmartKey::HoldsPIN(const char *readerName, const char *pin)
{
    TableLock lock(this);
    const ReaderRecord *r = Record(readerName);
    return r != nullptr && pin != nullptr && std::strncmp(r->pin, pin, sizeof r->pin) == 0;
}

std::optional<ReaderRecord> CSmartKey::FindReader(const char *readerName)
{
    TableLock lock(this);
    const ReaderRecord *r = Record(readerName);
    if (r == nullptr)
        return std::nullopt;
    // The PIN never leaves the table: a copy would stay behind in its reader's stack or heap.
    std::optional<ReaderRecord> copy(*r);
    SecureZeroMemory(copy->pin, sizeof copy->pin);
    return copy;
}

ReaderRecord *CSmartKey::Record(const char *readerName)
{
    if (readerName == nullptr) {
        if (m_current != nullptr)
            return m_current;
        for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i)
            if (m_readers[i]->state != csAbsent)
                return m_readers[i];
        return nullptr;
    }
    for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i) {
        if (std::strcmp(m_readers[i]->name, readerName) == 0) {
            m_readers[i]->index = static_cast<DWORD>(i);
            return m_readers[i];
        }
    }
    return nullptr;
}

int CSmartKey::FirstKeyIndex()
{
    TableLock lock(this);
    for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i) {
        KeyStatus s = m_readers[i]->state;
        if (s == csReady || s == csNeedPIN || s == csBlocked || s == csBioFailed || s == csFinallyBlocked)
            return i;
    }
    return -1;
}

void CSmartKey::UpdateReaders()
{
    int count = 0;
    {
        TableLock lock(this);
        while (count < kMaxReaders && m_readers[count] != nullptr)
            m_readers[count++]->present = FALSE;
    }

    for (DWORD i = 0; i < 1024; ++i) {
        if (Get(&m_initStop) != 0 && GetCurrentThreadId() == m_initThreadId)
            return;  // the object is being stopped: the listing ends here, nothing is dropped
        const char *enumerated = Call(m_lib.EnumReaders, i);
        if (enumerated == nullptr)
            break;
        char name[256];
        CopyCut(name, 251, enumerated);
        {
            TableLock lock(this);
            if (ReaderRecord *known = Record(name)) {
                known->present = TRUE;
                continue;
            }
        }
        if (count >= kMaxReaders)
            continue;  // the table is full: later readers are ignored
        LogMessage(kLogMilestone, "CSmartkey new", "%s", name);
        DWORD handle = Call(m_lib.InitReader, name);
        ReaderRecord *r = nullptr;
        {
            TableLock lock(this);
            r = TakeRetired(name);
            if (r == nullptr)
                r = new ReaderRecord();
            std::memset(r, 0, sizeof *r);
            CopyCut(r->name, sizeof r->name, name);
            r->state = csAbsent;
            r->tries = kInitCardDefaultTries;
            r->h = handle;
            r->present = TRUE;
            r->index = static_cast<DWORD>(count);
            m_readers[count++] = r;
        }
        EvReaderChanged(r->name, 1);
    }

    for (int i = 0; i < count;) {
        ReaderRecord *r = m_readers[i];
        if (r->present) {
            ++i;
            continue;
        }
        if (r->ret != kInitCardNoKey)
            EvKeyRemoved(r);
        EvReaderChanged(r->name, 0);
        // The handle is released too: the reader is gone. Its record is kept (see m_retired).
        Call(m_lib.CloseReader, r->h);
        TableLock lock(this);
        if (m_current == r)
            m_current = nullptr;
        r->h = 0;
        r->state = csAbsent;
        r->present = FALSE;
        SecureZeroMemory(r->pin, sizeof r->pin);  // no PIN outlives its reader
        m_retired.push_back(r);
        m_readers[i] = m_readers[count - 1];
        m_readers[count - 1] = nullptr;
        --count;
    }
}

ReaderRecord *CSmartKey::TakeRetired(const char *readerName)
{
    for (auto it = m_retired.begin(); it != m_retired.end(); ++it) {
        if (std::strcmp((*it)->name, readerName) == 0) {
            ReaderRecord *r = *it;
            m_retired.erase(it);
            return r;
        }
    }
    return nullptr;
}

void CSmartKey::SetPIN(const char *readerName, const char *pin)
{
    if (pin == nullptr)
        pin = "";
    TableLock lock(this);
    if (readerName == nullptr || *readerName == 0) {
        CopyCut(m_anyReader.pin, sizeof m_anyReader.pin, pin);
        if (m_current != nullptr)
            CopyCut(m_current->pin, sizeof m_current->pin, pin);
        return;
    }
    if (ReaderRecord *r = Record(readerName))
        CopyCut(r->pin, sizeof r->pin, pin);
}

bool CSmartKey::ForgetPIN(const char *readerName)
{
    TableLock lock(this);
    ReaderRecord *r = Record(readerName);
    if (r == nullptr || r->pin[0] == 0)
        return false;
    SecureZeroMemory(r->pin, sizeof r->pin);
    return true;
}

bool CSmartKey::DisplayName(const char *readerName, char *text, int size)
{
    constexpr int kCardIdDigits = 16;
    if (text == nullptr || size <= 0)
        return false;
    text[0] = 0;
    TableLock lock(this);
    const ReaderRecord *r = Record(readerName);
    if (r == nullptr)
        return false;
    if (r->label[0] != 0) {
        CopyCut(text, static_cast<std::size_t>(size), r->label);
        return true;
    }
    if (size <= kCardIdDigits)
        return false;
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < 8; ++i) {
        text[2 * i] = kHex[r->card_id[i] >> 4];
        text[2 * i + 1] = kHex[r->card_id[i] & 0x0F];
    }
    text[kCardIdDigits] = 0;
    return true;
}

int CSmartKey::GetKeyInfo(const char *readerName, DWORD *allocated, DWORD *freeSpace, char *label)
{
    TableLock lock(this);
    ReaderRecord *r = Record(readerName);
    if (r == nullptr)
        return 0;
    if (allocated != nullptr)
        *allocated = r->app_allocated;
    if (freeSpace != nullptr)
        *freeSpace = r->app_free;
    if (label != nullptr)
        CopyCut(label, sizeof r->label, r->label);
    return r->state;
}
