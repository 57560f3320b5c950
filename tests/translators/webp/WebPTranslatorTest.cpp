// SPDX-License-Identifier: MIT
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/support/ImageLimits.h"
#include "tests/translators/common/ForeignFiles.h"
#include "tests/translators/webp/WebPTestSupport.h"

namespace orv::test {
namespace {

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
    }
}

// Two frames by libwebp itself: opaque red for 100 ms, then half-transparent blue for 250.
std::vector<uint8> MakeAnimation() {
    WebPAnimEncoderOptions options;
    WebPConfig config;
    WebPPicture frame;
    EXPECT_TRUE(WebPAnimEncoderOptionsInit(&options) && WebPConfigInit(&config) &&
                WebPPictureInit(&frame));
    options.anim_params.loop_count = 7;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(32, 16, &options);
    config.lossless = 1;
    frame.width = 32;
    frame.height = 16;
    frame.use_argb = 1;
    EXPECT_TRUE(WebPPictureAlloc(&frame));
    int timestamp = 0;
    for (uint32 argb : {0xffff0000u, 0x800000ffu}) {
        std::fill(frame.argb, frame.argb + 32 * 16, argb);
        EXPECT_TRUE(WebPAnimEncoderAdd(encoder, &frame, timestamp, &config));
        timestamp += timestamp == 0 ? 100 : 250;
    }
    WebPData data;
    WebPDataInit(&data);
    EXPECT_TRUE(WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr) &&
                WebPAnimEncoderAssemble(encoder, &data));
    std::vector<uint8> bytes(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPPictureFree(&frame);
    WebPAnimEncoderDelete(encoder);
    return bytes;
}

TEST(WebPTranslator, AnimationIsReadFrameByFrame) {
    WebPTranslator translator;
    Sequence read = ReadSequence(translator, MakeAnimation());
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_EQ(read.info.frameCount, 2u);
    EXPECT_EQ(read.info.loopCount, 7);
    EXPECT_TRUE(read.info.alpha);
    EXPECT_EQ(read.delays, (std::vector<uint32>{100, 250}));
    EXPECT_EQ(PixelValue(*read.frames[0], 31, 15), 0xffff0000u);
    EXPECT_EQ(PixelValue(*read.frames[1], 0, 0), 0x800000ffu);
    EXPECT_EQ(read.damage, "");
    // Read as one picture, an animation is its first frame.
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, MakeAnimation(), &image), B_OK) << ErrorReason();
    EXPECT_EQ(PixelValue(*image, 31, 15), 0xffff0000u);
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
    // The reader says it turned the pixels, and the EXIF block goes on as it was.
    Sequence read = ReadSequence(translator, webp);
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_TRUE(read.info.orientationApplied);
    EXPECT_EQ(read.info.width, 24u);
    EXPECT_EQ(read.info.metadata.exif, std::vector<uint8>(std::begin(exif) + 8, std::end(exif)));
}

TEST(WebPTranslator, AnimationsRoundTrip) {
    WebPTranslator translator;
    auto frames = SampleFrames(48, 40);
    // A frame shown for no time, and one longer than the format's 24 bits hold.
    const std::vector<uint32> delays = {0, 40, 0x1000000, 0};
    PictureInfo info;
    info.loopCount = 2;
    for (bool lossless : {true, false}) {
        SCOPED_TRACE(lossless ? "lossless" : "lossy");
        ASSERT_EQ(translator.Settings().Set("lossless", lossless), B_OK);
        Sequence read = ReadSequence(translator, WriteSequence(translator, info, frames, delays));
        ASSERT_EQ(read.status, B_OK) << ErrorReason();
        ASSERT_EQ(read.frames.size(), 4u);
        EXPECT_EQ(read.info.loopCount, 2);
        EXPECT_EQ(read.delays, (std::vector<uint32>{0, 40, 0xffffff, 0}));
        for (size_t i = 0; i < 4; i++) {
            if (lossless) {
                ExpectSamePixels(*frames[i], *read.frames[i], 0);
            } else {
                EXPECT_GT(PSNR(*frames[i], *read.frames[i]), StillPSNR(translator, *frames[i]) - 1)
                    << i;
            }
        }
    }
    RestoreDefaults(translator);

    // Fewer frames than announced (a source that ended early) still make a whole file, and
    // a loop count beyond the format's 16 bits becomes the largest it holds.
    info.loopCount = 70000;
    const auto two = std::vector<std::unique_ptr<BBitmap>>(
        std::make_move_iterator(frames.begin()), std::make_move_iterator(frames.begin() + 2));
    Sequence read = ReadSequence(translator, WriteSequence(translator, info, two, {30, 60}, 4));
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_EQ(read.delays, (std::vector<uint32>{30, 60}));
    EXPECT_EQ(read.info.loopCount, 0xffff);
    EXPECT_EQ(read.damage, "");
}

