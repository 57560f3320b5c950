// SPDX-License-Identifier: MIT
// Writing a new file without ever replacing one and without leaving a partial file behind.
//
// The data goes to a hidden temporary file created exclusively in the target folder; only
// when it is complete and on the disk is it given its final name, by a rename that refuses
// to replace anything. Any failure, or simply never committing, removes the temporary.
#pragma once

#include <memory>
#include <string>

#include "platform/storage/File.h"
#include "platform/support/SupportDefs.h"

class BDirectory;

namespace orv {

class SafeWrite {
public:
    SafeWrite();
    ~SafeWrite();  // discards the temporary unless committed

    SafeWrite(const SafeWrite&) = delete;
    SafeWrite& operator=(const SafeWrite&) = delete;

    // Creates the temporary ".NAME-XXXXXX" (NAME: the program's) in the folder, open for reading
    // and writing, mode 0666 less the umask. Any earlier temporary of this object is discarded
    // first.
    status_t Open(const BDirectory* directory);
    status_t Open(const std::string& folderPath);

    // The temporary, to write the data into; it stays open after Commit (for SetType).
    BFile* File() { return fFile.get(); }
    const std::string& TemporaryPath() const { return fTempPath; }

    // Flushes and syncs the data, then renames the temporary to `name` in the folder,
    // never replacing an entry: B_FILE_EXISTS when the name is taken, in which case the
    // temporary is kept so that the caller may commit under another name.
    status_t Commit(const char* name);
    bool IsCommitted() const { return fCommitted; }
    // The final path after a successful Commit.
    const std::string& CommittedPath() const { return fFinalPath; }

    // Closes and removes the temporary; does nothing once committed.
    void Discard();

private:
    std::unique_ptr<BFile> fFile;
    std::string fFolder;
    std::string fTempPath;
    std::string fFinalPath;
    bool fSynced = false;
    bool fCommitted = false;
};

}  // namespace orv
