// SPDX-License-Identifier: MIT
#include "platform/translation/FramedTranslator.h"

#include "platform/translation/CodecChecks.h"

namespace orv {

FramedTranslator::FramedTranslator(const TranslatorDescription& description, const char* formatName)
    : ImageTranslator(description), fFormatName(formatName) {}

status_t FramedTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    return DecodeThroughReader(source, decoded);
}

status_t FramedTranslator::EncodePicture(const BBitmap& image, const PictureInfo& info,
                                         uint32 outType, BPositionIO& destination) {
    if (status_t status = CheckEncodeRequest(image, outType, CodecOutputs(), fFormatName);
        status != B_OK) {
        return status;
    }
    std::unique_ptr<PictureWriter> writer;
    if (status_t status = OpenWriter(outType, destination, &writer); status != B_OK) {
        return status;
    }
    PictureInfo one = info;
    one.width = image.PixelWidth();
    one.height = image.PixelHeight();
    one.frameCount = 1;
    status_t status = writer->Begin(one);
    if (status == B_OK) {
        status = writer->WriteFrame(image, FrameTiming{});
    }
    if (status == B_OK) {
        status = writer->Finish();
    }
    return status;
}

}  // namespace orv
