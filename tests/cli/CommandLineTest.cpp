// SPDX-License-Identifier: MIT
// Reading the arguments, naming formats and filters, and the progress lines, in process.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/CommandLine.h"
#include "app/FormatLookup.h"
#include "app/Progress.h"

namespace orv::cli {
namespace {

ParseResult Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

TEST(CommandLineTest, ConvertTakesEveryOptionInEitherSpellingAndPathsAfterTheEnd) {
    const ParseResult parsed =
        Parse({"convert", "a.jpg", "--to", "png", "--filter=3", "--width", "10", "--height=-5",
               "--no-keep-ratio", "--smooth", "--sources", "trash", "--keep-old-extension",
               "--no-new-extension", "--", "--b.jpg", "-"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const ConvertRequest& request = parsed.command.convert;
    EXPECT_EQ(parsed.command.kind, CommandKind::Convert);
    EXPECT_EQ(request.format, "png");
    EXPECT_EQ(request.options.filter, 3);
    EXPECT_TRUE(request.filterGiven);
    EXPECT_EQ(request.options.width, "10");
    EXPECT_EQ(request.options.height, "-5");  // a typed size is the run's to judge
    EXPECT_FALSE(request.options.keepRatio);
    EXPECT_TRUE(request.options.smooth);
    EXPECT_EQ(request.options.disposal, SourceDisposal::Trash);
    EXPECT_FALSE(request.options.removeOldExtension);
    EXPECT_FALSE(request.options.addNewExtension);
    EXPECT_EQ(request.paths, (std::vector<std::string>{"a.jpg", "--b.jpg", "-"}));

    // The defaults are the window's form, but the sources are kept.
    const ParseResult plain = Parse({"convert", "--to", "png", "x"});
    ASSERT_TRUE(plain.ok());
    EXPECT_TRUE(plain.command.convert.options.keepRatio);
    EXPECT_FALSE(plain.command.convert.options.smooth);
    EXPECT_FALSE(plain.command.convert.filterGiven);
    EXPECT_EQ(plain.command.convert.options.disposal, SourceDisposal::Keep);
    EXPECT_TRUE(plain.command.convert.options.removeOldExtension);
    EXPECT_TRUE(plain.command.convert.options.addNewExtension);
}

TEST(CommandLineTest, TheFirstArgumentChoosesTheWayIn) {
    struct Case {
        std::vector<std::string> args;
        CommandKind kind;
        std::vector<std::string> paths;
    };
    const std::vector<Case> cases = {
        {{"a.jpg", "dossier"}, CommandKind::Window, {"a.jpg", "dossier"}},
        {{"--", "convert"}, CommandKind::Window, {"convert"}},
        {{"--add-on"}, CommandKind::AddOn, {}},  // an empty selection still reaches the window
        {{"settings", "png", "quality=5=6"}, CommandKind::Settings, {}},
        {{"a.jpg", "-h"}, CommandKind::Help, {}},
    };
    for (const Case& c : cases) {
        const ParseResult parsed = Parse(c.args);
        ASSERT_TRUE(parsed.ok()) << testing::PrintToString(c.args) << parsed.error;
        EXPECT_EQ(parsed.command.kind, c.kind) << testing::PrintToString(c.args);
        EXPECT_EQ(parsed.command.paths, c.paths);
    }
    const ParseResult settings = Parse({"settings", "png", "quality=5=6"});
    ASSERT_EQ(settings.command.settings.changes.size(), 1u);
    EXPECT_EQ(settings.command.settings.changes[0].second, "5=6");
}

TEST(CommandLineTest, FiltersByNumberLabelOrUniquePrefix) {
    struct Case {
        std::string text;
        int32 index;  // -1: refused
    };
    const std::vector<Case> cases = {
        {"0", 0},
        {"11", 11},
        {"07", 7},
        {"12", -1},
        {"011", -1},
        {"Rotation à 180°", 11},
        {"ROTATION A 180°", 11},
        {"dessin a main levee (gras", 9},
        {"dessin", -1},  // three of them
        {"Echanger", -1},
        {"échanger vert", 6},
        {"Basculement", 4},
        {"", -1},
        {"sépia", -1},
    };
    for (const Case& c : cases) {
        const FilterLookup lookup = FindFilter(c.text);
        EXPECT_EQ(lookup.index.value_or(-1), c.index) << c.text;
        EXPECT_EQ(lookup.error.empty(), c.index >= 0) << c.text;
    }
    EXPECT_NE(FindFilter("dessin").error.find("10  Dessin à main levée (peu de contraste)"),
              std::string::npos);
}

TEST(CommandLineTest, FormatsByNameThenTypeThenAnyExtension) {
    std::vector<OutputFormat> catalogue(4);
    catalogue[0].name = "Image JPEG";
    catalogue[0].MIME = "image/jpeg";
    catalogue[0].extension = ".jpg";
    catalogue[1].name = "JPEG rapide";
    catalogue[1].MIME = "image/jpeg";
    catalogue[1].extension = ".jpg";
    catalogue[2].name = "image/png";  // a name that reads like another entry's type
    catalogue[2].MIME = "image/x-other";
    catalogue[3].name = "Image PNG";
    catalogue[3].MIME = "image/png";
    catalogue[3].extension = ".png";
    struct Case {
        std::string text;
        int32 index;
    };
    const std::vector<Case> cases = {
        {"jpeg rapide", 1}, {"IMAGE/JPEG", 0}, {"jpeg", 0},   {".JPE", 0},
        {"image/png", 2},   {"png", 3},        {".png", 3},   {"image/gif", -1},
        {"gif", -1},        {"", -1},          {"image", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindFormat(catalogue, c.text).index.value_or(-1), c.index) << c.text;
    }
    EXPECT_NE(FindFormat(catalogue, "gif").error.find("orvane formats"), std::string::npos);
    EXPECT_NE(FindFormat({}, "png").error.find("aucun traducteur"), std::string::npos);
}

std::string Captured(bool interactive, const std::vector<std::pair<int32, int32>>& steps) {
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    Progress progress(out, interactive);
    for (const auto& [done, total] : steps) {
        progress.Update(done, total);
    }
    progress.Finish();
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(CommandLineTest, ProgressShowsEachStepOnceAsLinesOrABar) {
    EXPECT_EQ(Captured(false, {{0, 0}, {0, 3}, {0, 3}, {1, 3}, {3, 3}}),
              "0/3 fichiers traités\n1/3 fichiers traités\n3/3 fichiers traités\n");
    const std::string bar = Captured(true, {{1, 3}, {3, 3}});
    EXPECT_EQ(bar,
              "\r[##########....................] 1/3 fichiers traités\033[K"
              "\r[##############################] 3/3 fichiers traités\033[K\n");
    EXPECT_EQ(Captured(true, {{0, 0}}), "");  // no bar, no stray line
}

}  // namespace
}  // namespace orv::cli
