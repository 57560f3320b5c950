// SPDX-License-Identifier: MIT
// What a JPEG XL file says beside its pixels, and its animations: read from files cjxl and
// exiftool made, and written so that exiftool, djxl and jxlinfo read back what was given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "tests/translators/common/ToolSupport.h"
#include "translators/jxl/JXLTranslator.h"

namespace orv {
namespace {

using namespace orv::test;

constexpr uint32 kJXL = FourCC("JXL ");

class JXLPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"cjxl", "djxl", "jxlinfo", "exiftool"});
            !tool.empty()) {
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh)";
        }
    }
    void TearDown() override { RestoreDefaults(translator); }

    // What exiftool reads in an EXIF block the translator handed on.
    std::string TagOfBlock(const std::vector<uint8>& exif, const std::string& tag) {
        const std::string path = folder / "block.exif";
        WriteBytes(path, exif);
        return ExifTag(path, tag);
    }

    JXLTranslator translator;
    orvtest::TempFolder folder;
};

// cjxl stores the profile; exiftool adds the EXIF and XMP boxes after the codestream.
TEST_F(JXLPictureTest, ReadsTheDescriptionCjxlAndExiftoolStore) {
    const PhotoMetadata photo = MakePhotoMetadata(folder);
    const std::string input = folder / "flat.ppm";
    orvtest::WriteFile(input, "P6 24 16 255\n" + std::string(24 * 16 * 3, char(90)));
    const std::string profile = " -x icc_pathname=" + Quoted(kAdobeRGBProfile);
    struct Case {
        const char* name;
        std::string options;
        bool profileKept;  // lossy pictures with a profile come rendered into sRGB
    } cases[] = {
        {"lossless", "-d 0" + profile, true},
        {"lossy", "-d 1" + profile, false},
    };
    for (const Case& c : cases) {
        const std::string path = folder / "made.jxl";
        RunTool("cjxl " + c.options + " " + Quoted(input) + " " + Quoted(path));
        RunTool("exiftool -m -overwrite_original -tagsfromfile " + Quoted(folder / "photo.exif") +
                " -exif:all -tagsfromfile " + Quoted(folder / "photo.xmp") + " -xmp:all " +
                Quoted(path));
        const ReadPicture read = ReadAllFrames(translator, ReadFile(path));
        ASSERT_EQ(read.status, B_OK) << c.name << ": " << ErrorReason();
        const ColorDescription& color = read.info.metadata.color;
        EXPECT_EQ(color.icc, c.profileKept ? photo.icc : std::vector<uint8>()) << c.name;
        EXPECT_EQ(color.srgb, !c.profileKept) << c.name;
        EXPECT_EQ(TagOfBlock(read.info.metadata.exif, "Model"), kCamera) << c.name;
        EXPECT_EQ(TagOfBlock(read.info.metadata.exif, "DateTimeOriginal"), kDateTaken);
        const std::string xmp(read.info.metadata.xmp.begin(), read.info.metadata.xmp.end());
        EXPECT_NE(xmp.find(kTitle), std::string::npos) << c.name;
        EXPECT_TRUE(read.damage.empty()) << read.damage;
    }
}

TEST_F(JXLPictureTest, WrittenDescriptionIsWhatTheToolsRead) {
    const PhotoMetadata photo = MakePhotoMetadata(folder);
    const std::string path = folder / "out.jxl";
    // exiftool cannot reach a profile inside the codestream; djxl can.
    ExpectPhotoWritten(translator, kJXL, photo, path, false);
    const std::string icc = folder / "out.icc";
    RunTool("djxl " + Quoted(path) + " " + Quoted(folder / "out.ppm") +
            " --orig_icc_out=" + Quoted(icc));
    EXPECT_EQ(ReadFile(icc), photo.icc);

    // PQ has no profile of ours: its code points are stored by name.
    WritePQPicture(translator, kJXL, path);
    const std::string report = ToolOutput("jxlinfo " + Quoted(path));
    EXPECT_NE(report.find("Color space: RGB, D65, Rec.2100 primaries, PQ transfer function"),
              std::string::npos)
        << report;
}

// Delays are kept to the millisecond (a delay of 0 becomes the shortest, 1 ms) with the
// loop count; a frame of an animation with alpha may be opaque.
TEST_F(JXLPictureTest, WrittenAnimationKeepsFramesDelaysAndLoops) {
    auto first = TestPicture(32, 24, true);
    auto second = Upright(*TestPicture(32, 24, false), 3);
    PictureInfo info = PictureOf(*first, {}, 3);
    info.loopCount = 4;
    const std::vector<uint8> file = WriteAllFrames(
        translator, kJXL, info, {first.get(), second.get(), first.get()}, {70, 0, 1500});
    const std::string path = folder / "animation.jxl";
    WriteBytes(path, file);
    const std::string report = ToolOutput("jxlinfo -v " + Quoted(path));
    EXPECT_NE(report.find("num_loops: 4"), std::string::npos) << report;

    const ReadPicture read = ReadAllFrames(translator, file);
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_EQ(read.info.loopCount, 4);
    EXPECT_EQ(read.delays, (std::vector<uint32>{70, 1, 1500}));
    ASSERT_EQ(read.frames.size(), 3u);
    EXPECT_GT(PSNR(*first, *read.frames[0]), 30.0);
    EXPECT_GT(PSNR(*second, *read.frames[1]), 30.0);
    EXPECT_EQ(Pixel(*read.frames[1], 0, 0)[3], 255);
}

TEST_F(JXLPictureTest, FewerFramesThanAnnouncedStillMakeAFile) {
    ExpectFewerFramesThanAnnouncedKept(translator, kJXL);
}

// An animation cut short gives the frames it still holds whole and says where it stops.
TEST_F(JXLPictureTest, TruncatedAnimationKeepsItsWholeFrames) {
    ASSERT_EQ(translator.Settings().Set("lossless", 1), B_OK);
    std::vector<std::unique_ptr<BBitmap>> frames;
    std::vector<const BBitmap*> pointers;
    for (int i = 0; i < 8; i++) {
        frames.push_back(Upright(*NoisePicture(48, 48, false), 1 + i));
        pointers.push_back(frames.back().get());
    }
    const std::vector<uint8> file =
        WriteAllFrames(translator, kJXL, PictureOf(*frames[0], {}, 8), pointers);
    const std::vector<uint8> cut(file.begin(), file.begin() + ptrdiff_t(file.size() * 6 / 10));
    const ReadPicture read = ReadAllFrames(translator, cut);
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_GT(read.info.frameCount, 0u);
    EXPECT_LT(read.info.frameCount, 8u);
    ASSERT_EQ(read.frames.size(), read.info.frameCount);
    for (size_t i = 0; i < read.frames.size(); i++) {
        EXPECT_TRUE(SamePixels(*frames[i], *read.frames[i])) << i;
    }
    EXPECT_NE(read.damage.find("s'arrête après"), std::string::npos) << read.damage;
}

}  // namespace
}  // namespace orv
