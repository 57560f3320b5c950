// SPDX-License-Identifier: MIT
// Animated PNG: frames composed as players show them (checked against apngdis and against
// frames worked out by hand for each dispose and blend operation), what our writer makes
// played back by other readers, and damage in the middle of an animation.
#include <fstream>

#include "platform/translation/PictureIO.h"
#include "tests/translators/png/PngTestFiles.h"

namespace orv::test {
namespace {

std::vector<uint8> WriteAll(PNGTranslator& translator, const std::vector<const BBitmap*>& frames,
                            const std::vector<uint32>& delays, uint32 announced, int32 loops) {
    BMallocIO out;
    std::unique_ptr<PictureWriter> writer;
    EXPECT_EQ(translator.OpenWriter(kPNG, out, &writer), B_OK);
    PictureInfo info;
    info.width = frames[0]->PixelWidth();
    info.height = frames[0]->PixelHeight();
    info.frameCount = announced;
    info.loopCount = loops;
    info.alpha = true;
    EXPECT_EQ(writer->Begin(info), B_OK);
    for (size_t i = 0; i < frames.size(); i++) {
        EXPECT_EQ(writer->WriteFrame(*frames[i], FrameTiming{delays[i]}), B_OK) << ErrorReason();
    }
    EXPECT_EQ(writer->Finish(), B_OK) << ErrorReason();
    const auto* data = static_cast<const uint8*>(out.Buffer());
    return std::vector<uint8>(data, data + out.BufferLength());
}

// Same visible pixels: colour only where something shows.
void ExpectSameShown(const BBitmap& expected, const BBitmap& actual) {
    ASSERT_EQ(actual.PixelWidth(), expected.PixelWidth());
    ASSERT_EQ(actual.PixelHeight(), expected.PixelHeight());
    const bool alpha = expected.ColorSpace() == B_RGBA32;
    for (uint32 y = 0; y < expected.PixelHeight(); y++) {
        for (uint32 x = 0; x < expected.PixelWidth(); x++) {
            const uint8* e = Pixel(expected, x, y);
            const uint8* a = Pixel(actual, x, y);
            const uint8 ea = alpha ? e[3] : 255;
            const uint8 aa = actual.ColorSpace() == B_RGBA32 ? a[3] : 255;
            ASSERT_EQ(aa, ea) << x << "," << y;
            if (ea != 0) {
                ASSERT_EQ(std::memcmp(a, e, 3), 0) << x << "," << y;
            }
        }
    }
}

// An RGBA canvas of `width` × 1 and frames given as (x, pixels, dispose, blend); each
// frame's rows are stored unfiltered in a stored zlib stream.
struct HandFrame {
    uint32 x;
    std::vector<uint32> argb;
    uint8 dispose;
    uint8 blend;
};

std::vector<uint8> HandMadeApng(uint32 width, const std::vector<HandFrame>& frames) {
    std::vector<uint8> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8> header(13, 0);
    PutBig32(&header[0], width);
    PutBig32(&header[4], 1);
    header[8] = 8;
    header[9] = 6;
    const auto add = [&png](const std::vector<uint8>& chunk) {
        png.insert(png.end(), chunk.begin(), chunk.end());
    };
    add(Chunk("IHDR", header));
    std::vector<uint8> control(8, 0);
    PutBig32(&control[0], uint32(frames.size()));
    add(Chunk("acTL", control));
    uint32 sequence = 0;
    for (const HandFrame& f : frames) {
        std::vector<uint8> fctl(26, 0);
        PutBig32(&fctl[0], sequence++);
        PutBig32(&fctl[4], uint32(f.argb.size()));
        PutBig32(&fctl[8], 1);
        PutBig32(&fctl[12], f.x);
        fctl[21] = 10;  // 10 over a denominator of 0, which counts as 100
        fctl[24] = f.dispose;
        fctl[25] = f.blend;
        add(Chunk("fcTL", fctl));
        std::vector<uint8> row = {0};
        for (uint32 p : f.argb) {
            row.insert(row.end(), {uint8(p >> 16), uint8(p >> 8), uint8(p), uint8(p >> 24)});
        }
        std::vector<uint8> data = StoredZlib(row);
        if (&f == &frames.front()) {
            add(Chunk("IDAT", data));
        } else {
            std::vector<uint8> fdat(4);
            PutBig32(&fdat[0], sequence++);
            fdat.insert(fdat.end(), data.begin(), data.end());
            add(Chunk("fdAT", fdat));
        }
    }
    add(Chunk("IEND", {}));
    return png;
}

TEST(Apng, DisposeAndBlendOperationsComposeAsPlayersShowThem) {
    constexpr uint32 kRed = 0xffff0000, kGreen = 0xff00ff00, kWhite = 0xffffffff;
    const std::vector<HandFrame> frames = {
        {0, {kRed, kRed, kRed, kRed}, 0, 0},
        // Half-transparent blue over red, then taken back off.
        {1, {0x800000ff, 0x00000000}, 2, 1},
        // Replaces, then is cleared to transparent.
        {2, {kGreen, kGreen}, 1, 0},
        {0, {kWhite}, 0, 0},
    };
    // What each frame shows, worked out by hand: blue at alpha 128 over opaque red is
    // (127, 0, 128) opaque; blending over leaves the transparent pixel's red as it was.
    const std::vector<std::vector<uint32>> shown = {
        {kRed, kRed, kRed, kRed},
        {kRed, 0xff7f0080, kRed, kRed},
        {kRed, kRed, kGreen, kGreen},
        {kWhite, kRed, 0, 0},
    };
    PNGTranslator translator;
    const ReadPicture read = ReadAllFramesOK(translator, HandMadeApng(4, frames));
    EXPECT_EQ(read.info.frameCount, 4u);
    EXPECT_EQ(read.info.loopCount, 0);
    EXPECT_TRUE(read.info.alpha);
    EXPECT_TRUE(read.damage.empty()) << read.damage;
    ASSERT_EQ(read.frames.size(), 4u);
    for (size_t i = 0; i < shown.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read.delays[i], 100u);
        for (uint32 x = 0; x < 4; x++) {
            const uint32 value = PixelValue(*read.frames[i], x, 0);
            EXPECT_EQ(shown[i][x] >> 24 == 0 ? value >> 24 : value, shown[i][x]) << x;
        }
    }
    // A single frame is a still picture; one that gives no image data is not shown.
    const ReadPicture still = ReadAllFramesOK(translator, HandMadeApng(4, {frames[0]}));
    EXPECT_EQ(still.info.frameCount, 1u);
}

// Frames made by ImageMagick, assembled by apngasm (palette, regions, transparency) and
// taken apart again by apngdis: our frames are the ones apngdis composes.
TEST(Apng, AnimationsOfOtherProgramsMatchApngdis) {
    if (!RunTool("convert -version") || !RunTool("which apngasm apngdis")) {
        GTEST_SKIP() << "ImageMagick, apngasm or apngdis missing";
    }
    ScratchFolder folder;
    const std::string dir = folder.Path("");
    ASSERT_TRUE(
        RunTool("cd " + dir +
                " && convert -size 20x16 xc:red f1.png && "
                "convert -size 20x16 xc:red -fill blue -draw 'rectangle 3,3 8,8' f2.png && "
                "convert -size 20x16 xc:none -fill '#00800080' -draw 'circle 10,8 14,8' f3.png && "
                "convert -size 20x16 gradient:white-black f4.png && "
                "apngasm anim.png f1.png f2.png f3.png f4.png 1 5 -l3 && apngdis anim.png"));
    PNGTranslator translator;
    const ReadPicture read = ReadAllFramesOK(translator, ReadFile(folder.Path("anim.png")));
    EXPECT_EQ(read.info.frameCount, 4u);
    EXPECT_EQ(read.info.loopCount, 3);
    EXPECT_TRUE(read.damage.empty()) << read.damage;
    ASSERT_EQ(read.frames.size(), 4u);
    for (size_t i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read.delays[i], 200u);
        const std::string name = folder.Path("apngframe" + std::to_string(i + 1) + ".png");
        ExpectSameShown(*DecodeOK(translator, ReadFile(name)), *read.frames[i]);
    }
}

