// SPDX-License-Identifier: MIT
#include "platform/support/DataIO.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/support/ErrorReason.h"

namespace {

constexpr off_t kMaxOffset = std::numeric_limits<off_t>::max();

// The position a seek lands on, or a negative status when it would be negative or overflow.
off_t SeekTarget(off_t position, uint32 seekMode, off_t current, off_t end) {
    off_t base = 0;
    switch (seekMode) {
        case SEEK_FROM_START:
            base = 0;
            break;
        case SEEK_FROM_CURRENT:
            base = current;
            break;
        case SEEK_FROM_END:
            base = end;
            break;
        default:
            return B_BAD_VALUE;
    }
    off_t target = 0;
    if (__builtin_add_overflow(base, position, &target) || target < 0) {
        return B_BAD_VALUE;
    }
    return target;
}

// How many of `size` bytes at `position` lie before `end`: 0 when the position is past it.
size_t BytesBefore(off_t position, size_t size, size_t end) {
    if (uint64(position) >= end) {
        return 0;
    }
    return std::min(size, end - size_t(position));
}

// The end of a write of `size` bytes at `position`, when it is representable.
bool WriteEnd(off_t position, size_t size, size_t* end) {
    if (position < 0 || size > size_t(kMaxOffset)) {
        return false;
    }
    off_t last = 0;
    if (__builtin_add_overflow(position, off_t(size), &last)) {
        return false;
    }
    *end = size_t(last);
    return true;
}

// Moves `size` bytes by calling `move(done)`, which moves some of the bytes from `done` on
// and answers how many, until all have moved. A call that moves nothing meets the end of
// the stream: a truncated input when reading, a refused write when writing.
template <typename Move>
status_t MoveExactly(size_t size, bool reading, Move move) {
    size_t done = 0;
    while (done < size) {
        const ssize_t moved = move(done);
        if (moved < 0) {
            return status_t(moved);
        }
        if (moved == 0) {
            return reading ? orv::Fail(B_BAD_DATA, "fichier tronqué")
                           : orv::Fail(B_IO_ERROR, "écriture incomplète");
        }
        done += size_t(moved);
    }
    return B_OK;
}

}  // namespace

// ---- BDataIO

BDataIO::~BDataIO() = default;

status_t BDataIO::Flush() {
    return B_OK;
}

status_t BDataIO::ReadExactly(void* buffer, size_t size) {
    auto* bytes = static_cast<uint8*>(buffer);
    return MoveExactly(size, true, [&](size_t done) { return Read(bytes + done, size - done); });
}

status_t BDataIO::WriteExactly(const void* buffer, size_t size) {
    const auto* bytes = static_cast<const uint8*>(buffer);
    return MoveExactly(size, false, [&](size_t done) { return Write(bytes + done, size - done); });
}

// ---- BPositionIO

ssize_t BPositionIO::Read(void* buffer, size_t size) {
    off_t position = Position();
    ssize_t got = ReadAt(position, buffer, size);
    if (got > 0) {
        Seek(position + got, SEEK_FROM_START);
    }
    return got;
}

ssize_t BPositionIO::Write(const void* buffer, size_t size) {
    off_t position = Position();
    ssize_t put = WriteAt(position, buffer, size);
    if (put > 0) {
        Seek(position + put, SEEK_FROM_START);
    }
    return put;
}

status_t BPositionIO::SetSize(off_t /*size*/) {
    return B_UNSUPPORTED;
}

status_t BPositionIO::GetSize(off_t* size) const {
    if (size == nullptr) {
        return B_BAD_VALUE;
    }
    // Measuring by seeking moves the position, so it is put back afterwards; the stream's
    // observable state is unchanged, which is what const promises the caller.
    auto* self = const_cast<BPositionIO*>(this);
    off_t position = Position();
    off_t end = self->Seek(0, SEEK_FROM_END);
    self->Seek(position, SEEK_FROM_START);
    if (end < 0) {
        return status_t(end);
    }
    *size = end;
    return B_OK;
}

