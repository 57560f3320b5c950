// SPDX-License-Identifier: MIT
#include "platform/translation/ColorManagement.h"

#include <lcms2.h>

#include <cmath>

#include "platform/support/ErrorReason.h"

namespace orv {

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct CurveFreer {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFreer>;

// The primaries of the H.273 code points that pictures use, as CIE xy of red, green, blue.
bool PrimariesOf(uint8 code, cmsCIExyYTRIPLE* primaries, cmsCIExyY* white) {
    *white = {0.3127, 0.3290, 1.0};  // D65 for every set below but DCI
    switch (code) {
        case 1:  // BT.709, sRGB
            *primaries = {{0.640, 0.330, 1.0}, {0.300, 0.600, 1.0}, {0.150, 0.060, 1.0}};
            return true;
        case 9:  // BT.2020, BT.2100
            *primaries = {{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}};
            return true;
        case 11:  // DCI-P3
            *primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
            *white = {0.314, 0.351, 1.0};
            return true;
        case 12:  // Display P3
            *primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
            return true;
        case 5:  // BT.601 625 lines
            *primaries = {{0.640, 0.330, 1.0}, {0.290, 0.600, 1.0}, {0.150, 0.060, 1.0}};
            return true;
        case 6:  // BT.601 525 lines
            *primaries = {{0.630, 0.340, 1.0}, {0.310, 0.595, 1.0}, {0.155, 0.070, 1.0}};
            return true;
        default:
            return false;
    }
}

// The transfer curves of the H.273 code points that have one; PQ and HLG need tone
// mapping, which a plain conversion cannot do well, so they are refused.
Curve TransferOf(uint8 code) {
    switch (code) {
        case 13: {  // sRGB: type 4 parametric curve
            const double p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
            return Curve(cmsBuildParametricToneCurve(nullptr, 4, p));
        }
        case 1:
        case 6:
        case 14:
        case 15: {  // BT.709 and its kin, inverted camera curve
            const double p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
            return Curve(cmsBuildParametricToneCurve(nullptr, 4, p));
        }
        case 4:
            return Curve(cmsBuildGamma(nullptr, 2.2));
        case 5:
            return Curve(cmsBuildGamma(nullptr, 2.8));
        case 8:
            return Curve(cmsBuildGamma(nullptr, 1.0));
        default:
            return nullptr;
    }
}

Profile RGBProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, Curve curve) {
    if (curve == nullptr) {
        return nullptr;
    }
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    return Profile(cmsCreateRGBProfile(&white, &primaries, curves));
}

Profile SourceProfile(const ColorDescription& color) {
    if (!color.icc.empty()) {
        return Profile(cmsOpenProfileFromMem(color.icc.data(), cmsUInt32Number(color.icc.size())));
    }
    if (color.HasCicp()) {
        cmsCIExyYTRIPLE primaries;
        cmsCIExyY white;
        const uint8 primariesCode = color.primaries == 2 ? 1 : color.primaries;  // 2: unstated
        const uint8 transferCode = color.transfer == 2 ? 13 : color.transfer;
        if (!PrimariesOf(primariesCode, &primaries, &white)) {
            return nullptr;
        }
        return RGBProfile(white, primaries, TransferOf(transferCode));
    }
    // PNG gAMA, with cHRM when given (sRGB primaries otherwise).
    cmsCIExyYTRIPLE primaries;
    cmsCIExyY white;
    PrimariesOf(1, &primaries, &white);
    if (color.HasChromaticities()) {
        const double* c = color.chromaticities;
        white = {c[0], c[1], 1.0};
        primaries = {{c[2], c[3], 1.0}, {c[4], c[5], 1.0}, {c[6], c[7], 1.0}};
    }
    const double gamma = color.gamma > 0 ? 1.0 / color.gamma : 2.2;
    if (!std::isfinite(gamma) || gamma <= 0 || gamma > 10) {
        return nullptr;
    }
    return RGBProfile(white, primaries, Curve(cmsBuildGamma(nullptr, gamma)));
}

// True when the description means sRGB and nothing else: no work to do.
bool MeansSRGB(const ColorDescription& color) {
    if (color.IsPlainSRGB() || color.srgb) {
        return true;
    }
    return color.icc.empty() && color.HasCicp() && (color.primaries == 1 || color.primaries == 2) &&
           (color.transfer == 13 || color.transfer == 2);
}

// A transform from `source`'s `format` to sRGB pixels as our bitmaps hold them (blue, green,
// red, alpha); null with the reason set.
cmsHTRANSFORM TransformToSRGB(cmsHPROFILE source, cmsUInt32Number format, cmsUInt32Number intent,
                              cmsUInt32Number flags) {
    Profile srgb(cmsCreate_sRGBProfile());
    cmsHTRANSFORM transform = cmsCreateTransform(source, format, srgb.get(), TYPE_BGRA_8, intent,
                                                 flags | cmsFLAGS_BLACKPOINTCOMPENSATION);
    if (transform == nullptr) {
        Fail(B_BAD_DATA, "conversion des couleurs impossible");
    }
    return transform;
}

}  // namespace

