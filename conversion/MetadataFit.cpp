// SPDX-License-Identifier: MIT
#include "conversion/MetadataFit.h"

#include <exiv2/exiv2.hpp>

#include <string>

#include "platform/translation/Exiv2Setup.h"

namespace orv {

namespace {

// Sets `key` to `value` where the block states it with another value; true when it did.
template <typename Key, typename Data>
bool Restate(Data& data, const char* key, uint32 value) {
    auto found = data.findKey(Key(key));
    if (found == data.end() || (found->count() > 0 && uint32(found->toLong()) == value)) {
        return false;
    }
    if constexpr (std::is_same_v<Data, Exiv2::XmpData>) {
        *found = std::to_string(value);
    } else if (found->typeId() == Exiv2::unsignedShort && value <= 0xffff) {
        found->setValue(std::to_string(value));
    } else {
        Exiv2::ULongValue longValue;
        longValue.value_.push_back(value);
        found->setValue(&longValue);
    }
    return true;
}

bool FitExif(std::vector<uint8>* block, const PictureChanges& changes) {
    Exiv2::ExifData exif;
    const Exiv2::ByteOrder order =
        Exiv2::ExifParser::decode(exif, block->data(), uint32_t(block->size()));
    bool changed = false;
    if (changes.orientationApplied) {
        changed |= Restate<Exiv2::ExifKey>(exif, "Exif.Image.Orientation", 1);
    }
    changed |= Restate<Exiv2::ExifKey>(exif, "Exif.Photo.PixelXDimension", changes.width);
    changed |= Restate<Exiv2::ExifKey>(exif, "Exif.Photo.PixelYDimension", changes.height);
    changed |= Restate<Exiv2::ExifKey>(exif, "Exif.Image.ImageWidth", changes.width);
    changed |= Restate<Exiv2::ExifKey>(exif, "Exif.Image.ImageLength", changes.height);
    if (changes.pixelsChanged) {
        Exiv2::ExifThumb thumbnail(exif);
        if (thumbnail.copy().size_ != 0) {
            thumbnail.erase();
            changed = true;
        }
    }
    if (!changed) {
        return true;
    }
    // The non-intrusive writer edits a copy of the block in place when it can, keeping
    // maker notes and the layout as they were.
    std::vector<uint8> copy = *block;
    Exiv2::Blob blob;
    const Exiv2::WriteMethod method =
        Exiv2::ExifParser::encode(blob, copy.data(), uint32_t(copy.size()), order, exif);
    if (method == Exiv2::wmNonIntrusive) {
        *block = std::move(copy);
    } else {
        block->assign(blob.begin(), blob.end());
    }
    return !block->empty();
}

bool FitXmp(std::vector<uint8>* block, const PictureChanges& changes) {
    Exiv2::XmpData xmp;
    const std::string packet(block->begin(), block->end());
    if (Exiv2::XmpParser::decode(xmp, packet) != 0) {
        return false;
    }
    bool changed = false;
    if (changes.orientationApplied) {
        changed |= Restate<Exiv2::XmpKey>(xmp, "Xmp.tiff.Orientation", 1);
    }
    changed |= Restate<Exiv2::XmpKey>(xmp, "Xmp.exif.PixelXDimension", changes.width);
    changed |= Restate<Exiv2::XmpKey>(xmp, "Xmp.exif.PixelYDimension", changes.height);
    changed |= Restate<Exiv2::XmpKey>(xmp, "Xmp.tiff.ImageWidth", changes.width);
    changed |= Restate<Exiv2::XmpKey>(xmp, "Xmp.tiff.ImageLength", changes.height);
    if (!changed) {
        return true;
    }
    std::string encoded;
    if (Exiv2::XmpParser::encode(encoded, xmp, Exiv2::XmpParser::useCompactFormat) != 0) {
        return false;
    }
    block->assign(encoded.begin(), encoded.end());
    return true;
}

}  // namespace

void FitMetadata(PictureMetadata* metadata, const PictureChanges& changes) {
    if (metadata->exif.empty() && metadata->xmp.empty()) {
        return;
    }
    InitialiseExiv2();
    // A block too damaged to be made true is dropped rather than passed on: an orientation
    // left standing would turn the upright picture once more in every viewer.
    try {
        if (!metadata->exif.empty() && !FitExif(&metadata->exif, changes)) {
            metadata->exif.clear();
        }
    } catch (const Exiv2::AnyError&) {
        metadata->exif.clear();
    }
    try {
        if (!metadata->xmp.empty() && !FitXmp(&metadata->xmp, changes)) {
            metadata->xmp.clear();
        }
    } catch (const Exiv2::AnyError&) {
        metadata->xmp.clear();
    }
}

void StripPersonalMetadata(PictureMetadata* metadata) {
    metadata->exif.clear();
    metadata->xmp.clear();
    metadata->iptc.clear();
}

}  // namespace orv
