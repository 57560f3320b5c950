// SPDX-License-Identifier: MIT
// What a PNG file says beside its pixels, in its own chunks: the colour description (iCCP,
// sRGB, gAMA, cHRM, cICP), EXIF (eXIf), XMP (iTXt "XML:com.adobe.xmp"), the resolution
// (pHYs), and the EXIF, XMP and IPTC blocks that ImageMagick keeps as hexadecimal "Raw
// profile type ..." text chunks. Read into a PictureMetadata, and written back from one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/support/DataIO.h"
#include "platform/translation/Picture.h"

namespace orv::png {

// Gathers the metadata chunks of one file in the order they come; the precedence the
// format sets between the colour chunks is applied at the end.
class MetadataCollector {
public:
    // The chunk types whose data is read whole (each bounded by kMaxMetadataBytes).
    static bool Wants(const uint8* type);
    // The text chunks (tEXt, zTXt, iTXt) that are read, by their keyword.
    static bool WantsText(const uint8* type, std::string_view keyword);

    // One chunk's data; what cannot be read is left out and said in Damage().
    void Add(const uint8* type, const std::vector<uint8>& data);
    void AddDamage(std::string reason);

    PictureMetadata Finish();
    const std::string& Damage() const { return fDamage; }

private:
    void AddText(const uint8* type, const std::vector<uint8>& data);
    void AddRawProfile(std::string_view keyword, const std::vector<uint8>& text);

    PictureMetadata fMetadata;
    bool fHasIcc = false;
    bool fHasSrgb = false;
    std::vector<uint8> fProfileExif;  // from a raw profile: an eXIf chunk comes first
    std::vector<uint8> fProfileXmp;
    std::string fDamage;
};

// The colour chunks for `color`: cICP, then iCCP (compressed) or sRGB, then gAMA and cHRM
// when neither says more. `grey` says the image is written as grey, where a profile must be
// a grey one: a profile that does not fit the colour type is left out.
status_t WriteColorChunks(BPositionIO& destination, const ColorDescription& color, bool grey);

// Whether an ICC profile describes grey values ('GRAY' colour space in its header).
bool IsGreyProfile(const std::vector<uint8>& icc);

// pHYs, eXIf, the XMP packet as iTXt and the IPTC datasets as ImageMagick's hexadecimal
// raw profile, which exiftool and ImageMagick read.
status_t WriteMetadataChunks(BPositionIO& destination, const PictureMetadata& metadata);

}  // namespace orv::png
