// SPDX-License-Identifier: MIT
#include "translators/png/PngImageData.h"

#include <libdeflate.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/support/PictureMemory.h"
#include "platform/translation/CoreSharing.h"
#include "translators/png/DeflateJoin.h"
#include "translators/png/PngChunks.h"
#include "translators/png/PngPaeth.h"

namespace orv::png {

namespace {

// Readers take any IDAT length up to 2^31 - 1; a bounded one keeps each chunk's buffer and
// checksum pass small and lets a streaming reader start early.
constexpr size_t kMaxChunkData = size_t(1) << 20;

// The filtered bytes of a band. Bands restart the deflate window, which costs a little
// compression at each seam, and joining them costs a walk through each band's codes; a
// picture up to kWholeBytes is therefore compressed in one piece. When every core already
// has a picture of its own, bands buy nothing and the walk is a tenth of a big picture's
// work (an 18-megapixel photograph: 1.87 s of processor time in bands, 1.65 s whole; a
// batch of 16 photographs to PNG 4 % faster), so pictures up to kWholeBytesInBatch (21
// megapixels of RGB) go whole; bigger ones are banded still, so that neither their filtered
// rows nor their compressed data is held whole. Where the seams fall never depends on how
// many cores happen to be free at the moment: a file's bytes must not depend on the pace of
// the run.
constexpr size_t kBandBytes = size_t(8) << 20;
constexpr size_t kWholeBytes = size_t(32) << 20;
constexpr size_t kWholeBytesInBatch = size_t(64) << 20;
constexpr unsigned kMaxThreads = 8;

// Each filter predicts a byte from its left neighbour a (step bytes back), the byte above b
// and the one above-left c; outside the picture they count as 0. The first pixel of a row is
// handled apart so that the main loops carry no test and the compiler can vectorise them.

void FilterSub(const uint8* row, const uint8*, uint8* out, size_t size, size_t step) {
    std::memcpy(out, row, step);
    for (size_t i = step; i < size; i++) {
        out[i] = uint8(row[i] - row[i - step]);
    }
}

void FilterUp(const uint8* row, const uint8* above, uint8* out, size_t size, size_t) {
    for (size_t i = 0; i < size; i++) {
        out[i] = uint8(row[i] - above[i]);
    }
}

void FilterAverage(const uint8* row, const uint8* above, uint8* out, size_t size, size_t step) {
    for (size_t i = 0; i < step; i++) {
        out[i] = uint8(row[i] - (above[i] >> 1));
    }
    for (size_t i = step; i < size; i++) {
        out[i] = uint8(row[i] - ((row[i - step] + above[i]) >> 1));
    }
}

void FilterPaeth(const uint8* row, const uint8* above, uint8* out, size_t size, size_t step) {
    // With a and c both 0 the predictor is b.
    for (size_t i = 0; i < step; i++) {
        out[i] = uint8(row[i] - above[i]);
    }
    size_t i = step;
#if defined(__SSE2__)
    // The compiler leaves this one scalar, and it was a third of the filtering time: every
    // byte's inputs are known beforehand, so eight go at once.
    const __m128i zero = _mm_setzero_si128();
    const auto load = [&](const uint8* bytes) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)), zero);
    };
    for (; i + 8 <= size; i += 8) {
        const __m128i predictor =
            PaethPredictor(load(row + i - step), load(above + i), load(above + i - step));
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + i));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i),
                         _mm_sub_epi8(bytes, _mm_packus_epi16(predictor, zero)));
    }
#endif
    for (; i < size; i++) {
        out[i] = uint8(row[i] - PaethPredictor(row[i - step], above[i], above[i - step]));
    }
}

using FilterFunction = void (*)(const uint8*, const uint8*, uint8*, size_t, size_t);
constexpr FilterFunction kFilters[] = {nullptr, FilterSub, FilterUp, FilterAverage, FilterPaeth};

// The usual heuristic for choosing a filter: bytes read as signed, the smallest sum of
// magnitudes tends to deflate best.
uint64 Cost(const uint8* bytes, size_t size) {
    uint64 sum = 0;
    size_t i = 0;
#if defined(__SSE2__)
    // Five passes a row, which the compiler leaves scalar: the magnitude of a byte read as
    // signed is the smaller of it and its negation, sixteen at a time.
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero;
    for (; i + 16 <= size; i += 16) {
        const __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i magnitude = _mm_min_epu8(value, _mm_sub_epi8(zero, value));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(magnitude, zero));
    }
    uint64 halves[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(halves), sums);
    sum = halves[0] + halves[1];
#endif
    for (; i < size; i++) {
        sum += bytes[i] < 128 ? bytes[i] : 256 - bytes[i];
    }
    return sum;
}

