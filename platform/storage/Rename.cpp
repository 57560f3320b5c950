// SPDX-License-Identifier: MIT
#include "platform/storage/Rename.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace orv {

namespace {

// link() + unlink(): the link refuses an existing target just as RENAME_NOREPLACE does.
status_t LinkThenUnlink(const char* from, const char* to) {
    struct stat st;
    if (lstat(from, &st) != 0) {
        return StatusFromErrno(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        // A folder cannot be linked. The check and the rename are two steps, so this is the
        // one case where a name taken in between could be replaced; it only arises on file
        // systems without renameat2 support, and rename() does refuse a non-empty folder.
        if (lstat(to, &st) == 0) {
            return B_FILE_EXISTS;
        }
        return rename(from, to) == 0 ? B_OK : StatusFromErrno(errno);
    }
    // linkat without AT_SYMLINK_FOLLOW links a symbolic link itself, not its target.
    if (linkat(AT_FDCWD, from, AT_FDCWD, to, 0) != 0) {
        return errno == EEXIST ? B_FILE_EXISTS : StatusFromErrno(errno);
    }
    if (unlink(from) != 0) {
        const int error = errno;
        unlink(to);
        return StatusFromErrno(error);
    }
    return B_OK;
}

}  // namespace

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
            return LinkThenUnlink(from, to);
        default:
            return StatusFromErrno(errno);
    }
}

}  // namespace orv
