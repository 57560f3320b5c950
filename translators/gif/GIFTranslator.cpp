// SPDX-License-Identifier: MIT
#include "translators/gif/GIFTranslator.h"

#include <cstring>

#include "platform/support/ErrorReason.h"
#include "translators/gif/GifReader.h"
#include "translators/gif/GifWriter.h"

namespace orv {

namespace {

constexpr translation_format kFormats[] = {
    {FourCC("GIFf"), B_TRANSLATOR_BITMAP, 0.8f, 0.6f, "image/gif", "Image GIF"},
};

constexpr SettingSchema kSettings[] = {
    {"colors", SettingSchema::Kind::Int, "Nombre de couleurs (256 au plus)", 256, 2, 256},
    {"dithering", SettingSchema::Kind::Bool, "Tramage (diffusion d'erreur)", 1},
    {"speed", SettingSchema::Kind::Int, "Vitesse de la quantification (1 soignée, 10 rapide)", 4, 1,
     10},
};

// GIF holds animations; it holds no colour profile (pictures reach it in sRGB) and none of
// the EXIF, XMP or IPTC blocks.
constexpr TranslatorDescription kDescription = {
    "Images GIF", "Images GIF animées ou non, par giflib et libimagequant",
    100,          "gif",
    kFormats,     kFormats,
    kSettings,    WriterTraits{.sequences = true},
};

}  // namespace

GIFTranslator::GIFTranslator() : FramedTranslator(kDescription, "GIF") {}

status_t GIFTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    char header[6];
    if (source.ReadAt(0, header, sizeof(header)) != ssize_t(sizeof(header)) ||
        (std::memcmp(header, "GIF87a", 6) != 0 && std::memcmp(header, "GIF89a", 6) != 0)) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t GIFTranslator::OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    return OpenGifReader(source, reader);
}

status_t GIFTranslator::OpenWriter(uint32 outType, BPositionIO& destination,
                                   std::unique_ptr<PictureWriter>* writer) {
    writer->reset();
    if (outType != kFormats[0].type) {
        return Fail(B_NO_TRANSLATOR, "format de sortie non pris en charge par ce traducteur");
    }
    *writer =
        MakeGifWriter(destination, {int(Settings().Int32("colors")), int(Settings().Int32("speed")),
                                    Settings().Bool("dithering")});
    return B_OK;
}

}  // namespace orv
