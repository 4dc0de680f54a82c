// The console's Key events: rows for usable Keys, their removal, refused PINs and Key errors,
// each handed to the window thread as a posted copy.
#include "admin_key.h"

#include <cstring>

#include "admin_ui.h"
#include "cut_format.h"
#include "key_event.h"
#include "key_messages.h"
#include "log.h"

namespace {

constexpr DWORD kFirstEventsWait = 5000;

KeyEvent NewEvent(KeyEventKind kind, const char *readerName)
{
    KeyEvent e = {};
    e.kind = kind;
    CopyCut(e.reader, sizeof e.reader, readerName != nullptr ? readerName : "");
    return e;
}

}  // namespace

CSmartKeyEx &AdminKey()
{
    static CSmartKeyEx key;
    return key;
}

CSmartKeyEx::~CSmartKeyEx()
{
    SetKeyEventWindow(nullptr);  // events of the last moments go nowhere
    StopMonitoring();
    if (m_startSem != nullptr)
        CloseHandle(m_startSem);
}

bool CSmartKeyEx::GetKSD_ID(const char *readerName, char *text, int size)
{
    text[0] = 0;
    std::optional<ReaderRecord> r = FindReader(readerName);
    if (!r)
        return false;
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::GetKSD_ID - rdr=%d alocc_space=%lu free_space=%lu",
               static_cast<int>(r->index), static_cast<unsigned long>(r->alocc_space),
               static_cast<unsigned long>(r->free_space));
    LogMessage(kLogStep, kAdminLog, "rdr->state=%d", static_cast<int>(r->state));
    LogMessage(kLogStep, kAdminLog, "rdr->h=%lu rdr->ret=%ld rdr->label=%s", static_cast<unsigned long>(r->h),
               static_cast<long>(r->ret), r->label);
    std::string cardId = CardIdText(r->card_id);
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::GetKSD_ID - rdr->card_id=%s", cardId.c_str());
    std::string shown = KeyDisplayName(*this, readerName);
    if (shown.empty())
        return false;
    CopyCut(text, static_cast<std::size_t>(size), shown.c_str());
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::GetKSD_ID - Exit");
    return text[0] != 0;
}

void CSmartKeyEx::onFinishInit(int)
{
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::onFinishInit - Begin (StartMotitioring)");
    // Made before the monitor starts, so that its first insertions can already release it.
    if (m_startSem == nullptr)
        m_startSem = CreateSemaphoreA(nullptr, 0, 255, "SNTR_adm");
    StartMonitoring();
    if (m_startSem != nullptr)
        WaitForSingleObject(m_startSem, kFirstEventsWait);  // the initialisation thread's own wait
    PostKeyEvent(NewEvent(KeyEventKind::kFinishInit, ""));
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::onFinishInit - Exit");
}

void CSmartKeyEx::onKeyInserted(const char *readerName)
{
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::onKeyInserted - Begin");
    KeyEvent e = NewEvent(KeyEventKind::kInserted, readerName);
    if (GetKSD_ID(readerName, e.text, sizeof e.text))
        PostKeyEvent(e);
    if (InterlockedIncrement(&m_insertions) - 1 >= 2 && m_startSem != nullptr)
        ReleaseSemaphore(m_startSem, 1, nullptr);
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::onKeyInserted - Exit");
}

void CSmartKeyEx::onKeyRemoved(const char *readerName)
{
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::onKeyRemoved - Begin");
    PostKeyEvent(NewEvent(KeyEventKind::kRemoved, readerName));
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::onKeyRemoved - Exit");
}

bool CSmartKeyEx::onNeedPIN(const char *readerName, int count, int tries)
{
    LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::onNeedPIN - Begin");
    if (count == 0) {
        onKeyInserted(readerName);
        LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::onNeedPIN - Exit");
        return false;
    }
    // The PIN handed over was refused. It is forgotten, so that the monitor does not present it
    // again on its next visit: every presentation costs one of the Key's attempts. A visit that
    // finds no PIN to present has refused nothing: that refusal was warned about already.
    if (!ForgetPIN(readerName)) {
        LogMessage(kLogStep, kAdminLog, "CSmartKeyEx::onNeedPIN - Exit");
        return false;
    }
    InterlockedExchange(&flags.badPinShown, 1);
    KeyEvent e = NewEvent(KeyEventKind::kBadPin, readerName);
    e.tries = tries;
    PostKeyEvent(e);
    return false;
}

void CSmartKeyEx::onKeyError(const char *readerName, const char *statusText)
{
    KeyEvent e = NewEvent(KeyEventKind::kKeyError, readerName);
    e.state = GetKeyInfo(readerName, nullptr, nullptr, nullptr);
    if (e.state == csNeedPIN)
        return;
    if (e.state == csBlocked)
        InterlockedExchange(&flags.blockedKeySeen, 1);
    CopyCut(e.text, sizeof e.text, statusText != nullptr ? statusText : "");
    char detail[256] = "";
    if (GetErrorText(readerName, detail))
        CopyCut(e.detail, sizeof e.detail, detail);
    PostKeyEvent(e);
}