status_t BPositionIO::ReadAtExactly(off_t position, void* buffer, size_t size) {
    auto* bytes = static_cast<uint8*>(buffer);
    return MoveExactly(size, true, [&](size_t done) {
        return ReadAt(position + off_t(done), bytes + done, size - done);
    });
}

// ---- MemoryStream

namespace orv {

ssize_t MemoryStream::ReadAt(off_t position, void* buffer, size_t size) {
    if (position < 0 || (buffer == nullptr && size > 0)) {
        return B_BAD_VALUE;
    }
    const size_t count = BytesBefore(position, std::min(size, size_t(SSIZE_MAX)), fLength);
    if (count > 0) {
        std::memcpy(buffer, Bytes() + position, count);
    }
    return ssize_t(count);
}

off_t MemoryStream::Seek(off_t position, uint32 seekMode) {
    const off_t target = SeekTarget(position, seekMode, fPosition, off_t(fLength));
    if (target >= 0) {
        fPosition = target;
    }
    return target;
}

status_t MemoryStream::GetSize(off_t* size) const {
    if (size == nullptr) {
        return B_BAD_VALUE;
    }
    *size = off_t(fLength);
    return B_OK;
}

}  // namespace orv

// ---- BMallocIO

BMallocIO::BMallocIO() = default;

BMallocIO::~BMallocIO() = default;

ssize_t BMallocIO::WriteAt(off_t position, const void* buffer, size_t size) {
    size_t end = 0;
    if ((buffer == nullptr && size > 0) || size > size_t(SSIZE_MAX) ||
        !WriteEnd(position, size, &end)) {
        return B_BAD_VALUE;
    }
    if (size == 0) {
        return 0;
    }
    if (end > fLength) {
        // A write past the end leaves zeros in the gap, as a sparse file reads.
        status_t status = SetSize(off_t(end));
        if (status != B_OK) {
            return status;
        }
    }
    std::memcpy(fData.data() + position, buffer, size);
    return ssize_t(size);
}

status_t BMallocIO::SetSize(off_t size) {
    if (size < 0) {
        return B_BAD_VALUE;
    }
    if (uint64(size) > fData.max_size()) {
        return orv::Fail(B_NO_MEMORY, "mémoire insuffisante");
    }
    try {
        fData.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        return orv::Fail(B_NO_MEMORY, "mémoire insuffisante");
    }
    fLength = size_t(size);
    return B_OK;
}

// ---- BMemoryIO

BMemoryIO::BMemoryIO(void* data, size_t length)
    : fData(static_cast<uint8*>(data)), fCapacity(data ? length : 0), fReadOnly(false) {
    fLength = fCapacity;
}

BMemoryIO::BMemoryIO(const void* data, size_t length)
    : fData(static_cast<uint8*>(const_cast<void*>(data))),
      fCapacity(data ? length : 0),
      fReadOnly(true) {
    fLength = fCapacity;
}

BMemoryIO::~BMemoryIO() = default;

ssize_t BMemoryIO::WriteAt(off_t position, const void* buffer, size_t size) {
    if (fReadOnly) {
        return B_NOT_ALLOWED;
    }
    if (position < 0 || (buffer == nullptr && size > 0)) {
        return B_BAD_VALUE;
    }
    // The memory cannot grow: a write is cut at the end of the buffer.
    size_t count = BytesBefore(position, std::min(size, size_t(SSIZE_MAX)), fCapacity);
    if (count > 0) {
        std::memcpy(fData + position, buffer, count);
        fLength = std::max(fLength, size_t(position) + count);
    }
    return ssize_t(count);
}

status_t BMemoryIO::SetSize(off_t size) {
    if (fReadOnly) {
        return B_NOT_ALLOWED;
    }
    if (size < 0 || uint64(size) > fCapacity) {
        return B_BAD_VALUE;
    }
    fLength = size_t(size);
    return B_OK;
}
