// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage/MimeType.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/Message.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/PixelRows.h"
#include "translators/pnm/PNMTranslator.h"

namespace {

// Settings go to a private folder, never the real one of whoever runs the tests.
class PNMTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "orv-pnm-XXXXXX").string();
        fConfig = mkdtemp(pattern.data());
        setenv("XDG_CONFIG_HOME", fConfig.c_str(), 1);
        fTranslator = std::make_unique<orv::PNMTranslator>();
    }
    void TearDown() override {
        fTranslator.reset();
        std::filesystem::remove_all(fConfig);
    }

    status_t Decode(const std::string& bytes, std::unique_ptr<BBitmap>* image) {
        BMemoryIO stream(bytes.data(), bytes.size());
        return fTranslator->DecodeImage(stream, image);
    }

    std::string Encode(const BBitmap& image, uint32 type) {
        BMallocIO out;
        EXPECT_EQ(fTranslator->EncodeImage(image, type, out), B_OK);
        return std::string(static_cast<const char*>(out.Buffer()), out.BufferLength());
    }

    std::string fConfig;
    std::unique_ptr<orv::PNMTranslator> fTranslator;
};

// Pixel i of a decoded bitmap as 0xAARRGGBB.
uint32 PixelValue(const BBitmap& image, uint32 i) {
    const auto* p = static_cast<const uint8*>(image.Bits()) + 4 * i;
    return uint32(p[3]) << 24 | uint32(p[2]) << 16 | uint32(p[1]) << 8 | p[0];
}

TEST_F(PNMTest, DecodesEveryKind) {
    using std::string_literals::operator""s;
    const struct {
        const char* what;
        std::string bytes;
        uint32 width, height;
        color_space space;
        uint32 pixel;     // which pixel to check
        uint32 expected;  // its value, 0xAARRGGBB
    } cases[] = {
        {"P1 plain bits, 1 is black", "P1\n# c\n3 2\n0 1 0\n110\n", 3, 2, B_RGB32, 1, 0xff000000},
        {"P1 last pixel", "P1 3 2 010 110", 3, 2, B_RGB32, 5, 0xffffffff},
        {"P4 rows padded to bytes", "P4\n10 2\n\x80\x40\x00\x00"s, 10, 2, B_RGB32, 9, 0xff000000},
        {"P4 second row", "P4\n10 2\n\x80\x40\x7f\xff"s, 10, 2, B_RGB32, 10, 0xffffffff},
        {"P2 scaled from 15", "P2\n2 1\n15\n0 7\n", 2, 1, B_RGB32, 1, 0xff777777},
        {"P3 order", "P3 1 1 255 10 20 30", 1, 1, B_RGB32, 0, 0xff0a141e},
        {"P5 byte", "P5 2 1 255\n\x00\xc8"s, 2, 1, B_RGB32, 1, 0xffc8c8c8},
        {"P5 16-bit big-endian", "P5 1 1 65535\n\x80\x00"s, 1, 1, B_RGB32, 0, 0xff808080},
        {"P6 comment before maxval", "P6 1 1 #x\n255\n\x01\x02\x03"s, 1, 1, B_RGB32, 0, 0xff010203},
        {"P6 16-bit", "P6 1 1 1000\n\x03\xe8\x00\x00\x01\xf4"s, 1, 1, B_RGB32, 0, 0xffff0080},
        {"P6 sample above maxval", "P6 1 1 100\n\xff\x32\x00"s, 1, 1, B_RGB32, 0, 0xffff8000},
        {"PAM RGB_ALPHA",
         "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n\x0a\x14\x1e\x80"s,
         1, 1, B_RGBA32, 0, 0x800a141e},
        {"PAM GRAYSCALE_ALPHA 16-bit",
         "P7\n# note\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 65535\nTUPLTYPE GRAYSCALE_ALPHA\n"
         "ENDHDR\n\xff\xff\x00\x00"s,
         1, 1, B_RGBA32, 0, 0x00ffffff},
        {"PAM BLACKANDWHITE, 1 is white",
         "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 1\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE\nENDHDR\n\x00\x01"s, 2,
         1, B_RGB32, 1, 0xffffffff},
        {"PAM without TUPLTYPE",
         "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nENDHDR\n\x01\x02\x03"s, 1, 1, B_RGB32, 0,
         0xff010203},
    };
    for (const auto& c : cases) {
        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(c.bytes, &image), B_OK) << c.what << ": " << orv::ErrorReason();
        EXPECT_EQ(image->PixelWidth(), c.width) << c.what;
        EXPECT_EQ(image->PixelHeight(), c.height) << c.what;
        EXPECT_EQ(image->ColorSpace(), c.space) << c.what;
        EXPECT_EQ(PixelValue(*image, c.pixel), c.expected) << c.what;

        const translation_format* format = nullptr;
        BMemoryIO stream(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(fTranslator->IdentifyImage(stream, &format), B_OK) << c.what;
    }
}

