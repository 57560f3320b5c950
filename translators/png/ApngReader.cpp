// SPDX-License-Identifier: MIT
#include "translators/png/ApngReader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/support/ErrorReason.h"
#include "platform/translation/PixelRows.h"
#include "translators/png/PngDataStream.h"
#include "translators/png/PngInflate.h"
#include "translators/png/PngPixels.h"

namespace orv::png {

namespace {

uint8* CanvasPixel(BBitmap& canvas, uint32 x, uint32 y) {
    return static_cast<uint8*>(canvas.Bits()) + size_t(y) * size_t(canvas.BytesPerRow()) +
           size_t(x) * 4;
}

// A frame pixel over a canvas pixel, both unpremultiplied, as the format describes it.
void BlendOver(const uint8* source, uint8* target) {
    const uint32 alpha = source[3];
    if (alpha == 255 || target[3] == 0) {
        if (alpha != 0) {
            std::memcpy(target, source, 4);
        }
        return;
    }
    if (alpha == 0) {
        return;
    }
    const uint32 u = alpha * 255;
    const uint32 v = (255 - alpha) * target[3];
    const uint32 sum = u + v;
    for (int c = 0; c < 3; c++) {
        target[c] = uint8((source[c] * u + target[c] * v) / sum);
    }
    target[3] = uint8(sum / 255);
}

}  // namespace

ApngReader::ApngReader(BPositionIO& source, PngLayout layout, int orientation)
    : fSource(source), fLayout(std::move(layout)), fOrientation(orientation) {
    const bool turned = fOrientation >= 5 && fOrientation <= 8;
    fInfo.width = turned ? fLayout.height : fLayout.width;
    fInfo.height = turned ? fLayout.width : fLayout.height;
    fInfo.frameCount = uint32(fLayout.frames.size());
    fInfo.loopCount = int32(std::min<uint32>(fLayout.plays, INT32_MAX));
    fInfo.orientationApplied = fOrientation >= 2 && fOrientation <= 8;
    // Transparency shows where a frame leaves part of the canvas empty or clears it.
    const ApngFrame& first = fLayout.frames.front();
    fInfo.alpha = fLayout.alpha || first.width != fLayout.width || first.height != fLayout.height ||
                  std::any_of(fLayout.frames.begin(), fLayout.frames.end(),
                              [](const ApngFrame& f) { return f.dispose == Dispose::kBackground; });
    fInfo.metadata = std::move(fLayout.metadata);
    if (!fLayout.damage.empty()) {
        ReportDamage(fLayout.damage);
    }
}

status_t ApngReader::Init() {
    return NewImage(fLayout.width, fLayout.height, true, &fCanvas);
}

status_t ApngReader::Decode(const ApngFrame& frame) {
    try {
        fFrame.assign(size_t(frame.width) * frame.height * 4, 0);
    } catch (const std::bad_alloc&) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire l'animation PNG");
    }
    DataStream stream(fSource, fLayout, frame.width, frame.height, frame.data);
    const PixelTarget target{fFrame.data(), size_t(frame.width) * 4, frame.width, frame.height,
                             true};
    PixelOutcome outcome;
    const std::string which =
        "image " + std::to_string(fNext + 1) + " sur " + std::to_string(fLayout.frames.size());
    // The file may also end between two of the last frame's chunks.
    const bool truncated =
        stream.Truncated() || (!fLayout.ended && fNext + 1 == fLayout.frames.size());
    const status_t status = InflateWhole(fSource, fLayout, frame.data, target, &outcome)
                                ? B_OK
                                : DecodePixels(stream, target, truncated, &outcome);
    if (status != B_OK) {
        if (fNext == 0) {
            return status;
        }
        ReportDamage("animation PNG endommagée : " + which + " illisible (" + ErrorReason() + ")");
        return B_OK;
    }
    if (!outcome.damage.empty()) {
        ReportDamage(
            truncated ? "fichier PNG tronqué : " + which + ", " +
                            MissingShare(uint64(frame.width) * frame.height - outcome.decodedPixels,
                                         uint64(frame.width) * frame.height) +
                            " de l'image manque"
                      : "animation PNG endommagée : " + which + ", " + outcome.damage);
    }
    // A frame cut short changes only the rows it has; an interlaced one, all its rows.
    Composite(frame,
              outcome.interlaced || outcome.damage.empty() ? frame.height : outcome.rowsDone);
    return B_OK;
}

void ApngReader::Composite(const ApngFrame& frame, uint32 rows) {
    for (uint32 y = 0; y < rows; y++) {
        const uint8* source = &fFrame[size_t(y) * frame.width * 4];
        uint8* target = CanvasPixel(*fCanvas, frame.x, frame.y + y);
        if (frame.blend == Blend::kSource) {
            std::memcpy(target, source, size_t(frame.width) * 4);
            continue;
        }
        for (uint32 x = 0; x < frame.width; x++) {
            BlendOver(source + size_t(x) * 4, target + size_t(x) * 4);
        }
    }
}

void ApngReader::Dispose(const ApngFrame& frame) {
    const size_t rowBytes = size_t(frame.width) * 4;
    // The first frame has nothing before it to go back to: its region is cleared.
    const bool previous = frame.dispose == Dispose::kPrevious && !fSaved.empty();
    if (frame.dispose == Dispose::kNone) {
        return;
    }
    for (uint32 y = 0; y < frame.height; y++) {
        uint8* row = CanvasPixel(*fCanvas, frame.x, frame.y + y);
        if (previous) {
            std::memcpy(row, &fSaved[y * rowBytes], rowBytes);
        } else {
            std::memset(row, 0, rowBytes);
        }
    }
}

status_t ApngReader::ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) {
    if (fNext >= fLayout.frames.size()) {
        return Fail(B_ERROR, "plus d'image dans ce fichier");
    }
    if (fCanvas == nullptr) {
        if (status_t status = Init(); status != B_OK) {
            return status;
        }
    }
    if (fNext > 0) {
        Dispose(fLayout.frames[fNext - 1]);
    }
    const ApngFrame& current = fLayout.frames[fNext];
    fSaved.clear();
    if (current.dispose == Dispose::kPrevious && fNext > 0) {
        const size_t rowBytes = size_t(current.width) * 4;
        try {
            fSaved.resize(rowBytes * current.height);
        } catch (const std::bad_alloc&) {
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire l'animation PNG");
        }
        for (uint32 y = 0; y < current.height; y++) {
            std::memcpy(&fSaved[y * rowBytes], CanvasPixel(*fCanvas, current.x, current.y + y),
                        rowBytes);
        }
    }
    if (status_t status = Decode(current); status != B_OK) {
        return status;
    }
    fNext++;
    if (fNext == fLayout.frames.size() && !fLayout.ended) {
        ReportDamage("fichier PNG tronqué après l'image");  // when nothing worse was met
    }

    // Every row of the copy is written from the canvas: nothing to clear first.
    std::unique_ptr<BBitmap> copy;
    if (status_t status = NewImage(fLayout.width, fLayout.height, fInfo.alpha, &copy, false);
        status != B_OK) {
        return status;
    }
    for (uint32 y = 0; y < fLayout.height; y++) {
        std::memcpy(CanvasPixel(*copy, 0, y), CanvasPixel(*fCanvas, 0, y),
                    size_t(fLayout.width) * 4);
    }
    if (status_t status = ApplyOrientation(fOrientation, &copy); status != B_OK) {
        return status;
    }
    *frame = std::move(copy);
    timing->delayMs = current.delayMs;
    return B_OK;
}

}  // namespace orv::png
