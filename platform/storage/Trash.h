// SPDX-License-Identifier: MIT
// Moving a file or folder to the desktop trash, the freedesktop.org way, so that any file
// manager can show it and put it back.
#pragma once

#include <string>

#include "platform/support/SupportDefs.h"

class BEntry;

namespace orv {

// Moves the entry at `path` (a link itself, never its target) into the trash of its own
// file system: the home trash ($XDG_DATA_HOME/Trash) when it lives on the same device,
// otherwise $topdir/.Trash/$uid or $topdir/.Trash-$uid of its mount. Its .trashinfo is
// written first and reserves the name; a name already in the trash never makes the move
// fail, the file gets a free one ("photo.jpg", then "photo.jpg-0001"...). Nothing is ever
// copied: when no trash on the same file system can be used the entry stays in place and
// the call fails with a reason. `trashedPath`, when given, receives the new path.
// `restorePath`, when given, is where the file manager will put it back, and names it in
// the trash: the path the file had before it was moved aside under a temporary name.
status_t MoveToTrash(const std::string& path, std::string* trashedPath = nullptr,
                     const std::string& restorePath = {});
status_t MoveToTrash(const BEntry& entry, std::string* trashedPath = nullptr);

// The home trash folder: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash.
std::string HomeTrashPath();

}  // namespace orv
