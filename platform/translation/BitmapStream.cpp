// SPDX-License-Identifier: MIT
#include "platform/translation/BitmapStream.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"

namespace {

// Bounds travel as floats; only whole coordinates that a float holds exactly make sense
// for a bitmap, and anything else (NaN, fractions, huge values) marks a forged header.
bool IsPixelCoordinate(float value) {
    return std::isfinite(value) && value == std::trunc(value) && std::fabs(value) <= 16777216.0f;
}

}  // namespace

namespace orv {

void FormatBitmapHeader(const TranslatorBitmap& header,
                        uint8 (&bytes)[kTranslatorBitmapHeaderSize]) {
    WriteBE32(bytes + 0, header.magic);
    WriteBE32(bytes + 4, std::bit_cast<uint32>(header.bounds.left));
    WriteBE32(bytes + 8, std::bit_cast<uint32>(header.bounds.top));
    WriteBE32(bytes + 12, std::bit_cast<uint32>(header.bounds.right));
    WriteBE32(bytes + 16, std::bit_cast<uint32>(header.bounds.bottom));
    WriteBE32(bytes + 20, header.rowBytes);
    WriteBE32(bytes + 24, uint32(header.colors));
    WriteBE32(bytes + 28, header.dataSize);
}

TranslatorBitmap BitmapHeaderFor(const BBitmap& bitmap) {
    TranslatorBitmap header{};
    header.magic = B_TRANSLATOR_BITMAP;
    header.bounds = bitmap.Bounds();
    header.rowBytes = uint32(bitmap.BytesPerRow());
    header.colors = bitmap.ColorSpace();
    header.dataSize = uint32(bitmap.BitsLength());
    return header;
}

status_t ParseBitmapHeader(const uint8* bytes, TranslatorBitmap* header) {
    TranslatorBitmap parsed{};
    parsed.magic = ReadBE32(bytes);
    parsed.bounds.left = std::bit_cast<float>(ReadBE32(bytes + 4));
    parsed.bounds.top = std::bit_cast<float>(ReadBE32(bytes + 8));
    parsed.bounds.right = std::bit_cast<float>(ReadBE32(bytes + 12));
    parsed.bounds.bottom = std::bit_cast<float>(ReadBE32(bytes + 16));
    parsed.rowBytes = ReadBE32(bytes + 20);
    parsed.colors = color_space(ReadBE32(bytes + 24));
    parsed.dataSize = ReadBE32(bytes + 28);

    if (parsed.magic != B_TRANSLATOR_BITMAP) {
        return Fail(B_NO_TRANSLATOR, "flux bitmap sans signature « bits »");
    }
    const BRect& b = parsed.bounds;
    if (!IsPixelCoordinate(b.left) || !IsPixelCoordinate(b.top) || !IsPixelCoordinate(b.right) ||
        !IsPixelCoordinate(b.bottom) || b.right < b.left || b.bottom < b.top) {
        return Fail(B_BAD_DATA, "flux bitmap : cadre invalide");
    }
    const uint64 width = uint64(int64(b.right) - int64(b.left) + 1);
    const uint64 height = uint64(int64(b.bottom) - int64(b.top) + 1);
    if (status_t status = CheckImageSize(width, height); status != B_OK) {
        return status;
    }
    if (BitsPerPixel(parsed.colors) == 0) {
        return Fail(B_BAD_DATA, "flux bitmap : espace de couleurs inconnu");
    }
    const int32 rowBytes = BBitmap::BytesPerRowFor(parsed.colors, uint32(width));
    size_t dataSize = 0;
    if (rowBytes <= 0 || parsed.rowBytes != uint32(rowBytes)) {
        return Fail(B_BAD_DATA, "flux bitmap : longueur de ligne invalide");
    }
    if (!CheckedMultiply(size_t(rowBytes), size_t(height), &dataSize) ||
        dataSize != parsed.dataSize) {
        return Fail(B_BAD_DATA, "flux bitmap : taille des données invalide");
    }
    *header = parsed;
    return B_OK;
}

status_t ReadInterchangeBitmap(BPositionIO& source, std::unique_ptr<BBitmap>* image) {
    image->reset();
    uint8 bytes[kTranslatorBitmapHeaderSize];
    if (status_t status = source.ReadExactly(bytes, sizeof bytes); status != B_OK) {
        return Fail(status, "flux bitmap tronqué");
    }
    TranslatorBitmap header;
    if (status_t status = ParseBitmapHeader(bytes, &header); status != B_OK) {
        return status;
    }
    auto bitmap = std::make_unique<BBitmap>(header.bounds, header.colors);
    if (bitmap->InitCheck() != B_OK) {
        return bitmap->InitCheck();
    }
    if (uint32(bitmap->BitsLength()) != header.dataSize) {
        return Fail(B_BAD_DATA, "flux bitmap : taille des données invalide");
    }
    if (status_t status = source.ReadExactly(bitmap->Bits(), header.dataSize); status != B_OK) {
        return Fail(status, "flux bitmap tronqué");
    }
    *image = std::move(bitmap);
    return B_OK;
}

status_t WriteInterchangeBitmap(const BBitmap& image, BPositionIO& destination) {
    if (image.InitCheck() != B_OK || image.Bits() == nullptr) {
        return Fail(B_BAD_VALUE, "image sans pixels");
    }
    uint8 bytes[kTranslatorBitmapHeaderSize];
    FormatBitmapHeader(BitmapHeaderFor(image), bytes);
    if (status_t status = destination.WriteExactly(bytes, sizeof bytes); status != B_OK) {
        return status;
    }
    return destination.WriteExactly(image.Bits(), size_t(image.BitsLength()));
}

}  // namespace orv

