// SPDX-License-Identifier: MIT
// What an HEIF file says beside its pixels, and its pages: read from files heif-enc and
// exiftool made, and written so that exiftool reads back what was given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "tests/translators/common/ToolSupport.h"
#include "translators/heif/HEIFTranslator.h"

namespace orv {
namespace {

using namespace orv::test;

constexpr uint32 kHEIF = FourCC("HEIF");

class HEIFPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"heif-enc", "heif-convert", "exiftool"});
            !tool.empty()) {
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh)";
        }
        if (!HEIFTranslator::CanEncode()) {
            GTEST_SKIP() << "libheif has no HEVC encoder here";
        }
    }

    // heif-enc's file of one flat grey picture per level, the first of them primary.
    std::vector<uint8> HeifEnc(const std::vector<std::pair<uint32, uint8>>& sizesAndLevels) {
        std::string inputs;
        for (size_t i = 0; i < sizesAndLevels.size(); i++) {
            const std::string input = folder / ("page" + std::to_string(i) + ".y4m");
            const auto [width, level] = sizesAndLevels[i];
            WriteGreyY4M(input, width, 16, level);
            inputs.append(" ").append(Quoted(input));
        }
        const std::string output = folder / "made.heic";
        RunTool("heif-enc -q 90" + inputs + " -o " + Quoted(output));
        return ReadFile(output);
    }

    HEIFTranslator translator;
    orvtest::TempFolder folder;
};

// heif-enc takes a profile only from a PNG, which exiftool gives one; exiftool then adds
// EXIF and XMP to the HEIF file.
TEST_F(HEIFPictureTest, ReadsTheProfileAndBlocksOtherToolsStore) {
    const PhotoMetadata photo = MakePhotoMetadata(folder);
    const std::string grey = folder / "grey.heic";
    const std::string png = folder / "grey.png";
    const std::string made = folder / "made.heic";
    WriteBytes(grey, HeifEnc({{24, 120}}));
    RunTool("heif-convert " + Quoted(grey) + " " + Quoted(png));
    RunTool("exiftool -q -overwrite_original \"-ICC_Profile<=" + std::string(kAdobeRGBProfile) +
            "\" " + Quoted(png));
    RunTool("heif-enc " + Quoted(png) + " -o " + Quoted(made));
    RunTool("exiftool -m -overwrite_original -tagsfromfile " + Quoted(folder / "photo.exif") +
            " -exif:all -tagsfromfile " + Quoted(folder / "photo.xmp") + " -xmp:all " +
            Quoted(made));

    const ReadPicture read = ReadAllFrames(translator, ReadFile(made));
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    const PictureMetadata& metadata = read.info.metadata;
    EXPECT_EQ(metadata.color.icc, photo.icc);
    const std::string exif = folder / "read.exif";
    WriteBytes(exif, metadata.exif);
    EXPECT_EQ(ExifTag(exif, "Model"), kCamera);
    EXPECT_EQ(ExifTag(exif, "DateTimeOriginal"), kDateTaken);
    const std::string xmp(metadata.xmp.begin(), metadata.xmp.end());
    EXPECT_NE(xmp.find(kTitle), std::string::npos);
}

// Every top-level image of the primary's size is a page, the primary first; one of another
// size is another rendering and is left out.
TEST_F(HEIFPictureTest, TopLevelImagesOfThePrimarySizeArePages) {
    const ReadPicture read = ReadAllFrames(translator, HeifEnc({{24, 40}, {24, 200}, {16, 90}}));
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_TRUE(read.info.pages);
    EXPECT_EQ(read.info.frameCount, 2u);
    ASSERT_EQ(read.frames.size(), 2u);
    // heif-enc takes the samples as full range.
    EXPECT_NEAR(int(Pixel(*read.frames[0], 12, 8)[1]), 40, 4);
    EXPECT_NEAR(int(Pixel(*read.frames[1], 12, 8)[1]), 200, 4);

    const ReadPicture single = ReadAllFrames(translator, HeifEnc({{24, 40}}));
    ASSERT_EQ(single.status, B_OK) << ErrorReason();
    EXPECT_FALSE(single.info.pages);
    EXPECT_EQ(single.info.frameCount, 1u);
}

TEST_F(HEIFPictureTest, WrittenDescriptionIsWhatExiftoolReads) {
    const std::string path = folder / "out.heic";
    ExpectPhotoWritten(translator, kHEIF, MakePhotoMetadata(folder), path);

    // Code points with no profile go into the nclx box as they came, and are read back.
    const std::vector<uint8> file = WritePQPicture(translator, kHEIF, path);
    EXPECT_EQ(ExifTag(path, "ColorPrimaries#"), "9");
    EXPECT_EQ(ExifTag(path, "TransferCharacteristics#"), "16");
    const ReadPicture read = ReadAllFrames(translator, file);
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_EQ(read.info.metadata.color.primaries, 9);
    EXPECT_EQ(read.info.metadata.color.transfer, 16);
    EXPECT_TRUE(read.info.metadata.color.icc.empty());
}

}  // namespace
}  // namespace orv
