// SPDX-License-Identifier: MIT
// What an AVIF file says beside its pixels, and its sequences: read from files avifenc made,
// and written so that exiftool and avifdec read back what was given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "tests/translators/common/ToolSupport.h"
#include "translators/avif/AVIFTranslator.h"

namespace orv {
namespace {

using namespace orv::test;

constexpr uint32 kAVIF = FourCC("AVIF");

class AVIFPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"avifenc", "avifdec", "exiftool"});
            !tool.empty()) {
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh)";
        }
        ASSERT_EQ(translator.Settings().Set("speed", 10), B_OK);
    }
    void TearDown() override { RestoreDefaults(translator); }

    // A file of avifenc's with `options`, of the frames in `inputs` or one flat grey one.
    std::vector<uint8> Avifenc(const std::string& options, std::string inputs = "") {
        const std::string output = folder / "made.avif";
        if (inputs.empty()) {
            inputs = folder / "grey.y4m";
            WriteGreyY4M(inputs, 24, 16, 120);
            inputs = Quoted(inputs);
        }
        RunTool("avifenc -s 10 " + options + " " + inputs + " " + Quoted(output));
        return ReadFile(output);
    }

    AVIFTranslator translator;
    orvtest::TempFolder folder;
};

TEST_F(AVIFPictureTest, ReadsTheDescriptionAvifencStores) {
    const PhotoMetadata photo = MakePhotoMetadata(folder);
    const std::string blocks = " --icc " + Quoted(kAdobeRGBProfile) + " --exif " +
                               Quoted(folder / "photo.exif") + " --xmp " +
                               Quoted(folder / "photo.xmp");
    ColorDescription pq;
    pq.primaries = 9;
    pq.transfer = 16;
    pq.matrix = 9;
    pq.fullRange = false;
    ColorDescription srgb;
    srgb.srgb = true;
    struct Case {
        const char* name;
        std::string options;
        ColorDescription color;
        bool metadata;
    } cases[] = {
        {"profile and blocks", blocks, {.icc = photo.icc}, true},
        {"BT.2020 PQ", "--cicp 9/16/9", pq, false},
        {"sRGB code points", "--cicp 1/13/6", srgb, false},
    };
    for (const Case& c : cases) {
        const ReadPicture read = ReadAllFrames(translator, Avifenc(c.options));
        ASSERT_EQ(read.status, B_OK) << c.name << ": " << ErrorReason();
        const PictureMetadata& metadata = read.info.metadata;
        EXPECT_EQ(metadata.color.icc, c.color.icc) << c.name;
        EXPECT_EQ(metadata.color.srgb, c.color.srgb) << c.name;
        EXPECT_EQ(metadata.color.primaries, c.color.primaries) << c.name;
        EXPECT_EQ(metadata.color.transfer, c.color.transfer) << c.name;
        EXPECT_EQ(metadata.color.matrix, c.color.matrix) << c.name;
        EXPECT_EQ(metadata.exif, c.metadata ? photo.exif : std::vector<uint8>()) << c.name;
        EXPECT_EQ(metadata.xmp, c.metadata ? photo.xmp : std::vector<uint8>()) << c.name;
        EXPECT_EQ(read.info.frameCount, 1u);
    }
}

TEST_F(AVIFPictureTest, WrittenDescriptionIsWhatExiftoolReads) {
    const std::string path = folder / "out.avif";
    ExpectPhotoWritten(translator, kAVIF, MakePhotoMetadata(folder), path);

    // Code points with no profile go into the nclx box as they came.
    WritePQPicture(translator, kAVIF, path);
    EXPECT_EQ(ExifTag(path, "ColorPrimaries#"), "9");
    EXPECT_EQ(ExifTag(path, "TransferCharacteristics#"), "16");
    EXPECT_TRUE(ExifToolProfile(path).empty());
}

TEST_F(AVIFPictureTest, AvifencSequenceGivesEachFrameWithItsDelay) {
    std::string inputs;
    const uint8 levels[] = {40, 120, 200};
    const int durations[] = {10, 25, 4};  // hundredths of a second
    for (int i = 0; i < 3; i++) {
        const std::string frame = folder / ("frame" + std::to_string(i) + ".y4m");
        WriteGreyY4M(frame, 24, 16, levels[i]);
        inputs += " --duration " + std::to_string(durations[i]) + " " + Quoted(frame);
    }
    const ReadPicture read = ReadAllFrames(translator, Avifenc("--timescale 100", inputs));
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_EQ(read.info.frameCount, 3u);
    EXPECT_FALSE(read.info.pages);
    EXPECT_EQ(read.delays, (std::vector<uint32>{100, 250, 40}));
    ASSERT_EQ(read.frames.size(), 3u);
    for (int i = 0; i < 3; i++) {
        // Studio-range grey: (Y - 16) × 255 / 219.
        const int expected = (levels[i] - 16) * 255 / 219;
        EXPECT_NEAR(int(Pixel(*read.frames[size_t(i)], 12, 8)[1]), expected, 3) << i;
    }
    EXPECT_TRUE(read.damage.empty());
}

// Frames of a sequence with alpha are written with it even when one is opaque; each keeps
// its duration in milliseconds, which avifdec reports in timescales of 1/1000 s.
TEST_F(AVIFPictureTest, WrittenSequenceKeepsFramesDelaysAndAlpha) {
    auto first = TestPicture(32, 24, true);
    auto second = Upright(*TestPicture(32, 24, false), 3);
    auto third = TestPicture(32, 24, false);
    PictureInfo info = PictureOf(*first, {}, 3);
    const std::vector<uint8> file = WriteAllFrames(
        translator, kAVIF, info, {first.get(), second.get(), third.get()}, {70, 0, 1500});
    const std::string path = folder / "sequence.avif";
    WriteBytes(path, file);
    const std::string report = ToolOutput("avifdec --info " + Quoted(path));
    EXPECT_NE(report.find("3 frames"), std::string::npos) << report;
    EXPECT_NE(report.find("(70 timescales)"), std::string::npos) << report;
    EXPECT_NE(report.find("(1 timescales)"), std::string::npos) << report;
    EXPECT_NE(report.find("(1500 timescales)"), std::string::npos) << report;

    const ReadPicture read = ReadAllFrames(translator, file);
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_TRUE(read.info.alpha);
    ASSERT_EQ(read.frames.size(), 3u);
    EXPECT_GT(PSNR(*first, *read.frames[0]), 25.0);
    EXPECT_GT(PSNR(*second, *read.frames[1]), 25.0);
    EXPECT_EQ(Pixel(*read.frames[2], 31, 0)[3], 255);
}

TEST_F(AVIFPictureTest, FewerFramesThanAnnouncedStillMakeAFile) {
    ExpectFewerFramesThanAnnouncedKept(translator, kAVIF);
}

// libavif checks every piece of a sequence against the file's size as it opens it, so a
// sequence cut anywhere is refused with a reason, before any frame's data is allocated at
// the size the file declares.
TEST_F(AVIFPictureTest, TruncatedSequenceIsRefused) {
    std::vector<std::unique_ptr<BBitmap>> frames;
    std::vector<const BBitmap*> pointers;
    for (int i = 0; i < 4; i++) {
        frames.push_back(Upright(*NoisePicture(32, 32, false), 1 + i));
        pointers.push_back(frames.back().get());
    }
    ExpectTruncationsRefused(
        translator, WriteAllFrames(translator, kAVIF, PictureOf(*frames[0], {}, 4), pointers));
}

}  // namespace
}  // namespace orv
