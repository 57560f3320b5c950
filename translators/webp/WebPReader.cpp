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
using IncrementalPtr = std::unique_ptr<WebPIDecoder, FreeWith<WebPIDelete>>;

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

// What is missing of a picture of which only `rows` rows out of `height` could be read.
std::string MissingRows(const char* what, uint32 rows, uint32 height) {
    const uint64 percent = (uint64(height - rows) * 100 + height / 2) / height;
    return std::string(what) + " : " +
           (percent == 0 ? std::string("moins de 1 %")
                         : "environ " + std::to_string(percent) + " %") +
           " de l'image manque";
}

// libwebp decodes from memory. The file is read once, up to the end its RIFF header gives
// (bytes after it belong to no picture); a stream that ends before is a truncated file, of
// which what is there is read.
status_t ReadFileBytes(BPositionIO& source, std::vector<uint8>* data, bool* truncated) {
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
    *truncated = uint64(end) < declared;
    data->resize(size_t(*truncated ? uint64(end) : declared));
    if (source.ReadAtExactly(0, data->data(), data->size()) != B_OK) {
        return Fail(B_IO_ERROR, "lecture du WebP impossible");
    }
    return B_OK;
}

// Cuts a truncated file after its last whole chunk and makes its RIFF header say so:
// libwebp's animation decoder reads only complete files, and an animation's frames are
// chunks of their own.
void KeepWholeChunks(std::vector<uint8>* data) {
    uint64 offset = kRiffHeaderSize;
    while (offset + kChunkHeaderSize <= data->size()) {
        const uint64 size = ReadLE32(data->data() + offset + 4);
        const uint64 end = offset + kChunkHeaderSize + size + (size & 1);
        // An odd chunk at the very end may lack only its padding byte.
        if (end > data->size() + (size & 1)) {
            break;
        }
        offset = end;
    }
    data->resize(size_t(offset));
    WriteLE32(data->data() + 4, uint32(offset - kChunkHeaderSize));
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

// Decodes a still picture straight into the bitmap, incrementally so that a file that ends
// early still gives the rows it holds (*rows of them).
VP8StatusCode DecodeRows(const std::vector<uint8>& data, bool threads, BBitmap* bitmap, int* rows) {
    *rows = 0;
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
    IncrementalPtr decoder(WebPIDecode(nullptr, 0, &config));
    if (decoder == nullptr) {
        return VP8_STATUS_OUT_OF_MEMORY;
    }
    const VP8StatusCode code = WebPIUpdate(decoder.get(), data.data(), data.size());
    if (WebPIDecGetRGB(decoder.get(), rows, nullptr, nullptr, nullptr) == nullptr) {
        *rows = 0;
    }
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
    bool fTruncated = false;
    bool fAnimation = false;
    uint32 fWidth = 0;  // the pixels as stored, before any orientation is applied
    uint32 fHeight = 0;
    int fOrientation = 1;
    uint32 fFramesRead = 0;
    DemuxPtr fDemux;  // an animation's frames, for their durations
    AnimDecoderPtr fDecoder;
    // The last frame that could be decoded, shown again in place of the frames that
    // follow a damaged one.
    std::unique_ptr<BBitmap> fFrozen;
};

status_t WebPReader::Open(BPositionIO& source) {
    if (status_t status = ReadFileBytes(source, &fData, &fTruncated); status != B_OK) {
        return status;
    }
    // The container's header first: a truncated animation is then read up to its last
    // whole frame.
    const WebPData whole{fData.data(), fData.size()};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    DemuxPtr demux(fTruncated ? WebPDemuxPartial(&whole, &state) : WebPDemux(&whole));
    if (demux == nullptr || (fTruncated && state < WEBP_DEMUX_PARSED_HEADER)) {
        return Fail(B_BAD_DATA, fTruncated ? "fichier WebP tronqué" : "fichier WebP endommagé");
    }
    fAnimation = (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG) != 0;
    if (fAnimation && fTruncated) {
        KeepWholeChunks(&fData);
        const WebPData cut{fData.data(), fData.size()};
        demux.reset(WebPDemux(&cut));
        if (demux == nullptr || WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT) == 0) {
            return Fail(B_BAD_DATA, "fichier WebP tronqué : aucune image complète");
        }
    }
    if (status_t status = ReadMetadata(demux.get(), &fInfo.metadata); status != B_OK) {
        return status;
    }
    // The container states no resolution; the EXIF block may.
    PictureMetadata& metadata = fInfo.metadata;
    ExifResolution(metadata.exif.data(), metadata.exif.size(), &metadata.xDpi, &metadata.yDpi);
    if (fOptions.applyOrientation && !metadata.exif.empty()) {
        fOrientation = ExifOrientation(metadata.exif.data(), metadata.exif.size());
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
    if (fTruncated) {
        ReportDamage(fInfo.frameCount == 1
                         ? std::string("fichier tronqué : seule la première image de "
                                       "l'animation a pu être lue")
                         : "fichier tronqué : seules les " + std::to_string(fInfo.frameCount) +
                               " premières images de l'animation ont pu être lues");
    }
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
    int rows = 0;
    VP8StatusCode code = DecodeRows(fData, fOptions.threads, bitmap, &rows);
    // Suspended for want of data, libwebp's second thread may still be writing rows: the
    // count of rows it leaves is only sure on one thread.
    if (code == VP8_STATUS_SUSPENDED && fOptions.threads) {
        code = DecodeRows(fData, false, bitmap, &rows);
    }
    if (code == VP8_STATUS_OK) {
        if (fTruncated) {
            ReportDamage("fichier tronqué : la fin du fichier manque");
        }
        return B_OK;
    }
    if (code == VP8_STATUS_INVALID_PARAM) {
        return Fail(B_ERROR, "version de libwebp incompatible");
    }
    if (rows <= 0 || code == VP8_STATUS_OUT_OF_MEMORY) {
        return StatusFailure(code);
    }
    const bool ended = code == VP8_STATUS_SUSPENDED || code == VP8_STATUS_NOT_ENOUGH_DATA;
    ReportDamage(
        MissingRows(ended ? "fichier tronqué" : "fichier WebP endommagé", uint32(rows), fHeight));
    return B_OK;
}

status_t WebPReader::DecodeNextFrame(BBitmap* bitmap) {
    if (fFrozen != nullptr) {
        std::memcpy(bitmap->Bits(), fFrozen->Bits(), size_t(bitmap->BitsLength()));
        return B_OK;
    }
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
    if (fFramesRead == 0) {
        return Fail(B_BAD_DATA, "animation WebP endommagée");
    }
    // A damaged frame amid the animation: the last good one stays on screen for the rest,
    // as long as they would have lasted. It is found again by decoding up to it.
    ReportDamage("animation endommagée : les images à partir de la " +
                 std::to_string(fFramesRead + 1) + "e n'ont pu être lues");
    WebPAnimDecoderReset(fDecoder.get());
    for (uint32 i = 0; i < fFramesRead; i++) {
        if (!WebPAnimDecoderGetNext(fDecoder.get(), &canvas, &timestamp)) {
            return Fail(B_BAD_DATA, "animation WebP endommagée");
        }
    }
    CopyCanvas(canvas, bitmap);
    fFrozen = std::make_unique<BBitmap>(bitmap->Bounds(), bitmap->ColorSpace());
    if (fFrozen->InitCheck() != B_OK) {
        fFrozen.reset();
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire le WebP");
    }
    std::memcpy(fFrozen->Bits(), bitmap->Bits(), size_t(bitmap->BitsLength()));
    fDecoder.reset();
    return B_OK;
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
