// SPDX-License-Identifier: MIT
// A photograph through `orvane convert`, turned upright and made smaller: afterwards it is
// still the same photograph for exiftool, and says so of its new self.

#include "tests/cli/CliTestSupport.h"
#include "tests/translators/jpeg/ShellOutput.h"

namespace orv::test {
namespace {

std::string Tag(const fs::path& file, const std::string& tag) {
    std::string value = ShellOutput("exiftool -s3 -n -" + tag + " '" + file.string() + "'");
    while (!value.empty() && value.back() == '\n') {
        value.pop_back();
    }
    return value;
}

class JPEGRunTest : public CliTest {};

TEST_F(JPEGRunTest, AResizedPhotographKeepsItsMetadataAndStatesItsNewSelf) {
    ORV_NEED_TOOLS("convert", "exiftool");
    // Stored 400 × 300, standing on its side (orientation 6), with a thumbnail.
    const fs::path source = fWork / "photo.jpg";
    const fs::path thumbnail = fRoot / "thumbnail.jpg";
    ShellOutput(
        "convert -size 400x300 gradient:orange-navy -profile "
        "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc '" +
        source.string() + "'");
    ShellOutput("convert -size 40x30 xc:red '" + thumbnail.string() + "'");
    ShellOutput(
        "exiftool -q -overwrite_original -Orientation#=6 -ExifImageWidth=400 "
        "-ExifImageHeight=300 -DateTimeOriginal='2021:06:05 10:20:30' -Make=Orvane "
        "-Model='Essai 1' -GPSLatitude=48.8566 -GPSLatitudeRef=N '-ThumbnailImage<=" +
        thumbnail.string() + "' '" + source.string() + "'");
    ASSERT_EQ(Tag(source, "ThumbnailLength").empty(), false);

    const Outcome run = Run({"convert", "--to", "jpeg", "--width", "150", source.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    fs::path output;
    for (const auto& entry : fs::directory_iterator(fWork)) {
        if (entry.path() != source) {
            output = entry.path();
        }
    }
    ASSERT_FALSE(output.empty()) << run.err;

    // Upright 300 × 400 made 150 wide.
    EXPECT_EQ(Tag(output, "ImageWidth"), "150");
    EXPECT_EQ(Tag(output, "ImageHeight"), "200");
    EXPECT_EQ(Tag(output, "ExifImageWidth"), "150");
    EXPECT_EQ(Tag(output, "ExifImageHeight"), "200");
    const std::string orientation = Tag(output, "Orientation");
    EXPECT_TRUE(orientation.empty() || orientation == "1") << orientation;
    EXPECT_EQ(Tag(output, "ThumbnailLength"), "");
    EXPECT_EQ(Tag(output, "DateTimeOriginal"), "2021:06:05 10:20:30");
    EXPECT_EQ(Tag(output, "Make"), "Orvane");
    EXPECT_EQ(Tag(output, "Model"), "Essai 1");
    EXPECT_NEAR(std::stod(Tag(output, "GPSLatitude")), 48.8566, 1e-4);
    EXPECT_EQ(Tag(output, "ProfileDescription"), Tag(source, "ProfileDescription"));
}

}  // namespace
}  // namespace orv::test
