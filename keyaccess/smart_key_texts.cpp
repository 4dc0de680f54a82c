// The texts CSmartKey makes of Key states and of failures.
#include "smart_key.h"

#include <cstring>

#include "cut_format.h"
#include "log.h"
#include "smart_key_internal.h"
#include "text_ids.h"
#include "texts.h"

using namespace smart_key_internal;

UINT StatusTextId(KeyStatus state)
{
    switch (state) {
    case csAbsent: return IDS_WAITING_FOR_KEY;
    case csReady: return IDS_KEY_READY;
    case csBlocked: return IDS_KEY_BLOCKED;
    case csFinallyBlocked: return IDS_KEY_FINALLY_BLOCKED;
    case csError: return IDS_KEY_UNKNOWN_ERROR;
    case csNeedPIN: return IDS_KEY_NEEDS_PIN;
    case csNotFormatted: return IDS_KEY_NOT_FORMATTED;
    case csBioFailed: return IDS_BIO_VERIFY_FAILED;
    }
    return IDS_KEY_UNIDENTIFIED;
}

bool CSmartKey::GetErrorText(const char *readerName, char *text)
{
    constexpr int kTextSize = 200;
    if (!IsLoaded()) {
        if (text != nullptr)
            FormatResString(IDS_ERROR_LOADING_MODULE, "Quorel32.dll", text, kTextSize);
        return true;
    }
    TableLock lock(this);
    ReaderRecord *r = Record(readerName);
    if (r == nullptr)
        return false;
    KeyStatus s = r->state;
    bool stateError = s == csBlocked || s == csFinallyBlocked || s == csError || s == csNeedPIN ||
                      s == csNotFormatted || s == csBioFailed;
    if (r->last_error == 0 && !stateError)
        return false;
    if (text == nullptr)
        return true;
    if (s != csError && stateError) {
        char part[kSharedTextSize];
        LoadResString(StatusTextId(s), part, sizeof part);
        FormatCut(text, kTextSize, "%s : %s", r->name, part);
        return true;
    }
    char part[kSharedTextSize];
    if (r->op_kind == 2 && r->last_error == 0x80100006) {
        LoadResString(IDS_KEY_NO_SPACE, part, sizeof part);
        FormatCut(text, kTextSize, "%s : %s", r->name, part);
        return true;
    }
    if (r->op_kind == 1 && r->last_error == 1 && r->needed_length > r->requested_length) {
        FormatCut(text, kTextSize, "%s : %s", r->name, "The buffer is too small for the data on the Key.");
        return true;
    }
    char what[kSharedTextSize], reader[kSharedTextSize];
    FormatResString(IDS_ERROR_WHILE_OP, r->op_text, what, sizeof what);
    LoadResString(IDS_KEY_READER, reader, sizeof reader);
    FormatCut(text, kTextSize,
              "%s \n%s%s \n\nApp ID: %d\nRet,GLE:%d, %X\nWrite, Read, Offs len:%d, %d, %d \n", what, reader,
              r->name, static_cast<int>(m_appId), static_cast<int>(r->ret), static_cast<unsigned>(r->last_error),
              static_cast<int>(r->write_length), static_cast<int>(r->requested_length), static_cast<int>(r->offset));
    return true;
}
