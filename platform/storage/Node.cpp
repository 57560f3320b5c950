// SPDX-License-Identifier: MIT
#include "platform/storage/Node.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include "platform/storage/Entry.h"

namespace {

// Extended attributes have errors of their own that the general mapping blurs: a file
// system without them, or a file kind that may not carry user attributes, must stay
// distinguishable from a real failure.
status_t StatusFromXattrErrno(int error) {
    switch (error) {
        case ENODATA:
            return B_ENTRY_NOT_FOUND;
        case ENOTSUP:
            return B_UNSUPPORTED;
        case EPERM:
            return B_NOT_ALLOWED;
        case ERANGE:
            return B_BAD_VALUE;
        case E2BIG:
            return B_NAME_TOO_LONG;
        default:
            return StatusFromErrno(error);
    }
}

}  // namespace

BNode::BNode() = default;

BNode::BNode(const entry_ref* ref) {
    SetTo(ref);
}

BNode::BNode(const BEntry* entry) {
    SetTo(entry);
}

BNode::BNode(const char* path) {
    SetTo(path);
}

BNode::~BNode() {
    Unset();
}

status_t BNode::OpenNode(const std::string& path, int flags, mode_t mode) {
    Unset();
    if (path.empty()) {
        return fStatus = B_BAD_VALUE;
    }
    int fd;
    do {
        fd = open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return fStatus = StatusFromErrno(errno);
    }
    fFd = fd;
    fPath = path;
    return fStatus = B_OK;
}

status_t BNode::SetTo(const char* path) {
    if (path == nullptr) {
        return UnsetWith(B_BAD_VALUE);
    }
    return OpenNode(path, O_RDONLY | O_NONBLOCK);
}

status_t BNode::SetTo(const entry_ref* ref) {
    if (ref == nullptr || !ref->IsValid()) {
        return UnsetWith(B_BAD_VALUE);
    }
    return SetTo(ref->Path().c_str());
}

status_t BNode::SetTo(const BEntry* entry) {
    if (entry == nullptr || entry->InitCheck() != B_OK) {
        return UnsetWith(B_BAD_VALUE);
    }
    return SetTo(entry->Path().c_str());
}

status_t BNode::UnsetWith(status_t status) {
    Unset();
    fStatus = status;
    return status;
}

void BNode::Unset() {
    if (fFd >= 0) {
        close(fFd);
    }
    fFd = -1;
    fPath.clear();
    fStatus = B_NO_INIT;
}

status_t BNode::InitCheck() const {
    return fStatus;
}

status_t BNode::GetStat(struct stat* st) const {
    if (st == nullptr) {
        return B_BAD_VALUE;
    }
    if (fFd < 0) {
        return B_NO_INIT;
    }
    return fstat(fFd, st) == 0 ? B_OK : StatusFromErrno(errno);
}

status_t BNode::Sync() {
    if (fFd < 0) {
        return B_NO_INIT;
    }
    return fsync(fFd) == 0 ? B_OK : StatusFromErrno(errno);
}

ssize_t BNode::ReadAttr(const char* name, type_code, off_t offset, void* buffer,
                        size_t size) const {
    if (fFd < 0) {
        return B_NO_INIT;
    }
    if (name == nullptr || offset != 0 || (buffer == nullptr && size > 0)) {
        return B_BAD_VALUE;
    }
    const ssize_t result = fgetxattr(fFd, name, buffer, size);
    return result >= 0 ? result : StatusFromXattrErrno(errno);
}

ssize_t BNode::WriteAttr(const char* name, type_code, off_t offset, const void* buffer,
                         size_t size) {
    if (fFd < 0) {
        return B_NO_INIT;
    }
    if (name == nullptr || offset != 0 || (buffer == nullptr && size > 0)) {
        return B_BAD_VALUE;
    }
    if (fsetxattr(fFd, name, buffer, size, 0) != 0) {
        return StatusFromXattrErrno(errno);
    }
    return ssize_t(size);
}

status_t BNode::RemoveAttr(const char* name) {
    if (fFd < 0) {
        return B_NO_INIT;
    }
    if (name == nullptr) {
        return B_BAD_VALUE;
    }
    return fremovexattr(fFd, name) == 0 ? B_OK : StatusFromXattrErrno(errno);
}
