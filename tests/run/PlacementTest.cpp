// SPDX-License-Identifier: MIT
// What happens between a file's two halves: another program saving over the source, a name
// that cannot be given, a damaged source, a private one; and a run on several workers, which
// must leave exactly what a run of one file after another leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <thread>

#include "conversion/ConversionRun.h"
#include "conversion/ConvertFile.h"
#include "conversion/OutputFormat.h"
#include "platform/storage/Trash.h"
#include "platform/translation/CoreSharing.h"
#include "tests/run/RunTestSupport.h"

namespace orv::test {
namespace {

const OutputFormat& Format(const std::string& mime) {
    static const std::vector<OutputFormat> catalogue =
        BuildOutputFormats(BTranslatorRoster::Default());
    for (const OutputFormat& format : catalogue) {
        if (format.MIME == mime) {
            return format;
        }
    }
    ADD_FAILURE() << "no format " << mime;
    return catalogue.front();
}

entry_ref RefOf(const fs::path& path) {
    return entry_ref(path.parent_path().string(), path.filename().string());
}

ConversionOptions With(SourceDisposal disposal) {
    ConversionOptions options;
    options.disposal = disposal;
    return options;
}

// Every file of the folder and its bytes, hidden ones included.
std::map<std::string, std::string> Contents(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const std::string& name : Listing(folder)) {
        contents[name] = ReadAll(folder / name);
    }
    return contents;
}

// Another program saves a new picture under the source's name while the old one is being
// converted: by writing a new file and renaming it over (a new inode), or by rewriting the
// file in place. Whatever the choice for the sources, the new picture must survive.
TEST(PlacementTest, ASourceSavedOverDuringTheConversionIsKept) {
    struct Case {
        SourceDisposal disposal;
        const char* mime;  // PPM to PPM: the output would take the source's own name
        bool inPlace;
    };
    for (const Case& c : {Case{SourceDisposal::Erase, "image/x-portable-pixmap", false},
                          Case{SourceDisposal::Erase, "image/x-portable-pixmap", true},
                          Case{SourceDisposal::Trash, "image/x-portable-pixmap", false},
                          Case{SourceDisposal::Erase, "image/png", true},
                          Case{SourceDisposal::Trash, "image/png", false},
                          Case{SourceDisposal::Keep, "image/png", false}}) {
        SCOPED_TRACE(std::string(c.mime) + (c.inPlace ? " rewritten" : " replaced") + " disposal " +
                     std::to_string(int(c.disposal)));
        TempDir dir;
        const fs::path source = dir.Path() / "a.ppm";
        WritePPM(source, 4, 3);
        const ConversionOptions options = With(c.disposal);
        std::unique_ptr<PreparedFile> prepared = PrepareFile(RefOf(source), Format(c.mime), options,
                                                             BTranslatorRoster::Default(), nullptr);
        ASSERT_EQ(prepared->outcome.status, B_OK) << prepared->outcome.reason;

        if (c.inPlace) {
            WritePPM(source, 5, 3);
        } else {
            WritePPM(dir.Path() / "new.ppm", 5, 3);
            fs::rename(dir.Path() / "new.ppm", source);
        }
        const std::string newer = ReadAll(source);
        const FileOutcome outcome = PlaceFile(prepared.get(), Format(c.mime), options);
        prepared.reset();

        EXPECT_EQ(outcome.status, B_OK) << outcome.reason;
        EXPECT_EQ(ReadAll(source), newer);
        EXPECT_NE(outcome.output, source.string());
        EXPECT_TRUE(fs::exists(outcome.output));
        EXPECT_EQ(Listing(dir.Path()).size(), 2u);
        const bool warned =
            std::find(outcome.warnings.begin(), outcome.warnings.end(),
                      "modifié pendant la conversion : conservé") != outcome.warnings.end();
        EXPECT_EQ(warned, c.disposal != SourceDisposal::Keep);
        EXPECT_TRUE(Listing(fs::path(HomeTrashPath()) / "files").empty());
    }
}

// A name the folder cannot hold fails the file before the source is touched: with the
// trash, the picture must not end up in the trash alone.
TEST(PlacementTest, AnOutputThatCannotBeNamedLeavesTheSourceInPlace) {
    TempDir dir;
    const std::string leaf = std::string(248, 'n') + ".ppm";
    WritePPM(dir.Path() / leaf);
    ConversionOptions options = With(SourceDisposal::Trash);
    options.removeOldExtension = false;  // leaf + ".png" is 256 bytes: one too many
    const FileOutcome outcome = ConvertFile(RefOf(dir.Path() / leaf), Format("image/png"), options,
                                            BTranslatorRoster::Default());
    EXPECT_NE(outcome.status, B_OK);
    EXPECT_EQ(outcome.reason, "nom de fichier trop long");
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{leaf});
    EXPECT_TRUE(Listing(fs::path(HomeTrashPath()) / "files").empty());
}

