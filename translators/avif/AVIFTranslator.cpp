// SPDX-License-Identifier: MIT
#include "translators/avif/AVIFTranslator.h"

#include <avif/avif.h>

#include <algorithm>
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
    {FourCC("AVIF"), B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/avif", "Image AVIF"},
};

constexpr SettingChoice kSubsamplingChoices[] = {
    {420, "4:2:0"},
    {422, "4:2:2"},
    {444, "4:4:4 (couleurs complètes)"},
};

// Speed 9 encodes photographs about six times as fast as 7 (6.5 against 1 megapixel a
// second on two busy cores) for files 3 % larger at the same quality; libaom's default, 6,
// is slower still. 10 gives the same files as 9 with libaom.
constexpr SettingSchema kSettings[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité (100 : la meilleure)", 80, 0, 100},
    {"speed", SettingSchema::Kind::Int, "Vitesse d'encodage (0 : lente et compacte, 10 : rapide)",
     9, 0, 10},
    {"subsampling", SettingSchema::Kind::Choice, "Sous-échantillonnage des couleurs", 420, 0, 0,
     kSubsamplingChoices},
    kLosslessSetting,
    kOrientationSetting,
};

// The largest ftyp box we look at to identify a stream; real ones are a few dozen bytes.
constexpr size_t kMaxIdentifyBytes = 4096;

using DecoderPtr = std::unique_ptr<avifDecoder, FreeWith<avifDecoderDestroy>>;
using EncoderPtr = std::unique_ptr<avifEncoder, FreeWith<avifEncoderDestroy>>;
using ImagePtr = std::unique_ptr<avifImage, FreeWith<avifImageDestroy>>;

// The encoded file is built in memory by libavif and freed with it.
struct OutputData {
    avifRWData data = AVIF_DATA_EMPTY;
    ~OutputData() { avifRWDataFree(&data); }
};

int ThreadCount() {
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

const char* DescriptionInfo() {
    static const std::string info = [] {
        char codecs[256];
        avifCodecVersions(codecs);
        return std::string("Images AVIF, libavif ") + avifVersion() + " (" + codecs + ")";
    }();
    return info.c_str();
}

// Without an encoder the format is offered for reading only.
TranslatorDescription Description() {
    const std::span<const translation_format> outputs =
        AVIFTranslator::CanEncode() ? std::span(kFormats) : std::span<const translation_format>();
    return {"Images AVIF", DescriptionInfo(), 100, "avif", kFormats, outputs, kSettings};
}

// A French reason for each way libavif refuses a file.
status_t FailDecode(avifResult result) {
    switch (result) {
        case AVIF_RESULT_TRUNCATED_DATA:
        case AVIF_RESULT_IO_ERROR:
            return Fail(B_BAD_DATA, "fichier AVIF tronqué");
        case AVIF_RESULT_NO_CODEC_AVAILABLE:
            return Fail(B_NOT_ALLOWED, "aucun décodeur AV1 n'est installé");
        case AVIF_RESULT_OUT_OF_MEMORY:
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image AVIF");
        case AVIF_RESULT_UNSUPPORTED_DEPTH:
            return Fail(B_BAD_DATA, "profondeur de couleur AVIF non prise en charge");
        case AVIF_RESULT_DECODE_COLOR_FAILED:
        case AVIF_RESULT_DECODE_ALPHA_FAILED:
            return Fail(B_BAD_DATA, "données AV1 corrompues");
        case AVIF_RESULT_NOT_IMPLEMENTED:
            return Fail(B_BAD_DATA, "variante AVIF non prise en charge");
        default:
            return Fail(B_BAD_DATA, "structure AVIF invalide");
    }
}

// Serves libavif's random reads from the stream. Each read is copied into one buffer that
// the next read reuses, so only the pieces of the file libavif asks for are held, and the
// decoder makes its own copies of what it keeps (persistent is false).
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
        fIO.sizeHint = fSize;
        return B_OK;
    }

    avifIO* IO() { return &fIO; }

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

// Opens the container and checks the declared size before any pixel is decoded.
status_t ReadHeader(avifDecoder* decoder, StreamReader& reader) {
    decoder->maxThreads = ThreadCount();
    decoder->imageSizeLimit = uint32(kMaxImagePixels);
    decoder->imageDimensionLimit = uint32(kMaxImageSide);
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // Files from older writers miss properties the strict checks demand, though their
    // pictures are sound; browsers read them too.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    avifDecoderSetIO(decoder, reader.IO());
    if (avifResult result = avifDecoderParse(decoder); result != AVIF_RESULT_OK) {
        return FailDecode(result);
    }
    return CheckImageSize(decoder->image->width, decoder->image->height);
}

