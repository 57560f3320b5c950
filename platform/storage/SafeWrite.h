// SPDX-License-Identifier: MIT
// Writing a new file without ever replacing one and without leaving a partial file behind.
//
// The data goes to a file with no name in the target folder (O_TMPFILE), so that a crash or
// a kill at any moment leaves nothing; only when it is complete and on the disk is it linked
// under its final name, which never replaces an entry. Where the file system cannot make a
// nameless file, a hidden temporary ".NAME-XXXXXX" (NAME: the program's) created exclusively stands
// in for it and is renamed instead. Never committing, or any failure, leaves no trace.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/storage/File.h"
#include "platform/support/SupportDefs.h"

class BDirectory;

namespace orv {

// The start of every hidden temporary's name, "." and the program's name and "-", which a
// folder walk must never take for a picture of the user's.
std::string TemporaryPrefix();

class SafeWrite {
public:
    SafeWrite();
    ~SafeWrite();  // discards the data unless committed

    SafeWrite(const SafeWrite&) = delete;
    SafeWrite& operator=(const SafeWrite&) = delete;

    // Opens the new file in the folder, for reading and writing, with `mode` less the
    // umask. Any earlier file of this object is discarded first.
    status_t Open(const BDirectory* directory, mode_t mode = 0666);
    status_t Open(const std::string& folderPath, mode_t mode = 0666);

    // The new file, to write the data into; it stays open after Commit.
    BFile* File() { return fFile.get(); }
    const std::string& FolderPath() const { return fFolder; }
    // The hidden temporary's path, or empty while the file has no name at all.
    const std::string& TemporaryPath() const { return fTempPath; }

    // Puts the data and the file's attributes on the disk, once; Commit and Exchange do it
    // when it was not done.
    status_t Sync();

    // Gives the file the name `name` in the folder, never replacing an entry: B_FILE_EXISTS
    // when the name is taken, the file then staying uncommitted for another name.
    status_t Commit(const char* name);
    // Gives the file the name `name` by exchanging it, in one step, with the entry that
    // holds that name: afterwards `name` is this file, and *displacedPath the hidden path
    // in the same folder where the other entry now is. B_UNSUPPORTED, with nothing changed,
    // where the file system cannot exchange two names.
    status_t Exchange(const char* name, std::string* displacedPath);
    // Exchanges the two back after Exchange: the other entry has its name again and this
    // file is uncommitted, at the hidden path, ready for Commit under another name.
    status_t UndoExchange();

    // Gives the file the name `name`, replacing in one step the entry that holds it: for
    // file systems that cannot exchange, where the caller has checked that entry.
    status_t Replace(const char* name);

    bool IsCommitted() const { return fCommitted; }
    // The final path after a successful Commit or Exchange.
    const std::string& CommittedPath() const { return fFinalPath; }

    // Closes and forgets the file; does nothing once committed.
    void Discard();

private:
    enum class Naming { NoReplace, Exchange, Replace };

    std::string PathOf(const std::string& name) const;
    status_t GiveName(const char* name, Naming how, std::string* displacedPath);
    status_t OpenNamedTemporary(mode_t mode);
    // Gives the nameless file a hidden name, for the steps that need one.
    status_t LinkToTemporaryName();
    status_t LinkOrRename(const std::string& target);

    std::unique_ptr<BFile> fFile;
    std::string fFolder;
    std::string fTempPath;
    std::string fFinalPath;
    std::string fDisplacedName;  // the name Exchange took, for UndoExchange
    bool fSynced = false;
    bool fCommitted = false;
};

}  // namespace orv
