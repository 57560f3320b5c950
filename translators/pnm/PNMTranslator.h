// SPDX-License-Identifier: MIT
// Netpbm pictures: reads PBM, PGM and PPM (plain and raw, P1 to P6) and PAM (P7); writes
// PPM (raw or plain) and PAM, with alpha when the picture has any transparency.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class PNMTranslator : public ImageTranslator {
public:
    PNMTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

// Type codes of the formats.
inline constexpr uint32 kPBMFormat = FourCC("PBM ");
inline constexpr uint32 kPGMFormat = FourCC("PGM ");
inline constexpr uint32 kPPMFormat = FourCC("PPM ");
inline constexpr uint32 kPAMFormat = FourCC("PAM ");

}  // namespace orv
