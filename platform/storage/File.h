// SPDX-License-Identifier: MIT
// BFile: a regular file's data as a BPositionIO over a POSIX descriptor.
//
// Only regular files open: a folder gives B_IS_A_DIRECTORY and a pipe, socket or device
// gives B_BAD_VALUE, so no decoder ever waits on a stream that never ends.
#pragma once

#include "platform/storage/Node.h"
#include "platform/storage/StorageDefs.h"
#include "platform/support/DataIO.h"

class BDirectory;

class BFile : public BNode, public BPositionIO {
public:
    BFile();
    BFile(const entry_ref* ref, uint32 openMode);
    BFile(const BEntry* entry, uint32 openMode);
    BFile(const char* path, uint32 openMode);
    BFile(const BDirectory* directory, const char* name, uint32 openMode);
    ~BFile() override;

    // openMode: B_READ_ONLY, B_WRITE_ONLY or B_READ_WRITE, or'ed with B_CREATE_FILE,
    // B_ERASE_FILE, B_FAIL_IF_EXISTS and B_OPEN_AT_END. A new file gets 0666 less the umask.
    status_t SetTo(const entry_ref* ref, uint32 openMode);
    status_t SetTo(const BEntry* entry, uint32 openMode);
    status_t SetTo(const char* path, uint32 openMode);
    status_t SetTo(const BDirectory* directory, const char* name, uint32 openMode);

    // A new file in `folder`, open for reading and writing, that has no name and so exists
    // nowhere until it is linked into a folder: a crash leaves nothing behind. Its mode is
    // `mode` less the umask. B_UNSUPPORTED where the file system cannot make one.
    status_t SetToUnnamed(const char* folder, mode_t mode);

    bool IsReadable() const;
    bool IsWritable() const;

    ssize_t Read(void* buffer, size_t size) override;
    ssize_t Write(const void* buffer, size_t size) override;
    ssize_t ReadAt(off_t position, void* buffer, size_t size) override;
    ssize_t WriteAt(off_t position, const void* buffer, size_t size) override;
    off_t Seek(off_t position, uint32 seekMode) override;
    off_t Position() const override;
    status_t SetSize(off_t size) override;
    status_t GetSize(off_t* size) const override;

private:
    uint32 fMode = 0;
};
