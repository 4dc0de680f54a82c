// The BIR string that a dialog flow made, held between the two calls of Braxial's dialog exports.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

class CBioPendingRecord {
public:
    // The size of a flow that the user cancelled or that failed.
    static constexpr uint32_t kCancelled = 0xFFFFFFFFu;

    bool Held() const { return bytes_ != nullptr; }
    uint8_t *data() const { return bytes_.get(); }
    uint32_t size() const { return size_; }
    void SetSize(uint32_t size) { size_ = size; }

    // A zeroed buffer of `capacity` bytes in place of any record held; null when there is no
    // memory for it. The size is left to the caller.
    uint8_t *Allocate(size_t capacity);
    // Frees the record; the size stays.
    void Discard() { bytes_.reset(); }

    // The copy call of the two-call pattern: with a held record and a `*size` below its size the
    // record is lost and the call fails with last error 87; otherwise the record (when its size is
    // not 0) goes to `buffer`, its size to `*size`, and the call succeeds with last error 0.
    // Either way nothing is held afterwards.
    BOOL CopyOut(uint8_t *buffer, uint32_t *size);

private:
    std::unique_ptr<uint8_t[]> bytes_;
    uint32_t size_ = 0;
};
