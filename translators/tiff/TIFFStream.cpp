// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFStream.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/support/ErrorReason.h"

namespace orv {
namespace {

// libtiff's own buffers never need more than one strip or tile of a picture within our
// size limit; anything larger comes from a lying header.
constexpr tmsize_t kLargestLibraryAllocation = tmsize_t(1) << 30;

TIFFStream& StreamOf(thandle_t handle) {
    return *static_cast<TIFFStream*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    TIFFStream& stream = StreamOf(handle);
    if (size < 0) {
        return -1;
    }
    ssize_t got = stream.io->Read(buffer, size_t(size));
    if (got < 0) {
        return -1;
    }
    const uint64 missing = uint64(size) - uint64(got);
    if (missing == 0 || missing > stream.padAllowance) {
        return tmsize_t(got);
    }
    // Past the end while pixels are read: what the file lacks reads as zeros.
    std::memset(static_cast<uint8*>(buffer) + got, 0, size_t(missing));
    stream.padAllowance -= missing;
    stream.paddedBytes += missing;
    stream.io->Seek(off_t(missing), SEEK_FROM_CURRENT);
    return size;
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    ssize_t put = StreamOf(handle).io->Write(buffer, size_t(size));
    return put < 0 ? -1 : tmsize_t(put);
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    if (offset > toff_t(INT64_MAX)) {
        return toff_t(-1);
    }
    off_t position = StreamOf(handle).io->Seek(off_t(offset), uint32(whence));
    return position < 0 ? toff_t(-1) : toff_t(position);
}

int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t handle) {
    off_t size = 0;
    if (StreamOf(handle).io->GetSize(&size) != B_OK) {
        return 0;
    }
    return toff_t(size);
}

int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapProc(thandle_t, void*, toff_t) {}

__attribute__((format(printf, 4, 0))) void Record(std::string* first, uint32* count,
                                                  const char* module, const char* format,
                                                  va_list args) {
    if ((*count)++ != 0) {
        return;
    }
    char text[256];
    std::vsnprintf(text, sizeof(text), format, args);
    // The module is libtiff's function or codec, or our own "orvane" for the stream: only
    // the former says something.
    if (module != nullptr && std::strcmp(module, "orvane") != 0) {
        *first = std::string(module) + ": " + text;
    } else {
        *first = text;
    }
}

__attribute__((format(printf, 4, 0))) int RecordError(TIFF*, void* user, const char* module,
                                                      const char* format, va_list args) {
    auto* stream = static_cast<TIFFStream*>(user);
    Record(&stream->error, &stream->errors, module, format, args);
    return 1;  // handled: nothing reaches libtiff's global handler, which prints
}

__attribute__((format(printf, 4, 0))) int RecordWarning(TIFF*, void* user, const char* module,
                                                        const char* format, va_list args) {
    auto* stream = static_cast<TIFFStream*>(user);
    Record(&stream->warning, &stream->warnings, module, format, args);
    return 1;
}

}  // namespace

TIFFPtr OpenTIFF(TIFFStream& stream, const char* mode) {
    static std::once_flag silenced;
    std::call_once(silenced, [] {
        // Messages raised where a handle has no handler of its own would go to stderr.
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        stream.error = "mémoire insuffisante";
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, RecordError, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options, RecordWarning, &stream);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kLargestLibraryAllocation);
    TIFF* tiff = TIFFClientOpenExt("orvane", mode, &stream, ReadProc, WriteProc, SeekProc,
                                   CloseProc, SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
    return TIFFPtr(tiff);
}

status_t FailWith(status_t status, const char* reason, const std::string& detail) {
    if (detail.empty()) {
        return Fail(status, reason);
    }
    return Fail(status, std::string(reason) + " (" + detail + ")");
}

}  // namespace orv
