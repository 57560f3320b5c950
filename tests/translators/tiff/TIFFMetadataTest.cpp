// SPDX-License-Identifier: MIT
// What a TIFF file says beside its pixels: made by ImageMagick (profile, resolution) and
// exiftool (EXIF, GPS, XMP, IPTC), read, written again and read back by exiftool.
#include "tests/TempFolder.h"
#include "tests/translators/common/ToolSupport.h"
#include "tests/translators/tiff/TIFFTestFiles.h"
#include "translators/tiff/TIFFTranslator.h"

namespace orv::test {
namespace {

bool Holds(const std::vector<uint8>& block, const std::string& text) {
    return std::search(block.begin(), block.end(), text.begin(), text.end()) != block.end();
}

// The tags exiftool finds in a file, one "Name: value" a line.
std::string TagsOf(const std::string& path) {
    return ToolBytes(
        "exiftool -s -s -n -Make -Model -Artist -DateTimeOriginal -ExposureTime "
        "-GPSLatitude -XMP-dc:Title -IPTC:Keywords -XResolution -ResolutionUnit "
        "-ProfileDescription " +
        path);
}

// What exiftool's validation finds wrong with a file. libtiff stores IPTC as bytes where
// exiftool expects 4-byte units; both read either.
std::string ValidationWarnings(const std::string& path) {
    std::istringstream lines(ToolBytes("exiftool -q -q -validate -warning -a " + path));
    std::string warnings;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Warning", 0) == 0 && line.find("IPTC-NAA") == std::string::npos) {
            warnings += line + "\n";
        }
    }
    return warnings;
}

TEST(TIFFMetadataTest, CarriesProfileExifGpsXmpIptcAndResolution) {
    orvtest::TempFolder folder;
    const std::string source = folder / "source.tif";
    ASSERT_TRUE(RunTool("convert -seed 5 -size 32x24 plasma:fractal -depth 8 -profile " +
                        std::string(kAdobeRGBProfile) + " -units PixelsPerInch -density 300 " +
                        source));
    ASSERT_TRUE(
        RunTool("exiftool -q -overwrite_original -Make=Orvcam -Model=X1 -Artist=Moi "
                "'-DateTimeOriginal=2024:05:06 07:08:09' -ExposureTime=1/250 "
                "-GPSLatitude=48.8566 -GPSLatitudeRef=N -XMP-dc:Title=Titre "
                "-IPTC:Keywords=motclef " +
                source));
    const std::string expected = TagsOf(source);
    for (const char* tag : {"Make: Orvcam", "Artist: Moi", "DateTimeOriginal: 2024:05:06 07:08:09",
                            "ExposureTime: 0.004", "GPSLatitude: 48.8566", "Title: Titre",
                            "Keywords: motclef", "XResolution: 300", "ProfileDescription"}) {
        ASSERT_NE(expected.find(tag), std::string::npos) << tag << " in\n" << expected;
    }

    TIFFTranslator translator;
    const DecodedImage decoded = DecodeWhole(translator, ReadFile(source));
    ASSERT_NE(decoded.bitmap, nullptr);
    const PictureMetadata& m = decoded.info.metadata;
    EXPECT_EQ(m.color.icc, ReadFile(kAdobeRGBProfile));
    EXPECT_TRUE(Holds(m.xmp, "Titre"));
    ASSERT_FALSE(m.iptc.empty());
    EXPECT_EQ(m.iptc[0], 0x1c);
    EXPECT_TRUE(Holds(m.iptc, "motclef"));
    EXPECT_NEAR(m.xDpi, 300, 0.01);
    EXPECT_NEAR(m.yDpi, 300, 0.01);
    // The EXIF block is a TIFF structure of its own, readable as such, without the
    // file's pixel layout.
    ASSERT_GE(m.exif.size(), 8u);
    EXPECT_TRUE(m.exif[0] == 'I' || m.exif[0] == 'M');
    const std::string block = folder / "exif.tif";
    orvtest::WriteFile(block, std::string(m.exif.begin(), m.exif.end()));
    const std::string inBlock = ToolBytes(
        "exiftool -s -s -n -Model -DateTimeOriginal "
        "-GPSLatitude -StripOffsets " +
        block);
    EXPECT_NE(inBlock.find("Model: X1"), std::string::npos) << inBlock;
    EXPECT_NE(inBlock.find("DateTimeOriginal: 2024:05:06 07:08:09"), std::string::npos);
    EXPECT_NE(inBlock.find("GPSLatitude: 48.8566"), std::string::npos);
    EXPECT_EQ(inBlock.find("StripOffsets"), std::string::npos);

    // Written again, as a two-page document, everything is there for exiftool.
    BMallocIO out;
    std::unique_ptr<PictureWriter> writer;
    ASSERT_EQ(translator.OpenWriter(kTIFF, out, &writer), B_OK);
    PictureInfo info = decoded.info;
    info.frameCount = 2;
    ASSERT_EQ(writer->Begin(info), B_OK) << ErrorReason();
    ASSERT_EQ(writer->WriteFrame(*decoded.bitmap, FrameTiming{}), B_OK) << ErrorReason();
    ASSERT_EQ(writer->WriteFrame(*decoded.bitmap, FrameTiming{}), B_OK) << ErrorReason();
    ASSERT_EQ(writer->Finish(), B_OK) << ErrorReason();
    const std::string written = folder / "written.tif";
    orvtest::WriteFile(written,
                       std::string(static_cast<const char*>(out.Buffer()), out.BufferLength()));
    EXPECT_EQ(TagsOf(written), expected);
    EXPECT_EQ(ValidationWarnings(written), ValidationWarnings(source));

    out.Seek(0, SEEK_FROM_START);
    DecodedImage again;
    ASSERT_EQ(translator.DecodePicture(out, &again), B_OK) << ErrorReason();
    EXPECT_TRUE(SamePixels(*decoded.bitmap, *again.bitmap));
    EXPECT_EQ(again.info.metadata.color.icc, m.color.icc);
    EXPECT_EQ(again.info.metadata.iptc, m.iptc);
    EXPECT_EQ(again.info.metadata.xmp, m.xmp);
}

TEST(TIFFMetadataTest, RefusesAProfileOverTheBound) {
    std::vector<uint8> samples(3 * 4, 100);
    std::vector<uint8> file = WriteTIFF({.compression = COMPRESSION_NONE}, 2, 2, samples.data());
    // The same file with a 17 MB profile, written by libtiff.
    orvtest::TempFolder folder;
    const std::string path = folder / "big-profile.tif";
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 2);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    std::vector<uint8> profile(17 << 20, 1);
    TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32(profile.size()), profile.data());
    for (uint32 y = 0; y < 2; y++) {
        ASSERT_EQ(TIFFWriteScanline(t, &samples[y * 6], y, 0), 1);
    }
    TIFFClose(t);
    TIFFTranslator translator;
    ExpectRefused(translator, ReadFile(path), "17 MB profile");
    EXPECT_NE(ErrorReason().find("profil ICC trop grand"), std::string::npos) << ErrorReason();
    DecodeOK(translator, file);
}

}  // namespace
}  // namespace orv::test
