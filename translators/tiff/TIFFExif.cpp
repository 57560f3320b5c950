// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFExif.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "platform/support/ImageLimits.h"
#include "platform/translation/Exiv2Setup.h"
#include "platform/translation/Picture.h"

namespace orv {
namespace {

// Exiv2 reads a TIFF's EXIF from the whole file in memory; past this size the file is
// not read twice for it, and its EXIF is left out.
constexpr off_t kLargestFileForExif = off_t(1) << 30;

// The tags of a first directory that describe the pixels or carry blocks of their own
// (profile, XMP, IPTC): they are the file's structure, not its EXIF. Sorted.
constexpr std::array<uint16, 67> kStructureTags = {
    0x00fe, 0x00ff, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010a, 0x0111,
    0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011c, 0x011e, 0x011f, 0x0120, 0x0121, 0x0122, 0x0123,
    0x0124, 0x0125, 0x0129, 0x012d, 0x013d, 0x013e, 0x013f, 0x0140, 0x0141, 0x0142, 0x0143, 0x0144,
    0x0145, 0x014a, 0x014c, 0x014d, 0x014e, 0x0150, 0x0152, 0x0153, 0x0154, 0x0155, 0x0156, 0x015b,
    0x0200, 0x0201, 0x0202, 0x0203, 0x0205, 0x0206, 0x0207, 0x0208, 0x0209, 0x0211, 0x0212, 0x0213,
    0x0214, 0x02bc, 0x83bb, 0x8649, 0x8769, 0x8773, 0x8825,
};
static_assert(std::is_sorted(kStructureTags.begin(), kStructureTags.end()));

constexpr uint16 kOrientationTag = 0x0112;
constexpr uint16 kResolutionTags[] = {0x011a, 0x011b, 0x0128};

bool IsStructureTag(uint16 tag) {
    return std::binary_search(kStructureTags.begin(), kStructureTags.end(), tag);
}

bool IsResolutionTag(uint16 tag) {
    return std::find(std::begin(kResolutionTags), std::end(kResolutionTags), tag) !=
           std::end(kResolutionTags);
}

// Exiv2's groups for the directories after the first (the next pages, reduced images and
// sub-images): they belong to other pictures.
bool IsOtherPicture(const std::string& group) {
    if (group == "Image") {
        return false;
    }
    return group == "Thumbnail" || group.rfind("Image", 0) == 0 ||
           group.rfind("SubImage", 0) == 0 || group.rfind("SubThumb", 0) == 0;
}

bool StatesExif(TIFF* tiff) {
    uint64 offset = 0;
    char* text = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_EXIFIFD, &offset) ||
        TIFFGetField(tiff, TIFFTAG_GPSIFD, &offset)) {
        return true;
    }
    for (uint32 tag : {TIFFTAG_MAKE, TIFFTAG_MODEL, TIFFTAG_DATETIME, TIFFTAG_ARTIST,
                       TIFFTAG_COPYRIGHT, TIFFTAG_IMAGEDESCRIPTION}) {
        if (TIFFGetField(tiff, tag, &text)) {
            return true;
        }
    }
    return false;
}

// The value at `index` as a number, whatever its stored type.
double NumberAt(const Exiv2::Exifdatum& datum, long index) {
    const Exiv2::TypeId type = datum.typeId();
    if (type == Exiv2::unsignedRational || type == Exiv2::signedRational) {
        const Exiv2::Rational r = datum.toRational(index);
        return r.second == 0 ? 0.0 : double(r.first) / double(r.second);
    }
    if (type == Exiv2::tiffFloat || type == Exiv2::tiffDouble) {
        return double(datum.toFloat(index));
    }
    return double(datum.toLong(index));
}

// One value stored as libtiff keeps values of `type` (`size` bytes each).
void Store(TIFFDataType type, int size, double value, uint8* out) {
    switch (type) {
        case TIFF_RATIONAL:
        case TIFF_SRATIONAL:
        case TIFF_FLOAT:
        case TIFF_DOUBLE:
            if (size == 4) {
                const float f = float(value);
                std::memcpy(out, &f, 4);
            } else {
                std::memcpy(out, &value, 8);
            }
            return;
        default:
            break;
    }
    const auto whole = int64(value);
    if (size == 1) {
        out[0] = uint8(whole);
    } else if (size == 2) {
        const auto v = uint16(whole);
        std::memcpy(out, &v, 2);
    } else if (size == 4) {
        const auto v = uint32(whole);
        std::memcpy(out, &v, 4);
    } else {
        std::memcpy(out, &whole, 8);
    }
}

