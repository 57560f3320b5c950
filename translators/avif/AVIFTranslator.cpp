// SPDX-License-Identifier: MIT
#include "translators/avif/AVIFTranslator.h"

#include <avif/avif.h>

#include <string>

#include "platform/support/ErrorReason.h"
#include "translators/avif/AVIFReader.h"
#include "translators/avif/AVIFWriter.h"
#include "translators/common/CommonSettings.h"

namespace orv {

namespace {

constexpr translation_format kFormats[] = {
    {FourCC("AVIF"), B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/avif", "Image AVIF"},
};

constexpr SettingChoice kSubsamplingChoices[] = {
    {420, "4:2:0"},
    {422, "4:2:2"},
    {444, "4:4:4 (couleurs complètes)"},
};

// The defaults give what ImageMagick's give, in bytes and in quality, a little faster. On
// the benchmark's 16 photographs (80 megapixels, two cores), with the mean PSNR of the
// pictures read back:
//
//   ImageMagick's defaults      3.74 MB  38.10 dB  17.8 s
//   quality 48, speed 6         3.72 MB  38.10 dB  15.7 s   (libvips' defaults: 42 s)
//   quality 50, speed 6         3.93 MB  38.32 dB  14.1 s
//   quality 50, speed 7         4.09 MB  37.57 dB  12.0 s
//   quality 50, speed 8         4.08 MB  37.70 dB   3.9 s
//   quality 50, speed 9         3.96 MB  37.63 dB   2.0 s
//   quality 47, speed 9         3.74 MB  37.39 dB   1.8 s
//
// Speed 9 is seven times as fast, but to match ImageMagick's quality it needs files about a
// fifth larger, and small files are why people choose AVIF; it stays one setting away. 10
// gives the same files as 9 with libaom.
constexpr SettingSchema kSettings[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité (100 : la meilleure)", 48, 0, 100},
    {"speed", SettingSchema::Kind::Int, "Vitesse d'encodage (0 : lente et compacte, 10 : rapide)",
     6, 0, 10},
    {"subsampling", SettingSchema::Kind::Choice, "Sous-échantillonnage des couleurs", 420, 0, 0,
     kSubsamplingChoices},
    kLosslessSetting,
    kOrientationSetting,
};

// The largest ftyp box we look at to identify a stream; real ones are a few dozen bytes.
constexpr size_t kMaxIdentifyBytes = 4096;

const char* DescriptionInfo() {
    static const std::string info = [] {
        char codecs[256];
        avifCodecVersions(codecs);
        return std::string("Images AVIF, libavif ") + avifVersion() + " (" + codecs + ")";
    }();
    return info.c_str();
}

TranslatorDescription Description() {
    return ReadOnlyUnless(AVIFTranslator::CanEncode(),
                          {"Images AVIF",
                           DescriptionInfo(),
                           100,
                           "avif",
                           kFormats,
                           kFormats,
                           kSettings,
                           {.sequences = true, .profiles = true, .metadata = true}});
}

}  // namespace

AVIFTranslator::AVIFTranslator() : FramedTranslator(Description(), "AVIF") {}

bool AVIFTranslator::CanEncode() {
    return avifCodecName(AVIF_CODEC_CHOICE_AUTO, AVIF_CODEC_FLAG_CAN_ENCODE) != nullptr;
}

status_t AVIFTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 header[kMaxIdentifyBytes];
    const ssize_t length = source.ReadAt(0, header, sizeof header);
    if (length < 12) {
        return B_NO_TRANSLATOR;
    }
    const avifROData data = {header, size_t(length)};
    if (!avifPeekCompatibleFileType(&data)) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t AVIFTranslator::OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    return OpenAVIFReader(source, Settings().Bool(kOrientationSetting.name), reader);
}

status_t AVIFTranslator::OpenWriter(uint32 outType, BPositionIO& destination,
                                    std::unique_ptr<PictureWriter>* writer) {
    writer->reset();
    if (!CanEncode() || outType != kFormats[0].type) {
        return Fail(B_NO_TRANSLATOR, "ce traducteur ne sait pas écrire ce format");
    }
    const AVIFEncoding encoding{Settings().Int32("quality"), Settings().Int32("speed"),
                                Settings().Int32("subsampling"),
                                Settings().Bool(kLosslessSetting.name)};
    return OpenAVIFWriter(destination, encoding, writer);
}

}  // namespace orv