// A decoder that gives a picture and says part of it was missing.
class DamagedDecoder : public ImageTranslator {
public:
    DamagedDecoder() : ImageTranslator(Description()) {}
    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override {
        char magic[7] = {};
        if (source.ReadAt(0, magic, 6) != 6 || std::string(magic) != "ABIMER") {
            return B_NO_TRANSLATOR;
        }
        *format = &Formats()[0];
        return B_OK;
    }
    status_t DecodePicture(BPositionIO&, DecodedImage* decoded) override {
        decoded->bitmap = std::make_unique<BBitmap>(BRect(0, 0, 3, 3), B_RGB32);
        decoded->damage = "fichier tronqué : environ 25 % de l'image manque";
        return B_OK;
    }
    status_t EncodePicture(const BBitmap&, const PictureInfo&, uint32, BPositionIO&) override {
        return B_NO_TRANSLATOR;
    }

private:
    static std::span<const translation_format> Formats() {
        static const translation_format formats[] = {
            {FourCC("ABIM"), B_TRANSLATOR_BITMAP, 0.5f, 0.5f, "image/x-abime", "Abîmée"}};
        return formats;
    }
    static TranslatorDescription Description() {
        return {"Abîmées", "décodeur d'essai", 100, "essai-abime", Formats(), {}, {}};
    }
};

TEST(PlacementTest, ADamagedSourceIsNeverDisposedOf) {
    static const bool registered =
        BTranslatorRoster::Default()->AddTranslator(new DamagedDecoder()) == B_OK;
    ASSERT_TRUE(registered);
    for (SourceDisposal disposal : {SourceDisposal::Erase, SourceDisposal::Trash}) {
        TempDir dir;
        WriteText(dir.Path() / "cut.abm", "ABIMER and less than it should");
        const FileOutcome outcome = ConvertFile(RefOf(dir.Path() / "cut.abm"), Format("image/png"),
                                                With(disposal), BTranslatorRoster::Default());
        EXPECT_EQ(outcome.status, B_OK) << outcome.reason;
        EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"cut.abm", "cut.abm.png"}));
        EXPECT_EQ(outcome.warnings,
                  (std::vector<std::string>{"fichier tronqué : environ 25 % de l'image manque",
                                            "original conservé car il est endommagé"}));
    }
}

