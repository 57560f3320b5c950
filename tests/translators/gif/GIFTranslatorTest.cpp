// SPDX-License-Identifier: MIT
#include <gif_lib.h>

#include <cstring>
#include <set>

#include "tests/translators/common/CodecTestSupport.h"
#include "translators/gif/GIFTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kGIF = FourCC("GIFf");

const std::vector<GifColorType> kGlobal = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlace = false;
    std::vector<GifColorType> local;  // empty: the global palette
    int transparent = NO_TRANSPARENT_COLOR;
    std::vector<uint8> indices;
    const GifColorType& Color(uint32 x, uint32 y) const {
        return (local.empty() ? kGlobal : local)[indices[y * uint32(width) + x]];
    }
};

Frame Pattern(int width, int height, int seed) {
    Frame frame;
    frame.width = width;
    frame.height = height;
    for (int i = 0; i < width * height; i++) {
        frame.indices.push_back(uint8((i / 3 + i / width + seed) % 4));
    }
    return frame;
}

int Append(GifFileType* gif, const GifByteType* data, int size) {
    static_cast<std::vector<uint8>*>(gif->UserData)
        ->insert(static_cast<std::vector<uint8>*>(gif->UserData)->end(), data, data + size);
    return size;
}

// Writes a GIF with giflib itself, so the decoder is checked against another writer.
std::vector<uint8> WriteGif(int width, int height, const std::vector<Frame>& frames) {
    std::vector<uint8> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, Append, &error);
    ColorMapObject* global = GifMakeMapObject(4, kGlobal.data());
    EGifSetGifVersion(gif, true);
    EXPECT_EQ(EGifPutScreenDesc(gif, width, height, 8, 0, global), GIF_OK);
    for (const Frame& frame : frames) {
        if (frame.transparent != NO_TRANSPARENT_COLOR) {
            GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 10, frame.transparent};
            GifByteType extension[4];
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE,
                             int(EGifGCBToExtension(&control, extension)), extension);
        }
        ColorMapObject* local =
            frame.local.empty() ? nullptr : GifMakeMapObject(4, frame.local.data());
        EXPECT_EQ(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                                   frame.interlace, local),
                  GIF_OK);
        // An interlaced frame's rows go in pass order: every 8th from 0, from 4, every 4th
        // from 2, every 2nd from 1.
        const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < (frame.interlace ? 4 : 1); pass++) {
            for (int y = frame.interlace ? starts[pass] : 0; y < frame.height;
                 y += frame.interlace ? steps[pass] : 1) {
                EGifPutLine(gif, const_cast<uint8*>(&frame.indices[size_t(y * frame.width)]),
                            frame.width);
            }
        }
        GifFreeMapObject(local);
    }
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(global);
    return out;
}

void ExpectPixel(const BBitmap& image, uint32 x, uint32 y, GifColorType color) {
    const uint8 expected[] = {color.Blue, color.Green, color.Red, 255};
    EXPECT_EQ(std::memcmp(Pixel(image, x, y), expected, 4), 0) << x << "," << y;
}

TEST(GIFTranslator, FramesDecodeThroughTheirPalettes) {
    GIFTranslator translator;
    struct Case {
        bool interlace, local;
        int transparent;
    } cases[] = {{false, false, NO_TRANSPARENT_COLOR},
                 {true, false, NO_TRANSPARENT_COLOR},
                 {false, true, NO_TRANSPARENT_COLOR},
                 {true, true, 2}};
    for (Case c : cases) {
        SCOPED_TRACE(testing::Message() << c.interlace << c.local << c.transparent);
        Frame frame = Pattern(13, 19, 0);  // 19 rows: each pass ends on a partial group
        frame.interlace = c.interlace;
        frame.transparent = c.transparent;
        if (c.local) {
            frame.local = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {1, 2, 3}};
        }
        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(translator, WriteGif(13, 19, {frame}), &image), B_OK) << ErrorReason();
        EXPECT_EQ(image->ColorSpace(), c.transparent >= 0 ? B_RGBA32 : B_RGB32);
        for (uint32 y = 0; y < 19; y++) {
            for (uint32 x = 0; x < 13; x++) {
                if (frame.indices[y * 13 + x] == c.transparent) {
                    EXPECT_EQ(Pixel(*image, x, y)[3], 0);
                } else {
                    ExpectPixel(*image, x, y, frame.Color(x, y));
                }
            }
        }
    }
}

TEST(GIFTranslator, FirstFrameOnItsCanvas) {
    GIFTranslator translator;
    Frame first = Pattern(8, 8, 0);
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, WriteGif(8, 8, {first, Pattern(8, 8, 1)}), &image), B_OK);
    ExpectPixel(*image, 0, 0, first.Color(0, 0));
    ExpectPixel(*image, 7, 7, first.Color(7, 7));

    // A frame that leaves some of the canvas bare and reaches a column past it.
    Frame small = Pattern(4, 3, 0);
    small.left = 5;
    small.top = 2;
    ASSERT_EQ(Decode(translator, WriteGif(8, 6, {small}), &image), B_OK);
    EXPECT_EQ(image->ColorSpace(), B_RGBA32);
    EXPECT_EQ(Pixel(*image, 4, 2)[3], 0);
    EXPECT_EQ(Pixel(*image, 7, 5)[3], 0);
    ExpectPixel(*image, 5, 2, small.Color(0, 0));
    ExpectPixel(*image, 7, 4, small.Color(2, 2));
}

