// SPDX-License-Identifier: MIT
#include "translators/webp/WebPReader.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"

namespace orv {

namespace {

constexpr size_t kRiffHeaderSize = 12;
constexpr size_t kChunkHeaderSize = 8;

using DemuxPtr = std::unique_ptr<WebPDemuxer, FreeWith<WebPDemuxDelete>>;
using AnimDecoderPtr = std::unique_ptr<WebPAnimDecoder, FreeWith<WebPAnimDecoderDelete>>;

bool IsWebP(const uint8* header) {
    return std::memcmp(header, "RIFF", 4) == 0 && std::memcmp(header + 8, "WEBP", 4) == 0;
}

status_t StatusFailure(VP8StatusCode code) {
    switch (code) {
        case VP8_STATUS_NOT_ENOUGH_DATA:
        case VP8_STATUS_SUSPENDED:
            return Fail(B_BAD_DATA, "fichier WebP tronqué");
        case VP8_STATUS_OUT_OF_MEMORY:
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire le WebP");
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return Fail(B_BAD_DATA, "variante de WebP non prise en charge");
        default:
            return Fail(B_BAD_DATA, "fichier WebP endommagé");
    }
}

// libwebp decodes from memory. The file is read once, up to the end its RIFF header gives
// (bytes after it belong to no picture): a header that promises more than the stream holds
// is a truncated file, found before any large allocation.
status_t ReadFileBytes(BPositionIO& source, std::vector<uint8>* data) {
    uint8 header[kRiffHeaderSize];
    if (source.ReadAt(0, header, sizeof(header)) != ssize_t(sizeof(header)) || !IsWebP(header)) {
        return Fail(B_BAD_DATA, "fichier WebP tronqué ou illisible");
    }
    // The RIFF size counts what follows its own eight bytes of tag and size.
    const uint64 declared = uint64(ReadLE32(header + 4)) + kChunkHeaderSize;
    const off_t end = source.Seek(0, SEEK_FROM_END);
    if (end < 0) {
        return Fail(B_IO_ERROR, "lecture du WebP impossible");
    }
    if (uint64(end) < declared) {
        return Fail(B_BAD_DATA, "fichier WebP tronqué");
    }
    data->resize(size_t(declared));
    if (source.ReadAtExactly(0, data->data(), data->size()) != B_OK) {
        return Fail(B_IO_ERROR, "lecture du WebP impossible");
    }
    return B_OK;
}

// A copy of a chunk the file holds, after the bound on everything but pixels.
status_t CopyChunk(const WebPDemuxer* demux, const char* fourcc, const char* what,
                   std::vector<uint8>* out) {
    WebPChunkIterator chunk;
    if (!WebPDemuxGetChunk(demux, fourcc, 1, &chunk)) {
        return B_OK;
    }
    const status_t status = CheckMetadataSize(chunk.chunk.size, what);
    if (status == B_OK) {
        out->assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    }
    WebPDemuxReleaseChunkIterator(&chunk);
    return status;
}

status_t ReadMetadata(const WebPDemuxer* demux, PictureMetadata* metadata) {
    status_t status = CopyChunk(demux, "ICCP", "profil ICC", &metadata->color.icc);
    if (status == B_OK) {
        status = CopyChunk(demux, "EXIF", "bloc EXIF", &metadata->exif);
    }
    if (status == B_OK) {
        status = CopyChunk(demux, "XMP ", "bloc XMP", &metadata->xmp);
    }
    // Some writers keep JPEG's "Exif\0\0" before the TIFF structure.
    constexpr uint8 kExifPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<uint8>& exif = metadata->exif;
    if (exif.size() >= sizeof(kExifPrefix) &&
        std::memcmp(exif.data(), kExifPrefix, sizeof(kExifPrefix)) == 0) {
        exif.erase(exif.begin(), exif.begin() + sizeof(kExifPrefix));
    }
    return status;
}

// Canvas rows of BGRA into the bitmap; a picture without alpha is made opaque where no
// frame has painted yet.
void CopyCanvas(const uint8* canvas, BBitmap* bitmap) {
    const uint32 width = bitmap->PixelWidth();
    const size_t rowSize = size_t(width) * 4;
    const bool opaque = bitmap->ColorSpace() != B_RGBA32;
    auto* bits = static_cast<uint8*>(bitmap->Bits());
    for (uint32 y = 0; y < bitmap->PixelHeight(); y++) {
        uint8* row = bits + size_t(y) * size_t(bitmap->BytesPerRow());
        std::memcpy(row, canvas + y * rowSize, rowSize);
        for (uint32 x = 0; opaque && x < width; x++) {
            row[x * 4 + 3] = 255;
        }
    }
}

// Decodes a still picture straight into the bitmap.
VP8StatusCode DecodeInto(const std::vector<uint8>& data, bool threads, BBitmap* bitmap) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        return VP8_STATUS_INVALID_PARAM;
    }
    config.options.use_threads = threads ? 1 : 0;
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = static_cast<uint8*>(bitmap->Bits());
    config.output.u.RGBA.stride = bitmap->BytesPerRow();
    config.output.u.RGBA.size = size_t(bitmap->BitsLength());
    const VP8StatusCode code = WebPDecode(data.data(), data.size(), &config);
    WebPFreeDecBuffer(&config.output);
    return code;
}

class WebPReader final : public PictureReader {
public:
    explicit WebPReader(const WebPReadOptions& options) : fOptions(options) {}

    status_t Open(BPositionIO& source);
    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override;

private:
    status_t OpenStill();
    status_t OpenAnimation(DemuxPtr demux);
    status_t DecodeStill(BBitmap* bitmap);
    status_t DecodeNextFrame(BBitmap* bitmap);
    status_t Upright(std::unique_ptr<BBitmap>* frame) const;

