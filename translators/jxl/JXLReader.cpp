// SPDX-License-Identifier: MIT
#include "translators/jxl/JXLReader.h"

#include <jxl/decode.h>
#include <jxl/encode.h>  // JxlColorEncodingSetToSRGB

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/ExifPayload.h"
#include "translators/jxl/JXLRunner.h"

namespace orv {

namespace {

// The stream is fed to the decoder in pieces of this size at first; the buffer grows when
// the decoder needs more of the file at once.
constexpr size_t kInputChunk = size_t(1) << 20;

// Counting an animation's frames means reading every frame header; past this many (over
// two hours at 30 a second) a file is refused rather than counted on.
constexpr uint32 kMaxFrames = 1u << 18;

// A metadata box's buffer starts at its stored size (or this, for a compressed one) and
// grows within kMaxMetadataBytes.
constexpr size_t kFirstBoxBuffer = size_t(1) << 16;

using DecoderPtr = std::unique_ptr<JxlDecoder, FreeWith<JxlDecoderDestroy>>;

// Feeds the stream to the decoder piece by piece. The decoder hands back what it has not
// consumed; that tail is kept at the front of the buffer and the next piece appended.
class InputFeeder {
public:
    explicit InputFeeder(BPositionIO& source) : fSource(source), fBuffer(kInputChunk) {}

    // True once the whole file has been given to the decoder.
    bool Ended() const { return fEnded; }

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
    uint8* bits = nullptr;
    size_t rowBytes = 0;
    uint32 width = 0;
    uint32 height = 0;
    uint32 channels = 0;
};

void WriteStripe(void* opaque, size_t x, size_t y, size_t count, const void* pixels) {
    const auto* target = static_cast<const RowTarget*>(opaque);
    if (y >= target->height || x >= target->width || count > target->width - x) {
        return;
    }
    SamplesToRow(static_cast<const uint8*>(pixels), target->channels,
                 target->bits + y * target->rowBytes + x * 4, uint32(count));
}

status_t SetUp(JxlDecoder* decoder, int events, bool upright, void* runner) {
    if (JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, runner) != JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(decoder, events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder, upright ? JXL_FALSE : JXL_TRUE) != JXL_DEC_SUCCESS) {
        return Fail(B_ERROR, "décodeur JPEG XL indisponible");
    }
    return B_OK;
}

bool IsSRGB(const JxlColorEncoding& encoding) {
    return encoding.color_space == JXL_COLOR_SPACE_RGB &&
           encoding.white_point == JXL_WHITE_POINT_D65 &&
           encoding.primaries == JXL_PRIMARIES_SRGB &&
           encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// Chooses the colours the pixels come in and, given `color`, says what they are. Lossy
// pictures (in libjxl's XYB space) can be rendered into any space libjxl names: into their
// original one when it has a name, into sRGB when they came with an ICC profile, which
// libjxl cannot render into by itself. Other pictures come in their own space, told by its
// profile. Grey pictures are told as sRGB: our bitmaps are RGB, which a grey profile does
// not describe.
status_t SelectColors(JxlDecoder* decoder, const JxlBasicInfo& info, ColorDescription* color) {
    const bool grey = info.num_color_channels == 1;
    JxlColorEncoding encoding;
    if (!info.uses_original_profile &&
        (grey ||
         JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                            &encoding) != JXL_DEC_SUCCESS)) {
        JxlColorEncodingSetToSRGB(&encoding, grey ? JXL_TRUE : JXL_FALSE);
        if (JxlDecoderSetPreferredColorProfile(decoder, &encoding) != JXL_DEC_SUCCESS) {
            return Fail(B_BAD_DATA, "espace de couleurs JPEG XL non pris en charge");
        }
    }
    if (color == nullptr || grey) {
        return B_OK;
    }
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoding) == JXL_DEC_SUCCESS &&
        IsSRGB(encoding)) {
        color->srgb = true;
        return B_OK;
    }
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
        JXL_DEC_SUCCESS) {
        return B_OK;
    }
    if (status_t status = CheckMetadataSize(size, "profil de couleurs JPEG XL"); status != B_OK) {
        return status;
    }
    color->icc.resize(size);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       color->icc.data(), size) != JXL_DEC_SUCCESS) {
        color->icc.clear();
    }
    return B_OK;
}

