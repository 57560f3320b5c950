// SPDX-License-Identifier: MIT
// The one rename of the storage kit that never replaces an existing entry.
#pragma once

#include "platform/support/SupportDefs.h"

namespace orv {

// Renames `from` to `to` unless `to` exists (B_FILE_EXISTS). Uses renameat2 with
// RENAME_NOREPLACE; where the file system lacks it, a hard link then an unlink of the old
// name, which refuses an existing target just the same (for a folder, which cannot be
// linked, a check then a plain rename). No reason is recorded: callers phrase their own.
status_t RenameNoReplace(const char* from, const char* to);

}  // namespace orv
