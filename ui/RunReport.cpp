// SPDX-License-Identifier: MIT
#include "ui/RunReport.h"

namespace orv {

namespace {

// The tooltip names at most this many files; the list window has them all.
constexpr size_t kTooltipLines = 15;

constexpr rgb_color kAlarmRed = {180, 0, 0, 255};

std::string Counted(size_t count, const char* one, const char* many) {
    return std::to_string(count) + (count == 1 ? one : many);
}

std::string Summary(int32 count, size_t failed, size_t warned) {
    std::string summary;
    if (failed > 0) {
        summary = Counted(failed, " fichier sur ", " fichiers sur ") + std::to_string(count) +
                  (failed == 1 ? " n’a pas pu être converti." : " n’ont pas pu être convertis.");
    }
    if (warned > 0) {
        summary += summary.empty() ? "" : " ";
        summary += Counted(warned, " fichier converti avec un avertissement.",
                           " fichiers convertis avec un avertissement.");
    }
    return summary;
}

}  // namespace

ViewNote RunReportNote(int32 count, const std::vector<RunIssue>& failures,
                       const std::vector<RunIssue>& warnings) {
    ViewNote note;
    if (failures.empty() && warnings.empty()) {
        return note;
    }
    note.link = failures.empty()
                    ? Counted(warnings.size(), " avertissement : voir la liste",
                              " avertissements : voir la liste")
                    : Counted(failures.size(), " échec : voir la liste", " échecs : voir la liste");
    note.linkColor = kAlarmRed;
    note.listTitle = "Fichiers non convertis";
    note.listSummary = Summary(count, failures.size(), warnings.size());
    note.columns = {"Fichier", "Raison"};
    note.tooltip = note.listSummary;
    for (const RunIssue& failure : failures) {
        note.rows.push_back({failure.path, failure.reason});
    }
    for (const RunIssue& warning : warnings) {
        note.rows.push_back({warning.path, "Avertissement : " + warning.reason});
    }
    for (size_t i = 0; i < note.rows.size(); ++i) {
        if (i == kTooltipLines) {
            note.tooltip += "\n…";
            break;
        }
        // The tooltip gives a warning's reason as it came, without the list's prefix.
        const RunIssue& issue = i < failures.size() ? failures[i] : warnings[i - failures.size()];
        note.tooltip += "\n" + issue.path + " : " + issue.reason;
    }
    return note;
}

}  // namespace orv