TEST_F(PNMTest, RefusesDamagedAndHostileFiles) {
    using std::string_literals::operator""s;
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"maxval 0", "P5 1 1 0\n\x00"s},
        {"maxval over 65535", "P5 1 1 65536\n\x00\x00"s},
        {"width 0", "P6 0 1 255\n"},
        {"side over the limit", "P6 70000 1 255\n"},
        {"pixels over the limit", "P6 60000 60000 255\n\x00\x00\x00"s},
        {"huge number", "P6 99999999999999999999 1 255\n"},
        {"no space after maxval", "P6 1 1 255\x01\x02\x03"s},
        {"raw data short", "P6 2 2 255\n\x01\x02\x03\x04\x05\x06\x07"s},
        {"16-bit data short", "P5 2 1 65535\n\x01\x02\x03"s},
        {"plain data short", "P3 1 2 255 1 2 3 4 5"},
        {"plain data not a number", "P2 2 1 255 1 x"},
        {"P1 other digit", "P1 2 1 0 2"},
        {"PAM depth against tuple type",
         "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE "
         "GRAYSCALE\nENDHDR\n\x00\x00\x00"s},
        {"PAM unknown line", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nCOLOR 3\nENDHDR\n\x00"s},
        {"PAM missing height", "P7\nWIDTH 1\nDEPTH 1\nMAXVAL 255\nENDHDR\n\x00"s},
        {"PAM depth 5",
         "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\n\x00\x00\x00\x00\x00"s},
        {"PAM no end", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n"},
        {"not PNM", "PNG\r\n"},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        std::unique_ptr<BBitmap> image;
        orv::ClearErrorReason();
        EXPECT_NE(Decode(c.bytes, &image), B_OK) << c.what;
        EXPECT_EQ(image, nullptr) << c.what;
        EXPECT_FALSE(orv::ErrorReason().empty()) << c.what;
    }
}

TEST_F(PNMTest, TruncatedAnywhereIsRefused) {
    auto source = std::make_unique<BBitmap>(BRect(0, 0, 4, 2), B_RGBA32);
    auto* p = static_cast<uint8*>(source->Bits());
    for (int32 i = 0; i < source->BitsLength(); ++i) {
        p[i] = uint8(i * 37);
    }
    for (uint32 type : {orv::kPPMFormat, orv::kPAMFormat}) {
        const std::string whole = Encode(*source, type);
        for (size_t cut = 0; cut < whole.size(); ++cut) {
            std::unique_ptr<BBitmap> image;
            EXPECT_NE(Decode(whole.substr(0, cut), &image), B_OK) << cut;
        }
    }
}

