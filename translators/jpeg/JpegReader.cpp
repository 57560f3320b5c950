// SPDX-License-Identifier: MIT
#include "translators/jpeg/JpegReader.h"

#include <jerror.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "platform/support/PictureMemory.h"
#include "platform/translation/PixelRows.h"
#include "translators/jpeg/JpegMetadata.h"

namespace orv {

namespace {

using jpeg::JpegContext;
using jpeg::Trouble;

// How the decoded samples reach the bitmap's rows.
enum class RowPath {
    Direct,     // libjpeg writes blue, green, red, alpha itself
    Converted,  // grey or CMYK through the file's profile
    PlainInk,   // CMYK without a profile: the ink taken out of white
};

// Adobe's encoders store CMYK inverted (0 means full ink), others plainly; either way the ink
// is taken out of white.
void CMYKToRow(const uint8* cmyk, uint8* bgra, uint32 count, bool inverted) {
    for (uint32 i = 0; i < count; i++, cmyk += 4, bgra += 4) {
        uint32 c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgra[0] = uint8((y * k + 127) / 255);
        bgra[1] = uint8((m * k + 127) / 255);
        bgra[2] = uint8((c * k + 127) / 255);
        bgra[3] = 255;
    }
}

bool IsCMYK(const jpeg_decompress_struct& info) {
    return info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
}

// The header, the segments we keep, and the ICC profile, which libjpeg assembles from its
// pieces (allocated with malloc; null when there is none or it is broken).
bool ReadHeader(jpeg_decompress_struct* info, JpegContext* context, JOCTET** icc,
                unsigned* iccSize) {
    if (setjmp(context->jump)) {
        return false;
    }
    jpeg::KeepMetadataMarkers(info);
    context->inHeader = true;
    jpeg_read_header(info, TRUE);
    context->inHeader = false;
    if (!jpeg_read_icc_profile(info, icc, iccSize)) {
        *icc = nullptr;
        *iccSize = 0;
    }
    return true;
}

bool PrepareOutput(jpeg_decompress_struct* info, JpegContext* context, unsigned scale, RowPath path,
                   uint32* width, uint32* height) {
    if (setjmp(context->jump)) {
        return false;
    }
    if (path == RowPath::Direct) {
        info->out_color_space = JCS_EXT_BGRA;
    } else {
        info->out_color_space = IsCMYK(*info) ? JCS_CMYK : JCS_GRAYSCALE;
    }
    info->dct_method = JDCT_ISLOW;
    info->scale_num = 1;
    info->scale_denom = scale;
    jpeg_calc_output_dimensions(info);
    *width = info->output_width;
    *height = info->output_height;
    return true;
}

// True when every coefficient of a progressive file has come in full: a file that ends
// after that lacked only its end marker.
bool CoefficientsComplete(const jpeg_decompress_struct& info) {
    if (!info.progressive_mode || info.coef_bits == nullptr) {
        return true;
    }
    for (int c = 0; c < info.num_components; c++) {
        for (int k = 0; k < DCTSIZE2; k++) {
            if (info.coef_bits[c][k] != 0) {
                return false;
            }
        }
    }
    return true;
}

// Copies `size` bytes to where they will not be read again soon, around the cache.
void StreamRow(uint8* to, const uint8* from, size_t size) {
    size_t i = 0;
#if defined(__SSE2__)
    i = std::min(size, (16 - reinterpret_cast<uintptr_t>(to) % 16) % 16);
    std::memcpy(to, from, i);
    for (; i + 16 <= size; i += 16) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
    }
#endif
    std::memcpy(to + i, from + i, size - i);
}

}  // namespace

// Where decoded rows go. With nothing to do to them, libjpeg writes them straight into the
// bitmap. Otherwise they come into a few rows of scratch, are worked there while in the
// cache, and are then put in place: turned upright, or streamed to the bitmap's row.
//
// The scratch rows start off a vector boundary on purpose: libjpeg-turbo's colour conversion
// writes a row that starts on one with streaming stores, which keep it out of the cache, and
// the work would then read every row back from memory, as a pass after decoding does.
class JpegRowSink {
public:
    static constexpr JDIMENSION kScratchRows = 16;

