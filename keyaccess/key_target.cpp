// A command's copy of its Key, and the check that the same Key is still there.
#include "key_target.h"

#include <cstring>

KeyTarget TakeKeyTarget(CSmartKey &key, const std::string &reader)
{
    KeyTarget target;
    if (reader.empty())
        return target;
    std::optional<ReaderRecord> r = key.FindReader(reader.c_str());
    if (!r)
        return target;
    target.reader = reader;
    std::memcpy(target.cardId, r->card_id, sizeof target.cardId);
    char label[36] = "";
    key.GetKeyInfo(reader.c_str(), nullptr, nullptr, label);
    target.label = label;
    return target;
}

bool KeyTargetPresent(CSmartKey &key, const KeyTarget &target)
{
    if (target.empty())
        return false;
    std::optional<ReaderRecord> r = key.FindReader(target.reader.c_str());
    if (!r)
        return false;
    char label[36] = "";
    int state = key.GetKeyInfo(target.reader.c_str(), nullptr, nullptr, label);
    return state != csAbsent && std::memcmp(r->card_id, target.cardId, sizeof target.cardId) == 0 &&
           target.label == label;
}