// Takes the contents of the first "Exif" and "xml " boxes as the decoder passes them,
// Brotli-compressed ones decompressed, each within kMaxMetadataBytes.
class BoxCollector {
public:
    // At each new box: the box before is complete, and this one is taken when wanted.
    status_t Next(JxlDecoder* decoder) {
        Finish(decoder);
        JxlBoxType type;
        if (JxlDecoderGetBoxType(decoder, type, JXL_TRUE) != JXL_DEC_SUCCESS) {
            return B_OK;
        }
        if (std::memcmp(type, "Exif", 4) == 0 && !fHaveExif) {
            fHaveExif = true;
            fTarget = &fExif;
        } else if (std::memcmp(type, "xml ", 4) == 0 && !fHaveXmp) {
            fHaveXmp = true;
            fTarget = &fXmp;
        } else {
            return B_OK;
        }
        uint64_t stored = 0;
        JxlDecoderGetBoxSizeRaw(decoder, &stored);
        if (status_t status = CheckMetadataSize(stored, "bloc de métadonnées JPEG XL");
            status != B_OK) {
            return status;
        }
        fTarget->resize(std::max(size_t(stored), kFirstBoxBuffer));
        return Give(decoder, 0);
    }

    // The box is larger than its buffer (a compressed box says nothing of its size).
    status_t Grow(JxlDecoder* decoder) {
        if (fTarget == nullptr) {
            return Fail(B_BAD_DATA, "fichier JPEG XL invalide");
        }
        const size_t written = fTarget->size() - JxlDecoderReleaseBoxBuffer(decoder);
        if (status_t status =
                CheckMetadataSize(uint64(fTarget->size()) + 1, "bloc de métadonnées JPEG XL");
            status != B_OK) {
            return status;
        }
        fTarget->resize(std::min<uint64>(uint64(fTarget->size()) * 2, kMaxMetadataBytes));
        return Give(decoder, written);
    }

    // The box being taken is complete.
    void Finish(JxlDecoder* decoder) {
        if (fTarget != nullptr) {
            fTarget->resize(fTarget->size() - JxlDecoderReleaseBoxBuffer(decoder));
            fTarget = nullptr;
        }
    }

    // The file ended in the middle of the box being taken: what came is no block.
    void Abandon() {
        if (fTarget != nullptr) {
            fTarget->clear();
            fTarget = nullptr;
        }
    }

    void Deliver(PictureMetadata* metadata) {
        metadata->exif = ExifFromPayload(fExif.data(), fExif.size());
        metadata->xmp = std::move(fXmp);
    }

private:
    status_t Give(JxlDecoder* decoder, size_t from) {
        if (JxlDecoderSetBoxBuffer(decoder, fTarget->data() + from, fTarget->size() - from) !=
            JXL_DEC_SUCCESS) {
            return Fail(B_ERROR, "décodeur JPEG XL dans un état inattendu");
        }
        return B_OK;
    }

    std::vector<uint8> fExif;
    std::vector<uint8> fXmp;
    std::vector<uint8>* fTarget = nullptr;
    bool fHaveExif = false;
    bool fHaveXmp = false;
};

// What a first reading of the file, without decoding any pixel, tells: the header, the
// colours, the metadata boxes wherever they are, and how many frames there are.
struct Scan {
    JxlBasicInfo basic{};
    PictureMetadata metadata;
    uint32 frames = 0;
    bool truncated = false;
    // Whether the data of the last frame counted was all there: a frame is known complete
    // once the next frame, a box after the codestream or the end was reached.
    bool lastFrameComplete = true;
};