// Filters `row` into out[1..size] and sets the filter type in out[0]; `scratch` holds
// size bytes for the candidates the adaptive choice compares.
void FilterRow(const uint8* row, const uint8* above, size_t size, size_t step, int filter,
               uint8* scratch, uint8* out) {
    if (filter != kFilterAdaptive) {
        out[0] = uint8(filter);
        if (filter == 0) {
            std::memcpy(out + 1, row, size);
        } else {
            kFilters[filter](row, above, out + 1, size, step);
        }
        return;
    }
    out[0] = 0;
    std::memcpy(out + 1, row, size);
    uint64 best = Cost(row, size);
    for (int type = 1; type <= 4; type++) {
        kFilters[type](row, above, scratch, size, step);
        uint64 cost = Cost(scratch, size);
        if (cost < best) {
            best = cost;
            out[0] = uint8(type);
            std::memcpy(out + 1, scratch, size);
        }
    }
}

using Compressor = std::unique_ptr<libdeflate_compressor, FreeWith<libdeflate_free_compressor>>;

// Room kept before a band's compressed bytes for the zlib header, and after them for the
// bytes that join it to the next band (at most 5) or the stream's checksum (4), so that each
// band's part of the stream goes to the file from where the compressor left it.
constexpr size_t kHeadroom = 2;
constexpr size_t kTailroom = 8;

// A band of rows, filtered then compressed on whichever thread takes it. Its buffers, sized
// for the largest band, serve every round: fresh ones each time cost clearing and faulting
// in the whole picture's worth of memory again (a tenth of a 100-megapixel picture's time).
// They are lent uncleared, perhaps an earlier picture's memory: no byte of them is read
// before this band writes it (its filtered rows, the compressor's output, the joining bytes).
struct Band {
    uint32 first = 0;
    uint32 count = 0;
    bool last = false;
    std::unique_ptr<PictureMemory> filtered;    // the band's rows, each after its filter byte
    std::unique_ptr<PictureMemory> compressed;  // the compressor's bound for the largest band
    size_t compressedCapacity = 0;
    size_t filteredSize = 0;
    size_t compressedSize = 0;  // from kHeadroom on, with the joining bytes
    std::vector<uint8> tail;    // the joining bytes, as they are found
    bool ok = false;

    // False when memory is short.
    bool Allocate(size_t filteredCapacity, size_t bound) {
        filtered = std::make_unique<PictureMemory>(filteredCapacity, PictureMemory::Uncleared{});
        compressed = std::make_unique<PictureMemory>(kHeadroom + bound + kTailroom,
                                                     PictureMemory::Uncleared{});
        compressedCapacity = bound;
        return filtered->Bits() != nullptr && compressed->Bits() != nullptr;
    }
};

// The work of one band; touches nothing shared but the rows it reads, so bands can be done
// on several threads. `zlib` gives a whole zlib stream (a picture in one band), otherwise
// raw deflate, made continuable unless it is the last band.
void DoBand(const RowSource& rows, const ImageDataLayout& layout, libdeflate_compressor* compressor,
            bool zlib, Band* band) {
    const size_t stride = layout.rowBytes + 1;
    uint8* filtered = band->filtered->Bits();
    uint8* compressed = band->compressed->Bits() + kHeadroom;
    band->tail.clear();
    try {
        // The row above the band (zero above the first), the current one and a scratch row.
        std::vector<uint8> work(layout.rowBytes * 3, 0);
        uint8* above = work.data();
        uint8* current = above + layout.rowBytes;
        uint8* scratch = current + layout.rowBytes;
        if (band->first > 0) {
            rows.Row(band->first - 1, above);
        }
        for (uint32 i = 0; i < band->count; i++) {
            rows.Row(band->first + i, current);
            FilterRow(current, above, layout.rowBytes, layout.filterStep, layout.filter, scratch,
                      filtered + size_t(i) * stride);
            std::swap(above, current);
        }
        band->filteredSize = stride * band->count;
        band->compressedSize =
            zlib ? libdeflate_zlib_compress(compressor, filtered, band->filteredSize, compressed,
                                            band->compressedCapacity)
                 : libdeflate_deflate_compress(compressor, filtered, band->filteredSize, compressed,
                                               band->compressedCapacity);
        band->ok =
            band->compressedSize > 0 &&
            (zlib || band->last || MakeContinuable(compressed, band->compressedSize, &band->tail));
        if (band->ok && !band->tail.empty()) {
            std::memcpy(compressed + band->compressedSize, band->tail.data(), band->tail.size());
            band->compressedSize += band->tail.size();
        }
    } catch (const std::bad_alloc&) {
        band->ok = false;
    }
}