std::unique_ptr<SRGBConverter> SRGBConverter::Make(const ColorDescription& color) {
    if (MeansSRGB(color)) {
        return nullptr;
    }
    Profile source = SourceProfile(color);
    if (source == nullptr) {
        Fail(B_BAD_DATA, "description des couleurs inutilisable");
        return nullptr;
    }
    if (cmsGetColorSpace(source.get()) != cmsSigRgbData) {
        Fail(B_BAD_DATA, "profil de couleurs qui n'est pas RVB");
        return nullptr;
    }
    const cmsUInt32Number intent = color.renderingIntent >= 0 && color.renderingIntent <= 3
                                       ? cmsUInt32Number(color.renderingIntent)
                                       : INTENT_PERCEPTUAL;
    // Alpha is carried over untouched.
    cmsHTRANSFORM transform =
        TransformToSRGB(source.get(), TYPE_BGRA_8, intent, cmsFLAGS_COPY_ALPHA);
    if (transform == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<SRGBConverter>(new SRGBConverter(transform));
}

SRGBConverter::~SRGBConverter() {
    cmsDeleteTransform(fTransform);
}

status_t SRGBConverter::Apply(BBitmap& bitmap) const {
    if (bitmap.ColorSpace() != B_RGB32 && bitmap.ColorSpace() != B_RGBA32) {
        return Fail(B_BAD_TYPE, "espace de couleurs impossible à convertir");
    }
    if (bitmap.Bits() == nullptr) {
        return B_OK;
    }
    const uint32 width = bitmap.PixelWidth();
    const uint32 height = bitmap.PixelHeight();
    const cmsUInt32Number stride = cmsUInt32Number(bitmap.BytesPerRow());
    cmsDoTransformLineStride(fTransform, bitmap.Bits(), bitmap.Bits(), width, height, stride,
                             stride, 0, 0);
    return B_OK;
}

std::vector<uint8> ProfileBytes(const ColorDescription& color) {
    if (!color.icc.empty()) {
        return ProfileColorSpace(color.icc) == uint32(cmsSigRgbData) ? color.icc
                                                                     : std::vector<uint8>();
    }
    if (MeansSRGB(color)) {
        return {};
    }
    Profile profile = SourceProfile(color);
    cmsUInt32Number size = 0;
    if (profile == nullptr || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) {
        return {};
    }
    std::vector<uint8> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

std::unique_ptr<DeviceRowConverter> DeviceRowConverter::Make(const std::vector<uint8>& icc,
                                                             Samples samples) {
    Profile source(icc.empty() ? nullptr
                               : cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
    if (source == nullptr) {
        Fail(B_BAD_DATA, "profil de couleurs illisible");
        return nullptr;
    }
    const bool gray = samples == Samples::Gray;
    if (cmsGetColorSpace(source.get()) != (gray ? cmsSigGrayData : cmsSigCmykData)) {
        Fail(B_BAD_DATA, "profil de couleurs d'un autre espace que l'image");
        return nullptr;
    }
    const cmsUInt32Number format = gray                       ? TYPE_GRAY_8
                                   : samples == Samples::CMYK ? TYPE_CMYK_8
                                                              : TYPE_CMYK_8_REV;
    // The extra (alpha) byte of the output is left alone by the transform; Convert sets it.
    cmsHTRANSFORM transform = TransformToSRGB(source.get(), format, INTENT_PERCEPTUAL, 0);
    if (transform == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<DeviceRowConverter>(new DeviceRowConverter(transform));
}

DeviceRowConverter::~DeviceRowConverter() {
    cmsDeleteTransform(fTransform);
}

void DeviceRowConverter::Convert(const uint8* samples, uint8* bgra, uint32 count) const {
    cmsDoTransform(fTransform, samples, bgra, count);
    for (uint32 i = 0; i < count; i++) {
        bgra[i * 4 + 3] = 255;
    }
}

uint32 ProfileColorSpace(const std::vector<uint8>& icc) {
    if (icc.empty()) {
        return 0;
    }
    Profile profile(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
    return profile != nullptr ? uint32(cmsGetColorSpace(profile.get())) : 0;
}

}  // namespace orv
