// SPDX-License-Identifier: MIT
// WebP files made and checked by other programs: Debian's webp tools, ImageMagick and
// exiftool.
#include "tests/translators/webp/WebPTestSupport.h"

namespace orv::test {
namespace {

using orvtest::TempFolder;

constexpr char kProfile[] = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";

std::vector<uint8> ReadBytes(const std::string& path) {
    return Bytes(orvtest::ReadFile(path));
}

// A photograph's profile, EXIF and XMP, however another program put them in a WebP file,
// are read as stored and written again where exiftool finds them, still or animated.
TEST(WebPTools, MetadataTravelsThroughWebP) {
    if (const std::string missing = MissingTool({"convert", "exiftool", "cwebp", kProfile});
        !missing.empty()) {
        GTEST_SKIP() << missing << " absent: see scripts/install-deps.sh";
    }
    TempFolder folder;
    ASSERT_EQ(
        RunCommand("cd " + folder.Path() + " && convert -size 64x48 gradient:red-blue -profile " +
                   kProfile +
                   " src.jpg && exiftool -q -overwrite_original '-DateTimeOriginal=2021:05:06 "
                   "07:08:09' -Make=Orvane -GPSLatitude=48.85 -GPSLatitudeRef=N "
                   "-XMP-dc:Title=Titre src.jpg"),
        0);
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
    const std::vector<uint8> profile = ReadBytes(kProfile);
    WebPTranslator translator;
    for (const auto& maker : makers) {
        SCOPED_TRACE(maker.command);
        ASSERT_EQ(RunCommand("cd " + folder.Path() + " && " + maker.command), 0);
        Sequence read = ReadSequence(translator, ReadBytes(folder / "in.webp"));
        ASSERT_EQ(read.status, B_OK) << ErrorReason();
        const PictureMetadata& metadata = read.info.metadata;
        EXPECT_EQ(metadata.color.icc, profile);
        ASSERT_GE(metadata.exif.size(), 8u);
        EXPECT_TRUE(metadata.exif[0] == 'I' || metadata.exif[0] == 'M');
        EXPECT_EQ(metadata.xmp.empty(), !maker.xmp);

        for (size_t count : {size_t(1)}) {
            std::vector<std::unique_ptr<BBitmap>> frames;
            frames.push_back(std::move(read.frames[0]));
            if (count == 2) {
                frames.push_back(TestPicture(64, 48, false));
            }
            const std::vector<uint8> file =
                WriteSequence(translator, read.info, frames, std::vector<uint32>(count, 100));
            read.frames[0] = std::move(frames[0]);
            orvtest::WriteFile(folder / "out.webp", std::string(file.begin(), file.end()));
            const std::string tags = Output(
                "exiftool -s -s -s -DateTimeOriginal -Make -GPSLatitudeRef -Title "
                "-ProfileDescription '" +
                (folder / "out.webp") + "'");
            EXPECT_EQ(tags, std::string("2021:05:06 07:08:09\nOrvane\nNorth\n") +
                                (maker.xmp ? "Titre\n" : "") +
                                "Compatible with Adobe RGB (1998)\n");
            EXPECT_EQ(Bytes(Output("exiftool -b -ICC_Profile '" + (folder / "out.webp") + "'")),
                      profile);
        }
    }
}

}  // namespace
}  // namespace orv::test
