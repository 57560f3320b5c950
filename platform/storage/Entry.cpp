// SPDX-License-Identifier: MIT
#include "platform/storage/Entry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/storage/Directory.h"
#include "platform/storage/Path.h"
#include "platform/storage/Rename.h"
#include "platform/storage/StorageDefs.h"
#include "platform/support/ErrorReason.h"

namespace {

bool IsPlainLeaf(const char* name) {
    return name != nullptr && orv::IsLeafName(name);
}

// The canonical form of an existing path, through every link.
bool RealPath(const std::string& path, std::string* resolved) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    if (!real) {
        return false;
    }
    *resolved = real.get();
    return true;
}

// Splits an absolute path into its folder and leaf ("/" itself becomes "/" and ".").
entry_ref SplitPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string leaf = path.substr(slash + 1);
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    if (leaf.empty()) {
        return entry_ref("/", ".");
    }
    return entry_ref(std::move(folder), std::move(leaf));
}

bool LStat(const entry_ref& ref, struct stat* st) {
    return lstat(ref.Path().c_str(), st) == 0;
}

}  // namespace

BEntry::BEntry() = default;

BEntry::BEntry(const entry_ref* ref, bool traverse) {
    SetTo(ref, traverse);
}

BEntry::BEntry(const BDirectory* directory, const char* name, bool traverse) {
    SetTo(directory, name, traverse);
}

BEntry::BEntry(const char* path, bool traverse) {
    SetTo(path, traverse);
}

BEntry::~BEntry() = default;

status_t BEntry::SetTo(const char* path, bool traverse) {
    Unset();
    if (path == nullptr || *path == '\0') {
        return fStatus = B_BAD_VALUE;
    }
    std::string full = path;
    if (full[0] != '/') {
        // Prefixed, not folded: ".." after a link must go where the file system says.
        char cwd[B_PATH_NAME_LENGTH];
        if (getcwd(cwd, sizeof(cwd)) == nullptr) {
            return fStatus = StatusFromErrno(errno);
        }
        full = std::string(cwd) + "/" + full;
    }
    while (full.size() > 1 && full.back() == '/') {
        full.pop_back();
    }
    entry_ref ref = SplitPath(full);
    if (ref.name == "." || ref.name == "..") {
        // Names a folder by its own "." or "..": resolve to the folder itself.
        std::string resolved;
        if (!RealPath(full, &resolved)) {
            return fStatus = StatusFromErrno(errno);
        }
        ref = SplitPath(resolved);
    } else {
        // The folder is made canonical so that two spellings of a place give equal refs;
        // the leaf itself is never resolved, as a link is an entry of its own.
        std::string folder;
        ref.directory = RealPath(ref.directory, &folder) ? folder : BPath::Normalize(ref.directory);
    }
    fRef = std::move(ref);
    fStatus = B_OK;
    if (traverse) {
        std::string resolved;
        struct stat st;
        if (LStat(fRef, &st) && S_ISLNK(st.st_mode) && RealPath(fRef.Path(), &resolved)) {
            fRef = SplitPath(resolved);
        }
    }
    return fStatus;
}

status_t BEntry::SetTo(const entry_ref* ref, bool traverse) {
    if (ref == nullptr || !ref->IsValid()) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    if (!traverse && IsPlainLeaf(ref->name.c_str())) {
        fRef = *ref;
        return fStatus = B_OK;
    }
    return SetTo(ref->Path().c_str(), traverse);
}

status_t BEntry::SetTo(const BDirectory* directory, const char* name, bool traverse) {
    if (directory == nullptr || directory->InitCheck() != B_OK || name == nullptr) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    // A plain leaf in an open folder needs no resolving: this is the hot path of choosing
    // a free output name, tried up to tens of thousands of times.
    if (!traverse && IsPlainLeaf(name)) {
        fRef = entry_ref(directory->Path(), name);
        return fStatus = B_OK;
    }
    if (*name == '/') {
        return SetTo(name, traverse);
    }
    return SetTo((directory->Path() + "/" + name).c_str(), traverse);
}

void BEntry::Unset() {
    fRef = entry_ref();
    fStatus = B_NO_INIT;
}

