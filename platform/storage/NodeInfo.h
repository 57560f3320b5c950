// SPDX-License-Identifier: MIT
// BNodeInfo: a file's MIME type.
//
// The type lives in the extended attribute "user.mime_type", the freedesktop.org
// convention. A file without it is typed by sniffing: its content first, then its name,
// through the shared MIME-info database, then the extensions registered with BMimeType for
// types that database does not know. "application/octet-stream", the database's word for
// "nothing matched", counts as no type, so that a file of unknown type never has an
// extension removed in its name.
#pragma once

#include "platform/support/SupportDefs.h"

class BNode;

class BNodeInfo {
public:
    BNodeInfo();
    explicit BNodeInfo(BNode* node);
    ~BNodeInfo();

    status_t SetTo(BNode* node);
    status_t InitCheck() const;

    // Writes the type into `type`, which holds at least BMimeType::kMaxLength + 1 bytes
    // (B_MIME_TYPE_LENGTH bytes are enough). B_ENTRY_NOT_FOUND when nothing is known,
    // with `type` set to "".
    status_t GetType(char* type) const;
    // Stores the type on the node (null removes it). A file system that refuses extended
    // attributes is not an error: the type is then simply not kept.
    status_t SetType(const char* type);

private:
    BNode* fNode = nullptr;
};
