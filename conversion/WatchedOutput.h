// SPDX-License-Identifier: MIT
// The output file as an encoder sees it, keeping the first reason the system gave for a
// write it refused. An encoder that fails because its file failed says so in its own words
// ("écriture du fichier BMP impossible"); the run adds the system's reason ("plus de place
// sur le disque"), which the encoder's library may not have passed on.
#pragma once

#include <string>

#include "platform/support/DataIO.h"

namespace orv {

class WatchedOutput : public BPositionIO {
public:
    explicit WatchedOutput(BPositionIO& file) : fFile(file) {}

    ssize_t Read(void* buffer, size_t size) override;
    ssize_t Write(const void* buffer, size_t size) override;
    ssize_t ReadAt(off_t position, void* buffer, size_t size) override;
    ssize_t WriteAt(off_t position, const void* buffer, size_t size) override;
    off_t Seek(off_t position, uint32 seekMode) override;
    off_t Position() const override { return fFile.Position(); }
    status_t SetSize(off_t size) override;
    status_t GetSize(off_t* size) const override { return fFile.GetSize(size); }
    status_t Flush() override;

    // The reason of the first refused operation, empty when none was refused.
    const std::string& Failure() const { return fFailure; }

    // `reason` (the encoder's) with the file's own failure after it, when there was one
    // that `reason` does not already tell.
    std::string WithCause(const std::string& reason) const;

private:
    template <typename Result>
    Result Watch(Result result);

    BPositionIO& fFile;
    std::string fFailure;
};

}  // namespace orv
