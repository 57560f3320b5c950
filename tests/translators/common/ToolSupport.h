// SPDX-License-Identifier: MIT
// Files made, and read back, by other programs (ImageMagick, exiftool, the codecs' own
// command-line tools) for the codec suites: what our translators read must be what those
// tools wrote, and what they write must be what those tools read.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/translation/PictureIO.h"
#include "tests/TempFolder.h"
#include "tests/translators/common/CodecTestSupport.h"

namespace orv::test {

// A file name or value in single quotes for the shell.
inline std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs a shell command, its output discarded; true when it succeeded.
inline bool RunTool(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    EXPECT_EQ(status, 0) << command;
    return status == 0;
}

// The first of `tools` that is not installed, or "" when all are: suites skip on it.
inline std::string MissingTool(std::initializer_list<const char*> tools) {
    for (const char* tool : tools) {
        const bool present =
            tool[0] == '/'
                ? std::filesystem::exists(tool)
                : std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) ==
                      0;
        if (!present) {
            return tool;
        }
    }
    return {};
}

// What a shell command prints, every byte of it.
inline std::string ToolBytes(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r"); pipe != nullptr) {
        char buffer[4096];
        size_t count;
        while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, count);
        }
        pclose(pipe);
    }
    return output;
}

// What a shell command prints, without its last newline.
inline std::string ToolOutput(const std::string& command) {
    std::string output = ToolBytes(command);
    if (!output.empty() && output.back() == '\n') {
        output.pop_back();
    }
    return output;
}

// One tag's value as exiftool prints it (-s3), e.g. ExifTag(file, "Model").
inline std::string ExifTag(const std::string& path, const std::string& tag) {
    return ToolOutput("exiftool -s3 -" + tag + " " + Quoted(path));
}

// The embedded ICC profile as exiftool extracts it.
inline std::vector<uint8> ExifToolProfile(const std::string& path) {
    const std::string bytes = ToolBytes("exiftool -b -ICC_Profile " + Quoted(path));
    return std::vector<uint8>(bytes.begin(), bytes.end());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8>& bytes) {
    orvtest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

// The photograph's description the suites write and read: a camera, a date taken and GPS in
// EXIF (exiftool writes a standalone TIFF-structured EXIF file), a title in XMP, and an
// Adobe RGB profile from Debian's icc-profiles-free.
struct PhotoMetadata {
    std::vector<uint8> exif;
    std::vector<uint8> xmp;
    std::vector<uint8> icc;
};

inline constexpr char kAdobeRGBProfile[] = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";
inline constexpr char kCamera[] = "Orvane Test Camera";
inline constexpr char kDateTaken[] = "2021:06:21 12:34:56";
inline constexpr char kTitle[] = "Le phare de Kerbel";

inline PhotoMetadata MakePhotoMetadata(const orvtest::TempFolder& folder, int orientation = 1) {
    const std::string exif = folder / "photo.exif";
    const std::string xmp = folder / "photo.xmp";
    RunTool("exiftool -q -o " + Quoted(exif) + " -Model=" + Quoted(kCamera) +
            " -DateTimeOriginal=" + Quoted(kDateTaken) +
            " -GPSLatitude=47.5 -GPSLatitudeRef=N -GPSLongitude=3.2 -GPSLongitudeRef=W" +
            " -Orientation#=" + std::to_string(orientation));
    RunTool("exiftool -q -o " + Quoted(xmp) + " -XMP-dc:Title=" + Quoted(kTitle));
    return {ReadFile(exif), ReadFile(xmp), ReadFile(kAdobeRGBProfile)};
}

// A flat grey picture of `level` (studio range) as a one-frame 4:4:4 YUV4MPEG2 file, the
// raw input the AV1 and HEVC command-line encoders take.
inline void WriteGreyY4M(const std::string& path, uint32 width, uint32 height, uint8 level) {
    std::string file = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
                       " F25:1 Ip A1:1 C444\nFRAME\n";
    const size_t plane = size_t(width) * height;
    file.append(plane, char(level));
    file.append(plane * 2, char(128));
    orvtest::WriteFile(path, file);
}

// What the run hands a writer for one picture of `image`'s size with this description.
inline PictureInfo PictureOf(const BBitmap& image, const PhotoMetadata& photo,
                             uint32 frameCount = 1) {
    PictureInfo info;
    info.width = image.PixelWidth();
    info.height = image.PixelHeight();
    info.frameCount = frameCount;
    info.alpha = image.ColorSpace() == B_RGBA32;
    info.metadata.exif = photo.exif;
    info.metadata.xmp = photo.xmp;
    info.metadata.color.icc = photo.icc;
    return info;
}

// A writer given fewer frames than it was told (the source was cut short) still makes a
// file, which holds the frames it was given.
inline void ExpectFewerFramesThanAnnouncedKept(ImageTranslator& translator, uint32 type) {
    auto frame = TestPicture(16, 16, false);
    const std::vector<uint8> file =
        WriteAllFrames(translator, type, PictureOf(*frame, {}, 5), {frame.get(), frame.get()});
    const ReadPicture read = ReadAllFrames(translator, file);
    ASSERT_EQ(read.status, B_OK) << ErrorReason();
    EXPECT_EQ(read.frames.size(), 2u);
}

// The photograph's description written through `translator` into a file at `path`, which
// exiftool must read back as given (the profile where exiftool can reach it).
inline void ExpectPhotoWritten(ImageTranslator& translator, uint32 type, const PhotoMetadata& photo,
                               const std::string& path, bool profileReadable = true) {
    auto image = TestPicture(40, 30, false);
    WriteBytes(path, WriteAllFrames(translator, type, PictureOf(*image, photo), {image.get()}));
    EXPECT_EQ(ExifTag(path, "Model"), kCamera);
    EXPECT_EQ(ExifTag(path, "DateTimeOriginal"), kDateTaken);
    EXPECT_EQ(ExifTag(path, "GPSLatitudeRef"), "North");
    EXPECT_EQ(ExifTag(path, "Title"), kTitle);
    if (profileReadable) {
        EXPECT_EQ(ExifToolProfile(path), photo.icc);
    }
}

// A picture described by BT.2020 primaries and the PQ curve (CICP 9 and 16), no profile,
// written through `translator` into a file at `path`.
inline std::vector<uint8> WritePQPicture(ImageTranslator& translator, uint32 type,
                                         const std::string& path) {
    auto image = TestPicture(40, 30, false);
    PictureInfo hdr = PictureOf(*image, {});
    hdr.metadata.color.primaries = 9;
    hdr.metadata.color.transfer = 16;
    std::vector<uint8> file = WriteAllFrames(translator, type, hdr, {image.get()});
    WriteBytes(path, file);
    return file;
}

}  // namespace orv::test
