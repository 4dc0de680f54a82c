// The Key's display name and the Key layer's reason after a message.
#include "key_messages.h"

std::string CardIdText(const BYTE cardId[8])
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string text(16, '0');
    for (int i = 0; i < 8; ++i) {
        text[2 * i] = kHex[cardId[i] >> 4];
        text[2 * i + 1] = kHex[cardId[i] & 0x0F];
    }
    return text;
}

std::string KeyDisplayName(CSmartKey &key, const char *readerName)
{
    if (readerName == nullptr || readerName[0] == 0)
        return "";
    std::optional<ReaderRecord> r = key.FindReader(readerName);
    if (!r)
        return "";
    char label[36] = "";
    int state = key.GetKeyInfo(readerName, nullptr, nullptr, label);
    if (state != csReady && state != csNeedPIN)
        return "";
    return label[0] != 0 ? std::string(label) : CardIdText(r->card_id);
}

std::string WithKeyReason(CSmartKey &key, const char *readerName, const std::string &message, bool *hadReason)
{
    char reason[256] = "";
    bool has = readerName != nullptr && readerName[0] != 0 && key.GetErrorText(readerName, reason) && reason[0] != 0;
    if (hadReason != nullptr)
        *hadReason = has;
    return has ? message + "\n\n" + reason : message;
}
