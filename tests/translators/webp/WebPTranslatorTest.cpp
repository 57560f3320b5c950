// SPDX-License-Identifier: MIT
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ForeignFiles.h"
#include "translators/webp/WebPTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kWebP = FourCC("WEBP");

// MD5 (RFC 1321), enough to check the reference checksums without a crypto library.
std::string Md5(std::vector<uint8> data) {
    static const int kShift[4][4] = {
        {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
    uint64 bits = uint64(data.size()) * 8;
    data.push_back(0x80);
    data.resize((data.size() + 8 + 63) / 64 * 64 - 8, 0);
    for (int i = 0; i < 8; i++) {
        data.push_back(uint8(bits >> (8 * i)));
    }
    uint32 h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (size_t block = 0; block < data.size(); block += 64) {
        uint32 a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; i++) {
            int round = i / 16;
            uint32 f = round == 0   ? (b & c) | (~b & d)
                       : round == 1 ? (d & b) | (~d & c)
                       : round == 2 ? b ^ c ^ d
                                    : c ^ (b | ~d);
            int g = round == 0   ? i
                    : round == 1 ? (5 * i + 1) % 16
                    : round == 2 ? (3 * i + 5) % 16
                                 : (7 * i) % 16;
            uint32 word;
            std::memcpy(&word, &data[block + size_t(g) * 4], 4);  // little-endian machine
            uint32 sum = a + f + uint32(std::fabs(std::sin(i + 1)) * 4294967296.0) + word;
            int s = kShift[round][i % 4];
            a = d;
            d = c;
            c = b;
            b += (sum << s) | (sum >> (32 - s));
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

// The reference decoder's PAM output: its fixed header, then red, green, blue, alpha.
std::vector<uint8> AsPam(const BBitmap& image) {
    std::string header = "P7\nWIDTH " + std::to_string(image.PixelWidth()) + "\nHEIGHT " +
                         std::to_string(image.PixelHeight()) +
                         "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::vector<uint8> pam(header.begin(), header.end());
    for (uint32 y = 0; y < image.PixelHeight(); y++) {
        for (uint32 x = 0; x < image.PixelWidth(); x++) {
            const uint8* p = Pixel(image, x, y);
            pam.insert(pam.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    return pam;
}

TEST(WebPTranslator, ConformanceFilesMatchTheReferenceDecoder) {
    ORV_NEED_CORPUS();
    WebPTranslator translator;
    std::vector<uint8> list = ReadCorpusFile("webp/libwebp_tests.md5");
    std::istringstream lines(std::string(list.begin(), list.end()));
    std::string sum, name;
    int matched = 0;
    while (lines >> sum >> name) {
        if (!name.ends_with(".webp.pam")) {
            continue;
        }
        name.resize(name.size() - 4);
        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(translator, ReadCorpusFile("webp/" + name), &image), B_OK)
            << name << ": " << ErrorReason();
        EXPECT_EQ(Md5(AsPam(*image)), sum) << name;
        matched++;
    }
    EXPECT_EQ(matched, 96);

    // The lossless vectors have decoded pictures beside them instead.
    for (int set = 1; set <= 2; set++) {
        std::vector<uint8> expected = ReadCorpusFile(set == 1 ? "webp/grid.pam" : "webp/peak.pam");
        for (int n = 0; n < 16; n++) {
            name = "webp/lossless_vec_" + std::to_string(set) + "_" + std::to_string(n) + ".webp";
            std::unique_ptr<BBitmap> image;
            ASSERT_EQ(Decode(translator, ReadCorpusFile(name), &image), B_OK) << name;
            EXPECT_EQ(AsPam(*image), expected) << name;
            EXPECT_EQ(image->ColorSpace(), set == 1 ? B_RGBA32 : B_RGB32) << name;
        }
    }
}

TEST(WebPTranslator, FilesOfCwebpDecodeAsDwebpSees) {
    ORV_NEED_PROGRAMS("cwebp", "dwebp", "img2webp");
    struct Case {
        const char* name;
        std::vector<std::string> make;  // writes made.webp
        bool alpha;
        bool lossless;  // then the source itself is the reference
    };
    const auto cwebp = [](std::vector<std::string> options, const char* source) {
        options.insert(options.begin(), "cwebp");
        options.insert(options.end(), {"-quiet", source, "-o", "made.webp"});
        return options;
    };
    const Case cases[] = {
        {"lossy", cwebp({"-q", "80"}, "opaque.pnm"), false, false},
        {"lossy, sharp YUV, most effort", cwebp({"-sharp_yuv", "-m", "6"}, "opaque.pnm"), false,
         false},
        {"lossy with lossless alpha", cwebp({"-q", "80", "-alpha_q", "100"}, "alpha.pam"), true,
         false},
        {"lossy with lossy, filtered alpha",
         cwebp({"-q", "50", "-alpha_q", "40", "-alpha_filter", "best"}, "alpha.pam"), true, false},
        {"lossless", cwebp({"-lossless", "-exact"}, "alpha.pam"), true, true},
        {"lossless, most compressed", cwebp({"-lossless", "-z", "9", "-exact"}, "opaque.pnm"),
         false, true},
        {"near-lossless", cwebp({"-near_lossless", "40"}, "alpha.pam"), true, false},
        // An animation: its first frame, lossless, is what is read.
        {"animation",
         {"img2webp", "-lossless", "alpha.pam", "-lossy", "-q", "50", "opaque.pnm", "-o",
          "made.webp"},
         true,
         true},
    };
    WebPTranslator translator;
    ForeignFiles files;
    const Samples opaque = SmoothPicture(67, 45);
    const Samples alpha = SmoothPicture(67, 45, true);
    files.Write("opaque.pnm", ToNetpbm(opaque));
    files.Write("alpha.pam", ToNetpbm(alpha));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(files.Run(c.make));
        const std::vector<uint8> webp = files.Read("made.webp");
        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(translator, webp, &image), B_OK) << ErrorReason();
        EXPECT_EQ(image->ColorSpace(), c.alpha ? B_RGBA32 : B_RGB32);
        if (c.lossless) {
            ExpectPixelsMatch(c.alpha ? alpha : opaque, *image);
        } else {
            ASSERT_TRUE(files.Run({"dwebp", "-quiet", "made.webp", "-pam", "-o", "reference.pam"}));
            ExpectPixelsMatch(ParseNetpbm(files.Read("reference.pam"), "reference"), *image);
        }
        ExpectTruncationsRefused(translator, webp);
    }
}

// Two frames: opaque red, then half-transparent blue.
std::vector<uint8> MakeAnimation() {
    WebPAnimEncoderOptions options;
    WebPConfig config;
    WebPPicture frame;
    EXPECT_TRUE(WebPAnimEncoderOptionsInit(&options) && WebPConfigInit(&config) &&
                WebPPictureInit(&frame));
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(32, 16, &options);
    config.lossless = 1;
    frame.width = 32;
    frame.height = 16;
    frame.use_argb = 1;
    EXPECT_TRUE(WebPPictureAlloc(&frame));
    int timestamp = 0;
    for (uint32 argb : {0xffff0000u, 0x800000ffu}) {
        std::fill(frame.argb, frame.argb + 32 * 16, argb);
        EXPECT_TRUE(WebPAnimEncoderAdd(encoder, &frame, timestamp += 100, &config));
    }
    WebPData data;
    WebPDataInit(&data);
    EXPECT_TRUE(WebPAnimEncoderAdd(encoder, nullptr, timestamp + 100, nullptr) &&
                WebPAnimEncoderAssemble(encoder, &data));
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
    EXPECT_EQ(std::memcmp(Pixel(*image, 31, 15), "\x00\x00\xff\xff", 4), 0);
}

TEST(WebPTranslator, RoundTripsAndSettings) {
    WebPTranslator translator;
    std::unique_ptr<BBitmap> source = MakePhotoLikeImage(97, 61, true), decoded;
    ASSERT_EQ(Decode(translator, Encode(translator, *source, kWebP), &decoded), B_OK);
    EXPECT_EQ(decoded->ColorSpace(), B_RGBA32);
    for (int32 i = 3; i < source->BitsLength(); i += 4) {
        // Alpha is kept without loss even in a lossy file.
        ASSERT_EQ(static_cast<const uint8*>(decoded->Bits())[i],
                  static_cast<const uint8*>(source->Bits())[i]);
    }
    ASSERT_EQ(translator.Settings().Set("lossless", 1), B_OK);
    ASSERT_EQ(Decode(translator, Encode(translator, *source, kWebP), &decoded), B_OK);
    EXPECT_EQ(std::memcmp(decoded->Bits(), source->Bits(), size_t(source->BitsLength())), 0);
    ASSERT_EQ(translator.Settings().Set("lossless", 0), B_OK);

    const std::unique_ptr<BBitmap> photo = ToBitmap(SmoothPicture(176, 144));
    std::vector<uint8> normal = Encode(translator, *photo, kWebP);
    ASSERT_EQ(Decode(translator, normal, &decoded), B_OK);
    EXPECT_EQ(decoded->ColorSpace(), B_RGB32);
    EXPECT_GT(PSNR(*photo, *decoded), 35.0);
    ASSERT_EQ(translator.Settings().Set("quality", 20), B_OK);
    EXPECT_LT(Encode(translator, *photo, kWebP).size(), normal.size());
    ASSERT_EQ(translator.Settings().Set("quality", 90), B_OK);
    ASSERT_EQ(translator.Settings().Set("method", 0), B_OK);
    EXPECT_NE(Encode(translator, *photo, kWebP), normal);
    ASSERT_EQ(translator.Settings().Set("method", 4), B_OK);

    ExpectWriteFailureReported(translator, *source, kWebP);
}

TEST(WebPTranslator, ExifOrientationIsApplied) {
    WebPTranslator translator;
    std::vector<uint8> simple = Encode(translator, *MakePhotoLikeImage(40, 24, false), kWebP);
    // The same bitstream in an extended container with an EXIF chunk: orientation 6.
    const uint8 head[] = {'V', 'P', '8', 'X', 10, 0, 0, 0, 0x08, 0, 0, 0, 39, 0, 0, 23, 0, 0};
    const uint8 exif[] = {'E', 'X',  'I', 'F', 26, 0, 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1,
                          0,   0x12, 1,   3,   0,  1, 0, 0, 0,   6,   0,  0, 0, 0, 0, 0, 0};
    std::vector<uint8> webp(simple.begin(), simple.begin() + 12);
    webp.insert(webp.end(), std::begin(head), std::end(head));
    webp.insert(webp.end(), simple.begin() + 12, simple.end());
    webp.insert(webp.end(), std::begin(exif), std::end(exif));
    for (int i = 0; i < 4; i++) {
        webp[4 + size_t(i)] = uint8((webp.size() - 8) >> (8 * i));
    }

    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, webp, &image), B_OK) << ErrorReason();
    EXPECT_EQ(image->PixelWidth(), 24u);
    EXPECT_EQ(image->PixelHeight(), 40u);
    auto stored = DecodeAsStored(translator, webp);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->PixelWidth(), 40u);
}

TEST(WebPTranslator, HostileFilesAreRefused) {
    WebPTranslator translator;
    const std::unique_ptr<BBitmap> picture = ToBitmap(SmoothPicture(176, 144, true));
    ExpectTruncationsRefused(translator, Encode(translator, *picture, kWebP));
    ASSERT_EQ(translator.Settings().Set("lossless", 1), B_OK);
    const std::vector<uint8> lossless = Encode(translator, *picture, kWebP);
    ASSERT_EQ(translator.Settings().Set("lossless", 0), B_OK);
    ExpectTruncationsRefused(translator, lossless);
    ExpectTruncationsRefused(translator, MakeAnimation());

    // A RIFF size far beyond the file: refused without reserving the promised gigabytes.
    std::vector<uint8> liar = lossless;
    liar[7] = 0x7f;
    ExpectRefused(translator, liar);
}

}  // namespace
}  // namespace orv::test
