// SPDX-License-Identifier: MIT
#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include <webp/encode.h>
#include <webp/mux.h>

#include "tests/translators/png/CodecTestSupport.h"
#include "translators/webp/WebPTranslator.h"

namespace orv::test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new FreshConfigEnvironment);
constexpr uint32 kWebP = FourCC("WEBP");

// RFC 1321, enough to check the reference checksums without a crypto library.
std::string Md5(const std::vector<uint8>& message) {
    static const uint32 k[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
        0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
        0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
        0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
        0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
        0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
        0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
        0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
        0xeb86d391};
    static const int shift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                  5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                  4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                  6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    std::vector<uint8> data = message;
    uint64 bits = uint64(message.size()) * 8;
    data.push_back(0x80);
    while (data.size() % 64 != 56) {
        data.push_back(0);
    }
    for (int i = 0; i < 8; i++) {
        data.push_back(uint8(bits >> (8 * i)));
    }
    uint32 h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (size_t block = 0; block < data.size(); block += 64) {
        uint32 w[16];
        for (int i = 0; i < 16; i++) {
            const uint8* p = &data[block + size_t(i) * 4];
            w[i] = uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
        }
        uint32 a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; i++) {
            uint32 f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            uint32 sum = a + f + k[i] + w[g];
            a = d;
            d = c;
            c = b;
            b += (sum << shift[i]) | (sum >> (32 - shift[i]));
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
    }
    char text[33];
    for (int i = 0; i < 16; i++) {
        std::snprintf(text + i * 2, 3, "%02x", (h[i / 4] >> (8 * (i % 4))) & 0xff);
    }
    return text;
}

// The reference decoder's PAM output: a fixed header, then red, green, blue, alpha.
std::vector<uint8> AsPam(const BBitmap& image) {
    char header[128];
    int length = std::snprintf(header, sizeof(header),
                               "P7\nWIDTH %u\nHEIGHT %u\nDEPTH 4\nMAXVAL 255\nTUPLTYPE "
                               "RGB_ALPHA\nENDHDR\n",
                               image.PixelWidth(), image.PixelHeight());
    std::vector<uint8> pam(header, header + length);
    for (uint32 y = 0; y < image.PixelHeight(); y++) {
        for (uint32 x = 0; x < image.PixelWidth(); x++) {
            const uint8* p = Pixel(image, x, y);
            pam.insert(pam.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    return pam;
}

std::map<std::string, std::string> ReferencePamMd5s() {
    std::map<std::string, std::string> sums;
    std::FILE* file = std::fopen(CorpusPath("webp/libwebp_tests.md5").c_str(), "r");
    if (file == nullptr) {
        return sums;
    }
    char sum[64], name[256];
    while (std::fscanf(file, "%63s %255s", sum, name) == 2) {
        std::string entry = name;
        if (entry.ends_with(".webp.pam")) {
            sums[entry.substr(0, entry.size() - 4)] = sum;
        }
    }
    std::fclose(file);
    return sums;
}

std::vector<std::string> WebPFiles() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(CorpusPath("webp").c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.ends_with(".webp")) {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WebPTranslator, ConformanceFilesMatchTheReferenceDecoder) {
    WebPTranslator translator;
    std::map<std::string, std::string> sums = ReferencePamMd5s();
    ASSERT_GE(sums.size(), 90u);
    int matched = 0;
    for (const auto& [name, sum] : sums) {
        SCOPED_TRACE(name);
        std::unique_ptr<BBitmap> image;
        status_t status = Decode(translator, ReadFile(CorpusPath("webp/" + name)), &image);
        ASSERT_EQ(status, B_OK) << ErrorReason();
        EXPECT_EQ(Md5(AsPam(*image)), sum);
        matched++;
    }
    EXPECT_EQ(matched, int(sums.size()));
}

TEST(WebPTranslator, LosslessVectorsDecodeToTheirPictures) {
    WebPTranslator translator;
    std::vector<uint8> grid = ReadFile(CorpusPath("webp/grid.pam"));
    std::vector<uint8> peak = ReadFile(CorpusPath("webp/peak.pam"));
    int checked = 0;
    for (const std::string& name : WebPFiles()) {
        if (!name.starts_with("lossless_vec_")) {
            continue;
        }
        SCOPED_TRACE(name);
        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(translator, ReadFile(CorpusPath("webp/" + name)), &image), B_OK)
            << ErrorReason();
        EXPECT_EQ(AsPam(*image), name[13] == '1' ? grid : peak);
        checked++;
    }
    EXPECT_EQ(checked, 32);

    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(
        Decode(translator, ReadFile(CorpusPath("webp/lossless_color_transform.webp")), &image),
        B_OK);
    EXPECT_EQ(AsPam(*image), ReadFile(CorpusPath("webp/lossless_color_transform.pam")));
}

TEST(WebPTranslator, AlphaDecidesTheColourSpace) {
    WebPTranslator translator;
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, ReadFile(CorpusPath("webp/lossy_alpha1.webp")), &image), B_OK);
    EXPECT_EQ(image->ColorSpace(), B_RGBA32);
    ASSERT_EQ(
        Decode(translator, ReadFile(CorpusPath("webp/vp80-00-comprehensive-001.webp")), &image),
        B_OK);
    EXPECT_EQ(image->ColorSpace(), B_RGB32);
}

