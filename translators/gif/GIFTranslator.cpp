// SPDX-License-Identifier: MIT
#include "translators/gif/GIFTranslator.h"

#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"

namespace orv {

namespace {

constexpr translation_format kFormats[] = {
    {FourCC("GIFf"), B_TRANSLATOR_BITMAP, 0.8f, 0.6f, "image/gif", "Image GIF"},
};

constexpr SettingSchema kSettings[] = {
    {"colors", SettingSchema::Kind::Int, "Nombre de couleurs (256 au plus)", 256, 2, 256},
    {"dithering", SettingSchema::Kind::Bool, "Tramage (diffusion d'erreur)", 1},
    {"speed", SettingSchema::Kind::Int, "Vitesse de la quantification (1 soignée, 10 rapide)", 4, 1,
     10},
};

// Pixels at least this opaque are written opaque; the rest become the transparent index.
constexpr uint8 kOpaqueThreshold = 128;

// Blue, green, red, alpha of each index, as the bitmap stores them.
using Palette = std::array<std::array<uint8, 4>, 256>;

struct GifReader {
    BPositionIO* stream;
    bool ioFailed;
};

int ReadData(GifFileType* gif, GifByteType* buffer, int size) {
    auto* reader = static_cast<GifReader*>(gif->UserData);
    ssize_t got = reader->stream->Read(buffer, size_t(size));
    if (got < 0) {
        reader->ioFailed = true;
        return 0;
    }
    return int(got);
}

struct GifWriter {
    BPositionIO* stream;
    bool ioFailed;
};

int WriteData(GifFileType* gif, const GifByteType* buffer, int size) {
    auto* writer = static_cast<GifWriter*>(gif->UserData);
    if (writer->stream->WriteExactly(buffer, size_t(size)) != B_OK) {
        writer->ioFailed = true;
        return 0;
    }
    return size;
}

void CloseDecoder(GifFileType* gif) {
    DGifCloseFile(gif, nullptr);
}
using GifDecoder = std::unique_ptr<GifFileType, FreeWith<CloseDecoder>>;

// giflib's text for an error, in brackets; it has none for some codes, and fails some calls
// without naming an error at all.
std::string Detail(int error) {
    const char* text = error != 0 ? GifErrorString(error) : nullptr;
    return text != nullptr ? std::string(" (") + text + ")" : std::string();
}

status_t ReadFailure(const GifFileType* gif, const GifReader& reader) {
    if (reader.ioFailed) {
        return Fail(B_IO_ERROR, "lecture du GIF impossible");
    }
    int error = gif != nullptr ? gif->Error : D_GIF_ERR_READ_FAILED;
    switch (error) {
        case D_GIF_ERR_READ_FAILED:
        case D_GIF_ERR_EOF_TOO_SOON:
            return Fail(B_BAD_DATA, "fichier GIF tronqué");
        case D_GIF_ERR_NOT_ENOUGH_MEM:
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire le GIF");
        default:
            return Fail(B_BAD_DATA, "fichier GIF endommagé" + Detail(error));
    }
}

// The first frame's description and its transparent index, skipping the extensions before
// it; the graphic control extension that counts is the last one before the frame.
bool ReadFirstFrameHeader(GifFileType* gif, int* transparent) {
    *transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) != GIF_OK) {
            return false;
        }
        if (record == IMAGE_DESC_RECORD_TYPE) {
            return DGifGetImageDesc(gif) == GIF_OK;
        }
        if (record == TERMINATE_RECORD_TYPE) {
            gif->Error = D_GIF_ERR_NO_IMAG_DSCR;
            return false;
        }
        if (record != EXTENSION_RECORD_TYPE) {
            gif->Error = D_GIF_ERR_WRONG_RECORD;
            return false;
        }
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) != GIF_OK) {
            return false;
        }
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
            GraphicsControlBlock control;
            if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
                *transparent = control.TransparentColor;
            }
        }
        while (block != nullptr) {
            if (DGifGetExtensionNext(gif, &block) != GIF_OK) {
                return false;
            }
        }
    }
}

// Reads the frame's rows, in their interlaced order when they are, and paints them through
// the palette onto the canvas, clipped to it.
bool ReadFrame(GifFileType* gif, const Palette& colors, BBitmap* canvas) {
    const GifImageDesc& frame = gif->Image;
    std::vector<GifPixelType> line(size_t(frame.Width));
    uint32 canvasWidth = canvas->PixelWidth(), canvasHeight = canvas->PixelHeight();
    auto* bits = static_cast<uint8*>(canvas->Bits());
    static constexpr int kPassStart[] = {0, 4, 2, 1};
    static constexpr int kPassStep[] = {8, 8, 4, 2};
    int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; pass++) {
        int start = frame.Interlace ? kPassStart[pass] : 0;
        int step = frame.Interlace ? kPassStep[pass] : 1;
        for (int row = start; row < frame.Height; row += step) {
            if (DGifGetLine(gif, line.data(), frame.Width) != GIF_OK) {
                return false;
            }
            uint32 y = uint32(frame.Top + row);
            if (y >= canvasHeight || uint32(frame.Left) >= canvasWidth) {
                continue;
            }
            uint32 count = std::min(uint32(frame.Width), canvasWidth - uint32(frame.Left));
            uint8* out = bits + size_t(y) * size_t(canvas->BytesPerRow()) + size_t(frame.Left) * 4;
            for (uint32 x = 0; x < count; x++, out += 4) {
                std::memcpy(out, colors[line[x]].data(), 4);
            }
        }
    }
    return true;
}