TEST(PlacementTest, APrivateSourceGivesAPrivateOutput) {
    TempDir dir;
    WritePPM(dir.Path() / "secret.ppm");
    chmod((dir.Path() / "secret.ppm").c_str(), 0600);
    const FileOutcome outcome =
        ConvertFile(RefOf(dir.Path() / "secret.ppm"), Format("image/png"),
                    With(SourceDisposal::Keep), BTranslatorRoster::Default());
    ASSERT_EQ(outcome.status, B_OK) << outcome.reason;
    struct stat st;
    ASSERT_EQ(stat(outcome.output.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// What a run leaves: every file of the folder and its bytes, the trash, and the report.
struct RunResult {
    std::map<std::string, std::string> folder;
    std::vector<std::string> trash;
    std::vector<std::string> report;
};

// Converts `sources`, made in a fresh folder by `fill`, to PNG on `jobs` workers.
RunResult RunFolder(const std::vector<std::string>& sources,
                    const std::function<void(const fs::path&)>& fill, SourceDisposal disposal,
                    int jobs) {
    TempDir dir;
    fill(dir.Path());
    const fs::path trash = fs::path(HomeTrashPath()) / "files";
    std::error_code ignored;
    fs::remove_all(HomeTrashPath(), ignored);
    std::vector<entry_ref> files;
    for (const std::string& name : sources) {
        files.push_back(RefOf(dir.Path() / name));
    }
    RunSettings settings;
    settings.format = &Format("image/png");
    settings.options = With(disposal);
    settings.roster = BTranslatorRoster::Default();
    settings.jobs = jobs;
    RunResult result;
    RunConversion(
        files, settings,
        [&](size_t index, const FileOutcome& outcome) {
            std::string line = sources[index] + " " + std::to_string(outcome.status) + " " +
                               outcome.reason + " -> " +
                               fs::path(outcome.output).filename().string();
            for (const std::string& warning : outcome.warnings) {
                line += " / " + warning;
            }
            result.report.push_back(line);
        },
        [] { return false; });
    result.folder = Contents(dir.Path());
    result.trash = Listing(trash);
    return result;
}

void ExpectSameRun(const RunResult& alone, const RunResult& together, size_t files) {
    EXPECT_EQ(alone.folder, together.folder);
    EXPECT_EQ(alone.trash, together.trash);
    EXPECT_EQ(alone.report, together.report);
    EXPECT_EQ(alone.report.size(), files);
}

// A folder where almost every output collides with something: sources of several formats
// sharing a stem, earlier outputs, numbered names already taken, a source whose output takes
// its own name. Four workers must leave the same names, bytes, trash and report as one.
TEST(PlacementTest, ARunOnFourWorkersLeavesWhatARunOfOneFileAtATimeLeaves) {
    const std::vector<std::string> sources = {"a.ppm",     "A.ppm", "b.ppm", "c.png", "d.ppm",
                                              "notes.txt", "e.ppm", "e.png", "f.ppm", "g.ppm"};
    const auto fill = [&](const fs::path& folder) {
        for (size_t i = 0; i < sources.size(); ++i) {
            const fs::path path = folder / sources[i];
            if (path.extension() == ".ppm") {
                WritePPM(path, 3 + int(i), 2);
            } else if (path.extension() == ".png") {
                WritePicture(path, "image/png", 2 + int(i), 3);
            } else {
                WriteText(path, "pas une image");
            }
        }
        WriteText(folder / "b.png", "already here");
        WriteText(folder / "b.png 2", "and here");
        WriteText(folder / "d.png 3", "a gap before this one");
    };
    for (SourceDisposal disposal :
         {SourceDisposal::Keep, SourceDisposal::Trash, SourceDisposal::Erase}) {
        SCOPED_TRACE("disposal " + std::to_string(int(disposal)));
        ExpectSameRun(RunFolder(sources, fill, disposal, 1), RunFolder(sources, fill, disposal, 4),
                      sources.size());
    }
}

// More files than the workers may hold prepared at once, each heavier than the one before:
// the workers take the heaviest of their window first, far from list order, and the window
// must still slide to the end with every file placed in its turn.
TEST(PlacementTest, AListLongerThanTheWorkersWindowIsPlacedInOrder) {
    std::vector<std::string> sources;
    for (int i = 0; i < 80; ++i) {
        sources.push_back(std::to_string(i) + ".ppm");
    }
    const auto fill = [&](const fs::path& folder) {
        for (int i = 0; i < 80; ++i) {
            WritePPM(folder / sources[size_t(i)], 1 + i, 2);
        }
    };
    ExpectSameRun(RunFolder(sources, fill, SourceDisposal::Erase, 1),
                  RunFolder(sources, fill, SourceDisposal::Erase, 2), sources.size());
}

// Codecs are told whether every core has a picture of its own from the number of files
// alone, the same on one worker as on four (or a file's bytes would depend on --jobs), and
// no longer once the run is over, when a picture converted alone has every core again.
TEST(PlacementTest, CodecsHearWhetherEveryCoreIsBusyFromTheFilesAloneAndOnlyDuringTheRun) {
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    for (const size_t count : {size_t(1), cores}) {
        for (const int jobs : {1, 4}) {
            SCOPED_TRACE(std::to_string(count) + " files, " + std::to_string(jobs) + " jobs");
            TempDir dir;
            std::vector<entry_ref> files;
            for (size_t i = 0; i < count; ++i) {
                WritePPM(dir.Path() / (std::to_string(i) + ".ppm"), 2, 2);
                files.push_back(RefOf(dir.Path() / (std::to_string(i) + ".ppm")));
            }
            RunSettings settings;
            settings.format = &Format("image/png");
            settings.roster = BTranslatorRoster::Default();
            settings.jobs = jobs;
            std::vector<bool> heard;
            RunConversion(
                files, settings,
                [&](size_t, const FileOutcome&) { heard.push_back(EveryCoreHasAPicture()); },
                [] { return false; });
            EXPECT_EQ(heard, std::vector<bool>(count, count >= cores));
            EXPECT_FALSE(EveryCoreHasAPicture());
        }
    }
}

}  // namespace
}  // namespace orv::test
