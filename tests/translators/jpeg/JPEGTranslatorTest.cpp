// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <lcms2.h>

#include <algorithm>

#include "image/OrvImage.h"
#include "tests/TempFolder.h"
#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ForeignFiles.h"
#include "tests/translators/common/PixelWorkCheck.h"
#include "tests/translators/jpeg/ShellOutput.h"
#include "translators/jpeg/JPEGTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kJPEG = FourCC("JPEG");

// Largest difference from the reference decoder's PPM (P6, RGB bytes), and how many samples
// are within one level of it.
struct Agreement {
    int worst = 0;
    double withinOne = 0;
};

Agreement CompareWithPpm(const BBitmap& image, const std::vector<uint8>& ppm) {
    unsigned width = 0, height = 0, maxval = 0;
    int header = 0;
    std::string text(ppm.begin(), ppm.begin() + std::min<ptrdiff_t>(32, ssize(ppm)));
    Agreement agreement;
    EXPECT_EQ(std::sscanf(text.c_str(), "P6 %u %u %u%n", &width, &height, &maxval, &header), 3);
    if (image.PixelWidth() != width || image.PixelHeight() != height ||
        ppm.size() < size_t(header) + 1 + size_t(width) * height * 3) {
        ADD_FAILURE() << "the reference is not a PPM of " << image.PixelWidth() << " x "
                      << image.PixelHeight();
        return {255, 0};
    }
    for (size_t i = 0; i < size_t(width) * height * 3; i++) {
        int sample = Pixel(image, uint32(i / 3 % width), uint32(i / 3 / width))[2 - i % 3];
        int d = std::abs(sample - ppm[size_t(header) + 1 + i]);
        agreement.worst = std::max(agreement.worst, d);
        agreement.withinOne += d <= 1 ? 1.0 / (double(width) * height * 3) : 0;
    }
    return agreement;
}

// A small JPEG written by libjpeg itself, in colour spaces our encoder never writes, with
// an ICC profile when given one.
std::vector<uint8> WriteWithLibjpeg(J_COLOR_SPACE in, J_COLOR_SPACE stored, int components,
                                    const std::vector<uint8>& pixels,
                                    const std::vector<uint8>& icc = {}, bool adobeMarker = true) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = info.image_height = 16;
    info.input_components = components;
    info.in_color_space = in;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);
    info.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    if (!icc.empty()) {
        jpeg_write_icc_profile(&info, icc.data(), unsigned(icc.size()));
    }
    while (info.next_scanline < 16) {
        JSAMPROW row = const_cast<uint8*>(&pixels[info.next_scanline * 16 * components]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8> out(buffer, buffer + size);
    free(buffer);
    return out;
}

size_t FindMarker(const std::vector<uint8>& jpeg, uint8 marker) {
    for (size_t i = 2; i + 1 < jpeg.size(); i++) {
        if (jpeg[i] == 0xff && jpeg[i + 1] == marker) {
            return i;
        }
    }
    return 0;
}

TEST(JPEGTranslator, ReferenceImagesDecode) {
    ORV_NEED_CORPUS();
    JPEGTranslator translator;
    std::vector<uint8> ppm = ReadCorpusFile("jpeg/testorig.ppm");
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, ReadCorpusFile("jpeg/testorig.jpg"), &image), B_OK)
        << ErrorReason();
    EXPECT_EQ(image->ColorSpace(), B_RGB32);
    // The reference was made by a decoder that upsamples chroma with a scaled IDCT, which
    // libjpeg-turbo does not: the two agree within one level on 96.8 % of the samples.
    Agreement agreement = CompareWithPpm(*image, ppm);
    EXPECT_LE(agreement.worst, 3);
    EXPECT_GT(agreement.withinOne, 0.96);

    // The same picture, progressive and arithmetic-coded, differs only by its own encoding.
    for (const char* name : {"jpeg/testimgint.jpg", "jpeg/testimgari.jpg"}) {
        ASSERT_EQ(Decode(translator, ReadCorpusFile(name), &image), B_OK) << name << ErrorReason();
        EXPECT_GT(CompareWithPpm(*image, ppm).withinOne, 0.5) << name;
        EXPECT_EQ(Pixel(*image, 5, 5)[3], 255);
    }

    EXPECT_NE(Decode(translator, ReadCorpusFile("jpeg/monkey12.jpg"), &image), B_OK);
    EXPECT_NE(ErrorReason().find("12 bits"), std::string::npos) << ErrorReason();
}

