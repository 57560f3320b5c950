// SPDX-License-Identifier: MIT
// entry_ref: names one directory entry, whether or not anything exists there.
//
// On Linux an entry is named by the absolute path of its parent folder and its leaf name;
// the pair survives a rename of the entry's own file, so a list of files stays valid
// while the run renames what it converts.
#pragma once

#include <string>

#include "platform/support/SupportDefs.h"

struct entry_ref {
    std::string directory;  // absolute path of the parent folder, without a trailing '/'
    std::string name;       // leaf name, without any '/'

    entry_ref() = default;
    entry_ref(std::string dir, std::string leaf)
        : directory(std::move(dir)), name(std::move(leaf)) {}

    bool operator==(const entry_ref&) const = default;

    // The full path: directory + "/" + name ("/" + name for an entry of the root folder).
    std::string Path() const {
        if (directory.empty() || directory == "/") {
            return "/" + name;
        }
        return directory + "/" + name;
    }
    bool IsValid() const { return !name.empty() && !directory.empty() && directory[0] == '/'; }
    status_t set_name(const char* leaf) {
        name = leaf ? leaf : "";
        return B_OK;
    }
};
