// SPDX-License-Identifier: MIT
// A TIFF file read page after page. Every page (directory) of the first page's size is a
// frame; reduced-resolution copies and transparency masks are not pages and are passed
// over. A page of another size, or one that cannot be decoded, is left out and reported
// as damage, so that the source, which still holds it, is kept.
#pragma once

#include <memory>
#include <vector>

#include "platform/translation/PictureIO.h"
#include "translators/tiff/TIFFStream.h"

namespace orv {

class TIFFPageReader final : public PictureReader {
public:
    // Opens `source` (which must outlive the reader) on its first page and looks through
    // the others. `applyOrientation` turns every page upright by its own orientation tag.
    static status_t Open(BPositionIO& source, bool applyOrientation,
                         std::unique_ptr<TIFFPageReader>* reader);

    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override;

private:
    TIFFPageReader(BPositionIO& source, bool applyOrientation);
    status_t Scan();
    void FindOtherPages(uint32 firstWidth, uint32 firstHeight);
    bool UprightSize(uint16 orientation, uint32 width, uint32 height, uint32* uprightWidth,
                     uint32* uprightHeight) const;
    void NoteDirectoryRepairs(tdir_t directory);

    BPositionIO& fSource;
    TIFFStream fStream;
    TIFFPtr fTiff;
    bool fApplyOrientation;
    std::vector<tdir_t> fPages;  // the directories that are frames, in file order
    size_t fNext = 0;
};

}  // namespace orv