TEST(JPEGTranslator, FilesOfOtherEncodersDecodeAsTheirDecodersSee) {
    ORV_NEED_PROGRAMS("cjpeg", "djpeg", "convert");
    struct Case {
        const char* name;
        std::vector<std::string> make;       // writes made.jpg from source.pnm
        std::vector<std::string> reference;  // decodes made.jpg into reference.pnm
        int tolerance;
    };
    const std::vector<std::string> djpeg = {"djpeg", "-outfile", "reference.pnm", "made.jpg"};
    const std::vector<Case> cases = {
        {"baseline, 4:2:0", {"cjpeg", "-outfile", "made.jpg", "source.pnm"}, djpeg, 0},
        {"4:4:4 at quality 100",
         {"cjpeg", "-quality", "100", "-sample", "1x1", "-outfile", "made.jpg", "source.pnm"},
         djpeg,
         0},
        {"4:2:2", {"cjpeg", "-sample", "2x1", "-outfile", "made.jpg", "source.pnm"}, djpeg, 0},
        {"progressive", {"cjpeg", "-progressive", "-outfile", "made.jpg", "source.pnm"}, djpeg, 0},
        {"arithmetic coding",
         {"cjpeg", "-arithmetic", "-outfile", "made.jpg", "source.pnm"},
         djpeg,
         0},
        {"progressive with arithmetic coding",
         {"cjpeg", "-progressive", "-arithmetic", "-outfile", "made.jpg", "source.pnm"},
         djpeg,
         0},
        {"a restart marker every row",
         {"cjpeg", "-restart", "1", "-outfile", "made.jpg", "source.pnm"},
         djpeg,
         0},
        {"grey", {"cjpeg", "-grayscale", "-outfile", "made.jpg", "source.pnm"}, djpeg, 0},
        // Adobe's inverted CMYK, which djpeg cannot turn into RGB: ImageMagick does.
        {"CMYK by ImageMagick",
         {"convert", "source.pnm", "-colorspace", "CMYK", "made.jpg"},
         {"convert", "made.jpg", "-colorspace", "sRGB", "PPM:reference.pnm"},
         2},
    };
    JPEGTranslator translator;
    ForeignFiles files;
    files.Write("source.pnm", ToNetpbm(SmoothPicture(67, 45)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(files.Run(c.make));
        ASSERT_TRUE(files.Run(c.reference));
        const std::vector<uint8> jpeg = files.Read("made.jpg");
        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(translator, jpeg, &image), B_OK) << ErrorReason();
        EXPECT_EQ(image->ColorSpace(), B_RGB32);
        ExpectPixelsMatch(ParseNetpbm(files.Read("reference.pnm"), "reference"), *image,
                          c.tolerance);
    }
}

TEST(JPEGTranslator, GreyAndCMYKBecomeRGB) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator,
                     WriteWithLibjpeg(JCS_GRAYSCALE, JCS_GRAYSCALE, 1, std::vector<uint8>(256, 77)),
                     &image),
              B_OK);
    EXPECT_EQ(std::memcmp(Pixel(*image, 3, 3), "\x4d\x4d\x4d\xff", 4), 0);

    // Ink stored the Adobe way, inverted (255 is no ink): 50 % cyan and 20 % black give red
    // (1 - 0.5) × (1 - 0.2) = 0.4, green and blue 0.8.
    std::vector<uint8> cmyk;
    for (int i = 0; i < 256; i++) {
        cmyk.insert(cmyk.end(), {255 - 128, 255, 255, 255 - 51});
    }
    for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        ASSERT_EQ(Decode(translator, WriteWithLibjpeg(JCS_CMYK, stored, 4, cmyk), &image), B_OK)
            << ErrorReason();
        const uint8* p = Pixel(*image, 8, 8);
        EXPECT_NEAR(p[2], 102, 2) << stored;
        EXPECT_NEAR(p[1], 204, 2) << stored;
        EXPECT_NEAR(p[0], 204, 2) << stored;
    }
}

// `jpeg` with an APP1 Exif segment after SOI that states `orientation`.
std::vector<uint8> WithOrientation(std::vector<uint8> jpeg, uint8 orientation) {
    const uint8 app1[] = {0xff, 0xe1, 0, 34, 'E',         'x', 'i', 'f', 0,    0,    'I', 'I',
                          42,   0,    8, 0,  0,           0,   1,   0,   0x12, 0x01, 3,   0,
                          1,    0,    0, 0,  orientation, 0,   0,   0,   0,    0,    0,   0};
    jpeg.insert(jpeg.begin() + 2, std::begin(app1), std::end(app1));
    return jpeg;
}

