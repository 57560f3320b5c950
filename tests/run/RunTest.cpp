// SPDX-License-Identifier: MIT
// Conversion runs driven as a user drives them: files dropped on the window, a format
// chosen, "Convertir" pressed; then what is in the folders, the trash and the status bar.
#include <gtest/gtest.h>

#include "tests/run/RunTestSupport.h"
#include "ui/FormControls.h"

namespace orv::test {
namespace {

class RunTest : public testing::Test {
protected:
    void Choose(const char* control) {
        ASSERT_EQ(window.Display().Click(window.Id(), control), B_OK);
    }
    void TypeSize(const std::string& width, const std::string& height) {
        ASSERT_EQ(window.Display().Type(window.Id(), form::kScaleX, width), B_OK);
        ASSERT_EQ(window.Display().Type(window.Id(), form::kScaleY, height), B_OK);
    }
    static std::vector<std::string> Strings(const BMessage& message, const char* name) {
        std::vector<std::string> values;
        std::string value;
        for (int32 i = 0; message.FindString(name, i, &value) == B_OK; ++i) {
            values.push_back(value);
        }
        return values;
    }

    TempDir dir;
    ProgramWindow window;
};

TEST_F(RunTest, CountsEveryFileAndReportsThoseThatAreNoPictures) {
    WritePPM(dir.Path() / "A.ppm");
    WriteText(dir.Path() / "b.ppm", "ceci n'est pas une image");
    WritePPM(dir.Path() / "c.ppm");
    Choose(form::kKeep);
    window.DropFiles({dir.Path() / "A.ppm", dir.Path() / "b.ppm", dir.Path() / "c.ppm"});
    EXPECT_EQ(window.View(form::kStatusBar).trailingText, "0/3");
    window.ChooseFormat("image/png");
    window.Display().TakeProgress();

    const BMessage report = window.Convert();
    EXPECT_EQ(window.Display().TakeProgress(),
              (std::vector<std::string>{"0/3", "1/3", "2/3", "3/3"}));
    EXPECT_EQ(report.GetInt32("converted", -1), 3);
    EXPECT_EQ(report.GetInt32("count", -1), 3);
    EXPECT_EQ(report.GetInt32("failed", -1), 1);
    EXPECT_EQ(Strings(report, "failure"), std::vector<std::string>{dir / "b.ppm"});
    ASSERT_EQ(Strings(report, "reason").size(), 1u);
    EXPECT_FALSE(Strings(report, "reason")[0].empty());

    EXPECT_EQ(Listing(dir.Path()),
              (std::vector<std::string>{"A.ppm", "a.png", "b.ppm", "c.png", "c.ppm"}));
    EXPECT_EQ(Pixels(dir.Path() / "a.png"), Pixels(dir.Path() / "A.ppm"));
    const ViewState status = window.View(form::kStatusBar);
    EXPECT_EQ(status.text, "Nombre de fichiers convertis");
    EXPECT_EQ(status.trailingText, "3/3");
    EXPECT_EQ(status.currentValue, 3);
    EXPECT_EQ(status.maxValue, 3);

    // A second run over the same list numbers its outputs beside the first ones.
    window.Convert();
    EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"A.ppm", "a.png", "a.png 2", "b.ppm",
                                                             "c.png", "c.png 2", "c.ppm"}));

    // A new list that holds nothing moves only the maximum.
    TempDir empty;
    window.DropFiles({empty.Path()});
    const ViewState after = window.View(form::kStatusBar);
    EXPECT_EQ(after.maxValue, 0);
    EXPECT_EQ(after.trailingText, "3/3");
    window->Lock();
    EXPECT_EQ(window->RefCount(), 0);
    window->Unlock();

    // The note under the bar that told of b.ppm goes with the next run without a failure.
    EXPECT_EQ(window.Display().FindNote(window.Id(), form::kStatusBar)->link,
              "1 échec : voir la liste");
    window.DropFiles({dir.Path() / "c.ppm"});
    window.Convert();
    EXPECT_TRUE(window.Display().FindNote(window.Id(), form::kStatusBar)->IsEmpty());
}

