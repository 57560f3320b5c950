// SPDX-License-Identifier: MIT
// What the PNG suites share: chunks built and listed byte by byte (with a CRC written
// here, apart from the translator's), files written and read in a scratch folder, and the
// other programs the tests make and check files with (ImageMagick, exiftool, apngasm,
// apngdis).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/translators/common/CodecTestSupport.h"
#include "translators/png/PNGTranslator.h"

namespace orv::test {

inline constexpr uint32 kPNG = FourCC("PNG ");

inline uint32 Big32(const uint8* p) {
    return uint32(p[0]) << 24 | uint32(p[1]) << 16 | uint32(p[2]) << 8 | p[3];
}

inline void PutBig32(uint8* p, uint32 v) {
    for (int i = 0; i < 4; i++) {
        p[i] = uint8(v >> (24 - 8 * i));
    }
}

inline uint32 Crc32(const uint8* data, size_t size) {
    uint32 crc = 0xffffffff;
    for (size_t i = 0; i < size * 8; i++) {
        crc ^= (i % 8 == 0) ? data[i / 8] : 0;
        crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

// A whole chunk: length, type, data, CRC.
inline std::vector<uint8> Chunk(const std::string& type, const std::vector<uint8>& data) {
    std::vector<uint8> chunk(12 + data.size());
    PutBig32(&chunk[0], uint32(data.size()));
    std::memcpy(&chunk[4], type.data(), 4);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    PutBig32(&chunk[8 + data.size()], Crc32(&chunk[4], 4 + data.size()));
    return chunk;
}

// `bytes` as a zlib stream of stored blocks, made here apart from the translator's deflate.
inline std::vector<uint8> StoredZlib(const std::vector<uint8>& bytes) {
    std::vector<uint8> out = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(bytes.size() - at, 65535);
        const bool last = at + n == bytes.size();
        out.insert(out.end(),
                   {uint8(last ? 1 : 0), uint8(n), uint8(n >> 8), uint8(~n), uint8(~n >> 8)});
        out.insert(out.end(), bytes.begin() + ptrdiff_t(at), bytes.begin() + ptrdiff_t(at + n));
        at += n;
    } while (at < bytes.size());
    uint32 a = 1, b = 0;
    for (uint8 c : bytes) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    out.resize(out.size() + 4);
    PutBig32(&out[out.size() - 4], b << 16 | a);
    return out;
}

// Puts `chunk` right after IHDR.
inline void InsertAfterHeader(std::vector<uint8>* png, const std::vector<uint8>& chunk) {
    png->insert(png->begin() + 33, chunk.begin(), chunk.end());
}

struct ChunkInfo {
    std::string type;
    size_t offset;  // of the chunk's length field
    uint32 length;
};

inline std::vector<ChunkInfo> ListChunks(const std::vector<uint8>& png) {
    std::vector<ChunkInfo> chunks;
    for (size_t offset = 8; offset + 12 <= png.size();) {
        const uint32 length = Big32(&png[offset]);
        chunks.push_back(
            {std::string(reinterpret_cast<const char*>(&png[offset + 4]), 4), offset, length});
        offset += 12 + size_t(length);
    }
    return chunks;
}

inline std::vector<std::string> ChunkTypes(const std::vector<uint8>& png) {
    std::vector<std::string> types;
    for (const ChunkInfo& chunk : ListChunks(png)) {
        types.push_back(chunk.type);
    }
    return types;
}

inline size_t CountOf(const std::vector<std::string>& types, const std::string& type) {
    return size_t(std::count(types.begin(), types.end(), type));
}

// A folder of its own for the files a test hands to other programs.
class ScratchFolder {
public:
    ScratchFolder() {
        char path[] = "/tmp/orvane-png-test-XXXXXX";
        EXPECT_NE(mkdtemp(path), nullptr);
        fPath = path;
    }
    ~ScratchFolder() { std::filesystem::remove_all(fPath); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string Path(const std::string& name) const { return fPath + "/" + name; }

    std::string Write(const std::string& name, const std::vector<uint8>& bytes) const {
        std::ofstream out(Path(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return Path(name);
    }

private:
    std::string fPath;
};

// Runs a shell command of the test's tools; true on success.
inline bool RunTool(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// What a command prints, its last newline taken off.
inline std::string ToolOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) {
            output.append(buffer, n);
        }
        pclose(pipe);
    }
    while (!output.empty() && output.back() == '\n') {
        output.pop_back();
    }
    return output;
}

inline std::vector<uint8> EncodeWith(PNGTranslator& translator, const BBitmap& image,
                                     const PictureInfo& info) {
    BMallocIO out;
    EXPECT_EQ(translator.EncodePicture(image, info, kPNG, out), B_OK) << ErrorReason();
    const auto* data = static_cast<const uint8*>(out.Buffer());
    return std::vector<uint8>(data, data + out.BufferLength());
}

}  // namespace orv::test
