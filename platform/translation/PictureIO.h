// SPDX-License-Identifier: MIT
// Reading a picture frame after frame, and writing one the same way.
//
// A reader knows the file's canvas, frame count and metadata as soon as it is open, before
// any pixel is decoded, so that its caller can check the whole sequence against the pixel
// limit and choose the output size first. Frames then come one at a time, each a whole
// picture of the canvas (an animation's partial frames are already composited), so only one
// frame needs to be in memory. A writer takes the description once, then the frames.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/interface/Bitmap.h"
#include "platform/translation/Picture.h"

namespace orv {

// Work on each pixel by itself, which gives the same picture whether it is done to a whole
// frame or a row at a time: `count` pixels of one B_RGB32 or B_RGBA32 row, changed in place.
using PixelWork = std::function<void(uint8* row, uint32 count, color_space space)>;

class PictureReader {
public:
    PictureReader() = default;
    PictureReader(const PictureReader&) = delete;
    PictureReader& operator=(const PictureReader&) = delete;
    virtual ~PictureReader();

    const PictureInfo& Info() const { return fInfo; }

    // Frames no smaller than minWidth × minHeight (in the canvas's orientation) are enough:
    // a codec that can decode at a reduced size for less work (JPEG's DCT scaling) may then
    // give smaller frames, never smaller than asked. Called before the first frame.
    virtual void SetSizeHint(uint32 minWidth, uint32 minHeight);

    // Asks for `work` to be done to each row of the frames as the decoder fills it, while the
    // row is still in the cache; a pass over the whole frame afterwards finds it cold. True
    // when the reader takes it on: every row of every frame once, after whatever else the
    // decoder writes there (the rows a damaged file lacks included). False, by default, when
    // the caller must do it. Called before the first frame.
    virtual bool SetPixelWork(PixelWork work);

    // The next frame, at most Info().frameCount times: a new B_RGB32 or B_RGBA32 bitmap and
    // how long it shows. An error carries its reason.
    virtual status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) = 0;

    // Empty while the file reads whole; otherwise why it does not (the first damage met).
    const std::string& Damage() const { return fDamage; }

protected:
    void ReportDamage(std::string reason);

    PictureInfo fInfo;

private:
    std::string fDamage;
};

// A new `Reader`, made with `args`, into *reader once its Open() has read the file's
// header; nothing is handed out when it fails.
template <class Reader, class... Args>
status_t OpenPictureReader(std::unique_ptr<PictureReader>* reader, Args&&... args) {
    reader->reset();
    auto opened = std::make_unique<Reader>(std::forward<Args>(args)...);
    if (status_t status = opened->Open(); status != B_OK) {
        return status;
    }
    *reader = std::move(opened);
    return B_OK;
}

// A picture decoded at once, handed out as its one frame; what it describes beside the
// pixels is taken as given, its size and alpha from the bitmap.
class SingleImageReader final : public PictureReader {
public:
    explicit SingleImageReader(DecodedImage decoded);
    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override;

private:
    std::unique_ptr<BBitmap> fBitmap;
};

class PictureWriter {
public:
    PictureWriter() = default;
    PictureWriter(const PictureWriter&) = delete;
    PictureWriter& operator=(const PictureWriter&) = delete;
    virtual ~PictureWriter();

    // Once, before the first frame: the output's canvas, how many frames will follow (1
    // unless the writer takes sequences), the loop count, the metadata to write.
    virtual status_t Begin(const PictureInfo& info) = 0;
    // Each frame in turn, all of the canvas's size.
    virtual status_t WriteFrame(const BBitmap& frame, const FrameTiming& timing) = 0;
    // After the last frame: everything is in the destination when it returns B_OK.
    virtual status_t Finish() = 0;
};

// What a writer's format can hold beside one picture's pixels.
struct WriterTraits {
    bool sequences = false;  // several frames (an animation or pages)
    bool profiles = false;   // an ICC profile
    bool metadata = false;   // EXIF, XMP or IPTC
};

}  // namespace orv
