// SPDX-License-Identifier: MIT
// BDirectory: a folder and its entries.
//
// Entries come back sorted by name, bytewise, without "." and "..": the folder is read whole
// at the first call after opening or Rewind, so a run over the same folder always meets its
// files in the same order, whatever order the file system keeps them in.
#pragma once

#include <string>
#include <vector>

#include "platform/support/EntryRef.h"
#include "platform/support/SupportDefs.h"

class BEntry;

class BDirectory {
public:
    BDirectory();
    // Both follow links: a link to a folder opens the folder.
    explicit BDirectory(const BEntry* entry);
    explicit BDirectory(const char* path);
    explicit BDirectory(const entry_ref* ref);
    ~BDirectory();

    status_t SetTo(const BEntry* entry);
    status_t SetTo(const char* path);
    status_t SetTo(const entry_ref* ref);
    void Unset();
    status_t InitCheck() const;

    // The folder's absolute path (empty when not initialised).
    const std::string& Path() const { return fPath; }

    // Next entry in name order; B_ENTRY_NOT_FOUND after the last one.
    status_t GetNextRef(entry_ref* ref);
    status_t Rewind();
    // The number of entries; the iteration position is kept.
    int32 CountEntries();

    // True when a relative `path` names an existing entry inside the folder (not following
    // a final link), or when `entry` lies somewhere below the folder.
    bool Contains(const char* path) const;
    bool Contains(const BEntry* entry) const;

private:
    status_t ReadEntries();
    // The entries, read on first need: B_OK, or why they could not be read.
    status_t EntriesRead();

    std::string fPath;
    status_t fStatus = B_NO_INIT;
    std::vector<std::string> fNames;
    size_t fNext = 0;
    bool fRead = false;
};
