// SPDX-License-Identifier: MIT
// The main window's form as the display shows it, and what a user's input does to it.
#include <gtest/gtest.h>

#include "platform/interface/SettingsView.h"
#include "platform/interface/StatusBar.h"
#include "tests/conversion/ProgramTestSupport.h"
#include "ui/OrvView.h"

namespace orv::test {
namespace {

struct Row {
    const char* name;
    ViewKind kind;
    const char* parentLabel;  // nullptr: the main view; otherwise the box's label ("" none)
    BRect frame;
    const char* label;
    const char* text;
    int32 value;
};

// Frames in the main window, whose view is 400 × 230.
const Row kRows[] = {
    {"MainText", ViewKind::StringView, nullptr, BRect(15, 10, 385, 30), "", "Orvane 2.0", 0},
    {"StatusBar", ViewKind::StatusBar, nullptr, BRect(170, 45, 385, 65), "", "", 0},
    {"BT_ScaleX", ViewKind::TextControl, "", BRect(4, 5, 115, 25), "X : ", "", 0},
    {"BT_ScaleY", ViewKind::TextControl, "", BRect(4, 27, 115, 47), "Y : ", "", 0},
    {"CB_KeepRatio", ViewKind::CheckBox, "", BRect(4, 49, 140, 64), "Garder les proportions", "",
     1},
    {"CB_Smooth", ViewKind::CheckBox, "", BRect(4, 83, 140, 98), "Anti-crênelage", "", 0},
    {"CB_DelExt", ViewKind::CheckBox, "", BRect(4, 100, 140, 115), "Retirer l'ancienne ext.", "",
     1},
    {"CB_AddExt", ViewKind::CheckBox, "", BRect(4, 117, 140, 132), "Ajouter la nouvelle ext.", "",
     1},
    {"RB_Trash", ViewKind::RadioButton, "anciens fichiers", BRect(15, 15, 165, 30),
     "les mettre dans la corbeille", "", 1},
    {"RB_Keep", ViewKind::RadioButton, "anciens fichiers", BRect(15, 32, 165, 47), "les conserver",
     "", 0},
    {"RB_Erase", ViewKind::RadioButton, "anciens fichiers", BRect(15, 49, 165, 64), "les effacer",
     "", 0},
    {"M_Filter", ViewKind::MenuField, nullptr, BRect(170, 163, 385, 184),
     "Appliquer un filtre :", "Aucun (par défaut)", 0},
    {"M_Translator", ViewKind::MenuField, nullptr, BRect(15, 195, 160, 217), "", "Format de sortie",
     -1},
    {"BAdvanced", ViewKind::Button, nullptr, BRect(170, 195, 230, 210), "Avancé", "", 0},
    {"BValider", ViewKind::Button, nullptr, BRect(325, 195, 385, 210), "Convertir", "", 0},
};

class FormTest : public testing::Test {
protected:
    ProgramWindow window;
};

TEST_F(FormTest, WindowAndEveryControlStartAsTheFormSays) {
    const WindowState shown = *window.Display().FindWindow("Orvane 2.0 fr");
    EXPECT_EQ(shown.frame, BRect(150, 200, 550, 430));
    EXPECT_EQ(shown.look, B_FLOATING_WINDOW_LOOK);
    EXPECT_EQ(shown.feel, B_NORMAL_WINDOW_FEEL);
    EXPECT_EQ(shown.flags, uint32(B_NOT_RESIZABLE));

    const ViewState main = window.View("Orvane_view");
    EXPECT_EQ(main.frame, BRect(0, 0, 400, 230));
    EXPECT_EQ(main.viewColor, (rgb_color{230, 230, 230, 0}));

    const std::vector<ViewState> views = window.Display().Views(window.Id());
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const ViewState view = window.View(row.name);
        EXPECT_EQ(view.kind, row.kind);
        EXPECT_EQ(view.frame, row.frame);
        EXPECT_EQ(view.label, row.label);
        EXPECT_EQ(view.text, row.text);
        EXPECT_EQ(view.value, row.value);
        ViewId parent = main.id;
        if (row.parentLabel != nullptr) {
            const auto box = std::find_if(views.begin(), views.end(), [&](const ViewState& v) {
                return v.kind == ViewKind::Box && v.label == row.parentLabel && v.parent == main.id;
            });
            ASSERT_NE(box, views.end());
            parent = box->id;
        }
        EXPECT_EQ(view.parent, parent);
    }
    EXPECT_FLOAT_EQ(window.View("BT_ScaleX").divider, 15);
    EXPECT_FLOAT_EQ(window.View("M_Filter").divider, 90);
    EXPECT_FLOAT_EQ(window.View("M_Translator").divider, 0);
    EXPECT_TRUE(window.View("M_Filter").fixedSize);
    EXPECT_TRUE(window.View("M_Translator").fixedSize);
}

TEST_F(FormTest, TitleCreditAndBoxesLookAsDrawn) {
    const ViewState title = window.View("MainText");
    EXPECT_EQ(title.fontFace, B_BOLD_FACE | B_ITALIC_FACE);
    EXPECT_FLOAT_EQ(title.fontSize, 16);
    EXPECT_EQ(title.highColor, (rgb_color{0, 0, 255, 255}));
    const ViewState credit = window.View("AuthorText");
    EXPECT_EQ(credit.frame, BRect(15, 30, 385, 41));
    EXPECT_FLOAT_EQ(credit.fontSize, 10);
    EXPECT_EQ(credit.fontFace, B_REGULAR_FACE);
    EXPECT_EQ(credit.highColor, (rgb_color{220, 0, 0, 255}));
    EXPECT_FALSE(credit.text.empty());

    // The options box with the rule inside it, and the old-files box.
    std::vector<BRect> boxes;
    for (const ViewState& view : window.Display().Views(window.Id())) {
        if (view.kind == ViewKind::Box) {
            boxes.push_back(view.frame);
            EXPECT_EQ(view.border, B_FANCY_BORDER);
        }
    }
    EXPECT_EQ(boxes, (std::vector<BRect>{BRect(15, 45, 160, 185), BRect(20, 74, 125, 75),
                                         BRect(170, 85, 385, 155)}));
}

TEST_F(FormTest, MenusMoveTheirMarkAsAUserChooses) {
    const MenuState menu = window.View("M_Filter").menu;
    ASSERT_EQ(menu.items.size(), 12u);
    EXPECT_EQ(menu.items[0], "Aucun (par défaut)");
    EXPECT_EQ(menu.items[11], "Rotation à 180°");
    EXPECT_TRUE(window.View("M_Translator").menu.radioMode);

    ASSERT_EQ(window.Display().Choose(window.Id(), "M_Filter", "Rotation à 180°"), B_OK);
    window.Sync();
    const MenuState chosen = window.View("M_Filter").menu;
    EXPECT_EQ(chosen.marked, 11);
    EXPECT_EQ(chosen.shownLabel, "Rotation à 180°");
}

TEST_F(FormTest, OldFileChoicesFormOneGroup) {
    const auto values = [&] {
        return std::vector<int32>{window.View("RB_Trash").value, window.View("RB_Keep").value,
                                  window.View("RB_Erase").value};
    };
    ASSERT_EQ(window.Display().Click(window.Id(), "RB_Erase"), B_OK);
    window.Sync();
    EXPECT_EQ(values(), (std::vector<int32>{0, 0, 1}));
    ASSERT_EQ(window.Display().Click(window.Id(), "RB_Keep"), B_OK);
    window.Sync();
    EXPECT_EQ(values(), (std::vector<int32>{0, 1, 0}));
    // The check boxes are independent of it and of each other.
    ASSERT_EQ(window.Display().Click(window.Id(), "CB_Smooth"), B_OK);
    window.Sync();
    EXPECT_EQ(window.View("CB_Smooth").value, 1);
    EXPECT_EQ(values(), (std::vector<int32>{0, 1, 0}));
}

TEST_F(FormTest, DropWithFilesBecomesTheWindowsListWithItsOtherFields) {
    TempDir dir;
    WritePPM(dir.Path() / "a.ppm");
    WriteText(dir.Path() / "b.txt", "texte");
    BMessage drop(B_SIMPLE_DATA);
    const entry_ref a(dir.Path().string(), "a.ppm");
    const entry_ref b(dir.Path().string(), "b.txt");
    drop.AddRef("refs", &a);
    drop.AddRef("refs", &b);
    drop.AddString("origine", "gestionnaire");
    ASSERT_EQ(window.Display().Drop(window.Id(), "", drop), B_OK);
    window.Sync();

    window->Lock();
    ASSERT_NE(window->Refs(), nullptr);
    const BMessage list = *window->Refs();
    EXPECT_EQ(window->RefCount(), 2);
    window->Unlock();
    EXPECT_EQ(list.what, uint32(MSG_FILES));
    EXPECT_EQ(list.GetString("origine", ""), std::string("gestionnaire"));
    entry_ref second;
    ASSERT_EQ(list.FindRef("refs", 1, &second), B_OK);
    EXPECT_EQ(second, b);

    const ViewState status = window.View("StatusBar");
    EXPECT_EQ(status.maxValue, 2);
    EXPECT_EQ(status.text, "Nombre de fichiers convertis");
    EXPECT_EQ(status.label, "");
    EXPECT_EQ(status.trailingText, "0/2");
}

TEST_F(FormTest, DropWithoutFilesChangesNothing) {
    BMessage empty(B_SIMPLE_DATA);
    empty.AddString("text", "du texte glissé");
    ASSERT_EQ(window.Display().Drop(window.Id(), "", empty), B_OK);
    window.Sync();
    window->Lock();
    EXPECT_EQ(window->Refs(), nullptr);
    window->Unlock();
    EXPECT_EQ(window.View("StatusBar").maxValue, BStatusBar::kDefaultMaxValue);
}

TEST_F(FormTest, FileListPostedToTheViewIsTakenOnceNotForwardedAgain) {
    TempDir dir;
    WritePPM(dir.Path() / "a.ppm");
    BMessage files(MSG_FILES);
    const entry_ref a(dir.Path().string(), "a.ppm");
    files.AddRef("refs", &a);
    window->Lock();
    OrvView* view = window->View();
    window->Unlock();
    ASSERT_EQ(window->PostMessage(&files, view), B_OK);
    window.Sync();
    window->Lock();
    EXPECT_EQ(window->RefCount(), 1);
    window->Unlock();
    // One list taken, by the handler chain, and no second post of it.
    EXPECT_EQ(window->CountQueuedMessages(), 0);
}

TEST_F(FormTest, AdvancedOpensOneSettingsWindowPerPressOnlyWithAFormat) {
    RegisterSettingsViews();
    ASSERT_EQ(window.Display().Click(window.Id(), "BAdvanced"), B_OK);
    window.Sync();
    const auto settingsWindows = [&] {
        std::vector<WindowState> found;
        for (const WindowState& shown : window.Display().Windows()) {
            if (shown.title == "Options avancées") {
                found.push_back(shown);
            }
        }
        return found;
    };
    EXPECT_TRUE(settingsWindows().empty());

    window.ChooseFormat("image/png");
    ASSERT_EQ(window.Display().Click(window.Id(), "BAdvanced"), B_OK);
    ASSERT_EQ(window.Display().Click(window.Id(), "BAdvanced"), B_OK);
    window.Sync();
    const std::vector<WindowState> opened = settingsWindows();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].frame.left, 300);
    EXPECT_EQ(opened[0].frame.top, 100);
    EXPECT_EQ(opened[0].frame, opened[1].frame);
    EXPECT_EQ(opened[0].look, B_FLOATING_WINDOW_LOOK);
    EXPECT_EQ(opened[0].flags, uint32(B_NOT_RESIZABLE));
    for (const WindowState& shown : opened) {
        window.Display().Close(shown.id);
    }
    EXPECT_TRUE(window.Display().WaitFor(
        [&](const HeadlessDisplay&) { return settingsWindows().empty(); }, kWait));
}

}  // namespace
}  // namespace orv::test