status_t ScanFile(BPositionIO& source, bool upright, void* runner, Scan* scan) {
    InputFeeder feeder(source);
    DecoderPtr owner(JxlDecoderCreate(nullptr));
    if (!owner) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image JPEG XL");
    }
    JxlDecoder* decoder = owner.get();
    if (status_t status = SetUp(
            decoder, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME | JXL_DEC_BOX,
            upright, runner);
        status != B_OK) {
        return status;
    }
    // Without Brotli in libjxl compressed boxes stay compressed, and are then not ours.
    JxlDecoderSetDecompressBoxes(decoder, JXL_TRUE);
    BoxCollector boxes;
    bool haveInfo = false;
    if (status_t status = feeder.Refill(decoder); status != B_OK) {
        return status;
    }
    for (;;) {
        const JxlDecoderStatus event = JxlDecoderProcessInput(decoder);
        status_t status = B_OK;
        switch (event) {
            case JXL_DEC_NEED_MORE_INPUT:
            case JXL_DEC_ERROR:
                if (!feeder.Ended()) {
                    if (event == JXL_DEC_ERROR) {
                        return Fail(B_BAD_DATA, "fichier JPEG XL corrompu");
                    }
                    status = feeder.Refill(decoder);
                    break;
                }
                // The whole file was read and the decoder wanted more: it ends early.
                if (scan->frames == 0) {
                    return Fail(B_BAD_DATA, "fichier JPEG XL tronqué");
                }
                boxes.Abandon();
                boxes.Deliver(&scan->metadata);
                scan->truncated = true;
                return B_OK;
            case JXL_DEC_BASIC_INFO:
                if (JxlDecoderGetBasicInfo(decoder, &scan->basic) != JXL_DEC_SUCCESS) {
                    return Fail(B_BAD_DATA, "en-tête JPEG XL illisible");
                }
                haveInfo = true;
                status = CheckImageSize(scan->basic.xsize, scan->basic.ysize);
                break;
            case JXL_DEC_COLOR_ENCODING:
                status = SelectColors(decoder, scan->basic, &scan->metadata.color);
                break;
            case JXL_DEC_FRAME:
                if (++scan->frames > kMaxFrames) {
                    return Fail(B_NO_MEMORY, "animation JPEG XL de plus de " +
                                                 std::to_string(kMaxFrames) + " images");
                }
                scan->lastFrameComplete = false;
                break;
            case JXL_DEC_BOX:
                // A box other than a piece of the codestream comes after the frames' data.
                if (JxlBoxType type;
                    JxlDecoderGetBoxType(decoder, type, JXL_FALSE) == JXL_DEC_SUCCESS &&
                    std::memcmp(type, "jxlp", 4) != 0 && std::memcmp(type, "jxlc", 4) != 0) {
                    scan->lastFrameComplete = true;
                }
                status = boxes.Next(decoder);
                break;
            case JXL_DEC_BOX_NEED_MORE_OUTPUT:
                status = boxes.Grow(decoder);
                break;
            case JXL_DEC_SUCCESS:
                scan->lastFrameComplete = true;
                boxes.Finish(decoder);
                boxes.Deliver(&scan->metadata);
                if (!haveInfo || scan->frames == 0) {
                    return Fail(B_BAD_DATA, "fichier JPEG XL sans image");
                }
                return B_OK;
            default:
                // Nothing else was asked for; answering it would need a buffer we never
                // give, and asking again would loop.
                return Fail(B_BAD_DATA, "fichier JPEG XL d'un genre inattendu");
        }
        if (status != B_OK) {
            return status;
        }
    }
}

class JXLReader final : public PictureReader {
public:
    JXLReader(BPositionIO& source, bool upright)
        : fSource(source), fFeeder(source), fUpright(upright) {}

    status_t Open();
    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override;

private:
    status_t Ended(std::unique_ptr<BBitmap> bitmap, std::unique_ptr<BBitmap>* frame);

    BPositionIO& fSource;
    // Declared before the decoder, which points into both until it is destroyed.
    InputFeeder fFeeder;
    JxlRunnerPtr fRunner;
    RowTarget fTarget;
    DecoderPtr fDecoder;
    bool fUpright;
    JxlBasicInfo fBasic{};
    JxlPixelFormat fFormat{};
    // A frame the file ends in the middle of, which the decoder may render in part.
    bool fPartialLast = false;
    uint32 fFramesRead = 0;
};

