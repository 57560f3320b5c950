// SPDX-License-Identifier: MIT
#include "translators/avif/AVIFReader.h"

#include <avif/avif.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/Cicp.h"
#include "translators/common/CodecThreads.h"
#include "translators/common/ExifPayload.h"

namespace orv {

namespace {

// libavif keeps a record of every sample of a sequence (a few dozen bytes each) from the
// moment it opens the file. This many frames, over two hours at 30 a second, keep that
// record within the bound on what a file may make us allocate beside its pixels.
constexpr uint32 kMaxFrames = uint32(kMaxMetadataBytes / 64);

using DecoderPtr = std::unique_ptr<avifDecoder, FreeWith<avifDecoderDestroy>>;
using ImagePtr = std::unique_ptr<avifImage, FreeWith<avifImageDestroy>>;

// A French reason for each way libavif refuses a file, with libavif's own words after it.
status_t FailDecode(avifResult result, const avifDecoder& decoder) {
    status_t status = B_BAD_DATA;
    const char* reason = "structure AVIF invalide";
    switch (result) {
        case AVIF_RESULT_TRUNCATED_DATA:
        case AVIF_RESULT_IO_ERROR:
            reason = "fichier AVIF tronqué";
            break;
        case AVIF_RESULT_NO_CODEC_AVAILABLE:
            status = B_NOT_ALLOWED;
            reason = "aucun décodeur AV1 n'est installé";
            break;
        case AVIF_RESULT_OUT_OF_MEMORY:
            status = B_NO_MEMORY;
            reason = "mémoire insuffisante pour décoder l'image AVIF";
            break;
        case AVIF_RESULT_UNSUPPORTED_DEPTH:
            reason = "profondeur de couleur AVIF non prise en charge";
            break;
        case AVIF_RESULT_DECODE_COLOR_FAILED:
        case AVIF_RESULT_DECODE_ALPHA_FAILED:
            reason = "données AV1 corrompues";
            break;
        case AVIF_RESULT_NOT_IMPLEMENTED:
            reason = "variante AVIF non prise en charge";
            break;
        default:
            break;
    }
    const char* detail =
        decoder.diag.error[0] != '\0' ? decoder.diag.error : avifResultToString(result);
    return Fail(status, std::string(reason) + " (libavif : " + detail + ")");
}

// Serves libavif's random reads from the stream. Each read is copied into one buffer that
// the next read reuses, so only the pieces of the file libavif asks for are held, and the
// decoder makes its own copies of what it keeps (persistent is false). A read is never
// longer than the file, so whatever size a box declares, libavif gets at most the bytes
// the file really holds.
class StreamReader {
public:
    explicit StreamReader(BPositionIO& source) : fSource(source) {
        fIO.read = &StreamReader::Read;
        fIO.data = this;
    }

    status_t Init() {
        off_t size = 0;
        if (fSource.GetSize(&size) != B_OK || size < 0) {
            return Fail(B_IO_ERROR, "taille du fichier AVIF illisible");
        }
        fSize = uint64(size);
        // The size lets libavif refuse an item or sample whose data would lie beyond the
        // file before it allocates room for it at the size the file declares; a file cut
        // short is then refused as it is opened.
        fIO.sizeHint = fSize;
        return B_OK;
    }

    avifIO* IO() { return &fIO; }
    uint64 Size() const { return fSize; }

private:
    static avifResult Read(avifIO* io, uint32_t readFlags, uint64_t offset, size_t size,
                           avifROData* out) {
        auto* self = static_cast<StreamReader*>(io->data);
        if (readFlags != 0 || offset > self->fSize) {
            return AVIF_RESULT_IO_ERROR;
        }
        size = size_t(std::min<uint64>(size, self->fSize - offset));
        self->fBuffer.resize(size);
        if (size > 0 &&
            self->fSource.ReadAtExactly(off_t(offset), self->fBuffer.data(), size) != B_OK) {
            return AVIF_RESULT_IO_ERROR;
        }
        out->data = self->fBuffer.data();
        out->size = size;
        return AVIF_RESULT_OK;
    }