// libtiff keeps field definitions by pointer: one lasting name serves every tag it did not
// know and is told of here.
constexpr char kForeignTagName[] = "ExifTag";

const TIFFField* FieldFor(TIFF* tiff, const Exiv2::Exifdatum& datum) {
    if (const TIFFField* field = TIFFFindField(tiff, datum.tag(), TIFF_ANY); field != nullptr) {
        return field;
    }
    const auto type = int(datum.typeId());
    TIFFDataType tiffType = TIFF_NOTYPE;
    if (type >= TIFF_BYTE && type <= TIFF_DOUBLE) {
        tiffType = TIFFDataType(type);
    } else if (datum.typeId() == Exiv2::comment) {
        tiffType = TIFF_UNDEFINED;
    } else {
        return nullptr;
    }
    TIFFFieldInfo info = {datum.tag(),
                          TIFF_VARIABLE2,
                          TIFF_VARIABLE2,
                          tiffType,
                          FIELD_CUSTOM,
                          1,
                          1,
                          const_cast<char*>(kForeignTagName)};
    if (TIFFMergeFieldInfo(tiff, &info, 1) != 0) {
        return nullptr;
    }
    return TIFFFindField(tiff, datum.tag(), TIFF_ANY);
}

// Sets the datum's tag in libtiff's current directory, its values converted to what libtiff
// expects for that tag. A value libtiff will not take is left out.
void SetTag(TIFF* tiff, const Exiv2::Exifdatum& datum) {
    const TIFFField* field = FieldFor(tiff, datum);
    if (field == nullptr) {
        return;
    }
    const uint32 tag = datum.tag();
    const TIFFDataType type = TIFFFieldDataType(field);
    const bool passCount = TIFFFieldPassCount(field) != 0;
    const bool wideCount = TIFFFieldWriteCount(field) == TIFF_VARIABLE2;
    if (type == TIFF_ASCII) {
        std::string text = datum.toString();
        text.resize(std::strlen(text.c_str()));
        if (!passCount) {
            TIFFSetField(tiff, tag, text.c_str());
        } else if (wideCount) {
            TIFFSetField(tiff, tag, uint32(text.size() + 1), text.c_str());
        } else {
            TIFFSetField(tiff, tag, int(text.size() + 1), text.c_str());
        }
        return;
    }
    const long count = datum.count();
    const int size = TIFFFieldSetGetSize(field);
    if (count <= 0 || size <= 0 || uint64(count) * size > kMaxMetadataBytes ||
        (!wideCount && count > 0xffff)) {
        return;
    }
    std::vector<uint8> values(size_t(count) * size_t(size));
    for (long i = 0; i < count; i++) {
        Store(type, size, NumberAt(datum, i), &values[size_t(i) * size_t(size)]);
    }
    const int writeCount = TIFFFieldWriteCount(field);
    if (passCount) {
        if (wideCount) {
            TIFFSetField(tiff, tag, uint32(count), values.data());
        } else {
            TIFFSetField(tiff, tag, int(count), values.data());
        }
    } else if (writeCount > 1 && count == writeCount) {
        TIFFSetField(tiff, tag, values.data());
    } else if (writeCount == 1) {
        // One value, passed as C passes it through "...".
        const double value = NumberAt(datum, 0);
        switch (type) {
            case TIFF_RATIONAL:
            case TIFF_SRATIONAL:
            case TIFF_FLOAT:
            case TIFF_DOUBLE:
                TIFFSetField(tiff, tag, value);
                break;
            case TIFF_LONG8:
            case TIFF_SLONG8:
            case TIFF_IFD8:
                TIFFSetField(tiff, tag, uint64(value));
                break;
            case TIFF_LONG:
            case TIFF_IFD:
                TIFFSetField(tiff, tag, uint32(value));
                break;
            default:
                TIFFSetField(tiff, tag, int(value));
                break;
        }
    }
}

}  // namespace

