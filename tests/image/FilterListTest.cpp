// SPDX-License-Identifier: MIT
// The filter menu's labels and the index-to-operation rows of the conversion run.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/image/TestImages.h"

namespace {

using orv::test::Words;

TEST(FilterList, LabelsAreTwelveUtf8RowsThatFit) {
    for (int32 i = 0; i < kFilterCount; ++i) {
        EXPECT_LT(std::strlen(label_filter[i]), 50u) << i;
    }
    EXPECT_EQ(std::strlen(label_filter[8]), 49u);
    // Accented letters as UTF-8 bytes, not Latin-1.
    EXPECT_STREQ(label_filter[0],
                 "Aucun (par d\xC3\xA9"
                 "faut)");
    EXPECT_STREQ(label_filter[11], "Rotation \xC3\xA0 180\xC2\xB0");
    EXPECT_STREQ(label_filter[8],
                 "Dessin \xC3\xA0 main lev\xC3\xA9"
                 "e (L\xC3\xA9"
                 "ger, contraste "
                 "\xC3\xA9"
                 "lev\xC3\xA9)");
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
    EXPECT_EQ(ApplyFilter(*image, 0), nullptr);
    EXPECT_EQ(ApplyFilter(*image, 12), nullptr);
    EXPECT_EQ(ApplyFilter(*image, -1), nullptr);
    for (int32 index = 1; index < kFilterCount; ++index) {
        auto result = ApplyFilter(*image, index);
        ASSERT_NE(result, nullptr) << index;
        EXPECT_EQ(Words(*result), expected[index]) << index;
    }
    // All eleven differ from one another, so no row is wired to its neighbour's operation.
    for (int32 a = 1; a < kFilterCount; ++a) {
        for (int32 b = a + 1; b < kFilterCount; ++b) {
            EXPECT_NE(expected[a], expected[b]) << a << " " << b;
        }
    }
    EXPECT_EQ(Words(*ApplyFilter(*ApplyFilter(*image, 11), 11)), source);
    EXPECT_EQ(Words(*image), source);
}

}  // namespace
