// SPDX-License-Identifier: MIT
#include "platform/storage/FileIdentity.h"

#include <sys/stat.h>

#include <cerrno>

namespace orv {

namespace {

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

FileIdentity FromStat(const struct stat& st) {
    FileIdentity identity;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modified = st.st_mtim;
    identity.changed = st.st_ctim;
    return identity;
}

}  // namespace

bool FileIdentity::Unchanged(const FileIdentity& other) const {
    return SameFile(other) && size == other.size && SameTime(modified, other.modified) &&
           SameTime(changed, other.changed);
}

status_t IdentityOf(int fd, FileIdentity* identity) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return StatusFromErrno(errno);
    }
    *identity = FromStat(st);
    return B_OK;
}

status_t IdentityAt(const std::string& path, FileIdentity* identity) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return StatusFromErrno(errno);
    }
    *identity = FromStat(st);
    return B_OK;
}

}  // namespace orv
