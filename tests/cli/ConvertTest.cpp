// SPDX-License-Identifier: MIT
// `orvane convert` end to end: real files in, real files out, through the window's run.
#include <array>

#include "tests/cli/CliTestSupport.h"

namespace orv::test {
namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // row by row, three bytes a pixel

    std::array<uint8_t, 3> At(int x, int y) const {
        const size_t at = (size_t(y) * size_t(width) + size_t(x)) * 3;
        return {rgb[at], rgb[at + 1], rgb[at + 2]};
    }
};

std::string MakePPM(const Picture& picture) {
    std::string bytes =
        "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
    bytes.append(picture.rgb.begin(), picture.rgb.end());
    return bytes;
}

// A binary PPM as the PNM translator writes it: "P6", width, height, 255, one whitespace.
std::optional<Picture> ReadPPM(const fs::path& path) {
    std::istringstream in(ReadFile(path));
    std::string magic;
    Picture picture;
    int maximum = 0;
    in >> magic >> picture.width >> picture.height >> maximum;
    if (magic != "P6" || maximum != 255 || picture.width <= 0 || picture.height <= 0) {
        return std::nullopt;
    }
    in.get();
    picture.rgb.resize(size_t(picture.width) * size_t(picture.height) * 3);
    in.read(reinterpret_cast<char*>(picture.rgb.data()), std::streamsize(picture.rgb.size()));
    return in ? std::optional(picture) : std::nullopt;
}

// The width and height a PNG declares in its header.
std::pair<int, int> PNGSize(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    if (bytes.size() < 24) {
        return {0, 0};
    }
    const auto u32 = [&](size_t at) {
        return int(uint8_t(bytes[at])) << 24 | int(uint8_t(bytes[at + 1])) << 16 |
               int(uint8_t(bytes[at + 2])) << 8 | int(uint8_t(bytes[at + 3]));
    };
    return {u32(16), u32(20)};
}

// Red, green / blue, white: every filter moves or changes these in its own way.
Picture Sample() {
    return {2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}};
}

using orvtest::Listing;

using Names = std::vector<std::string>;

