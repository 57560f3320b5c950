// SPDX-License-Identifier: MIT
#include "translators/jxl/JXLTranslator.h"

#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"

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

// The stream is fed to the decoder in pieces of this size at first; the buffer grows when
// the decoder needs more of the file at once.
constexpr size_t kInputChunk = size_t(1) << 20;
constexpr size_t kOutputChunk = size_t(1) << 16;

using DecoderPtr = std::unique_ptr<JxlDecoder, FreeWith<JxlDecoderDestroy>>;
using EncoderPtr = std::unique_ptr<JxlEncoder, FreeWith<JxlEncoderDestroy>>;
using RunnerPtr = std::unique_ptr<void, FreeWith<JxlThreadParallelRunnerDestroy>>;

RunnerPtr NewRunner() {
    return RunnerPtr(
        JxlThreadParallelRunnerCreate(nullptr, std::max(1u, std::thread::hardware_concurrency())));
}

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
        "Images JPEG XL", DescriptionInfo(), 100, "jxl", kFormats, kFormats, kSettings,
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

// Feeds the stream to the decoder piece by piece. The decoder hands back what it has not
// consumed; that tail is kept at the front of the buffer and the next piece appended.
class InputFeeder {
public:
    explicit InputFeeder(BPositionIO& source) : fSource(source), fBuffer(kInputChunk) {}

    status_t Refill(JxlDecoder* decoder) {
        const size_t remaining = JxlDecoderReleaseInput(decoder);
        if (fEnded) {
            return Fail(B_BAD_DATA, "fichier JPEG XL tronqué");
        }
        std::memmove(fBuffer.data(), fBuffer.data() + fLength - remaining, remaining);
        fLength = remaining;
        if (fLength == fBuffer.size()) {
            size_t larger = 0;
            if (!CheckedMultiply(fBuffer.size(), 2, &larger)) {
                return Fail(B_NO_MEMORY, "fichier JPEG XL trop grand");
            }
            fBuffer.resize(larger);
        }
        const ssize_t count =
            fSource.ReadAt(fOffset, fBuffer.data() + fLength, fBuffer.size() - fLength);
        if (count < 0) {
            return Fail(B_IO_ERROR, "lecture du fichier JPEG XL impossible");
        }
        fOffset += count;
        fLength += size_t(count);
        fEnded = count == 0;
        if (JxlDecoderSetInput(decoder, fBuffer.data(), fLength) != JXL_DEC_SUCCESS) {
            return Fail(B_ERROR, "décodeur JPEG XL dans un état inattendu");
        }
        if (fEnded) {
            JxlDecoderCloseInput(decoder);
        }
        return B_OK;
    }

private:
    BPositionIO& fSource;
    std::vector<uint8> fBuffer;
    size_t fLength = 0;
    off_t fOffset = 0;
    bool fEnded = false;
};

// Where the decoder's rows go: converted straight into the bitmap, one stripe at a time,
// possibly from several threads at once on different pixels.
struct RowTarget {
    uint8* bits;
    size_t rowBytes;
    uint32 width;
    uint32 height;
    uint32 channels;
};

void WriteStripe(void* opaque, size_t x, size_t y, size_t count, const void* pixels) {
    const auto* target = static_cast<const RowTarget*>(opaque);
    if (y >= target->height || x >= target->width || count > target->width - x) {
        return;
    }
    SamplesToRow(static_cast<const uint8*>(pixels), target->channels,
                 target->bits + y * target->rowBytes + x * 4, uint32(count));
}

// What the header tells, and the bitmap it calls for.
struct Picture {
    JxlBasicInfo info{};
    JxlPixelFormat format{};
    std::unique_ptr<BBitmap> bitmap;
    RowTarget target{};
};

