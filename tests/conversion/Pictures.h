// SPDX-License-Identifier: MIT
// Picture files of any format the catalogue offers, written through the real translators
// (those of the default roster, which the tests load from the build).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "conversion/OutputFormat.h"
#include "platform/interface/Bitmap.h"
#include "platform/storage/File.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv::test {

// Writes a width × height picture of the catalogue format of that MIME type.
inline void WritePicture(const std::filesystem::path& path, const std::string& mime, int width = 6,
                         int height = 4) {
    BTranslatorRoster* roster = BTranslatorRoster::Default();
    const std::vector<OutputFormat> catalogue = BuildOutputFormats(roster);
    const auto format = std::find_if(catalogue.begin(), catalogue.end(),
                                     [&](const OutputFormat& f) { return f.MIME == mime; });
    ASSERT_NE(format, catalogue.end()) << mime;
    auto* bitmap = new BBitmap(BRect(0, 0, float(width - 1), float(height - 1)), B_RGB32);
    auto* pixels = static_cast<uint32*>(bitmap->Bits());
    for (int i = 0; i < width * height; ++i) {
        pixels[i] = 0xFF000000u | uint32(i) * 0x0A0B0Cu;  // wraps, in unsigned arithmetic
    }
    BBitmapStream stream(bitmap);
    BFile file(path.c_str(), B_WRITE_ONLY | B_CREATE_FILE | B_ERASE_FILE);
    ASSERT_EQ(roster->Translate(&stream, nullptr, nullptr, &file, format->type), B_OK);
}

}  // namespace orv::test
