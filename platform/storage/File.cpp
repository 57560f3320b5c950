// SPDX-License-Identifier: MIT
#include "platform/storage/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/storage/Directory.h"
#include "platform/storage/Entry.h"
#include "platform/support/ErrorReason.h"

namespace {

// A read or write the system refused, with its reason: "plus de place sur le disque",
// "système de fichiers en lecture seule"...
status_t IoFailure(int error) {
    const status_t status = StatusFromErrno(error);
    return orv::Fail(status, status == B_ERROR ? "erreur d'entrée-sortie" : StatusText(status));
}

// Runs `transfer(done)`, one read or write of the bytes from `done` on, until `size` bytes
// have gone through: the system may move fewer at a time, or be interrupted before any. A
// transfer of nothing stops the loop: for a read it is the end of the file, and a write
// that moves nothing would otherwise be retried forever.
template <typename Transfer>
ssize_t TransferAll(size_t size, Transfer transfer) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = transfer(done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return IoFailure(errno);
        }
        if (n == 0) {
            break;
        }
        done += size_t(n);
    }
    return ssize_t(done);
}

}  // namespace

BFile::BFile() = default;

BFile::BFile(const entry_ref* ref, uint32 openMode) {
    SetTo(ref, openMode);
}

BFile::BFile(const BEntry* entry, uint32 openMode) {
    SetTo(entry, openMode);
}

BFile::BFile(const char* path, uint32 openMode) {
    SetTo(path, openMode);
}

BFile::BFile(const BDirectory* directory, const char* name, uint32 openMode) {
    SetTo(directory, name, openMode);
}

BFile::~BFile() = default;

status_t BFile::SetTo(const char* path, uint32 openMode) {
    fMode = 0;
    if (path == nullptr || *path == '\0') {
        return UnsetWith(B_BAD_VALUE);
    }
    int flags = 0;
    switch (openMode & B_ACCESS_MODE_MASK) {
        case B_READ_ONLY:
            flags = O_RDONLY;
            break;
        case B_WRITE_ONLY:
            flags = O_WRONLY;
            break;
        case B_READ_WRITE:
            flags = O_RDWR;
            break;
        default:
            return UnsetWith(B_BAD_VALUE);
    }
    if (openMode & B_CREATE_FILE) {
        flags |= O_CREAT;
        if (openMode & B_FAIL_IF_EXISTS) {
            flags |= O_EXCL;
        }
    }
    if (openMode & B_ERASE_FILE) {
        flags |= O_TRUNC;
    }
    if (openMode & B_OPEN_AT_END) {
        flags |= O_APPEND;
    }
    // Opened without blocking so that a named pipe is refused below instead of hanging.
    status_t status = OpenNode(path, flags | O_NONBLOCK, 0666);
    if (status != B_OK) {
        if (status == B_FILE_EXISTS) {
            return status;
        }
        return orv::FailWithCause(status, "ouverture du fichier impossible");
    }
    struct stat st;
    status = GetStat(&st);
    if (status == B_OK && S_ISDIR(st.st_mode)) {
        status = orv::Fail(B_IS_A_DIRECTORY, "c'est un dossier");
    } else if (status == B_OK && !S_ISREG(st.st_mode)) {
        status = orv::Fail(B_BAD_VALUE, "pas un fichier ordinaire");
    } else if (status == B_OK && fcntl(FileDescriptor(), F_SETFL,
                                       fcntl(FileDescriptor(), F_GETFL) & ~O_NONBLOCK) != 0) {
        status = StatusFromErrno(errno);
    }
    if (status != B_OK) {
        return UnsetWith(status);
    }
    fMode = openMode;
    return B_OK;
}

status_t BFile::SetTo(const entry_ref* ref, uint32 openMode) {
    if (ref == nullptr || !ref->IsValid()) {
        return UnsetWith(B_BAD_VALUE);
    }
    return SetTo(ref->Path().c_str(), openMode);
}

status_t BFile::SetTo(const BEntry* entry, uint32 openMode) {
    if (entry == nullptr || entry->InitCheck() != B_OK) {
        return UnsetWith(B_BAD_VALUE);
    }
    return SetTo(entry->Path().c_str(), openMode);
}