// Ours, played by apngdis and by our reader: every frame exact, delays and loops kept, and
// a writer given fewer frames than announced still makes a whole file.
TEST(Apng, OurAnimationsPlayEverywhereWithTheirDelays) {
    std::vector<std::unique_ptr<BBitmap>> owned;
    owned.push_back(NoisePicture(40, 30, true));
    for (uint32 i = 1; i < 4; i++) {
        auto frame = NewBitmap(40, 30, true);
        std::memcpy(frame->Bits(), owned[i - 1]->Bits(), size_t(frame->BitsLength()));
        for (uint32 y = 4 * i; y < 4 * i + 6; y++) {
            for (uint32 x = 5 * i; x < 5 * i + 9; x++) {
                SetPixelValue(*frame, x, y, i == 2 ? 0x00000000 : 0xff102030 * i);
            }
        }
        owned.push_back(std::move(frame));
    }
    const std::vector<const BBitmap*> frames = {owned[0].get(), owned[1].get(), owned[2].get(),
                                                owned[3].get()};
    const std::vector<uint32> delays = {100, 40, 1500, 90000};
    const std::vector<std::string> fractions = {"delay=1/10", "delay=1/25", "delay=3/2",
                                                "delay=90/1"};
    PNGTranslator translator;
    const std::vector<uint8> png = WriteAll(translator, frames, delays, 4, 2);
    const std::vector<std::string> types = ChunkTypes(png);
    EXPECT_EQ(CountOf(types, "fcTL"), 4u);
    EXPECT_EQ(CountOf(types, "acTL"), 1u);

    const ReadPicture read = ReadAllFramesOK(translator, png);
    EXPECT_EQ(read.info.loopCount, 2);
    ASSERT_EQ(read.frames.size(), 4u);
    EXPECT_EQ(read.delays, delays);
    for (size_t i = 0; i < 4; i++) {
        ExpectSameShown(*frames[i], *read.frames[i]);
    }

    if (RunTool("which apngdis")) {
        ScratchFolder folder;
        folder.Write("ours.png", png);
        ASSERT_TRUE(RunTool("cd " + folder.Path("") + " && apngdis ours.png"));
        for (size_t i = 0; i < 4; i++) {
            const std::string stem = folder.Path("apngframe" + std::to_string(i + 1));
            ExpectSameShown(*frames[i], *DecodeOK(translator, ReadFile(stem + ".png")));
            EXPECT_EQ(ToolOutput("cat " + stem + ".txt"), fractions[i]);
        }
    }

    // Announced four, given two: the file says two and reads whole.
    const std::vector<uint8> shorter = WriteAll(translator, {frames[0], frames[1]}, delays, 4, 0);
    const ReadPicture two = ReadAllFramesOK(translator, shorter);
    EXPECT_EQ(two.info.frameCount, 2u);
    EXPECT_TRUE(two.damage.empty()) << two.damage;
}

