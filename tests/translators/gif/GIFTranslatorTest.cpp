// SPDX-License-Identifier: MIT
#include <gif_lib.h>

#include <cstring>
#include <set>

#include "tests/translators/png/CodecTestSupport.h"
#include "translators/gif/GIFTranslator.h"

namespace orv::test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new FreshConfigEnvironment);
constexpr uint32 kGIF = FourCC("GIFf");

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlace = false;
    std::vector<GifColorType> localColors;  // empty: the global palette
    int transparent = NO_TRANSPARENT_COLOR;
    std::vector<uint8> indices;
};

int Append(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<std::vector<uint8>*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

// Writes a GIF with giflib itself, so that the decoder is checked against another writer.
std::vector<uint8> WriteGif(int width, int height, const std::vector<GifColorType>& global,
                            const std::vector<Frame>& frames) {
    std::vector<uint8> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, Append, &error);
    EXPECT_NE(gif, nullptr);
    auto makeMap = [](const std::vector<GifColorType>& colors) -> ColorMapObject* {
        return colors.empty() ? nullptr : GifMakeMapObject(int(colors.size()), colors.data());
    };
    ColorMapObject* globalMap = makeMap(global);
    EGifSetGifVersion(gif, true);
    EXPECT_EQ(EGifPutScreenDesc(gif, width, height, 8, 0, globalMap), GIF_OK);
    for (const Frame& frame : frames) {
        if (frame.transparent != NO_TRANSPARENT_COLOR) {
            GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 10, frame.transparent};
            GifByteType extension[4];
            size_t length = EGifGCBToExtension(&control, extension);
            EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension),
                      GIF_OK);
        }
        ColorMapObject* local = makeMap(frame.localColors);
        EXPECT_EQ(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                                   frame.interlace, local),
                  GIF_OK);
        // giflib takes the rows in file order: for an interlaced frame, pass by pass.
        std::vector<int> rows;
        for (auto [start, step] :
             frame.interlace ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                             : std::vector<std::pair<int, int>>{{0, 1}}) {
            for (int y = start; y < frame.height; y += step) {
                rows.push_back(y);
            }
        }
        for (int y : rows) {
            auto* line = const_cast<GifPixelType*>(&frame.indices[size_t(y * frame.width)]);
            EXPECT_EQ(EGifPutLine(gif, line, frame.width), GIF_OK);
        }
        GifFreeMapObject(local);
    }
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(globalMap);
    return out;
}

const std::vector<GifColorType> kFourColors = {
    {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

Frame FullFrame(int width, int height, int seed) {
    Frame frame;
    frame.width = width;
    frame.height = height;
    for (int i = 0; i < width * height; i++) {
        frame.indices.push_back(uint8((i / 3 + i / width + seed) % 4));
    }
    return frame;
}

void ExpectPixel(const BBitmap& image, uint32 x, uint32 y, GifColorType color, uint8 alpha) {
    const uint8* p = Pixel(image, x, y);
    EXPECT_EQ(p[2], color.Red) << x << "," << y;
    EXPECT_EQ(p[1], color.Green) << x << "," << y;
    EXPECT_EQ(p[0], color.Blue) << x << "," << y;
    EXPECT_EQ(p[3], alpha) << x << "," << y;
}

TEST(GIFTranslator, FramesDecodeThroughTheirPalettes) {
    GIFTranslator translator;
    struct Case {
        const char* what;
        bool interlace;
        bool local;
        int transparent;
    };
    for (Case c : {Case{"plain, global palette", false, false, NO_TRANSPARENT_COLOR},
                   Case{"interlaced", true, false, NO_TRANSPARENT_COLOR},
                   Case{"local palette", false, true, NO_TRANSPARENT_COLOR},
                   Case{"interlaced, local palette, transparent", true, true, 2}}) {
        SCOPED_TRACE(c.what);
        // 19 rows: every interlace pass has a partial last group.
        Frame frame = FullFrame(13, 19, 0);
        frame.interlace = c.interlace;
        std::vector<GifColorType> colors = kFourColors;
        if (c.local) {
            frame.localColors = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {1, 2, 3}};
            colors = frame.localColors;
        }
        frame.transparent = c.transparent;
        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(translator, WriteGif(13, 19, kFourColors, {frame}), &image), B_OK)
            << ErrorReason();
        EXPECT_EQ(image->ColorSpace(), c.transparent >= 0 ? B_RGBA32 : B_RGB32);
        for (uint32 y = 0; y < 19; y++) {
            for (uint32 x = 0; x < 13; x++) {
                uint8 index = frame.indices[y * 13 + x];
                if (index == c.transparent) {
                    EXPECT_EQ(Pixel(*image, x, y)[3], 0);
                } else {
                    ExpectPixel(*image, x, y, colors[index], 255);
                }
            }
        }
    }
}

TEST(GIFTranslator, AnimationIsReadAsItsFirstFrame) {
    GIFTranslator translator;
    Frame first = FullFrame(8, 8, 0);
    Frame second = FullFrame(8, 8, 1);
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, WriteGif(8, 8, kFourColors, {first, second}), &image), B_OK);
    ExpectPixel(*image, 0, 0, kFourColors[first.indices[0]], 255);
    ExpectPixel(*image, 7, 7, kFourColors[first.indices[63]], 255);
}

