// SPDX-License-Identifier: MIT
#include "platform/translation/PictureIO.h"

#include <algorithm>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"

namespace orv {

PictureReader::~PictureReader() = default;

void PictureReader::SetSizeHint(uint32, uint32) {}

bool PictureReader::SetPixelWork(PixelWork) {
    return false;
}

void PictureReader::ReportDamage(std::string reason) {
    if (fDamage.empty()) {
        fDamage = std::move(reason);
    }
}

SingleImageReader::SingleImageReader(DecodedImage decoded) : fBitmap(std::move(decoded.bitmap)) {
    fInfo = std::move(decoded.info);
    fInfo.width = fBitmap->PixelWidth();
    fInfo.height = fBitmap->PixelHeight();
    fInfo.frameCount = 1;
    fInfo.alpha = fBitmap->ColorSpace() == B_RGBA32;
    if (!decoded.damage.empty()) {
        ReportDamage(std::move(decoded.damage));
    }
}

status_t SingleImageReader::ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) {
    if (fBitmap == nullptr) {
        return Fail(B_ERROR, "plus d'image dans ce fichier");
    }
    *frame = std::move(fBitmap);
    *timing = FrameTiming{};
    return B_OK;
}

PictureWriter::~PictureWriter() = default;

status_t CheckSequenceSize(uint64 width, uint64 height, uint64 frames) {
    if (status_t status = CheckImageSize(width, height); status != B_OK) {
        return status;
    }
    if (frames == 0) {
        return Fail(B_BAD_DATA, "fichier sans image");
    }
    // Each side is at most 16 bits, so width × height fits 32 bits and the product with a
    // frame count below 2^32 cannot overflow.
    if (frames > UINT32_MAX || width * height * frames > kMaxImagePixels) {
        return Fail(B_NO_MEMORY, "animation trop grande : plus de 268 435 456 pixels en tout");
    }
    return B_OK;
}

status_t CheckMetadataSize(uint64 bytes, const char* what) {
    if (bytes > kMaxMetadataBytes) {
        return Fail(B_NO_MEMORY, std::string(what) + " trop grand (plus de 16 Mo)");
    }
    return B_OK;
}

uint32 MissingPercent(uint64 missing, uint64 total) {
    if (missing == 0 || total == 0) {
        return 0;
    }
    missing = std::min(missing, total);
    const uint64 percent = (missing * 100 + total / 2) / total;
    return uint32(std::clamp<uint64>(percent, 1, missing < total ? 99 : 100));
}

std::string TruncationDamage(uint64 missing, uint64 total) {
    return "fichier tronqué : environ " + std::to_string(MissingPercent(missing, total)) +
           " % de l'image manque";
}

}  // namespace orv