// A cut or a frame out of sequence keeps the frames before it and says what was lost.
TEST(Apng, DamageKeepsTheFramesBeforeIt) {
    std::vector<std::unique_ptr<BBitmap>> owned;
    for (uint32 i = 0; i < 3; i++) {
        owned.push_back(NoisePicture(32, 32, false));
        auto* bits = static_cast<uint8*>(owned.back()->Bits());
        for (int32 b = 0; b < owned.back()->BitsLength(); b++) {
            bits[b] = uint8(bits[b] ^ (i * 37));
        }
    }
    PNGTranslator translator;
    const std::vector<uint8> png =
        WriteAll(translator, {owned[0].get(), owned[1].get(), owned[2].get()}, {50, 50, 50}, 3, 0);
    const std::vector<ChunkInfo> chunks = ListChunks(png);
    std::vector<size_t> fdat;
    for (const ChunkInfo& chunk : chunks) {
        if (chunk.type == "fdAT") {
            fdat.push_back(chunk.offset);
        }
    }
    ASSERT_EQ(fdat.size(), 2u);

    // Cut in the middle of the last frame's data.
    const std::vector<uint8> cut(png.begin(), png.begin() + ptrdiff_t(fdat[1] + 12 + 1000));
    const ReadPicture truncated = ReadAllFramesOK(translator, cut);
    ASSERT_EQ(truncated.frames.size(), 3u);
    ExpectSameShown(*owned[1], *truncated.frames[1]);
    EXPECT_EQ(truncated.damage.rfind("fichier PNG tronqué : image 3 sur 3, environ ", 0), 0u)
        << truncated.damage;
    // The rows the cut frame holds are shown; the others still show the frame before.
    const auto sameRow = [](const BBitmap& a, const BBitmap& b, uint32 y) {
        for (uint32 x = 0; x < 32; x++) {
            if (std::memcmp(Pixel(a, x, y), Pixel(b, x, y), 3) != 0) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(sameRow(*truncated.frames[2], *owned[2], 0));
    EXPECT_TRUE(sameRow(*truncated.frames[2], *owned[1], 31));

    // Every frame whole, the end missing.
    const ReadPicture ended =
        ReadAllFramesOK(translator, std::vector<uint8>(png.begin(), png.end() - 12));
    ASSERT_EQ(ended.frames.size(), 3u);
    ExpectSameShown(*owned[2], *ended.frames[2]);
    EXPECT_EQ(ended.damage, "fichier PNG tronqué après l'image");

    // The second frame's data numbered out of sequence.
    std::vector<uint8> shuffled = png;
    PutBig32(&shuffled[fdat[0] + 8], 99);
    PutBig32(&shuffled[fdat[0] + 8 + Big32(&shuffled[fdat[0]])],
             Crc32(&shuffled[fdat[0] + 4], 4 + Big32(&shuffled[fdat[0]])));
    const ReadPicture broken = ReadAllFramesOK(translator, shuffled);
    EXPECT_EQ(broken.info.frameCount, 1u);
    EXPECT_EQ(broken.damage, "animation PNG endommagée : 1 images sur 3 gardées");
}

}  // namespace
}  // namespace orv::test
