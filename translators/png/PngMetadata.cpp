// SPDX-License-Identifier: MIT
#include "translators/png/PngMetadata.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/support/ByteOrder.h"
#include "platform/support/ImageLimits.h"
#include "translators/png/PngChunks.h"

namespace orv::png {

namespace {

constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";
constexpr std::string_view kRawProfile = "Raw profile type ";
constexpr std::string_view kIptcKeyword = "Raw profile type iptc";
// The headers JPEG puts before EXIF and XMP in APP1, which raw profiles may keep.
constexpr std::string_view kExifHeader{"Exif\0\0", 6};
constexpr std::string_view kXmpHeader{"http://ns.adobe.com/xap/1.0/\0", 29};
// Profiles are small; they are compressed once, at the best level.
constexpr int kProfileLevel = 12;
constexpr double kMetresPerInch = 0.0254;

std::string_view AsText(const std::vector<uint8>& bytes, size_t from = 0) {
    from = std::min(from, bytes.size());
    return {reinterpret_cast<const char*>(bytes.data()) + from, bytes.size() - from};
}

bool StartsWith(const std::vector<uint8>& bytes, std::string_view prefix) {
    return AsText(bytes).substr(0, prefix.size()) == prefix;
}

bool IsTiffHeader(const std::vector<uint8>& bytes) {
    return StartsWith(bytes, std::string_view("II*\0", 4)) ||
           StartsWith(bytes, std::string_view("MM\0*", 4));
}

// The keyword of a text chunk or profile, up to its terminating zero; npos when there is
// no valid one (1 to 79 bytes).
size_t KeywordEnd(const std::vector<uint8>& data) {
    const size_t end = AsText(data).substr(0, 80).find('\0');
    return end == 0 ? std::string_view::npos : end;
}

// The hexadecimal bytes of an ImageMagick raw profile: "\n<type>\n<spaces><length>\n<hex>",
// the hex digits in lines. Empty when it is not one.
std::vector<uint8> DecodeRawProfile(std::string_view text) {
    if (text.empty() || text[0] != '\n') {
        return {};
    }
    size_t at = text.find('\n', 1);
    if (at == std::string_view::npos) {
        return {};
    }
    at = text.find_first_not_of(" \t\r\n", at);
    uint64 length = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 12; at++, digits++) {
        length = length * 10 + uint64(text[at] - '0');
    }
    if (digits == 0 || length == 0 || length > kMaxMetadataBytes || at >= text.size() ||
        text[at] != '\n') {
        return {};
    }
    std::vector<uint8> bytes;
    bytes.reserve(size_t(length));
    int high = -1;
    for (; at < text.size() && bytes.size() < length; at++) {
        const char c = text[at];
        int nibble;
        if (c >= '0' && c <= '9') {
            nibble = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            nibble = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            nibble = c - 'A' + 10;
        } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            continue;
        } else {
            return {};
        }
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(uint8(high << 4 | nibble));
            high = -1;
        }
    }
    return bytes.size() == length ? bytes : std::vector<uint8>{};
}

// The IPTC datasets of a Photoshop image resource block: the data of resource 0x0404.
std::vector<uint8> IptcFromResources(const std::vector<uint8>& block) {
    size_t at = 0;
    while (at + 12 <= block.size() && AsText(block).substr(at, 4) == "8BIM") {
        const uint16 id = ReadBE16(&block[at + 4]);
        // A Pascal name padded to an even length, then the size and the data, padded too.
        const size_t nameLength = (size_t(block[at + 6]) + 2) & ~size_t(1);
        const size_t sizeAt = at + 6 + nameLength;
        if (sizeAt + 4 > block.size()) {
            break;
        }
        const size_t size = ReadBE32(&block[sizeAt]);
        const size_t dataAt = sizeAt + 4;
        if (size > block.size() - dataAt) {
            break;
        }
        if (id == 0x0404) {
            return {block.begin() + ptrdiff_t(dataAt), block.begin() + ptrdiff_t(dataAt + size)};
        }
        at = dataAt + ((size + 1) & ~size_t(1));
    }
    return {};
}