// The chunks go into the extended container unchanged, still or animated, and come back
// as they went; a block stored with JPEG's "Exif\0\0" comes back without it.
TEST(WebPTranslator, MetadataChunksRoundTrip) {
    WebPTranslator translator;
    PictureInfo info;
    info.metadata.color.icc = Bytes("not really a profile, kept as it is");
    info.metadata.xmp = Bytes("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>");
    const std::vector<uint8> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
    info.metadata.exif = Bytes(std::string("Exif\0\0", 6));
    info.metadata.exif.insert(info.metadata.exif.end(), tiff.begin(), tiff.end());
    for (size_t count : {size_t(1), size_t(3)}) {
        auto some = SampleFrames(24, 30);
        some.resize(count);
        const std::vector<uint8> file =
            WriteSequence(translator, info, some, std::vector<uint32>(count, 50));
        Sequence read = ReadSequence(translator, file);
        ASSERT_EQ(read.status, B_OK) << ErrorReason();
        EXPECT_EQ(read.frames.size(), count);
        EXPECT_EQ(read.info.metadata.color.icc, info.metadata.color.icc);
        EXPECT_EQ(read.info.metadata.exif, tiff);
        EXPECT_EQ(read.info.metadata.xmp, info.metadata.xmp);
    }
}

// Cut anywhere, a file is refused with a reason or gives what it holds and says that the
// rest is missing; it never passes for whole.
void ExpectTruncationsSaid(WebPTranslator& translator, const std::vector<uint8>& bytes,
                           int* partial) {
    for (double fraction : {0.0, 0.02, 0.1, 0.3, 0.5, 0.7, 0.9, 0.99}) {
        const size_t size = size_t(double(bytes.size()) * fraction);
        Sequence read = ReadSequence(
            translator, std::vector<uint8>(bytes.begin(), bytes.begin() + ptrdiff_t(size)));
        if (read.status != B_OK) {
            EXPECT_FALSE(ErrorReason().empty()) << size;
            continue;
        }
        EXPECT_TRUE(read.damage.starts_with("fichier tronqué : ")) << size << ": " << read.damage;
        ++*partial;
    }
}

TEST(WebPTranslator, TruncatedFilesGiveWhatTheyHold) {
    WebPTranslator translator;
    // Noise, so that the coded rows are spread evenly through the file.
    const auto picture = NoisePicture(160, 120, true);
    int partial = 0;
    ExpectTruncationsSaid(translator, Encode(translator, *picture, kWebP), &partial);
    ASSERT_EQ(translator.Settings().Set("lossless", 1), B_OK);
    const std::vector<uint8> lossless = Encode(translator, *picture, kWebP);
    ExpectTruncationsSaid(translator, lossless, &partial);
    EXPECT_GE(partial, 8);

    // Half a lossless file: the rows it holds are the picture's, and about half is missing.
    Sequence half = ReadSequence(
        translator,
        std::vector<uint8>(lossless.begin(), lossless.begin() + ptrdiff_t(lossless.size() / 2)));
    ASSERT_EQ(half.status, B_OK) << ErrorReason();
    const int percent = std::atoi(half.damage.c_str() + half.damage.find("environ ") + 8);
    EXPECT_GT(percent, 25) << half.damage;
    EXPECT_LT(percent, 75) << half.damage;
    const uint32 rows = 120 * uint32(100 - percent - 5) / 100;
    for (uint32 y = 0; y < rows; y += 7) {
        EXPECT_EQ(PixelValue(*half.frames[0], 80, y), PixelValue(*picture, 80, y)) << y;
    }

    // An animation cut in its third frame keeps the two before.
    const std::vector<uint8> animation =
        WriteSequence(translator, {}, SampleFrames(40, 40), {10, 20, 30, 40});
    ExpectTruncationsSaid(translator, animation, &partial);
    for (size_t cut = animation.size() / 2; cut < animation.size(); cut += 16) {
        Sequence read = ReadSequence(
            translator, std::vector<uint8>(animation.begin(), animation.begin() + ptrdiff_t(cut)));
        if (read.status == B_OK && read.frames.size() == 2) {
            EXPECT_EQ(read.delays, (std::vector<uint32>{10, 20}));
            EXPECT_EQ(
                read.damage,
                "fichier tronqué : seules les 2 premières images de l'animation ont pu être lues");
            ExpectSamePixels(*SampleFrames(40, 40)[1], *read.frames[1], 0);
            break;
        }
        ASSERT_LT(cut + 16, animation.size()) << "no cut gave two frames";
    }
    RestoreDefaults(translator);
}

