// SPDX-License-Identifier: MIT
// The filter menu's labels and the index-to-operation rows of the conversion run.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/image/TestImages.h"

namespace {

using orv::test::FromWords;
using orv::test::Words;

TEST(FilterList, LabelsAreUtf8AndFitTheirRows) {
    EXPECT_EQ(std::strlen(label_filter[8]), 49u);
    EXPECT_STREQ(label_filter[11], "Rotation \xC3\xA0 180\xC2\xB0");
}

// A 2 × 2 picture whose every byte differs, and what each filter makes of it, worked out
// by hand (in B_RGB32 byte 3 is no alpha: the negative turns it too).
TEST(FilterList, EachIndexAppliesItsOperation) {
    const auto image = FromWords(2, 2, {0x00112233, 0x00445566, 0x00778899, 0x00AABBCC});
    const std::vector<uint32> expected[] = {
        {},
        {0xFFEEDDCC, 0xFFBBAA99, 0xFF887766, 0xFF554433},  // negative
        {0x00222222, 0x00555555, 0x00888888, 0x00BBBBBB},  // grey: 102 / 3, 255 / 3 ...
        {0x00445566, 0x00112233, 0x00AABBCC, 0x00778899},  // mirror
        {0x00778899, 0x00AABBCC, 0x00112233, 0x00445566},  // flip
        {0x00221133, 0x00554466, 0x00887799, 0x00BBAACC},  // red and green
        {0x00113322, 0x00446655, 0x00779988, 0x00AACCBB},  // green and blue
        {0x00332211, 0x00665544, 0x00998877, 0x00CCBBAA},  // blue and red
        {},
        {},
        {},                                                // hand drawing: below
        {0x00AABBCC, 0x00778899, 0x00445566, 0x00112233},  // half a turn
    };
    for (int32 index : {-1, int32(kNoFilter), int32(kFilterCount)}) {
        EXPECT_EQ(ApplyFilter(*image, index), nullptr) << index;
    }
    for (int32 index = kNegativeFilter; index < kFilterCount; ++index) {
        if (!expected[index].empty()) {
            EXPECT_EQ(Words(*ApplyFilter(*image, index)), expected[index]) << index;
        }
    }

    // A grey centre of level 10 among black pixels stands out by 10: the light drawing
    // gives 255 − 10, the bold and the soft ones their curves' values for 10.
    std::vector<uint32> centre(9, 0);
    centre[4] = 0x000A0A0A;
    const auto drawn = FromWords(3, 3, centre);
    EXPECT_EQ(Words(*ApplyFilter(*drawn, kLightDrawingFilter))[4], 0x00F5F5F5u);
    EXPECT_EQ(Words(*ApplyFilter(*drawn, kBoldDrawingFilter))[4], 0x00EEEEEEu);
    EXPECT_EQ(Words(*ApplyFilter(*drawn, kSoftDrawingFilter))[4], 0x00AFAFAFu);
}

}  // namespace
