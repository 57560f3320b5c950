// SPDX-License-Identifier: MIT
// Runs that go wrong: whatever fails, no source is lost, no partial output or temporary file
// is left, and each failure is reported with its reason.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <functional>

#include "tests/run/RunTestSupport.h"
#include "ui/FormControls.h"

namespace orv::test {
namespace {

class FaultTest : public testing::Test {
protected:
    FaultTest() {
        RegisterBrokenEncoder();
        window = std::make_unique<ProgramWindow>();
    }

    // One run over `files` with the old files erased, the harshest choice for a source.
    BMessage EraseRun(const std::vector<fs::path>& files, const std::string& mime,
                      const std::function<void()>& beforeRun = {}) {
        EXPECT_EQ(window->Display().Click(window->Id(), form::kErase), B_OK);
        window->DropFiles(files);
        window->ChooseFormat(mime);
        window->Sync();
        if (beforeRun) {
            beforeRun();
        }
        BMessage report = window->Convert();
        RecordProperty("reason", Reason(report));
        return report;
    }
    static std::string Reason(const BMessage& report) { return report.GetString("reason", ""); }

    TempDir dir;
    std::unique_ptr<ProgramWindow> window;
};

TEST_F(FaultTest, FailingEncoderLeavesTheSourceAndNoPartialFile) {
    WritePPM(dir.Path() / "a.ppm");
    const std::string before = ReadAll(dir.Path() / "a.ppm");
    const BMessage report = EraseRun({dir.Path() / "a.ppm"}, kBrokenMIME);
    EXPECT_EQ(report.GetInt32("converted", -1), 1);
    EXPECT_EQ(report.GetInt32("failed", -1), 1);
    EXPECT_EQ(Reason(report), "encodeur en panne");
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"a.ppm"});
    EXPECT_EQ(ReadAll(dir.Path() / "a.ppm"), before);
    window->Window().Lock();
    const std::vector<RunIssue> failures = window->Window().Failures();
    window->Window().Unlock();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, dir / "a.ppm");
    // The window says so under its status bar, which counts the file as processed.
    const std::optional<ViewNote> note = window->Display().FindNote(window->Id(), form::kStatusBar);
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->link, "1 échec : voir la liste");
}

TEST_F(FaultTest, SourceGoneBeforeTheRunIsReportedAndTheOthersGoOn) {
    WritePPM(dir.Path() / "a.ppm");
    WritePPM(dir.Path() / "b.ppm");
    const BMessage report = EraseRun({dir.Path() / "a.ppm", dir.Path() / "b.ppm"}, "image/png",
                                     [&] { fs::remove(dir.Path() / "a.ppm"); });
    EXPECT_EQ(report.GetInt32("converted", -1), 2);
    EXPECT_EQ(report.GetInt32("failed", -1), 1);
    EXPECT_EQ(report.GetString("failure", ""), dir / "a.ppm");
    EXPECT_FALSE(Reason(report).empty());
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"b.png"});
}

TEST_F(FaultTest, ReadOnlyFolderKeepsItsSource) {
    SmallDisk disk("1m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting needs root";
    }
    WritePPM(disk.Path() / "a.ppm");
    ASSERT_TRUE(disk.MakeReadOnly());
    const BMessage report = EraseRun({disk.Path() / "a.ppm"}, "image/png");
    EXPECT_EQ(report.GetInt32("failed", -1), 1);
    EXPECT_FALSE(Reason(report).empty());
    EXPECT_EQ(Listing(disk.Path()), std::vector<std::string>{"a.ppm"});
}

TEST_F(FaultTest, FullDiskKeepsTheSourceAndLeavesNoTemporary) {
    SmallDisk disk("256k");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting needs root";
    }
    WritePPM(disk.Path() / "a.ppm", 120, 120);
    const std::string before = ReadAll(disk.Path() / "a.ppm");
    disk.Fill();
    const BMessage report = EraseRun({disk.Path() / "a.ppm"}, "image/png");
    EXPECT_EQ(report.GetInt32("failed", -1), 1);
    EXPECT_FALSE(Reason(report).empty());
    EXPECT_EQ(Listing(disk.Path()), (std::vector<std::string>{"a.ppm", "remplissage"}));
    EXPECT_EQ(ReadAll(disk.Path() / "a.ppm"), before);
}

TEST_F(FaultTest, RefusedTrashLeavesTheSourceAndWarns) {
    // A disk of its own, whose trash folder cannot be made: a file holds its name.
    SmallDisk disk("1m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting needs root";
    }
    const std::string trashName = ".Trash-" + std::to_string(getuid());
    WriteText(disk.Path() / trashName, "x");
    WritePPM(disk.Path() / "a.ppm");
    window->DropFiles({disk.Path() / "a.ppm"});
    window->ChooseFormat("image/x-portable-pixmap");
    const BMessage report = window->Convert();
    EXPECT_EQ(report.GetInt32("failed", -1), 0);
    EXPECT_EQ(report.GetString("warning", ""), (disk.Path() / "a.ppm").string());
    EXPECT_FALSE(std::string(report.GetString("warning_reason", "")).empty());
    // The output avoids the source that stayed.
    EXPECT_EQ(Listing(disk.Path()), (std::vector<std::string>{trashName, "a.ppm", "a.ppm 2"}));
}

TEST_F(FaultTest, EveryNumberTakenFailsWithoutOverwriting) {
    WritePPM(dir.Path() / "a.ppm");
    WriteText(dir.Path() / "a.png", "déjà là");
    for (int number = 2; number <= 65535; ++number) {
        const int fd = open((dir / ("a.png " + std::to_string(number))).c_str(),
                            O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    const BMessage report = EraseRun({dir.Path() / "a.ppm"}, "image/png");
    EXPECT_EQ(report.GetInt32("failed", -1), 1);
    EXPECT_FALSE(Reason(report).empty());
    EXPECT_EQ(ReadAll(dir.Path() / "a.png"), "déjà là");
    EXPECT_EQ(ReadAll(dir.Path() / "a.png 65535"), "");
    EXPECT_TRUE(fs::exists(dir.Path() / "a.ppm"));
    EXPECT_EQ(Listing(dir.Path()).size(), 65536u);
}

}  // namespace
}  // namespace orv::test
