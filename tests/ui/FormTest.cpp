// SPDX-License-Identifier: MIT
// The main window's form as the display shows it, and what a user's input does to it.
#include <gtest/gtest.h>

#include <map>

#include "platform/interface/SettingsView.h"
#include "platform/interface/StatusBar.h"
#include "tests/conversion/ProgramTestSupport.h"
#include "ui/FormControls.h"
#include "ui/OrvView.h"

namespace orv::test {
namespace {

struct Row {
    const char* name;
    ViewKind kind;
    const char* parentLabel;  // nullptr: the main view; otherwise the box's label ("" none)
    const char* label;
    const char* text;
    int32 value;
};

// What a user sees of each control when the window opens.
const Row kRows[] = {
    {form::kTitle, ViewKind::StringView, nullptr, "", "Orvane 2.0", 0},
    {form::kStatusBar, ViewKind::StatusBar, nullptr, "", "", 0},
    {form::kScaleX, ViewKind::TextControl, "", "X : ", "", 0},
    {form::kScaleY, ViewKind::TextControl, "", "Y : ", "", 0},
    {form::kKeepRatio, ViewKind::CheckBox, "", "Garder les proportions", "", 1},
    {form::kSmooth, ViewKind::CheckBox, "", "Anti-crênelage", "", 0},
    {form::kRemoveOldExtension, ViewKind::CheckBox, "", "Retirer l'ancienne ext.", "", 1},
    {form::kAddNewExtension, ViewKind::CheckBox, "", "Ajouter la nouvelle ext.", "", 1},
    {form::kTrash, ViewKind::RadioButton, "anciens fichiers", "les mettre dans la corbeille", "",
     1},
    {form::kKeep, ViewKind::RadioButton, "anciens fichiers", "les conserver", "", 0},
    {form::kErase, ViewKind::RadioButton, "anciens fichiers", "les effacer", "", 0},
    {form::kFilterMenu, ViewKind::MenuField, nullptr, "Appliquer un filtre :", "Aucun (par défaut)",
     0},
    {form::kFormatMenu, ViewKind::MenuField, nullptr, "", "Format de sortie", -1},
    {form::kAdvanced, ViewKind::Button, nullptr, "Avancé", "", 0},
    {form::kConvert, ViewKind::Button, nullptr, "Convertir", "", 0},
};

bool Overlap(const BRect& a, const BRect& b) {
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

class FormTest : public testing::Test {
protected:
    ProgramWindow window;
};

TEST_F(FormTest, WindowAndEveryControlStartAsTheFormSays) {
    const WindowState shown = *window.Display().FindWindow("Orvane 2.0 fr");
    EXPECT_EQ(shown.look, B_FLOATING_WINDOW_LOOK);
    EXPECT_EQ(shown.feel, B_NORMAL_WINDOW_FEEL);
    EXPECT_EQ(shown.flags, uint32(B_NOT_RESIZABLE));

    const ViewState main = window.View(form::kView);
    EXPECT_EQ(main.frame, BRect(0, 0, shown.frame.Width(), shown.frame.Height()))
        << "the form fills the window";

    const std::vector<ViewState> views = window.Display().Views(window.Id());
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const ViewState view = window.View(row.name);
        EXPECT_EQ(view.kind, row.kind);
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
    // The two menus show the whole of their choice, without a label taking room from it.
    EXPECT_TRUE(window.View(form::kFilterMenu).fixedSize);
    EXPECT_TRUE(window.View(form::kFormatMenu).fixedSize);
    EXPECT_FLOAT_EQ(window.View(form::kFormatMenu).divider, 0);
    EXPECT_FALSE(window.View(form::kCredit).text.empty());
}

// Every view lies inside its parent, and no control hides part of another.
TEST_F(FormTest, EveryControlIsWhollyVisible) {
    const std::vector<ViewState> views = window.Display().Views(window.Id());
    std::map<ViewId, ViewState> byId;
    for (const ViewState& view : views) {
        byId[view.id] = view;
    }
    for (const ViewState& view : views) {
        SCOPED_TRACE(view.name);
        if (view.parent != 0) {
            const BRect parent = byId[view.parent].frame;
            const BRect inside(0, 0, parent.Width(), parent.Height());
            EXPECT_TRUE(inside.Contains(view.frame.LeftTop()) &&
                        inside.Contains(view.frame.RightBottom()));
        }
        for (const ViewState& other : views) {
            // Text lines may touch; a control must not.
            if (other.id != view.id && other.parent == view.parent &&
                view.kind != ViewKind::StringView && other.kind != ViewKind::StringView) {
                EXPECT_FALSE(Overlap(view.frame, other.frame)) << other.name;
            }
        }
    }
}

TEST_F(FormTest, MenusMoveTheirMarkAsAUserChooses) {
    const MenuState menu = window.View(form::kFilterMenu).menu;
    ASSERT_EQ(menu.items.size(), 12u);
    EXPECT_EQ(menu.items[0], "Aucun (par défaut)");
    EXPECT_EQ(menu.items[11], "Rotation à 180°");
    EXPECT_TRUE(window.View(form::kFormatMenu).menu.radioMode);

    ASSERT_EQ(window.Display().Choose(window.Id(), form::kFilterMenu, "Rotation à 180°"), B_OK);
    window.Sync();
    const MenuState chosen = window.View(form::kFilterMenu).menu;
    EXPECT_EQ(chosen.marked, 11);
    EXPECT_EQ(chosen.shownLabel, "Rotation à 180°");
}

TEST_F(FormTest, OldFileChoicesFormOneGroup) {
    const auto values = [&] {
        return std::vector<int32>{window.View(form::kTrash).value, window.View(form::kKeep).value,
                                  window.View(form::kErase).value};
    };
    ASSERT_EQ(window.Display().Click(window.Id(), form::kErase), B_OK);
    window.Sync();
    EXPECT_EQ(values(), (std::vector<int32>{0, 0, 1}));
    ASSERT_EQ(window.Display().Click(window.Id(), form::kKeep), B_OK);
    window.Sync();
    EXPECT_EQ(values(), (std::vector<int32>{0, 1, 0}));
    // The check boxes are independent of it and of each other.
    ASSERT_EQ(window.Display().Click(window.Id(), form::kSmooth), B_OK);
    window.Sync();
    EXPECT_EQ(window.View(form::kSmooth).value, 1);
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

    const ViewState status = window.View(form::kStatusBar);
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
    EXPECT_EQ(window.View(form::kStatusBar).maxValue, BStatusBar::kDefaultMaxValue);
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
    ASSERT_EQ(window.Display().Click(window.Id(), form::kAdvanced), B_OK);
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
    ASSERT_EQ(window.Display().Click(window.Id(), form::kAdvanced), B_OK);
    ASSERT_EQ(window.Display().Click(window.Id(), form::kAdvanced), B_OK);
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
