// SPDX-License-Identifier: MIT
// The filter menu's labels and the index-to-operation rows of the conversion run.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/image/TestImages.h"

namespace {

using orv::test::FromWords;
using orv::test::RandomImage;
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

// Where each filter moving whole pixels takes pixel (x, y) from.
std::vector<uint32> Moved(const std::vector<uint32>& words, uint32 width, uint32 height,
                          int32 index) {
    std::vector<uint32> moved(words.size());
    for (uint32 y = 0; y < height; ++y) {
        for (uint32 x = 0; x < width; ++x) {
            const uint32 fromX = index == kFlipFilter ? x : width - 1 - x;
            const uint32 fromY = index == kMirrorFilter ? y : height - 1 - y;
            moved[y * width + x] = words[fromY * width + fromX];
        }
    }
    return moved;
}

// The run filters its own frame in place: that must give what the filter menu's operation
// gives, at odd and even sizes (a middle row or column stays), alpha kept or not, and leave
// alone what it cannot do in place.
TEST(FilterList, InPlaceGivesWhatTheOperationGives) {
    for (const color_space space : {B_RGB32, B_RGBA32}) {
        for (const auto& [width, height] :
             {std::pair{5u, 3u}, std::pair{4u, 6u}, std::pair{1u, 1u}}) {
            for (int32 index = kNoFilter; index < kFilterCount; ++index) {
                SCOPED_TRACE(testing::Message()
                             << space << " " << width << "x" << height << " " << index);
                const auto source = RandomImage(width, height, uint32(index), space);
                const auto expected = ApplyFilter(*source, index);
                if (index == kMirrorFilter || index == kFlipFilter || index == kRotate180Filter) {
                    EXPECT_EQ(Words(*expected), Moved(Words(*source), width, height, index));
                }
                const auto image = RandomImage(width, height, uint32(index), space);
                const bool inPlace = ApplyFilterInPlace(*image, index);
                const bool drawing = index >= kLightDrawingFilter && index <= kSoftDrawingFilter;
                EXPECT_EQ(inPlace, expected != nullptr && !drawing);
                EXPECT_EQ(Words(*image), inPlace ? Words(*expected) : Words(*source));
            }
        }
    }
    // Not words: left as it is, for the operation to make its result.
    const auto grey = RandomImage(4, 4, 1, B_GRAY8);
    const auto before = Words(*grey);
    EXPECT_FALSE(ApplyFilterInPlace(*grey, kGreyScaleFilter));
    EXPECT_EQ(Words(*grey), before);
}

}  // namespace
