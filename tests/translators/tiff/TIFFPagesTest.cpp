// SPDX-License-Identifier: MIT
// Multi-page TIFF files: every page of the first page's size is a frame, pages of another
// size are reported, and the writer puts each frame on a page of its own.
#include "tests/TempFolder.h"
#include "tests/translators/tiff/TIFFTestFiles.h"
#include "translators/tiff/TIFFTranslator.h"

namespace orv::test {
namespace {

std::unique_ptr<PictureReader> OpenPages(TIFFTranslator& translator, BPositionIO& source) {
    std::unique_ptr<PictureReader> reader;
    ClearErrorReason();
    EXPECT_EQ(translator.OpenReader(source, &reader), B_OK) << ErrorReason();
    return reader;
}

std::vector<std::unique_ptr<BBitmap>> ReadAllFrames(PictureReader& reader) {
    std::vector<std::unique_ptr<BBitmap>> frames;
    for (uint32 i = 0; i < reader.Info().frameCount; i++) {
        std::unique_ptr<BBitmap> frame;
        FrameTiming timing;
        EXPECT_EQ(reader.ReadFrame(&frame, &timing), B_OK) << ErrorReason();
        frames.push_back(std::move(frame));
    }
    return frames;
}

TEST(TIFFPagesTest, ReadsEveryPageOfAFileMadeByTiffcp) {
    orvtest::TempFolder folder;
    // Three pages of 40 × 30 in three compressions and layouts, a thumbnail-sized page of
    // another size, all joined by tiffcp.
    const std::vector<std::string> pages = {"xc:red", "gradient:blue-yellow", "plasma:fractal"};
    std::string join = "tiffcp";
    for (size_t i = 0; i < pages.size(); i++) {
        const std::string name = folder / ("p" + std::to_string(i) + ".tif");
        ASSERT_TRUE(RunTool("convert -seed 3 -size 40x30 " + pages[i] + " -depth 8 -compress " +
                            (i == 1 ? "zip " : "lzw ") + name));
        join += " " + name;
    }
    ASSERT_TRUE(RunTool("convert -size 12x9 xc:green -depth 8 " + (folder / "small.tif")));
    join += " " + (folder / "small.tif") + " " + (folder / "all.tif");
    ASSERT_TRUE(RunTool(join)) << "tiffcp";
    ASSERT_TRUE(RunTool("convert " + (folder / "all.tif") + "[0-2] " + (folder / "page-%d.ppm")));

    TIFFTranslator translator;
    const std::vector<uint8> file = ReadFile(folder / "all.tif");
    BMemoryIO source(file.data(), file.size());
    auto reader = OpenPages(translator, source);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->Info().frameCount, 3u);
    EXPECT_TRUE(reader->Info().pages);
    EXPECT_EQ(reader->Info().width, 40u);
    auto frames = ReadAllFrames(*reader);
    ASSERT_EQ(frames.size(), 3u);
    for (size_t i = 0; i < frames.size(); i++) {
        SCOPED_TRACE(i);
        ASSERT_NE(frames[i], nullptr);
        ExpectSamePixels(*ReadNetpbm(folder / ("page-" + std::to_string(i) + ".ppm")), *frames[i]);
    }
    // The fourth page stays in the source: the reader says so, which keeps the source.
    EXPECT_NE(reader->Damage().find("page 4 de 12 × 9 pixels"), std::string::npos)
        << reader->Damage();
    std::unique_ptr<BBitmap> extra;
    FrameTiming timing;
    EXPECT_NE(reader->ReadFrame(&extra, &timing), B_OK);
}

TEST(TIFFPagesTest, WritesEachFrameAsAPage) {
    TIFFTranslator translator;
    std::vector<std::unique_ptr<BBitmap>> frames;
    frames.push_back(NoisePicture(33, 21, false));
    frames.push_back(NoisePicture(33, 21, true));
    frames.push_back(MakeTestImage(33, 21, false));

    BMallocIO out;
    std::unique_ptr<PictureWriter> writer;
    ASSERT_EQ(translator.OpenWriter(kTIFF, out, &writer), B_OK);
    PictureInfo info = PlainInfo(*frames[0]);
    info.frameCount = 4;  // one fewer comes: the file must still be whole
    info.pages = true;
    ASSERT_EQ(writer->Begin(info), B_OK);
    for (const auto& frame : frames) {
        ASSERT_EQ(writer->WriteFrame(*frame, FrameTiming{}), B_OK) << ErrorReason();
    }
    ASSERT_EQ(writer->Finish(), B_OK) << ErrorReason();

    orvtest::TempFolder folder;
    const std::string path = folder / "pages.tif";
    orvtest::WriteFile(path,
                       std::string(static_cast<const char*>(out.Buffer()), out.BufferLength()));
    // Another reader counts the pages too.
    TIFF* t = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(TIFFNumberOfDirectories(t), 3u);
    TIFFClose(t);

    out.Seek(0, SEEK_FROM_START);
    auto reader = OpenPages(translator, out);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->Info().frameCount, 3u);
    EXPECT_TRUE(reader->Info().alpha);
    auto back = ReadAllFrames(*reader);
    ASSERT_EQ(back.size(), 3u);
    for (size_t i = 0; i < frames.size(); i++) {
        SCOPED_TRACE(i);
        ASSERT_NE(back[i], nullptr);
        EXPECT_EQ(back[i]->ColorSpace(), frames[i]->ColorSpace());
        EXPECT_TRUE(SamePixels(*frames[i], *back[i]));
    }
    EXPECT_EQ(reader->Damage(), "");
}

}  // namespace
}  // namespace orv::test