double FixedPoint(const uint8* bytes) {
    return ReadBE32(bytes) / 100000.0;
}

uint32 ToFixedPoint(double value) {
    return uint32(std::clamp(std::lround(value * 100000.0), 0L, long(kMaxChunkLength)));
}

// The text of an ImageMagick raw profile of `type` for `bytes`, hexadecimal in lines of 72
// digits, which exiftool and ImageMagick read back.
std::string EncodeRawProfile(std::string_view type, const std::vector<uint8>& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    char length[32];
    std::snprintf(length, sizeof(length), "%8zu", bytes.size());
    std::string text = "\n";
    text.append(type).append("\n").append(length);
    text.reserve(text.size() + bytes.size() * 2 + bytes.size() / 36 + 2);
    for (size_t i = 0; i < bytes.size(); i++) {
        if (i % 36 == 0) {
            text += '\n';
        }
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 15];
    }
    text += '\n';
    return text;
}

status_t WriteChunk(BPositionIO& destination, const char type[4], std::string_view data) {
    return png::WriteChunk(destination, type, reinterpret_cast<const uint8*>(data.data()),
                           data.size());
}

// A keyword and its zero, then the compression method and a zlib stream of `text`: the
// layout iCCP and zTXt share.
status_t WriteCompressedChunk(BPositionIO& destination, const char type[4],
                              std::string_view keyword, const uint8* text, size_t size) {
    std::vector<uint8> compressed;
    if (status_t status = ZlibCompress(text, size, kProfileLevel, &compressed); status != B_OK) {
        return status;
    }
    std::vector<uint8> data(keyword.begin(), keyword.end());
    data.push_back(0);
    data.push_back(0);  // deflate, the only method
    data.insert(data.end(), compressed.begin(), compressed.end());
    return png::WriteChunk(destination, type, data.data(), data.size());
}

}  // namespace

bool MetadataCollector::Wants(const uint8* type) {
    for (const char* name : {"iCCP", "sRGB", "gAMA", "cHRM", "cICP", "eXIf", "pHYs"}) {
        if (std::memcmp(type, name, 4) == 0) {
            return true;
        }
    }
    return false;
}

bool MetadataCollector::WantsText(const uint8* type, std::string_view keyword) {
    if (!IsType(type, "tEXt") && !IsType(type, "zTXt") && !IsType(type, "iTXt")) {
        return false;
    }
    return keyword == kXmpKeyword || keyword.substr(0, kRawProfile.size()) == kRawProfile;
}

void MetadataCollector::AddDamage(std::string reason) {
    if (fDamage.empty()) {
        fDamage = std::move(reason);
    }
}

void MetadataCollector::Add(const uint8* type, const std::vector<uint8>& data) {
    ColorDescription& color = fMetadata.color;
    const auto invalid = [&] { AddDamage(ChunkName(type) + " illisible : laissé de côté"); };
    if (IsType(type, "iCCP")) {
        if (fHasIcc) {
            return;  // the format allows one
        }
        const size_t end = KeywordEnd(data);
        if (end == std::string_view::npos || end + 2 > data.size() || data[end + 1] != 0 ||
            ZlibInflate(data.data() + end + 2, data.size() - end - 2, "profil ICC du PNG",
                        &color.icc) != B_OK) {
            color.icc.clear();
            invalid();
            return;
        }
        fHasIcc = true;
    } else if (IsType(type, "sRGB")) {
        if (data.size() != 1 || data[0] > 3) {
            return invalid();
        }
        fHasSrgb = true;
        color.renderingIntent = data[0];
    } else if (IsType(type, "gAMA")) {
        if (data.size() != 4 || ReadBE32(data.data()) == 0) {
            return invalid();
        }
        color.gamma = FixedPoint(data.data());
    } else if (IsType(type, "cHRM")) {
        if (data.size() != 32) {
            return invalid();
        }
        for (int i = 0; i < 8; i++) {
            color.chromaticities[i] = FixedPoint(&data[size_t(i) * 4]);
        }
    } else if (IsType(type, "cICP")) {
        if (data.size() != 4) {
            return invalid();
        }
        color.primaries = data[0];
        color.transfer = data[1];
        color.matrix = data[2];
        color.fullRange = data[3] != 0;
    } else if (IsType(type, "eXIf")) {
        const size_t skipped = StartsWith(data, kExifHeader) ? kExifHeader.size() : 0;
        std::vector<uint8> exif(data.begin() + ptrdiff_t(skipped), data.end());
        if (!IsTiffHeader(exif)) {
            return invalid();
        }
        fMetadata.exif = std::move(exif);
    } else if (IsType(type, "pHYs")) {
        if (data.size() != 9) {
            return invalid();
        }
        if (data[8] == 1) {  // pixels per metre; 0 states only the aspect ratio
            fMetadata.xDpi = ReadBE32(data.data()) * kMetresPerInch;
            fMetadata.yDpi = ReadBE32(data.data() + 4) * kMetresPerInch;
        }
    } else {
        AddText(type, data);
    }
}

