// SPDX-License-Identifier: MIT
// A TIFF file written page after page: each frame one directory, all with the same
// compression, each in the smallest layout that holds it exactly. The profile and the
// resolution go on every page; XMP, IPTC and EXIF (its descriptive tags, EXIF and GPS
// directories) on the first.
#pragma once

#include <memory>

#include "platform/translation/PictureIO.h"
#include "translators/tiff/TIFFExif.h"
#include "translators/tiff/TIFFStream.h"

namespace orv {

class TIFFPageWriter final : public PictureWriter {
public:
    TIFFPageWriter(BPositionIO& destination, uint16 compression);
    ~TIFFPageWriter() override;

    status_t Begin(const PictureInfo& info) override;
    status_t WriteFrame(const BBitmap& frame, const FrameTiming& timing) override;
    status_t Finish() override;

private:
    status_t WriteFailed();

    TIFFStream fStream;
    TIFFPtr fTiff;
    uint16 fCompression;
    PictureInfo fInfo;
    std::unique_ptr<TIFFExifWriter> fExif;
    uint32 fWritten = 0;
};

}  // namespace orv
