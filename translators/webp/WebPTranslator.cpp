// SPDX-License-Identifier: MIT
#include "translators/webp/WebPTranslator.h"

#include <cstring>
#include <thread>

#include "platform/support/ErrorReason.h"
#include "translators/common/CommonSettings.h"
#include "translators/webp/WebPFormat.h"
#include "translators/webp/WebPReader.h"
#include "translators/webp/WebPWriter.h"

namespace orv {

namespace {

constexpr SettingSchema kSettings[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité", 90, 0, 100},
    kLosslessSetting,
    {"method", SettingSchema::Kind::Int, "Effort de compression (0 rapide, 6 lent)", 4, 0, 6},
    kOrientationSetting,
};

// libwebp uses at most one thread besides the caller's.
bool UseThreads() {
    return std::thread::hardware_concurrency() > 1;
}

}  // namespace

WebPTranslator::WebPTranslator()
    : FramedTranslator({"Images WebP",
                        "Images WebP, par libwebp",
                        100,
                        "webp",
                        kWebPFormats,
                        kWebPFormats,
                        kSettings,
                        {.sequences = true, .profiles = true, .metadata = true}},
                       "WebP") {}

status_t WebPTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 header[12];
    if (source.ReadAt(0, header, sizeof(header)) != ssize_t(sizeof(header)) ||
        std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WEBP", 4) != 0) {
        return B_NO_TRANSLATOR;
    }
    *format = &kWebPFormats[0];
    return B_OK;
}

status_t WebPTranslator::OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    WebPReadOptions options;
    options.applyOrientation = Settings().Bool(kOrientationSetting.name);
    options.threads = UseThreads();
    return OpenWebPReader(source, options, reader);
}

status_t WebPTranslator::OpenWriter(uint32 outType, BPositionIO& destination,
                                    std::unique_ptr<PictureWriter>* writer) {
    writer->reset();
    if (outType != kWebPFormats[0].type) {
        return Fail(B_NO_TRANSLATOR, "format de sortie non pris en charge par ce traducteur");
    }
    WebPWriteOptions options;
    options.quality = int(Settings().Int32("quality"));
    options.method = int(Settings().Int32("method"));
    options.lossless = Settings().Bool(kLosslessSetting.name);
    options.threads = UseThreads();
    *writer = NewWebPWriter(destination, options);
    return B_OK;
}

}  // namespace orv
