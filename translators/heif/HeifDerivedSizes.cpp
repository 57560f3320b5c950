// SPDX-License-Identifier: MIT
#include "translators/heif/HeifDerivedSizes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "platform/support/ByteOrder.h"
#include "platform/support/ImageLimits.h"

namespace orv::heif {

namespace {

// Big-endian fields read one after the other from a span of bytes; reading past the end
// makes it fail, and every later read gives 0.
class Fields {
public:
    Fields(const uint8* data, size_t size) : fData(data), fSize(size) {}

    uint64 Take(size_t bytes) {
        if (bytes > fSize - std::min(fNext, fSize)) {
            fFailed = true;
            fNext = fSize;
            return 0;
        }
        uint64 value = 0;
        for (size_t i = 0; i < bytes; i++) {
            value = value << 8 | fData[fNext + i];
        }
        fNext += bytes;
        return value;
    }
    bool Failed() const { return fFailed; }
    size_t Next() const { return fNext; }
    size_t Left() const { return fFailed ? 0 : fSize - fNext; }
    const uint8* Here() const { return fData + fNext; }

private:
    const uint8* fData;
    size_t fSize;
    size_t fNext = 0;
    bool fFailed = false;
};

struct Box {
    std::string_view type;
    const uint8* body = nullptr;
    size_t size = 0;
};

// The next box of `fields`, or nothing at the end or on a box that does not fit.
std::optional<Box> NextBox(Fields& fields) {
    if (fields.Left() < 8) {
        return std::nullopt;
    }
    const size_t start = fields.Next();
    uint64 size = fields.Take(4);
    const uint8* type = fields.Here();
    fields.Take(4);
    if (size == 1) {
        size = fields.Take(8);
    } else if (size == 0) {
        size = fields.Left() + (fields.Next() - start);
    }
    const size_t header = fields.Next() - start;
    if (fields.Failed() || size < header || size - header > fields.Left()) {
        return std::nullopt;
    }
    Box box{std::string_view(reinterpret_cast<const char*>(type), 4), fields.Here(),
            size_t(size - header)};
    fields.Take(box.size);
    return box;
}

// Where an item's data starts: in the file, or in the 'idat' box.
struct Extent {
    bool inIdat = false;
    uint64 offset = 0;
    uint64 length = 0;
};

// The first extent of each item 'iloc' lists; the data of a grid or an overlay needs no
// more than the first dozen bytes, which the first extent holds.
std::map<uint32, Extent> ReadLocations(const Box& iloc) {
    std::map<uint32, Extent> extents;
    Fields fields(iloc.body, iloc.size);
    const uint64 version = fields.Take(1);
    fields.Take(3);  // flags
    const uint64 sizes = fields.Take(2);
    const size_t offsetSize = size_t(sizes >> 12 & 15);
    const size_t lengthSize = size_t(sizes >> 8 & 15);
    const size_t baseOffsetSize = size_t(sizes >> 4 & 15);
    const size_t indexSize = version == 1 || version == 2 ? size_t(sizes & 15) : 0;
    if (version > 2) {
        return extents;
    }
    const uint64 count = fields.Take(version < 2 ? 2 : 4);
    for (uint64 i = 0; i < count && !fields.Failed(); i++) {
        const auto item = uint32(fields.Take(version < 2 ? 2 : 4));
        uint64 method = 0;
        if (version == 1 || version == 2) {
            method = fields.Take(2) & 15;
        }
        fields.Take(2);  // data reference index
        const uint64 base = fields.Take(baseOffsetSize);
        const uint64 extentCount = fields.Take(2);
        for (uint64 e = 0; e < extentCount && !fields.Failed(); e++) {
            fields.Take(indexSize);
            const uint64 offset = fields.Take(offsetSize);
            const uint64 length = fields.Take(lengthSize);
            if (e == 0 && method <= 1) {
                extents[item] = Extent{method == 1, base + offset, length};
            }
        }
    }
    return extents;
}

// The grid and overlay items 'iinf' lists, with their type.
std::map<uint32, bool> ReadDerivedItems(const Box& iinf) {
    std::map<uint32, bool> overlays;  // true: an overlay, false: a grid
    Fields fields(iinf.body, iinf.size);
    const uint64 version = fields.Take(1);
    fields.Take(3);
    fields.Take(version == 0 ? 2 : 4);  // the entry count, which the boxes that follow give
    while (std::optional<Box> box = NextBox(fields)) {
        if (box->type != "infe") {
            continue;
        }
        Fields entry(box->body, box->size);
        const uint64 entryVersion = entry.Take(1);
        entry.Take(3);
        if (entryVersion < 2) {
            continue;  // no item type before version 2
        }
        const auto item = uint32(entry.Take(entryVersion == 2 ? 2 : 4));
        entry.Take(2);  // protection index
        const uint64 type = entry.Take(4);
        if (!entry.Failed() && (type == FourCC("grid") || type == FourCC("iovl"))) {
            overlays[item] = type == FourCC("iovl");
        }
    }
    return overlays;
}

// The output size at the start of a grid's or an overlay's data: a version byte, flags
// whose lowest bit makes the sizes 32-bit, then the grid's rows and columns or the
// overlay's fill colour.
std::optional<DerivedSize> ParseDerived(uint32 item, bool overlay, const uint8* data, size_t size) {
    Fields fields(data, size);
    fields.Take(1);
    const bool wide = (fields.Take(1) & 1) != 0;
    fields.Take(overlay ? 8 : 2);
    DerivedSize derived{item, 0, 0};
    derived.width = fields.Take(wide ? 4 : 2);
    derived.height = fields.Take(wide ? 4 : 2);
    if (fields.Failed()) {
        return std::nullopt;
    }
    return derived;
}

// The 'meta' box of the file, read whole when it is of a reasonable size.
bool ReadMeta(BPositionIO& source, std::vector<uint8>* meta) {
    off_t position = 0;
    off_t fileSize = 0;
    if (source.GetSize(&fileSize) != B_OK) {
        return false;
    }
    // The top-level boxes: ftyp, meta, mdat and a few others; meta comes early.
    for (int box = 0; box < 16 && position + 8 <= fileSize; box++) {
        uint8 header[16];
        const ssize_t got = source.ReadAt(position, header, 16);
        if (got < 8) {
            return false;
        }
        uint64 size = ReadBE32(header);
        size_t headerSize = 8;
        if (size == 1) {
            if (got < 16) {
                return false;
            }
            size = uint64(ReadBE32(header + 8)) << 32 | ReadBE32(header + 12);
            headerSize = 16;
        } else if (size == 0) {
            size = uint64(fileSize - position);
        }
        if (size < headerSize || size > uint64(fileSize - position)) {
            return false;
        }
        if (std::memcmp(header + 4, "meta", 4) == 0) {
            if (size - headerSize > kMaxMetadataBytes) {
                return false;
            }
            meta->resize(size_t(size - headerSize));
            return source.ReadAt(position + off_t(headerSize), meta->data(), meta->size()) ==
                   ssize_t(meta->size());
        }
        position += off_t(size);
    }
    return false;
}

}  // namespace

std::vector<DerivedSize> ReadDerivedSizes(BPositionIO& source) {
    std::vector<DerivedSize> sizes;
    std::vector<uint8> meta;
    if (!ReadMeta(source, &meta)) {
        return sizes;
    }
    Fields fields(meta.data(), meta.size());
    fields.Take(4);  // version and flags
    std::optional<Box> iinf, iloc, idat;
    while (std::optional<Box> box = NextBox(fields)) {
        if (box->type == "iinf") {
            iinf = box;
        } else if (box->type == "iloc") {
            iloc = box;
        } else if (box->type == "idat") {
            idat = box;
        }
    }
    if (!iinf || !iloc) {
        return sizes;
    }
    const std::map<uint32, Extent> extents = ReadLocations(*iloc);
    for (const auto& [item, overlay] : ReadDerivedItems(*iinf)) {
        const auto found = extents.find(item);
        if (found == extents.end()) {
            continue;
        }
        const Extent& extent = found->second;
        uint8 data[24] = {};
        size_t size = 0;
        if (extent.inIdat) {
            if (!idat || extent.offset >= idat->size) {
                continue;
            }
            size = size_t(std::min<uint64>({sizeof(data), idat->size - extent.offset,
                                            extent.length == 0 ? sizeof(data) : extent.length}));
            std::memcpy(data, idat->body + extent.offset, size);
        } else {
            const uint64 wanted =
                extent.length == 0 ? sizeof(data) : std::min<uint64>(sizeof(data), extent.length);
            if (extent.offset > uint64(INT64_MAX)) {
                continue;
            }
            const ssize_t read = source.ReadAt(off_t(extent.offset), data, size_t(wanted));
            size = read > 0 ? size_t(read) : 0;
        }
        if (std::optional<DerivedSize> derived = ParseDerived(item, overlay, data, size)) {
            sizes.push_back(*derived);
        }
    }
    return sizes;
}

}  // namespace orv::heif
