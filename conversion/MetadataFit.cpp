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

// Where a block of one kind states the picture's orientation and size.
struct SizeKeys {
    const char* orientation;
    const char* pixelWidth;
    const char* pixelHeight;
    const char* imageWidth;
    const char* imageLength;
};

constexpr SizeKeys kExifSizeKeys = {"Exif.Image.Orientation", "Exif.Photo.PixelXDimension",
                                    "Exif.Photo.PixelYDimension", "Exif.Image.ImageWidth",
                                    "Exif.Image.ImageLength"};
constexpr SizeKeys kXmpSizeKeys = {"Xmp.tiff.Orientation", "Xmp.exif.PixelXDimension",
                                   "Xmp.exif.PixelYDimension", "Xmp.tiff.ImageWidth",
                                   "Xmp.tiff.ImageLength"};

// Makes what the block says of the orientation and size true of the picture written: upright
// once the orientation was applied, and of the size it now has. True when anything changed.
template <typename Key, typename Data>
bool RestateSize(Data& data, const SizeKeys& keys, const PictureChanges& changes) {
    bool changed = false;
    if (changes.orientationApplied) {
        changed |= Restate<Key>(data, keys.orientation, 1);
    }
    changed |= Restate<Key>(data, keys.pixelWidth, changes.width);
    changed |= Restate<Key>(data, keys.pixelHeight, changes.height);
    changed |= Restate<Key>(data, keys.imageWidth, changes.width);
    changed |= Restate<Key>(data, keys.imageLength, changes.height);
    return changed;
}

bool FitExif(std::vector<uint8>* block, const PictureChanges& changes) {
    Exiv2::ExifData exif;
    const Exiv2::ByteOrder order =
        Exiv2::ExifParser::decode(exif, block->data(), uint32_t(block->size()));
    bool changed = RestateSize<Exiv2::ExifKey>(exif, kExifSizeKeys, changes);
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
    if (!RestateSize<Exiv2::XmpKey>(xmp, kXmpSizeKeys, changes)) {
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
