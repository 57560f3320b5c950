// SPDX-License-Identifier: MIT
#include "platform/storage/SafeWrite.h"

#include <fcntl.h>
#include <unistd.h>

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
    std::string name = "." + orv::CurrentProgramIdentity().name + "-";
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

}  // namespace

SafeWrite::SafeWrite() = default;

SafeWrite::~SafeWrite() {
    Discard();
}

status_t SafeWrite::Open(const BDirectory* directory) {
    if (directory == nullptr || directory->InitCheck() != B_OK) {
        Discard();
        return B_BAD_VALUE;
    }
    return Open(directory->Path());
}

status_t SafeWrite::Open(const std::string& folderPath) {
    if (fCommitted) {
        fFile.reset();
        fCommitted = false;
    }
    Discard();
    fSynced = false;
    fFinalPath.clear();
    if (folderPath.empty()) {
        return B_BAD_VALUE;
    }
    fFolder = folderPath;
    const std::string prefix = folderPath == "/" ? "/" : folderPath + "/";
    auto file = std::make_unique<BFile>();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string path = prefix + TemporaryName();
        const status_t status =
            file->SetTo(path.c_str(), B_READ_WRITE | B_CREATE_FILE | B_FAIL_IF_EXISTS);
        if (status == B_OK) {
            fFile = std::move(file);
            fTempPath = path;
            return B_OK;
        }
        if (status != B_FILE_EXISTS) {
            return Fail(status, "impossible de créer un fichier dans le dossier");
        }
    }
    return Fail(B_FILE_EXISTS, "impossible de créer un fichier temporaire");
}

status_t SafeWrite::Commit(const char* name) {
    if (fCommitted || !fFile) {
        return B_NO_INIT;
    }
    if (name == nullptr || !IsLeafName(name)) {
        return Fail(B_BAD_VALUE, "nom de fichier invalide");
    }
    if (!fSynced) {
        status_t status = fFile->Flush();
        if (status == B_OK) {
            status = fFile->Sync();
        }
        if (status != B_OK) {
            return Fail(status, status == B_DEVICE_FULL ? "disque plein"
                                                        : "écriture sur le disque impossible");
        }
        fSynced = true;
    }
    const std::string target = (fFolder == "/" ? "/" : fFolder + "/") + name;
    const status_t status = RenameNoReplace(fTempPath.c_str(), target.c_str());
    if (status != B_OK) {
        return Fail(status, status == B_FILE_EXISTS ? "le nom est déjà pris"
                                                    : "impossible de nommer le fichier");
    }
    fCommitted = true;
    fFinalPath = target;
    fTempPath.clear();
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