TEST_F(CliTest, FiltersReachTheRunByNumberAndByName) {
    struct Case {
        std::string filter;
        std::array<uint8_t, 3> topLeft;  // what the red corner becomes
        std::array<uint8_t, 3> bottomRight;
    };
    // One case per operation, so that a label or number leading to the wrong one shows.
    const std::vector<Case> cases = {
        {"0", {255, 0, 0}, {255, 255, 255}},
        {"Rotation", {255, 255, 255}, {255, 0, 0}},
        {"image negative", {0, 255, 255}, {0, 0, 0}},  // typed without its accent
        {"miroir", {0, 255, 0}, {0, 0, 255}},
        {"4", {0, 0, 255}, {0, 255, 0}},
        {"echanger rouge", {0, 255, 0}, {255, 255, 255}},
        {"Échanger Bleu et Rouge", {0, 0, 255}, {255, 255, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        const fs::path folder = fWork / ("f" + std::to_string(&c - cases.data()));
        fs::create_directories(folder);
        WriteFile(folder / "s.ppm", MakePPM(Sample()));
        const Outcome run = Run({"convert", "--to", "ppm", "--filter", c.filter, folder.string()});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::optional<Picture> out = ReadPPM(folder / "s.ppm 2");
        ASSERT_TRUE(out);
        EXPECT_EQ(out->At(0, 0), c.topLeft);
        EXPECT_EQ(out->At(1, 1), c.bottomRight);
    }

    const fs::path grey = fWork / "grey";
    fs::create_directories(grey);
    WriteFile(grey / "s.ppm", MakePPM(Sample()));
    ASSERT_EQ(Run({"convert", "--to", "ppm", "--filter", "niveaux", grey.string()}).status, 0);
    const std::optional<Picture> out = ReadPPM(grey / "s.ppm 2");
    ASSERT_TRUE(out);
    for (int i = 0; i < 4; ++i) {
        const auto pixel = out->At(i % 2, i / 2);
        EXPECT_TRUE(pixel[0] == pixel[1] && pixel[1] == pixel[2]) << i;
    }
}

TEST_F(CliTest, SizesFollowTheTypedTextsAndTheRatioSwitch) {
    struct Case {
        std::vector<std::string> options;
        std::pair<int, int> size;
    };
    // The photograph is 227 x 149.
    const std::vector<Case> cases = {
        {{"--width", "100"}, {100, 65}},
        {{"--height", "298"}, {454, 298}},
        {{"--width", "100", "--no-keep-ratio"}, {100, 149}},
        {{"--width=50", "--height=20", "--no-keep-ratio", "--smooth"}, {50, 20}},
        {{}, {227, 149}},
    };
    for (const Case& c : cases) {
        const fs::path folder = fWork / ("s" + std::to_string(&c - cases.data()));
        fs::create_directories(folder);
        WritePhoto(folder / "photo.jpg");
        std::vector<std::string> args = {"convert", "--to", "image/PNG"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(folder.string());
        const Outcome run = Run(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(PNGSize(folder / "photo.png"), c.size) << testing::PrintToString(c.options);
    }
}

TEST_F(CliTest, FoldersAreWalkedAndFailuresListedOnePerFile) {
    fs::create_directories(fWork / "in/sub/deeper");
    WritePhoto(fWork / "in/Photo.JPG");
    WritePicture(fWork / "in/sub/deeper/alpha.png", "image/png", 64, 48);
    WriteFile(fWork / "in/sub/notes.txt", "pas une image\n");
    WriteFile(fWork / "in/broken.png", ReadFile(fWork / "in/sub/deeper/alpha.png").substr(0, 60));

    const Outcome run = Run(
        {"convert", "--to", ".WEBP", (fWork / "in").string(), (fWork / "missing.jpg").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(CountOf(run.err, "échec : "), 2) << run.err;
    EXPECT_EQ(CountOf(run.err, "ignoré : " + (fWork / "in/sub/notes.txt").string() +
                                   " : ce n'est pas une image"),
              1);
    EXPECT_EQ(CountOf(run.err, "broken.png : "), 1);
    EXPECT_EQ(CountOf(run.err, "missing.jpg : "), 1);
    EXPECT_NE(run.err.find("2 fichiers convertis sur 5, 2 en échec, 1 ignoré"), std::string::npos)
        << run.err;
    // Progress on a pipe: plain lines, each naming its file, ending at the count of files.
    EXPECT_NE(run.err.find("5/5 fichiers traités : "), std::string::npos);

    EXPECT_EQ(Listing(fWork / "in"), (Names{"Photo.JPG", "broken.png", "photo.webp", "sub"}));
    EXPECT_EQ(Listing(fWork / "in/sub/deeper"), (Names{"alpha.png", "alpha.webp"}));
    EXPECT_EQ(Listing(fWork / "in/sub"), (Names{"deeper", "notes.txt"}));
}

TEST_F(CliTest, SourcesAreKeptTrashedOrErasedAsAsked) {
    struct Case {
        std::vector<std::string> options;
        bool sourceStays;
        bool inTrash;
    };
    const std::vector<Case> cases = {
        {{}, true, false},
        {{"--sources", "keep"}, true, false},
        {{"--sources", "trash"}, false, true},
        {{"--sources=erase"}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        const fs::path folder = fWork / ("d" + std::to_string(&c - cases.data()));
        const std::string leaf = "source" + std::to_string(&c - cases.data()) + ".jpg";
        fs::create_directories(folder);
        WritePhoto(folder / leaf);
        std::vector<std::string> args = {"convert", "--to", "png"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back((folder / leaf).string());
        const Outcome run = Run(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(fs::exists(folder / leaf), c.sourceStays);
        EXPECT_TRUE(fs::exists(folder / fs::path(leaf).replace_extension(".png")));
        const fs::path trash = fHome / ".local/share/Trash";
        EXPECT_EQ(fs::exists(trash / "files" / leaf), c.inTrash);
        EXPECT_EQ(fs::exists(trash / "info" / (leaf + ".trashinfo")), c.inTrash);
    }
}

TEST_F(CliTest, NamesFollowTheExtensionOptionsAndANewRunNumbersItsOutputs) {
    WritePhoto(fWork / "Photo.jpg");
    const std::string source = (fWork / "Photo.jpg").string();
    ASSERT_EQ(Run({"convert", "--to", "png", source}).status, 0);
    ASSERT_EQ(Run({"convert", "--to", "png", source}).status, 0);
    ASSERT_EQ(Run({"convert", "--to", "png", source}).status, 0);
    ASSERT_EQ(Run({"convert", "--to", "png", "--keep-old-extension", source}).status, 0);
    ASSERT_EQ(Run({"convert", "--to", "png", "--no-new-extension", source}).status, 0);
    ASSERT_EQ(Run({"convert", "--to", "png", "--keep-old-extension", "--no-new-extension", source})
                  .status,
              0);
    EXPECT_EQ(Listing(fWork), (Names{"Photo.jpg", "photo", "photo.jpg", "photo.jpg.png",
                                     "photo.png", "photo.png 2", "photo.png 3"}));
}

TEST_F(CliTest, AnInterruptedRunStopsBetweenFilesLeavingNothingHalfWritten) {
    constexpr int kFiles = 12;
    for (int i = 0; i < kFiles; ++i) {
        WritePhoto(fWork / ("p" + std::to_string(i) + ".jpg"));
    }
    // Large outputs, so that the signal lands while a file is being written.
    std::unique_ptr<Process> run =
        Start({"convert", "--to", "png", "--width", "3000", fWork.string()}, false, "stopped");
    ASSERT_TRUE(WaitForOutput("stopped", "1/12 fichiers traités", 1, 60s)) << Output("stopped");
    kill(run->Pid(), SIGINT);
    EXPECT_EQ(run->Wait(60s), 130) << Output("stopped");
    EXPECT_NE(Output("stopped").find("conversion interrompue : "), std::string::npos);

    int outputs = 0;
    for (const auto& entry : fs::directory_iterator(fWork)) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name[0], '.') << "a temporary was left: " << name;
        if (entry.path().extension() == ".png") {
            ++outputs;
            const std::string bytes = ReadFile(entry.path());
            ASSERT_GE(bytes.size(), 12u);
            EXPECT_EQ(bytes.substr(bytes.size() - 8, 4), "IEND") << name << " is cut short";
        }
    }
    EXPECT_GE(outputs, 1);
    EXPECT_LT(outputs, kFiles);
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndSayWhy) {
    WritePhoto(fWork / "a.jpg");
    const std::string file = (fWork / "a.jpg").string();
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"convert", file}, "--to"},
        {{"convert", "--to", "png"}, "au moins un fichier"},
        {{"convert", "--to"}, "attend une valeur"},
        {{"convert", "--to", "bmpx", file}, "format inconnu : « bmpx »"},
        {{"convert", "--to", "png", "--colour", file}, "option inconnue : --colour"},
        {{"convert", "--to", "png", "--filter", "12", file}, "de 0 à 11"},
        {{"convert", "--to", "png", "--filter", "dessin", file}, "plusieurs filtres"},
        {{"convert", "--to", "png", "--filter", "sepia", file}, "aucun filtre"},
        {{"convert", "--to", "png", "--sources", "shred", file}, "keep, trash ou erase"},
        {{"settings"}, "indiquez le format"},
        {{"settings", "png", "compression"}, "RÉGLAGE=VALEUR"},
        {{"settings", "png", "compression=10"}, "hors limites"},
        {{"settings", "png", "speed=1"}, "réglage inconnu"},
        {{"formats", "png"}, "formats ne prend pas"},
        {{"--frobnicate"}, "option inconnue"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Outcome run = Run(c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    // Nothing was written by any of them.
    EXPECT_EQ(Listing(fWork), Names{"a.jpg"});
    EXPECT_FALSE(fs::exists(fHome / ".config/orvane/translators/png.settings"));
}

}  // namespace
}  // namespace orv::test