    WebPReadOptions fOptions;
    std::vector<uint8> fData;
    bool fAnimation = false;
    uint32 fWidth = 0;  // the pixels as stored, before any orientation is applied
    uint32 fHeight = 0;
    int fOrientation = 1;
    uint32 fFramesRead = 0;
    DemuxPtr fDemux;  // an animation's frames, for their durations
    AnimDecoderPtr fDecoder;
};

status_t WebPReader::Open(BPositionIO& source) {
    if (status_t status = ReadFileBytes(source, &fData); status != B_OK) {
        return status;
    }
    const WebPData whole{fData.data(), fData.size()};
    DemuxPtr demux(WebPDemux(&whole));
    if (demux == nullptr) {
        return Fail(B_BAD_DATA, "fichier WebP endommagé");
    }
    fAnimation = (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG) != 0;
    if (status_t status = ReadMetadata(demux.get(), &fInfo.metadata); status != B_OK) {
        return status;
    }
    const std::vector<uint8>& exif = fInfo.metadata.exif;
    if (fOptions.applyOrientation && !exif.empty()) {
        fOrientation = ExifOrientation(exif.data(), exif.size());
    }
    status_t status = fAnimation ? OpenAnimation(std::move(demux)) : OpenStill();
    if (status != B_OK) {
        return status;
    }
    const bool turned = fOrientation >= 5 && fOrientation <= 8;
    fInfo.width = turned ? fHeight : fWidth;
    fInfo.height = turned ? fWidth : fHeight;
    fInfo.orientationApplied = fOrientation >= 2 && fOrientation <= 8;
    return B_OK;
}

status_t WebPReader::OpenStill() {
    WebPBitstreamFeatures features;
    if (VP8StatusCode code = WebPGetFeatures(fData.data(), fData.size(), &features);
        code != VP8_STATUS_OK) {
        return StatusFailure(code);
    }
    fWidth = uint32(features.width);
    fHeight = uint32(features.height);
    fInfo.alpha = features.has_alpha != 0;
    return CheckImageSize(fWidth, fHeight);
}

status_t WebPReader::OpenAnimation(DemuxPtr demux) {
    fWidth = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    fHeight = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    fInfo.frameCount = WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT);
    fInfo.loopCount = int32(WebPDemuxGetI(demux.get(), WEBP_FF_LOOP_COUNT));
    fInfo.alpha = (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ALPHA_FLAG) != 0;
    fDemux = std::move(demux);
    // The decoder keeps two canvases, and every frame is one: all of them must fit the one
    // pixel limit before the first is decoded.
    if (status_t status = CheckImageSize(fWidth, fHeight); status != B_OK) {
        return status;
    }
    return CheckSequenceSize(fWidth, fHeight, fInfo.frameCount);
}

status_t WebPReader::ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) {
    frame->reset();
    *timing = FrameTiming{};
    if (fFramesRead >= fInfo.frameCount) {
        return Fail(B_ERROR, "plus d'image dans ce fichier");
    }
    std::unique_ptr<BBitmap> bitmap;
    if (status_t status = NewImage(fWidth, fHeight, fInfo.alpha, &bitmap); status != B_OK) {
        return status;
    }
    status_t status = fAnimation ? DecodeNextFrame(bitmap.get()) : DecodeStill(bitmap.get());
    if (status != B_OK) {
        return status;
    }
    if (fAnimation) {
        WebPIterator iterator;
        if (WebPDemuxGetFrame(fDemux.get(), int(fFramesRead) + 1, &iterator)) {
            timing->delayMs = uint32(iterator.duration);
            WebPDemuxReleaseIterator(&iterator);
        }
    }
    fFramesRead++;
    if (status = Upright(&bitmap); status != B_OK) {
        return status;
    }
    *frame = std::move(bitmap);
    return B_OK;
}

status_t WebPReader::Upright(std::unique_ptr<BBitmap>* frame) const {
    return fOrientation == 1 ? B_OK : ApplyOrientation(fOrientation, frame);
}

status_t WebPReader::DecodeStill(BBitmap* bitmap) {
    const VP8StatusCode code = DecodeInto(fData, fOptions.threads, bitmap);
    if (code == VP8_STATUS_INVALID_PARAM) {
        return Fail(B_ERROR, "version de libwebp incompatible");
    }
    return code == VP8_STATUS_OK ? B_OK : StatusFailure(code);
}

status_t WebPReader::DecodeNextFrame(BBitmap* bitmap) {
    if (fDecoder == nullptr) {
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options)) {
            return Fail(B_ERROR, "version de libwebp incompatible");
        }
        options.color_mode = MODE_BGRA;
        options.use_threads = fOptions.threads ? 1 : 0;
        const WebPData data{fData.data(), fData.size()};
        fDecoder.reset(WebPAnimDecoderNew(&data, &options));
        if (fDecoder == nullptr) {
            return Fail(B_BAD_DATA, "animation WebP endommagée");
        }
    }
    uint8* canvas = nullptr;
    int timestamp = 0;
    if (WebPAnimDecoderGetNext(fDecoder.get(), &canvas, &timestamp)) {
        CopyCanvas(canvas, bitmap);
        return B_OK;
    }
    return Fail(B_BAD_DATA, "animation WebP endommagée");
}

}  // namespace

status_t OpenWebPReader(BPositionIO& source, const WebPReadOptions& options,
                        std::unique_ptr<PictureReader>* reader) {
    reader->reset();
    auto webp = std::make_unique<WebPReader>(options);
    if (status_t status = webp->Open(source); status != B_OK) {
        return status;
    }
    *reader = std::move(webp);
    return B_OK;
}

}  // namespace orv
