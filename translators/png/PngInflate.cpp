// SPDX-License-Identifier: MIT
#include "translators/png/PngInflate.h"

#include <libdeflate.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/support/ByteOrder.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/support/PictureMemory.h"
#include "platform/translation/PixelRows.h"
#include "translators/png/PngChunks.h"
#include "translators/png/PngPaeth.h"

namespace orv::png {

namespace {

// The one-call inflate holds the whole filtered picture beside the bitmap; past this size
// libpng's row by row decoding keeps the memory down instead.
constexpr size_t kMaxFilteredBytes = size_t(256) << 20;

// Bytes per pixel of the 8-bit colour types this path takes; 0 for the others.
size_t Channels(uint8 colorType) {
    switch (colorType) {
        case 0:
            return 1;  // grey
        case 2:
            return 3;  // RGB
        case 4:
            return 2;  // grey and alpha
        case 6:
            return 4;  // RGBA
        default:
            return 0;
    }
}

// The data chunks' payloads in one zlib stream, or false when one of them is cut short or
// its CRC does not match (an fdAT's CRC also covers its sequence number, left out here).
bool GatherStream(BPositionIO& source, const std::vector<DataChunk>& data,
                  std::vector<uint8>* stream) {
    size_t total = 0;
    for (const DataChunk& chunk : data) {
        const uint32 skip = chunk.fdat ? 4 : 0;
        if (chunk.available != chunk.length || chunk.length < skip ||
            !CheckedAdd(total, chunk.length - skip, &total)) {
            return false;
        }
    }
    stream->resize(total);
    size_t at = 0;
    for (const DataChunk& chunk : data) {
        const uint32 skip = chunk.fdat ? 4 : 0;
        const uint32 payload = chunk.length - skip;
        uint8 sequence[4];
        uint8 stored[4];
        if (source.ReadAtExactly(chunk.offset, sequence, skip) != B_OK ||
            source.ReadAtExactly(chunk.offset + skip, stream->data() + at, payload) != B_OK ||
            source.ReadAtExactly(chunk.offset + chunk.length, stored, 4) != B_OK) {
            return false;
        }
        uint32 crc = ChunkCrc(0, chunk.fdat ? "fdAT" : "IDAT", 4);
        crc = ChunkCrc(ChunkCrc(crc, sequence, skip), stream->data() + at, payload);
        if (crc != ReadBE32(stored)) {
            return false;
        }
        at += payload;
    }
    return true;
}

#if defined(__SSE2__)
// Paeth's predictor waits for the byte just decoded, so a row cannot be done in wide runs;
// byte by byte it took most of the decoding time of a photograph. With SSE2 every channel
// of an RGB or RGBA pixel is predicted at once, in 16-bit lanes. Each step reads and writes
// four bytes, so it stops where the row has fewer left; in RGB the fourth byte belongs to
// the next pixel and is put back as it was. Returns where the bytes left to do start.
size_t UnpaethPixels(uint8* row, const uint8* above, size_t size, size_t step) {
    const __m128i zero = _mm_setzero_si128();
    const auto word = [](const uint8* bytes) {
        uint32 value;
        std::memcpy(&value, bytes, 4);
        return value;
    };
    const auto widen = [&](uint32 value) {
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(value)), zero);
    };
    const uint32 keep = step == 3 ? 0xff000000u : 0;  // little-endian: the fourth byte
    size_t i = step;
    if (size < step + 4) {
        return i;
    }
    __m128i a = widen(word(row));
    __m128i c = widen(word(above));
    for (; i + 4 <= size; i += step) {
        const __m128i b = widen(word(above + i));
        const uint32 filtered = word(row + i);
        const __m128i predictor = PaethPredictor(a, b, c);
        a = _mm_and_si128(_mm_add_epi16(widen(filtered), predictor), _mm_set1_epi16(0xff));
        const uint32 pixel = uint32(_mm_cvtsi128_si32(_mm_packus_epi16(a, zero)));
        const uint32 stored = (pixel & ~keep) | (filtered & keep);
        std::memcpy(row + i, &stored, 4);
        c = b;
    }
    return i;
}
#endif

