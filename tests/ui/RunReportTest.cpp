// SPDX-License-Identifier: MIT
// The note a run leaves under the status bar: what it says, in French, for one and for
// many files, and how much of the list its tooltip names.
#include <gtest/gtest.h>

#include <algorithm>

#include "ui/RunReport.h"

namespace orv {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

TEST(RunReport, ARunWithoutIssuesTakesTheNoteAway) {
    EXPECT_TRUE(RunReportNote(4, {}, {}).IsEmpty());
}

TEST(RunReport, FailuresAndWarningsAreCountedInFrench) {
    const ViewNote many = RunReportNote(
        5, {{"/photos/a.png", "fichier PNG tronqué"}, {"/photos/b.jpg", "disque plein"}}, {});
    EXPECT_EQ(many.link, "2 échecs : voir la liste");
    EXPECT_EQ(many.listSummary, "2 fichiers sur 5 n’ont pas pu être convertis.");
    EXPECT_EQ(many.listTitle, "Fichiers non convertis");
    EXPECT_EQ(many.columns, (std::vector<std::string>{"Fichier", "Raison"}));
    EXPECT_EQ(many.rows,
              (std::vector<std::vector<std::string>>{{"/photos/a.png", "fichier PNG tronqué"},
                                                     {"/photos/b.jpg", "disque plein"}}));
    EXPECT_EQ(Lines(many.tooltip),
              (std::vector<std::string>{"2 fichiers sur 5 n’ont pas pu être convertis.",
                                        "/photos/a.png : fichier PNG tronqué",
                                        "/photos/b.jpg : disque plein"}));

    const ViewNote mixed =
        RunReportNote(3, {{"/a.png", "illisible"}}, {{"/b.png", "original laissé en place"}});
    EXPECT_EQ(mixed.link, "1 échec : voir la liste");
    EXPECT_EQ(mixed.listSummary,
              "1 fichier sur 3 n’a pas pu être converti. 1 fichier converti avec un "
              "avertissement.");
    EXPECT_EQ(mixed.rows.back(),
              (std::vector<std::string>{"/b.png", "Avertissement : original laissé en place"}));

    const ViewNote warned = RunReportNote(2, {}, {{"/a.png", "x"}, {"/b.png", "y"}});
    EXPECT_EQ(warned.link, "2 avertissements : voir la liste");
    EXPECT_EQ(warned.listSummary, "2 fichiers convertis avec un avertissement.");
}

// The tooltip names the first fifteen files, failures then warnings, and no more; the list
// has them all.
TEST(RunReport, TheTooltipStopsAtFifteenFiles) {
    std::vector<RunIssue> failures;
    for (int i = 0; i < 20; ++i) {
        failures.push_back({"/f" + std::to_string(i), "raison"});
    }
    const ViewNote note = RunReportNote(30, failures, {{"/w", "avertissement"}});
    const std::vector<std::string> lines = Lines(note.tooltip);
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[15], "/f14 : raison");
    EXPECT_EQ(lines[16], "…");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "/w : avertissement"), 0);
    EXPECT_EQ(note.rows.size(), 21u);
}

}  // namespace
}  // namespace orv
