// SPDX-License-Identifier: MIT
// The settings that several translators offer, declared once so that each has the same
// name, label and meaning in every translator's table and on the command line.
#pragma once

#include <memory>

#include "platform/interface/Bitmap.h"
#include "platform/translation/PixelRows.h"
#include "platform/translation/TranslatorSettings.h"

namespace orv {

// Photographs come out upright unless the user asks for the pixels as stored.
inline constexpr SettingSchema kOrientationSetting = {"orientation", SettingSchema::Kind::Bool,
                                                      "Appliquer l'orientation EXIF", 1};

inline constexpr SettingSchema kLosslessSetting = {"lossless", SettingSchema::Kind::Bool,
                                                   "Sans perte", 0};

// For the formats that keep no alpha, or that some programs show opaque; each translator
// chooses whether flattening is what it does unasked.
inline constexpr char kFlattenAlphaName[] = "flatten_alpha";
constexpr SettingSchema FlattenAlphaSetting(bool byDefault) {
    return {kFlattenAlphaName, SettingSchema::Kind::Bool, "Aplatir la transparence sur du blanc",
            byDefault ? 1 : 0};
}

// Turns a decoded picture upright for its EXIF orientation (1 to 8; anything else leaves
// it) when the translator's orientation setting is on. On failure the picture is dropped:
// a decoder that fails hands back none.
inline status_t ApplyOrientationSetting(const TranslatorSettings& settings, int orientation,
                                        std::unique_ptr<BBitmap>* image) {
    if (!settings.Bool(kOrientationSetting.name)) {
        return B_OK;
    }
    const status_t status = ApplyOrientation(orientation, image);
    if (status != B_OK) {
        image->reset();
    }
    return status;
}

}  // namespace orv