TEST(JPEGTranslator, ExifOrientationIsAppliedUnlessTurnedOff) {
    JPEGTranslator translator;
    // Dark left half, light right half: the turn shows despite the compression.
    std::unique_ptr<BBitmap> source;
    ASSERT_EQ(NewImage(64, 32, false, &source), B_OK);
    for (uint32 y = 0; y < 32; y++) {
        std::memset(const_cast<uint8*>(Pixel(*source, 32, y)), 255, 32 * 4);
    }
    // Orientation 6: turn 90° clockwise.
    const std::vector<uint8> jpeg = WithOrientation(Encode(translator, *source, kJPEG), 6);

    std::unique_ptr<BBitmap> upright;
    ASSERT_EQ(Decode(translator, jpeg, &upright), B_OK) << ErrorReason();
    ASSERT_EQ(upright->PixelWidth(), 32u);
    ASSERT_EQ(upright->PixelHeight(), 64u);
    EXPECT_LT(Pixel(*upright, 16, 8)[1], 20);  // the dark half is now on top
    EXPECT_GT(Pixel(*upright, 16, 56)[1], 235);

    auto stored = DecodeAsStored(translator, jpeg);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->PixelWidth(), 64u);
}

// The decoder turns the picture as the rows come: each orientation gives what turning the
// stored picture afterwards gives, for a whole file, one cut short and one libjpeg gives up
// on halfway, and with a filter done while decoding.
TEST(JPEGTranslator, TurningWhileDecodingGivesWhatTurningAfterGives) {
    JPEGTranslator translator;
    const std::vector<uint8> whole = Encode(translator, *MakePhotoLikeImage(61, 150, false), kJPEG);
    const std::vector<uint8> cut(whole.begin(), whole.begin() + ptrdiff_t(whole.size() * 2 / 3));
    const std::vector<uint8> stopped = [&] {
        std::vector<uint8> bytes = whole;
        bytes.insert(bytes.begin() + ptrdiff_t(bytes.size() / 2), {0xff, 0x77});
        return bytes;
    }();
    constexpr int32 kNegative = 1;
    for (uint8 orientation = 1; orientation <= 8; orientation++) {
        for (const auto* file : {&whole, &cut, &stopped}) {
            SCOPED_TRACE(std::to_string(orientation) + ", file " +
                         std::to_string(file == &whole ? 0
                                        : file == &cut ? 1
                                                       : 2));
            const std::vector<uint8> bytes = WithOrientation(*file, orientation);
            auto expected = DecodeAsStored(translator, bytes);
            ASSERT_NE(expected, nullptr);
            ASSERT_EQ(ApplyOrientation(orientation, &expected), B_OK);
            auto turned = ReadWithWork(translator, bytes, nullptr);
            ASSERT_NE(turned, nullptr);
            EXPECT_TRUE(SamePixels(*expected, *turned));

            auto negative = OrvImage::Adopt(std::move(expected));
            ASSERT_TRUE(ApplyFilterInPlace(*negative, kNegative));
            auto worked = ReadWithWork(translator, bytes, PixelFilter(kNegative));
            ASSERT_NE(worked, nullptr);
            EXPECT_TRUE(SamePixels(*negative, *worked));
        }
    }
}

// A JPEG is decoded into memory that may still hold an earlier picture: every byte of the
// bitmap must be written, on each way rows take (straight, turned, worked) and for the rows
// a damaged file lacks, or that picture shows through.
TEST(JPEGTranslator, DecodingOverwritesWhateverTheMemoryHeld) {
    JPEGTranslator translator;
    const std::vector<uint8> whole =
        Encode(translator, *MakePhotoLikeImage(600, 520, false), kJPEG);
    const std::vector<uint8> stopped = [&] {
        std::vector<uint8> bytes = whole;
        bytes.insert(bytes.begin() + ptrdiff_t(bytes.size() / 2), {0xff, 0x77});
        return bytes;
    }();
    constexpr int32 kNegative = 1;
    for (const auto* file : {&whole, &stopped}) {
        for (const uint8 orientation : {1, 6}) {
            for (const bool worked : {false, true}) {
                SCOPED_TRACE(std::to_string(orientation) + (worked ? ", negative" : "") +
                             (file == &stopped ? ", stopped" : ""));
                const std::vector<uint8> bytes = WithOrientation(*file, orientation);
                std::unique_ptr<BBitmap> decoded[2];
                for (const uint8 fill : {0x00, 0xa5}) {
                    // Every kept buffer a 600 x 520 bitmap may be given.
                    FillKeptPictureMemory(size_t(600) * 520 * 4, 8, fill);
                    decoded[fill != 0] =
                        ReadWithWork(translator, bytes, worked ? PixelFilter(kNegative) : nullptr);
                    ASSERT_NE(decoded[fill != 0], nullptr);
                }
                ASSERT_EQ(decoded[0]->BitsLength(), decoded[1]->BitsLength());
                EXPECT_EQ(std::memcmp(decoded[0]->Bits(), decoded[1]->Bits(),
                                      size_t(decoded[0]->BitsLength())),
                          0);
            }
        }
    }
}

