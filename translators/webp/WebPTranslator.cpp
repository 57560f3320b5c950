// SPDX-License-Identifier: MIT
#include "translators/webp/WebPTranslator.h"

#include <cstring>

#include "platform/support/ErrorReason.h"
#include "translators/common/CodecThreads.h"
#include "translators/common/CommonSettings.h"
#include "translators/webp/WebPFormat.h"
#include "translators/webp/WebPReader.h"
#include "translators/webp/WebPWriter.h"

namespace orv {

namespace {

// Effort 3 makes the files effort 4 makes (libwebp's default, which ImageMagick and libvips
// keep), a little faster. Measured with libwebp 1.2.4 at quality 90, CPU time, bytes and
// mean PSNR of the pictures read back:
//
//                      8 PNG pictures (50 MP)        16 photographs (77 MP)
//   effort 4           4.05 s  1,018,768  52.55 dB   8.59 s  12,550,834  45.22 dB
//   effort 3           3.73 s  1,018,182  52.54 dB   8.47 s  12,532,294  45.20 dB
//   effort 2           1.64 s  1,033,260  52.22 dB   4.69 s  12,663,156  44.85 dB
//
// Effort 2 halves the time but loses a third of a decibel for more bytes, and matching
// effort 4's quality with it takes 5 % more bytes. Lossless files are 0.2 % larger at 3
// than at 4 for the same time.
constexpr SettingSchema kSettings[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité", 90, 0, 100},
    kLosslessSetting,
    {"method", SettingSchema::Kind::Int, "Effort de compression (0 rapide, 6 lent)", 3, 0, 6},
    kOrientationSetting,
};

// libwebp uses at most one thread besides the caller's.
bool UseThreads() {
    return CodecThreadCount() > 1;
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