BBitmapStream::BBitmapStream(BBitmap* bitmap) : fBitmap(bitmap) {
    if (fBitmap != nullptr) {
        SetHeaderFrom(*fBitmap);
    }
}

BBitmapStream::~BBitmapStream() {
    delete fBitmap;
}

void BBitmapStream::SetHeaderFrom(const BBitmap& bitmap) {
    uint8 bytes[kTranslatorBitmapHeaderSize];
    orv::FormatBitmapHeader(orv::BitmapHeaderFor(bitmap), bytes);
    std::memcpy(fHeader.data(), bytes, sizeof bytes);
    fHeaderBytes = fHeader.size();
}

ssize_t BBitmapStream::ReadAt(off_t position, void* buffer, size_t size) {
    if (position < 0) {
        return B_BAD_VALUE;
    }
    if (fBitmap == nullptr) {
        return 0;
    }
    auto* out = static_cast<uint8*>(buffer);
    const uint64 headerSize = fHeader.size();
    const uint64 total = headerSize + uint64(fBitmap->BitsLength());
    uint64 at = uint64(position);
    size_t done = 0;
    while (done < size && at < total) {
        size_t chunk;
        if (at < headerSize) {
            chunk = std::min<uint64>(size - done, headerSize - at);
            std::memcpy(out + done, fHeader.data() + at, chunk);
        } else {
            chunk = std::min<uint64>(size - done, total - at);
            std::memcpy(out + done, static_cast<const uint8*>(fBitmap->Bits()) + (at - headerSize),
                        chunk);
        }
        done += chunk;
        at += chunk;
    }
    return ssize_t(done);
}

