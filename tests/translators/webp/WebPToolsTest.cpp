// SPDX-License-Identifier: MIT
// WebP files made and checked by other programs: Debian's webp tools (gif2webp, img2webp,
// cwebp, webpmux), ImageMagick and exiftool.
#include <sstream>

#include "tests/translators/webp/WebPTestSupport.h"

namespace orv::test {
namespace {

using orvtest::TempFolder;

// The loop count and the frames' durations as webpmux tells them.
void ExpectTimingSaid(const std::string& file, int32 loop, const std::vector<uint32>& delays) {
    const std::string info = ToolBytes("webpmux -info '" + file + "'");
    EXPECT_NE(info.find("Loop Count : " + std::to_string(loop)), std::string::npos) << info;
    // Each frame's line: "N:", width, height, alpha, x and y offsets, then the duration.
    std::vector<uint32> said;
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string number, skipped;
        uint32 duration = 0;
        if (fields >> number && number.size() > 1 && number.back() == ':' &&
            std::isdigit(static_cast<unsigned char>(number[0])) &&
            fields >> skipped >> skipped >> skipped >> skipped >> skipped >> duration) {
            said.push_back(duration);
        }
    }
    EXPECT_EQ(said, delays) << info;
}

// The file `command`, run in `folder`, makes as `made`, read through the translator.
Sequence ReadMade(WebPTranslator& translator, const TempFolder& folder, const std::string& command,
                  const std::string& made) {
    EXPECT_TRUE(RunTool("cd " + folder.Path() + " && " + command));
    Sequence read = ReadSequence(translator, ReadFile(folder / made));
    EXPECT_EQ(read.status, B_OK) << ErrorReason();
    return read;
}

// Animations of the usual makers, read frame by frame as ImageMagick composes them.
TEST(WebPTools, AnimationsOfOtherMakersMatchImageMagick) {
    if (const std::string missing = MissingTool({"convert", "gif2webp", "img2webp"});
        !missing.empty()) {
        GTEST_SKIP() << missing << " absent: see scripts/install-deps.sh";
    }
    TempFolder folder;
    // Frames of a GIF that leave parts of the one before and add transparent parts.
    ASSERT_TRUE(
        RunTool("cd " + folder.Path() +
                " && convert -loop 3 -delay 7 -size 40x30 xc:red -delay 12 \\( -size 20x10 "
                "xc:blue -set page +5+5 \\) -delay 3 \\( -size 10x10 xc:none -draw 'fill green "
                "circle 5,5 5,1' -set page +25+15 \\) anim.gif"
                " && convert -size 40x30 xc:red f1.png && convert -size 40x30 xc:blue f2.png"
                " && convert -size 40x30 gradient:green-yellow f3.png"));
    const struct {
        const char* command;
        int tolerance;
        int32 loop;
        std::vector<uint32> delays;
    } cases[] = {
        {"gif2webp -quiet anim.gif -o out.webp", 0, 3, {70, 120, 30}},
        {"gif2webp -quiet -lossy -q 80 anim.gif -o out.webp", 1, 3, {70, 120, 30}},
        {"img2webp -loop 5 -lossy -d 80 f1.png -d 40 f2.png -lossless f3.png -o out.webp",
         1,
         5,
         {80, 40, 40}},
    };
    WebPTranslator translator;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        Sequence read = ReadMade(translator, folder, c.command, "out.webp");
        ASSERT_EQ(read.status, B_OK);
        EXPECT_EQ(read.info.loopCount, c.loop);
        EXPECT_EQ(read.delays, c.delays);
        EXPECT_EQ(read.damage, "");
        const auto expected = Coalesced(folder, folder / "out.webp");
        ASSERT_EQ(read.frames.size(), expected.size());
        for (size_t i = 0; i < expected.size(); i++) {
            ExpectSamePixels(*expected[i], *read.frames[i], c.tolerance);
        }
    }
}