// Decodes the first frame and converts it straight into a new bitmap.
status_t ReadPixels(avifDecoder* decoder, std::unique_ptr<BBitmap>* image) {
    if (avifResult result = avifDecoderNextImage(decoder); result != AVIF_RESULT_OK) {
        return FailDecode(result);
    }
    const avifImage* frame = decoder->image;
    // A clean aperture crops the coded picture (coded sizes are often rounded up); the
    // view points into the decoded planes, so the crop costs no copy. A crop that the
    // standard would not allow is ignored and the whole picture kept.
    ImagePtr view(avifImageCreateEmpty());
    if (!view) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image AVIF");
    }
    if (frame->transformFlags & AVIF_TRANSFORM_CLAP) {
        avifCropRect rect;
        avifDiagnostics diagnostics;
        if (avifCropRectConvertCleanApertureBox(&rect, &frame->clap, frame->width, frame->height,
                                                frame->yuvFormat, &diagnostics) &&
            avifImageSetViewRect(view.get(), frame, &rect) == AVIF_RESULT_OK) {
            frame = view.get();
        }
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
        return FailDecode(result);
    }
    *image = std::move(bitmap);
    return B_OK;
}

avifPixelFormat PixelFormat(int32 subsampling) {
    switch (subsampling) {
        case 444:
            return AVIF_PIXEL_FORMAT_YUV444;
        case 422:
            return AVIF_PIXEL_FORMAT_YUV422;
        default:
            return AVIF_PIXEL_FORMAT_YUV420;
    }
}

// Quality 100 is quantizer 0, the finest; quality 0 the coarsest, 63.
int Quantizer(int32 quality) {
    return (int(100 - quality) * AVIF_QUANTIZER_WORST_QUALITY + 50) / 100;
}

}  // namespace

AVIFTranslator::AVIFTranslator() : ImageTranslator(Description()) {}

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

status_t AVIFTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    // The reader outlives the decoder, which points at it.
    StreamReader reader(source);
    if (status_t status = reader.Init(); status != B_OK) {
        return status;
    }
    DecoderPtr decoder(avifDecoderCreate());
    if (!decoder) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image AVIF");
    }
    if (status_t status = ReadHeader(decoder.get(), reader); status != B_OK) {
        return status;
    }
    std::unique_ptr<BBitmap> bitmap;
    if (status_t status = ReadPixels(decoder.get(), &bitmap); status != B_OK) {
        return status;
    }
    *image = std::move(bitmap);
    return ApplyOrientationSetting(Settings(), Orientation(*decoder->image), image);
}

status_t AVIFTranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                       BPositionIO& destination) {
    if (!CanEncode()) {
        return Fail(B_NO_TRANSLATOR, "ce traducteur ne sait pas écrire ce format");
    }
    if (status_t status = CheckEncodeRequest(image, outType, kFormats, "AVIF"); status != B_OK) {
        return status;
    }
    const uint32 width = image.PixelWidth();
    const uint32 height = image.PixelHeight();

    const bool lossless = Settings().Bool(kLosslessSetting.name);
    // Lossless AV1 keeps every sample only with full chroma and the identity matrix, which
    // stores the RGB values themselves.
    ImagePtr picture(avifImageCreate(
        width, height, 8,
        lossless ? AVIF_PIXEL_FORMAT_YUV444 : PixelFormat(Settings().Int32("subsampling"))));
    if (!picture) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image AVIF");
    }
    picture->yuvRange = AVIF_RANGE_FULL;
    picture->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    picture->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    picture->matrixCoefficients =
        lossless ? AVIF_MATRIX_COEFFICIENTS_IDENTITY : AVIF_MATRIX_COEFFICIENTS_BT601;

    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, picture.get());
    rgb.depth = 8;
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    // libavif only reads these pixels; its struct has no const pointer.
    rgb.pixels = const_cast<uint8*>(static_cast<const uint8*>(image.Bits()));
    rgb.rowBytes = uint32(image.BytesPerRow());
    // An opaque picture gets no alpha plane, whatever its colour space.
    rgb.ignoreAlpha = !HasTransparency(image);
    if (avifImageRGBToYUV(picture.get(), &rgb) != AVIF_RESULT_OK) {
        return Fail(B_ERROR, "conversion des couleurs pour l'AVIF impossible");
    }

    EncoderPtr encoder(avifEncoderCreate());
    if (!encoder) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image AVIF");
    }
    encoder->maxThreads = ThreadCount();
    encoder->speed = Settings().Int32("speed");
    const int quantizer =
        lossless ? AVIF_QUANTIZER_LOSSLESS : Quantizer(Settings().Int32("quality"));
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = quantizer;

    OutputData output;
    if (avifEncoderWrite(encoder.get(), picture.get(), &output.data) != AVIF_RESULT_OK) {
        return Fail(B_ERROR, "l'encodeur AV1 a échoué");
    }
    if (destination.WriteExactly(output.data.data, output.data.size) != B_OK) {
        return Fail(B_IO_ERROR, "écriture du fichier AVIF impossible");
    }
    return B_OK;
}

}  // namespace orv
