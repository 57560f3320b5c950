// SPDX-License-Identifier: MIT
// OrvImage: a bitmap with the whole-image operations of the converter.
//
// Every operation reads the image it is called on, never changes it, and returns a new
// image that the caller owns. Pixels are 32-bit words read as 0xAARRGGBB (blue, green,
// red, alpha in memory), pixel (x, y) at word y × width + x; the operations work on byte
// positions, byte 3 being the alpha position.
//
// What every operation returning an image promises:
// - The result has the source's bounds and colour space (Scale: bounds from (0, 0)).
// - A source without pixels (an empty rectangle, or no buffer) gives a result with nothing
//   written; so does a source outside the four 32-bit colour spaces, whose buffer is not
//   width × height words (Exchange alone works on such a buffer, up to its length).
// - When the result's own buffer could not be allocated, the result is returned all the
//   same, unwritten, with InitCheck() != B_OK and the reason in orv::ErrorReason(): check
//   InitCheck() before using it.
// - In B_RGBA32 and B_RGBA32_BIG the colour filters and HandDrawing keep each pixel's
//   byte 3 (alpha), so transparency survives them; in the other spaces they write the
//   bytes described at each method.
#pragma once

#include <memory>

#include "platform/interface/Bitmap.h"
#include "platform/translation/PictureIO.h"

// The masks of Exchange: which two colour bytes swap places.
inline constexpr int32 kSwapRedGreen = 0xFFFF00;  // bytes 1 and 2
inline constexpr int32 kSwapGreenBlue = 0xFFFF;   // bytes 0 and 1
inline constexpr int32 kSwapBlueRed = 0xFF00FF;   // bytes 0 and 2

// The strengths of HandDrawing: how an edge's strength V becomes a grey level.
enum HandDrawingStrength : int32 {
    kDrawingLight = 1,  // 255 − V: thin strokes, high contrast
    kDrawingBold = 2,   // Gaussian(V, 2, 39): broad strokes, high contrast
    kDrawingSoft = 3,   // Gaussian(V, 0.8, 34): little contrast
};

class OrvImage : public BBitmap {
public:
    OrvImage(BRect bounds, color_space space, bool acceptsViews = false,
             bool needsContiguous = false);
    ~OrvImage() override;

    // Turns a decoded bitmap into an OrvImage without copying its pixels: an OrvImage is
    // handed back as it is, any other bitmap's buffer moves into a new OrvImage. nullptr in,
    // nullptr out.
    static std::unique_ptr<OrvImage> Adopt(std::unique_ptr<BBitmap> bitmap);

    // Every word exclusive-or `mask`, byte 3 included.
    std::unique_ptr<OrvImage> InvertColorsByMask(uint32 mask) const;
    // The negative: every byte b becomes 255 − b; in the alpha spaces the colour bytes only.
    std::unique_ptr<OrvImage> InvertColors() const;
    // Bytes 0–2 become the truncated mean (b0 + b1 + b2) / 3; byte 3 becomes 0 (alpha kept).
    std::unique_ptr<OrvImage> GreyScale() const;
    // Swaps two of bytes 0–2 (kSwapRedGreen, kSwapGreenBlue or kSwapBlueRed); byte 3
    // becomes 0 (alpha kept). Any other mask writes nothing. Works on the whole buffer as
    // words, whatever the colour space.
    std::unique_ptr<OrvImage> Exchange(int32 mask) const;

    // Whole words moved: left and right swapped, top and bottom swapped, half a turn.
    std::unique_ptr<OrvImage> Mirror() const;
    std::unique_ptr<OrvImage> Flip() const;
    std::unique_ptr<OrvImage> Rotate180() const;

    // The same filters on the image's own pixels, for a caller done with them as they were:
    // no second picture in memory. Each returns false, changing nothing, where its const
    // form would give an image left unwritten (ExchangeInPlace: also for any other mask).
    bool InvertColorsInPlace();
    bool GreyScaleInPlace();
    bool ExchangeInPlace(int32 mask);
    bool MirrorInPlace();
    bool FlipInPlace();
    bool Rotate180InPlace();

    // Each byte (alpha included) becomes the mean of its 3 × 3 window clipped to the image,
    // the pixel itself counting 8 times, truncated. Smooth returns nullptr, creating
    // nothing, for a colour space other than the four 32-bit ones (go on unsmoothed).
    std::unique_ptr<OrvImage> Smooth() const;
    std::unique_ptr<OrvImage> Smooth32() const;
    // The smoothed word of pixel (x, y) of `pixels`, a buffer of width × height words
    // (x < width, y < height); reads nothing of this image.
    static uint32 SmoothPixel(uint32 x, uint32 y, const uint32* pixels, uint32 width,
                              uint32 height);

    // A new image of the size typed in the two texts (read as strtol base 10; 0 or no
    // number means the side is not given), keeping the proportions when asked; and a new
    // image of exactly width × height pixels holding this one resampled to fill it.
    // Both have bounds (0, 0, width − 1, height − 1). nullptr, with the reason in
    // orv::ErrorReason(), for a size no bitmap may have.
    std::unique_ptr<OrvImage> Scale(const char* width, const char* height, bool keepRatio) const;
    std::unique_ptr<OrvImage> Scale(uint32 width, uint32 height) const;

    // A grey pencil drawing: each interior pixel's edge strength V (0–255) becomes a grey
    // level as the strength says (see HandDrawingStrength); any other type writes the
    // pixel's intensity. Byte 3 becomes 0 (alpha kept). The first and last rows and columns
    // are not written.
    std::unique_ptr<OrvImage> HandDrawing(int32 type) const;

protected:
    explicit OrvImage(BBitmap&& bitmap);
};

// The size Scale(widthText, heightText, keepRatio) gives an image of width × height, so
// that a caller can know it before the pixels exist; the failure, with its reason, for a
// size no bitmap may have.
status_t ScaledSize(uint32 width, uint32 height, const char* widthText, const char* heightText,
                    bool keepRatio, uint32* newWidth, uint32* newHeight);

// 255 × e^(−(x / d)^p), in single precision; callers truncate it.
float Gaussian(float x, float p, int d);

// The filter menu, in index order: the index is the only key between the menu, the command
// line and the conversion run.
enum FilterIndex : int32 {
    kNoFilter,
    kNegativeFilter,
    kGreyScaleFilter,
    kMirrorFilter,
    kFlipFilter,
    kSwapRedGreenFilter,
    kSwapGreenBlueFilter,
    kSwapBlueRedFilter,
    kLightDrawingFilter,
    kBoldDrawingFilter,
    kSoftDrawingFilter,
    kRotate180Filter,
    kFilterCount
};
extern const char label_filter[kFilterCount][50];

// Applies filter `index` as the conversion run does. Returns the filtered image, which the
// caller owns; `image` itself is only read, and deleting it stays the caller's affair.
// Returns nullptr, doing nothing, for kNoFilter or an index outside the menu: the caller
// goes on with `image` itself.
std::unique_ptr<OrvImage> ApplyFilter(const OrvImage& image, int32 index);
// Applies filter `index` to `image` itself where the filter allows it (every filter but the
// hand drawings) and returns true; false, changing nothing, where it does not: then
// ApplyFilter makes the result.
bool ApplyFilterInPlace(OrvImage& image, int32 index);
// Filter `index` as work on each pixel by itself (negative, grey, channel swaps), for a
// decoder to do on its rows as they come, with the same result as ApplyFilterInPlace; empty
// for the filters that move pixels or look at their neighbours.
orv::PixelWork PixelFilter(int32 index);
