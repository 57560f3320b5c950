// SPDX-License-Identifier: MIT
// The files a run goes over, made from what the user named: each file as named, each folder
// replaced by what it holds, breadth first, at the end of the list.
//
// A walk goes as a file manager shows a folder: entries whose names start with a dot are
// hidden and left out (a thumbnail cache, a repository, another run's temporary), and a
// symbolic link met inside a folder is listed but never followed, so a link to a folder
// cannot take the walk elsewhere or round in circles. What the user named is taken as named:
// a hidden file, a link to a folder. A file reached twice, under the same name or another
// one (a.jpg . ./a.jpg, a hard link), is listed once, where it came first.
#pragma once

#include <vector>

#include "platform/support/EntryRef.h"
#include "ui/RunReport.h"

namespace orv {

struct FileList {
    std::vector<entry_ref> refs;
    // Parallel to refs: the file was found in a folder rather than named. A run skips such a
    // file when it is no picture at all, where a file the user named fails.
    std::vector<bool> fromWalk;
    // The folders that could not be read, with the reason.
    std::vector<RunIssue> unreadable;
};

FileList BuildFileList(const std::vector<entry_ref>& named);

}  // namespace orv