status_t ReadTIFFExif(TIFF* tiff, BPositionIO& source, std::vector<uint8>* exif) {
    exif->clear();
    off_t size = 0;
    if (!StatesExif(tiff) || source.GetSize(&size) != B_OK || size <= 0 ||
        size > kLargestFileForExif) {
        return B_OK;
    }
    std::vector<uint8> file(static_cast<size_t>(size));
    if (source.ReadAtExactly(0, file.data(), file.size()) != B_OK) {
        return B_OK;
    }
    InitialiseExiv2();
    try {
        Exiv2::ExifData data;
        const Exiv2::ByteOrder order =
            Exiv2::ExifParser::decode(data, file.data(), uint32_t(file.size()));
        file = {};
        for (auto i = data.begin(); i != data.end();) {
            const std::string group = i->groupName();
            const bool drop =
                IsOtherPicture(group) || (group == "Image" && IsStructureTag(i->tag()));
            i = drop ? data.erase(i) : std::next(i);
        }
        if (data.empty()) {
            return B_OK;
        }
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, nullptr, 0, order, data);
        if (status_t status = CheckMetadataSize(blob.size(), "bloc EXIF"); status != B_OK) {
            return status;
        }
        exif->assign(blob.begin(), blob.end());
    } catch (const Exiv2::AnyError&) {
        exif->clear();
    }
    return B_OK;
}

struct TIFFExifWriter::Data {
    Exiv2::ExifData exif;
};

TIFFExifWriter::TIFFExifWriter(const std::vector<uint8>& block) {
    if (block.empty()) {
        return;
    }
    InitialiseExiv2();
    try {
        auto data = std::make_unique<Data>();
        Exiv2::ExifParser::decode(data->exif, block.data(), uint32_t(block.size()));
        auto orientation = data->exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation != data->exif.end() && orientation->count() > 0) {
            const long value = orientation->toLong();
            fOrientation = value >= 1 && value <= 8 ? int(value) : 0;
        }
        fData = std::move(data);
    } catch (const Exiv2::AnyError&) {
        fData.reset();
    }
}

TIFFExifWriter::~TIFFExifWriter() = default;

status_t TIFFExifWriter::WriteDirectories(BPositionIO& destination) {
    if (fData == nullptr) {
        return B_OK;
    }
    const auto inDirectories = [](const Exiv2::Exifdatum& d) {
        return d.groupName() == "Photo" || d.groupName() == "GPSInfo";
    };
    if (std::none_of(fData->exif.begin(), fData->exif.end(), inDirectories)) {
        return B_OK;
    }
    Exiv2::Blob blob;
    try {
        Exiv2::ExifParser::encode(blob, nullptr, 0, Exiv2::littleEndian, fData->exif);
        // Where Exiv2 put the directories, read back from what it wrote.
        Exiv2::ExifData written;
        Exiv2::ExifParser::decode(written, blob.data(), uint32_t(blob.size()));
        for (auto [key, offset] : {std::pair{"Exif.Image.ExifTag", &fExifOffset},
                                   std::pair{"Exif.Image.GPSTag", &fGpsOffset}}) {
            auto found = written.findKey(Exiv2::ExifKey(key));
            *offset = found != written.end() && found->count() == 1 ? uint64(found->toLong()) : 0;
        }
    } catch (const Exiv2::AnyError&) {
        fExifOffset = fGpsOffset = 0;
        return B_OK;
    }
    if (fExifOffset == 0 && fGpsOffset == 0) {
        return B_OK;
    }
    if (destination.Seek(0, SEEK_FROM_START) != 0) {
        return B_IO_ERROR;
    }
    return destination.WriteExactly(blob.data(), blob.size());
}

void TIFFExifWriter::WriteMainTags(TIFF* tiff, bool withResolution) const {
    if (fData == nullptr) {
        return;
    }
    for (const Exiv2::Exifdatum& datum : fData->exif) {
        const uint16 tag = datum.tag();
        if (datum.groupName() == "Image" && !IsStructureTag(tag) && tag != kOrientationTag &&
            (withResolution || !IsResolutionTag(tag))) {
            SetTag(tiff, datum);
        }
    }
    if (fExifOffset != 0) {
        TIFFSetField(tiff, TIFFTAG_EXIFIFD, fExifOffset);
    }
    if (fGpsOffset != 0) {
        TIFFSetField(tiff, TIFFTAG_GPSIFD, fGpsOffset);
    }
}

}  // namespace orv
