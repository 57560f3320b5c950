// SPDX-License-Identifier: MIT
#include "platform/storage/Rename.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace orv {

namespace {

// The check and the rename are two steps, so a name taken in between could be replaced:
// the last resort, only where the file system offers neither renameat2 flags nor links.
status_t CheckThenRename(const char* from, const char* to) {
    struct stat st;
    if (lstat(to, &st) == 0) {
        return B_FILE_EXISTS;
    }
    return rename(from, to) == 0 ? B_OK : StatusFromErrno(errno);
}

}  // namespace

status_t MoveByLink(const char* from, const char* to) {
    struct stat st;
    if (lstat(from, &st) != 0) {
        return StatusFromErrno(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        return CheckThenRename(from, to);
    }
    // linkat without AT_SYMLINK_FOLLOW links a symbolic link itself, not its target; the
    // link refuses an existing name just as RENAME_NOREPLACE does.
    if (linkat(AT_FDCWD, from, AT_FDCWD, to, 0) != 0) {
        switch (errno) {
            case EEXIST:
                return B_FILE_EXISTS;
            case EPERM:
            case ENOTSUP:
                return CheckThenRename(from, to);
            default:
                return StatusFromErrno(errno);
        }
    }
    if (unlink(from) != 0) {
        const int error = errno;
        unlink(to);
        return StatusFromErrno(error);
    }
    return B_OK;
}

status_t RenameNoReplace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || *from == '\0' || *to == '\0') {
        return B_BAD_VALUE;
    }
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return B_OK;
    }
    switch (errno) {
        case EEXIST:
            return B_FILE_EXISTS;
        case EINVAL:
        case ENOSYS:
        case ENOTSUP:
            return MoveByLink(from, to);
        default:
            return StatusFromErrno(errno);
    }
}

}  // namespace orv
