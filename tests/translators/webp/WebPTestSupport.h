// SPDX-License-Identifier: MIT
// What the WebP suites share: a whole file read through the translator's reader, frames
// written through its writer, and the command-line tools that make and check files.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

#include "tests/TempFolder.h"
#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ToolSupport.h"
#include "translators/webp/WebPTranslator.h"

namespace orv::test {

inline constexpr uint32 kWebP = FourCC("WEBP");

// Everything a reader gives for a file.
using Sequence = ReadPicture;

inline Sequence ReadSequence(WebPTranslator& translator, const std::vector<uint8>& bytes) {
    ClearErrorReason();
    return ReadAllFrames(translator, bytes);
}

// Frames through the translator's writer, with `info`; Begin announces `announced` frames,
// or as many as there are.
inline std::vector<uint8> WriteSequence(WebPTranslator& translator, PictureInfo info,
                                        const std::vector<std::unique_ptr<BBitmap>>& frames,
                                        const std::vector<uint32>& delays, uint32 announced = 0) {
    BMallocIO out;
    std::unique_ptr<PictureWriter> writer;
    EXPECT_EQ(translator.OpenWriter(kWebP, out, &writer), B_OK) << ErrorReason();
    info.width = frames[0]->PixelWidth();
    info.height = frames[0]->PixelHeight();
    info.frameCount = announced != 0 ? announced : uint32(frames.size());
    EXPECT_EQ(writer->Begin(info), B_OK) << ErrorReason();
    for (size_t i = 0; i < frames.size(); i++) {
        EXPECT_EQ(writer->WriteFrame(*frames[i], FrameTiming{delays[i]}), B_OK) << ErrorReason();
    }
    EXPECT_EQ(writer->Finish(), B_OK) << ErrorReason();
    const auto* data = static_cast<const uint8*>(out.Buffer());
    return std::vector<uint8>(data, data + out.BufferLength());
}

// Four frames unlike each other, with holes of every transparency unless `opaque`.
inline std::vector<std::unique_ptr<BBitmap>> SampleFrames(uint32 width, uint32 height,
                                                          bool opaque = false) {
    std::vector<std::unique_ptr<BBitmap>> frames;
    for (uint32 i = 0; i < 4; i++) {
        frames.push_back(TestPicture(width, height, !opaque));
        for (uint32 y = i * 5; y < i * 5 + 8 && y < height; y++) {
            for (uint32 x = 0; x < width; x++) {
                const uint32 alpha = opaque ? 0xff : (x * 9) & 0xff;
                SetPixelValue(*frames.back(), x, y, alpha << 24 | 0x00ff00u >> i);
            }
        }
    }
    return frames;
}

inline std::vector<uint8> Bytes(const std::string& text) {
    return std::vector<uint8>(text.begin(), text.end());
}

// The whole frames ImageMagick composes from an animation, as PAM pictures.
inline std::vector<std::unique_ptr<BBitmap>> Coalesced(const orvtest::TempFolder& folder,
                                                       const std::string& file) {
    const std::string pattern = folder / "coalesced-%03d.pam";
    RunTool("convert '" + file + "' -coalesce -depth 8 '" + pattern + "'");
    std::vector<std::unique_ptr<BBitmap>> frames;
    for (int i = 0;; i++) {
        char name[32];
        std::snprintf(name, sizeof name, "coalesced-%03d.pam", i);
        if (!orvtest::Present(folder / name)) {
            break;
        }
        frames.push_back(ReadNetpbm(folder / name));
        std::filesystem::remove(folder / name);
    }
    return frames;
}

// How close a lossy frame comes back when written alone as a still picture: a frame of
// an animation should lose no more.
inline double StillPSNR(WebPTranslator& translator, const BBitmap& frame) {
    std::unique_ptr<BBitmap> decoded = DecodeOK(translator, Encode(translator, frame, kWebP));
    return decoded == nullptr ? 0 : PSNR(frame, *decoded);
}

}  // namespace orv::test
