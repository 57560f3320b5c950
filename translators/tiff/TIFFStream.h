// SPDX-License-Identifier: MIT
// libtiff over our streams, listening to what it says. libtiff reports most trouble through
// its handlers while the call that met it may still "succeed": every error and warning is
// kept here, so that a damaged file is never taken for a whole one.
#pragma once

#include <tiffio.h>

#include <memory>
#include <string>

#include "platform/support/DataIO.h"
#include "platform/support/FreeWith.h"

namespace orv {

// The stream libtiff works on, and what it reported since the last Clear().
struct TIFFStream {
    explicit TIFFStream(BPositionIO* stream) : io(stream) {}

    BPositionIO* io;
    std::string error;    // the first error, in libtiff's words
    std::string warning;  // the first warning
    uint32 errors = 0;
    uint32 warnings = 0;
    // While pixels are read, bytes the file should hold past its end read as zeros, up to
    // this many in all: a file cut short then decodes as far as it goes, and paddedBytes
    // tells how much of it was missing. Outside pixel reading (directories, tags), reading
    // past the end fails as it should.
    uint64 padAllowance = 0;
    uint64 paddedBytes = 0;

    void Clear() {
        error.clear();
        warning.clear();
        errors = warnings = 0;
    }
    bool Quiet() const { return errors == 0 && warnings == 0; }
    // The first error, or else the first warning.
    const std::string& Reason() const { return errors != 0 ? error : warning; }
};

using TIFFPtr = std::unique_ptr<TIFF, FreeWith<TIFFClose>>;

// Opens `stream` for libtiff in `mode` ("r" or "w"), with handlers that record into it
// and keep libtiff's messages off stderr. Null on failure, the reason in stream.error.
TIFFPtr OpenTIFF(TIFFStream& stream, const char* mode);

// Fails with `reason`, followed by libtiff's own words when it gave any.
status_t FailWith(status_t status, const char* reason, const std::string& detail);

}  // namespace orv
