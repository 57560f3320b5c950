// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFPageReader.h"

#include <cmath>
#include <string>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"
#include "translators/tiff/TIFFExif.h"
#include "translators/tiff/TIFFMetadata.h"
#include "translators/tiff/TIFFPage.h"

namespace orv {
namespace {

// "environ 9 %" of a fraction of the picture.
std::string Share(double fraction) {
    const long percent = std::lround(fraction * 100);
    if (percent < 1) {
        return "moins de 1 %";
    }
    return "environ " + std::to_string(std::min(percent, 99L)) + " %";
}

std::string DamageText(const PageDamage& damage, uint64 paddedBytes, uint64 pixels) {
    const std::string why = damage.reason.empty() ? "" : " (" + damage.reason + ")";
    double missing = double(damage.lostPixels) / double(pixels);
    if (paddedBytes > 0) {
        if (damage.declaredBytes > 0) {
            missing = std::max(missing, double(paddedBytes) / double(damage.declaredBytes));
        }
        return "fichier tronqué : " + Share(missing) + " de l'image manque";
    }
    if (damage.lostPixels > 0) {
        return "image TIFF endommagée : " + Share(missing) + " de l'image manque" + why;
    }
    if (damage.damagedPixels > 0) {
        return "image TIFF endommagée : " + Share(double(damage.damagedPixels) / double(pixels)) +
               " de l'image peut être altérée" + why;
    }
    return {};
}

// libtiff repairs a directory whose strip or tile layout it cannot believe by guessing
// one: the pixels it then reads may not be the picture's.
bool RepairedLayout(const std::string& warning) {
    for (const char* word :
         {"StripByteCounts", "TileByteCounts", "StripOffsets", "TileOffsets", "Bogus"}) {
        if (warning.find(word) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Reduced-resolution copies and masks stand beside a page; they are not pages.
bool IsPage(TIFF* tiff) {
    uint32 kind = 0;
    return !TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &kind) ||
           (kind & (FILETYPE_REDUCEDIMAGE | FILETYPE_MASK)) == 0;
}

}  // namespace

TIFFPageReader::TIFFPageReader(BPositionIO& source, bool applyOrientation)
    : fSource(source), fStream(&source), fApplyOrientation(applyOrientation) {}

status_t TIFFPageReader::Open(BPositionIO& source, bool applyOrientation,
                              std::unique_ptr<TIFFPageReader>* reader) {
    reader->reset();
    if (source.Seek(0, SEEK_FROM_START) != 0) {
        return Fail(B_IO_ERROR, "fichier TIFF illisible");
    }
    std::unique_ptr<TIFFPageReader> opened(new TIFFPageReader(source, applyOrientation));
    if (status_t status = opened->Scan(); status != B_OK) {
        return status;
    }
    *reader = std::move(opened);
    return B_OK;
}

bool TIFFPageReader::UprightSize(uint16 orientation, uint32 width, uint32 height,
                                 uint32* uprightWidth, uint32* uprightHeight) const {
    const bool turned = fApplyOrientation && orientation >= ORIENTATION_LEFTTOP &&
                        orientation <= ORIENTATION_LEFTBOT;
    *uprightWidth = turned ? height : width;
    *uprightHeight = turned ? width : height;
    return turned;
}

void TIFFPageReader::NoteDirectoryRepairs(tdir_t directory) {
    if (fStream.warnings > 0 && RepairedLayout(fStream.warning)) {
        ReportDamage("structure TIFF réparée par libtiff, page " + std::to_string(directory + 1) +
                     " peut-être altérée (" + fStream.warning + ")");
    }
}

status_t TIFFPageReader::Scan() {
    fTiff = OpenTIFF(fStream, "rm");
    // A first directory libtiff read with errors is not believed, even when it opened.
    if (fTiff == nullptr || fStream.errors > 0) {
        return FailWith(B_BAD_DATA, "fichier TIFF illisible", fStream.error);
    }
    NoteDirectoryRepairs(0);
    TIFF* tiff = fTiff.get();
    PageShape first;
    if (status_t status = CheckPage(tiff, &first); status != B_OK) {
        return status;
    }
    const bool turned =
        UprightSize(first.orientation, first.width, first.height, &fInfo.width, &fInfo.height);
    fInfo.alpha = first.alpha;
    fInfo.pages = true;
    fInfo.orientationApplied = fApplyOrientation && first.orientation != ORIENTATION_TOPLEFT &&
                               first.orientation <= ORIENTATION_LEFTBOT;

    PictureMetadata& metadata = fInfo.metadata;
    if (status_t status = ReadTIFFMetadata(tiff, &metadata); status != B_OK) {
        return status;
    }
    if (turned) {
        std::swap(metadata.xDpi, metadata.yDpi);
    }
    if (status_t status = ReadTIFFExif(tiff, fSource, &metadata.exif); status != B_OK) {
        return status;
    }
    fPages.push_back(TIFFCurrentDirectory(tiff));
    FindOtherPages(fInfo.width, fInfo.height);
    fInfo.frameCount = uint32(fPages.size());
    return B_OK;
}

void TIFFPageReader::FindOtherPages(uint32 firstWidth, uint32 firstHeight) {
    TIFF* tiff = fTiff.get();
    const uint64 pagePixels = uint64(firstWidth) * firstHeight;
    for (;;) {
        // Past the pixel limit the run refuses the sequence anyway; counting further would
        // only read directories for nothing.
        if (uint64(fPages.size()) * pagePixels > kMaxImagePixels) {
            return;
        }
        fStream.Clear();
        if (!TIFFReadDirectory(tiff)) {
            if (fStream.errors > 0) {
                ReportDamage("fichier TIFF endommagé après la page " +
                             std::to_string(fPages.size()) + " (" + fStream.error + ")");
            }
            return;
        }
        const tdir_t directory = TIFFCurrentDirectory(tiff);
        const std::string number = std::to_string(directory + 1);
        if (fStream.errors > 0) {
            ReportDamage("page " + number + " illisible : non convertie (" + fStream.error + ")");
            continue;
        }
        if (!IsPage(tiff)) {
            continue;
        }
        NoteDirectoryRepairs(directory);
        PageShape shape;
        ClearErrorReason();
        if (CheckPage(tiff, &shape) != B_OK) {
            ReportDamage("page " + number + " illisible : non convertie (" + ErrorReason() + ")");
            continue;
        }
        uint32 width = 0;
        uint32 height = 0;
        UprightSize(shape.orientation, shape.width, shape.height, &width, &height);
        if (width != firstWidth || height != firstHeight) {
            // A document's pages all take the first page's size: another size would need
            // scaling or padding, which changes the page. The page stays in the source.
            ReportDamage("page " + number + " de " + std::to_string(width) + " × " +
                         std::to_string(height) +
                         " pixels, d'une autre taille que la première : " + "non convertie");
            continue;
        }
        fInfo.alpha = fInfo.alpha || shape.alpha;
        fPages.push_back(directory);
    }
}

status_t TIFFPageReader::ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) {
    frame->reset();
    *timing = FrameTiming{};
    if (fNext >= fPages.size()) {
        return Fail(B_ERROR, "plus de page dans ce fichier");
    }
    const tdir_t directory = fPages[fNext++];
    TIFF* tiff = fTiff.get();
    fStream.Clear();
    if (TIFFCurrentDirectory(tiff) != directory && !TIFFSetDirectory(tiff, directory)) {
        return FailWith(B_BAD_DATA, "page TIFF illisible", fStream.error);
    }
    PageDamage damage;
    std::unique_ptr<BBitmap> image;
    if (status_t status = DecodePage(tiff, fStream, &image, &damage); status != B_OK) {
        return status;
    }
    const uint64 pixels = uint64(image->PixelWidth()) * image->PixelHeight();
    if (std::string text = DamageText(damage, fStream.paddedBytes, pixels); !text.empty()) {
        ReportDamage(fPages.size() > 1 ? "page " + std::to_string(directory + 1) + " : " + text
                                       : text);
    }
    uint16 orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    if (fApplyOrientation) {
        if (status_t status = ApplyOrientation(orientation, &image); status != B_OK) {
            return status;
        }
    }
    *frame = std::move(image);
    return B_OK;
}

}  // namespace orv
