// SPDX-License-Identifier: MIT
// The filter menu's labels and the index-to-operation rows of the conversion run.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/image/TestImages.h"

namespace {

using orv::test::Words;

TEST(FilterList, LabelsAreUtf8AndFitTheirRows) {
    EXPECT_EQ(std::strlen(label_filter[8]), 49u);
    EXPECT_STREQ(label_filter[11], "Rotation \xC3\xA0 180\xC2\xB0");
}

TEST(FilterList, EachIndexAppliesItsOperation) {
    auto image = orv::test::RandomImage(6, 5, 11, B_RGBA32);
    const auto source = Words(*image);
    const std::vector<uint32> expected[] = {
        {},
        Words(*image->InvertColors()),
        Words(*image->GreyScale()),
        Words(*image->Mirror()),
        Words(*image->Flip()),
        Words(*image->Exchange(0xFFFF00)),
        Words(*image->Exchange(0xFFFF)),
        Words(*image->Exchange(0xFF00FF)),
        Words(*image->HandDrawing(1)),
        Words(*image->HandDrawing(2)),
        Words(*image->HandDrawing(3)),
        Words(*image->Rotate180()),
    };
    for (int32 index : {-1, 0, 12}) {
        EXPECT_EQ(ApplyFilter(*image, index), nullptr);
    }
    for (int32 index = 1; index < kFilterCount; ++index) {
        EXPECT_EQ(Words(*ApplyFilter(*image, index)), expected[index]) << index;
        for (int32 other = index + 1; other < kFilterCount; ++other) {
            EXPECT_NE(expected[index], expected[other]) << index << " " << other;
        }
    }
    EXPECT_EQ(Words(*ApplyFilter(*ApplyFilter(*image, 11), 11)), source);
}

}  // namespace
