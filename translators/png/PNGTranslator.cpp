// SPDX-License-Identifier: MIT
#include "translators/png/PNGTranslator.h"

#include <libdeflate.h>
#include <png.h>

#include <cstring>
#include <string>

#include "platform/support/ErrorReason.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"
#include "translators/png/ApngReader.h"
#include "translators/png/PngChunks.h"
#include "translators/png/PngDataStream.h"
#include "translators/png/PngInflate.h"
#include "translators/png/PngLayout.h"
#include "translators/png/PngPixels.h"
#include "translators/png/PngWriter.h"

namespace orv {

namespace {

constexpr translation_format kFormats[] = {
    {FourCC("PNG "), B_TRANSLATOR_BITMAP, 0.9f, 0.8f, "image/png", "Image PNG"},
};

// The format's row filters; "adaptive" picks one per row.
constexpr SettingChoice kFilterChoices[] = {
    {0, "Aucun"}, {1, "Sub"}, {2, "Up"}, {3, "Moyenne"}, {4, "Paeth"}, {5, "Adaptatif"},
};

// Level 3 with adaptive filtering: the fastest level whose files stay within 2 % of
// ImageMagick's. On the 16 photographs of the benchmark set (77 MP), ImageMagick's default
// gave 89.35 MB; ours 90.54 MB at level 3 (+1.3 %), 89.44 MB at level 5 (+0.1 %) and 89.02 MB
// at level 6 (-0.4 %), encoding in 0.57 and 0.75 of level 6's time. zlib level 6 behind
// libpng had given 4 MP/s for 89.7 MB. Paeth alone is 10 % faster for 0.7 % more. zlib's
// run-length strategy was faster still and as small on photographs, but six times larger
// on a screenshot. Below level 3 the files grow past the line: 91.32 MB at level 2 (+2.2 %),
// 92.41 MB at level 1 (+3.4 %, for 28 % less processor time over the batch). Intel's ISA-L
// deflates the same rows 3.5 times faster than level 3 but 3.8 to 4.4 % larger; and choosing
// each row's filter by the entropy of its bytes instead of the sum of their magnitudes saves
// 0.14 %, too little to bring a lower level within the line.
constexpr SettingSchema kSettings[] = {
    {"compression", SettingSchema::Kind::Int, "Niveau de compression", 3, 0, 9},
    {"filter", SettingSchema::Kind::Choice, "Filtre des lignes", 5, 0, 0, kFilterChoices},
    kOrientationSetting,
};

// The EXIF orientation to turn the pixels by: 1 (as stored) when the setting is off.
int Orientation(const TranslatorSettings& settings, const PictureMetadata& metadata) {
    if (!settings.Bool(kOrientationSetting.name) || metadata.exif.empty()) {
        return 1;
    }
    return ExifOrientation(metadata.exif.data(), metadata.exif.size());
}

// The picture the file shows to a reader that knows no animation, with `work` (when not
// null) done to every row.
status_t DecodeStill(BPositionIO& source, png::PngLayout layout, int orientation,
                     const PixelWork* work, DecodedImage* decoded) {
    // The whole-stream path writes every pixel or none, so its bitmap may hold an earlier
    // picture's bytes; libpng's leaves the rows a damaged file lacks as they are, so where it
    // takes over, the bitmap is a cleared one.
    std::unique_ptr<BBitmap> bitmap;
    png::PixelTarget target;
    const auto allocate = [&](bool cleared) {
        const status_t status =
            NewImage(layout.width, layout.height, layout.alpha, &bitmap, cleared);
        if (status == B_OK) {
            target = png::PixelTarget{static_cast<uint8*>(bitmap->Bits()),
                                      size_t(bitmap->BytesPerRow()),
                                      layout.width,
                                      layout.height,
                                      layout.alpha,
                                      work};
        }
        return status;
    };
    if (status_t status = allocate(false); status != B_OK) {
        return status;
    }
    png::PixelOutcome outcome;
    if (!png::InflateWhole(source, layout, layout.imageData, target, &outcome)) {
        bitmap.reset();
        png::DataStream stream(source, layout, layout.width, layout.height, layout.imageData);
        status_t status = allocate(true);
        if (status == B_OK) {
            status =
                png::DecodePixels(stream, target, stream.Truncated() || !layout.ended, &outcome);
        }
        if (status != B_OK) {
            return status;
        }
    }
    // The rows the decoder could not do as it went: an interlaced picture's, and those a
    // damaged file lacks.
    for (uint32 y = outcome.rowsDone; y < layout.height; y++) {
        png::WorkRow(target, y);
    }
    if (status_t status = ApplyOrientation(orientation, &bitmap); status != B_OK) {
        return status;
    }
    decoded->info = PlainInfo(*bitmap);
    decoded->info.orientationApplied = orientation >= 2 && orientation <= 8;
    decoded->info.metadata = std::move(layout.metadata);
    decoded->bitmap = std::move(bitmap);
    // Missing pixels say more than a metadata chunk left out or a missing end.
    if (!outcome.damage.empty()) {
        decoded->damage = std::move(outcome.damage);
    } else if (!layout.ended) {
        decoded->damage = "fichier PNG tronqué après l'image";
    } else {
        decoded->damage = std::move(layout.damage);
    }
    return B_OK;
}

// A still picture, decoded when its frame is asked for: pixel work asked for after opening
// is then done to each row as the decoder writes it.
class StillReader final : public PictureReader {
public:
    StillReader(BPositionIO& source, png::PngLayout layout, int orientation)
        : fSource(source), fLayout(std::move(layout)), fOrientation(orientation) {
        const bool across = orientation >= 5 && orientation <= 8;  // a quarter turn: sides swap
        fInfo.width = across ? fLayout.height : fLayout.width;
        fInfo.height = across ? fLayout.width : fLayout.height;
        fInfo.alpha = fLayout.alpha;
        fInfo.frameCount = 1;
        fInfo.orientationApplied = orientation >= 2 && orientation <= 8;
        fInfo.metadata = std::move(fLayout.metadata);
    }