TEST(JPEGTranslator, SettingsShapeTheOutput) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image = ToBitmap(SmoothPicture(227, 149)), decoded;
    std::vector<uint8> normal = Encode(translator, *image, kJPEG);
    ASSERT_EQ(Decode(translator, normal, &decoded), B_OK);
    EXPECT_GT(PSNR(*image, *decoded), 35.0);
    EXPECT_EQ(normal[FindMarker(normal, 0xc0) + 11], 0x22);  // luma 2×2: 4:2:0

    // Each setting against the defaults (quality 90, 4:2:0, standard tables, baseline).
    struct Case {
        const char* name;
        int32 value;
        int sizeOrder;  // the output against the default's size
        uint8 marker;   // the frame marker expected
        uint8 sampling;
    } cases[] = {{"quality", 40, -1, 0xc0, 0x22},
                 {"subsampling", 2, +1, 0xc0, 0x11},
                 {"subsampling", 1, +1, 0xc0, 0x21},
                 {"optimize", 1, -1, 0xc0, 0x22},
                 {"progressive", 1, 0, 0xc2, 0x22}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int32 before = translator.Settings().Int32(c.name);
        ASSERT_EQ(translator.Settings().Set(c.name, c.value), B_OK);
        std::vector<uint8> out = Encode(translator, *image, kJPEG);
        ASSERT_EQ(translator.Settings().Set(c.name, before), B_OK);
        size_t frame = FindMarker(out, c.marker);
        ASSERT_NE(frame, 0u);
        EXPECT_EQ(out[frame + 11], c.sampling);
        if (c.sizeOrder != 0) {
            EXPECT_EQ(out.size() > normal.size(), c.sizeOrder > 0);
        }
        ASSERT_EQ(Decode(translator, out, &decoded), B_OK);
        EXPECT_GT(PSNR(*image, *decoded), c.value == 40 ? 30.0 : 35.0);
    }
}

TEST(JPEGTranslator, TransparencyIsFlattenedOnWhiteUnlessTurnedOff) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image, decoded;
    ASSERT_EQ(NewImage(32, 32, true, &image), B_OK);  // black, fully transparent
    ASSERT_EQ(Decode(translator, Encode(translator, *image, kJPEG), &decoded), B_OK);
    EXPECT_GE(Pixel(*decoded, 10, 10)[0], 254);
    ASSERT_EQ(translator.Settings().Set("flatten_alpha", 0), B_OK);
    ASSERT_EQ(Decode(translator, Encode(translator, *image, kJPEG), &decoded), B_OK);
    EXPECT_LE(Pixel(*decoded, 10, 10)[0], 1);
    ASSERT_EQ(translator.Settings().Set("flatten_alpha", 1), B_OK);
}

TEST(JPEGTranslator, HostileFilesAreRefusedAndWriteFailuresReported) {
    JPEGTranslator translator;
    const std::unique_ptr<BBitmap> picture = ToBitmap(SmoothPicture(227, 149));
    std::vector<uint8> jpeg = Encode(translator, *picture, kJPEG);

    std::unique_ptr<BBitmap> image;
    std::vector<uint8> twelve = jpeg;  // an extended frame of 12-bit samples
    const size_t frame = FindMarker(jpeg, 0xc0);
    twelve[frame + 1] = 0xc1;
    twelve[frame + 4] = 12;
    EXPECT_NE(Decode(translator, twelve, &image), B_OK);
    EXPECT_NE(ErrorReason().find("12 bits"), std::string::npos) << ErrorReason();

    std::vector<uint8> bomb = jpeg;  // a frame of 60000 × 60000
    bomb[frame + 5] = bomb[frame + 7] = 60000 >> 8;
    bomb[frame + 6] = bomb[frame + 8] = 60000 & 0xff;
    ExpectRefused(translator, bomb, "bomb");

    // Segments of metadata are kept up to 16 MB in all: 300 of 64 kB are too many.
    std::vector<uint8> stuffed(jpeg.begin(), jpeg.begin() + 2);
    for (int i = 0; i < 300; i++) {
        stuffed.insert(stuffed.end(), {0xff, 0xe1, 0xff, 0xff});
        stuffed.insert(stuffed.end(), 0xffff - 2, uint8('x'));
    }
    stuffed.insert(stuffed.end(), jpeg.begin() + 2, jpeg.end());
    ExpectRefused(translator, stuffed, "stuffed");
    EXPECT_NE(ErrorReason().find("16 Mo"), std::string::npos) << ErrorReason();

    ExpectWriteFailureReported(translator, *MakePhotoLikeImage(300, 200, false), kJPEG);
}

