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

namespace {

// The number of words of an image whose pixels are width × height words in its buffer, or
// 0. Outside the 32-bit spaces the buffer is not width × height words: such an image is
// left alone rather than read past its end.
size_t PixelWords(const OrvImage& image) {
    const uint32 width = image.PixelWidth();
    const uint32 height = image.PixelHeight();
    size_t words = 0;
    size_t bytes = 0;
    if (width == 0 || height == 0 || !IsRGB32Space(image.ColorSpace()) || image.Bits() == nullptr ||
        !CheckedMultiply(width, height, &words) || !CheckedMultiply(words, 4, &bytes) ||
        bytes > size_t(image.BitsLength())) {
        return 0;
    }
    return words;
}

void Describe(const OrvImage& image, size_t words, PixelJob* job) {
    job->width = image.PixelWidth();
    job->height = image.PixelHeight();
    job->count = words;
    job->alphaKept = AlphaKept(image.ColorSpace());
}

}  // namespace

std::unique_ptr<OrvImage> BeginJob(const OrvImage& source, PixelJob* job) {
    *job = PixelJob{};
    auto result = std::make_unique<OrvImage>(source.Bounds(), source.ColorSpace());
    const size_t words = PixelWords(source);
    if (words == 0 || result->Bits() == nullptr || words * 4 > size_t(result->BitsLength())) {
        return result;
    }
    job->source = static_cast<const uint32*>(source.Bits());
    job->result = static_cast<uint32*>(result->Bits());
    Describe(source, words, job);
    return result;
}

bool BeginInPlace(OrvImage& image, PixelJob* job) {
    const size_t words = PixelWords(image);
    if (words == 0) {
        return false;
    }
    job->result = static_cast<uint32*>(image.Bits());
    job->source = job->result;
    Describe(image, words, job);
    return true;
}

}  // namespace orv::image