// Writes part of the zlib stream as chunks of at most kMaxChunkData of its bytes. An fdAT's
// data starts with its sequence number, counted only once the chunk is written: a number
// taken for a chunk never written would break the sequence.
status_t WriteChunks(BPositionIO& destination, const char type[4], uint32* sequence,
                     const uint8* bytes, size_t size) {
    while (size > 0) {
        const size_t count = std::min(size, kMaxChunkData);
        uint8 number[4];
        std::span<const uint8> prefix;
        if (sequence != nullptr) {
            WriteBE32(number, *sequence);
            prefix = number;
        }
        if (status_t status = WriteChunk(destination, type, bytes, count, prefix); status != B_OK) {
            return status;
        }
        if (sequence != nullptr) {
            (*sequence)++;
        }
        bytes += count;
        size -= count;
    }
    return B_OK;
}

// The zlib stream's two header bytes: deflate with a 32 KB window, the level class
// libdeflate states for `level`, and the check bits.
void ZlibHeader(int level, uint8 header[2]) {
    const int levelClass = level < 2 ? 0 : level < 6 ? 1 : level < 8 ? 2 : 3;
    header[0] = 0x78;
    header[1] = uint8(levelClass << 6);
    header[1] = uint8(header[1] + 31 - (header[0] * 256 + header[1]) % 31);
}

}  // namespace

status_t WriteImageData(const RowSource& rows, const ImageDataLayout& layout,
                        BPositionIO& destination, const char type[4], uint32* sequence) {
    const size_t stride = layout.rowBytes + 1;
    size_t total = 0;
    if (layout.rowBytes == 0 || layout.height == 0 ||
        !CheckedMultiply(stride, layout.height, &total)) {
        return Fail(B_NO_MEMORY, "image trop grande pour être écrite en PNG");
    }
    const uint32 bandRows = total <= (EveryCoreHasAPicture() ? kWholeBytesInBatch : kWholeBytes)
                                ? layout.height
                                : uint32(std::clamp<size_t>(kBandBytes / stride, 1, layout.height));
    const size_t bandCount = (size_t(layout.height) + bandRows - 1) / bandRows;
    const unsigned threads = unsigned(std::min<size_t>(
        {bandCount, kMaxThreads, std::max(1u, std::thread::hardware_concurrency())}));
    std::vector<Compressor> compressors;
    for (unsigned i = 0; i < threads; i++) {
        compressors.emplace_back(libdeflate_alloc_compressor(layout.level));
        if (compressors.back() == nullptr) {
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le PNG");
        }
    }
    const bool whole = bandCount == 1;
    status_t status = B_OK;
    uint32 adler = 1;
    // Bands go by rounds, one a thread; each round's are written in order before the next
    // starts, so the output is the same whatever the number of threads.
    std::vector<Band> bands(threads);
    for (size_t i = 0; i < bands.size(); i++) {
        const size_t largest = stride * bandRows;
        const size_t bound = whole
                                 ? libdeflate_zlib_compress_bound(compressors[i].get(), largest)
                                 : libdeflate_deflate_compress_bound(compressors[i].get(), largest);
        if (!bands[i].Allocate(largest, bound)) {
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le PNG");
        }
    }
    for (size_t next = 0; status == B_OK && next < bandCount; next += threads) {
        const size_t inRound = std::min<size_t>(threads, bandCount - next);
        for (size_t i = 0; i < inRound; i++) {
            bands[i].first = uint32((next + i) * bandRows);
            bands[i].count = std::min(bandRows, layout.height - bands[i].first);
            bands[i].last = next + i + 1 == bandCount;
        }
        std::vector<std::thread> helpers;
        for (size_t i = 1; i < inRound; i++) {
            try {
                helpers.emplace_back(DoBand, std::cref(rows), std::cref(layout),
                                     compressors[i].get(), whole, &bands[i]);
            } catch (const std::system_error&) {
                DoBand(rows, layout, compressors[i].get(), whole, &bands[i]);
            }
        }
        DoBand(rows, layout, compressors[0].get(), whole, &bands[0]);
        for (std::thread& helper : helpers) {
            helper.join();
        }
        for (size_t i = 0; i < inRound && status == B_OK; i++) {
            const Band& band = bands[i];
            if (!band.ok) {
                status = Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le PNG");
                break;
            }
            uint8* start = band.compressed->Bits() + kHeadroom;
            size_t size = band.compressedSize;
            if (!whole) {
                if (band.first == 0) {
                    start -= kHeadroom;
                    size += kHeadroom;
                    ZlibHeader(layout.level, start);
                }
                adler = libdeflate_adler32(adler, band.filtered->Bits(), band.filteredSize);
                if (band.last) {
                    WriteBE32(start + size, adler);
                    size += 4;
                }
            }
            status = WriteChunks(destination, type, sequence, start, size);
        }
    }
    return status;
}

}  // namespace orv::png