TEST(JPEGTranslator, GreyIsWrittenInOneChannel) {
    JPEGTranslator translator;
    auto grey = TestPicture(64, 48, false);
    for (uint32 y = 0; y < 48; y++) {
        for (uint32 x = 0; x < 64; x++) {
            uint8* p = MutablePixel(*grey, x, y);
            p[0] = p[2] = p[1];
        }
    }
    auto colour = TestPicture(64, 48, false);
    // Grey down to one pixel of its last row: written as grey until then, and again in colour.
    auto lateColour = TestPicture(64, 48, false);
    std::memcpy(lateColour->Bits(), grey->Bits(), size_t(grey->BitsLength()));
    MutablePixel(*lateColour, 63, 47)[2] ^= 0x80;
    PictureInfo withProfile = PlainInfo(*grey);
    withProfile.metadata.color.icc =
        ReadFile("/usr/share/color/icc/compatibleWithAdobeRGB1998.icc");
    struct Case {
        const char* name;
        const BBitmap* image;
        PictureInfo info;
        uint8 components;
    } cases[] = {{"grey", grey.get(), PlainInfo(*grey), 1},
                 {"colour", colour.get(), PlainInfo(*colour), 3},
                 {"grey but for its last row", lateColour.get(), PlainInfo(*lateColour), 3},
                 // Adobe RGB's grey is not sRGB's: the profile must go with colour pixels.
                 {"grey with an RGB profile", grey.get(), withProfile, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // What the stream held before stays: a second attempt starts where the first did.
        BMallocIO out;
        ASSERT_EQ(out.Write("head", 4), 4);
        ASSERT_EQ(translator.EncodePicture(*c.image, c.info, kJPEG, out), B_OK) << ErrorReason();
        const auto* data = static_cast<const uint8*>(out.Buffer());
        ASSERT_EQ(std::memcmp(data, "head", 4), 0);
        std::vector<uint8> file(data + 4, data + out.BufferLength());
        EXPECT_EQ(file[FindMarker(file, 0xc0) + 9], c.components);
        EXPECT_EQ(file[file.size() - 2], 0xff);
        EXPECT_EQ(file.back(), 0xd9);
        auto decoded = DecodeOK(translator, file);
        ASSERT_NE(decoded, nullptr);
        EXPECT_GT(PSNR(*c.image, *decoded), 28.0);
    }
}

// A picture with detail in every row, written by libjpeg-turbo's own cjpeg.
std::vector<uint8> MakeWithCjpeg(const BBitmap& image, const std::string& options) {
    orvtest::TempFolder folder;
    std::string ppm = "P6\n" + std::to_string(image.PixelWidth()) + " " +
                      std::to_string(image.PixelHeight()) + "\n255\n";
    const std::vector<uint8> samples = ToSamples(image, false);
    ppm.append(samples.begin(), samples.end());
    orvtest::WriteFile(folder / "in.ppm", ppm);
    const std::string command =
        "cjpeg " + options + " -outfile " + (folder / "out.jpg") + " " + (folder / "in.ppm");
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadFile(folder / "out.jpg");
}

// The N of « environ N % de l'image manque », or -1.
int MissingPercent(const std::string& damage) {
    const size_t at = damage.find(": environ ");
    int percent = -1;
    return at != std::string::npos &&
                   std::sscanf(damage.c_str() + at, ": environ %d %%", &percent) == 1
               ? percent
               : -1;
}

TEST(JPEGTranslator, TruncatedFilesGiveWhatTheyHaveAndSayHowMuchIsMissing) {
    ORV_NEED_TOOLS("cjpeg");
    JPEGTranslator translator;
    // 60 bands of 16 rows: the share missing is told to within 2 %.
    auto picture = MakePhotoLikeImage(160, 960, false);
    const std::vector<uint8> baseline = MakeWithCjpeg(*picture, "-quality 90");
    const std::vector<uint8> progressive = MakeWithCjpeg(*picture, "-quality 90 -progressive");
    const size_t data = FindMarker(baseline, 0xda) + 14;  // SOS of three components
    const size_t end = baseline.size() - 2;
    auto whole = DecodeOK(translator, baseline);
    ASSERT_NE(whole, nullptr);

    // Cut in the entropy data of a sequential file: the rows above the cut are intact and
    // the share missing is that of the data not read (the picture is alike in every row).
    for (double kept : {0.5, 0.93, 0.98}) {
        SCOPED_TRACE(kept);
        const size_t cut = data + size_t(double(end - data) * kept);
        DecodedImage decoded =
            DecodeWhole(translator, std::vector<uint8>(baseline.begin(), baseline.begin() + cut));
        ASSERT_NE(decoded.bitmap, nullptr);
        const int percent = MissingPercent(decoded.damage);
        EXPECT_NEAR(percent, (1 - kept) * 100, 4) << decoded.damage;
        const uint32 intactRows = uint32(960 * (kept - 0.05));
        for (uint32 y = 0; y < intactRows; y += 7) {
            ASSERT_EQ(std::memcmp(Pixel(*whole, 0, y), Pixel(*decoded.bitmap, 0, y), 160 * 4), 0)
                << "row " << y;
        }
    }
    // Only the end marker missing: nothing is.
    DecodedImage lastMarker =
        DecodeWhole(translator, std::vector<uint8>(baseline.begin(), baseline.end() - 2));
    EXPECT_EQ(lastMarker.damage, "");
    EXPECT_TRUE(SamePixels(*whole, *lastMarker.bitmap));

    // A progressive file cut after its first pass is whole but coarse; cut in its first
    // pass, it misses rows.
    const size_t secondScan = FindMarker(
        std::vector<uint8>(progressive.begin() + ptrdiff_t(FindMarker(progressive, 0xda)) + 2,
                           progressive.end()),
        0xda);
    ASSERT_GT(secondScan, 0u);
    const size_t firstData = FindMarker(progressive, 0xda) + 14;
    const size_t firstEnd = FindMarker(progressive, 0xda) + 2 + secondScan;
    DecodedImage coarse = DecodeWhole(
        translator,
        std::vector<uint8>(progressive.begin(),
                           progressive.begin() + ptrdiff_t(progressive.size() * 6 / 10)));
    ASSERT_NE(coarse.bitmap, nullptr);
    EXPECT_EQ(coarse.damage, "fichier tronqué : image entière mais moins détaillée");
    EXPECT_GT(PSNR(*whole, *coarse.bitmap), 20.0);
    DecodedImage half = DecodeWhole(
        translator, std::vector<uint8>(
                        progressive.begin(),
                        progressive.begin() + ptrdiff_t(firstData + (firstEnd - firstData) / 2)));
    EXPECT_NEAR(MissingPercent(half.damage), 50, 15) << half.damage;

    // Cut in the header, or before any row: nothing to show.
    for (size_t cut : {size_t(20), FindMarker(baseline, 0xc4) + 10, data + 4}) {
        ExpectRefused(translator, std::vector<uint8>(baseline.begin(), baseline.begin() + cut),
                      "cut at " + std::to_string(cut));
    }
}

TEST(JPEGTranslator, RecoverableDamageIsShownWithAWarning) {
    JPEGTranslator translator;
    auto picture = MakePhotoLikeImage(160, 960, false);
    const std::vector<uint8> jpeg = Encode(translator, *picture, kJPEG);
    auto whole = DecodeOK(translator, jpeg);
    ASSERT_NE(whole, nullptr);
    const size_t data = FindMarker(jpeg, 0xda) + 14;
    const size_t middle = data + (jpeg.size() - 2 - data) / 2;

    // Stray bytes before the end marker, more than libjpeg reads ahead into its bit buffer
    // (a few it takes as padding, silently).
    std::vector<uint8> padded = jpeg;
    padded.insert(padded.end() - 2, 16, 0x12);
    DecodedImage decoded = DecodeWhole(translator, padded);
    ASSERT_NE(decoded.bitmap, nullptr);
    EXPECT_TRUE(SamePixels(*whole, *decoded.bitmap));
    EXPECT_NE(decoded.damage.find("fichier JPEG endommagé"), std::string::npos);
    EXPECT_NE(decoded.damage.find("extraneous bytes"), std::string::npos) << decoded.damage;

    // A marker libjpeg does not know, halfway: it stops there; the top half is the picture
    // and the share missing is told, with libjpeg's reason.
    std::vector<uint8> stopped = jpeg;
    stopped.insert(stopped.begin() + ptrdiff_t(middle), {0xff, 0x77});
    decoded = DecodeWhole(translator, stopped);
    ASSERT_NE(decoded.bitmap, nullptr);
    EXPECT_NEAR(MissingPercent(decoded.damage), 50, 5) << decoded.damage;
    EXPECT_NE(decoded.damage.find("fichier JPEG endommagé"), std::string::npos);
    EXPECT_NE(decoded.damage.find("0x77"), std::string::npos) << decoded.damage;
    EXPECT_TRUE(std::memcmp(Pixel(*whole, 0, 300), Pixel(*decoded.bitmap, 0, 300), 160 * 4) == 0);
}

constexpr char kAdobeRGB[] = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";

// Ink taken out of white gives Adobe RGB values: what a CMYK profile of our own means.
cmsInt32Number InkAsAdobeRGB(const cmsUInt16Number in[], cmsUInt16Number out[], void* toLab) {
    const double k = 1 - in[3] / 65535.0;
    const double rgb[3] = {(1 - in[0] / 65535.0) * k, (1 - in[1] / 65535.0) * k,
                           (1 - in[2] / 65535.0) * k};
    cmsCIELab lab;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(toLab), rgb, &lab, 1);
    cmsFloat2LabEncoded(out, &lab);
    return TRUE;
}

