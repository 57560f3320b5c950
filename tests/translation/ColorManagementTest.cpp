// SPDX-License-Identifier: MIT
// Colours said without a profile keep their meaning when they must travel as one.
#include <gtest/gtest.h>

#include "platform/translation/ColorManagement.h"

namespace {

// The sRGB value a B_RGB32 pixel of grey `value` becomes through `color`.
int ToSRGB(const orv::ColorDescription& color, uint8 value) {
    BBitmap pixel(BRect(0, 0, 0, 0), B_RGB32);
    auto* bits = static_cast<uint8*>(pixel.Bits());
    bits[0] = bits[1] = bits[2] = value;
    bits[3] = 255;
    auto converter = orv::SRGBConverter::Make(color);
    if (converter == nullptr || converter->Apply(pixel) != B_OK) {
        return -1;
    }
    return bits[1];
}

TEST(ColorManagement, ADescriptionWithoutProfileBecomesAProfileThatMeansTheSame) {
    orv::ColorDescription linear;  // PNG gAMA 1.0: the values are linear light
    linear.gamma = 1.0;
    orv::ColorDescription asProfile;
    asProfile.icc = orv::ProfileBytes(linear);
    ASSERT_FALSE(asProfile.icc.empty());
    EXPECT_EQ(orv::ProfileColorSpace(asProfile.icc), 0x52474220u);  // 'RGB '
    // Half of linear light is 188 in sRGB, however it is said.
    EXPECT_NEAR(ToSRGB(linear, 128), 188, 1);
    EXPECT_NEAR(ToSRGB(asProfile, 128), 188, 1);

    orv::ColorDescription pq;  // CICP: BT.2020 primaries, PQ transfer
    pq.primaries = 9;
    pq.transfer = 16;
    pq.matrix = 0;
    orv::ColorDescription pqProfile;
    pqProfile.icc = orv::ProfileBytes(pq);
    if (!pqProfile.icc.empty()) {
        EXPECT_EQ(ToSRGB(pqProfile, 100), ToSRGB(pq, 100));
    }

    // Nothing to add where the colours already have a profile or mean sRGB.
    orv::ColorDescription srgbCicp;
    srgbCicp.primaries = 1;
    srgbCicp.transfer = 13;
    EXPECT_TRUE(orv::ProfileBytes(srgbCicp).empty());
    EXPECT_TRUE(orv::ProfileBytes(orv::ColorDescription{}).empty());
    // A profile as stored is handed on as it is.
    EXPECT_EQ(orv::ProfileBytes(asProfile), asProfile.icc);
}

}  // namespace
