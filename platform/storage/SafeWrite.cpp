// SPDX-License-Identifier: MIT
#include "platform/storage/SafeWrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/storage/Directory.h"
#include "platform/storage/Rename.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/ProgramIdentity.h"

namespace orv {

namespace {

constexpr int kNameAttempts = 100;

std::string TemporaryName() {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof(kAlphabet) - 2);
    std::string name = TemporaryPrefix();
    for (int i = 0; i < 6; ++i) {
        name += kAlphabet[pick(generator)];
    }
    return name;
}

// Makes a finished rename durable; a folder that cannot be synced costs nothing but that.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Links the open nameless file `fd` at `target`, refusing an existing entry. The /proc
// path works for any user; AT_EMPTY_PATH, where /proc is missing, needs privileges.
status_t LinkDescriptor(int fd, const std::string& target) {
    char procPath[64];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
    if (linkat(AT_FDCWD, procPath, AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return B_OK;
    }
    if (errno == ENOENT && linkat(fd, "", AT_FDCWD, target.c_str(), AT_EMPTY_PATH) == 0) {
        return B_OK;
    }
    return errno == EEXIST ? B_FILE_EXISTS : StatusFromErrno(errno);
}

status_t NamingFailure(status_t status) {
    switch (status) {
        case B_FILE_EXISTS:
            return Fail(status, "le nom est déjà pris");
        case B_NAME_TOO_LONG:
            return Fail(status, "nom de fichier trop long");
        default:
            return FailWithCause(status, "impossible de nommer le fichier");
    }
}

}  // namespace

std::string TemporaryPrefix() {
    // Appended rather than joined with operator+, whose insertion at the front GCC 12 takes
    // at -O3 for an overlapping copy (-Wrestrict).
    std::string prefix = ".";
    prefix += CurrentProgramIdentity().name;
    prefix += '-';
    return prefix;
}

SafeWrite::SafeWrite() = default;

SafeWrite::~SafeWrite() {
    Discard();
}

status_t SafeWrite::Open(const BDirectory* directory, mode_t mode) {
    if (directory == nullptr || directory->InitCheck() != B_OK) {
        Discard();
        return B_BAD_VALUE;
    }
    return Open(directory->Path(), mode);
}

status_t SafeWrite::Open(const std::string& folderPath, mode_t mode) {
    if (fCommitted) {
        fFile.reset();
        fCommitted = false;
    }
    Discard();
    fSynced = false;
    fFinalPath.clear();
    fDisplacedName.clear();
    if (folderPath.empty()) {
        return B_BAD_VALUE;
    }
    fFolder = folderPath;
    auto file = std::make_unique<BFile>();
    const status_t status = file->SetToUnnamed(folderPath.c_str(), mode);
    if (status == B_OK) {
        fFile = std::move(file);
        return B_OK;
    }
    if (status != B_UNSUPPORTED) {
        return FailWithCause(status, "impossible de créer un fichier dans le dossier");
    }
    return OpenNamedTemporary(mode);
}

status_t SafeWrite::OpenNamedTemporary(mode_t mode) {
    auto file = std::make_unique<BFile>();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string path = PathOf(TemporaryName());
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            close(fd);
            const status_t status = file->SetTo(path.c_str(), B_READ_WRITE);
            if (status != B_OK) {
                unlink(path.c_str());
                return FailWithCause(status, "impossible de créer un fichier dans le dossier");
            }
            fFile = std::move(file);
            fTempPath = path;
            return B_OK;
        }
        if (errno != EEXIST) {
            return FailWithCause(StatusFromErrno(errno),
                                 "impossible de créer un fichier dans le dossier");
        }
    }
    return Fail(B_FILE_EXISTS, "impossible de créer un fichier temporaire");
}

std::string SafeWrite::PathOf(const std::string& name) const {
    return (fFolder == "/" ? "/" : fFolder + "/") + name;
}

status_t SafeWrite::Sync() {
    if (!fFile) {
        return B_NO_INIT;
    }
    if (fSynced) {
        return B_OK;
    }
    status_t status = fFile->Flush();
    if (status == B_OK) {
        status = fFile->Sync();
    }
    if (status != B_OK) {
        return FailWithCause(status, "écriture sur le disque impossible");
    }
    fSynced = true;
    return B_OK;
}

status_t SafeWrite::LinkOrRename(const std::string& target) {
    if (fTempPath.empty()) {
        return LinkDescriptor(fFile->FileDescriptor(), target);
    }
    return RenameNoReplace(fTempPath.c_str(), target.c_str());
}

status_t SafeWrite::LinkToTemporaryName() {
    if (!fTempPath.empty()) {
        return B_OK;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string path = PathOf(TemporaryName());
        const status_t status = LinkDescriptor(fFile->FileDescriptor(), path);
        if (status == B_OK) {
            fTempPath = path;
            return B_OK;
        }
        if (status != B_FILE_EXISTS) {
            return status;
        }
    }
    return B_FILE_EXISTS;
}

status_t SafeWrite::Commit(const char* name) {
    return GiveName(name, Naming::NoReplace, nullptr);
}

status_t SafeWrite::Exchange(const char* name, std::string* displacedPath) {
    return GiveName(name, Naming::Exchange, displacedPath);
}

status_t SafeWrite::Replace(const char* name) {
    return GiveName(name, Naming::Replace, nullptr);
}

status_t SafeWrite::GiveName(const char* name, Naming how, std::string* displacedPath) {
    if (fCommitted || !fFile) {
        return B_NO_INIT;
    }
    if (name == nullptr || !IsLeafName(name)) {
        return Fail(B_BAD_VALUE, "nom de fichier invalide");
    }
    if (status_t status = Sync(); status != B_OK) {
        return status;
    }
    const std::string target = PathOf(name);
    status_t status = B_OK;
    if (how == Naming::NoReplace) {
        status = LinkOrRename(target);
    } else if (status = LinkToTemporaryName(); status == B_OK) {
        // Exchanging and replacing both need the file under a name of its own first.
        const unsigned flags = how == Naming::Exchange ? RENAME_EXCHANGE : 0;
        if (renameat2(AT_FDCWD, fTempPath.c_str(), AT_FDCWD, target.c_str(), flags) != 0) {
            const int error = errno;
            status = how == Naming::Exchange &&
                             (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP)
                         ? B_UNSUPPORTED
                         : StatusFromErrno(error);
        }
    }
    if (status == B_UNSUPPORTED) {
        return status;
    }
    if (status != B_OK) {
        return NamingFailure(status);
    }
    fCommitted = true;
    fFinalPath = target;
    if (how == Naming::Exchange) {
        fDisplacedName = name;
        *displacedPath = fTempPath;
    } else {
        fTempPath.clear();
    }
    SyncFolder(fFolder);
    return B_OK;
}

status_t SafeWrite::UndoExchange() {
    if (!fCommitted || fDisplacedName.empty()) {
        return B_NO_INIT;
    }
    if (renameat2(AT_FDCWD, fTempPath.c_str(), AT_FDCWD, fFinalPath.c_str(), RENAME_EXCHANGE) !=
        0) {
        return FailWithCause(StatusFromErrno(errno),
                             "impossible de rendre son nom au fichier d'origine");
    }
    fCommitted = false;
    fFinalPath.clear();
    fDisplacedName.clear();
    SyncFolder(fFolder);
    return B_OK;
}

void SafeWrite::Discard() {
    if (fCommitted) {
        return;
    }
    fFile.reset();
    if (!fTempPath.empty()) {
        unlink(fTempPath.c_str());
        fTempPath.clear();
    }
}

}  // namespace orv
