// SPDX-License-Identifier: MIT
#include "platform/storage/Trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/storage/Entry.h"
#include "platform/storage/Path.h"
#include "platform/storage/Rename.h"
#include "platform/support/ErrorReason.h"

namespace orv {

namespace {

constexpr const char kInfoSuffix[] = ".trashinfo";
constexpr int kMaxNumber = 99999;

struct TrashFolder {
    std::string path;    // the trash itself, holding files/ and info/
    std::string topdir;  // the mount's top folder, or empty for the home trash
};

bool IsRealDirectory(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p, every missing folder 0700; each folder on the way must be a real one.
bool MakeFolders(const std::string& path) {
    if (IsRealDirectory(path)) {
        return true;
    }
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) {
        return false;
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    return IsRealDirectory(path);
}

std::string DataHome() {
    const char* dataHome = getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        return BPath::Normalize(dataHome);
    }
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        return {};
    }
    return BPath::Normalize(std::string(home) + "/.local/share");
}

// The device of `path`, or of its nearest existing ancestor when it does not exist yet.
bool DeviceOf(std::string path, dev_t* device) {
    struct stat st;
    while (!path.empty()) {
        if (stat(path.c_str(), &st) == 0) {
            *device = st.st_dev;
            return true;
        }
        const size_t slash = path.rfind('/');
        path = slash == 0 ? (path == "/" ? "" : "/") : path.substr(0, slash);
    }
    return false;
}

// The top folder of the mount that holds `folder` (an existing, canonical folder).
std::string MountTop(std::string folder, dev_t device) {
    while (folder != "/") {
        const size_t slash = folder.rfind('/');
        const std::string parent = slash == 0 ? "/" : folder.substr(0, slash);
        struct stat st;
        if (stat(parent.c_str(), &st) != 0 || st.st_dev != device) {
            break;
        }
        folder = parent;
    }
    return folder;
}

bool PrepareTrash(const std::string& trash) {
    return MakeFolders(trash + "/files") && MakeFolders(trash + "/info");
}

// The trash of a mount other than the home's: the shared $topdir/.Trash/$uid when the
// administrator made .Trash a sticky folder (never through a link), else $topdir/.Trash-$uid.
bool FindTopdirTrash(const std::string& topdir, TrashFolder* trash) {
    const std::string uid = std::to_string(getuid());
    const std::string base = topdir == "/" ? "" : topdir;
    const std::string shared = base + "/.Trash";
    struct stat st;
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string mine = shared + "/" + uid;
        if (PrepareTrash(mine)) {
            *trash = {mine, topdir};
            return true;
        }
    }
    const std::string own = base + "/.Trash-" + uid;
    if (PrepareTrash(own)) {
        struct stat ownStat;
        if (lstat(own.c_str(), &ownStat) == 0 && ownStat.st_uid == getuid()) {
            *trash = {own, topdir};
            return true;
        }
    }
    return false;
}

status_t ChooseTrash(const std::string& folder, dev_t device, TrashFolder* trash) {
    const std::string dataHome = DataHome();
    if (!dataHome.empty()) {
        const std::string home = dataHome + "/Trash";
        dev_t homeDevice;
        if (DeviceOf(home, &homeDevice) && homeDevice == device) {
            if (!PrepareTrash(home)) {
                return Fail(B_PERMISSION_DENIED, "corbeille inaccessible");
            }
            *trash = {home, {}};
            return B_OK;
        }
    }
    if (FindTopdirTrash(MountTop(folder, device), trash)) {
        return B_OK;
    }
    return Fail(B_NOT_ALLOWED, "pas de corbeille sur ce disque");
}

