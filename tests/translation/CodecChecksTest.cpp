// SPDX-License-Identifier: MIT
// What every encoder refuses before writing a byte.
#include <gtest/gtest.h>

#include <string>

#include "platform/support/ErrorReason.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/Picture.h"

namespace {

constexpr translation_format kOutputs[] = {
    {FourCC("PPM "), B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/x-portable-pixmap", "PPM"},
    {FourCC("PAM "), B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/x-portable-arbitrarymap", "PAM"},
};

TEST(CodecChecks, EncodeRequestsAreRefusedWithTheirReason) {
    const BBitmap rgb(BRect(0, 0, 3, 2), B_RGB32);
    const BBitmap rgba(BRect(0, 0, 3, 2), B_RGBA32);
    const BBitmap empty(BRect(0, 0, -1, -1), B_RGB32);
    const BBitmap grey(BRect(0, 0, 3, 2), B_GRAY8);
    EXPECT_EQ(orv::CheckEncodeRequest(rgb, FourCC("PPM "), kOutputs, "PNM"), B_OK);
    EXPECT_EQ(orv::CheckEncodeRequest(rgba, FourCC("PAM "), kOutputs, "PNM"), B_OK);

    const struct {
        const char* what;
        const BBitmap& image;
        uint32 type;
        status_t status;
        const char* reason;
    } refusals[] = {
        {"another translator's type", rgb, FourCC("PNG "), B_NO_TRANSLATOR,
         "format de sortie inconnu du traducteur PNM"},
        {"no pixels", empty, FourCC("PPM "), B_BAD_VALUE, "image sans pixels"},
        {"grey", grey, FourCC("PPM "), B_BAD_TYPE,
         "espace de couleurs non pris en charge par l'encodeur PNM"},
    };
    for (const auto& r : refusals) {
        orv::ClearErrorReason();
        EXPECT_EQ(orv::CheckEncodeRequest(r.image, r.type, kOutputs, "PNM"), r.status) << r.what;
        EXPECT_EQ(orv::ErrorReason(), r.reason) << r.what;
    }
}

}  // namespace

// How much of a picture a damaged file lost, as the user reads it: never "0 %" when
// something is missing, never "100 %" when something was shown.
TEST(CodecChecks, MissingSharesAreRoundedForTheUser) {
    EXPECT_EQ(orv::MissingPercent(0, 480), 0u);
    EXPECT_EQ(orv::MissingPercent(1, 100000), 1u);
    EXPECT_EQ(orv::MissingPercent(99999, 100000), 99u);
    EXPECT_EQ(orv::MissingPercent(43, 480), 9u);
    EXPECT_EQ(orv::MissingPercent(480, 480), 100u);
    EXPECT_EQ(orv::MissingPercent(900, 480), 100u);
    EXPECT_EQ(orv::TruncationDamage(43, 480), "fichier tronqué : environ 9 % de l'image manque");
}