void CloseEncoder(GifFileType* gif) {
    EGifCloseFile(gif, nullptr);
}

struct QuantizerSource {
    const BBitmap* image;
    bool alpha;
};

// Hands the quantizer one row at a time, so the bitmap is never copied whole. GIF keeps one
// level of transparency: each pixel is made fully opaque or fully transparent here, so that
// every transparent pixel falls in one palette entry.
void ReadRowForQuantizer(liq_color out[], int row, int width, void* user) {
    const auto* source = static_cast<const QuantizerSource*>(user);
    const auto* bgra = static_cast<const uint8*>(source->image->Bits()) +
                       size_t(row) * size_t(source->image->BytesPerRow());
    auto* rgba = reinterpret_cast<uint8*>(out);
    RowToRGBA(bgra, rgba, uint32(width));
    for (int x = 0; x < width; x++, rgba += 4) {
        if (!source->alpha || rgba[3] >= kOpaqueThreshold) {
            rgba[3] = 255;
        } else {
            std::memset(rgba, 0, 4);
        }
    }
}

// What the settings ask of the quantizer.
struct QuantizerChoices {
    int colors;
    int speed;
    bool dithering;
};

// A picture reduced to a colour map: one index a pixel, the map (a power of two long) and
// the index that stands for transparency, if any.
struct IndexedPicture {
    std::vector<uint8> indices;
    std::unique_ptr<ColorMapObject, FreeWith<GifFreeMapObject>> map;
    int transparent = NO_TRANSPARENT_COLOR;
};

// The quantizer's palette as a colour map; every entry the quantizer kept for
// transparency folds into the first of them.
status_t MakeColorMap(const liq_palette& palette, IndexedPicture* picture) {
    // A colour map's size is a power of two; the spare entries stay black.
    int mapSize = 2;
    while (mapSize < int(palette.count)) {
        mapSize *= 2;
    }
    picture->map.reset(GifMakeMapObject(mapSize, nullptr));
    if (picture->map == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le GIF");
    }
    for (int i = 0; i < mapSize; i++) {
        liq_color c = i < int(palette.count) ? palette.entries[i] : liq_color{0, 0, 0, 255};
        picture->map->Colors[i] = GifColorType{c.r, c.g, c.b};
        if (c.a < kOpaqueThreshold && picture->transparent == NO_TRANSPARENT_COLOR) {
            picture->transparent = i;
        }
    }
    if (picture->transparent != NO_TRANSPARENT_COLOR) {
        for (uint8& index : picture->indices) {
            if (palette.entries[index].a < kOpaqueThreshold) {
                index = uint8(picture->transparent);
            }
        }
    }
    return B_OK;
}

status_t Quantize(const BBitmap& image, const QuantizerChoices& choices, IndexedPicture* picture) {
    const int width = int(image.PixelWidth());
    const int height = int(image.PixelHeight());
    std::unique_ptr<liq_attr, FreeWith<liq_attr_destroy>> attr(liq_attr_create());
    if (attr == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le GIF");
    }
    liq_set_max_colors(attr.get(), choices.colors);
    liq_set_speed(attr.get(), choices.speed);
    QuantizerSource source{&image, HasTransparency(image)};
    std::unique_ptr<liq_image, FreeWith<liq_image_destroy>> input(
        liq_image_create_custom(attr.get(), ReadRowForQuantizer, &source, width, height, 0));
    liq_result* rawResult = nullptr;
    if (input == nullptr || liq_image_quantize(input.get(), attr.get(), &rawResult) != LIQ_OK) {
        return Fail(B_ERROR, "réduction des couleurs impossible");
    }
    std::unique_ptr<liq_result, FreeWith<liq_result_destroy>> result(rawResult);
    liq_set_dithering_level(result.get(), choices.dithering ? 1.0f : 0.0f);

    const size_t pixelCount = size_t(width) * size_t(height);
    picture->indices.resize(pixelCount);
    if (liq_write_remapped_image(result.get(), input.get(), picture->indices.data(), pixelCount) !=
        LIQ_OK) {
        return Fail(B_ERROR, "réduction des couleurs impossible");
    }
    return MakeColorMap(*liq_get_palette(result.get()), picture);
}