// Checks the declared size before libjxl allocates anything for the pixels, then makes
// the bitmap the rows will be written into.
status_t ReadHeader(JxlDecoder* decoder, Picture* picture) {
    if (JxlDecoderGetBasicInfo(decoder, &picture->info) != JXL_DEC_SUCCESS) {
        return Fail(B_BAD_DATA, "en-tête JPEG XL illisible");
    }
    const JxlBasicInfo& info = picture->info;
    if (status_t status = CheckImageSize(info.xsize, info.ysize); status != B_OK) {
        return status;
    }
    const bool alpha = info.alpha_bits != 0;
    const bool grey = info.num_color_channels == 1;
    if (status_t status = NewImage(info.xsize, info.ysize, alpha, &picture->bitmap);
        status != B_OK) {
        return status;
    }
    picture->format = {(grey ? 1u : 3u) + (alpha ? 1u : 0u), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    picture->target = {static_cast<uint8*>(picture->bitmap->Bits()),
                       size_t(picture->bitmap->BytesPerRow()), info.xsize, info.ysize,
                       picture->format.num_channels};
    return B_OK;
}

// Pictures stored in libjxl's internal colour space are rendered into sRGB, which is what
// our bitmaps hold; others come out in their own space, which we cannot convert here.
void PreferSRGB(JxlDecoder* decoder, const JxlBasicInfo& info) {
    if (info.uses_original_profile) {
        return;
    }
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, info.num_color_channels == 1);
    JxlDecoderSetPreferredColorProfile(decoder, &srgb);
}

// What the settings and the picture ask of the encoder.
struct EncodingChoices {
    bool alpha;
    bool lossless;
    int32 effort;
    int32 quality;
};

// Describes the picture to the encoder and creates its one frame's settings; false when
// libjxl refuses any of it.
bool Configure(JxlEncoder* encoder, const BBitmap& image, const EncodingChoices& choices,
               JxlEncoderFrameSettings** frame) {
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = image.PixelWidth();
    info.ysize = image.PixelHeight();
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.alpha_bits = choices.alpha ? 8 : 0;
    info.num_extra_channels = choices.alpha ? 1 : 0;
    // Lossless keeps the RGB samples as they are; lossy works in libjxl's own space.
    info.uses_original_profile = choices.lossless;
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    if (JxlEncoderSetBasicInfo(encoder, &info) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(encoder, &srgb) != JXL_ENC_SUCCESS ||
        (*frame = JxlEncoderFrameSettingsCreate(encoder, nullptr)) == nullptr ||
        JxlEncoderFrameSettingsSetOption(*frame, JXL_ENC_FRAME_SETTING_EFFORT, choices.effort) !=
            JXL_ENC_SUCCESS) {
        return false;
    }
    const JxlEncoderStatus status =
        choices.lossless ? JxlEncoderSetFrameLossless(*frame, JXL_TRUE)
                         : JxlEncoderSetFrameDistance(*frame, Distance(choices.quality));
    return status == JXL_ENC_SUCCESS;
}

// libjxl wants RGB(A) rows and copies them in; the converted copy lives only until then.
status_t AddFrame(JxlEncoderFrameSettings* frame, const BBitmap& image, bool alpha) {
    const uint32 channels = alpha ? 4 : 3;
    size_t rowSize = 0;
    size_t size = 0;
    if (!CheckedMultiply(image.PixelWidth(), channels, &rowSize) ||
        !CheckedMultiply(rowSize, image.PixelHeight(), &size)) {
        return Fail(B_NO_MEMORY, "image trop grande pour le JPEG XL");
    }
    std::vector<uint8> pixels(size);
    BitmapToRows(image, alpha, pixels.data(), rowSize);
    const JxlPixelFormat format = {channels, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    if (JxlEncoderAddImageFrame(frame, &format, pixels.data(), pixels.size()) != JXL_ENC_SUCCESS) {
        return Fail(B_ERROR, "l'encodeur JPEG XL a refusé l'image");
    }
    return B_OK;
}

// Hands the encoded file to the stream a chunk at a time.
status_t WriteOutput(JxlEncoder* encoder, BPositionIO& destination) {
    std::vector<uint8> chunk(kOutputChunk);
    for (;;) {
        uint8* next = chunk.data();
        size_t available = chunk.size();
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &available);
        if (status == JXL_ENC_ERROR) {
            return Fail(B_ERROR, "l'encodeur JPEG XL a échoué");
        }
        if (destination.WriteExactly(chunk.data(), chunk.size() - available) != B_OK) {
            return Fail(B_IO_ERROR, "écriture du fichier JPEG XL impossible");
        }
        if (status == JXL_ENC_SUCCESS) {
            return B_OK;
        }
    }
}

}  // namespace

