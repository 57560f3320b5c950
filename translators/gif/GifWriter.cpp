// SPDX-License-Identifier: MIT
#include "translators/gif/GifWriter.h"

#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"
#include "translators/gif/GifReader.h"

namespace orv {

namespace {

// Pixels at least this opaque are written opaque; the rest become the transparent index.
constexpr uint32 kOpaqueThreshold = 128;
// Mean square errors per channel on the 0 to 255 scale (RemapError). A later frame takes
// the global palette, and saves its own colour table, when remapping to it costs no more
// than kExcellentError, or no more than kSharedErrorFactor times what its own palette would
// cost or what the global one costs the first frame (a small area's own palette is nearly
// exact, which is no reason to pay for it), plus that.
constexpr double kExcellentError = 1.0;
constexpr double kSharedErrorFactor = 1.25;

using ColorMap = std::unique_ptr<ColorMapObject, FreeWith<GifFreeMapObject>>;
using LiqAttr = std::unique_ptr<liq_attr, FreeWith<liq_attr_destroy>>;
using LiqImage = std::unique_ptr<liq_image, FreeWith<liq_image_destroy>>;
using LiqResult = std::unique_ptr<liq_result, FreeWith<liq_result_destroy>>;
using LiqHistogram = std::unique_ptr<liq_histogram, FreeWith<liq_histogram_destroy>>;

struct Area {
    uint32 left = 0, top = 0, width = 0, height = 0;

    bool Empty() const { return width == 0 || height == 0; }
    bool Contains(uint32 x, uint32 y) const {
        return x >= left && x - left < width && y >= top && y - top < height;
    }
};

Area Union(const Area& a, const Area& b) {
    if (a.Empty()) {
        return b;
    }
    if (b.Empty()) {
        return a;
    }
    const uint32 left = std::min(a.left, b.left), top = std::min(a.top, b.top);
    const uint32 right = std::max(a.left + a.width, b.left + b.width);
    const uint32 bottom = std::max(a.top + a.height, b.top + b.height);
    return {left, top, right - left, bottom - top};
}

// The smallest area holding every pixel for which `wanted(x, y)` holds.
template <class Wanted>
Area BoundingArea(uint32 width, uint32 height, Wanted wanted) {
    uint32 left = width, top = height, right = 0, bottom = 0;
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            if (wanted(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = y + 1;
            }
        }
    }
    return left < right ? Area{left, top, right - left, bottom - top} : Area{};
}

// A quantizer's palette as a GIF colour map (a power of two long), with every entry meant
// for transparency folded into one index.
struct Palette {
    ColorMap map;
    int transparent = NO_TRANSPARENT_COLOR;
    std::array<uint8, 256> fold{};  // the quantizer's index → the map's
};

status_t MakePalette(const liq_palette& colors, bool needTransparent, Palette* palette) {
    const int count = int(std::min(colors.count, 256u));
    int transparent = NO_TRANSPARENT_COLOR;
    for (int i = 0; i < count; i++) {
        palette->fold[size_t(i)] = uint8(i);
        if (colors.entries[i].a < kOpaqueThreshold) {
            transparent = transparent == NO_TRANSPARENT_COLOR ? i : transparent;
            palette->fold[size_t(i)] = uint8(transparent);
        }
    }
    int used = count;
    if (transparent == NO_TRANSPARENT_COLOR && needTransparent) {
        if (count == 256) {
            return Fail(B_ERROR, "palette GIF pleine : pas de place pour la transparence");
        }
        transparent = used++;
    }
    int mapSize = 2;
    while (mapSize < used) {
        mapSize *= 2;
    }
    palette->map.reset(GifMakeMapObject(mapSize, nullptr));
    if (palette->map == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le GIF");
    }
    for (int i = 0; i < mapSize; i++) {
        const liq_color c = i < count ? colors.entries[i] : liq_color{0, 0, 0, 255};
        palette->map->Colors[i] = GifColorType{c.r, c.g, c.b};
    }
    palette->transparent = transparent;
    return B_OK;
}

// The mean square error, per channel on the 0 to 255 scale, of `indices` standing for the
// pixels `rgba` (red, green, blue, alpha bytes; transparent ones all zero) through `palette`.
// libimagequant's own figure is not used: with dithering it keeps the one of the palette's
// making, whatever picture is remapped afterwards.
double RemapError(const uint32* rgba, const std::vector<uint8>& indices,
                  const liq_palette& palette) {
    uint64 sum = 0;
    for (size_t i = 0; i < indices.size(); i++) {
        const liq_color& c = palette.entries[std::min<uint32>(indices[i], palette.count - 1)];
        const uint32 p = rgba[i];
        if ((p >> 24) == 0 || c.a < kOpaqueThreshold) {
            sum += (p >> 24) == 0 && c.a < kOpaqueThreshold ? 0 : 3 * 255 * 255;
            continue;
        }
        const int dr = int(p & 0xff) - c.r, dg = int(p >> 8 & 0xff) - c.g,
                  db = int(p >> 16 & 0xff) - c.b;
        sum += uint64(dr * dr + dg * dg + db * db);
    }
    return indices.empty() ? 0 : double(sum) / (3.0 * double(indices.size()));
}

bool SameColors(const liq_palette& a, const liq_palette& b) {
    return a.count == b.count &&
           std::memcmp(a.entries, b.entries, sizeof(liq_color) * std::min(a.count, 256u)) == 0;
}

struct Sink {
    BPositionIO* stream;
    bool failed;
};

int WriteForGiflib(GifFileType* gif, const GifByteType* buffer, int size) {
    auto* sink = static_cast<Sink*>(gif->UserData);
    if (size < 0 || sink->stream->WriteExactly(buffer, size_t(size)) != B_OK) {
        sink->failed = true;
        return 0;
    }
    return size;
}

void CloseEncoder(GifFileType* gif) {
    EGifCloseFile(gif, nullptr);
}

class GifPictureWriter final : public PictureWriter {
public:
    GifPictureWriter(BPositionIO& destination, const GifWriterChoices& choices)
        : fSink{&destination, false}, fChoices(choices) {}

