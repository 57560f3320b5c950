// SPDX-License-Identifier: MIT
#include "platform/storage/Directory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/storage/Entry.h"
#include "platform/support/ErrorReason.h"

BDirectory::BDirectory() = default;

BDirectory::BDirectory(const BEntry* entry) {
    SetTo(entry);
}

BDirectory::BDirectory(const char* path) {
    SetTo(path);
}

BDirectory::BDirectory(const entry_ref* ref) {
    SetTo(ref);
}

BDirectory::~BDirectory() = default;

status_t BDirectory::SetTo(const char* path) {
    Unset();
    if (path == nullptr || *path == '\0') {
        return fStatus = B_BAD_VALUE;
    }
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path, nullptr), &std::free);
    if (!real) {
        return fStatus = StatusFromErrno(errno);
    }
    struct stat st;
    if (stat(real.get(), &st) != 0) {
        return fStatus = StatusFromErrno(errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        return fStatus = B_NOT_A_DIRECTORY;
    }
    fPath = real.get();
    return fStatus = B_OK;
}

status_t BDirectory::SetTo(const BEntry* entry) {
    if (entry == nullptr || entry->InitCheck() != B_OK) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    return SetTo(entry->Path().c_str());
}

status_t BDirectory::SetTo(const entry_ref* ref) {
    if (ref == nullptr || !ref->IsValid()) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    return SetTo(ref->Path().c_str());
}

void BDirectory::Unset() {
    fPath.clear();
    fStatus = B_NO_INIT;
    fNames.clear();
    fNext = 0;
    fRead = false;
}

status_t BDirectory::InitCheck() const {
    return fStatus;
}

status_t BDirectory::ReadEntries() {
    fNames.clear();
    fNext = 0;
    fRead = true;
    struct CloseDir {
        void operator()(DIR* dir) const { closedir(dir); }
    };
    std::unique_ptr<DIR, CloseDir> dir(opendir(fPath.c_str()));
    if (!dir) {
        return orv::Fail(StatusFromErrno(errno), "dossier illisible");
    }
    while (true) {
        errno = 0;
        const dirent* item = readdir(dir.get());
        if (item == nullptr) {
            if (errno != 0) {
                fNames.clear();
                return orv::Fail(StatusFromErrno(errno), "dossier illisible");
            }
            break;
        }
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) {
            continue;
        }
        fNames.emplace_back(item->d_name);
    }
    // std::string compares as unsigned bytes, so the order is the same in every locale.
    std::sort(fNames.begin(), fNames.end());
    return B_OK;
}

status_t BDirectory::EntriesRead() {
    if (fStatus != B_OK) {
        return fStatus;
    }
    return fRead ? B_OK : ReadEntries();
}

status_t BDirectory::GetNextRef(entry_ref* ref) {
    if (ref == nullptr) {
        return B_BAD_VALUE;
    }
    if (const status_t status = EntriesRead(); status != B_OK) {
        return status;
    }
    if (fNext >= fNames.size()) {
        return B_ENTRY_NOT_FOUND;
    }
    *ref = entry_ref(fPath, fNames[fNext++]);
    return B_OK;
}

status_t BDirectory::Rewind() {
    if (fStatus != B_OK) {
        return fStatus;
    }
    fNames.clear();
    fNext = 0;
    fRead = false;
    return B_OK;
}

int32 BDirectory::CountEntries() {
    if (const status_t status = EntriesRead(); status != B_OK) {
        return status;
    }
    return int32(std::min<size_t>(fNames.size(), INT32_MAX));
}

bool BDirectory::Contains(const char* path) const {
    if (fStatus != B_OK || path == nullptr || *path == '\0') {
        return false;
    }
    // Through an entry, so that "sub/../../x" is judged by where it really leads.
    const std::string full = *path == '/' ? std::string(path) : fPath + "/" + path;
    const BEntry entry(full.c_str());
    return Contains(&entry);
}

bool BDirectory::Contains(const BEntry* entry) const {
    if (fStatus != B_OK || entry == nullptr || !entry->Exists()) {
        return false;
    }
    const std::string path = entry->Path();
    const std::string prefix = fPath == "/" ? "/" : fPath + "/";
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}