    // `width` × `height` as decoded, into a bitmap turned for `orientation` (1 to 8);
    // `direct`: libjpeg gives the bitmap's own kind of rows.
    JpegRowSink(BBitmap& bitmap, int orientation, uint32 width, uint32 height,
                const PixelWork& work, bool direct)
        : fBitmap(bitmap),
          fOrientation(orientation),
          fWidth(width),
          fWork(work),
          fPlacer(bitmap, orientation, width, height),
          fStraight(direct && orientation == 1 && !work) {
        if (fStraight) {
            fRows.resize(height);
            auto* bits = static_cast<JSAMPLE*>(bitmap.Bits());
            for (uint32 y = 0; y < height; y++) {
                fRows[y] = bits + size_t(y) * size_t(bitmap.BytesPerRow());
            }
        }
        if (fStraight) {
            return;  // no scratch: even the rows a damaged file lacks are filled in place
        }
        const size_t stride = (size_t(width) * 4 + kOffBoundary + 63) / 64 * 64;
        fMemory = std::make_unique<PictureMemory>(stride * kScratchRows + 64);
        if (fMemory->Bits() != nullptr) {
            uint8* first = fMemory->Bits() +
                           (64 - reinterpret_cast<uintptr_t>(fMemory->Bits()) % 64) % 64 +
                           kOffBoundary;
            for (JDIMENSION i = 0; i < kScratchRows; i++) {
                fScratch[i] = first + i * stride;
            }
        }
    }

    bool Ready() const { return fStraight || fMemory->Bits() != nullptr; }
    // Whether libjpeg writes the rows straight into the bitmap, at Rows(y).
    bool Straight() const { return fStraight; }
    JSAMPROW* Rows(uint32 y) { return fRows.data() + y; }
    JSAMPROW* Scratch() { return fScratch; }
    // How many rows from the top are in place.
    uint32 Placed() const { return fPlaced; }

    // Rows fPlaced to fPlaced + count - 1 have been decoded, straight into the bitmap or into
    // the first `count` scratch rows.
    void Decoded(uint32 count) {
        if (!fStraight) {
            for (uint32 i = 0; i < count && fWork; i++) {
                fWork(fScratch[i], fWidth, B_RGB32);
            }
            if (fOrientation == 1) {
                for (uint32 i = 0; i < count; i++) {
                    StreamRow(static_cast<uint8*>(fBitmap.Bits()) +
                                  size_t(fPlaced + i) * size_t(fBitmap.BytesPerRow()),
                              fScratch[i], size_t(fWidth) * 4);
                }
            } else {
                fPlacer.Put(fPlaced, fScratch, count);
            }
        }
        fPlaced += count;
    }

private:
    static constexpr size_t kOffBoundary = 4;

    BBitmap& fBitmap;
    int fOrientation;
    uint32 fWidth;
    const PixelWork& fWork;
    OrientedRows fPlacer;
    bool fStraight;
    std::vector<JSAMPROW> fRows;  // the bitmap's, when straight
    std::unique_ptr<PictureMemory> fMemory;
    JSAMPROW fScratch[kScratchRows] = {};
    uint32 fPlaced = 0;
};

namespace {

// Decodes into `sink`, directly or through one row of samples to convert. `started`: the rows
// come (so those above output_scanline are in place even when this fails).
bool DecodeRows(jpeg_decompress_struct* info, JpegContext* context, JpegRowSink* sink, RowPath path,
                const DeviceRowConverter* converter, bool* started, bool* detailComplete) {
    if (setjmp(context->jump)) {
        return false;
    }
    jpeg_start_decompress(info);
    *started = true;
    if (path == RowPath::Direct) {
        while (info->output_scanline < info->output_height) {
            const JDIMENSION y = info->output_scanline;
            sink->Decoded(
                sink->Straight()
                    ? jpeg_read_scanlines(info, sink->Rows(y), info->output_height - y)
                    : jpeg_read_scanlines(info, sink->Scratch(), JpegRowSink::kScratchRows));
        }
    } else {
        JSAMPARRAY samples =
            (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                       info->output_width * JDIMENSION(info->output_components), 1);
        while (info->output_scanline < info->output_height) {
            if (jpeg_read_scanlines(info, samples, 1) != 1) {
                continue;
            }
            if (path == RowPath::Converted) {
                converter->Convert(samples[0], sink->Scratch()[0], info->output_width);
            } else {
                CMYKToRow(samples[0], sink->Scratch()[0], info->output_width,
                          info->saw_Adobe_marker);
            }
            sink->Decoded(1);
        }
    }
    *detailComplete = CoefficientsComplete(*info);
    jpeg_finish_decompress(info);
    return true;
}

}  // namespace

JpegReader::JpegReader(BPositionIO& source, bool applyOrientation)
    : fSource(source), fApplyOrientation(applyOrientation), fDecompressor{}, fProgress{} {
    jpeg::InitContext(&fContext, &fSource);
    fDecompressor.err = &fContext.error;
    fDecompressor.client_data = &fContext;
    jpeg_create_decompress(&fDecompressor);
    jpeg::AttachSource(&fDecompressor, &fContext);
    jpeg::WatchScans(&fDecompressor, &fProgress);
}