    status_t Begin(const PictureInfo& info) override;
    status_t WriteFrame(const BBitmap& frame, const FrameTiming& timing) override;
    status_t Finish() override;

private:
    // A frame reduced to its palette and placed, waiting for the next to tell how it is
    // disposed of.
    struct Frame {
        Area area;
        std::vector<uint8> indices;  // area.width × area.height
        ColorMap ownMap;             // null: the global palette
        int transparent = NO_TRANSPARENT_COLOR;
        bool unchanged = false;  // a frame that repeats the one before: one pixel, left as it was
        uint32 delay = 0;        // centiseconds
    };

    void Load(const BBitmap& bitmap);
    status_t Quantize(const uint32* rgba, Frame* frame);
    status_t QuantizeFirst(liq_image* image, Frame* frame);
    status_t StartFile();
    status_t WritePending(int disposal);
    void Grow(Frame* frame, const Area& area) const;
    status_t Failure(const char* what, int error) const;

    Sink fSink;
    GifWriterChoices fChoices;
    uint32 fWidth = 0, fHeight = 0;
    bool fAnimated = false;
    int32 fLoopCount = 0;
    bool fBegun = false;
    uint32 fFrames = 0;
    std::unique_ptr<GifFileType, FreeWith<CloseEncoder>> fGif;
    LiqAttr fAttr;
    LiqResult fGlobalResult;  // the first frame's palette, which every later remap keeps
    double fFirstError = 0;   // how well it renders the first frame
    liq_palette fWritten{};   // its colours as the file holds them
    Palette fGlobal;
    // Pixels as red, green, blue, alpha bytes; a transparent one is all zero.
    std::vector<uint32> fPrevious, fCurrent, fChanged;
    Frame fPending;
};

status_t GifPictureWriter::Begin(const PictureInfo& info) {
    if (status_t status = CheckImageSize(info.width, info.height); status != B_OK) {
        return status;
    }
    fWidth = info.width;
    fHeight = info.height;
    fAnimated = info.frameCount > 1;
    fLoopCount = info.loopCount;
    fAttr.reset(liq_attr_create());
    if (fAttr == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le GIF");
    }
    liq_set_max_colors(fAttr.get(), std::clamp(fChoices.colors, 2, 256));
    liq_set_speed(fAttr.get(), std::clamp(fChoices.speed, 1, 10));
    fBegun = true;
    return B_OK;
}

void GifPictureWriter::Load(const BBitmap& bitmap) {
    const bool alpha = bitmap.ColorSpace() == B_RGBA32;
    fCurrent.resize(size_t(fWidth) * fHeight);
    for (uint32 y = 0; y < fHeight; y++) {
        uint32* row = fCurrent.data() + size_t(y) * fWidth;
        RowToRGBA(static_cast<const uint8*>(bitmap.Bits()) + size_t(y) * bitmap.BytesPerRow(),
                  reinterpret_cast<uint8*>(row), fWidth);
        // GIF has one level of transparency: each pixel is made opaque or transparent.
        for (uint32 x = 0; x < fWidth; x++) {
            const uint32 opaque = (row[x] & 0x00ffffffu) | 0xff000000u;
            row[x] = !alpha || (row[x] >> 24) >= kOpaqueThreshold ? opaque : 0;
        }
    }
}

status_t GifPictureWriter::QuantizeFirst(liq_image* image, Frame* frame) {
    liq_result* raw = nullptr;
    if (fAnimated) {
        // A palette made from a histogram stays as it is while frames are remapped to it,
        // which the global palette, written before them, must. It keeps a transparent entry
        // for what later frames leave unchanged.
        LiqHistogram histogram(liq_histogram_create(fAttr.get()));
        if (histogram == nullptr ||
            liq_histogram_add_image(histogram.get(), fAttr.get(), image) != LIQ_OK ||
            liq_histogram_add_fixed_color(histogram.get(), liq_color{0, 0, 0, 0}, 0) != LIQ_OK ||
            liq_histogram_quantize(histogram.get(), fAttr.get(), &raw) != LIQ_OK) {
            return Fail(B_ERROR, "réduction des couleurs impossible");
        }
    } else if (liq_image_quantize(image, fAttr.get(), &raw) != LIQ_OK) {
        return Fail(B_ERROR, "réduction des couleurs impossible");
    }
    fGlobalResult.reset(raw);
    liq_set_dithering_level(raw, fChoices.dithering ? 1.0f : 0.0f);
    if (liq_write_remapped_image(raw, image, frame->indices.data(), frame->indices.size()) !=
        LIQ_OK) {
        return Fail(B_ERROR, "réduction des couleurs impossible");
    }
    fWritten = *liq_get_palette(raw);
    return MakePalette(fWritten, fAnimated, &fGlobal);
}

status_t GifPictureWriter::Quantize(const uint32* rgba, Frame* frame) {
    const Area& area = frame->area;
    LiqImage image(liq_image_create_rgba(fAttr.get(), rgba, int(area.width), int(area.height), 0));
    if (image == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le GIF");
    }
    frame->indices.resize(size_t(area.width) * area.height);
    const Palette* palette = &fGlobal;
    Palette own;
    if (fFrames == 0) {
        if (status_t status = QuantizeFirst(image.get(), frame); status != B_OK) {
            return status;
        }
        fFirstError = RemapError(rgba, frame->indices, fWritten);
    } else {
        // The global palette first: when it renders the frame well enough, the frame needs
        // no colour table of its own. Should libimagequant ever adjust the palette while
        // remapping, the indices would no longer match the colours written: not shared then.
        bool shared =
            liq_write_remapped_image(fGlobalResult.get(), image.get(), frame->indices.data(),
                                     frame->indices.size()) == LIQ_OK &&
            SameColors(fWritten, *liq_get_palette(fGlobalResult.get()));
        const double sharedError = shared ? RemapError(rgba, frame->indices, fWritten) : -1;
        if (sharedError < 0 || sharedError > kExcellentError) {
            liq_image_add_fixed_color(image.get(), liq_color{0, 0, 0, 0});
            liq_result* raw = nullptr;
            if (liq_image_quantize(image.get(), fAttr.get(), &raw) != LIQ_OK) {
                return Fail(B_ERROR, "réduction des couleurs impossible");
            }
            LiqResult result(raw);
            liq_set_dithering_level(raw, fChoices.dithering ? 1.0f : 0.0f);
            std::vector<uint8> indices(frame->indices.size());
            if (liq_write_remapped_image(raw, image.get(), indices.data(), indices.size()) !=
                LIQ_OK) {
                return Fail(B_ERROR, "réduction des couleurs impossible");
            }
            const double ownError = RemapError(rgba, indices, *liq_get_palette(raw));
            shared = shared && ownError >= 0 &&
                     sharedError <=
                         std::max(ownError, fFirstError) * kSharedErrorFactor + kExcellentError;
            if (!shared) {
                if (status_t status = MakePalette(*liq_get_palette(raw), true, &own);
                    status != B_OK) {
                    return status;
                }
                frame->indices = std::move(indices);
                palette = &own;
            }
        }
    }
    for (uint8& index : frame->indices) {
        index = palette->fold[index];
    }
    frame->transparent = palette->transparent;
    frame->ownMap = std::move(own.map);
    return B_OK;
}

status_t GifPictureWriter::Failure(const char* what, int error) const {
    if (fSink.failed) {
        return Fail(B_IO_ERROR, "écriture du GIF impossible");
    }
    return Fail(B_ERROR, what + GifErrorDetail(error));
}

status_t GifPictureWriter::StartFile() {
    int error = 0;
    fGif.reset(EGifOpen(&fSink, WriteForGiflib, &error));
    if (fGif == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le GIF");
    }
    GifFileType* gif = fGif.get();
    EGifSetGifVersion(gif, fAnimated || fGlobal.transparent != NO_TRANSPARENT_COLOR);
    bool written =
        EGifPutScreenDesc(gif, int(fWidth), int(fHeight), 8, 0, fGlobal.map.get()) == GIF_OK;
    // The application extension counts repeats after the first showing; an animation that
    // plays once goes without it.
    if (written && fAnimated && fLoopCount != 1) {
        const int repeats = fLoopCount <= 0 ? 0 : std::min(fLoopCount - 1, 65535);
        const GifByteType loop[3] = {1, GifByteType(repeats & 0xff), GifByteType(repeats >> 8)};
        written = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
                  EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
                  EGifPutExtensionBlock(gif, 3, loop) == GIF_OK &&
                  EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    return written ? B_OK : Failure("encodage GIF impossible", gif->Error);
}

void GifPictureWriter::Grow(Frame* frame, const Area& area) const {
    std::vector<uint8> indices(size_t(area.width) * area.height, uint8(frame->transparent));
    // An unchanged frame's one pixel is transparent too: it need not stay in the area.
    for (uint32 y = 0; !frame->unchanged && y < frame->area.height; y++) {
        std::memcpy(indices.data() + size_t(frame->area.top - area.top + y) * area.width +
                        (frame->area.left - area.left),
                    frame->indices.data() + size_t(y) * frame->area.width, frame->area.width);
    }
    frame->indices = std::move(indices);
    frame->area = area;
    frame->unchanged = false;
}

status_t GifPictureWriter::WritePending(int disposal) {
    GifFileType* gif = fGif.get();
    const Frame& frame = fPending;
    bool written = true;
    if (fAnimated || frame.transparent != NO_TRANSPARENT_COLOR) {
        const GraphicsControlBlock control{disposal, false, int(frame.delay), frame.transparent};
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        written = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK;
    }
    // giflib keeps a copy of a frame's own colour map and, given none for the next frame,
    // forgets that copy without freeing it (giflib 5.2): it is freed here.
    if (frame.ownMap == nullptr && gif->Image.ColorMap != nullptr) {
        GifFreeMapObject(gif->Image.ColorMap);
        gif->Image.ColorMap = nullptr;
    }
    written = written && EGifPutImageDesc(gif, int(frame.area.left), int(frame.area.top),
                                          int(frame.area.width), int(frame.area.height), false,
                                          frame.ownMap.get()) == GIF_OK;
    for (uint32 y = 0; written && y < frame.area.height; y++) {
        // giflib only reads the line it is given.
        auto* line = const_cast<GifPixelType*>(frame.indices.data() + size_t(y) * frame.area.width);
        written = EGifPutLine(gif, line, int(frame.area.width)) == GIF_OK;
    }
    return written ? B_OK : Failure("encodage GIF impossible", gif->Error);
}

status_t GifPictureWriter::WriteFrame(const BBitmap& bitmap, const FrameTiming& timing) {
    if (!fBegun || (bitmap.ColorSpace() != B_RGB32 && bitmap.ColorSpace() != B_RGBA32) ||
        bitmap.PixelWidth() != fWidth || bitmap.PixelHeight() != fHeight) {
        return Fail(B_BAD_VALUE, "image de taille ou de format inattendus pour le GIF");
    }
    // A picture announced alone gets the palette that suits it best, which later frames
    // could not share.
    if (!fAnimated && fFrames > 0) {
        return Fail(B_NOT_ALLOWED, "une seule image était annoncée pour ce GIF");
    }
    Load(bitmap);
    Frame frame;
    frame.delay = std::min<uint32>((timing.delayMs + 5) / 10, 65535);
    const uint32 width = fWidth;
    if (fFrames == 0) {
        frame.area = {0, 0, fWidth, fHeight};
        if (status_t status = Quantize(fCurrent.data(), &frame); status != B_OK) {
            return status;
        }
        if (status_t status = StartFile(); status != B_OK) {
            return status;
        }
    } else {
        const uint32* now = fCurrent.data();
        const uint32* before = fPrevious.data();
        // A frame cannot make a pixel transparent: where one turns so, the frame before is
        // cleared, its area grown to cover them (with pixels that keep what was under).
        const Area clearing = BoundingArea(fWidth, fHeight, [&](uint32 x, uint32 y) {
            const size_t i = size_t(y) * width + x;
            return now[i] == 0 && before[i] != 0;
        });
        Area cleared;
        if (!clearing.Empty()) {
            Grow(&fPending, fPending.unchanged ? clearing : Union(fPending.area, clearing));
            cleared = fPending.area;
        }
        if (status_t status = WritePending(cleared.Empty() ? DISPOSE_DO_NOT : DISPOSE_BACKGROUND);
            status != B_OK) {
            return status;
        }
        // What this frame draws: the pixels that differ from what the frame before leaves
        // shown once it is disposed of. The rest stays transparent, showing what is there.
        auto drawn = [&](uint32 x, uint32 y) {
            const size_t i = size_t(y) * width + x;
            return now[i] != (cleared.Contains(x, y) ? 0 : before[i]);
        };
        frame.area = BoundingArea(fWidth, fHeight, drawn);
        if (frame.area.Empty()) {
            frame.area = {0, 0, 1, 1};  // the same picture again: one pixel, left as it was
            frame.unchanged = true;
        }
        fChanged.resize(size_t(frame.area.width) * frame.area.height);
        for (uint32 y = 0; y < frame.area.height; y++) {
            for (uint32 x = 0; x < frame.area.width; x++) {
                const uint32 cx = frame.area.left + x, cy = frame.area.top + y;
                fChanged[size_t(y) * frame.area.width + x] =
                    drawn(cx, cy) ? now[size_t(cy) * width + cx] : 0;
            }
        }
        if (status_t status = Quantize(fChanged.data(), &frame); status != B_OK) {
            return status;
        }
    }
    fPending = std::move(frame);
    std::swap(fPrevious, fCurrent);
    fFrames++;
    return B_OK;
}

status_t GifPictureWriter::Finish() {
    if (fFrames == 0 || fGif == nullptr) {
        return Fail(B_ERROR, "aucune image à écrire");
    }
    status_t status = WritePending(fAnimated ? DISPOSE_DO_NOT : DISPOSAL_UNSPECIFIED);
    // Closing writes the trailer, and giflib does not look at that write's result: the
    // sink's own record of a failed write is what tells.
    const int error = fGif->Error;
    int closeError = E_GIF_SUCCEEDED;
    const bool closed = EGifCloseFile(fGif.release(), &closeError) == GIF_OK;
    if (status == B_OK && (!closed || fSink.failed)) {
        status = Failure("encodage GIF impossible", closed ? error : closeError);
    }
    return status;
}

}  // namespace

std::unique_ptr<PictureWriter> MakeGifWriter(BPositionIO& destination,
                                             const GifWriterChoices& choices) {
    return std::make_unique<GifPictureWriter>(destination, choices);
}

}  // namespace orv