TEST(WebPTranslator, EveryFileComesThroughWithoutHarm) {
    WebPTranslator translator;
    for (const std::string& name : WebPFiles()) {
        std::unique_ptr<BBitmap> image;
        status_t status = Decode(translator, ReadFile(CorpusPath("webp/" + name)), &image);
        EXPECT_EQ(status == B_OK, image != nullptr) << name;
        EXPECT_TRUE(status == B_OK || !ErrorReason().empty()) << name;
    }
}

TEST(WebPTranslator, LossyAndLosslessRoundTrips) {
    WebPTranslator translator;
    std::unique_ptr<BBitmap> original = MakeTestImage(97, 61, true);
    std::vector<uint8> lossy = Encode(translator, *original, kWebP);
    std::unique_ptr<BBitmap> decoded;
    ASSERT_EQ(Decode(translator, lossy, &decoded), B_OK) << ErrorReason();
    EXPECT_EQ(decoded->ColorSpace(), B_RGBA32);
    int alphaError = 0;
    for (uint32 y = 0; y < 61; y++) {
        for (uint32 x = 0; x < 97; x++) {
            alphaError = std::max(alphaError,
                                  std::abs(Pixel(*original, x, y)[3] - Pixel(*decoded, x, y)[3]));
        }
    }
    // Alpha is compressed without loss even in a lossy file.
    EXPECT_EQ(alphaError, 0);

    ASSERT_EQ(translator.Settings().Set("lossless", 1), B_OK);
    ASSERT_EQ(Decode(translator, Encode(translator, *original, kWebP), &decoded), B_OK);
    EXPECT_EQ(std::memcmp(decoded->Bits(), original->Bits(), size_t(original->BitsLength())), 0);
    ASSERT_EQ(translator.Settings().Set("lossless", 0), B_OK);

    std::unique_ptr<BBitmap> photo;
    ASSERT_EQ(
        Decode(translator, ReadFile(CorpusPath("webp/vp80-00-comprehensive-005.webp")), &photo),
        B_OK);
    ASSERT_EQ(Decode(translator, Encode(translator, *photo, kWebP), &decoded), B_OK);
    EXPECT_EQ(decoded->ColorSpace(), B_RGB32);
    EXPECT_GT(PSNR(*photo, *decoded), 35.0);
}

TEST(WebPTranslator, SettingsChangeTheOutput) {
    WebPTranslator translator;
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(
        Decode(translator, ReadFile(CorpusPath("webp/vp80-00-comprehensive-005.webp")), &image),
        B_OK);
    size_t normal = Encode(translator, *image, kWebP).size();
    ASSERT_EQ(translator.Settings().Set("quality", 20), B_OK);
    size_t low = Encode(translator, *image, kWebP).size();
    EXPECT_LT(low, normal);
    ASSERT_EQ(translator.Settings().Set("quality", 90), B_OK);
    ASSERT_EQ(translator.Settings().Set("method", 0), B_OK);
    EXPECT_NE(Encode(translator, *image, kWebP).size(), normal);
    ASSERT_EQ(translator.Settings().Set("method", 4), B_OK);
}