TEST_F(RunTest, FoldersExpandBreadthFirstAndLinksStay) {
    fs::create_directories(dir.Path() / "top/sub/deeper");
    fs::create_directories(dir.Path() / "top/empty");
    WritePPM(dir.Path() / "top/b.ppm");
    WritePPM(dir.Path() / "top/a.ppm");
    WritePPM(dir.Path() / "top/sub/c.ppm");
    WritePPM(dir.Path() / "top/sub/deeper/d.ppm");
    fs::create_directory_symlink(dir.Path() / "top/sub", dir.Path() / "top/link");
    WritePPM(dir.Path() / "z.ppm");

    window.DropFiles({dir.Path() / "top", dir.Path() / "z.ppm"});
    window->Lock();
    std::vector<std::string> paths;
    entry_ref ref;
    for (int32 i = 0; window->Refs()->FindRef("refs", i, &ref) == B_OK; ++i) {
        paths.push_back(ref.Path().substr(dir.Path().string().size() + 1));
    }
    const int32 count = window->RefCount();
    window->Unlock();
    EXPECT_EQ(paths, (std::vector<std::string>{"z.ppm", "top/a.ppm", "top/b.ppm", "top/link",
                                               "top/sub/c.ppm", "top/sub/deeper/d.ppm"}));
    EXPECT_EQ(count, 6);
    EXPECT_EQ(window.View(form::kStatusBar).trailingText, "0/6");
}

TEST_F(RunTest, TrashedSourcesCanBeRestored) {
    WritePPM(dir.Path() / "photo.ppm");
    window.DropFiles({dir.Path() / "photo.ppm"});
    window.ChooseFormat("image/png");
    const BMessage report = window.Convert();
    EXPECT_EQ(report.GetInt32("failed", -1), 0);
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"photo.png"});

    // Its record names where it came from, and the file is kept under the same name.
    const fs::path trash = ProgramEnvironment::Home() / ".local/share/Trash";
    const std::string origin = "Path=" + (dir / "photo.ppm") + "\n";
    int found = 0;
    for (const std::string& info : Listing(trash / "info")) {
        const std::string record = ReadAll(trash / "info" / info);
        if (record.find(origin) != std::string::npos) {
            ++found;
            EXPECT_EQ(record.rfind("[Trash Info]\n", 0), 0u);
            EXPECT_NE(record.find("DeletionDate="), std::string::npos);
            const std::string leaf = info.substr(0, info.size() - std::string(".trashinfo").size());
            EXPECT_EQ(ReadAll(trash / "files" / leaf).substr(0, 2), "P6");
        }
    }
    EXPECT_EQ(found, 1);
}

TEST_F(RunTest, ASourceOfTheOutputsOwnNameIsReplacedOnlyWhenItLeaves) {
    struct Case {
        const char* control;
        std::vector<std::string> listing;
    };
    const Case cases[] = {
        {form::kKeep, {"photo.png", "photo.png 2"}},
        {form::kErase, {"photo.png"}},
        {form::kTrash, {"photo.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        TempDir folder;
        WritePicture(folder.Path() / "photo.png", "image/png");
        const std::vector<uint32> before = Pixels(folder.Path() / "photo.png");
        Choose(c.control);
        // Half a turn shows that the file named photo.png afterwards is the new one.
        ASSERT_EQ(window.Display().Choose(window.Id(), form::kFilterMenu, kRotate180Filter), B_OK);
        window.DropFiles({folder.Path() / "photo.png"});
        window.ChooseFormat("image/png");
        const BMessage report = window.Convert();
        EXPECT_EQ(report.GetInt32("failed", -1), 0);
        EXPECT_EQ(Listing(folder.Path()), c.listing);
        const std::vector<uint32> output = Pixels(folder.Path() / c.listing.back());
        EXPECT_EQ(output, std::vector<uint32>(before.rbegin(), before.rend()));
    }
}

TEST_F(RunTest, OptionsReachEveryFile) {
    WritePPM(dir.Path() / "Large.PPM", 8, 4);
    Choose(form::kKeep);
    Choose(form::kRemoveOldExtension);
    TypeSize("4", "");
    window.DropFiles({dir.Path() / "Large.PPM"});
    window.ChooseFormat("image/png");
    window.Convert();
    ASSERT_TRUE(fs::exists(dir.Path() / "large.ppm.png"));
    const entry_ref ref(dir.Path().string(), "large.ppm.png");
    std::unique_ptr<BBitmap> output;
    ASSERT_EQ(BTranslationUtils::GetBitmap(&ref, &output), B_OK);
    EXPECT_EQ(output->Bounds(), BRect(0, 0, 3, 1));

    // A size no bitmap may have fails that file alone, with its reason.
    TypeSize("70000", "");
    const BMessage report = window.Convert();
    EXPECT_EQ(report.GetInt32("failed", -1), 1);
    EXPECT_FALSE(Strings(report, "reason").at(0).empty());
    EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"Large.PPM", "large.ppm.png"}));
}

TEST_F(RunTest, AddOnListAllowsOneRunEvenWithoutAFormat) {
    WritePPM(dir.Path() / "a.ppm");
    window.DropFiles({dir.Path() / "a.ppm"}, true);
    const BMessage report = window.Convert();
    EXPECT_EQ(report.GetInt32("converted", -1), 0);
    EXPECT_TRUE(window.WaitClosed());
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"a.ppm"});
}

}  // namespace
}  // namespace orv::test
