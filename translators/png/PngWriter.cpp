// SPDX-License-Identifier: MIT
#include "translators/png/PngWriter.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"

namespace orv {

namespace {

constexpr uint8 kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// Readers take any IDAT length up to 2^31 - 1; a bounded one keeps each chunk's buffer and
// checksum pass small and lets a streaming reader start early.
constexpr size_t kMaxIdatSize = size_t(1) << 20;

status_t WriteChunk(BPositionIO& destination, const char type[4], const uint8* data, size_t size) {
    uint8 head[8];
    WriteBE32(head, uint32(size));
    std::memcpy(head + 4, type, 4);
    uint32 crc = libdeflate_crc32(0, head + 4, 4);
    if (size > 0) {
        // Given no buffer, libdeflate_crc32 answers the initial value, not `crc`.
        crc = libdeflate_crc32(crc, data, size);
    }
    uint8 tail[4];
    WriteBE32(tail, crc);
    if (destination.WriteExactly(head, sizeof(head)) != B_OK ||
        (size > 0 && destination.WriteExactly(data, size) != B_OK) ||
        destination.WriteExactly(tail, sizeof(tail)) != B_OK) {
        return Fail(B_IO_ERROR, "écriture du PNG impossible");
    }
    return B_OK;
}

// Each filter predicts a byte from its left neighbour a (bpp bytes back), the byte above b
// and the one above-left c; outside the picture they count as 0. The first pixel of a row is
// handled apart so that the main loops carry no test and the compiler can vectorise them.

void FilterSub(const uint8* row, const uint8*, uint8* out, size_t size, size_t bpp) {
    std::memcpy(out, row, bpp);
    for (size_t i = bpp; i < size; i++) {
        out[i] = uint8(row[i] - row[i - bpp]);
    }
}

void FilterUp(const uint8* row, const uint8* above, uint8* out, size_t size, size_t) {
    for (size_t i = 0; i < size; i++) {
        out[i] = uint8(row[i] - above[i]);
    }
}

void FilterAverage(const uint8* row, const uint8* above, uint8* out, size_t size, size_t bpp) {
    for (size_t i = 0; i < bpp; i++) {
        out[i] = uint8(row[i] - (above[i] >> 1));
    }
    for (size_t i = bpp; i < size; i++) {
        out[i] = uint8(row[i] - ((row[i - bpp] + above[i]) >> 1));
    }
}

void FilterPaeth(const uint8* row, const uint8* above, uint8* out, size_t size, size_t bpp) {
    // With a and c both 0 the predictor is b.
    for (size_t i = 0; i < bpp; i++) {
        out[i] = uint8(row[i] - above[i]);
    }
    for (size_t i = bpp; i < size; i++) {
        int a = row[i - bpp];
        int b = above[i];
        int c = above[i - bpp];
        int pa = std::abs(b - c);
        int pb = std::abs(a - c);
        int pc = std::abs(a + b - 2 * c);
        int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        out[i] = uint8(row[i] - predictor);
    }
}

using FilterFunction = void (*)(const uint8*, const uint8*, uint8*, size_t, size_t);
constexpr FilterFunction kFilters[] = {nullptr, FilterSub, FilterUp, FilterAverage, FilterPaeth};

// The usual heuristic for choosing a filter: bytes read as signed, the smallest sum of
// magnitudes tends to deflate best.
uint64 Cost(const uint8* bytes, size_t size) {
    uint64 sum = 0;
    for (size_t i = 0; i < size; i++) {
        sum += bytes[i] < 128 ? bytes[i] : 256 - bytes[i];
    }
    return sum;
}

// Filters `row` into out[1..size] and sets the filter type in out[0]; `scratch` holds
// size bytes for the candidates the adaptive choice compares.
void FilterRow(const uint8* row, const uint8* above, size_t size, size_t bpp, int filter,
               uint8* scratch, uint8* out) {
    if (filter != kPngFilterAdaptive) {
        out[0] = uint8(filter);
        if (filter == 0) {
            std::memcpy(out + 1, row, size);
        } else {
            kFilters[filter](row, above, out + 1, size, bpp);
        }
        return;
    }
    out[0] = 0;
    std::memcpy(out + 1, row, size);
    uint64 best = Cost(row, size);
    for (int type = 1; type <= 4; type++) {
        kFilters[type](row, above, scratch, size, bpp);
        uint64 cost = Cost(scratch, size);
        if (cost < best) {
            best = cost;
            out[0] = uint8(type);
            std::memcpy(out + 1, scratch, size);
        }
    }
}

// A block of bytes allocated without throwing, with its length.
struct Buffer {
    std::unique_ptr<uint8[]> bytes;
    size_t size = 0;
};

// The picture's rows as RGB or RGBA samples, each filtered and after its filter type
// byte: the data the IDAT chunks deflate.
status_t FilterImage(const BBitmap& image, const PngWriteOptions& options, Buffer* filtered) {
    const uint32 height = image.PixelHeight();
    const size_t bpp = options.alpha ? 4 : 3;
    size_t rowSize = 0;
    size_t stride = 0;
    if (!CheckedMultiply(image.PixelWidth(), bpp, &rowSize) || !CheckedAdd(rowSize, 1, &stride) ||
        !CheckedMultiply(stride, height, &filtered->size)) {
        return Fail(B_NO_MEMORY, "image trop grande pour être écrite en PNG");
    }
    filtered->bytes.reset(new (std::nothrow) uint8[filtered->size]);
    // Three rows: the one above (zero for the first), the current one and a scratch row.
    std::vector<uint8> rows;
    try {
        rows.assign(rowSize * 3, 0);
    } catch (const std::bad_alloc&) {
        filtered->bytes.reset();
    }
    if (filtered->bytes == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le PNG");
    }
    uint8* above = rows.data();
    uint8* current = above + rowSize;
    uint8* scratch = current + rowSize;
    for (uint32 y = 0; y < height; y++) {
        BitmapRowToSamples(image, y, options.alpha, current);
        FilterRow(current, above, rowSize, bpp, options.filter, scratch,
                  filtered->bytes.get() + size_t(y) * stride);
        std::swap(above, current);
    }
    return B_OK;
}

// The whole filtered picture deflated in one call, as a zlib stream.
status_t Deflate(const Buffer& filtered, int level, Buffer* compressed) {
    std::unique_ptr<libdeflate_compressor, FreeWith<libdeflate_free_compressor>> compressor(
        libdeflate_alloc_compressor(level));
    if (compressor == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le PNG");
    }
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filtered.size);
    compressed->bytes.reset(new (std::nothrow) uint8[bound]);
    if (compressed->bytes == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le PNG");
    }
    compressed->size = libdeflate_zlib_compress(compressor.get(), filtered.bytes.get(),
                                                filtered.size, compressed->bytes.get(), bound);
    if (compressed->size == 0) {
        return Fail(B_ERROR, "compression PNG impossible");
    }
    return B_OK;
}

// The signature, the header and the compressed data in bounded IDAT chunks.
status_t WriteChunks(const BBitmap& image, bool alpha, const Buffer& compressed,
                     BPositionIO& destination) {
    if (destination.WriteExactly(kSignature, sizeof(kSignature)) != B_OK) {
        return Fail(B_IO_ERROR, "écriture du PNG impossible");
    }
    uint8 header[13];
    WriteBE32(header, image.PixelWidth());
    WriteBE32(header + 4, image.PixelHeight());
    header[8] = 8;              // bits per sample
    header[9] = alpha ? 6 : 2;  // colour type: RGBA or RGB
    header[10] = 0;             // deflate
    header[11] = 0;             // the five filter types
    header[12] = 0;             // not interlaced
    status_t status = WriteChunk(destination, "IHDR", header, sizeof(header));
    for (size_t offset = 0; status == B_OK && offset < compressed.size; offset += kMaxIdatSize) {
        status = WriteChunk(destination, "IDAT", compressed.bytes.get() + offset,
                            std::min(kMaxIdatSize, compressed.size - offset));
    }
    if (status == B_OK) {
        status = WriteChunk(destination, "IEND", nullptr, 0);
    }
    return status;
}

}  // namespace

status_t WritePng(const BBitmap& image, const PngWriteOptions& options, BPositionIO& destination) {
    Buffer compressed;
    {
        // The filtered rows are freed before anything is written.
        Buffer filtered;
        if (status_t status = FilterImage(image, options, &filtered); status != B_OK) {
            return status;
        }
        if (status_t status = Deflate(filtered, options.level, &compressed); status != B_OK) {
            return status;
        }
    }
    return WriteChunks(image, options.alpha, compressed, destination);
}

}  // namespace orv