// A CMYK profile far from the plain conversion, and large enough (500 kB) to be split
// over several segments.
std::vector<uint8> MakeCMYKProfile() {
    cmsHPROFILE adobe = cmsOpenProfileFromFile(kAdobeRGB, "r");
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(adobe, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsPipeline* aToB = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 17, 4, 3, nullptr);
    cmsStageSampleCLut16bit(table, InkAsAdobeRGB, toLab, 0);
    cmsPipelineInsertStage(aToB, cmsAT_BEGIN, table);
    cmsHPROFILE cmyk = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(cmyk, 2.1);  // a lone table is a version 2 lut, not a version 4 one
    cmsSetDeviceClass(cmyk, cmsSigOutputClass);
    cmsSetColorSpace(cmyk, cmsSigCmykData);
    cmsSetPCS(cmyk, cmsSigLabData);
    cmsWriteTag(cmyk, cmsSigAToB0Tag, aToB);
    cmsWriteTag(cmyk, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(cmyk, nullptr, &size);
    std::vector<uint8> bytes(size);
    cmsSaveProfileToMem(cmyk, bytes.data(), &size);
    cmsCloseProfile(cmyk);
    cmsPipelineFree(aToB);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(adobe);
    return bytes;
}

TEST(JPEGTranslator, CMYKGoesThroughItsProfile) {
    JPEGTranslator translator;
    const std::vector<uint8> profile = MakeCMYKProfile();
    ASSERT_GT(profile.size(), 65519u * 2);
    // 60 % cyan, 10 % magenta, 80 % yellow: Adobe RGB (0.4, 0.9, 0.2), in sRGB.
    const double adobe[3] = {0.4, 0.9, 0.2};
    uint8 expected[3];
    {
        cmsHPROFILE from = cmsOpenProfileFromFile(kAdobeRGB, "r");
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHTRANSFORM toSRGB = cmsCreateTransform(from, TYPE_RGB_DBL, srgb, TYPE_RGB_8,
                                                  INTENT_RELATIVE_COLORIMETRIC, 0);
        cmsDoTransform(toSRGB, adobe, expected, 1);
        cmsDeleteTransform(toSRGB);
        cmsCloseProfile(srgb);
        cmsCloseProfile(from);
    }
    // The test is sharp: ink simply taken out of white gives other values.
    EXPECT_GT(std::abs(int(expected[0]) - 102) + std::abs(int(expected[2]) - 51), 20);

    struct Case {
        const char* name;
        J_COLOR_SPACE stored;
        bool adobe;  // the Adobe marker, and with it ink stored inverted
    } cases[] = {{"CMYK, Adobe", JCS_CMYK, true},
                 {"CMYK, plain", JCS_CMYK, false},
                 {"YCCK", JCS_YCCK, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8> ink;
        for (int i = 0; i < 256; i++) {
            const uint8 plain[4] = {153, 26, 204, 0};
            for (uint8 v : plain) {
                ink.push_back(c.adobe ? uint8(255 - v) : v);
            }
        }
        const std::vector<uint8> file =
            WriteWithLibjpeg(JCS_CMYK, c.stored, 4, ink, profile, c.adobe);
        DecodedImage decoded = DecodeWhole(translator, file);
        ASSERT_NE(decoded.bitmap, nullptr);
        const uint8* p = Pixel(*decoded.bitmap, 8, 8);
        // Perceptual with black point compensation against the exact colorimetric values.
        EXPECT_NEAR(p[2], expected[0], 6);
        EXPECT_NEAR(p[1], expected[1], 6);
        EXPECT_NEAR(p[0], expected[2], 6);
        // The pixels are sRGB now: no CMYK profile goes with them.
        EXPECT_TRUE(decoded.info.metadata.color.icc.empty());
    }
}

TEST(JPEGTranslator, ReducedDecodingIsNeverSmallerThanAskedAndLooksTheSame) {
    JPEGTranslator translator;
    // Squares of 40 pixels: detail that still shows at an eighth.
    auto picture = MakeCheckeredImage(1000, 700, false, 40, true);
    std::vector<uint8> jpeg = Encode(translator, *picture, kJPEG);
    // The same file standing on its side (EXIF orientation 6): the hint is in its upright
    // canvas, 700 × 1000.
    std::vector<uint8> turned = jpeg;
    const uint8 app1[] = {0xff, 0xe1, 0, 34, 'E', 'x', 'i', 'f', 0,    0,    'I', 'I',
                          42,   0,    8, 0,  0,   0,   1,   0,   0x12, 0x01, 3,   0,
                          1,    0,    0, 0,  6,   0,   0,   0,   0,    0,    0,   0};
    turned.insert(turned.begin() + 2, std::begin(app1), std::end(app1));
    struct Case {
        const std::vector<uint8>* file;
        uint32 hintWidth, hintHeight;
        uint32 width, height;  // the frame that comes
    } cases[] = {{&jpeg, 100, 70, 125, 88},   {&jpeg, 125, 88, 125, 88},
                 {&jpeg, 126, 88, 250, 175},  {&jpeg, 300, 200, 500, 350},
                 {&jpeg, 501, 10, 1000, 700}, {&turned, 70, 100, 88, 125}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hintWidth) + " × " + std::to_string(c.hintHeight));
        BMemoryIO source(c.file->data(), c.file->size());
        std::unique_ptr<PictureReader> reader;
        ASSERT_EQ(translator.OpenReader(source, &reader), B_OK) << ErrorReason();
        reader->SetSizeHint(c.hintWidth, c.hintHeight);
        std::unique_ptr<BBitmap> frame;
        FrameTiming timing;
        ASSERT_EQ(reader->ReadFrame(&frame, &timing), B_OK) << ErrorReason();
        EXPECT_EQ(frame->PixelWidth(), c.width);
        EXPECT_EQ(frame->PixelHeight(), c.height);

        // Brought to the hint's size, it is the full decoding brought to that size (the DCT
        // averages where the resampler has Lanczos' taps: sharp edges differ a little).
        auto full =
            OrvImage::Adopt(DecodeOK(translator, *c.file))->Scale(c.hintWidth, c.hintHeight);
        auto reduced = OrvImage::Adopt(std::move(frame))->Scale(c.hintWidth, c.hintHeight);
        EXPECT_GT(PSNR(*full, *reduced), 22.0);
    }
}

