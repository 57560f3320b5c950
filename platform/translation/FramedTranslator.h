// SPDX-License-Identifier: MIT
// The base of a translator whose own reader and writer also serve the one-picture calls:
// decoding is the reader's first frame, encoding one picture through the writer. The codec
// gives its reader and writer; the base gives DecodePicture and EncodePicture.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class FramedTranslator : public ImageTranslator {
public:
    // `formatName` (e.g. "TIFF") names the codec in the reasons of a refused encoding.
    FramedTranslator(const TranslatorDescription& description, const char* formatName);

    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) final;
    // Refuses what CheckEncodeRequest refuses before the writer is opened, so that nothing
    // is written for a bitmap the codec cannot take; then one picture, Begin to Finish.
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) final;

    status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) override = 0;
    status_t OpenWriter(uint32 outType, BPositionIO& destination,
                        std::unique_ptr<PictureWriter>* writer) override = 0;

private:
    const char* fFormatName;
};

}  // namespace orv