    BPositionIO& fSource;
    avifIO fIO{};
    uint64 fSize = 0;
    std::vector<uint8> fBuffer;
};

// The EXIF orientation that turns a picture upright, for an irot angle (quarter turns
// anticlockwise) followed by an imir mirror: none, top-bottom (mode 0), left-right (mode 1).
constexpr int kOrientations[4][3] = {
    {1, 4, 2},
    {8, 5, 7},
    {3, 2, 4},
    {6, 7, 5},
};

int Orientation(const avifImage& image) {
    const int angle = (image.transformFlags & AVIF_TRANSFORM_IROT) ? image.irot.angle & 3 : 0;
    int mirror = 0;
    if (image.transformFlags & AVIF_TRANSFORM_IMIR) {
        mirror = image.imir.mode == 0 ? 1 : 2;
    }
    return kOrientations[angle][mirror];
}

// The clean aperture, when the picture has one that the standard allows: coded sizes are
// often rounded up, and the aperture says what to show. A crop it would not allow is
// ignored and the whole picture kept.
bool CleanAperture(const avifImage& image, avifCropRect* rect) {
    if (!(image.transformFlags & AVIF_TRANSFORM_CLAP)) {
        return false;
    }
    avifDiagnostics diagnostics;
    return avifCropRectConvertCleanApertureBox(rect, &image.clap, image.width, image.height,
                                               image.yuvFormat, &diagnostics) != AVIF_FALSE;
}

// How the pixel values are meant: the ICC profile, which says it all, or the CICP code
// points, which libavif takes from the nclx box or else from the AV1 stream.
ColorDescription ColorOf(const avifImage& image) {
    if (image.icc.size > 0) {
        ColorDescription color;
        color.icc.assign(image.icc.data, image.icc.data + image.icc.size);
        return color;
    }
    return CicpDescription(image.colorPrimaries, image.transferCharacteristics,
                           image.matrixCoefficients, image.yuvRange == AVIF_RANGE_FULL);
}

status_t ReadMetadata(const avifImage& image, PictureMetadata* metadata) {
    // libavif has read these whole, but never more than the file holds; a block beyond the
    // bound is refused all the same, as every decoder refuses it.
    if (status_t status = CheckMetadataSize(image.icc.size, "profil de couleurs AVIF");
        status != B_OK) {
        return status;
    }
    if (status_t status = CheckMetadataSize(image.exif.size, "bloc EXIF AVIF"); status != B_OK) {
        return status;
    }
    if (status_t status = CheckMetadataSize(image.xmp.size, "bloc XMP AVIF"); status != B_OK) {
        return status;
    }
    metadata->color = ColorOf(image);
    // libavif drops the item's offset field but keeps whatever lay between it and the TIFF
    // header ("Exif\0\0" from some writers).
    metadata->exif = TiffStructure(image.exif.data, image.exif.size);
    if (image.xmp.size > 0) {
        metadata->xmp.assign(image.xmp.data, image.xmp.data + image.xmp.size);
    }
    return B_OK;
}

// Whether frame `index`, and the frames it is predicted from, have all their data within
// the file's `size` bytes.
bool FrameInFile(const avifDecoder* decoder, uint32 index, uint64 size) {
    avifExtent extent;
    return avifDecoderNthImageMaxExtent(decoder, index, &extent) == AVIF_RESULT_OK &&
           extent.offset <= size && extent.size <= size - extent.offset;
}

// How many frames, from the first, can be decoded from a file of `size` bytes. A frame
// needs the data of the frames from the last keyframe up to it, so within a run from one
// keyframe to the next the complete frames come first: the last frame of each run is
// tried, and only the first incomplete run is searched, by halves.
uint32 CompleteFrames(const avifDecoder* decoder, uint64 size) {
    const uint32 count = uint32(decoder->imageCount);
    uint32 start = 0;
    for (uint32 index = 0; index < count; index++) {
        if (index + 1 < count && !avifDecoderIsKeyframe(decoder, index + 1)) {
            continue;
        }
        if (!FrameInFile(decoder, index, size)) {
            uint32 low = start;
            uint32 high = index;
            while (low < high) {
                const uint32 middle = low + (high - low) / 2;
                if (FrameInFile(decoder, middle, size)) {
                    low = middle + 1;
                } else {
                    high = middle;
                }
            }
            return low;
        }
        start = index + 1;
    }
    return count;
}

uint32 DelayMs(const avifImageTiming& timing) {
    if (timing.timescale == 0) {
        return 0;
    }
    const double ms =
        std::round(double(timing.durationInTimescales) * 1000.0 / double(timing.timescale));
    return uint32(std::min(ms, double(UINT32_MAX)));
}

// The decoded frame, cropped to its clean aperture, converted straight into a new bitmap.
status_t ToBitmap(const avifImage& decoded, std::unique_ptr<BBitmap>* image) {
    // The view points into the decoded planes, so the crop costs no copy.
    ImagePtr view(avifImageCreateEmpty());
    if (!view) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image AVIF");
    }
    const avifImage* frame = &decoded;
    avifCropRect rect;
    if (CleanAperture(decoded, &rect) &&
        avifImageSetViewRect(view.get(), &decoded, &rect) == AVIF_RESULT_OK) {
        frame = view.get();
    }
    std::unique_ptr<BBitmap> bitmap;
    if (status_t status =
            NewImage(frame->width, frame->height, frame->alphaPlane != nullptr, &bitmap);
        status != B_OK) {
        return status;
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, frame);
    rgb.depth = 8;
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.pixels = static_cast<uint8*>(bitmap->Bits());
    rgb.rowBytes = uint32(bitmap->BytesPerRow());
    if (avifResult result = avifImageYUVToRGB(frame, &rgb); result != AVIF_RESULT_OK) {
        return Fail(B_BAD_DATA, std::string("conversion des couleurs AVIF impossible (libavif : ") +
                                    avifResultToString(result) + ")");
    }
    *image = std::move(bitmap);
    return B_OK;
}

class AVIFReader final : public PictureReader {
public:
    AVIFReader(BPositionIO& source, bool upright) : fStream(source), fUpright(upright) {}

