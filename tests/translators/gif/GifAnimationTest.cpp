// SPDX-License-Identifier: MIT
// Animated GIF against ImageMagick: what our reader composites must be what `convert
// -coalesce` shows, frame by frame, for every disposal method; what our writer makes must
// play back, in ImageMagick too, as the frames it was given.
#include <gif_lib.h>

#include "tests/TempFolder.h"
#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ExternalTools.h"
#include "translators/gif/GIFTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kGIF = FourCC("GIFf");

// The frames of `gif` as ImageMagick coalesces them.
std::vector<std::unique_ptr<BBitmap>> Coalesced(const orvtest::TempFolder& folder,
                                                const std::string& gif) {
    std::vector<std::unique_ptr<BBitmap>> frames;
    EXPECT_EQ(RunTool({"convert", gif, "-coalesce", "-alpha", "on", folder / "frame-%03d.pam"}), 0);
    for (int i = 0;; i++) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%03d.pam", i);
        if (!std::filesystem::exists(folder / name)) {
            break;
        }
        frames.push_back(ReadNetpbm(folder / name));
        std::filesystem::remove(folder / name);
    }
    return frames;
}

// Where one shows a pixel transparent, the other does; elsewhere both have the same colour
// within `tolerance` and, over the frame, within `meanTolerance` on average (dithering
// spreads each pixel's error to its neighbours).
void ExpectSameFrame(const BBitmap& expected, const BBitmap& actual, int tolerance,
                     double meanTolerance = 0) {
    ASSERT_EQ(expected.PixelWidth(), actual.PixelWidth());
    ASSERT_EQ(expected.PixelHeight(), actual.PixelHeight());
    int reported = 0;
    uint64 error = 0, opaque = 0;
    for (uint32 y = 0; y < expected.PixelHeight(); y++) {
        for (uint32 x = 0; x < expected.PixelWidth(); x++) {
            const uint8* e = Pixel(expected, x, y);
            const uint8* a = Pixel(actual, x, y);
            const uint8 expectedAlpha = expected.ColorSpace() == B_RGBA32 ? e[3] : 255;
            const uint8 alpha = actual.ColorSpace() == B_RGBA32 ? a[3] : 255;
            bool same = (expectedAlpha == 0) == (alpha == 0);
            for (int c = 0; c < 3 && same && alpha != 0; c++) {
                const int difference = std::abs(int(e[c]) - int(a[c]));
                same = difference <= tolerance;
                error += uint64(difference);
            }
            opaque += alpha != 0 ? 3 : 0;
            if (!same && reported++ < 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex
                              << PixelValue(expected, x, y) << " vs " << PixelValue(actual, x, y);
            }
        }
    }
    EXPECT_LE(double(error), meanTolerance * double(std::max<uint64>(opaque, 1)));
}

class GifAnimationTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("convert") || !HaveTool("identify")) {
            GTEST_SKIP() << "ImageMagick is not installed (scripts/install-deps.sh)";
        }
    }
    void TearDown() override { RestoreDefaults(fTranslator); }

    std::string Made(const std::string& name, std::vector<std::string> args) {
        const std::string path = fFolder / name;
        args.insert(args.begin(), "convert");
        args.push_back(path);
        EXPECT_EQ(RunTool(args), 0) << name;
        return path;
    }

    GIFTranslator fTranslator;
    orvtest::TempFolder fFolder;
};

