// SPDX-License-Identifier: MIT
#include "translators/jxl/JXLTranslator.h"

#include <gtest/gtest.h>
#include <jxl/encode.h>

#include <algorithm>
#include <cstring>

#include "platform/support/ErrorReason.h"
#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ToolSupport.h"

namespace orv {
namespace {

using namespace orv::test;

constexpr uint32 kJXL = FourCC("JXL ");

// What the translator cannot write itself: grey, oriented and animated files, made with
// libjxl directly, losslessly so that pixels can be compared exactly.
struct Fixture {
    uint32 width = 0;
    uint32 height = 0;
    uint32 channels = 3;  // 1 grey, 3 RGB, 4 RGBA
    JxlOrientation orientation = JXL_ORIENT_IDENTITY;
    std::vector<std::vector<uint8>> frames;  // interleaved samples, one vector per frame
    uint32 bits = 8;                         // 16: the samples are native uint16 pairs
    std::vector<uint32> ticks = {};          // each frame's duration at 10 ticks a second
    uint32 loops = 0;
};

std::vector<uint8> WriteWithLibjxl(const Fixture& fixture) {
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = fixture.width;
    info.ysize = fixture.height;
    info.bits_per_sample = fixture.bits;
    info.num_color_channels = fixture.channels == 1 ? 1 : 3;
    info.alpha_bits = fixture.channels == 4 ? fixture.bits : 0;
    info.num_extra_channels = fixture.channels == 4 ? 1 : 0;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = fixture.orientation;
    if (fixture.frames.size() > 1) {
        info.have_animation = JXL_TRUE;
        info.animation.tps_numerator = 10;
        info.animation.tps_denominator = 1;
        info.animation.num_loops = fixture.loops;
    }
    EXPECT_EQ(JxlEncoderSetBasicInfo(encoder, &info), JXL_ENC_SUCCESS);
    JxlColorEncoding color;
    JxlColorEncodingSetToSRGB(&color, fixture.channels == 1);
    EXPECT_EQ(JxlEncoderSetColorEncoding(encoder, &color), JXL_ENC_SUCCESS);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, 1);
    const JxlPixelFormat format = {fixture.channels,
                                   fixture.bits == 16 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8,
                                   JXL_NATIVE_ENDIAN, 0};
    for (size_t i = 0; i < fixture.frames.size(); i++) {
        const auto& frame = fixture.frames[i];
        if (info.have_animation) {
            JxlFrameHeader header;
            JxlEncoderInitFrameHeader(&header);
            header.duration = i < fixture.ticks.size() ? fixture.ticks[i] : 1;
            JxlEncoderSetFrameHeader(settings, &header);
        }
        EXPECT_EQ(JxlEncoderAddImageFrame(settings, &format, frame.data(), frame.size()),
                  JXL_ENC_SUCCESS);
    }
    JxlEncoderCloseInput(encoder);
    std::vector<uint8> file(4096);
    size_t used = 0;
    for (;;) {
        uint8* next = file.data() + used;
        size_t available = file.size() - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &available);
        used = size_t(next - file.data());
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            EXPECT_EQ(status, JXL_ENC_SUCCESS);
            break;
        }
        file.resize(file.size() * 2);
    }
    file.resize(used);
    JxlEncoderDestroy(encoder);
    return file;
}

class JXLTranslatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(translator.Settings().Set("orientation", 1), B_OK);
        ASSERT_EQ(translator.Settings().Set("lossless", 0), B_OK);
        ASSERT_EQ(translator.Settings().Set("quality", 90), B_OK);
        ASSERT_EQ(translator.Settings().Set("effort", 3), B_OK);
    }

    JXLTranslator translator;
};

TEST_F(JXLTranslatorTest, LossyRoundTripKeepsThePictureAndItsAlpha) {
    ExpectLossyRoundTrip(translator, kJXL, 28.0);
}

TEST_F(JXLTranslatorTest, LosslessSettingIsBitExact) {
    ExpectLosslessRoundTrip(translator, kJXL);
}

