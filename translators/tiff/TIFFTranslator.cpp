// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFTranslator.h"

#include <tiffio.h>

#include "platform/support/ErrorReason.h"
#include "translators/common/CommonSettings.h"
#include "translators/tiff/TIFFPageReader.h"
#include "translators/tiff/TIFFPageWriter.h"

namespace orv {
namespace {

constexpr translation_format kFormats[] = {
    {FourCC("TIFF"), B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/tiff", "Image TIFF"},
};

constexpr SettingChoice kCompressions[] = {
    {COMPRESSION_LZW, "LZW"},
    {COMPRESSION_ADOBE_DEFLATE, "Deflate"},
    {COMPRESSION_NONE, "Aucune"},
};

constexpr SettingSchema kSettings[] = {
    {"compression", SettingSchema::Kind::Choice, "Compression", COMPRESSION_LZW, 0, 0,
     kCompressions},
    kOrientationSetting,
};

constexpr TranslatorDescription kDescription = {
    "Images TIFF", "Images TIFF, par libtiff",
    110,           "tiff",
    kFormats,      kFormats,
    kSettings,     {.sequences = true, .profiles = true, .metadata = true},
};

}  // namespace

TIFFTranslator::TIFFTranslator() : FramedTranslator(kDescription, "TIFF") {}

status_t TIFFTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 magic[4];
    if (source.ReadAt(0, magic, 4) != 4) {
        return B_NO_TRANSLATOR;
    }
    // Classic TIFF (42) and BigTIFF (43), in either byte order.
    const bool little =
        magic[0] == 'I' && magic[1] == 'I' && magic[3] == 0 && (magic[2] == 42 || magic[2] == 43);
    const bool big =
        magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && (magic[3] == 42 || magic[3] == 43);
    if (!little && !big) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t TIFFTranslator::OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    reader->reset();
    std::unique_ptr<TIFFPageReader> pages;
    if (status_t status =
            TIFFPageReader::Open(source, Settings().Bool(kOrientationSetting.name), &pages);
        status != B_OK) {
        return status;
    }
    *reader = std::move(pages);
    return B_OK;
}

status_t TIFFTranslator::OpenWriter(uint32 outType, BPositionIO& destination,
                                    std::unique_ptr<PictureWriter>* writer) {
    writer->reset();
    if (outType != kFormats[0].type) {
        return Fail(B_NO_TRANSLATOR, "format de sortie non pris en charge par ce traducteur");
    }
    *writer =
        std::make_unique<TIFFPageWriter>(destination, uint16(Settings().Int32("compression")));
    return B_OK;
}

}  // namespace orv
