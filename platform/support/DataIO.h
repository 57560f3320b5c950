// SPDX-License-Identifier: MIT
// Byte streams: BDataIO reads and writes in sequence, BPositionIO also at any position.
// BMallocIO grows a buffer of its own; BMemoryIO works over memory it is given.
#pragma once

#include <vector>

#include "platform/support/SupportDefs.h"

enum {
    SEEK_FROM_START = 0,  // same values as SEEK_SET, SEEK_CUR, SEEK_END
    SEEK_FROM_CURRENT = 1,
    SEEK_FROM_END = 2,
};

class BDataIO {
public:
    virtual ~BDataIO();
    // Bytes read or written (fewer than asked only at the end), or a negative status_t.
    virtual ssize_t Read(void* buffer, size_t size) = 0;
    virtual ssize_t Write(const void* buffer, size_t size) = 0;
    virtual status_t Flush();

    // Loops until every byte is moved; B_PARTIAL_READ-like shortfalls become B_IO_ERROR
    // (reading past the end gives B_BAD_DATA, since a truncated file is malformed).
    status_t ReadExactly(void* buffer, size_t size);
    status_t WriteExactly(const void* buffer, size_t size);
};

class BPositionIO : public BDataIO {
public:
    ssize_t Read(void* buffer, size_t size) override;
    ssize_t Write(const void* buffer, size_t size) override;

    virtual ssize_t ReadAt(off_t position, void* buffer, size_t size) = 0;
    virtual ssize_t WriteAt(off_t position, const void* buffer, size_t size) = 0;
    // New position, or a negative status_t.
    virtual off_t Seek(off_t position, uint32 seekMode) = 0;
    virtual off_t Position() const = 0;
    virtual status_t SetSize(off_t size);
    virtual status_t GetSize(off_t* size) const;

    status_t ReadAtExactly(off_t position, void* buffer, size_t size);
};

namespace orv {

// What the two memory streams share: reading, seeking and measuring bytes held in memory.
class MemoryStream : public BPositionIO {
public:
    ssize_t ReadAt(off_t position, void* buffer, size_t size) override;
    off_t Seek(off_t position, uint32 seekMode) override;
    off_t Position() const override { return fPosition; }
    status_t GetSize(off_t* size) const override;

protected:
    // The first of the fLength bytes the stream holds.
    virtual const uint8* Bytes() const = 0;

    size_t fLength = 0;

private:
    off_t fPosition = 0;
};

}  // namespace orv

// A stream over a buffer it owns and grows as it is written.
class BMallocIO : public orv::MemoryStream {
public:
    BMallocIO();
    ~BMallocIO() override;

    ssize_t WriteAt(off_t position, const void* buffer, size_t size) override;
    status_t SetSize(off_t size) override;

    const void* Buffer() const { return fData.data(); }
    size_t BufferLength() const { return fLength; }

private:
    const uint8* Bytes() const override { return fData.data(); }

    std::vector<uint8> fData;
};

// A stream over memory owned by someone else: read-only when built from a const pointer.
class BMemoryIO : public orv::MemoryStream {
public:
    BMemoryIO(void* data, size_t length);
    BMemoryIO(const void* data, size_t length);
    ~BMemoryIO() override;

    ssize_t WriteAt(off_t position, const void* buffer, size_t size) override;
    status_t SetSize(off_t size) override;

private:
    const uint8* Bytes() const override { return fData; }

    uint8* fData;
    size_t fCapacity;
    bool fReadOnly;
};