status_t BBitmapStream::TakeHeaderBytes(off_t position, const uint8* data, size_t size) {
    const size_t at = size_t(position);
    if (fBitmap != nullptr) {
        // The header of an existing bitmap can be written again, but not changed.
        return std::memcmp(fHeader.data() + at, data, size) == 0 ? B_OK : B_NOT_ALLOWED;
    }
    if (at > fHeaderBytes) {
        return orv::Fail(B_BAD_VALUE, "flux bitmap : en-tête écrit dans le désordre");
    }
    std::memcpy(fHeader.data() + at, data, size);
    fHeaderBytes = std::max(fHeaderBytes, at + size);
    if (fHeaderBytes < fHeader.size()) {
        return B_OK;
    }
    TranslatorBitmap header;
    status_t status = orv::ParseBitmapHeader(fHeader.data(), &header);
    auto bitmap =
        status == B_OK ? std::make_unique<BBitmap>(header.bounds, header.colors) : nullptr;
    if (status == B_OK && (status = bitmap->InitCheck()) == B_OK &&
        uint32(bitmap->BitsLength()) != header.dataSize) {
        status = orv::Fail(B_BAD_DATA, "flux bitmap : taille des données invalide");
    }
    if (status != B_OK) {
        // Nothing half-checked is ever used: the stream refuses everything from now on.
        fHeaderBytes = 0;
        fRefusal = status;
        return status;
    }
    fBitmap = bitmap.release();
    return B_OK;
}

ssize_t BBitmapStream::WriteAt(off_t position, const void* buffer, size_t size) {
    if (fRefusal != B_OK) {
        return fRefusal;
    }
    if (position < 0) {
        return B_BAD_VALUE;
    }
    const auto* in = static_cast<const uint8*>(buffer);
    const uint64 headerSize = fHeader.size();
    uint64 at = uint64(position);
    size_t done = 0;
    if (at < headerSize && size > 0) {
        const size_t chunk = std::min<uint64>(size, headerSize - at);
        if (status_t status = TakeHeaderBytes(off_t(at), in, chunk); status != B_OK) {
            return status;
        }
        done += chunk;
        at += chunk;
    }
    if (done == size) {
        return ssize_t(done);
    }
    if (fBitmap == nullptr) {
        return orv::Fail(B_BAD_VALUE, "flux bitmap : pixels écrits avant l'en-tête");
    }
    const uint64 length = uint64(fBitmap->BitsLength());
    const uint64 offset = at - headerSize;
    const size_t rest = size - done;
    if (offset > length || rest > length - offset) {
        return orv::Fail(B_BAD_VALUE, "flux bitmap : plus de pixels que l'en-tête n'en annonce");
    }
    std::memcpy(static_cast<uint8*>(fBitmap->Bits()) + offset, in + done, rest);
    return ssize_t(size);
}

off_t BBitmapStream::Seek(off_t position, uint32 seekMode) {
    off_t base = 0;
    switch (seekMode) {
        case SEEK_FROM_START:
            break;
        case SEEK_FROM_CURRENT:
            base = fPosition;
            break;
        case SEEK_FROM_END: {
            off_t size = 0;
            GetSize(&size);
            base = size;
            break;
        }
        default:
            return B_BAD_VALUE;
    }
    off_t target;
    if (__builtin_add_overflow(base, position, &target) || target < 0) {
        return B_BAD_VALUE;
    }
    fPosition = target;
    return fPosition;
}

off_t BBitmapStream::Position() const {
    return fPosition;
}

status_t BBitmapStream::SetSize(off_t) {
    return B_NOT_ALLOWED;
}

status_t BBitmapStream::GetSize(off_t* size) const {
    if (size == nullptr) {
        return B_BAD_VALUE;
    }
    *size =
        fBitmap != nullptr ? off_t(fHeader.size()) + fBitmap->BitsLength() : off_t(fHeaderBytes);
    return B_OK;
}

status_t BBitmapStream::DetachBitmap(BBitmap** bitmap) {
    if (bitmap == nullptr) {
        return B_BAD_VALUE;
    }
    if (fBitmap == nullptr) {
        return B_ERROR;
    }
    *bitmap = fBitmap;
    fBitmap = nullptr;
    fHeaderBytes = 0;
    fPosition = 0;
    return B_OK;
}

status_t BBitmapStream::AdoptBitmap(BBitmap* bitmap) {
    if (bitmap == nullptr) {
        return B_BAD_VALUE;
    }
    if (fBitmap != nullptr || fHeaderBytes != 0) {
        return B_NOT_ALLOWED;
    }
    fBitmap = bitmap;
    fRefusal = B_OK;
    SetHeaderFrom(*fBitmap);
    return B_OK;
}
