// SPDX-License-Identifier: MIT
#include "image/OrvImage.h"

#include "image/PixelJob.h"

OrvImage::OrvImage(BRect bounds, color_space space, bool acceptsViews, bool needsContiguous)
    : BBitmap(bounds, space, acceptsViews, needsContiguous) {}

OrvImage::OrvImage(BBitmap&& bitmap) : BBitmap(std::move(bitmap)) {}

OrvImage::~OrvImage() = default;

std::unique_ptr<OrvImage> OrvImage::Adopt(std::unique_ptr<BBitmap> bitmap) {
    if (bitmap == nullptr) {
        return nullptr;
    }
    if (auto* image = dynamic_cast<OrvImage*>(bitmap.get())) {
        bitmap.release();
        return std::unique_ptr<OrvImage>(image);
    }
    return std::unique_ptr<OrvImage>(new OrvImage(std::move(*bitmap)));
}

namespace orv::image {

std::unique_ptr<OrvImage> BeginJob(const OrvImage& source, PixelJob* job) {
    *job = PixelJob{};
    const uint32 width = source.PixelWidth();
    const uint32 height = source.PixelHeight();
    auto result = std::make_unique<OrvImage>(source.Bounds(), source.ColorSpace());
    // Outside the 32-bit spaces the buffer is not width × height words: such an image is
    // left unwritten rather than read past its end.
    if (width == 0 || height == 0 || !IsRGB32Space(source.ColorSpace()) ||
        source.Bits() == nullptr || result->Bits() == nullptr) {
        return result;
    }
    size_t words = 0;
    size_t bytes = 0;
    if (!CheckedMultiply(width, height, &words) || !CheckedMultiply(words, 4, &bytes) ||
        bytes > size_t(source.BitsLength()) || bytes > size_t(result->BitsLength())) {
        return result;
    }
    job->source = static_cast<const uint32*>(source.Bits());
    job->result = static_cast<uint32*>(result->Bits());
    job->width = width;
    job->height = height;
    job->count = words;
    job->alphaKept = KeepsAlpha(source.ColorSpace()) ? kAlphaMask : 0;
    return result;
}

}  // namespace orv::image