JpegReader::~JpegReader() {
    jpeg_destroy_decompress(&fDecompressor);
}

status_t JpegReader::Open() {
    if (fSource.Seek(0, SEEK_FROM_START) != 0) {
        return Fail(B_IO_ERROR, "lecture du JPEG impossible");
    }
    JOCTET* iccBytes = nullptr;
    unsigned iccSize = 0;
    if (!ReadHeader(&fDecompressor, &fContext, &iccBytes, &iccSize)) {
        return Failure();
    }
    std::vector<uint8> icc(iccBytes, iccBytes + iccSize);
    std::free(iccBytes);
    if (status_t status = CheckImageSize(fDecompressor.image_width, fDecompressor.image_height);
        status != B_OK) {
        return status;
    }
    PictureMetadata& metadata = fInfo.metadata;
    jpeg::ReadMetadata(fDecompressor, &metadata);
    fOrientation = ExifOrientation(metadata.exif.data(), metadata.exif.size());

    // Our bitmaps hold RGB. Grey and CMYK samples with a profile of their own go through it
    // to sRGB; a profile is kept only where it describes the RGB values handed on.
    const uint32 space = ProfileColorSpace(icc);
    const bool cmyk = IsCMYK(fDecompressor);
    if (cmyk || (fDecompressor.num_components == 1 && space == FourCC("GRAY"))) {
        using Samples = DeviceRowConverter::Samples;
        const Samples samples = !cmyk                            ? Samples::Gray
                                : fDecompressor.saw_Adobe_marker ? Samples::InvertedCMYK
                                                                 : Samples::CMYK;
        if (!icc.empty()) {
            fConverter = DeviceRowConverter::Make(icc, samples);
            ClearErrorReason();  // without a usable profile, CMYK is converted plainly
        }
    } else if (space == FourCC("RGB ")) {
        metadata.color.icc = std::move(icc);
    }

    const bool turned = Orientation() >= 5;
    fInfo.width = turned ? fDecompressor.image_height : fDecompressor.image_width;
    fInfo.height = turned ? fDecompressor.image_width : fDecompressor.image_height;
    fInfo.orientationApplied = fApplyOrientation && fOrientation != 1;
    return B_OK;
}

int JpegReader::Orientation() const {
    return fApplyOrientation && fOrientation >= 2 && fOrientation <= 8 ? fOrientation : 1;
}

void JpegReader::SetSizeHint(uint32 minWidth, uint32 minHeight) {
    if (Orientation() >= 5) {
        std::swap(minWidth, minHeight);
    }
    // libjpeg gives ceil(side / scale) at 1/scale.
    const uint32 width = fDecompressor.image_width;
    const uint32 height = fDecompressor.image_height;
    fScale = 1;
    for (const unsigned scale : {8u, 4u, 2u}) {
        if ((width + scale - 1) / scale >= minWidth && (height + scale - 1) / scale >= minHeight) {
            fScale = scale;
            break;
        }
    }
}

bool JpegReader::SetPixelWork(PixelWork work) {
    fPixelWork = std::move(work);
    return true;
}

status_t JpegReader::ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) {
    if (fRead) {
        return Fail(B_ERROR, "plus d'image dans ce fichier");
    }
    fRead = true;
    const RowPath path = fConverter != nullptr   ? RowPath::Converted
                         : IsCMYK(fDecompressor) ? RowPath::PlainInk
                                                 : RowPath::Direct;
    uint32 width = 0, height = 0;
    if (!PrepareOutput(&fDecompressor, &fContext, fScale, path, &width, &height)) {
        return Failure();
    }
    const int orientation = Orientation();
    const bool across = orientation >= 5;
    // Every row goes through the sink, whole, rows the file lacks included: the bitmap needs
    // no clearing first.
    std::unique_ptr<BBitmap> bitmap;
    if (status_t status = NewImage(across ? height : width, across ? width : height, false, &bitmap,
                                   /*cleared=*/false);
        status != B_OK) {
        return status;
    }
    JpegRowSink sink(*bitmap, orientation, width, height, fPixelWork, path == RowPath::Direct);
    if (!sink.Ready()) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire le JPEG");
    }
    bool started = false, detailComplete = true;
    const bool decoded = DecodeRows(&fDecompressor, &fContext, &sink, path, fConverter.get(),
                                    &started, &detailComplete);