// Bytes as in a URL: unreserved characters and '/' stay, everything else becomes %XX.
std::string PercentEncode(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : path) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~' ||
                          c == '/';
        if (keep) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::string DeletionDate() {
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char text[32];
    strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// The leaf cut so that "leaf-NNNNN.trashinfo" fits a name, never inside a UTF-8 character.
std::string TrashBaseName(const std::string& leaf) {
    const size_t room = 255 - (sizeof(kInfoSuffix) - 1) - 6;
    if (leaf.size() <= room) {
        return leaf;
    }
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(leaf[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return leaf.substr(0, cut);
}

std::string NumberedName(const std::string& base, int number) {
    if (number == 0) {
        return base;
    }
    char suffix[16];
    std::snprintf(suffix, sizeof(suffix), "-%04d", number);
    return base + suffix;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += size_t(n);
    }
    return true;
}

}  // namespace

std::string HomeTrashPath() {
    const std::string dataHome = DataHome();
    return dataHome.empty() ? std::string() : dataHome + "/Trash";
}

status_t MoveToTrash(const BEntry& entry, std::string* trashedPath) {
    if (entry.InitCheck() != B_OK) {
        return Fail(B_BAD_VALUE, "fichier introuvable");
    }
    return MoveToTrash(entry.Path(), trashedPath);
}

status_t MoveToTrash(const std::string& path, std::string* trashedPath,
                     const std::string& restorePath) {
    const BEntry entry(path.c_str());
    entry_ref ref;
    if (entry.InitCheck() != B_OK || entry.GetRef(&ref) != B_OK) {
        return Fail(B_BAD_VALUE, "fichier introuvable");
    }
    const std::string source = ref.Path();
    entry_ref restoreRef = ref;
    if (!restorePath.empty()) {
        const BEntry restoreEntry(restorePath.c_str());
        if (restoreEntry.InitCheck() != B_OK || restoreEntry.GetRef(&restoreRef) != B_OK ||
            restoreRef.directory != ref.directory) {
            return Fail(B_BAD_VALUE, "chemin d'origine invalide pour la corbeille");
        }
    }
    const std::string original = restoreRef.Path();
    struct stat st;
    if (lstat(source.c_str(), &st) != 0) {
        return Fail(StatusFromErrno(errno), "fichier introuvable");
    }
    TrashFolder trash;
    status_t status = ChooseTrash(ref.directory, st.st_dev, &trash);
    if (status != B_OK) {
        return status;
    }
    // Refuse to trash the trash (or anything holding it) into itself.
    if (trash.path == source || trash.path.compare(0, source.size() + 1, source + "/") == 0) {
        return Fail(B_NOT_ALLOWED, "impossible de mettre la corbeille dans la corbeille");
    }

    // The home trash records absolute paths; a mount's trash records them from its top
    // folder, so that the file can be restored wherever the disk is mounted next time.
    std::string recorded = original;
    if (!trash.topdir.empty() && trash.topdir != "/") {
        recorded = original.substr(trash.topdir.size() + 1);
    } else if (trash.topdir == "/") {
        recorded = original.substr(1);
    }
    const std::string info =
        "[Trash Info]\nPath=" + PercentEncode(recorded) + "\nDeletionDate=" + DeletionDate() + "\n";
    const std::string base = TrashBaseName(restoreRef.name);

    for (int number = 0; number <= kMaxNumber; ++number) {
        const std::string name = NumberedName(base, number);
        const std::string infoPath = trash.path + "/info/" + name + kInfoSuffix;
        // Creating the info file exclusively reserves the name against other programs
        // trashing at the same moment.
        const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return Fail(StatusFromErrno(errno), "corbeille inaccessible");
        }
        const bool written = WriteAll(fd, info);
        const bool closed = close(fd) == 0;
        if (!written || !closed) {
            unlink(infoPath.c_str());
            return Fail(B_IO_ERROR, "corbeille inaccessible");
        }
        const std::string target = trash.path + "/files/" + name;
        status = RenameNoReplace(source.c_str(), target.c_str());
        if (status == B_FILE_EXISTS) {
            // A file left in files/ without its info: take the next name.
            unlink(infoPath.c_str());
            continue;
        }
        if (status != B_OK) {
            unlink(infoPath.c_str());
            return Fail(status, "déplacement dans la corbeille impossible");
        }
        if (trashedPath != nullptr) {
            *trashedPath = target;
        }
        return B_OK;
    }
    return Fail(B_FILE_EXISTS, "corbeille pleine");
}

}  // namespace orv
