// SPDX-License-Identifier: MIT
// BPath: an absolute path, made from a path string, a folder and a leaf, or an entry_ref.
#pragma once

#include <string>

#include "platform/support/EntryRef.h"
#include "platform/support/SupportDefs.h"

class BPath {
public:
    BPath();
    explicit BPath(const char* path, const char* leaf = nullptr);
    explicit BPath(const entry_ref* ref);

    // A relative path is taken from the current folder; "." and ".." are folded away
    // without touching the disk.
    status_t SetTo(const char* path, const char* leaf = nullptr);
    status_t SetTo(const entry_ref* ref);
    void Unset();
    status_t InitCheck() const;

    const char* Path() const;
    status_t GetParent(BPath* parent) const;
    status_t Append(const char* relativePath);

    bool operator==(const BPath& other) const { return fPath == other.fPath; }

    // The folding done by SetTo: an absolute, normalised path, or "" when `path` is empty.
    static std::string Normalize(const std::string& path);

private:
    std::string fPath;
    status_t fStatus = B_NO_INIT;
};
