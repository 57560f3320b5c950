// SPDX-License-Identifier: MIT
#include "translators/avif/AVIFWriter.h"

#include <avif/avif.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/translation/ColorManagement.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CodecThreads.h"

namespace orv {

namespace {

using EncoderPtr = std::unique_ptr<avifEncoder, FreeWith<avifEncoderDestroy>>;
using ImagePtr = std::unique_ptr<avifImage, FreeWith<avifImageDestroy>>;

// Sequences count time in milliseconds, as every animation we read states its delays.
constexpr uint64 kTimescale = 1000;

// A keyframe every so many frames of a sequence, so that a player can start or seek
// without decoding from the first frame; each costs a few percent of the file.
constexpr int kKeyframeInterval = 60;

// The encoded file is built in memory by libavif and freed with it.
struct OutputData {
    avifRWData data = AVIF_DATA_EMPTY;
    ~OutputData() { avifRWDataFree(&data); }
};

avifPixelFormat PixelFormat(const AVIFEncoding& encoding) {
    // Lossless AV1 keeps every sample only with full chroma.
    if (encoding.lossless) {
        return AVIF_PIXEL_FORMAT_YUV444;
    }
    switch (encoding.subsampling) {
        case 444:
            return AVIF_PIXEL_FORMAT_YUV444;
        case 422:
            return AVIF_PIXEL_FORMAT_YUV422;
        default:
            return AVIF_PIXEL_FORMAT_YUV420;
    }
}

// Quality 100 is quantizer 0, the finest; quality 0 the coarsest, 63.
int Quantizer(const AVIFEncoding& encoding) {
    if (encoding.lossless) {
        return AVIF_QUANTIZER_LOSSLESS;
    }
    return (int(100 - encoding.quality) * AVIF_QUANTIZER_WORST_QUALITY + 50) / 100;
}

status_t FailEncode(avifResult result, const avifEncoder& encoder) {
    const char* detail =
        encoder.diag.error[0] != '\0' ? encoder.diag.error : avifResultToString(result);
    return Fail(B_ERROR, std::string("l'encodeur AV1 a échoué (libavif : ") + detail + ")");
}

class AVIFWriter final : public PictureWriter {
public:
    AVIFWriter(BPositionIO& destination, const AVIFEncoding& encoding)
        : fDestination(destination), fEncoding(encoding) {}

    status_t Begin(const PictureInfo& info) override;
    status_t WriteFrame(const BBitmap& frame, const FrameTiming& timing) override;
    status_t Finish() override;

private:
    status_t MakePicture(const BBitmap& frame, ImagePtr* picture) const;

    BPositionIO& fDestination;
    AVIFEncoding fEncoding;
    PictureInfo fInfo;
    EncoderPtr fEncoder;
    // The colour description every frame carries: a profile, or CICP code points.
    std::vector<uint8> fProfile;
    avifColorPrimaries fPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    avifTransferCharacteristics fTransfer = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    bool fAlpha = false;
    uint32 fFrames = 0;
};

status_t AVIFWriter::Begin(const PictureInfo& info) {
    fInfo = info;
    fEncoder.reset(avifEncoderCreate());
    if (!fEncoder) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image AVIF");
    }
    avifEncoder* encoder = fEncoder.get();
    encoder->maxThreads = CodecThreadCount();
    encoder->speed = fEncoding.speed;
    const int quantizer = Quantizer(fEncoding);
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = quantizer;
    encoder->timescale = kTimescale;
    encoder->keyframeInterval = info.frameCount > 1 ? kKeyframeInterval : 0;

    // CICP code points go into the file as they are; anything else is told by a profile:
    // the picture's own, or one made from its gamma and primaries. Without either the
    // picture is sRGB.
    const ColorDescription& color = info.metadata.color;
    if (color.icc.empty() && color.HasCicp()) {
        fPrimaries = avifColorPrimaries(color.primaries != 0 ? int(color.primaries)
                                                             : AVIF_COLOR_PRIMARIES_UNSPECIFIED);
        fTransfer = avifTransferCharacteristics(
            color.transfer != 0 ? int(color.transfer) : AVIF_TRANSFER_CHARACTERISTICS_UNSPECIFIED);
    } else if (fProfile = ProfileBytes(color); !fProfile.empty()) {
        fPrimaries = AVIF_COLOR_PRIMARIES_UNSPECIFIED;
        fTransfer = AVIF_TRANSFER_CHARACTERISTICS_UNSPECIFIED;
    }
    return B_OK;
}

// A libavif picture of the frame's pixels with the file's description; the first frame
// also carries the metadata, which libavif takes from it.
status_t AVIFWriter::MakePicture(const BBitmap& frame, ImagePtr* picture) const {
    const uint32 width = frame.PixelWidth();
    const uint32 height = frame.PixelHeight();
    ImagePtr image(avifImageCreate(width, height, 8, PixelFormat(fEncoding)));
    if (!image) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image AVIF");
    }
    image->yuvRange = AVIF_RANGE_FULL;
    image->colorPrimaries = fPrimaries;
    image->transferCharacteristics = fTransfer;
    // Lossless keeps the RGB values themselves with the identity matrix.
    image->matrixCoefficients =
        fEncoding.lossless ? AVIF_MATRIX_COEFFICIENTS_IDENTITY : AVIF_MATRIX_COEFFICIENTS_BT601;
    if (!fProfile.empty()) {
        avifImageSetProfileICC(image.get(), fProfile.data(), fProfile.size());
    }
    if (fFrames == 0) {
        const PictureMetadata& metadata = fInfo.metadata;
        // libavif also turns the EXIF orientation into irot and imir, so that the file
        // shows as the picture it was given would.
        if (!metadata.exif.empty()) {
            avifImageSetMetadataExif(image.get(), metadata.exif.data(), metadata.exif.size());
        }
        if (!metadata.xmp.empty()) {
            avifImageSetMetadataXMP(image.get(), metadata.xmp.data(), metadata.xmp.size());
        }
    }

