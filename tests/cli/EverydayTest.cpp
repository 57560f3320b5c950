// SPDX-License-Identifier: MIT
// What a user meets with real folders on the command line: which files a walk takes, what
// is skipped rather than failed, how each failure is told, and how many files run at once.
#include "tests/cli/CliTestSupport.h"

namespace orv::test {
namespace {

using orvtest::Listing;
using Names = std::vector<std::string>;

// A 2x2 picture the PNM add-on reads, with its own bytes so that outputs can be told apart.
std::string Picture(uint8_t shade) {
    std::string bytes = "P6\n2 2\n255\n";
    for (int i = 0; i < 12; ++i) {
        bytes += char(shade + i);
    }
    return bytes;
}

bool Says(const Outcome& run, const std::string& line) {
    return run.err.find(line + "\n") != std::string::npos;
}

TEST_F(CliTest, AWalkLeavesHiddenEntriesAndLinkedFoldersAndSkipsWhatIsNoPicture) {
    const fs::path in = fWork / "in";
    fs::create_directories(in / ".thumbnails");
    fs::create_directories(fWork / "elsewhere");
    WriteFile(in / "a.ppm", Picture(10));
    WriteFile(in / ".hidden.ppm", Picture(20));
    WriteFile(in / ".thumbnails/t.ppm", Picture(30));
    WriteFile(in / "readme.txt", "à lire\n");
    WriteFile(in / "vide.ppm", "");
    WriteFile(fWork / "elsewhere/o.ppm", Picture(40));
    fs::create_directory_symlink(fWork / "elsewhere", in / "lien");

    const Outcome walk = Run({"convert", "--to", "png", in.string()});
    EXPECT_EQ(walk.status, 0) << walk.err;
    EXPECT_TRUE(Says(walk, "ignoré : " + (in / "lien").string() + " : lien vers un dossier"))
        << walk.err;
    EXPECT_TRUE(
        Says(walk, "ignoré : " + (in / "readme.txt").string() + " : ce n'est pas une image"));
    EXPECT_TRUE(Says(walk, "ignoré : " + (in / "vide.ppm").string() + " : fichier vide"));
    EXPECT_TRUE(Says(walk, "1 fichier converti sur 4, 3 ignorés")) << walk.err;
    EXPECT_EQ(CountOf(walk.err, "échec"), 0);
    EXPECT_EQ(Listing(in), (Names{".hidden.ppm", ".thumbnails", "a.png", "a.ppm", "lien",
                                  "readme.txt", "vide.ppm"}));
    EXPECT_EQ(Listing(in / ".thumbnails"), Names{"t.ppm"});
    EXPECT_EQ(Listing(fWork / "elsewhere"), Names{"o.ppm"});

    // Named, a hidden file is converted; a file named three ways is converted once.
    const Outcome named =
        Run({"convert", "--to", "png", "--sources", "trash", (in / ".hidden.ppm").string(),
             "in/a.ppm", "./in/a.ppm", (in / "a.ppm").string()});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_TRUE(Says(named, "2 fichiers convertis sur 2")) << named.err;
    EXPECT_EQ(Listing(in), (Names{".hidden.png", ".thumbnails", "a.png", "a.png 2", "lien",
                                  "readme.txt", "vide.ppm"}));
}

TEST_F(CliTest, NamedFilesThatAreNoPicturesFailSayingWhatTheyAre) {
    WriteFile(fWork / "vide.jpg", "");
    WriteFile(fWork / "notes.jpg", "Liste des courses\n- pain\n");
    WriteFile(fWork / "notes.pdf", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n");
    // A Photoshop header: signature, version 1, 3 channels, 1x1, 8 bits, RGB.
    WriteFile(fWork / "calque.psd",
              std::string("8BPS\0\1\0\0\0\0\0\0\0\3\0\0\0\1\0\0\0\1\0\10\0\3", 26));
    const Outcome run =
        Run({"convert", "--to", "png", "vide.jpg", "notes.jpg", "notes.pdf", "calque.psd"});
    EXPECT_EQ(run.status, 1);
    const std::string at = fWork.string() + "/";
    EXPECT_TRUE(Says(run, "échec : " + at + "vide.jpg : fichier vide")) << run.err;
    EXPECT_TRUE(Says(run, "échec : " + at + "notes.jpg : ce n'est pas une image")) << run.err;
    EXPECT_TRUE(Says(run, "échec : " + at + "notes.pdf : ce n'est pas une image")) << run.err;
    EXPECT_TRUE(Says(run, "échec : " + at + "calque.psd : format PSD non pris en charge"))
        << run.err;
    EXPECT_EQ(run.err.find("traducteur"), std::string::npos);
}

TEST_F(CliTest, AnyNumberOfJobsGivesTheNamesAndBytesOfOneAtATime) {
    // Outputs that collide with each other and with files already there.
    const auto fill = [](const fs::path& folder) {
        fs::create_directories(folder);
        for (int i = 0; i < 6; ++i) {
            std::string name = "p";
            name.append(std::to_string(i % 3)).append(i < 3 ? ".ppm" : ".PPM");
            WriteFile(folder / name, Picture(uint8_t(i * 20)));
        }
        WriteFile(folder / "p0.png", "déjà là");
    };
    std::map<int, std::map<std::string, std::string>> results;
    for (const int jobs : {1, 4}) {
        const fs::path folder = fWork / ("j" + std::to_string(jobs));
        fill(folder);
        const Outcome run = Run({"convert", "--to", "png", "--sources", "erase", "--jobs",
                                 std::to_string(jobs), folder.string()});
        ASSERT_EQ(run.status, 0) << run.err;
        for (const std::string& name : Listing(folder)) {
            results[jobs][name] = ReadFile(folder / name);
        }
    }
    EXPECT_EQ(results[1].size(), 7u);
    EXPECT_EQ(results[1], results[4]);
}

TEST_F(CliTest, StripLeavesTheMetadataOutForThisRunOnly) {
    if (std::system("command -v exiftool >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "exiftool is not installed (scripts/install-deps.sh)";
    }
    WriteFile(fWork / "photo.ppm", Picture(60));
    ASSERT_EQ(Run({"convert", "--to", "tiff", "photo.ppm"}).status, 0);
    const fs::path source = fWork / "photo.tif";
    ASSERT_TRUE(fs::exists(source)) << testing::PrintToString(Listing(fWork));
    ASSERT_EQ(std::system(
                  ("exiftool -q -overwrite_original -Artist=Auteur-essai '" + source.string() + "'")
                      .c_str()),
              0);
    const fs::path kept = fWork / "kept";
    const fs::path stripped = fWork / "stripped";
    for (const fs::path& folder : {kept, stripped}) {
        fs::create_directories(folder);
        fs::copy_file(source, folder / "photo.tif");
        std::vector<std::string> args = {"convert", "--to", "tiff",
                                         (folder / "photo.tif").string()};
        if (folder == stripped) {
            args.insert(args.begin() + 1, "--strip");
        }
        ASSERT_EQ(Run(args).status, 0);
    }
    EXPECT_NE(ReadFile(kept / "photo.tif 2").find("Auteur-essai"), std::string::npos);
    EXPECT_EQ(ReadFile(stripped / "photo.tif 2").find("Auteur-essai"), std::string::npos);
    // The saved settings still keep metadata for the next run.
    ASSERT_EQ(Run({"convert", "--to", "tiff", (stripped / "photo.tif").string()}).status, 0);
    EXPECT_NE(ReadFile(stripped / "photo.tif 3").find("Auteur-essai"), std::string::npos);
}

TEST_F(CliTest, ASecondInterruptionEndsTheRunAtOnce) {
    for (int i = 0; i < 8; ++i) {
        WriteFile(fWork / ("p" + std::to_string(i) + ".ppm"), Picture(uint8_t(i)));
    }
    // Outputs slow enough that a run of them takes many seconds.
    std::unique_ptr<Process> run = Start(
        {"convert", "--to", "png", "--smooth", "--width", "6000", "--jobs", "1", fWork.string()},
        false, "twice");
    ASSERT_TRUE(WaitForOutput("twice", "0/8 fichiers traités", 1, 30s)) << Output("twice");
    const auto start = std::chrono::steady_clock::now();
    kill(run->Pid(), SIGINT);
    std::this_thread::sleep_for(50ms);
    kill(run->Pid(), SIGINT);
    // Ended by the second signal itself, not by the end of the file under way (status 130).
    EXPECT_EQ(run->Wait(3s), -1) << Output("twice");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    // The sources are all there; nothing but them and whole outputs.
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(ReadFile(fWork / ("p" + std::to_string(i) + ".ppm")), Picture(uint8_t(i)));
    }
}

}  // namespace
}  // namespace orv::test