void MetadataCollector::AddText(const uint8* type, const std::vector<uint8>& data) {
    const size_t end = KeywordEnd(data);
    if (end == std::string_view::npos) {
        return;
    }
    const std::string keyword(AsText(data).substr(0, end));
    bool compressed = IsType(type, "zTXt");
    size_t textAt = end + (compressed ? 2 : 1);
    if (IsType(type, "iTXt")) {
        // The compression flag and method, then the language tag and the translated keyword.
        compressed = end + 1 < data.size() && data[end + 1] != 0;
        size_t at = end + 3;
        for (int field = 0; field < 2 && at <= data.size(); field++) {
            const size_t zero = AsText(data).find('\0', at);
            at = zero == std::string_view::npos ? data.size() + 1 : zero + 1;
        }
        textAt = at;
    }
    if (textAt > data.size()) {
        AddDamage(ChunkName(type) + " illisible : laissé de côté");
        return;
    }
    std::vector<uint8> text(data.begin() + ptrdiff_t(textAt), data.end());
    if (compressed && ZlibInflate(data.data() + textAt, data.size() - textAt,
                                  "texte compressé du PNG", &text) != B_OK) {
        AddDamage(ChunkName(type) + " « " + keyword + " » illisible : laissé de côté");
        return;
    }
    if (keyword == kXmpKeyword) {
        if (fMetadata.xmp.empty()) {
            fMetadata.xmp = std::move(text);
        }
        return;
    }
    AddRawProfile(std::string_view(keyword).substr(kRawProfile.size()), text);
}

void MetadataCollector::AddRawProfile(std::string_view profile, const std::vector<uint8>& text) {
    std::vector<uint8> bytes = DecodeRawProfile(AsText(text));
    if (bytes.empty()) {
        AddDamage("profil « " + std::string(profile) + " » du PNG illisible : laissé de côté");
        return;
    }
    if (profile == "exif" || profile == "APP1") {
        if (StartsWith(bytes, kExifHeader)) {
            bytes.erase(bytes.begin(), bytes.begin() + ptrdiff_t(kExifHeader.size()));
        }
        if (IsTiffHeader(bytes) && fProfileExif.empty()) {
            fProfileExif = std::move(bytes);
        } else if (StartsWith(bytes, kXmpHeader) && fProfileXmp.empty()) {
            fProfileXmp.assign(bytes.begin() + ptrdiff_t(kXmpHeader.size()), bytes.end());
        }
    } else if (profile == "xmp" && fProfileXmp.empty()) {
        fProfileXmp = std::move(bytes);
    } else if ((profile == "iptc" || profile == "8bim") && fMetadata.iptc.empty()) {
        fMetadata.iptc = bytes[0] == 0x1c ? std::move(bytes) : IptcFromResources(bytes);
    }
}

