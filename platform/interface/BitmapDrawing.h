// SPDX-License-Identifier: MIT
// Drawing one bitmap resampled into a rectangle of another: the work behind
// BView::DrawBitmap.
//
// The resampling is our own Lanczos filter (platform/interface/Resampler.h, with the
// measurements behind it): a downscale averages every source pixel it covers without the
// moiré of a plain area average, an upscale interpolates, pictures with alpha are
// resampled premultiplied.
#pragma once

#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

class BBitmap;

namespace orv {

// Draws all of `source` stretched or shrunk, along each axis on its own, to fill
// `destination`, a rectangle with inclusive edges in `target`'s coordinates (those of its
// bounds). Writes only the pixels inside `destination`, `clip` and the target.
//
// Both bitmaps are in one of the four 32-bit spaces. A source without alpha (B_RGB32,
// B_RGB32_BIG) counts as opaque whatever its fourth bytes hold; a target without alpha
// receives 255 in the fourth byte of every pixel drawn, so that byte always reads opaque.
// A source with alpha drawn into a target without it gives its colours, unblended.
//
// B_OK when drawn (nothing to draw is fine); otherwise an error with the reason set: a
// colour space other than the 32-bit ones, a destination no bitmap could have, or no
// memory for the resampling.
status_t DrawBitmapScaled(const BBitmap& source, BBitmap& target, BRect destination, BRect clip);

}  // namespace orv