status_t JXLReader::Open() {
    fRunner = NewJxlRunner();
    if (!fRunner) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image JPEG XL");
    }
    Scan scan;
    if (status_t status = ScanFile(fSource, fUpright, fRunner.get(), &scan); status != B_OK) {
        return status;
    }
    fBasic = scan.basic;
    fInfo.metadata = std::move(scan.metadata);
    fInfo.width = fBasic.xsize;
    fInfo.height = fBasic.ysize;
    fInfo.alpha = fBasic.alpha_bits != 0;
    fInfo.orientationApplied = fUpright;
    fInfo.frameCount = scan.frames;
    fInfo.loopCount =
        fBasic.have_animation ? int32(std::min<uint32>(fBasic.animation.num_loops, INT32_MAX)) : 0;
    if (scan.truncated) {
        // An animation keeps its whole frames only; a still picture what can be shown of it.
        if (!scan.lastFrameComplete && scan.frames > 1) {
            fInfo.frameCount--;
        }
        fPartialLast = !scan.lastFrameComplete && scan.frames == 1;
        if (fPartialLast) {
            ReportDamage("fichier tronqué : une partie de l'image manque");
        } else if (fBasic.have_animation) {
            ReportDamage("fichier tronqué : l'animation s'arrête après " +
                         std::to_string(fInfo.frameCount) + " images");
        } else {
            ReportDamage("fichier tronqué : la fin des métadonnées manque");
        }
    }

    fDecoder.reset(JxlDecoderCreate(nullptr));
    if (!fDecoder) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image JPEG XL");
    }
    if (status_t status =
            SetUp(fDecoder.get(), JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME | JXL_DEC_FULL_IMAGE,
                  fUpright, fRunner.get());
        status != B_OK) {
        return status;
    }
    const bool grey = fBasic.num_color_channels == 1;
    fFormat = {(grey ? 1u : 3u) + (fInfo.alpha ? 1u : 0u), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    return fFeeder.Refill(fDecoder.get());
}

// The file gave out before the frame's end: the part decoded so far, for the frame known
// to be cut short, or a failure.
status_t JXLReader::Ended(std::unique_ptr<BBitmap> bitmap, std::unique_ptr<BBitmap>* frame) {
    if (fPartialLast && fFramesRead + 1 == fInfo.frameCount &&
        JxlDecoderFlushImage(fDecoder.get()) == JXL_DEC_SUCCESS) {
        fFramesRead++;
        *frame = std::move(bitmap);
        return B_OK;
    }
    return Fail(B_BAD_DATA, "fichier JPEG XL tronqué");
}

status_t JXLReader::ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) {
    if (fFramesRead >= fInfo.frameCount) {
        return Fail(B_ERROR, "plus d'image dans ce fichier");
    }
    std::unique_ptr<BBitmap> bitmap;
    if (status_t status = NewImage(fInfo.width, fInfo.height, fInfo.alpha, &bitmap);
        status != B_OK) {
        return status;
    }
    fTarget = {static_cast<uint8*>(bitmap->Bits()), size_t(bitmap->BytesPerRow()), fInfo.width,
               fInfo.height, fFormat.num_channels};
    *timing = FrameTiming{};
    JxlDecoder* decoder = fDecoder.get();
    for (;;) {
        status_t status = B_OK;
        switch (JxlDecoderProcessInput(decoder)) {
            case JXL_DEC_NEED_MORE_INPUT:
                if (fFeeder.Ended()) {
                    return Ended(std::move(bitmap), frame);
                }
                status = fFeeder.Refill(decoder);
                break;
            case JXL_DEC_COLOR_ENCODING:
                status = SelectColors(decoder, fBasic, nullptr);
                break;
            case JXL_DEC_FRAME: {
                JxlFrameHeader header;
                if (fBasic.have_animation && fBasic.animation.tps_numerator != 0 &&
                    JxlDecoderGetFrameHeader(decoder, &header) == JXL_DEC_SUCCESS) {
                    const double ms = std::round(double(header.duration) * 1000.0 *
                                                 fBasic.animation.tps_denominator /
                                                 fBasic.animation.tps_numerator);
                    timing->delayMs = uint32(std::min(ms, double(UINT32_MAX)));
                }
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                if (JxlDecoderSetImageOutCallback(decoder, &fFormat, WriteStripe, &fTarget) !=
                    JXL_DEC_SUCCESS) {
                    return Fail(B_BAD_DATA, "fichier JPEG XL invalide");
                }
                break;
            case JXL_DEC_FULL_IMAGE:
                fFramesRead++;
                *frame = std::move(bitmap);
                return B_OK;
            case JXL_DEC_SUCCESS:
                return Fail(B_BAD_DATA, "plus d'image dans ce fichier JPEG XL");
            case JXL_DEC_ERROR:
                if (fFeeder.Ended()) {
                    return Ended(std::move(bitmap), frame);
                }
                return Fail(B_BAD_DATA, "fichier JPEG XL corrompu");
            default:
                return Fail(B_BAD_DATA, "fichier JPEG XL d'un genre inattendu");
        }
        if (status != B_OK) {
            return status;
        }
    }
}

}  // namespace

status_t OpenJXLReader(BPositionIO& source, bool upright, std::unique_ptr<PictureReader>* reader) {
    return OpenPictureReader<JXLReader>(reader, source, upright);
}

}  // namespace orv