TEST_F(PNMTest, DeclaredSizeFarBeyondTheFileIsRefusedBeforeAllocating) {
    // 16000 × 16000 is within the pixel limit (a 1 GB bitmap): only the length of the file
    // shows it cannot be; the refusal must come at once, without taking the memory.
    const std::string bytes = "P6 16000 16000 255\n\x01\x02\x03";
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<BBitmap> image;
    EXPECT_EQ(Decode(bytes, &image), B_BAD_DATA);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(PNMTest, RoundTripsAreExact) {
    auto rgb = std::make_unique<BBitmap>(BRect(0, 0, 6, 4), B_RGB32);
    auto* p = static_cast<uint8*>(rgb->Bits());
    for (int32 i = 0; i < rgb->BitsLength(); ++i) {
        p[i] = (i % 4 == 3) ? 255 : uint8(i * 29);
    }

    for (int32 encoding : {0, 1}) {  // raw then plain
        ASSERT_EQ(fTranslator->Settings().Set("ppm_encoding", encoding), B_OK);
        const std::string ppm = Encode(*rgb, orv::kPPMFormat);
        EXPECT_EQ(ppm.substr(0, 2), encoding == 0 ? "P6" : "P3");
        std::unique_ptr<BBitmap> back;
        ASSERT_EQ(Decode(ppm, &back), B_OK) << encoding;
        EXPECT_EQ(std::memcmp(back->Bits(), rgb->Bits(), size_t(rgb->BitsLength())), 0);
    }

    // PAM keeps alpha exactly when there is some, and writes plain RGB when there is none.
    auto rgba = std::make_unique<BBitmap>(BRect(0, 0, 2, 1), B_RGBA32);
    auto* q = static_cast<uint8*>(rgba->Bits());
    for (int32 i = 0; i < rgba->BitsLength(); ++i) {
        q[i] = uint8(i * 41 + 3);
    }
    const std::string pam = Encode(*rgba, orv::kPAMFormat);
    EXPECT_NE(pam.find("TUPLTYPE RGB_ALPHA"), std::string::npos);
    std::unique_ptr<BBitmap> back;
    ASSERT_EQ(Decode(pam, &back), B_OK);
    EXPECT_EQ(back->ColorSpace(), B_RGBA32);
    EXPECT_EQ(std::memcmp(back->Bits(), rgba->Bits(), size_t(rgba->BitsLength())), 0);

    EXPECT_NE(Encode(*rgb, orv::kPAMFormat).find("TUPLTYPE RGB\n"), std::string::npos);
}

TEST_F(PNMTest, PPMFlattensTransparencyOnWhiteUnlessTold) {
    auto rgba = std::make_unique<BBitmap>(BRect(0, 0, 0, 0), B_RGBA32);
    const uint8 halfRed[4] = {0, 0, 255, 128};  // blue, green, red, alpha
    std::memcpy(rgba->Bits(), halfRed, 4);
    std::string ppm = Encode(*rgba, orv::kPPMFormat);
    EXPECT_EQ(ppm, std::string("P6\n1 1\n255\n\xff\x7f\x7f", 14));
    ASSERT_EQ(fTranslator->Settings().Set("flatten_alpha", 0), B_OK);
    ppm = Encode(*rgba, orv::kPPMFormat);
    EXPECT_EQ(ppm, std::string("P6\n1 1\n255\n\xff\x00\x00", 14));

    // A setting changed by one translator object is what the next one loads.
    orv::PNMTranslator other;
    EXPECT_FALSE(other.Settings().Bool("flatten_alpha"));
}

TEST_F(PNMTest, PAMGetsItsExtensionThoughTheDatabaseLacksIt) {
    BMessage extensions;
    ASSERT_EQ(BMimeType("image/x-portable-arbitrarymap").GetFileExtensions(&extensions), B_OK);
    EXPECT_STREQ(extensions.GetString("extensions", ""), "pam");
}

TEST_F(PNMTest, WritesThroughTheKitFromAnInterchangeStream) {
    // The whole path the conversion run takes: a bitmap stream in, a PPM out.
    auto* bitmap = new BBitmap(BRect(0, 0, 1, 0), B_RGB32);
    const uint8 pixels[8] = {1, 2, 3, 255, 4, 5, 6, 255};
    std::memcpy(bitmap->Bits(), pixels, 8);
    BBitmapStream source(bitmap);
    translator_info info{};
    ASSERT_EQ(fTranslator->Identify(&source, nullptr, nullptr, &info, orv::kPPMFormat), B_OK);
    EXPECT_EQ(info.type, B_TRANSLATOR_BITMAP);
    BMallocIO out;
    ASSERT_EQ(fTranslator->Translate(&source, &info, nullptr, orv::kPPMFormat, &out), B_OK);
    EXPECT_EQ(std::string(static_cast<const char*>(out.Buffer()), out.BufferLength()),
              std::string("P6\n2 1\n255\n\x03\x02\x01\x06\x05\x04", 17));
    EXPECT_EQ(fTranslator->Identify(&source, nullptr, nullptr, &info, FourCC("PNG ")),
              B_NO_TRANSLATOR);
}

}  // namespace