// What we write plays in the others with its frames, durations and loop count.
TEST(WebPTools, WrittenAnimationsPlayElsewhere) {
    if (const std::string missing = MissingTool({"convert", "webpmux"}); !missing.empty()) {
        GTEST_SKIP() << missing << " absent: see scripts/install-deps.sh";
    }
    TempFolder folder;
    WebPTranslator translator;
    // Opaque: ImageMagick blends every frame over the one before, which is right only
    // where a frame has no partly transparent pixels (those are checked through libwebp's
    // own decoder by the round trip).
    const auto frames = SampleFrames(48, 40, true);
    const std::vector<uint32> delays = {70, 0, 250, 1000};
    PictureInfo info;
    info.loopCount = 4;
    for (bool lossless : {true, false}) {
        SCOPED_TRACE(lossless ? "lossless" : "lossy");
        ASSERT_EQ(translator.Settings().Set("lossless", lossless), B_OK);
        const std::vector<uint8> file = WriteSequence(translator, info, frames, delays);
        WriteBytes(folder / "ours.webp", file);
        ExpectTimingSaid(folder / "ours.webp", 4, delays);
        const auto shown = Coalesced(folder, folder / "ours.webp");
        ASSERT_EQ(shown.size(), frames.size());
        for (size_t i = 0; i < frames.size(); i++) {
            if (lossless) {
                ExpectSamePixels(*frames[i], *shown[i], 0);
            } else {
                EXPECT_GT(PSNR(*frames[i], *shown[i]), StillPSNR(translator, *frames[i]) - 1) << i;
            }
        }
    }
    RestoreDefaults(translator);
}

// A photograph's profile, EXIF and XMP, however another program put them in a WebP file,
// are read as stored and written again where exiftool finds them, still or animated.
TEST(WebPTools, MetadataTravelsThroughWebP) {
    if (const std::string missing = MissingTool({"convert", "exiftool", "cwebp", kAdobeRGBProfile});
        !missing.empty()) {
        GTEST_SKIP() << missing << " absent: see scripts/install-deps.sh";
    }
    TempFolder folder;
    ASSERT_TRUE(RunTool("cd " + folder.Path() +
                        " && convert -size 64x48 gradient:red-blue -profile " + kAdobeRGBProfile +
                        " src.jpg && exiftool -q -overwrite_original '-DateTimeOriginal=2021:05:06 "
                        "07:08:09' -Make=Orvane -GPSLatitude=48.85 -GPSLatitudeRef=N "
                        "-XMP-dc:Title=Titre -XResolution=300 -YResolution=150 "
                        "-ResolutionUnit=inches src.jpg"));
    const struct {
        const char* command;
        bool xmp;
    } makers[] = {
        {"cwebp -quiet -metadata all src.jpg -o in.webp", true},
        {"cwebp -quiet src.jpg -o in.webp && exiftool -q -overwrite_original -tagsfromfile "
         "src.jpg -all:all -icc_profile in.webp",
         true},
        {"convert src.jpg in.webp", false},
    };
    const std::vector<uint8> profile = ReadFile(kAdobeRGBProfile);
    WebPTranslator translator;
    for (const auto& maker : makers) {
        SCOPED_TRACE(maker.command);
        Sequence read = ReadMade(translator, folder, maker.command, "in.webp");
        ASSERT_EQ(read.status, B_OK);
        const PictureMetadata& metadata = read.info.metadata;
        EXPECT_EQ(metadata.color.icc, profile);
        ASSERT_GE(metadata.exif.size(), 8u);
        EXPECT_TRUE(metadata.exif[0] == 'I' || metadata.exif[0] == 'M');
        EXPECT_EQ(metadata.xmp.empty(), !maker.xmp);
        EXPECT_EQ(metadata.xDpi, 300);
        EXPECT_EQ(metadata.yDpi, 150);

        for (size_t count : {size_t(1), size_t(2)}) {
            std::vector<std::unique_ptr<BBitmap>> frames;
            frames.push_back(std::move(read.frames[0]));
            if (count == 2) {
                frames.push_back(TestPicture(64, 48, false));
            }
            const std::vector<uint8> file =
                WriteSequence(translator, read.info, frames, std::vector<uint32>(count, 100));
            read.frames[0] = std::move(frames[0]);
            WriteBytes(folder / "out.webp", file);
            const std::string tags = ToolBytes(
                "exiftool -s -s -s -DateTimeOriginal -Make -GPSLatitudeRef -Title "
                "-ProfileDescription '" +
                (folder / "out.webp") + "'");
            EXPECT_EQ(tags, std::string("2021:05:06 07:08:09\nOrvane\nNorth\n") +
                                (maker.xmp ? "Titre\n" : "") +
                                "Compatible with Adobe RGB (1998)\n");
            EXPECT_EQ(ExifToolProfile(folder / "out.webp"), profile);
        }
    }
}

}  // namespace
}  // namespace orv::test
