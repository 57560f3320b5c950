// SPDX-License-Identifier: MIT
// Pictures as plain samples, and the Netpbm files (PGM, PPM, PAM) that carry them to and
// from other programs: a test writes its source picture for another encoder, and
// reads back what another decoder made of a file.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/interface/Bitmap.h"
#include "platform/translation/PixelRows.h"

namespace orv::test {

// `channels` samples a pixel (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA), each from 0 to
// `maxval` (at most 65535), row after row.
struct Samples {
    uint32 width = 0;
    uint32 height = 0;
    uint32 channels = 0;
    uint32 maxval = 255;
    std::vector<uint16> values;

    bool Empty() const { return width == 0 || height == 0; }
    bool HasAlpha() const { return channels == 2 || channels == 4; }
    uint16& At(uint32 x, uint32 y, uint32 c) {
        return values[(size_t(y) * width + x) * channels + c];
    }
    uint16 At(uint32 x, uint32 y, uint32 c) const {
        return values[(size_t(y) * width + x) * channels + c];
    }
    // A pixel as 8-bit red, green, blue and alpha, each sample rounded to the nearest level.
    std::array<int, 4> RGBA(uint32 x, uint32 y) const {
        const auto level = [&](uint32 c) {
            return int((At(x, y, c) * 255u + maxval / 2) / maxval);
        };
        const bool grey = channels <= 2;
        return {level(0), level(grey ? 0 : 1), level(grey ? 0 : 2),
                HasAlpha() ? level(channels - 1) : 255};
    }
};

inline Samples NewSamples(uint32 width, uint32 height, uint32 channels, uint32 maxval = 255) {
    return {width, height, channels, maxval,
            std::vector<uint16>(size_t(width) * height * channels, 0)};
}

// The samples as a PGM or PPM, which every program reads, or as a PAM when they have alpha;
// 8 or 16 bits a sample as `maxval` asks.
inline std::vector<uint8> ToNetpbm(const Samples& samples) {
    static const char* const kTupleTypes[] = {"GRAYSCALE", "GRAYSCALE_ALPHA", "RGB", "RGB_ALPHA"};
    const std::string size = std::to_string(samples.width) + " " + std::to_string(samples.height);
    const std::string maxval = std::to_string(samples.maxval);
    std::string header;
    if (samples.HasAlpha()) {
        header = "P7\nWIDTH " + std::to_string(samples.width) + "\nHEIGHT " +
                 std::to_string(samples.height) + "\nDEPTH " + std::to_string(samples.channels) +
                 "\nMAXVAL " + maxval + "\nTUPLTYPE " + kTupleTypes[samples.channels - 1] +
                 "\nENDHDR\n";
    } else {
        header = (samples.channels == 1 ? "P5\n" : "P6\n") + size + "\n" + maxval + "\n";
    }
    std::vector<uint8> file(header.begin(), header.end());
    for (uint16 value : samples.values) {
        if (samples.maxval > 255) {
            file.push_back(uint8(value >> 8));
        }
        file.push_back(uint8(value));
    }
    return file;
}

// A binary PGM (P5), PPM (P6) or PAM (P7) of 8 or 16-bit samples; empty samples, with a
// failure that says why, when the bytes are none of these.
inline Samples ParseNetpbm(const std::vector<uint8>& bytes, const std::string& name) {
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string magic;
    in >> magic;
    Samples samples;
    if (magic == "P5" || magic == "P6") {
        samples.channels = magic == "P5" ? 1 : 3;
        in >> samples.width >> samples.height >> samples.maxval;
    } else if (magic == "P7") {
        for (std::string key; in >> key && key != "ENDHDR";) {
            if (key == "WIDTH") {
                in >> samples.width;
            } else if (key == "HEIGHT") {
                in >> samples.height;
            } else if (key == "DEPTH") {
                in >> samples.channels;
            } else if (key == "MAXVAL") {
                in >> samples.maxval;
            } else {
                in.ignore(1 << 20, '\n');
            }
        }
    }
    in.get();  // the one white-space byte before the samples
    const size_t bytesPerSample = samples.maxval > 255 ? 2 : 1;
    const size_t count = size_t(samples.width) * samples.height * samples.channels;
    const std::streamoff start = in ? std::streamoff(in.tellg()) : -1;
    if (start < 0 || samples.channels < 1 || samples.channels > 4 || samples.maxval == 0 ||
        samples.maxval > 65535 || bytes.size() - size_t(start) != count * bytesPerSample) {
        ADD_FAILURE() << name << ": not a Netpbm picture this test can read";
        return {};
    }
    samples.values.resize(count);
    const uint8* data = bytes.data() + start;
    for (size_t i = 0; i < count; i++) {
        samples.values[i] =
            bytesPerSample == 2 ? uint16(data[2 * i] << 8 | data[2 * i + 1]) : data[i];
    }
    return samples;
}

// The samples as a bitmap, rounded to 8 bits (B_RGBA32 when they have alpha).
inline std::unique_ptr<BBitmap> ToBitmap(const Samples& samples) {
    std::unique_ptr<BBitmap> image;
    EXPECT_EQ(NewImage(samples.width, samples.height, samples.HasAlpha(), &image), B_OK);
    for (uint32 y = 0; image != nullptr && y < samples.height; y++) {
        uint8* row = static_cast<uint8*>(image->Bits()) + size_t(y) * image->BytesPerRow();
        for (uint32 x = 0; x < samples.width; x++) {
            const std::array<int, 4> rgba = samples.RGBA(x, y);
            const uint8 bgra[4] = {uint8(rgba[2]), uint8(rgba[1]), uint8(rgba[0]), uint8(rgba[3])};
            std::memcpy(row + size_t(x) * 4, bgra, 4);
        }
    }
    return image;
}

// Compares a decoded picture with the samples it should show, within `tolerance` levels.
// Alpha counts when either has it; the colour of a fully transparent pixel does not, since
// encoders may store any colour there.
inline void ExpectPixelsMatch(const Samples& expected, const BBitmap& actual, int tolerance = 0) {
    ASSERT_EQ(actual.PixelWidth(), expected.width);
    ASSERT_EQ(actual.PixelHeight(), expected.height);
    const bool actualAlpha = actual.ColorSpace() == B_RGBA32;
    int reported = 0;
    for (uint32 y = 0; y < expected.height; y++) {
        const uint8* row =
            static_cast<const uint8*>(actual.Bits()) + size_t(y) * actual.BytesPerRow();
        for (uint32 x = 0; x < expected.width; x++) {
            const std::array<int, 4> want = expected.RGBA(x, y);
            const uint8* p = row + size_t(x) * 4;
            const std::array<int, 4> got = {p[2], p[1], p[0], actualAlpha ? p[3] : 255};
            const bool hidden = want[3] == 0 && got[3] == 0;
            for (int c = hidden ? 3 : 0; c < 4; c++) {
                if (std::abs(want[c] - got[c]) > tolerance && reported++ < 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel "
                                  << "RGBA"[c] << ": " << got[c] << " instead of " << want[c];
                }
            }
        }
    }
}

}  // namespace orv::test