TEST_F(JXLTranslatorTest, QualityChangesSizeAndFidelity) {
    ExpectQualityShows(translator, kJXL, 30, 98);
}

TEST_F(JXLTranslatorTest, GreyComesOutAsEqualChannels) {
    Fixture grey{32, 8, 1, JXL_ORIENT_IDENTITY, {std::vector<uint8>(32 * 8)}};
    for (size_t i = 0; i < grey.frames[0].size(); i++) {
        grey.frames[0][i] = uint8(i * 7);
    }
    auto decoded = DecodeOK(translator, WriteWithLibjxl(grey));
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->ColorSpace(), B_RGB32);
    for (uint32 i = 0; i < 32 * 8; i++) {
        EXPECT_EQ(PixelValue(*decoded, i % 32, i / 32),
                  0xff000000u | uint32(uint8(i * 7)) * 0x010101u);
    }
}

TEST_F(JXLTranslatorTest, OrientationIsAppliedOnlyWhenAsked) {
    auto source = TestPicture(24, 16, false);
    for (int orientation = 1; orientation <= 8; orientation++) {
        Fixture oriented{24, 16, 3, JxlOrientation(orientation), {ToSamples(*source, false)}};
        const auto file = WriteWithLibjxl(oriented);
        auto upright = DecodeOK(translator, file);
        ASSERT_NE(upright, nullptr);
        EXPECT_TRUE(SamePixels(*Upright(*source, orientation), *upright)) << orientation;

        auto stored = DecodeAsStored(translator, file);
        ASSERT_NE(stored, nullptr);
        EXPECT_TRUE(SamePixels(*source, *stored)) << orientation;
    }
}

TEST_F(JXLTranslatorTest, SixteenBitsAreRoundedToEight) {
    Fixture deep{64, 2, 4, JXL_ORIENT_IDENTITY, {std::vector<uint8>(64 * 2 * 4 * 2)}, 16};
    std::vector<uint16> samples(64 * 2 * 4);
    for (size_t i = 0; i < samples.size(); i++) {
        samples[i] = uint16(i * 2053 % 65536);
    }
    std::memcpy(deep.frames[0].data(), samples.data(), deep.frames[0].size());
    auto decoded = DecodeOK(translator, WriteWithLibjxl(deep));
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->ColorSpace(), B_RGBA32);
    for (uint32 i = 0; i < 64 * 2; i++) {
        const uint32 p = PixelValue(*decoded, i % 64, i / 64);
        const int got[4] = {int(p >> 16 & 0xff), int(p >> 8 & 0xff), int(p & 0xff), int(p >> 24)};
        for (int c = 0; c < 4; c++) {
            const int expected = int((samples[i * 4 + c] * 255u + 32767) / 65535);
            EXPECT_NEAR(got[c], expected, 1) << "pixel " << i << " channel " << c;
        }
    }
}

TEST_F(JXLTranslatorTest, AnimationIsReadAsItsFirstFrame) {
    Fixture animation{8, 8, 3, JXL_ORIENT_IDENTITY, {}};
    for (uint8 red : {uint8(200), uint8(20)}) {
        std::vector<uint8> frame;
        for (int i = 0; i < 64; i++) {
            frame.insert(frame.end(), {red, 40, uint8(220 - red)});
        }
        animation.frames.push_back(frame);
    }
    auto decoded = DecodeOK(translator, WriteWithLibjxl(animation));
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(PixelValue(*decoded, 3, 3), 0xffc82814u);
}

