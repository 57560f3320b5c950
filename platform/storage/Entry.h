// SPDX-License-Identifier: MIT
// BEntry: one named place in a folder, whether or not anything exists there.
//
// An entry never follows a link unless asked to: a symbolic link is an entry of its own, so
// a link whose target is gone still exists and still occupies its name.
#pragma once

#include <string>

#include "platform/support/EntryRef.h"
#include "platform/support/SupportDefs.h"

class BDirectory;
class BPath;

class BEntry {
public:
    BEntry();
    explicit BEntry(const entry_ref* ref, bool traverse = false);
    BEntry(const BDirectory* directory, const char* name, bool traverse = false);
    explicit BEntry(const char* path, bool traverse = false);
    ~BEntry();

    BEntry(const BEntry&) = default;
    BEntry& operator=(const BEntry&) = default;

    // A relative path is taken from the current folder. With traverse, a chain of links is
    // resolved and the entry names the final target.
    status_t SetTo(const entry_ref* ref, bool traverse = false);
    status_t SetTo(const BDirectory* directory, const char* name, bool traverse = false);
    status_t SetTo(const char* path, bool traverse = false);
    void Unset();
    status_t InitCheck() const;

    // What is at the entry now, never through a link.
    bool Exists() const;
    bool IsFile() const;
    bool IsDirectory() const;
    bool IsSymLink() const;

    status_t GetRef(entry_ref* ref) const;
    // Copies the leaf name into a buffer of at least B_FILE_NAME_LENGTH bytes.
    status_t GetName(char* buffer) const;
    // The full path, or an empty string when the entry is not initialised.
    std::string Path() const;
    status_t GetParent(BDirectory* directory) const;
    status_t GetParent(BEntry* entry) const;

    // Moves the entry into `directory` under `name` (its own name when null). Without
    // clobber an existing entry of that name is never replaced: B_FILE_EXISTS. Across file
    // systems nothing is copied: B_CROSS_DEVICE_LINK. On success the entry names the new place.
    status_t MoveTo(const BDirectory* directory, const char* name = nullptr, bool clobber = false);
    status_t Rename(const char* name, bool clobber = false);
    // Deletes the file, link or empty folder; the entry then names a free place.
    status_t Remove();

    bool operator==(const BEntry& other) const;

private:
    entry_ref fRef;
    status_t fStatus = B_NO_INIT;
};
