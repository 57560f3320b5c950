// SPDX-License-Identifier: MIT
// One JPEG being read: the header and what the file says beside the pixels when it opens,
// then the picture, at a reduced size when its caller needs no more (libjpeg scales in the
// DCT, for a fraction of the work), turned upright as its rows come (no second bitmap to
// turn it into), with what could be read of a damaged file.
#pragma once

#include <vector>

#include "platform/translation/ColorManagement.h"
#include "platform/translation/PictureIO.h"
#include "translators/jpeg/JpegIO.h"

namespace orv {

class JpegRowSink;

class JpegReader final : public PictureReader {
public:
    // `source` must outlive the reader. `applyOrientation`: turn the picture upright by its
    // EXIF orientation.
    JpegReader(BPositionIO& source, bool applyOrientation);
    ~JpegReader() override;

    // Reads the header; fails with the reason when the file cannot be shown.
    status_t Open();

    void SetSizeHint(uint32 minWidth, uint32 minHeight) override;
    bool SetPixelWork(PixelWork work) override;
    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override;

private:
    status_t Failure() const;
    status_t AssessDamage(bool decoded, bool started, bool detailComplete, JpegRowSink* sink);
    // The EXIF orientation the picture is turned by as it is decoded: 1 when none.
    int Orientation() const;

    BPositionIO& fSource;
    const bool fApplyOrientation;
    jpeg::JpegContext fContext;
    jpeg_decompress_struct fDecompressor;
    jpeg_progress_mgr fProgress;
    int fOrientation = 1;
    unsigned fScale = 1;  // the picture comes at 1/fScale of each side
    // Grey or CMYK samples that a profile of theirs turns into sRGB.
    std::unique_ptr<DeviceRowConverter> fConverter;
    bool fRead = false;
    PixelWork fPixelWork;  // done to each row as it comes, when set
};

}  // namespace orv