TEST_F(JXLTranslatorTest, AnimationGivesEveryFrameWithItsDelayAndTheLoopCount) {
    Fixture animation{6, 4, 4, JXL_ORIENT_IDENTITY, {}, 8, {1, 3, 25}, 2};
    const uint32 colours[] = {0x80c82814, 0xff1428c8, 0x0014c828};
    for (uint32 argb : colours) {
        std::vector<uint8> frame;
        for (int i = 0; i < 24; i++) {
            frame.insert(frame.end(),
                         {uint8(argb >> 16), uint8(argb >> 8), uint8(argb), uint8(argb >> 24)});
        }
        animation.frames.push_back(frame);
    }
    const ReadPicture read = ReadAllFrames(translator, WriteWithLibjxl(animation));
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_EQ(read.info.loopCount, 2);
    EXPECT_TRUE(read.info.alpha);
    EXPECT_EQ(read.delays, (std::vector<uint32>{100, 300, 2500}));
    ASSERT_EQ(read.frames.size(), 3u);
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(PixelValue(*read.frames[i], 5, 3), colours[i]) << i;
    }
}

TEST_F(JXLTranslatorTest, IdentifiesBothContainerAndBareCodestream) {
    auto source = TestPicture(16, 16, false);
    const auto bare = Encode(translator, *source, kJXL);
    const uint8 container[] = {0, 0, 0, 0xc, 'J', 'X', 'L', ' ', 0xd, 0xa, 0x87, 0xa};
    const uint8 jpeg[] = {0xff, 0xd8, 0xff, 0xe0, 0, 0x10, 'J', 'F', 'I', 'F', 0, 1};
    const translation_format* format = nullptr;
    BMemoryIO bareStream(static_cast<const void*>(bare.data()), bare.size());
    EXPECT_EQ(translator.IdentifyImage(bareStream, &format), B_OK);
    BMemoryIO containerStream(static_cast<const void*>(container), sizeof container);
    EXPECT_EQ(translator.IdentifyImage(containerStream, &format), B_OK);
    EXPECT_EQ(format->type, kJXL);
    BMemoryIO jpegStream(static_cast<const void*>(jpeg), sizeof jpeg);
    EXPECT_EQ(translator.IdentifyImage(jpegStream, &format), B_NO_TRANSLATOR);
}

TEST_F(JXLTranslatorTest, TruncatedFilesAreRefused) {
    ExpectTruncationsRefused(translator, Encode(translator, *TestPicture(64, 48, true), kJXL));
    ASSERT_EQ(translator.Settings().Set("lossless", 1), B_OK);
    ExpectTruncationsRefused(translator, Encode(translator, *NoisePicture(64, 48, false), kJXL));
}

// A bare codestream header declaring 60000 × 60000 pixels, with nothing after it: the
// size must be refused from the header alone.
TEST_F(JXLTranslatorTest, HugeDeclaredSizeIsRefusedBeforeDecoding) {
    std::vector<bool> bits;
    auto put = [&bits](uint32 value, int count) {
        for (int i = 0; i < count; i++) {
            bits.push_back((value >> i) & 1);
        }
    };
    put(0, 1);  // not a multiple of eight
    put(2, 2);  // height in 18 bits
    put(60000 - 1, 18);
    put(0, 3);  // no fixed ratio: the width follows
    put(2, 2);
    put(60000 - 1, 18);
    put(1, 1);  // default metadata
    std::vector<uint8> file = {0xff, 0x0a};
    for (size_t i = 0; i < bits.size(); i += 8) {
        uint8 byte = 0;
        for (size_t b = 0; b < 8 && i + b < bits.size(); b++) {
            byte |= uint8(bits[i + b]) << b;
        }
        file.push_back(byte);
    }
    file.resize(file.size() + 64, 0);
    std::unique_ptr<BBitmap> decoded;
    // Refused for its 3.6 gigapixels, the refusal every decoder gives such a picture.
    EXPECT_EQ(Decode(translator, file, &decoded), B_NO_MEMORY);
    EXPECT_EQ(decoded, nullptr);
    EXPECT_NE(ErrorReason().find("trop grande"), std::string::npos) << ErrorReason();
}

TEST(JXLTranslatorRosterTest, ConvertsThroughTheRoster) {
    ExpectRosterRoundTrip(new JXLTranslator(), kJXL, 28.0);
}

}  // namespace
}  // namespace orv