PictureMetadata MetadataCollector::Finish() {
    if (fMetadata.exif.empty()) {
        fMetadata.exif = std::move(fProfileExif);
    }
    if (fMetadata.xmp.empty()) {
        fMetadata.xmp = std::move(fProfileXmp);
    }
    // A profile says more than the sRGB chunk, and either more than a bare gamma and
    // primaries, which files often carry beside them for older readers.
    ColorDescription& color = fMetadata.color;
    color.srgb = fHasSrgb && !fHasIcc;
    if (!color.srgb) {
        color.renderingIntent = 0;  // a profile states its own
    }
    if (fHasIcc || fHasSrgb || color.HasCicp()) {
        color.gamma = 0;
        std::fill(std::begin(color.chromaticities), std::end(color.chromaticities), 0.0);
    }
    return std::move(fMetadata);
}

bool IsGreyProfile(const std::vector<uint8>& icc) {
    return icc.size() >= 20 && std::memcmp(&icc[16], "GRAY", 4) == 0;
}

status_t WriteColorChunks(BPositionIO& destination, const ColorDescription& color, bool grey) {
    // Without primaries and a transfer the chunk would say nothing a reader can use.
    if (color.primaries != 0 && color.transfer != 0) {
        // The pixels are RGB by now, in full range, whatever matrix and range a YUV
        // source was coded with: those are what the format allows here.
        const uint8 cicp[4] = {color.primaries, color.transfer, 0, 1};
        if (status_t status = png::WriteChunk(destination, "cICP", cicp, sizeof(cicp));
            status != B_OK) {
            return status;
        }
    }
    if (!color.icc.empty() && IsGreyProfile(color.icc) == grey) {
        return WriteCompressedChunk(destination, "iCCP", "ICC Profile", color.icc.data(),
                                    color.icc.size());
    }
    if (color.srgb) {
        const uint8 intent = uint8(std::clamp(color.renderingIntent, 0, 3));
        return png::WriteChunk(destination, "sRGB", &intent, 1);
    }
    if (color.gamma > 0) {
        uint8 gamma[4];
        WriteBE32(gamma, ToFixedPoint(color.gamma));
        if (status_t status = png::WriteChunk(destination, "gAMA", gamma, 4); status != B_OK) {
            return status;
        }
    }
    if (color.HasChromaticities()) {
        uint8 chromaticities[32];
        for (int i = 0; i < 8; i++) {
            WriteBE32(&chromaticities[i * 4], ToFixedPoint(color.chromaticities[i]));
        }
        return png::WriteChunk(destination, "cHRM", chromaticities, sizeof(chromaticities));
    }
    return B_OK;
}

status_t WriteMetadataChunks(BPositionIO& destination, const PictureMetadata& metadata) {
    status_t status = B_OK;
    if (metadata.xDpi > 0 || metadata.yDpi > 0) {
        const auto perMetre = [](double dpi) {
            return uint32(std::clamp(std::lround(dpi / kMetresPerInch), 1L, long(kMaxChunkLength)));
        };
        uint8 physical[9];
        WriteBE32(physical, perMetre(metadata.xDpi > 0 ? metadata.xDpi : metadata.yDpi));
        WriteBE32(physical + 4, perMetre(metadata.yDpi > 0 ? metadata.yDpi : metadata.xDpi));
        physical[8] = 1;
        status = png::WriteChunk(destination, "pHYs", physical, sizeof(physical));
    }
    if (status == B_OK && !metadata.exif.empty()) {
        status = png::WriteChunk(destination, "eXIf", metadata.exif.data(), metadata.exif.size());
    }
    if (status == B_OK && !metadata.xmp.empty()) {
        // Uncompressed, as XMP wants its packets, so that tools scanning files find them.
        std::string data(kXmpKeyword);
        data.append(
            5, '\0');  // keyword end, no compression, method, empty language, empty translation
        data.append(AsText(metadata.xmp));
        status = WriteChunk(destination, "iTXt", data);
    }
    if (status == B_OK && !metadata.iptc.empty()) {
        const std::string text = EncodeRawProfile("iptc", metadata.iptc);
        status = WriteCompressedChunk(destination, "zTXt", kIptcKeyword,
                                      reinterpret_cast<const uint8*>(text.data()), text.size());
    }
    return status;
}

}  // namespace orv::png