    status_t Open();
    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override;

private:
    // Declared before the decoder, which reads through it until it is destroyed.
    StreamReader fStream;
    DecoderPtr fDecoder;
    bool fUpright;
    int fOrientation = 1;
    uint32 fFramesRead = 0;
};

// Opens the container and learns everything but the pixels: sizes are checked before any
// frame is decoded.
status_t AVIFReader::Open() {
    if (status_t status = fStream.Init(); status != B_OK) {
        return status;
    }
    fDecoder.reset(avifDecoderCreate());
    if (!fDecoder) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image AVIF");
    }
    avifDecoder* decoder = fDecoder.get();
    decoder->maxThreads = CodecThreadCount();
    decoder->imageSizeLimit = uint32(kMaxImagePixels);
    decoder->imageDimensionLimit = uint32(kMaxImageSide);
    decoder->imageCountLimit = kMaxFrames;
    // Files from older writers miss properties the strict checks demand, though their
    // pictures are sound; browsers read them too.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    avifDecoderSetIO(decoder, fStream.IO());
    if (avifResult result = avifDecoderParse(decoder); result != AVIF_RESULT_OK) {
        return FailDecode(result, *decoder);
    }
    const avifImage& image = *decoder->image;
    if (status_t status = CheckImageSize(image.width, image.height); status != B_OK) {
        return status;
    }
    if (status_t status = ReadMetadata(image, &fInfo.metadata); status != B_OK) {
        return status;
    }
    uint32 width = image.width;
    uint32 height = image.height;
    if (avifCropRect rect; CleanAperture(image, &rect)) {
        width = rect.width;
        height = rect.height;
    }
    fOrientation = fUpright ? Orientation(image) : 1;
    if (fOrientation >= 5) {
        std::swap(width, height);
    }
    fInfo.width = width;
    fInfo.height = height;
    fInfo.alpha = decoder->alphaPresent != AVIF_FALSE;
    fInfo.orientationApplied = fUpright;
    // libavif 0.11 does not read a sequence's repetition count: sequences play for ever,
    // as browsers play them.
    fInfo.loopCount = 0;
    const uint32 count = uint32(std::max(decoder->imageCount, 1));
    fInfo.frameCount = count;
    // Only frames whose data lies within the file are decoded, whatever libavif let pass:
    // it would otherwise allocate a picture's data at the size its boxes declare.
    const uint32 complete = CompleteFrames(decoder, fStream.Size());
    if (complete == 0) {
        return Fail(B_BAD_DATA, count > 1 ? "fichier AVIF tronqué : aucune image complète"
                                          : "fichier AVIF tronqué");
    }
    if (complete < count) {
        fInfo.frameCount = complete;
        ReportDamage("fichier tronqué : " + std::to_string(count - complete) + " images sur " +
                     std::to_string(count) + " manquent");
    }
    return B_OK;
}

status_t AVIFReader::ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) {
    if (fFramesRead >= fInfo.frameCount) {
        return Fail(B_ERROR, "plus d'image dans ce fichier");
    }
    avifDecoder* decoder = fDecoder.get();
    if (avifResult result = avifDecoderNextImage(decoder); result != AVIF_RESULT_OK) {
        return FailDecode(result, *decoder);
    }
    std::unique_ptr<BBitmap> bitmap;
    if (status_t status = ToBitmap(*decoder->image, &bitmap); status != B_OK) {
        return status;
    }
    if (status_t status = ApplyOrientation(fOrientation, &bitmap); status != B_OK) {
        return status;
    }
    // The container's sizes are what the canvas was made of; an AV1 payload that says
    // otherwise would hand the caller frames of another size.
    if (bitmap->PixelWidth() != fInfo.width || bitmap->PixelHeight() != fInfo.height) {
        return Fail(B_BAD_DATA, "image AVIF dont la taille ne correspond pas à l'en-tête");
    }
    timing->delayMs = fInfo.frameCount > 1 ? DelayMs(decoder->imageTiming) : 0;
    fFramesRead++;
    *frame = std::move(bitmap);
    return B_OK;
}

}  // namespace

status_t OpenAVIFReader(BPositionIO& source, bool upright, std::unique_ptr<PictureReader>* reader) {
    return OpenPictureReader<AVIFReader>(reader, source, upright);
}

}  // namespace orv