status_t BFile::SetTo(const BDirectory* directory, const char* name, uint32 openMode) {
    const BEntry entry(directory, name);
    if (entry.InitCheck() != B_OK) {
        return UnsetWith(B_BAD_VALUE);
    }
    return SetTo(&entry, openMode);
}

status_t BFile::SetToUnnamed(const char* folder, mode_t mode) {
    fMode = 0;
    if (folder == nullptr || *folder == '\0') {
        return UnsetWith(B_BAD_VALUE);
    }
    status_t status = OpenNode(folder, O_TMPFILE | O_RDWR, mode);
    if (status != B_OK) {
        // Older file systems answer O_TMPFILE in several ways; all mean "not here".
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
            status = B_UNSUPPORTED;
        }
        return UnsetWith(status);
    }
    fMode = B_READ_WRITE;
    return B_OK;
}

bool BFile::IsReadable() const {
    return FileDescriptor() >= 0 && (fMode & B_ACCESS_MODE_MASK) != B_WRITE_ONLY;
}

bool BFile::IsWritable() const {
    return FileDescriptor() >= 0 && (fMode & B_ACCESS_MODE_MASK) != B_READ_ONLY;
}

ssize_t BFile::Read(void* buffer, size_t size) {
    if (FileDescriptor() < 0) {
        return B_NO_INIT;
    }
    return TransferAll(size, [&](size_t done) {
        return ::read(FileDescriptor(), static_cast<char*>(buffer) + done, size - done);
    });
}

ssize_t BFile::Write(const void* buffer, size_t size) {
    if (FileDescriptor() < 0) {
        return B_NO_INIT;
    }
    return TransferAll(size, [&](size_t done) {
        return ::write(FileDescriptor(), static_cast<const char*>(buffer) + done, size - done);
    });
}

ssize_t BFile::ReadAt(off_t position, void* buffer, size_t size) {
    if (FileDescriptor() < 0) {
        return B_NO_INIT;
    }
    if (position < 0) {
        return B_BAD_VALUE;
    }
    return TransferAll(size, [&](size_t done) {
        return ::pread(FileDescriptor(), static_cast<char*>(buffer) + done, size - done,
                       position + off_t(done));
    });
}

ssize_t BFile::WriteAt(off_t position, const void* buffer, size_t size) {
    if (FileDescriptor() < 0) {
        return B_NO_INIT;
    }
    if (position < 0) {
        return B_BAD_VALUE;
    }
    return TransferAll(size, [&](size_t done) {
        return ::pwrite(FileDescriptor(), static_cast<const char*>(buffer) + done, size - done,
                        position + off_t(done));
    });
}

off_t BFile::Seek(off_t position, uint32 seekMode) {
    if (FileDescriptor() < 0) {
        return B_NO_INIT;
    }
    int whence;
    switch (seekMode) {
        case SEEK_FROM_START:
            whence = SEEK_SET;
            break;
        case SEEK_FROM_CURRENT:
            whence = SEEK_CUR;
            break;
        case SEEK_FROM_END:
            whence = SEEK_END;
            break;
        default:
            return B_BAD_VALUE;
    }
    const off_t result = lseek(FileDescriptor(), position, whence);
    return result >= 0 ? result : off_t(StatusFromErrno(errno));
}

off_t BFile::Position() const {
    if (FileDescriptor() < 0) {
        return B_NO_INIT;
    }
    const off_t result = lseek(FileDescriptor(), 0, SEEK_CUR);
    return result >= 0 ? result : off_t(StatusFromErrno(errno));
}

status_t BFile::SetSize(off_t size) {
    if (FileDescriptor() < 0) {
        return B_NO_INIT;
    }
    if (size < 0) {
        return B_BAD_VALUE;
    }
    int result;
    do {
        result = ftruncate(FileDescriptor(), size);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? B_OK : IoFailure(errno);
}

status_t BFile::GetSize(off_t* size) const {
    if (size == nullptr) {
        return B_BAD_VALUE;
    }
    struct stat st;
    const status_t status = GetStat(&st);
    if (status == B_OK) {
        *size = st.st_size;
    }
    return status;
}
