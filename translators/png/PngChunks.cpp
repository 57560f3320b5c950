// SPDX-License-Identifier: MIT
#include "translators/png/PngChunks.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/Picture.h"

namespace orv::png {

std::string ChunkName(const uint8* type) {
    return "bloc PNG « " + std::string(reinterpret_cast<const char*>(type), 4) + " »";
}

uint32 ChunkCrc(uint32 crc, const void* bytes, size_t size) {
    // Given no bytes, libdeflate_crc32 answers the initial value, not `crc`.
    return size == 0 ? crc : libdeflate_crc32(crc, bytes, size);
}

status_t WriteChunk(BPositionIO& destination, const char type[4], const uint8* data, size_t size,
                    std::span<const uint8> prefix) {
    if (size > kMaxChunkLength - prefix.size()) {
        return Fail(B_BAD_VALUE, "bloc PNG trop grand");
    }
    uint8 head[8];
    WriteBE32(head, uint32(prefix.size() + size));
    std::memcpy(head + 4, type, 4);
    uint8 tail[4];
    WriteBE32(tail, ChunkCrc(ChunkCrc(ChunkCrc(0, head + 4, 4), prefix.data(), prefix.size()), data,
                             size));
    if (destination.WriteExactly(head, sizeof(head)) != B_OK ||
        (!prefix.empty() && destination.WriteExactly(prefix.data(), prefix.size()) != B_OK) ||
        (size > 0 && destination.WriteExactly(data, size) != B_OK) ||
        destination.WriteExactly(tail, sizeof(tail)) != B_OK) {
        return Fail(B_IO_ERROR, "écriture du PNG impossible");
    }
    return B_OK;
}

status_t ZlibCompress(const uint8* bytes, size_t size, int level, std::vector<uint8>* out) {
    std::unique_ptr<libdeflate_compressor, FreeWith<libdeflate_free_compressor>> compressor(
        libdeflate_alloc_compressor(level));
    if (compressor == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le PNG");
    }
    try {
        out->resize(libdeflate_zlib_compress_bound(compressor.get(), size));
    } catch (const std::bad_alloc&) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le PNG");
    }
    out->resize(libdeflate_zlib_compress(compressor.get(), bytes, size, out->data(), out->size()));
    return out->empty() ? Fail(B_ERROR, "compression PNG impossible") : B_OK;
}

status_t ZlibInflate(const uint8* bytes, size_t size, const char* what, std::vector<uint8>* out) {
    std::unique_ptr<libdeflate_decompressor, FreeWith<libdeflate_free_decompressor>> inflater(
        libdeflate_alloc_decompressor());
    if (inflater == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire le PNG");
    }
    // libdeflate inflates in one call into a buffer given beforehand: start from a guess and
    // grow it up to the bound, one byte past it telling a block that is too long.
    size_t capacity = std::min<size_t>(std::max<size_t>(size * 4, 4096), kMaxMetadataBytes + 1);
    for (;;) {
        try {
            out->resize(capacity);
        } catch (const std::bad_alloc&) {
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire le PNG");
        }
        size_t produced = 0;
        const libdeflate_result result = libdeflate_zlib_decompress(
            inflater.get(), bytes, size, out->data(), out->size(), &produced);
        if (result == LIBDEFLATE_SUCCESS) {
            out->resize(produced);
            return B_OK;
        }
        if (result != LIBDEFLATE_INSUFFICIENT_SPACE) {
            out->clear();
            return Fail(B_BAD_DATA, std::string(what) + " endommagé");
        }
        if (capacity > kMaxMetadataBytes) {
            out->clear();
            return CheckMetadataSize(capacity, what);
        }
        capacity = std::min<size_t>(capacity * 4, kMaxMetadataBytes + 1);
    }
}

bool ChunkReader::Next() {
    if (fSize < 0 && fSource.GetSize(&fSize) != B_OK) {
        fSize = 0;
    }
    uint8 head[8];
    if (fNext >= fSize) {
        return false;
    }
    if (fSize - fNext < off_t(sizeof(head)) ||
        fSource.ReadAtExactly(fNext, head, sizeof(head)) != B_OK) {
        fTruncated = true;
        return false;
    }
    fLength = ReadBE32(head);
    std::memcpy(fType, head + 4, 4);
    fNext += off_t(sizeof(head)) + off_t(fLength) + 4;
    fTruncated = fNext > fSize;
    return true;
}

uint32 ChunkReader::Available() const {
    return uint32(std::clamp<off_t>(fSize - DataOffset(), 0, off_t(fLength)));
}

status_t ChunkReader::ReadPrefix(uint8* data, size_t size) {
    if (size > Available() || fSource.ReadAtExactly(DataOffset(), data, size) != B_OK) {
        return Fail(B_BAD_DATA, "fichier PNG tronqué");
    }
    return B_OK;
}

status_t ChunkReader::ReadData(std::vector<uint8>* data, bool* crcOk) {
    if (status_t status = CheckMetadataSize(fLength, ChunkName(fType).c_str()); status != B_OK) {
        return status;
    }
    try {
        data->resize(size_t(fLength) + 4);
    } catch (const std::bad_alloc&) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire le PNG");
    }
    if (status_t status = ReadPrefix(data->data(), fLength); status != B_OK) {
        return status;
    }
    if (fSource.ReadAtExactly(DataOffset() + fLength, data->data() + fLength, 4) != B_OK) {
        return Fail(B_BAD_DATA, "fichier PNG tronqué");
    }
    *crcOk =
        ReadBE32(data->data() + fLength) == ChunkCrc(ChunkCrc(0, fType, 4), data->data(), fLength);
    data->resize(fLength);
    return B_OK;
}

}  // namespace orv::png
