// SPDX-License-Identifier: MIT
#include "translators/jpeg/JpegIO.h"

// jerror.h needs the configuration that jpeglib.h brings (its message list depends on it).
#include <jerror.h>

#include "platform/support/ImageLimits.h"

namespace orv::jpeg {

namespace {

constexpr size_t kBufferSize = 64 * 1024;

// A progressive file may hold any number of scans, each a full pass over the coefficients;
// real encoders write about ten. Far more is an attack on the decoder's time.
constexpr int kMaxScans = 500;

// Once the stream has ended, libjpeg asks again only a few times (to find the end marker it
// was handed); a reader that keeps asking is reading a segment that runs past the end.
constexpr int kMaxHandedEnds = 64;

JpegContext* ContextOf(j_common_ptr info) {
    return static_cast<JpegContext*>(info->client_data);
}

JpegContext* ContextOf(j_decompress_ptr info) {
    return ContextOf(reinterpret_cast<j_common_ptr>(info));
}

[[noreturn]] void OnErrorExit(j_common_ptr info) {
    JpegContext* context = ContextOf(info);
    (*info->err->format_message)(info, context->message);
    std::longjmp(context->jump, 1);
}

[[noreturn]] void Abort(j_common_ptr info, Trouble trouble) {
    ContextOf(info)->trouble = trouble;
    OnErrorExit(info);
}

[[noreturn]] void Abort(j_decompress_ptr info, Trouble trouble) {
    Abort(reinterpret_cast<j_common_ptr>(info), trouble);
}

void NoteCut(j_decompress_ptr info) {
    JpegContext* context = ContextOf(info);
    if (context->cut) {
        return;
    }
    context->cut = true;
    context->cutScan = info->input_scan_number;
    context->cutRow = info->input_iMCU_row;
    context->cutInFirstPass = !info->progressive_mode || (info->Ss == 0 && info->Ah == 0);
}

// libjpeg goes on after a warning, making up what it could not read. Running out of data in
// a scan (the end we handed it, or a marker in the middle of broken data) is noted where it
// happened; the first warning is kept as the damage to report, unless it only follows from
// the end we handed or says nothing about the pixels.
void OnEmitMessage(j_common_ptr info, int level) {
    if (level >= 0) {
        return;
    }
    JpegContext* context = ContextOf(info);
    const int code = info->err->msg_code;
    if (code == JWRN_HIT_MARKER && info->is_decompressor) {
        NoteCut(reinterpret_cast<j_decompress_ptr>(info));
    }
    if (context->warned || (context->ended && code == JWRN_HIT_MARKER) || code == JWRN_JFIF_MAJOR ||
        code == JWRN_BOGUS_ICC) {
        return;
    }
    context->warned = true;
    (*info->err->format_message)(info, context->warning);
}

void OnProgress(j_common_ptr info) {
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
        Abort(info, Trouble::TooManyScans);
    }
}

void InitSource(j_decompress_ptr) {}

// At the end of the stream libjpeg gets an end-of-image marker, as its own file reader
// gives it: it then decodes what is missing as flat (a sequential file) or coarse (a
// progressive one), and warns where it needed more, which tells how much that is.
boolean FillInput(j_decompress_ptr info) {
    JpegContext* context = ContextOf(info);
    const ssize_t got = context->stream->Read(context->buffer, kBufferSize);
    if (got < 0) {
        Abort(info, Trouble::IOFailed);
    }
    if (got > 0) {
        info->src->next_input_byte = context->buffer;
        info->src->bytes_in_buffer = size_t(got);
        return TRUE;
    }
    if (context->inHeader) {
        Abort(info, Trouble::Truncated);
    }
    if (!context->ended) {
        context->ended = true;
        // The arithmetic decoder takes the end without a word: the place it asked from is
        // the best guess.
        if (info->arith_code) {
            NoteCut(info);
        }
    } else if (++context->handedEnds > kMaxHandedEnds) {
        Abort(info, Trouble::Truncated);
    }
    static const JOCTET kEnd[2] = {0xff, JPEG_EOI};
    info->src->next_input_byte = kEnd;
    info->src->bytes_in_buffer = sizeof kEnd;
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr* source = info->src;
    if (size_t(count) <= source->bytes_in_buffer) {
        source->next_input_byte += count;
        source->bytes_in_buffer -= size_t(count);
        return;
    }
    // Skipping past the end is noticed by the next read.
    const off_t rest = off_t(count) - off_t(source->bytes_in_buffer);
    source->bytes_in_buffer = 0;
    if (ContextOf(info)->stream->Seek(rest, SEEK_FROM_CURRENT) < 0) {
        Abort(info, Trouble::IOFailed);
    }
}

void TermSource(j_decompress_ptr) {}

JOCTET NextByte(j_decompress_ptr info) {
    jpeg_source_mgr* source = info->src;
    if (source->bytes_in_buffer == 0) {
        (*source->fill_input_buffer)(info);
    }
    // A segment cut by the end of the file is not kept: the header it is in cannot be whole.
    if (ContextOf(info)->ended) {
        Abort(info, Trouble::Truncated);
    }
    source->bytes_in_buffer--;
    return *source->next_input_byte++;
}

boolean KeepSegment(j_decompress_ptr info) {
    JpegContext* context = ContextOf(info);
    uint32 length = uint32(NextByte(info)) << 8;
    length |= NextByte(info);
    if (length < 2) {
        ERREXIT(info, JERR_BAD_LENGTH);
    }
    length -= 2;
    context->keptBytes += length;
    if (context->keptBytes > kMaxMetadataBytes) {
        Abort(info, Trouble::TooMuchMetadata);
    }
    auto* marker = static_cast<jpeg_saved_marker_ptr>((*info->mem->alloc_large)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, sizeof(jpeg_marker_struct) + length));
    marker->next = nullptr;
    marker->marker = UINT8(info->unread_marker);
    marker->original_length = length;
    marker->data_length = length;
    marker->data = reinterpret_cast<JOCTET*>(marker + 1);
    for (uint32 copied = 0; copied < length;) {
        if (info->src->bytes_in_buffer == 0) {
            marker->data[copied++] = NextByte(info);
            continue;
        }
        const size_t piece = std::min<size_t>(info->src->bytes_in_buffer, length - copied);
        std::memcpy(marker->data + copied, info->src->next_input_byte, piece);
        info->src->next_input_byte += piece;
        info->src->bytes_in_buffer -= piece;
        copied += uint32(piece);
    }
    jpeg_saved_marker_ptr* tail = &info->marker_list;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = marker;
    return TRUE;
}

