// SPDX-License-Identifier: MIT
// BNode: the file behind an entry, open for reading its data and attributes.
//
// A node is opened through links, and without blocking: a named pipe given by mistake must
// not stall a run waiting for a writer. Attributes are Linux extended attributes, named in
// full ("user.mime_type").
#pragma once

#include <string>

#include "platform/support/EntryRef.h"
#include "platform/support/SupportDefs.h"

struct stat;
class BEntry;

class BNode {
public:
    BNode();
    explicit BNode(const entry_ref* ref);
    explicit BNode(const BEntry* entry);
    explicit BNode(const char* path);
    virtual ~BNode();

    BNode(const BNode&) = delete;
    BNode& operator=(const BNode&) = delete;

    status_t SetTo(const entry_ref* ref);
    status_t SetTo(const BEntry* entry);
    status_t SetTo(const char* path);
    void Unset();
    status_t InitCheck() const;

    status_t GetStat(struct stat* st) const;
    // Writes the node's data and attributes to the disk.
    status_t Sync();

    // Bytes read or written, or a negative status_t. The whole attribute is read or written
    // at once: `offset` must be 0 and `type` is not stored (attributes here are untyped).
    ssize_t ReadAttr(const char* name, type_code type, off_t offset, void* buffer,
                     size_t size) const;
    ssize_t WriteAttr(const char* name, type_code type, off_t offset, const void* buffer,
                      size_t size);
    status_t RemoveAttr(const char* name);

    // The path the node was opened by, for diagnostics and type guessing from the name.
    const std::string& Path() const { return fPath; }
    // The open descriptor, or -1; owned by the node.
    int FileDescriptor() const { return fFd; }

protected:
    // Opens `path` with `flags` (O_CLOEXEC added) and adopts the descriptor.
    status_t OpenNode(const std::string& path, int flags, mode_t mode = 0);
    // Closes the node and keeps `status` as its InitCheck, which it returns: how a SetTo
    // that opens nothing ends.
    status_t UnsetWith(status_t status);

private:
    std::string fPath;
    int fFd = -1;
    status_t fStatus = B_NO_INIT;
};