TEST(GIFTranslator, FewColoursAndTransparencySurviveARoundTrip) {
    GIFTranslator translator;
    std::unique_ptr<BBitmap> source, decoded;
    ASSERT_EQ(NewImage(40, 30, true, &source), B_OK);
    const uint8 colours[5][4] = {
        {0, 0, 255, 255}, {0, 200, 0, 255}, {90, 60, 30, 255}, {255, 255, 255, 255}, {0, 0, 0, 0}};
    for (uint32 y = 0; y < 30; y++) {
        for (uint32 x = 0; x < 40; x++) {
            std::memcpy(const_cast<uint8*>(Pixel(*source, x, y)), colours[(x / 4 + y) % 5], 4);
        }
    }
    ASSERT_EQ(Decode(translator, Encode(translator, *source, kGIF), &decoded), B_OK);
    EXPECT_EQ(decoded->ColorSpace(), B_RGBA32);
    for (int32 i = 0; i < source->BitsLength(); i++) {
        ASSERT_NEAR(static_cast<const uint8*>(decoded->Bits())[i],
                    static_cast<const uint8*>(source->Bits())[i], 2)
            << i;
    }
}

TEST(GIFTranslator, RichImagesAreQuantizedWithinTheSettings) {
    GIFTranslator translator;
    std::unique_ptr<BBitmap> source = MakePhotoLikeImage(160, 120, false), decoded;
    auto colours = [&] {
        std::set<uint32> set;
        for (int32 i = 0; i < decoded->BitsLength(); i += 4) {
            uint32 v;
            std::memcpy(&v, static_cast<const uint8*>(decoded->Bits()) + i, 4);
            set.insert(v);
        }
        return set.size();
    };
    std::vector<uint8> dithered = Encode(translator, *source, kGIF);
    ASSERT_EQ(Decode(translator, dithered, &decoded), B_OK);
    EXPECT_EQ(decoded->ColorSpace(), B_RGB32);
    EXPECT_LE(colours(), 256u);
    EXPECT_GT(PSNR(*source, *decoded), 30.0);

    ASSERT_EQ(translator.Settings().Set("colors", 16), B_OK);
    ASSERT_EQ(Decode(translator, Encode(translator, *source, kGIF), &decoded), B_OK);
    EXPECT_LE(colours(), 16u);
    ASSERT_EQ(translator.Settings().Set("colors", 256), B_OK);
    ASSERT_EQ(translator.Settings().Set("dithering", 0), B_OK);
    EXPECT_NE(Encode(translator, *source, kGIF), dithered);
    ASSERT_EQ(translator.Settings().Set("dithering", 1), B_OK);
}

TEST(GIFTranslator, HostileFilesAreRefusedAndWriteFailuresReported) {
    GIFTranslator translator;
    Frame frame = Pattern(64, 48, 0);
    frame.interlace = true;
    std::vector<uint8> gif = WriteGif(64, 48, {frame});
    gif.pop_back();  // the trailer alone may go: the frame is whole without it
    BMemoryIO source(gif.data(), gif.size());
    DecodedImage decoded;
    EXPECT_EQ(translator.DecodePicture(source, &decoded), B_OK);
    EXPECT_EQ(decoded.damage, "");

    std::vector<uint8> bomb = gif;  // a canvas of 60000 × 60000
    bomb[6] = bomb[8] = 60000 & 0xff;
    bomb[7] = bomb[9] = 60000 >> 8;
    ExpectRefused(translator, bomb, "bomb");
    ExpectRefused(translator, WriteGif(8, 8, {}), "no frame at all");
    // A damaged frame for which giflib names no error (found by the fuzzer).
    const uint8 unnamed[] = {'G',  'I', 'F',  '8',  '9', 'a',  12,   0, 10,   0,    0x77,
                             0,    0,   0x21, 0xf9, 4,   1,    10,   0, 1,    0,    0x2c,
                             0,    0,   0,    0,    12,  0,    10,   0, 0x81, 0xff, 0x39,
                             0x61, 12,  0,    10,   0,   0x77, 0xff, 0, 0,    0};
    ExpectRefused(translator, {std::begin(unnamed), std::end(unnamed)}, "unnamed error");

    // giflib ignores a failed write of the trailer; the last byte's loss must still tell.
    ExpectWriteFailureReported(translator, *MakePhotoLikeImage(300, 200, true), kGIF);
}

}  // namespace
}  // namespace orv::test
