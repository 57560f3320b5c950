// SPDX-License-Identifier: MIT
#include "translators/png/PngWriter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "translators/png/PngChunks.h"
#include "translators/png/PngMetadata.h"

namespace orv::png {

namespace {

// A rectangle of a bitmap, each row packed in the format written.
class BitmapRows final : public RowSource {
public:
    BitmapRows(const BBitmap& image, const PixelFormat& format, uint32 x, uint32 y, uint32 width)
        : fImage(image), fFormat(format), fX(x), fY(y), fWidth(width) {}

    void Row(uint32 row, uint8* out) const override {
        const auto* bits = static_cast<const uint8*>(fImage.Bits()) +
                           size_t(fY + row) * size_t(fImage.BytesPerRow()) + size_t(fX) * 4;
        fFormat.Pack(bits, fWidth, fImage.ColorSpace() == B_RGBA32, out);
    }

private:
    const BBitmap& fImage;
    const PixelFormat& fFormat;
    uint32 fX;
    uint32 fY;
    uint32 fWidth;
};

const uint32* WordRow(const BBitmap& image, uint32 y) {
    return reinterpret_cast<const uint32*>(static_cast<const uint8*>(image.Bits()) +
                                           size_t(y) * size_t(image.BytesPerRow()));
}

struct Region {
    uint32 x = 0;
    uint32 y = 0;
    uint32 width = 1;
    uint32 height = 1;
};

// The smallest rectangle holding every pixel of `frame` that differs from `previous` (its
// words, width × height, compared under `mask`); a single pixel when none does, since a
// frame cannot be empty.
Region ChangedRegion(const BBitmap& frame, const std::vector<uint8>& previous, uint32 mask) {
    const uint32 width = frame.PixelWidth();
    const uint32 height = frame.PixelHeight();
    uint32 left = width;
    uint32 right = 0;
    uint32 top = height;
    uint32 bottom = 0;
    for (uint32 y = 0; y < height; y++) {
        const uint32* now = WordRow(frame, y);
        const auto* before = reinterpret_cast<const uint32*>(previous.data()) + size_t(y) * width;
        uint32 first = 0;
        while (first < width && ((now[first] ^ before[first]) & mask) == 0) {
            first++;
        }
        if (first == width) {
            continue;
        }
        uint32 last = width - 1;
        while (((now[last] ^ before[last]) & mask) == 0) {
            last--;
        }
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y;
    }
    if (top == height) {
        return Region{};
    }
    return Region{left, top, right - left + 1, bottom - top + 1};
}

// A delay in milliseconds as the fraction of a second fcTL holds, in 16 bits each.
void DelayFraction(uint32 ms, uint8* out) {
    uint32 numerator = ms;
    uint32 denominator = 1000;
    const uint32 divisor = std::gcd(numerator, denominator);
    if (divisor > 0) {
        numerator /= divisor;
        denominator /= divisor;
    }
    while (numerator > 0xffff) {
        // Long delays lose their milliseconds: tenths, then seconds, then the most it holds.
        numerator = denominator >= 10 ? numerator / 10 : 0xffff;
        denominator = std::max<uint32>(denominator / 10, 1);
    }
    WriteBE16(out, uint16(numerator));
    WriteBE16(out + 2, uint16(denominator));
}

}  // namespace

PngWriter::PngWriter(BPositionIO& destination, const WriteOptions& options)
    : fDestination(destination), fOptions(options) {}

status_t PngWriter::Begin(const PictureInfo& info) {
    if (fBegun) {
        return Fail(B_NOT_ALLOWED, "écriture du PNG déjà commencée");
    }
    fBegun = true;
    fInfo = info;
    fAnimated = info.frameCount > 1;
    return B_OK;
}

status_t PngWriter::WriteHeader(const BBitmap& frame) {
    const std::vector<uint8>& icc = fInfo.metadata.color.icc;
    const ProfileKind profile = icc.empty()          ? ProfileKind::kNone
                                : IsGreyProfile(icc) ? ProfileKind::kGrey
                                                     : ProfileKind::kColor;
    // The frames of an animation share one colour type, but only the first is known here.
    fWidth = frame.PixelWidth();
    fHeight = frame.PixelHeight();
    fFormat = std::make_unique<PixelFormat>(
        fAnimated ? PixelFormat::TrueColor(fInfo.alpha || frame.ColorSpace() == B_RGBA32)
                  : PixelFormat::Choose(frame, profile));
    if (fDestination.WriteExactly(kSignature, sizeof(kSignature)) != B_OK) {
        return Fail(B_IO_ERROR, "écriture du PNG impossible");
    }
    uint8 header[13];
    WriteBE32(header, frame.PixelWidth());
    WriteBE32(header + 4, frame.PixelHeight());
    header[8] = fFormat->BitDepth();
    header[9] = fFormat->ColorType();
    header[10] = 0;  // deflate
    header[11] = 0;  // the five filter types
    header[12] = 0;  // not interlaced
    status_t status = WriteChunk(fDestination, "IHDR", header, sizeof(header));
    if (status == B_OK) {
        status = WriteColorChunks(fDestination, fInfo.metadata.color, fFormat->Grey());
    }
    if (status == B_OK) {
        status = WriteMetadataChunks(fDestination, fInfo.metadata);
    }
    if (status == B_OK && fAnimated) {
        uint8 control[8];
        WriteBE32(control, fInfo.frameCount);
        WriteBE32(control + 4, uint32(std::max(fInfo.loopCount, 0)));
        fControlAt = fDestination.Position() + 8;
        status = WriteChunk(fDestination, "acTL", control, sizeof(control));
        try {
            fPrevious.resize(size_t(frame.PixelWidth()) * frame.PixelHeight() * 4);
        } catch (const std::bad_alloc&) {
            status = Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire l'animation PNG");
        }
    }
    if (status == B_OK && fFormat->ColorType() == PixelFormat::kPalette) {
        const std::vector<uint8> palette = fFormat->PaletteData();
        const std::vector<uint8> alpha = fFormat->TransparencyData();
        status = WriteChunk(fDestination, "PLTE", palette.data(), palette.size());
        if (status == B_OK && !alpha.empty()) {
            status = WriteChunk(fDestination, "tRNS", alpha.data(), alpha.size());
        }
    }
    return status;
}

status_t PngWriter::WriteFrameControl(uint32 x, uint32 y, uint32 width, uint32 height,
                                      const FrameTiming& timing) {
    uint8 control[26];
    WriteBE32(control, fSequence++);
    WriteBE32(control + 4, width);
    WriteBE32(control + 8, height);
    WriteBE32(control + 12, x);
    WriteBE32(control + 16, y);
    DelayFraction(timing.delayMs, control + 20);
    // Each frame replaces its rectangle and stays: the canvas is then the frame itself.
    control[24] = 0;  // APNG_DISPOSE_OP_NONE
    control[25] = 0;  // APNG_BLEND_OP_SOURCE
    return WriteChunk(fDestination, "fcTL", control, sizeof(control));
}

status_t PngWriter::WriteRegion(const BBitmap& frame, uint32 x, uint32 y, uint32 width,
                                uint32 height, const char type[4], uint32* sequence) {
    const BitmapRows rows(frame, *fFormat, x, y, width);
    ImageDataLayout layout;
    layout.height = height;
    layout.rowBytes = fFormat->RowBytes(width);
    layout.filterStep = fFormat->FilterStep();
    // Filtering helps neither palette indices nor packed samples.
    const bool filtered = fFormat->ColorType() != PixelFormat::kPalette && fFormat->BitDepth() == 8;
    layout.filter = filtered || fOptions.filter != kFilterAdaptive ? fOptions.filter : 0;
    layout.level = fOptions.level;
    return WriteImageData(rows, layout, fDestination, type, sequence);
}

status_t PngWriter::WriteFrame(const BBitmap& frame, const FrameTiming& timing) {
    if (!fBegun) {
        return Fail(B_NOT_ALLOWED, "écriture du PNG non commencée");
    }
    if (frame.ColorSpace() != B_RGB32 && frame.ColorSpace() != B_RGBA32) {
        return Fail(B_BAD_TYPE, "espace de couleurs non pris en charge par le PNG");
    }
    const uint32 width = frame.PixelWidth();
    const uint32 height = frame.PixelHeight();
    if (fFrames == 0) {
        if (status_t status = WriteHeader(frame); status != B_OK) {
            return status;
        }
    } else if (!fAnimated) {
        return Fail(B_NOT_ALLOWED, "ce PNG ne garde qu'une image");
    } else if (width != fWidth || height != fHeight) {
        return Fail(B_BAD_VALUE, "images de tailles différentes dans l'animation");
    }
    status_t status = B_OK;
    if (!fAnimated) {
        status = WriteRegion(frame, 0, 0, width, height, "IDAT", nullptr);
    } else {
        const uint32 mask = fFormat->Alpha() ? 0xffffffff : 0x00ffffff;
        const Region region =
            fFrames == 0 ? Region{0, 0, width, height} : ChangedRegion(frame, fPrevious, mask);
        status = WriteFrameControl(region.x, region.y, region.width, region.height, timing);
        if (status == B_OK) {
            status = fFrames == 0 ? WriteRegion(frame, 0, 0, width, height, "IDAT", nullptr)
                                  : WriteRegion(frame, region.x, region.y, region.width,
                                                region.height, "fdAT", &fSequence);
        }
        // What the canvas holds now, as compared: the fourth byte only when it is alpha.
        const uint32 fill = ~mask;
        for (uint32 y = region.y; y < region.y + region.height; y++) {
            const uint32* source = WordRow(frame, y) + region.x;
            auto* target =
                reinterpret_cast<uint32*>(fPrevious.data()) + size_t(y) * width + region.x;
            for (uint32 x = 0; x < region.width; x++) {
                target[x] = source[x] | fill;
            }
        }
    }
    if (status == B_OK) {
        fFrames++;
    }
    return status;
}

status_t PngWriter::Finish() {
    if (fFrames == 0) {
        return Fail(B_ERROR, "aucune image à écrire");
    }
    if (fAnimated && fFrames != fInfo.frameCount) {
        // Fewer frames came than announced: acTL says how many there are.
        uint8 control[12];
        std::memcpy(control, "acTL", 4);
        WriteBE32(control + 4, fFrames);
        WriteBE32(control + 8, uint32(std::max(fInfo.loopCount, 0)));
        uint8 crc[4];
        WriteBE32(crc, ChunkCrc(0, control, sizeof(control)));
        if (fDestination.WriteAt(fControlAt, control + 4, 4) != 4 ||
            fDestination.WriteAt(fControlAt + 8, crc, 4) != 4) {
            return Fail(B_IO_ERROR, "écriture du PNG impossible");
        }
    }
    return WriteChunk(fDestination, "IEND", nullptr, 0);
}

}  // namespace orv::png