TEST(GIFTranslator, CanvasOutsideTheFrameIsTransparent) {
    GIFTranslator translator;
    Frame frame = FullFrame(4, 3, 0);
    frame.left = 5;
    frame.top = 2;
    frame.width = 4;  // also reaches one column past the canvas: clipped
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, WriteGif(8, 6, kFourColors, {frame}), &image), B_OK);
    EXPECT_EQ(image->ColorSpace(), B_RGBA32);
    EXPECT_EQ(Pixel(*image, 0, 0)[3], 0);
    EXPECT_EQ(Pixel(*image, 4, 2)[3], 0);
    ExpectPixel(*image, 5, 2, kFourColors[frame.indices[0]], 255);
    ExpectPixel(*image, 7, 4, kFourColors[frame.indices[10]], 255);
    EXPECT_EQ(Pixel(*image, 7, 5)[3], 0);
}

TEST(GIFTranslator, FewColoursAndTransparencySurviveARoundTrip) {
    GIFTranslator translator;
    std::unique_ptr<BBitmap> original;
    ASSERT_EQ(NewImage(40, 30, true, &original), B_OK);
    const uint8 palette[5][4] = {
        {0, 0, 255, 255}, {0, 200, 0, 255}, {90, 60, 30, 255}, {255, 255, 255, 255}, {0, 0, 0, 0}};
    for (uint32 y = 0; y < 30; y++) {
        for (uint32 x = 0; x < 40; x++) {
            std::memcpy(const_cast<uint8*>(Pixel(*original, x, y)), palette[(x / 4 + y) % 5], 4);
        }
    }
    std::vector<uint8> gif = Encode(translator, *original, kGIF);
    std::unique_ptr<BBitmap> decoded;
    ASSERT_EQ(Decode(translator, gif, &decoded), B_OK) << ErrorReason();
    EXPECT_EQ(decoded->ColorSpace(), B_RGBA32);
    for (uint32 y = 0; y < 30; y++) {
        for (uint32 x = 0; x < 40; x++) {
            const uint8* a = Pixel(*original, x, y);
            const uint8* b = Pixel(*decoded, x, y);
            ASSERT_EQ(b[3], a[3]) << x << "," << y;
            if (a[3] == 255) {
                for (int c = 0; c < 3; c++) {
                    ASSERT_NEAR(b[c], a[c], 2) << x << "," << y;
                }
            }
        }
    }
}

std::set<uint32> Colours(const BBitmap& image) {
    std::set<uint32> colours;
    for (uint32 y = 0; y < image.PixelHeight(); y++) {
        for (uint32 x = 0; x < image.PixelWidth(); x++) {
            uint32 v;
            std::memcpy(&v, Pixel(image, x, y), 4);
            colours.insert(v);
        }
    }
    return colours;
}

TEST(GIFTranslator, RichImagesAreQuantizedWithinTheSettings) {
    GIFTranslator translator;
    std::unique_ptr<BBitmap> original = MakeTestImage(160, 120, false);
    std::vector<uint8> dithered = Encode(translator, *original, kGIF);
    std::unique_ptr<BBitmap> decoded;
    ASSERT_EQ(Decode(translator, dithered, &decoded), B_OK);
    EXPECT_EQ(decoded->ColorSpace(), B_RGB32);
    EXPECT_LE(Colours(*decoded).size(), 256u);
    EXPECT_GT(PSNR(*original, *decoded), 30.0);

    ASSERT_EQ(translator.Settings().Set("colors", 16), B_OK);
    ASSERT_EQ(Decode(translator, Encode(translator, *original, kGIF), &decoded), B_OK);
    EXPECT_LE(Colours(*decoded).size(), 16u);
    ASSERT_EQ(translator.Settings().Set("colors", 256), B_OK);

    ASSERT_EQ(translator.Settings().Set("dithering", 0), B_OK);
    EXPECT_NE(Encode(translator, *original, kGIF), dithered);
    ASSERT_EQ(translator.Settings().Set("dithering", 1), B_OK);
}

TEST(GIFTranslator, HostileFilesAreRefused) {
    GIFTranslator translator;
    Frame frame = FullFrame(64, 48, 0);
    frame.interlace = true;
    std::vector<uint8> gif = WriteGif(64, 48, kFourColors, {frame});
    // The trailer alone may go missing: the frame is whole without it.
    gif.pop_back();
    ExpectTruncationsRefused(translator, gif);

    // A canvas of 60000 × 60000, refused from the screen descriptor.
    std::vector<uint8> bomb = gif;
    bomb[6] = bomb[8] = 60000 & 0xff;
    bomb[7] = bomb[9] = 60000 >> 8;
    std::unique_ptr<BBitmap> image;
    EXPECT_NE(Decode(translator, bomb, &image), B_OK);
    EXPECT_FALSE(ErrorReason().empty());

    // Not a single frame.
    EXPECT_NE(Decode(translator, WriteGif(8, 8, kFourColors, {}), &image), B_OK);
    EXPECT_FALSE(ErrorReason().empty());
}

TEST(GIFTranslator, FailedWritesAreReported) {
    GIFTranslator translator;
    std::unique_ptr<BBitmap> image = MakeTestImage(300, 200, true);
    ExpectWriteFailureReported(translator, *image, kGIF);
}

}  // namespace
}  // namespace orv::test