#if defined(__SSE2__)
    _mm_sfence();  // rows streamed to the bitmap, even by a decode cut short, before others read
#endif
    if (status_t status = AssessDamage(decoded, started, detailComplete, &sink); status != B_OK) {
        return status;
    }
    *frame = std::move(bitmap);
    *timing = FrameTiming{};
    return B_OK;
}

// What could not be read, said in the picture's terms. A file that ends early, in the pass
// that brings the picture's first data (the only one of a sequential file), misses the rows
// not reached; past that pass it is whole but lacks the detail of the passes not read. Broken
// data stops a scan the same way, unless restart markers let libjpeg pick it up further on.
// When libjpeg gives up in the middle of the picture, the rows it gave are the picture as far
// as it goes, and the rest is left grey as libjpeg fills what it cannot read. Nothing read,
// or a failure that is not about the file's data, is a failure.
status_t JpegReader::AssessDamage(bool decoded, bool started, bool detailComplete,
                                  JpegRowSink* sink) {
    const JDIMENSION height = fDecompressor.output_height;
    const JDIMENSION done = fDecompressor.output_scanline;
    double missing = 0;
    if (!decoded) {
        const bool dataFault =
            fContext.trouble == Trouble::None || fContext.trouble == Trouble::Truncated;
        if (!started || done == 0 || !dataFault) {
            return Failure();
        }
        constexpr uint8 kGrey[4] = {128, 128, 128, 255};
        while (sink->Placed() < height) {
            const uint32 y = sink->Placed();
            uint8* row = sink->Straight() ? *sink->Rows(y) : sink->Scratch()[0];
            for (JDIMENSION x = 0; x < fDecompressor.output_width; x++) {
                std::memcpy(row + size_t(x) * 4, kGrey, 4);
            }
            sink->Decoded(1);
        }
        missing = double(height - done) / double(height);
    }
    const JDIMENSION total = fDecompressor.total_iMCU_rows;
    if (fContext.cut && fContext.cutInFirstPass && fContext.cutRow < total &&
        (fContext.ended || fDecompressor.restart_interval == 0)) {
        missing = std::max(missing, double(total - fContext.cutRow) / double(total));
    }
    const bool ended = fContext.ended || fContext.trouble == Trouble::Truncated;
    const std::string what = ended ? "fichier tronqué : " : "fichier JPEG endommagé : ";
    const std::string why = !decoded && fContext.trouble == Trouble::None ? fContext.message
                            : fContext.warned                             ? fContext.warning
                                                                          : "";
    const std::string because = ended || why.empty() ? "" : " (" + why + ")";
    // Only the first scan's data stands for the whole picture; a later one that brings a
    // component's first data (a file with a scan for each) leaves the earlier components.
    if (fContext.cut && fContext.cutInFirstPass && fContext.cutScan <= 1 && fContext.cutRow == 0) {
        return Fail(B_BAD_DATA, what + "aucune partie de l'image n'a pu être lue" + because);
    }
    if (missing > 0) {
        const long percent = std::clamp(std::lround(100.0 * missing), 1L, 100L);
        ReportDamage(what + "environ " + std::to_string(percent) + " % de l'image manque" +
                     because);
    } else if (!decoded) {
        ReportDamage(what + "fin illisible" + because);
    } else if (ended && !detailComplete) {
        ReportDamage(what + "image entière mais moins détaillée");
    }
    if (fContext.warned) {
        ReportDamage("fichier JPEG endommagé : image peut-être altérée (" +
                     std::string(fContext.warning) + ")");
    }
    return B_OK;
}

status_t JpegReader::Failure() const {
    switch (fContext.trouble) {
        case Trouble::Truncated:
            return Fail(B_BAD_DATA, "fichier JPEG tronqué");
        case Trouble::IOFailed:
            return Fail(B_IO_ERROR, "lecture du JPEG impossible");
        case Trouble::TooManyScans:
            return Fail(B_BAD_DATA, "fichier JPEG endommagé (trop de passes progressives)");
        case Trouble::TooMuchMetadata:
            return CheckMetadataSize(fContext.keptBytes, "ensemble des blocs de métadonnées");
        case Trouble::None:
            break;
    }
    if (fContext.error.msg_code == JERR_BAD_PRECISION) {
        return Fail(B_BAD_DATA, "JPEG de " + std::to_string(fDecompressor.data_precision) +
                                    " bits par composante non pris en charge (8 bits seulement)");
    }
    return Fail(B_BAD_DATA, std::string("fichier JPEG endommagé (") + fContext.message + ")");
}

}  // namespace orv
