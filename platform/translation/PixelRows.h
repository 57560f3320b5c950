// SPDX-License-Identifier: MIT
// Row conversions every codec needs between its library's layouts and our bitmaps, written
// once: B_RGB32/B_RGBA32 rows are blue, green, red, alpha bytes.
#pragma once

#include <memory>

#include "platform/interface/Bitmap.h"
#include "platform/support/SupportDefs.h"

namespace orv {

// A new zero-filled B_RGBA32 (alpha) or B_RGB32 (no alpha) bitmap of width × height, after
// CheckImageSize; on failure *image is empty and the reason is set. Not `cleared`, its bytes
// hold whatever their memory held: only for a decoder that writes every one.
status_t NewImage(uint32 width, uint32 height, bool alpha, std::unique_ptr<BBitmap>* image,
                  bool cleared = true);

// Library rows into bitmap rows (`count` pixels). For B_RGB32 targets alpha bytes are 255.
void RGBToRow(const uint8* rgb, uint8* bgra, uint32 count);
void RGBAToRow(const uint8* rgba, uint8* bgra, uint32 count);
void GrayToRow(const uint8* gray, uint8* bgra, uint32 count);
void GrayAlphaToRow(const uint8* grayAlpha, uint8* bgra, uint32 count);

// Library rows of `channels` samples a pixel (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA) into
// a bitmap row, and a whole picture of them, rows `stride` bytes apart, into the bitmap.
void SamplesToRow(const uint8* samples, uint32 channels, uint8* bgra, uint32 count);
void RowsToBitmap(const uint8* samples, size_t stride, uint32 channels, BBitmap* image);

// Bitmap rows into library rows. `flattenOnWhite` composites the alpha over white first;
// without it the colour bytes are copied as they are.
void RowToRGB(const uint8* bgra, uint8* rgb, uint32 count, bool flattenOnWhite);
void RowToRGBA(const uint8* bgra, uint8* rgba, uint32 count);

// Row `y` of the bitmap as RGBA (`alpha`) or RGB samples, the alpha byte then left out
// (not flattened).
void BitmapRowToSamples(const BBitmap& image, uint32 y, bool alpha, uint8* out);

// The whole bitmap so, rows `stride` bytes apart from `out` on: what libraries that take a
// picture in one piece want.
void BitmapToRows(const BBitmap& image, bool alpha, uint8* out, size_t stride);

// True when the bitmap is B_RGBA32 and some pixel's alpha is below 255.
bool HasTransparency(const BBitmap& image);

// True when every pixel of the bitmap row (`count` pixels), or of the whole bitmap, has
// red = green = blue: a picture that a writer can store as one grey channel.
bool RowIsGrey(const uint8* bgra, uint32 count);
bool IsGrey(const BBitmap& image);

// Turns the bitmap upright for an EXIF orientation 1 to 8 (1 leaves it as it is); the
// bitmap may be replaced by a new one with width and height swapped.
status_t ApplyOrientation(int orientation, std::unique_ptr<BBitmap>* image);

// Puts the rows of a width × height B_RGB32 or B_RGBA32 picture, as a decoder gives them,
// into a bitmap already turned upright for an EXIF orientation 1 to 8 (any other value
// counts as 1): a decoder that turns as it goes needs no second bitmap.
class OrientedRows {
public:
    // `target` has the turned size: height × width for orientations 5 to 8.
    OrientedRows(BBitmap& target, int orientation, uint32 width, uint32 height);

    // Puts rows y to y + count - 1 of the picture, each `width` pixels at rows[i].
    void Put(uint32 y, const uint8* const* rows, uint32 count);

private:
    uint32* fTarget;
    uint32 fWidth;
    // Where pixel (x, y) goes in the target: fStart + x·fStepX + y·fStepY, in pixels.
    int64 fStart = 0;
    int64 fStepX = 1;
    int64 fStepY = 0;
};

// The EXIF orientation (1 to 8) found in a TIFF-structured EXIF block, or 1 when absent or
// unreadable. Accepts the block with or without its leading "Exif\0\0".
int ExifOrientation(const uint8* exif, size_t size);

// The resolution an EXIF block states (XResolution, YResolution in their ResolutionUnit), in
// pixels per inch; false when it states none or an unusable one.
bool ExifResolution(const uint8* exif, size_t size, double* xDpi, double* yDpi);

}  // namespace orv
