// SPDX-License-Identifier: MIT
// The one rename of the storage kit that never replaces an existing entry.
#pragma once

#include "platform/support/SupportDefs.h"

namespace orv {

// Renames `from` to `to` unless `to` exists (B_FILE_EXISTS). Uses renameat2 with
// RENAME_NOREPLACE; where the file system lacks it, MoveByLink. No reason is recorded:
// callers phrase their own.
status_t RenameNoReplace(const char* from, const char* to);

// The fallback alone, for file systems that refuse RENAME_NOREPLACE: link then unlink, or,
// where links are refused too (FAT) and for folders, a check then a rename.
status_t MoveByLink(const char* from, const char* to);

}  // namespace orv
