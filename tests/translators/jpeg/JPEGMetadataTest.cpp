// SPDX-License-Identifier: MIT
// What a JPEG carries beside its pixels, made by ImageMagick and exiftool, read by the
// translator, written again and read back by exiftool.
#include <map>

#include "tests/TempFolder.h"
#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/jpeg/ShellOutput.h"
#include "translators/jpeg/JPEGTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kJPEG = FourCC("JPEG");
constexpr char kAdobeRGB[] = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";

// exiftool's tags of a file, by their short names (-S), values as numbers (-n).
std::map<std::string, std::string> Tags(const std::string& path) {
    std::map<std::string, std::string> tags;
    std::istringstream lines(ShellOutput("exiftool -S -n -a '" + path + "'"));
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            tags.emplace(line.substr(0, colon), line.substr(colon + 2));
        }
    }
    return tags;
}

std::vector<uint8> Bytes(const std::string& text) {
    return std::vector<uint8>(text.begin(), text.end());
}

constexpr const char* kTagged =
    "exiftool -q -overwrite_original -DateTimeOriginal='2021:06:05 10:20:30' -Make=Orvane "
    "-Model='Essai 1' -GPSLatitude=48.8566 -GPSLatitudeRef=N -GPSLongitude=2.3522 "
    "-GPSLongitudeRef=E -XMP-dc:Title=Pont -IPTC:Keywords=rivière ";

TEST(JPEGMetadata, ProfileExifXmpIptcAndResolutionTravel) {
    ORV_NEED_TOOLS("convert", "exiftool");
    JPEGTranslator translator;
    orvtest::TempFolder folder;
    const std::string source = folder / "source.jpg";
    ShellOutput("convert -size 64x48 gradient:orange-navy -profile " + std::string(kAdobeRGB) +
                " -density 300 -units PixelsPerInch '" + source + "'");
    ShellOutput(kTagged + ("'" + source + "'"));

    const DecodedImage decoded = DecodeWhole(translator, ReadFile(source));
    ASSERT_NE(decoded.bitmap, nullptr);
    const PictureMetadata& read = decoded.info.metadata;
    EXPECT_EQ(read.color.icc, ReadFile(kAdobeRGB));
    EXPECT_EQ(read.xDpi, 300);
    EXPECT_EQ(read.yDpi, 300);
    ASSERT_GE(read.exif.size(), 8u);
    EXPECT_TRUE(std::memcmp(read.exif.data(), "II*\0", 4) == 0 ||
                std::memcmp(read.exif.data(), "MM\0*", 4) == 0);
    EXPECT_NE(std::string(read.xmp.begin(), read.xmp.end()).find("Pont"), std::string::npos);
    ASSERT_FALSE(read.iptc.empty());
    EXPECT_EQ(read.iptc[0], 0x1c);

    // Written again: every block where exiftool finds it, the profile byte for byte.
    BMallocIO output;
    ASSERT_EQ(translator.EncodePicture(*decoded.bitmap, decoded.info, kJPEG, output), B_OK);
    const std::string written = folder / "written.jpg";
    orvtest::WriteFile(
        written, std::string(static_cast<const char*>(output.Buffer()), output.BufferLength()));
    std::map<std::string, std::string> tags = Tags(written);
    EXPECT_EQ(tags["DateTimeOriginal"], "2021:06:05 10:20:30");
    EXPECT_EQ(tags["Make"], "Orvane");
    EXPECT_EQ(tags["Model"], "Essai 1");
    EXPECT_NEAR(std::stod(tags["GPSLatitude"]), 48.8566, 1e-4);
    EXPECT_NEAR(std::stod(tags["GPSLongitude"]), 2.3522, 1e-4);
    EXPECT_EQ(tags["Title"], "Pont");
    EXPECT_EQ(tags["Keywords"], "rivière");
    EXPECT_EQ(tags["ResolutionUnit"], "1");  // JFIF: inches
    EXPECT_EQ(tags["XResolution"], "300");
    EXPECT_EQ(Bytes(ShellOutput("exiftool -b -ICC_Profile '" + written + "'")),
              ReadFile(kAdobeRGB));

    // Without JFIF, the resolution is EXIF's, here in dots per centimetre.
    ShellOutput(
        "exiftool -q -overwrite_original -JFIF:all= -XResolution=118 -YResolution=59 "
        "-ResolutionUnit=cm '" +
        source + "'");
    const PictureMetadata exifOnly = DecodeWhole(translator, ReadFile(source)).info.metadata;
    EXPECT_NEAR(exifOnly.xDpi, 299.72, 0.01);
    EXPECT_NEAR(exifOnly.yDpi, 149.86, 0.01);
}

TEST(JPEGMetadata, LargeProfilesAreSplitAndJoinedByteForByte) {
    ORV_NEED_TOOLS("exiftool");
    JPEGTranslator translator;
    // An RGB profile with 200 kB after its tags: four segments.
    std::vector<uint8> profile = ReadFile("/usr/share/color/icc/LStar-RGB.icc");
    profile.resize(200000, 0);
    for (int i = 0; i < 4; i++) {
        profile[size_t(i)] = uint8(profile.size() >> (24 - 8 * i));
    }
    auto image = TestPicture(40, 30, false);
    PictureInfo info = PlainInfo(*image);
    info.metadata.color.icc = profile;
    BMallocIO output;
    ASSERT_EQ(translator.EncodePicture(*image, info, kJPEG, output), B_OK) << ErrorReason();
    orvtest::TempFolder folder;
    const std::string written = folder / "large.jpg";
    const auto* data = static_cast<const uint8*>(output.Buffer());
    const std::vector<uint8> file(data, data + output.BufferLength());
    orvtest::WriteFile(written, std::string(file.begin(), file.end()));
    EXPECT_EQ(Bytes(ShellOutput("exiftool -b -ICC_Profile '" + written + "'")), profile);

    EXPECT_EQ(DecodeWhole(translator, file).info.metadata.color.icc, profile);
}

}  // namespace
}  // namespace orv::test
