// SPDX-License-Identifier: MIT
#include "ui/FileList.h"

#include <sys/stat.h>

#include <deque>
#include <set>
#include <utility>

#include "platform/storage/Directory.h"
#include "platform/storage/Entry.h"
#include "platform/support/ErrorReason.h"

namespace orv {

namespace {

using Identity = std::pair<dev_t, ino_t>;

bool IsHidden(const entry_ref& ref) {
    return !ref.name.empty() && ref.name[0] == '.';
}

class Builder {
public:
    void Named(const entry_ref& ref) {
        // A folder the user named is walked even when its name is a link to it.
        const BEntry resolved(&ref, true);
        entry_ref target;
        if (resolved.IsDirectory() && resolved.GetRef(&target) == B_OK) {
            QueueFolder(target);
        } else {
            AddFile(ref, false);
        }
    }

    FileList Walk() {
        while (!fFolders.empty()) {
            const entry_ref folder = std::move(fFolders.front());
            fFolders.pop_front();
            ReadFolder(folder);
        }
        return std::move(fList);
    }

private:
    void QueueFolder(const entry_ref& folder) {
        struct stat st;
        if (stat(folder.Path().c_str(), &st) == 0 && !fSeen.insert({st.st_dev, st.st_ino}).second) {
            return;
        }
        fFolders.push_back(folder);
    }

    void AddFile(const entry_ref& ref, bool fromWalk) {
        // A name that leads nowhere stays: the run tells why it could not convert it.
        struct stat st;
        if (stat(ref.Path().c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            !fSeen.insert({st.st_dev, st.st_ino}).second) {
            return;
        }
        fList.refs.push_back(ref);
        fList.fromWalk.push_back(fromWalk);
    }

    void ReadFolder(const entry_ref& folder) {
        BDirectory directory(&folder);
        ClearErrorReason();
        entry_ref ref;
        status_t status = directory.InitCheck();
        while (status == B_OK && (status = directory.GetNextRef(&ref)) == B_OK) {
            if (IsHidden(ref)) {
                continue;
            }
            if (BEntry(&ref, false).IsDirectory()) {
                QueueFolder(ref);
            } else {
                AddFile(ref, true);
            }
        }
        if (status != B_ENTRY_NOT_FOUND) {
            fList.unreadable.push_back({folder.Path(), ErrorReasonOr(status)});
        }
    }

    FileList fList;
    std::deque<entry_ref> fFolders;
    // Files listed and folders walked, by device and inode.
    std::set<Identity> fSeen;
};

}  // namespace

FileList BuildFileList(const std::vector<entry_ref>& named) {
    Builder builder;
    for (const entry_ref& ref : named) {
        builder.Named(ref);
    }
    return builder.Walk();
}

}  // namespace orv
