// SPDX-License-Identifier: MIT
// Turning pixel values into sRGB through the picture's own colour description, with Little
// CMS, for outputs that cannot say how their colours are meant (or users who want sRGB).
#pragma once

#include <memory>

#include "platform/interface/Bitmap.h"
#include "platform/translation/Picture.h"

namespace orv {

class SRGBConverter {
public:
    // A converter from the colours `color` describes to sRGB. Null, with no reason set,
    // when there is nothing to do: the description is plain sRGB. Null with the reason set
    // when the description cannot be used (a damaged profile, a CMYK or grey profile, a
    // CICP transfer we cannot map): the pixels are then left as they are.
    static std::unique_ptr<SRGBConverter> Make(const ColorDescription& color);
    ~SRGBConverter();
    SRGBConverter(const SRGBConverter&) = delete;
    SRGBConverter& operator=(const SRGBConverter&) = delete;

    // Converts a B_RGB32 or B_RGBA32 bitmap's colours in place; alpha is kept.
    status_t Apply(BBitmap& bitmap) const;

private:
    explicit SRGBConverter(void* transform) : fTransform(transform) {}
    void* fTransform;  // cmsHTRANSFORM, kept opaque so the header needs no lcms2.h
};

// An ICC profile that says what `color` says of our RGB pixels, for formats that hold
// colours only as a profile: the description's own RGB profile as stored, or one built from
// its CICP code points or its gamma and primaries. Empty when the description means plain
// sRGB, when its profile is not an RGB one (a grey or CMYK profile does not describe RGB
// pixels), or when it cannot be told in a profile (a CICP transfer such as PQ or HLG).
std::vector<uint8> ProfileBytes(const ColorDescription& color);

// Rows of device samples that a profile describes but our bitmaps cannot hold as they are
// (grey, or the inks of CMYK), turned into sRGB pixels through the profile.
class DeviceRowConverter {
public:
    enum class Samples {
        Gray,          // one sample a pixel
        CMYK,          // four, 0 meaning no ink
        InvertedCMYK,  // four, 255 meaning no ink, as Adobe's programs store them
    };
    // Null, with the reason set, when the profile is not one for such samples or cannot be
    // used.
    static std::unique_ptr<DeviceRowConverter> Make(const std::vector<uint8>& icc, Samples samples);
    ~DeviceRowConverter();
    DeviceRowConverter(const DeviceRowConverter&) = delete;
    DeviceRowConverter& operator=(const DeviceRowConverter&) = delete;

    // `count` pixels of samples into a B_RGB32 row (alpha 255).
    void Convert(const uint8* samples, uint8* bgra, uint32 count) const;

private:
    explicit DeviceRowConverter(void* transform) : fTransform(transform) {}
    void* fTransform;  // cmsHTRANSFORM
};

// An ICC profile in memory: its colour space's four-character signature ('RGB ', 'GRAY',
// 'CMYK'), or 0 when the bytes are not a profile Little CMS can read.
uint32 ProfileColorSpace(const std::vector<uint8>& icc);

}  // namespace orv