void UnpaethRow(uint8* row, const uint8* above, size_t size, size_t step) {
    for (size_t i = 0; i < step && i < size; i++) {
        row[i] = uint8(row[i] + above[i]);
    }
    size_t i = step;
#if defined(__SSE2__)
    if (step == 3 || step == 4) {
        i = UnpaethPixels(row, above, size, step);
    }
#endif
    for (; i < size; i++) {
        row[i] = uint8(row[i] + PaethPredictor(row[i - step], above[i], above[i - step]));
    }
}

// Undoes one row's filter (0 to 4) in place, given the row above as it was before
// filtering (zeros above the first).
void Unfilter(uint8 type, uint8* row, const uint8* above, size_t size, size_t step) {
    switch (type) {
        case 1:
            for (size_t i = step; i < size; i++) {
                row[i] = uint8(row[i] + row[i - step]);
            }
            break;
        case 2:
            for (size_t i = 0; i < size; i++) {
                row[i] = uint8(row[i] + above[i]);
            }
            break;
        case 3:
            for (size_t i = 0; i < step; i++) {
                row[i] = uint8(row[i] + (above[i] >> 1));
            }
            for (size_t i = step; i < size; i++) {
                row[i] = uint8(row[i] + ((row[i - step] + above[i]) >> 1));
            }
            break;
        case 4:
            UnpaethRow(row, above, size, step);
            break;
        default:
            break;  // 0: the bytes as they are
    }
}

}  // namespace

bool InflateWhole(BPositionIO& source, const PngLayout& layout, const std::vector<DataChunk>& data,
                  const PixelTarget& target, PixelOutcome* outcome) {
    const uint8* header = layout.header;
    const size_t channels = header[8] == 8 ? Channels(header[9]) : 0;
    // Compression and filter method 0, no interlacing, no palette or tRNS chunk.
    if (channels == 0 || header[10] != 0 || header[11] != 0 || header[12] != 0 ||
        !layout.palette.empty() || data.empty() || target.width == 0 || target.height == 0) {
        return false;
    }
    size_t rowBytes = 0;
    size_t total = 0;
    if (!CheckedMultiply(target.width, channels, &rowBytes) ||
        !CheckedMultiply(rowBytes + 1, target.height, &total) || total > kMaxFilteredBytes) {
        return false;
    }
    try {
        std::vector<uint8> stream;
        if (!GatherStream(source, data, &stream)) {
            return false;
        }
        std::unique_ptr<libdeflate_decompressor, FreeWith<libdeflate_free_decompressor>> inflater(
            libdeflate_alloc_decompressor());
        // Read only once the stream has filled it whole, so it need not be cleared.
        PictureMemory filtered(total, PictureMemory::Uncleared{});
        size_t consumed = 0;
        size_t produced = 0;
        // The stream must fill the picture exactly and end with the data: libpng reports
        // data too short or too long as damage.
        if (inflater == nullptr || filtered.Bits() == nullptr ||
            libdeflate_zlib_decompress_ex(inflater.get(), stream.data(), stream.size(),
                                          filtered.Bits(), total, &consumed,
                                          &produced) != LIBDEFLATE_SUCCESS ||
            consumed != stream.size() || produced != total) {
            return false;
        }
        stream = {};
        // A filter type that does not exist is damage for libpng to report; it is looked
        // for first, so that the target stays untouched. Then each row is turned into the
        // target's while still in the cache.
        for (uint32 y = 0; y < target.height; y++) {
            if (filtered.Bits()[y * (rowBytes + 1)] > 4) {
                return false;
            }
        }
        const std::vector<uint8> zeros(rowBytes, 0);
        const uint8* above = zeros.data();
        for (uint32 y = 0; y < target.height; y++) {
            uint8* row = filtered.Bits() + y * (rowBytes + 1);
            Unfilter(row[0], row + 1, above, rowBytes, channels);
            SamplesToRow(row + 1, uint32(channels), target.bits + y * target.stride, target.width);
            WorkRow(target, y);
            above = row + 1;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    outcome->decodedPixels = uint64(target.width) * target.height;
    outcome->rowsDone = target.height;
    outcome->interlaced = false;
    outcome->damage.clear();
    return true;
}

}  // namespace orv::png