    const bool frameAlpha = fAlpha && frame.ColorSpace() == B_RGBA32;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.depth = 8;
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    // libavif only reads these pixels; its struct has no const pointer.
    rgb.pixels = const_cast<uint8*>(static_cast<const uint8*>(frame.Bits()));
    rgb.rowBytes = uint32(frame.BytesPerRow());
    rgb.ignoreAlpha = !frameAlpha;
    if (avifResult result = avifImageRGBToYUV(image.get(), &rgb); result != AVIF_RESULT_OK) {
        return Fail(B_ERROR, std::string("conversion des couleurs pour l'AVIF impossible (") +
                                 avifResultToString(result) + ")");
    }
    // Every frame of a sequence with alpha must have it: an opaque one gets it opaque.
    if (fAlpha && !frameAlpha) {
        if (avifImageAllocatePlanes(image.get(), AVIF_PLANES_A) != AVIF_RESULT_OK) {
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image AVIF");
        }
        for (uint32 y = 0; y < height; y++) {
            std::memset(image->alphaPlane + size_t(y) * image->alphaRowBytes, 255, width);
        }
    }
    *picture = std::move(image);
    return B_OK;
}

status_t AVIFWriter::WriteFrame(const BBitmap& frame, const FrameTiming& timing) {
    if (!fEncoder) {
        return Fail(B_NOT_ALLOWED, "écriture AVIF non commencée");
    }
    if ((frame.ColorSpace() != B_RGB32 && frame.ColorSpace() != B_RGBA32) ||
        frame.Bits() == nullptr) {
        return Fail(B_BAD_TYPE, "espace de couleurs non pris en charge par l'encodeur AVIF");
    }
    if (frame.PixelWidth() != fInfo.width || frame.PixelHeight() != fInfo.height) {
        return Fail(B_BAD_VALUE, "image de taille différente du reste de l'animation");
    }
    const bool sequence = fInfo.frameCount > 1;
    if (fFrames == 0) {
        // An opaque picture gets no alpha plane; a sequence decides for all its frames.
        fAlpha = sequence ? fInfo.alpha || HasTransparency(frame) : HasTransparency(frame);
    }
    ImagePtr picture;
    if (status_t status = MakePicture(frame, &picture); status != B_OK) {
        return status;
    }
    // A frame shows for one tick at least: a duration of zero means nothing to a player.
    const uint64 duration = std::max<uint64>(timing.delayMs, 1);
    const avifAddImageFlags flags =
        sequence ? AVIF_ADD_IMAGE_FLAG_NONE : AVIF_ADD_IMAGE_FLAG_SINGLE;
    if (avifResult result = avifEncoderAddImage(fEncoder.get(), picture.get(), duration, flags);
        result != AVIF_RESULT_OK) {
        return FailEncode(result, *fEncoder);
    }
    fFrames++;
    return B_OK;
}

status_t AVIFWriter::Finish() {
    if (!fEncoder || fFrames == 0) {
        return Fail(B_ERROR, "aucune image à écrire");
    }
    OutputData output;
    if (avifResult result = avifEncoderFinish(fEncoder.get(), &output.data);
        result != AVIF_RESULT_OK) {
        return FailEncode(result, *fEncoder);
    }
    if (fDestination.WriteExactly(output.data.data, output.data.size) != B_OK) {
        return Fail(B_IO_ERROR, "écriture du fichier AVIF impossible");
    }
    return B_OK;
}

}  // namespace

status_t OpenAVIFWriter(BPositionIO& destination, const AVIFEncoding& encoding,
                        std::unique_ptr<PictureWriter>* writer) {
    *writer = std::make_unique<AVIFWriter>(destination, encoding);
    return B_OK;
}

}  // namespace orv