TEST(WebPTranslator, HostileFilesAreBounded) {
    WebPTranslator translator;
    // A RIFF size far beyond the file: what is there is read, without reserving the
    // promised gigabytes, and the file is not taken as whole.
    ASSERT_EQ(translator.Settings().Set("lossless", 1), B_OK);
    std::vector<uint8> liar = Encode(translator, *TestPicture(30, 20, true), kWebP);
    RestoreDefaults(translator);
    liar[7] = 0x7f;
    Sequence read = ReadSequence(translator, liar);
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_EQ(read.damage, "fichier tronqué : la fin du fichier manque");

    // A block beside the pixels over the bound is refused, not copied.
    PictureInfo info;
    info.metadata.xmp.assign(kMaxMetadataBytes + 1, ' ');
    std::vector<std::unique_ptr<BBitmap>> one;
    one.push_back(TestPicture(8, 8, false));
    ExpectRefused(translator, WriteSequence(translator, info, one, {0}), "XMP");
    EXPECT_NE(ErrorReason().find("XMP"), std::string::npos) << ErrorReason();

    // A canvas over the pixel limit, however small its frames, before any is decoded.
    std::vector<uint8> huge = MakeAnimation();
    ASSERT_EQ(std::string(huge.begin() + 12, huge.begin() + 16), "VP8X");
    for (size_t at : {24, 27}) {
        huge[at] = 0x1f;  // 20000 - 1
        huge[at + 1] = 0x4e;
        huge[at + 2] = 0;
    }
    ExpectRefused(translator, huge, "canvas");
    // A canvas within the limit, but two frames of it are not.
    for (size_t at : {24, 27}) {
        huge[at] = 0xfe;  // 16383 - 1
        huge[at + 1] = 0x3f;
    }
    ExpectRefused(translator, huge, "sequence");

    // A damaged frame amid an animation: the last good one stays for the frames left.
    ASSERT_EQ(translator.Settings().Set("lossless", 1), B_OK);
    const auto frames = SampleFrames(40, 40);
    std::vector<uint8> damaged = WriteSequence(translator, {}, frames, {10, 20, 30, 40});
    const char* anmf = "ANMF";
    auto third = damaged.begin();
    for (int i = 0; i < 3; i++) {
        third = std::search(third + 1, damaged.end(), anmf, anmf + 4);
        ASSERT_NE(third, damaged.end());
    }
    // Past the frame's header and its image's own header, into the coded pixels.
    std::fill(third + 40, third + 60, 0xff);
    read = ReadSequence(translator, damaged);
    RestoreDefaults(translator);
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    ASSERT_EQ(read.frames.size(), 4u);
    EXPECT_EQ(read.delays, (std::vector<uint32>{10, 20, 30, 40}));
    EXPECT_EQ(read.damage,
              "animation endommagée : les images à partir de la 3e n'ont pu être lues");
    ExpectSamePixels(*frames[1], *read.frames[3], 0);
}

}  // namespace
}  // namespace orv::test