// Writes the indexed picture as a GIF of one frame.
status_t WriteIndexed(const IndexedPicture& picture, int width, int height,
                      BPositionIO& destination) {
    const bool transparent = picture.transparent != NO_TRANSPARENT_COLOR;
    GifWriter writer{&destination, false};
    int error = 0;
    GifFileType* raw = EGifOpen(&writer, WriteData, &error);
    if (raw == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le GIF");
    }
    std::unique_ptr<GifFileType, FreeWith<CloseEncoder>> gif(raw);
    EGifSetGifVersion(gif.get(), transparent);
    bool written = EGifPutScreenDesc(gif.get(), width, height, 8, 0, picture.map.get()) == GIF_OK;
    if (written && transparent) {
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, picture.transparent};
        GifByteType extension[4];
        size_t length = EGifGCBToExtension(&control, extension);
        written =
            EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK;
    }
    written = written && EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; written && y < height; y++) {
        // giflib only reads the line it is given.
        auto* line = const_cast<GifPixelType*>(picture.indices.data() + size_t(y) * size_t(width));
        written = EGifPutLine(gif.get(), line, width) == GIF_OK;
    }
    // Closing writes the trailer, and giflib does not look at that write's result: the
    // callback's own record of a failed write is what tells.
    error = gif->Error;
    int closeError = E_GIF_SUCCEEDED;
    bool closed = EGifCloseFile(gif.release(), &closeError) == GIF_OK;
    if (!written || !closed || writer.ioFailed) {
        if (writer.ioFailed) {
            return Fail(B_IO_ERROR, "écriture du GIF impossible");
        }
        return Fail(B_ERROR, "encodage GIF impossible" + Detail(written ? closeError : error));
    }
    return B_OK;
}

}  // namespace

GIFTranslator::GIFTranslator()
    : ImageTranslator({"Images GIF", "Images GIF, par giflib et libimagequant", 100, "gif",
                       kFormats, kFormats, kSettings}) {}

status_t GIFTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    char header[6];
    if (source.ReadAt(0, header, sizeof(header)) != ssize_t(sizeof(header)) ||
        (std::memcmp(header, "GIF87a", 6) != 0 && std::memcmp(header, "GIF89a", 6) != 0)) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t GIFTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    if (source.Seek(0, SEEK_FROM_START) != 0) {
        return Fail(B_IO_ERROR, "lecture du GIF impossible");
    }
    GifReader reader{&source, false};
    int error = 0;
    GifDecoder gif(DGifOpen(&reader, ReadData, &error));
    if (gif == nullptr) {
        if (error == D_GIF_ERR_NOT_GIF_FILE) {
            return Fail(B_NO_TRANSLATOR, "ce fichier n'est pas un GIF");
        }
        return Fail(B_BAD_DATA, "fichier GIF tronqué ou endommagé");
    }
    // The canvas size is the bound of everything that follows: checked before any frame.
    status_t status = CheckImageSize(uint64(gif->SWidth), uint64(gif->SHeight));
    if (status != B_OK) {
        return status;
    }
    int transparent = NO_TRANSPARENT_COLOR;
    if (!ReadFirstFrameHeader(gif.get(), &transparent)) {
        return ReadFailure(gif.get(), reader);
    }
    const GifImageDesc& frame = gif->Image;
    status = CheckImageSize(uint64(frame.Width), uint64(frame.Height));
    if (status != B_OK) {
        return status;
    }
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (map == nullptr) {
        return Fail(B_BAD_DATA, "fichier GIF sans palette de couleurs");
    }
    // Indices past the palette's end show black, as they do in browsers.
    Palette colors;
    for (auto& color : colors) {
        color = {0, 0, 0, 255};
    }
    for (int i = 0; i < std::min(map->ColorCount, 256); i++) {
        const GifColorType& c = map->Colors[i];
        colors[i] = {c.Blue, c.Green, c.Red, 255};
    }
    bool covers = frame.Left == 0 && frame.Top == 0 && frame.Width >= gif->SWidth &&
                  frame.Height >= gif->SHeight;
    bool alpha = transparent >= 0 || !covers;
    if (transparent >= 0 && transparent < 256) {
        colors[transparent] = {0, 0, 0, 0};
    }
    std::unique_ptr<BBitmap> bitmap;
    status = NewImage(uint32(gif->SWidth), uint32(gif->SHeight), alpha, &bitmap);
    if (status != B_OK) {
        return status;
    }
    if (!ReadFrame(gif.get(), colors, bitmap.get())) {
        return ReadFailure(gif.get(), reader);
    }
    *image = std::move(bitmap);
    return B_OK;
}

status_t GIFTranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                      BPositionIO& destination) {
    if (status_t status = CheckEncodeRequest(image, outType, kFormats, "GIF"); status != B_OK) {
        return status;
    }
    const QuantizerChoices choices{int(Settings().Int32("colors")), int(Settings().Int32("speed")),
                                   Settings().Bool("dithering")};
    IndexedPicture picture;
    if (status_t status = Quantize(image, choices, &picture); status != B_OK) {
        return status;
    }
    return WriteIndexed(picture, int(image.PixelWidth()), int(image.PixelHeight()), destination);
}

}  // namespace orv
