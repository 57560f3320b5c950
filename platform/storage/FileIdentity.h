// SPDX-License-Identifier: MIT
// What makes a file the same file over time: its device and inode, and, to tell that its
// content was not rewritten in place, its size and change times. A program that saves a
// picture under the same name either makes a new inode (save and rename) or changes the
// size or times of the old one.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>

#include "platform/support/SupportDefs.h"

namespace orv {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    // The same inode of the same device.
    bool SameFile(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
    // The same file, neither resized nor written since.
    bool Unchanged(const FileIdentity& other) const;
};

// The identity of an open descriptor, or of the entry at `path` itself (not following a
// final link).
status_t IdentityOf(int fd, FileIdentity* identity);
status_t IdentityAt(const std::string& path, FileIdentity* identity);

}  // namespace orv