JXLTranslator::JXLTranslator() : ImageTranslator(Description()) {}

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

status_t JXLTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    // Declared before the decoder, which points into both until it is destroyed.
    InputFeeder feeder(source);
    Picture picture;
    RunnerPtr runner = NewRunner();
    DecoderPtr decoder(JxlDecoderCreate(nullptr));
    if (!decoder || !runner) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image JPEG XL");
    }
    JxlDecoder* dec = decoder.get();
    if (JxlDecoderSetParallelRunner(dec, JxlThreadParallelRunner, runner.get()) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                           JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(dec, !Settings().Bool(kOrientationSetting.name)) !=
            JXL_DEC_SUCCESS) {
        return Fail(B_ERROR, "décodeur JPEG XL indisponible");
    }
    if (status_t status = feeder.Refill(dec); status != B_OK) {
        return status;
    }

    for (;;) {
        switch (JxlDecoderProcessInput(dec)) {
            case JXL_DEC_NEED_MORE_INPUT:
                if (status_t status = feeder.Refill(dec); status != B_OK) {
                    return status;
                }
                break;
            case JXL_DEC_BASIC_INFO:
                if (status_t status = ReadHeader(dec, &picture); status != B_OK) {
                    return status;
                }
                break;
            case JXL_DEC_COLOR_ENCODING:
                PreferSRGB(dec, picture.info);
                break;
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                if (!picture.bitmap ||
                    JxlDecoderSetImageOutCallback(dec, &picture.format, WriteStripe,
                                                  &picture.target) != JXL_DEC_SUCCESS) {
                    return Fail(B_BAD_DATA, "fichier JPEG XL invalide");
                }
                break;
            case JXL_DEC_FULL_IMAGE:
                // The first frame is the picture; later frames of an animation are not read.
                *image = std::move(picture.bitmap);
                return B_OK;
            case JXL_DEC_SUCCESS:
                return Fail(B_BAD_DATA, "fichier JPEG XL sans image");
            case JXL_DEC_ERROR:
                return Fail(B_BAD_DATA, "fichier JPEG XL corrompu");
            default:
                // Nothing else was asked for; answering it would need a buffer we never
                // give, and asking again would loop.
                return Fail(B_BAD_DATA, "fichier JPEG XL d'un genre inattendu");
        }
    }
}

status_t JXLTranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                      BPositionIO& destination) {
    if (status_t status = CheckEncodeRequest(image, outType, kFormats, "JPEG XL"); status != B_OK) {
        return status;
    }
    RunnerPtr runner = NewRunner();
    EncoderPtr encoder(JxlEncoderCreate(nullptr));
    if (!encoder || !runner) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image JPEG XL");
    }
    const EncodingChoices choices{HasTransparency(image), Settings().Bool(kLosslessSetting.name),
                                  Settings().Int32("effort"), Settings().Int32("quality")};
    JxlEncoderFrameSettings* frame = nullptr;
    if (JxlEncoderSetParallelRunner(encoder.get(), JxlThreadParallelRunner, runner.get()) !=
            JXL_ENC_SUCCESS ||
        !Configure(encoder.get(), image, choices, &frame)) {
        return Fail(B_ERROR, "réglages de l'encodeur JPEG XL refusés");
    }
    if (status_t status = AddFrame(frame, image, choices.alpha); status != B_OK) {
        return status;
    }
    JxlEncoderCloseInput(encoder.get());
    return WriteOutput(encoder.get(), destination);
}

}  // namespace orv
