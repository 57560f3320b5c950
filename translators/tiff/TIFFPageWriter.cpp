// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFPageWriter.h"

#include <algorithm>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "translators/tiff/TIFFLayout.h"
#include "translators/tiff/TIFFMetadata.h"

namespace orv {
namespace {

// Strips of about this many bytes keep LZW and Deflate efficient without holding much.
constexpr uint32 kStripBytes = 256 * 1024;
constexpr char kWriteFailed[] = "écriture du fichier TIFF impossible";

void SetLayout(TIFF* t, const TIFFLayout& layout, uint16 compression) {
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, layout.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, layout.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    // Differences between neighbours help grey and colour samples, never palette indices.
    if (compression != COMPRESSION_NONE && layout.photometric != PHOTOMETRIC_PALETTE) {
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    if (layout.alpha) {
        const uint16 extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (layout.photometric == PHOTOMETRIC_PALETTE) {
        // Every entry of the 2^bits the indices can reach; colours widened to 16 bits.
        std::vector<uint16> map(size_t(3) << layout.bits, 0);
        const size_t n = size_t(1) << layout.bits;
        for (size_t i = 0; i < layout.palette.size(); i++) {
            const uint32 c = layout.palette[i];
            map[i] = uint16(((c >> 16) & 0xff) * 257);
            map[n + i] = uint16(((c >> 8) & 0xff) * 257);
            map[2 * n + i] = uint16((c & 0xff) * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, &map[0], &map[n], &map[2 * n]);
    }
}

}  // namespace

TIFFPageWriter::TIFFPageWriter(BPositionIO& destination, uint16 compression)
    : fStream(&destination), fCompression(compression) {}

TIFFPageWriter::~TIFFPageWriter() = default;

status_t TIFFPageWriter::WriteFailed() {
    return FailWith(B_IO_ERROR, kWriteFailed, fStream.error);
}

status_t TIFFPageWriter::Begin(const PictureInfo& info) {
    if (fTiff != nullptr) {
        return Fail(B_NOT_ALLOWED, "écriture TIFF déjà commencée");
    }
    fInfo = info;
    fExif = std::make_unique<TIFFExifWriter>(info.metadata.exif);
    if (fExif->WriteDirectories(*fStream.io) != B_OK) {
        return WriteFailed();
    }
    // Little-endian, as the EXIF directories already written are.
    fTiff = OpenTIFF(fStream, "wl");
    if (fTiff == nullptr) {
        return WriteFailed();
    }
    return B_OK;
}

status_t TIFFPageWriter::WriteFrame(const BBitmap& frame, const FrameTiming&) {
    if (fTiff == nullptr) {
        return Fail(B_NOT_ALLOWED, "écriture TIFF non commencée");
    }
    if (frame.ColorSpace() != B_RGB32 && frame.ColorSpace() != B_RGBA32) {
        return Fail(B_BAD_TYPE, "espace de couleurs non pris en charge par l'encodeur TIFF");
    }
    const uint32 width = frame.PixelWidth();
    const uint32 height = frame.PixelHeight();
    if (status_t status = CheckImageSize(width, height); status != B_OK) {
        return status;
    }
    TIFF* t = fTiff.get();
    const TIFFLayout layout = ChooseLayout(frame);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    SetLayout(t, layout, fCompression);
    const int orientation = fExif->Orientation();
    TIFFSetField(t, TIFFTAG_ORIENTATION, orientation != 0 ? orientation : ORIENTATION_TOPLEFT);
    const size_t rowBytes = layout.RowBytes(width);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32(std::max<size_t>(1, kStripBytes / rowBytes)));
    if (fInfo.frameCount > 1) {
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    }
    WriteTIFFColour(t, fInfo.metadata);
    if (fWritten == 0) {
        TIFFSetField(t, TIFFTAG_SOFTWARE, "Orvane");
        WriteTIFFTextBlocks(t, fInfo.metadata);
        // The block's own Software, when it has one, is kept over ours.
        fExif->WriteMainTags(t, fInfo.metadata.xDpi <= 0 || fInfo.metadata.yDpi <= 0);
    }

    std::vector<uint8> row(rowBytes);
    for (uint32 y = 0; y < height; y++) {
        LayoutRow(frame, y, layout, row.data());
        if (TIFFWriteScanline(t, row.data(), y, 0) < 0) {
            return WriteFailed();
        }
    }
    if (!TIFFWriteDirectory(t) || fStream.errors > 0) {
        return WriteFailed();
    }
    fWritten++;
    return B_OK;
}

status_t TIFFPageWriter::Finish() {
    if (fTiff == nullptr || fWritten == 0) {
        return Fail(B_ERROR, "aucune image à écrire");
    }
    const bool flushed = TIFFFlush(fTiff.get()) != 0;
    fTiff.reset();
    if (!flushed || fStream.errors > 0) {
        return WriteFailed();
    }
    return B_OK;
}

}  // namespace orv