TEST(JPEGTranslator, FiltersDoneWhileDecodingGiveWhatTheyGiveAfter) {
    ORV_NEED_TOOLS("cjpeg");
    JPEGTranslator translator;
    auto picture = MakePhotoLikeImage(61, 150, false);
    const std::vector<uint8> baseline = MakeWithCjpeg(*picture, "-quality 90");
    const std::vector<uint8> cut(baseline.begin(), baseline.begin() + baseline.size() * 2 / 3);
    // An unknown marker halfway: libjpeg fills in the rest and fails at the end.
    auto tall = MakePhotoLikeImage(160, 960, false);
    std::vector<uint8> stopped = Encode(translator, *tall, kJPEG);
    stopped.insert(stopped.begin() + ptrdiff_t(stopped.size() / 2), {0xff, 0x77});
    std::vector<uint8> cmyk(16 * 16 * 4);
    for (size_t i = 0; i < cmyk.size(); i++) {
        cmyk[i] = uint8(i * 37);
    }
    const struct {
        const char* name;
        std::vector<uint8> bytes;
    } files[] = {{"baseline", baseline},
                 {"progressive", MakeWithCjpeg(*picture, "-quality 90 -progressive")},
                 {"cut short", cut},
                 {"stopped halfway", stopped},
                 {"CMYK", WriteWithLibjpeg(JCS_CMYK, JCS_CMYK, 4, cmyk)}};
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        ExpectPixelWorkAsFiltersDoIt(translator, file.bytes);
    }
}

}  // namespace
}  // namespace orv::test
