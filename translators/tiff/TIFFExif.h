// SPDX-License-Identifier: MIT
// EXIF in a TIFF file is not a block but the file's own structure: descriptive tags in the
// first directory (Make, Model, DateTime, Artist ...) and the EXIF and GPS sub-directories
// it points to. Exiv2 reads that structure into the TIFF-structured EXIF block the rest of
// the program passes on; writing goes the other way (see TIFFExifWriter).
#pragma once

#include <tiffio.h>

#include <memory>
#include <vector>

#include "platform/support/DataIO.h"

namespace orv {

// The EXIF of the file whose first directory is current in `tiff`, or none when the file
// states nothing of the kind. A block Exiv2 cannot read is left out (the pictures are
// still there); one over kMaxMetadataBytes is refused.
status_t ReadTIFFExif(TIFF* tiff, BPositionIO& source, std::vector<uint8>* exif);

// An EXIF block laid out for a TIFF file being written. Exiv2 encodes the block's EXIF and
// GPS directories, values, maker notes and all, with offsets counted from the start of its
// own TIFF header; written at the very start of the new file, before libtiff writes a
// byte, those offsets hold as they are. libtiff then writes its own header over the
// block's, appends the pages, and the first page points to the block's directories. The
// block's own first directory is left unreferenced; its descriptive tags are set on the
// first page by libtiff.
class TIFFExifWriter {
public:
    explicit TIFFExifWriter(const std::vector<uint8>& block);
    ~TIFFExifWriter();

    // Writes the encoded block at the start of `destination`, which must be empty: before
    // libtiff opens it, in little-endian order (libtiff's "wl"). Nothing when the block
    // has no EXIF or GPS directory.
    status_t WriteDirectories(BPositionIO& destination);
    // On the first page's directory: the descriptive tags and the pointers to the
    // directories. The resolution tags only when `withResolution`.
    void WriteMainTags(TIFF* tiff, bool withResolution) const;
    // The orientation the block states (1 to 8), or 0 when it states none.
    int Orientation() const { return fOrientation; }

private:
    struct Data;
    std::unique_ptr<Data> fData;
    int fOrientation = 0;
    uint64 fExifOffset = 0;
    uint64 fGpsOffset = 0;
};

}  // namespace orv