// Wraps a still lossy file in an extended container with an EXIF chunk saying "turn 90°
// clockwise" (orientation 6).
std::vector<uint8> WithExifOrientation6(const std::vector<uint8>& webp, uint32 width,
                                        uint32 height) {
    auto put32 = [](std::vector<uint8>& v, uint32 n) {
        for (int i = 0; i < 4; i++) {
            v.push_back(uint8(n >> (8 * i)));
        }
    };
    auto put24 = [](std::vector<uint8>& v, uint32 n) {
        for (int i = 0; i < 3; i++) {
            v.push_back(uint8(n >> (8 * i)));
        }
    };
    const uint8 exif[] = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3,
                          0,   1,   0,  0, 0, 6, 0, 0, 0, 0, 0,    0,    0};
    std::vector<uint8> body = {'W', 'E', 'B', 'P', 'V', 'P', '8', 'X'};
    put32(body, 10);
    body.insert(body.end(), {0x08, 0, 0, 0});  // EXIF flag
    put24(body, width - 1);
    put24(body, height - 1);
    body.insert(body.end(), webp.begin() + 12, webp.end());
    body.insert(body.end(), {'E', 'X', 'I', 'F'});
    put32(body, sizeof(exif));
    body.insert(body.end(), std::begin(exif), std::end(exif));
    std::vector<uint8> file = {'R', 'I', 'F', 'F'};
    put32(file, uint32(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

TEST(WebPTranslator, ExifOrientationIsApplied) {
    WebPTranslator translator;
    std::unique_ptr<BBitmap> original = MakeTestImage(40, 24, false);
    std::vector<uint8> webp = WithExifOrientation6(Encode(translator, *original, kWebP), 40, 24);
    std::unique_ptr<BBitmap> upright;
    ASSERT_EQ(Decode(translator, webp, &upright), B_OK) << ErrorReason();
    EXPECT_EQ(upright->PixelWidth(), 24u);
    EXPECT_EQ(upright->PixelHeight(), 40u);
    ASSERT_EQ(translator.Settings().Set("orientation", 0), B_OK);
    ASSERT_EQ(Decode(translator, webp, &upright), B_OK);
    EXPECT_EQ(upright->PixelWidth(), 40u);
    ASSERT_EQ(translator.Settings().Set("orientation", 1), B_OK);
}

// Two frames: opaque red for 100 ms, then half-transparent blue.
std::vector<uint8> MakeAnimation() {
    WebPAnimEncoderOptions options;
    EXPECT_TRUE(WebPAnimEncoderOptionsInit(&options));
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(32, 16, &options);
    WebPConfig config;
    EXPECT_TRUE(WebPConfigInit(&config));
    config.lossless = 1;
    WebPPicture frame;
    EXPECT_TRUE(WebPPictureInit(&frame));
    frame.width = 32;
    frame.height = 16;
    frame.use_argb = 1;
    EXPECT_TRUE(WebPPictureAlloc(&frame));
    int timestamp = 0;
    for (uint32 argb : {0xffff0000u, 0x800000ffu}) {
        std::fill(frame.argb, frame.argb + 32 * 16, argb);
        EXPECT_TRUE(WebPAnimEncoderAdd(encoder, &frame, timestamp, &config));
        timestamp += 100;
    }
    EXPECT_TRUE(WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr));
    WebPData data;
    WebPDataInit(&data);
    EXPECT_TRUE(WebPAnimEncoderAssemble(encoder, &data));
    std::vector<uint8> bytes(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPPictureFree(&frame);
    WebPAnimEncoderDelete(encoder);
    return bytes;
}

TEST(WebPTranslator, AnimationIsReadAsItsFirstFrame) {
    WebPTranslator translator;
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, MakeAnimation(), &image), B_OK) << ErrorReason();
    ASSERT_EQ(image->PixelWidth(), 32u);
    ASSERT_EQ(image->PixelHeight(), 16u);
    const uint8 red[] = {0, 0, 255, 255};
    EXPECT_EQ(std::memcmp(Pixel(*image, 31, 15), red, 4), 0);
}

TEST(WebPTranslator, HostileFilesAreRefused) {
    WebPTranslator translator;
    ExpectTruncationsRefused(translator,
                             ReadFile(CorpusPath("webp/vp80-00-comprehensive-005.webp")));
    ExpectTruncationsRefused(translator, ReadFile(CorpusPath("webp/lossless1.webp")));
    ExpectTruncationsRefused(translator, MakeAnimation());

    // A RIFF size far beyond the file: refused without reserving the promised gigabytes.
    std::vector<uint8> liar = ReadFile(CorpusPath("webp/lossless1.webp"));
    liar[7] = 0x7f;
    std::unique_ptr<BBitmap> image;
    EXPECT_NE(Decode(translator, liar, &image), B_OK);
}

TEST(WebPTranslator, FailedWritesAreReported) {
    WebPTranslator translator;
    std::unique_ptr<BBitmap> image = MakeTestImage(300, 200, true);
    ExpectWriteFailureReported(translator, *image, kWebP);
}

}  // namespace
}  // namespace orv::test
