// Holding and handing out the record of the last dialog flow.
#include "bio_pending_record.h"

#include <cstring>
#include <new>

uint8_t *CBioPendingRecord::Allocate(size_t capacity)
{
    bytes_.reset(new (std::nothrow) uint8_t[capacity]());
    return bytes_.get();
}

BOOL CBioPendingRecord::CopyOut(uint8_t *buffer, uint32_t *size)
{
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Held() && *size < size_) {
        Discard();
        size_ = 0;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Held() && size_ != 0)
        std::memcpy(buffer, bytes_.get(), size_);
    *size = size_;
    Discard();
    size_ = 0;
    SetLastError(0);
    return TRUE;
}