void InitDestination(j_compress_ptr info) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(info));
    info->dest->next_output_byte = context->buffer;
    info->dest->free_in_buffer = kBufferSize;
}

boolean EmptyOutput(j_compress_ptr info) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(info));
    if (context->stream->WriteExactly(context->buffer, kBufferSize) != B_OK) {
        Abort(reinterpret_cast<j_common_ptr>(info), Trouble::IOFailed);
    }
    InitDestination(info);
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(info));
    const size_t used = kBufferSize - info->dest->free_in_buffer;
    if (used > 0 && context->stream->WriteExactly(context->buffer, used) != B_OK) {
        Abort(reinterpret_cast<j_common_ptr>(info), Trouble::IOFailed);
    }
}

}  // namespace

void InitContext(JpegContext* context, BPositionIO* stream) {
    std::memset(context, 0, sizeof(*context));
    jpeg_std_error(&context->error);
    context->error.error_exit = OnErrorExit;
    context->error.emit_message = OnEmitMessage;
    context->stream = stream;
}

void AttachSource(jpeg_decompress_struct* info, JpegContext* context) {
    context->buffer = static_cast<JOCTET*>((*info->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, kBufferSize));
    info->src = &context->source;
    info->src->init_source = InitSource;
    info->src->fill_input_buffer = FillInput;
    info->src->skip_input_data = SkipInput;
    info->src->resync_to_restart = jpeg_resync_to_restart;
    info->src->term_source = TermSource;
}

void AttachDestination(jpeg_compress_struct* info, JpegContext* context) {
    context->buffer = static_cast<JOCTET*>((*info->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, kBufferSize));
    info->dest = &context->destination;
    info->dest->init_destination = InitDestination;
    info->dest->empty_output_buffer = EmptyOutput;
    info->dest->term_destination = TermDestination;
}

void KeepMarkers(jpeg_decompress_struct* info, int marker) {
    jpeg_set_marker_processor(info, marker, KeepSegment);
}

void WatchScans(jpeg_decompress_struct* info, jpeg_progress_mgr* progress) {
    progress->progress_monitor = OnProgress;
    info->progress = progress;
}

}  // namespace orv::jpeg