status_t BEntry::InitCheck() const {
    return fStatus;
}

bool BEntry::Exists() const {
    struct stat st;
    return fStatus == B_OK && LStat(fRef, &st);
}

bool BEntry::IsFile() const {
    struct stat st;
    return fStatus == B_OK && LStat(fRef, &st) && S_ISREG(st.st_mode);
}

bool BEntry::IsDirectory() const {
    struct stat st;
    return fStatus == B_OK && LStat(fRef, &st) && S_ISDIR(st.st_mode);
}

bool BEntry::IsSymLink() const {
    struct stat st;
    return fStatus == B_OK && LStat(fRef, &st) && S_ISLNK(st.st_mode);
}

status_t BEntry::GetRef(entry_ref* ref) const {
    if (ref == nullptr) {
        return B_BAD_VALUE;
    }
    if (fStatus != B_OK) {
        return fStatus;
    }
    *ref = fRef;
    return B_OK;
}

status_t BEntry::GetName(char* buffer) const {
    if (buffer == nullptr) {
        return B_BAD_VALUE;
    }
    buffer[0] = '\0';
    if (fStatus != B_OK) {
        return fStatus;
    }
    if (fRef.name.size() >= B_FILE_NAME_LENGTH) {
        return B_NAME_TOO_LONG;
    }
    std::memcpy(buffer, fRef.name.c_str(), fRef.name.size() + 1);
    return B_OK;
}

std::string BEntry::Path() const {
    return fStatus == B_OK ? fRef.Path() : std::string();
}

namespace {

// Sets `target`, a folder or an entry, to the folder that an entry lies in.
template <typename Target>
status_t SetToFolderOf(status_t entryStatus, const entry_ref& ref, Target* target) {
    if (target == nullptr) {
        return B_BAD_VALUE;
    }
    if (entryStatus != B_OK) {
        target->Unset();
        return entryStatus;
    }
    return target->SetTo(ref.directory.c_str());
}

}  // namespace

status_t BEntry::GetParent(BDirectory* directory) const {
    return SetToFolderOf(fStatus, fRef, directory);
}

status_t BEntry::GetParent(BEntry* entry) const {
    return SetToFolderOf(fStatus, fRef, entry);
}

status_t BEntry::MoveTo(const BDirectory* directory, const char* name, bool clobber) {
    if (fStatus != B_OK) {
        return fStatus;
    }
    if (directory == nullptr || directory->InitCheck() != B_OK) {
        return B_BAD_VALUE;
    }
    const char* leaf = name != nullptr ? name : fRef.name.c_str();
    if (!IsPlainLeaf(leaf)) {
        return orv::Fail(B_BAD_VALUE, "nom de fichier invalide");
    }
    entry_ref target(directory->Path(), leaf);
    const std::string from = fRef.Path();
    const std::string to = target.Path();
    status_t status = B_OK;
    if (clobber) {
        status = rename(from.c_str(), to.c_str()) == 0 ? B_OK : StatusFromErrno(errno);
    } else {
        status = orv::RenameNoReplace(from.c_str(), to.c_str());
    }
    if (status != B_OK) {
        return orv::Fail(
            status, status == B_FILE_EXISTS ? "le nom est déjà pris" : "déplacement impossible");
    }
    fRef = std::move(target);
    return B_OK;
}

status_t BEntry::Rename(const char* name, bool clobber) {
    if (fStatus != B_OK) {
        return fStatus;
    }
    BDirectory parent;
    const status_t status = GetParent(&parent);
    if (status != B_OK) {
        return status;
    }
    return MoveTo(&parent, name, clobber);
}

status_t BEntry::Remove() {
    if (fStatus != B_OK) {
        return fStatus;
    }
    struct stat st;
    const std::string path = fRef.Path();
    if (lstat(path.c_str(), &st) != 0) {
        return StatusFromErrno(errno);
    }
    const int result = S_ISDIR(st.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str());
    if (result != 0) {
        return orv::Fail(StatusFromErrno(errno), "suppression impossible");
    }
    return B_OK;
}

bool BEntry::operator==(const BEntry& other) const {
    return fStatus == other.fStatus && (fStatus != B_OK || fRef == other.fRef);
}
