// SPDX-License-Identifier: MIT
// Filters a reader takes on while decoding must give the pixels they give done afterwards.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image/OrvImage.h"
#include "tests/translators/common/CodecTestSupport.h"

namespace orv::test {

// The first frame of `bytes`, with `work` done by the reader as it decodes when there is some.
inline std::unique_ptr<BBitmap> ReadWithWork(ImageTranslator& translator,
                                             const std::vector<uint8>& bytes, PixelWork work) {
    BMemoryIO source(bytes.data(), bytes.size());
    std::unique_ptr<PictureReader> reader;
    EXPECT_EQ(translator.OpenReader(source, &reader), B_OK) << ErrorReason();
    if (reader == nullptr) {
        return nullptr;
    }
    if (work) {
        EXPECT_TRUE(reader->SetPixelWork(std::move(work)));
    }
    std::unique_ptr<BBitmap> frame;
    FrameTiming timing;
    EXPECT_EQ(reader->ReadFrame(&frame, &timing), B_OK) << ErrorReason();
    return frame;
}

// Each filter that changes pixels one by one, done by the reader while it decodes `bytes`,
// gives what it gives done to the decoded picture.
inline void ExpectPixelWorkAsFiltersDoIt(ImageTranslator& translator,
                                         const std::vector<uint8>& bytes) {
    for (int32 filter = kNoFilter + 1; filter < kFilterCount; filter++) {
        PixelWork work = PixelFilter(filter);
        if (!work) {
            continue;
        }
        SCOPED_TRACE("filter " + std::to_string(filter));
        auto after = OrvImage::Adopt(ReadWithWork(translator, bytes, nullptr));
        auto during = ReadWithWork(translator, bytes, std::move(work));
        ASSERT_TRUE(after != nullptr && during != nullptr);
        ASSERT_TRUE(ApplyFilterInPlace(*after, filter));
        EXPECT_TRUE(SamePixels(*after, *during));
    }
}

}  // namespace orv::test
