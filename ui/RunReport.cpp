// SPDX-License-Identifier: MIT
#include "ui/RunReport.h"

namespace orv {

namespace {

// The tooltip names at most this many files; the list window has them all.
constexpr size_t kTooltipLines = 15;

constexpr rgb_color kAlarmRed = {180, 0, 0, 255};
// Skipped files are no fault: the link says so in a quieter colour.
constexpr rgb_color kQuietGrey = {80, 80, 80, 255};

std::string Counted(size_t count, const char* one, const char* many) {
    return std::to_string(count) + (count == 1 ? one : many);
}

void AddSentence(std::string* text, const std::string& sentence) {
    *text += text->empty() ? "" : " ";
    *text += sentence;
}

// A notice names this many files; its action opens the list of them all.
constexpr size_t kNoticeLines = 3;

std::string LeafName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A row of the list, and of the tooltip, for each issue: failures, warnings, skipped files.
struct Row {
    const RunIssue* issue;
    const char* prefix;  // what the list puts before the reason
};

std::vector<Row> Rows(const RunOutcome& run) {
    std::vector<Row> rows;
    for (const RunIssue& failure : run.failures) {
        rows.push_back({&failure, ""});
    }
    for (const RunIssue& warning : run.warnings) {
        rows.push_back({&warning, "Avertissement : "});
    }
    for (const RunIssue& skipped : run.skipped) {
        rows.push_back({&skipped, "Ignoré : "});
    }
    return rows;
}

}  // namespace

std::string RunSummaryText(const RunOutcome& run) {
    std::string summary;
    if (run.interrupted) {
        AddSentence(&summary, "Conversion interrompue : " + std::to_string(run.processed) +
                                  " fichiers traités sur " + std::to_string(run.count) + ".");
    }
    const size_t failed = run.failures.size();
    if (failed > 0) {
        AddSentence(
            &summary,
            Counted(failed, " fichier sur ", " fichiers sur ") + std::to_string(run.count) +
                (failed == 1 ? " n’a pas pu être converti." : " n’ont pas pu être convertis."));
    }
    if (!run.warnings.empty()) {
        AddSentence(&summary,
                    Counted(run.warnings.size(), " fichier converti avec un avertissement.",
                            " fichiers convertis avec un avertissement."));
    }
    if (!run.skipped.empty()) {
        AddSentence(&summary,
                    Counted(run.skipped.size(), " fichier ignoré : ce n’est pas une image.",
                            " fichiers ignorés : ce ne sont pas des images."));
    }
    return summary;
}

DesktopNotice RunNotice(const RunOutcome& run) {
    DesktopNotice notice;
    notice.title =
        run.failures.empty()
            ? Counted(run.warnings.size(), " fichier converti avec un avertissement",
                      " fichiers convertis avec un avertissement")
            : Counted(run.failures.size(), " fichier non converti", " fichiers non convertis");
    notice.body = RunSummaryText(run);
    const std::vector<Row> rows = Rows(run);
    for (size_t i = 0; i < rows.size() && i < kNoticeLines; ++i) {
        // Appended rather than joined with operator+, which GCC 12 at -O3 takes for an
        // overlapping copy.
        notice.body.append("\n")
            .append(LeafName(rows[i].issue->path))
            .append(" : ")
            .append(rows[i].issue->reason);
    }
    if (rows.size() > kNoticeLines) {
        notice.body += "\n…";
    }
    notice.action = "Voir la liste";
    return notice;
}

ViewNote RunReportNote(const RunOutcome& run) {
    ViewNote note;
    const std::string summary = RunSummaryText(run);
    if (summary.empty()) {
        return note;
    }
    if (!run.failures.empty()) {
        note.link =
            Counted(run.failures.size(), " échec : voir la liste", " échecs : voir la liste");
    } else if (!run.warnings.empty()) {
        note.link = Counted(run.warnings.size(), " avertissement : voir la liste",
                            " avertissements : voir la liste");
    } else if (!run.skipped.empty()) {
        note.link = Counted(run.skipped.size(), " fichier ignoré : voir la liste",
                            " fichiers ignorés : voir la liste");
    } else {
        note.link = "conversion interrompue";
    }
    note.linkColor = run.HasProblems() || run.interrupted ? kAlarmRed : kQuietGrey;
    note.listTitle = "Fichiers non convertis";
    note.listSummary = summary;
    note.columns = {"Fichier", "Raison"};
    note.tooltip = summary;
    const std::vector<Row> rows = Rows(run);
    for (size_t i = 0; i < rows.size(); ++i) {
        note.rows.push_back({rows[i].issue->path, rows[i].prefix + rows[i].issue->reason});
        if (i < kTooltipLines) {
            // The tooltip gives each reason as it came, without the list's prefix.
            note.tooltip += "\n" + rows[i].issue->path + " : " + rows[i].issue->reason;
        } else if (i == kTooltipLines) {
            note.tooltip += "\n…";
        }
    }
    return note;
}

}  // namespace orv