TEST_F(GifAnimationTest, FramesAreWhatImageMagickCoalesces) {
    // A 40 × 30 canvas: a full first frame, then partial frames at offsets, one with a
    // transparent hole, each kept, cleared or restored after it is shown.
    auto frames = [](const std::string& first, const std::string& rest) {
        return std::vector<std::string>{
            "-dispose",
            first,
            "-delay",
            "7",
            "-size",
            "40x30",
            "gradient:navy-orange",
            "-dispose",
            rest,
            "-delay",
            "12",
            "(",
            "-size",
            "12x9",
            "xc:red",
            "-repage",
            "+5+4",
            ")",
            "(",
            "-size",
            "14x10",
            "xc:none",
            "-fill",
            "lime",
            "-draw",
            "rectangle 3,2 10,7",
            "-repage",
            "+20+15",
            ")",
            "(",
            "-size",
            "6x20",
            "xc:white",
            "-repage",
            "+30+2",
            ")",
        };
    };
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int32 loopCount;
    };
    std::vector<std::string> mixed = {"-interlace", "GIF", "-loop", "0"};
    for (const char* disposal : {"None", "Background", "Previous", "None"}) {
        auto one = frames(disposal, disposal);
        mixed.insert(mixed.end(), one.begin(), one.end());
    }
    const Case cases[] = {
        {"none.gif",
         [&] {
             auto a = frames("None", "None");
             a.insert(a.end(), {"-loop", "3"});
             return a;
         }(),
         3},
        {"background.gif", frames("Background", "Background"), 0},
        {"previous.gif", frames("None", "Previous"), 0},
        {"mixed.gif", mixed, 0},
        // A first frame that leaves most of the canvas bare.
        {"bare.gif",
         {"-size", "8x8", "xc:blue", "-repage", "40x30+10+10", "(", "-size", "8x8", "xc:yellow",
          "-repage", "+20+5", ")", "-loop", "1"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Made(c.name, c.args);
        const ReadPicture ours = ReadAllFramesOK(fTranslator, ReadFile(path));
        const auto theirs = Coalesced(fFolder, path);
        ASSERT_EQ(ours.frames.size(), theirs.size());
        EXPECT_EQ(ours.info.loopCount, c.loopCount);
        EXPECT_EQ(ours.damage, "");
        for (size_t i = 0; i < theirs.size(); i++) {
            SCOPED_TRACE(i);
            ExpectSameFrame(*theirs[i], *ours.frames[i], 0);
        }
    }
    // Delays in hundredths of a second come out in milliseconds, as stored.
    const ReadPicture none = ReadAllFramesOK(fTranslator, ReadFile(fFolder / "none.gif"));
    EXPECT_EQ(none.delays, (std::vector<uint32>{70, 120, 120, 120}));

    // A first frame to be restored to what was before it leaves the canvas bare, as browsers
    // show it (ImageMagick keeps that frame instead).
    const ReadPicture first = ReadAllFramesOK(
        fTranslator, ReadFile(Made("first-previous.gif", frames("Previous", "None"))));
    ASSERT_EQ(first.frames.size(), 4u);
    EXPECT_EQ(PixelValue(*first.frames[1], 0, 0), 0u);
    EXPECT_EQ(PixelValue(*first.frames[1], 6, 5), 0xffff0000u);
}

// Six frames of a sprite over a gradient: it moves, stays still, leaves a transparent hole
// that fills again, and then everything changes colour.
std::vector<std::unique_ptr<BBitmap>> SpriteFrames() {
    std::vector<std::unique_ptr<BBitmap>> frames;
    for (int i = 0; i < 6; i++) {
        auto frame = NewBitmap(48, 32, true);
        for (uint32 y = 0; y < 32; y++) {
            for (uint32 x = 0; x < 48; x++) {
                uint32 argb = 0xff000000u | (x * 5) << 16 | (y * 7) << 8 | 0x40;
                if (i == 5) {
                    argb = 0xff000000u | (x * 3 + 100) << 8 | (y * 6 + 60);
                }
                const int left = i < 2 ? 4 + 12 * i : 16;
                if (int(x) >= left && int(x) < left + 10 && y >= 10 && y < 18) {
                    argb = 0xffe02020;
                }
                if (i == 3 && x >= 30 && y < 12) {
                    argb = 0;  // a hole over what the frame before showed
                }
                SetPixelValue(*frame, x, y, argb);
            }
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

// The frames written as an animation announced to have `announced` of them.
std::vector<uint8> WriteAnimation(GIFTranslator& translator,
                                  const std::vector<std::unique_ptr<BBitmap>>& frames,
                                  uint32 announced, int32 loopCount) {
    BMallocIO out;
    std::unique_ptr<PictureWriter> writer;
    EXPECT_EQ(translator.OpenWriter(kGIF, out, &writer), B_OK);
    PictureInfo info = PlainInfo(*frames[0]);
    info.frameCount = announced;
    info.loopCount = loopCount;
    EXPECT_EQ(writer->Begin(info), B_OK) << ErrorReason();
    for (size_t i = 0; i < frames.size(); i++) {
        EXPECT_EQ(writer->WriteFrame(*frames[i], FrameTiming{uint32(40 + 10 * i)}), B_OK)
            << ErrorReason();
    }
    EXPECT_EQ(writer->Finish(), B_OK) << ErrorReason();
    const auto* data = static_cast<const uint8*>(out.Buffer());
    return std::vector<uint8>(data, data + out.BufferLength());
}

TEST_F(GifAnimationTest, WrittenAnimationsPlayBackAsGiven) {
    const auto frames = SpriteFrames();
    const std::string path = fFolder / "written.gif";
    orvtest::WriteFile(path, [&] {
        const auto bytes = WriteAnimation(fTranslator, frames, 6, 3);
        return std::string(bytes.begin(), bytes.end());
    }());

    const auto theirs = Coalesced(fFolder, path);
    ASSERT_EQ(theirs.size(), frames.size());
    for (size_t i = 0; i < frames.size(); i++) {
        SCOPED_TRACE(i);
        ExpectSameFrame(*frames[i], *theirs[i], 40, 4);
    }
    std::string shown;
    ASSERT_EQ(RunTool({"identify", "-format", "%T %W %w %h %X%Y|", path}, &shown), 0);
    EXPECT_EQ(shown,
              "4 48 48 32 +0+0|5 48 22 8 +4+10|6 48 18 12 +30+0|7 48 1 1 +0+0|"
              "8 48 18 12 +30+0|9 48 48 32 +0+0|")
        << "delays, and only what changed written: the sprite's old and new places, the "
           "frame before the hole cleared where it comes, nothing, the hole filled, all";
    std::string verbose;
    ASSERT_EQ(RunTool({"identify", "-verbose", path + "[0]"}, &verbose), 0);
    EXPECT_NE(verbose.find("Iterations: 3"), std::string::npos);

    // The hole filled again in the first frame's colours shares its palette; the last frame,
    // in other colours, has its own.
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, 6);
    EXPECT_EQ(gif->SavedImages[4].ImageDesc.ColorMap, nullptr);
    EXPECT_NE(gif->SavedImages[5].ImageDesc.ColorMap, nullptr);
    DGifCloseFile(gif, &error);

    // A writer told of more frames than come (the source ended early) still leaves a whole
    // file, which plays for ever when told so.
    std::vector<std::unique_ptr<BBitmap>> first;
    first.push_back(std::move(SpriteFrames()[0]));
    const ReadPicture fewer =
        ReadAllFramesOK(fTranslator, WriteAnimation(fTranslator, first, 6, 0));
    EXPECT_EQ(fewer.info.frameCount, 1u);
    EXPECT_EQ(fewer.info.loopCount, 0);
    EXPECT_EQ(fewer.damage, "");
}

TEST_F(GifAnimationTest, AFileCutShortKeepsItsFramesAndSaysSo) {
    const std::string path = Made("cut.gif", {"-delay", "5", "-size", "64x48", "gradient:red-blue",
                                              "gradient:green-yellow", "gradient:white-black"});
    const std::vector<uint8> whole = ReadFile(path);
    // Cut in the last frame's data: every frame is there, the last one in part.
    std::vector<uint8> cut(whole.begin(), whole.end() - ptrdiff_t(whole.size() / 10));
    ReadPicture animation = ReadAllFramesOK(fTranslator, cut);
    EXPECT_EQ(animation.info.frameCount, 3u);
    EXPECT_EQ(animation.damage, "fichier tronqué : la dernière des 3 images est incomplète");

    // A single picture cut in its rows gives the rows before the cut and how much is
    // missing; cut before its first row it is refused. (giflib reads a data block of up to
    // 255 bytes whole or not at all: the picture is noisy so that it takes many.)
    const std::string single =
        Made("single.gif", {"-seed", "3", "-size", "64x48", "plasma:fractal"});
    const std::vector<uint8> picture = ReadFile(single);
    std::vector<uint8> half(picture.begin(), picture.begin() + ptrdiff_t(picture.size() / 2));
    BMemoryIO source(half.data(), half.size());
    DecodedImage decoded;
    ASSERT_EQ(fTranslator.DecodePicture(source, &decoded), B_OK) << ErrorReason();
    int percent = 0;
    ASSERT_EQ(std::sscanf(decoded.damage.c_str(), "fichier tronqué : environ %d %%", &percent), 1)
        << decoded.damage;
    EXPECT_GT(percent, 20);
    EXPECT_LT(percent, 80);
    const auto full = DecodeOK(fTranslator, picture);
    const uint32 rowsRead = 48 * uint32(100 - percent) / 100;
    for (uint32 y = 0; y + 1 < rowsRead; y++) {
        ASSERT_EQ(std::memcmp(Pixel(*full, 0, y), Pixel(*decoded.bitmap, 0, y), 64 * 4), 0) << y;
    }
    // The header, the colour table, the frame's descriptor and code size, a few bytes.
    const ptrdiff_t firstRow = 13 + (3 << ((picture[10] & 7) + 1)) + 10 + 1 + 4;
    ExpectRefused(fTranslator, std::vector<uint8>(picture.begin(), picture.begin() + firstRow),
                  "cut before the first row");
}

TEST_F(GifAnimationTest, ThousandsOfHugeFramesAreCountedWithoutDecoding) {
    // A 16000 × 16000 canvas (a 1 GB bitmap) and 3000 frames of one pixel: a few kilobytes
    // that claim 768 gigapixels. The reader counts them cheaply; the sequence check fails.
    std::vector<uint8> gif = {'G',  'I', 'F', '8', '9', 'a', 0x80, 0x3e, 0x80, 0x3e,
                              0x80, 0,   0,   0,   0,   0,   255,  255,  255};
    for (int i = 0; i < 3000; i++) {
        gif.insert(gif.end(), {0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0});
    }
    gif.push_back(0x3b);
    BMemoryIO source(gif.data(), gif.size());
    std::unique_ptr<PictureReader> reader;
    ASSERT_EQ(fTranslator.OpenReader(source, &reader), B_OK) << ErrorReason();
    EXPECT_EQ(reader->Info().frameCount, 3000u);
    ClearErrorReason();
    EXPECT_NE(
        CheckSequenceSize(reader->Info().width, reader->Info().height, reader->Info().frameCount),
        B_OK);
    EXPECT_FALSE(ErrorReason().empty());
}

}  // namespace
}  // namespace orv::test
