// SPDX-License-Identifier: MIT
// libjpeg's plumbing: our streams as its source and destination, its errors and warnings
// gathered where we can read them, and the marker segments we keep, bounded in total.
//
// libjpeg leaves a failing call by longjmp to the `jump` of the context. Everything its
// callbacks touch is plain data, and the functions that call setjmp hold no object with a
// destructor: a jump over one would skip it.
#pragma once

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include <csetjmp>

#include "platform/support/DataIO.h"
#include "platform/support/SupportDefs.h"

namespace orv::jpeg {

enum class Trouble { None, Truncated, IOFailed, TooManyScans, TooMuchMetadata };

struct JpegContext {
    jpeg_error_mgr error;
    jpeg_source_mgr source;
    jpeg_destination_mgr destination;
    std::jmp_buf jump;
    BPositionIO* stream;
    JOCTET* buffer;
    Trouble trouble;
    char message[JMSG_LENGTH_MAX];  // why libjpeg failed

    // Decoding only. While the header is read, the end of the stream is a file that cannot
    // be shown.
    bool inHeader;
    // The stream ended before the end-of-image marker: libjpeg was handed an end marker
    // instead, and decodes the rest as missing.
    bool ended;
    int handedEnds;
    // The decoder needed data past the end of a scan (a file that lacks only its end marker
    // does not): where it was then, to tell how much is missing.
    bool cut;
    int cutScan;
    JDIMENSION cutRow;
    bool cutInFirstPass;  // in a scan that brings its components' first data
    // The first warning about damaged data met while the stream had not ended.
    bool warned;
    char warning[JMSG_LENGTH_MAX];
    // The marker segments kept so far (see KeepMarkers), their bytes counted.
    uint64 keptBytes;
};

void InitContext(JpegContext* context, BPositionIO* stream);

// Reads through `context`'s stream, from its current position. The buffer is taken from
// libjpeg's pool, so it goes with the decompressor.
void AttachSource(jpeg_decompress_struct* info, JpegContext* context);
void AttachDestination(jpeg_compress_struct* info, JpegContext* context);

// Keeps the segments of `marker` (an APPn) in info->marker_list as jpeg_save_markers does,
// whole, but stops with Trouble::TooMuchMetadata when all kept segments together would pass
// kMaxMetadataBytes.
void KeepMarkers(jpeg_decompress_struct* info, int marker);

// A progress monitor that stops files with more progressive scans than real encoders write.
void WatchScans(jpeg_decompress_struct* info, jpeg_progress_mgr* progress);

}  // namespace orv::jpeg