    bool SetPixelWork(PixelWork work) override {
        fWork = std::move(work);
        return true;
    }

    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override {
        if (fRead) {
            return Fail(B_ERROR, "plus d'image dans ce fichier");
        }
        fRead = true;
        DecodedImage decoded;
        if (status_t status = DecodeStill(fSource, std::move(fLayout), fOrientation,
                                          fWork ? &fWork : nullptr, &decoded);
            status != B_OK) {
            return status;
        }
        if (!decoded.damage.empty()) {
            ReportDamage(std::move(decoded.damage));
        }
        *frame = std::move(decoded.bitmap);
        *timing = FrameTiming{};
        return B_OK;
    }

private:
    BPositionIO& fSource;
    png::PngLayout fLayout;
    int fOrientation;
    PixelWork fWork;
    bool fRead = false;
};

}  // namespace

PNGTranslator::PNGTranslator()
    : ImageTranslator({"Images PNG",
                       // "libdeflate" right before its version reads as a copy of zlib to
                       // Debian's package checker.
                       "Images PNG et PNG animées, par libpng " PNG_LIBPNG_VER_STRING
                       " et libdeflate (version " LIBDEFLATE_VERSION_STRING ")",
                       110, "png", kFormats, kFormats, kSettings,
                       WriterTraits{.sequences = true, .profiles = true, .metadata = true}}) {}

status_t PNGTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 signature[sizeof(png::kSignature)];
    if (source.ReadAt(0, signature, sizeof(signature)) != ssize_t(sizeof(signature)) ||
        std::memcmp(signature, png::kSignature, sizeof(signature)) != 0) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t PNGTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    png::PngLayout layout;
    if (status_t status = png::ReadLayout(source, &layout); status != B_OK) {
        return status;
    }
    const int orientation = Orientation(Settings(), layout.metadata);
    return DecodeStill(source, std::move(layout), orientation, nullptr, decoded);
}

status_t PNGTranslator::OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    reader->reset();
    png::PngLayout layout;
    if (status_t status = png::ReadLayout(source, &layout); status != B_OK) {
        return status;
    }
    const int orientation = Orientation(Settings(), layout.metadata);
    if (layout.frames.empty()) {
        *reader = std::make_unique<StillReader>(source, std::move(layout), orientation);
        return B_OK;
    }
    *reader = std::make_unique<png::ApngReader>(source, std::move(layout), orientation);
    return B_OK;
}

status_t PNGTranslator::EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                                      BPositionIO& destination) {
    if (status_t status = CheckEncodeRequest(image, outType, kFormats, "PNG"); status != B_OK) {
        return status;
    }
    PictureInfo single = info;
    single.frameCount = 1;
    png::PngWriter writer(destination,
                          {int(Settings().Int32("compression")), int(Settings().Int32("filter"))});
    status_t status = writer.Begin(single);
    if (status == B_OK) {
        status = writer.WriteFrame(image, FrameTiming{});
    }
    return status == B_OK ? writer.Finish() : status;
}

status_t PNGTranslator::OpenWriter(uint32 outType, BPositionIO& destination,
                                   std::unique_ptr<PictureWriter>* writer) {
    writer->reset();
    if (outType != kFormats[0].type) {
        return Fail(B_NO_TRANSLATOR, "format de sortie non pris en charge par ce traducteur");
    }
    *writer = std::make_unique<png::PngWriter>(
        destination,
        png::WriteOptions{int(Settings().Int32("compression")), int(Settings().Int32("filter"))});
    return B_OK;
}

}  // namespace orv
