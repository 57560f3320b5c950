// SPDX-License-Identifier: MIT
// What a BMP says beside its pixels: the version 5 header's embedded profile or its sRGB
// statement, the rendering intent and the resolution, read from files ImageMagick writes and
// written back where ImageMagick finds them.
#include <cmath>

#include "platform/support/ByteOrder.h"
#include "tests/TempFolder.h"
#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ExternalTools.h"
#include "translators/bmp/BMPTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kBMP = FourCC("BMP ");
const std::string kAdobeRGB = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";

std::vector<uint8> EncodePictureOK(BMPTranslator& translator, const DecodedImage& decoded) {
    BMallocIO out;
    EXPECT_EQ(translator.EncodePicture(*decoded.bitmap, decoded.info, kBMP, out), B_OK)
        << ErrorReason();
    const auto* data = static_cast<const uint8*>(out.Buffer());
    return std::vector<uint8>(data, data + out.BufferLength());
}

class BMPColourTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("convert") || !std::filesystem::exists(kAdobeRGB)) {
            GTEST_SKIP() << "ImageMagick or icc-profiles-free is not installed "
                            "(scripts/install-deps.sh)";
        }
    }

    std::vector<uint8> Made(const std::string& name, std::vector<std::string> args) {
        const std::string path = fFolder / name;
        args.insert(args.begin(), "convert");
        args.push_back(path);
        EXPECT_EQ(RunTool(args), 0) << name;
        return ReadFile(path);
    }

    BMPTranslator fTranslator;
    orvtest::TempFolder fFolder;
};

TEST_F(BMPColourTest, ProfileAndResolutionComeInAndGoBackOut) {
    const std::vector<uint8> profile = ReadFile(kAdobeRGB);
    const std::vector<uint8> theirs =
        Made("theirs.bmp",
             {"rose:", "-profile", kAdobeRGB, "-density", "300", "-units", "PixelsPerInch"});
    const DecodedImage decoded = DecodeWhole(fTranslator, theirs);
    EXPECT_EQ(decoded.info.metadata.color.icc, profile);
    EXPECT_FALSE(decoded.info.metadata.color.srgb);
    // 300 dpi is stored as 11811 pixels per metre.
    EXPECT_NEAR(decoded.info.metadata.xDpi, 300, 0.01);
    EXPECT_NEAR(decoded.info.metadata.yDpi, 300, 0.01);
    EXPECT_EQ(decoded.damage, "");

    // Written back, ImageMagick finds the same profile bytes and resolution.
    const std::string ours = fFolder / "ours.bmp";
    const std::vector<uint8> written = EncodePictureOK(fTranslator, decoded);
    orvtest::WriteFile(ours, std::string(written.begin(), written.end()));
    ASSERT_EQ(RunTool({"convert", ours, fFolder / "ours.icc"}), 0);
    EXPECT_EQ(ReadFile(fFolder / "ours.icc"), profile);
    std::string resolution;
    ASSERT_EQ(RunTool({"identify", "-format", "%x %y", ours}, &resolution), 0);
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(resolution.c_str(), "%lf %lf", &x, &y), 2) << resolution;
    EXPECT_NEAR(x, 118.11, 0.01) << "pixels per centimetre";
    EXPECT_NEAR(y, 118.11, 0.01);
    ExpectSamePixels(*decoded.bitmap, *DecodeOK(fTranslator, written));
}

TEST_F(BMPColourTest, SRGBIntentsAndUnstatedResolution) {
    // ImageMagick states sRGB in the header of a picture with alpha, without a profile.
    const DecodedImage stated =
        DecodeWhole(fTranslator, Made("srgb.bmp", {"rose:", "-alpha", "on"}));
    EXPECT_TRUE(stated.info.metadata.color.srgb);
    EXPECT_TRUE(stated.info.metadata.color.icc.empty());

    // Each ICC rendering intent goes through the header's own numbering and back; no
    // resolution is written where none is known.
    DecodedImage picture;
    picture.bitmap = TestPicture(9, 7, false);
    picture.info = PlainInfo(*picture.bitmap);
    picture.info.metadata.color.icc = ReadFile(kAdobeRGB);
    for (int32 intent = 0; intent < 4; intent++) {
        picture.info.metadata.color.renderingIntent = intent;
        const std::vector<uint8> bytes = EncodePictureOK(fTranslator, picture);
        const DecodedImage back = DecodeWhole(fTranslator, bytes);
        EXPECT_EQ(back.info.metadata.color.renderingIntent, intent);
        EXPECT_EQ(back.info.metadata.color.icc, picture.info.metadata.color.icc);
        EXPECT_EQ(back.info.metadata.xDpi, 0);
        EXPECT_EQ(ReadLE32(bytes.data() + 14 + 24), 0u) << "pixels per metre";
    }
}

TEST_F(BMPColourTest, AProfileCutOffOrTooLargeIsNotPassedOff) {
    std::vector<uint8> file = Made("profile.bmp", {"rose:", "-profile", kAdobeRGB});
    // The profile follows the pixels: a file cut in it keeps its whole picture, and says
    // what it lost.
    std::vector<uint8> cut(file.begin(), file.end() - 100);
    const DecodedImage decoded = DecodeWhole(fTranslator, cut);
    EXPECT_EQ(decoded.damage, "fichier tronqué : le profil de couleurs manque");
    EXPECT_TRUE(decoded.info.metadata.color.icc.empty());
    ExpectSamePixels(*DecodeOK(fTranslator, file), *decoded.bitmap);

    // A profile declared larger than any is refused before anything is allocated for it.
    WriteLE32(file.data() + 14 + 116, 0x7fffffff);
    ExpectRefused(fTranslator, file, "a 2 GB profile");
}

}  // namespace
}  // namespace orv::test
