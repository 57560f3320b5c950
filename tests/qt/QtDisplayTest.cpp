// SPDX-License-Identifier: MIT
// The main window on the Qt display (offscreen): the widgets stand at the form's frames
// with its texts, what a user does in Qt reaches the controls through the window's queue,
// drops of files become the window's list, and the status bar moves while the window's
// thread is held.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QUrl>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "image/OrvImage.h"
#include "platform/application/AppDefs.h"
#include "platform/display/qt/QtDisplay.h"
#include "platform/display/qt/QtWindowWidget.h"
#include "platform/interface/CheckBox.h"
#include "platform/interface/Menu.h"
#include "platform/interface/RadioButton.h"
#include "platform/interface/SettingsView.h"
#include "platform/interface/StatusBar.h"
#include "platform/interface/TextControl.h"
#include "ui/FormControls.h"
#include "ui/OrvView.h"
#include "ui/OrvWindow.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

// Runs Qt's events until `condition` holds; false after a few seconds.
bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        usleep(1000);
    }
    return true;
}

QString U8(const char* text) {
    return QString::fromUtf8(text);
}

class QtFormTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        static char name[] = "orvane-tests";
        static char* arguments[] = {name, nullptr};
        static int count = 1;
        sApplication = new QApplication(count, arguments);
        sDisplay = QtDisplay::Install().get();
    }
    static void TearDownTestSuite() {
        sDisplay->Shutdown();
        SetDisplayBackend(nullptr);
        delete sApplication;
    }

    void SetUp() override {
        fWindow = new OrvWindow();
        fWindow->Show();
        fId = fWindow->Id();
        ASSERT_TRUE(WaitUntil([this] { return Find<QWidget>(form::kConvert) != nullptr; }));
    }
    void TearDown() override {
        fWindow->Lock();
        fWindow->Quit();
        WaitUntil([this] { return sDisplay->WindowWidget(fId) == nullptr; });
    }

    QWidget* Top() const { return sDisplay->WindowWidget(fId); }

    template <typename T>
    T* Find(const char* name) const {
        QWidget* top = Top();
        return top != nullptr ? top->findChild<T*>(U8(name)) : nullptr;
    }

    // Reads the window's model with the window locked.
    template <typename F>
    auto Model(F read) {
        fWindow->Lock();
        auto value = read(*fWindow->View());
        fWindow->Unlock();
        return value;
    }

    QLabel* StatusTrailing() const {
        const QList<QLabel*> labels = Find<QWidget>(form::kStatusBar)->findChildren<QLabel*>();
        return labels.size() == 2 ? labels[1] : nullptr;
    }

    static QApplication* sApplication;
    static QtDisplay* sDisplay;
    OrvWindow* fWindow = nullptr;
    WindowId fId = 0;
};

QApplication* QtFormTest::sApplication = nullptr;
QtDisplay* QtFormTest::sDisplay = nullptr;

QRect Inclusive(const BRect& frame) {
    return QRect(int(frame.left), int(frame.top), int(frame.right - frame.left) + 1,
                 int(frame.bottom - frame.top) + 1);
}

QColor Colour(rgb_color colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

// Every widget stands where the window's model puts its view (inclusive edges: one pixel
// more than right − left), with the model's texts, colours and states.
TEST_F(QtFormTest, WidgetsMirrorTheWindowsViews) {
    fWindow->Lock();
    const WindowState window = fWindow->State();
    const std::vector<ViewState> views = fWindow->ViewStates();
    fWindow->Unlock();

    QWidget* top = Top();
    EXPECT_EQ(top->windowTitle(), U8(window.title.c_str()));
    EXPECT_EQ(top->geometry().size(), Inclusive(window.frame).size());
    EXPECT_EQ(top->minimumSize(), top->maximumSize()) << "the window is not resizable";

    std::map<ViewId, ViewState> byId;
    for (const ViewState& view : views) {
        byId[view.id] = view;
    }
    for (const ViewState& view : views) {
        if (view.name.empty()) {
            continue;  // the boxes: checked through their children below
        }
        SCOPED_TRACE(view.name);
        QWidget* widget = Find<QWidget>(view.name.c_str());
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), Inclusive(view.frame));
        if (view.parent != 0 && byId[view.parent].name.empty()) {
            EXPECT_EQ(widget->parentWidget()->geometry(), Inclusive(byId[view.parent].frame));
        }
        switch (view.kind) {
            case ViewKind::StringView: {
                auto* label = qobject_cast<QLabel*>(widget);
                EXPECT_EQ(label->text(), U8(view.text.c_str()));
                EXPECT_EQ(label->palette().color(QPalette::WindowText), Colour(view.highColor));
                EXPECT_EQ(label->font().bold(), (view.fontFace & B_BOLD_FACE) != 0);
                EXPECT_EQ(label->font().italic(), (view.fontFace & B_ITALIC_FACE) != 0);
                break;
            }
            case ViewKind::CheckBox:
            case ViewKind::RadioButton: {
                auto* button = qobject_cast<QAbstractButton*>(widget);
                EXPECT_EQ(button->text(), U8(view.label.c_str()));
                EXPECT_EQ(button->isChecked(), view.value == B_CONTROL_ON);
                break;
            }
            case ViewKind::Button:
                EXPECT_EQ(qobject_cast<QPushButton*>(widget)->text(), U8(view.label.c_str()));
                break;
            case ViewKind::MenuField: {
                auto* popUp = widget->findChild<QPushButton*>();
                EXPECT_EQ(popUp->text(), U8(view.menu.shownLabel.c_str()));
                ASSERT_EQ(popUp->menu()->actions().size(), qsizetype(view.menu.items.size()));
                break;
            }
            default:
                break;
        }
    }
    const ViewState form = byId[views.front().id];
    EXPECT_EQ(Find<QWidget>(form.name.c_str())->palette().color(QPalette::Window),
              Colour(form.viewColor));
    EXPECT_EQ(qobject_cast<QGroupBox*>(Find<QWidget>(form::kKeep)->parentWidget())->title(),
              U8("anciens fichiers"));
    EXPECT_EQ(Find<QWidget>(form::kFilterMenu)->findChild<QLabel*>()->text(),
              U8("Appliquer un filtre :"));
}

TEST_F(QtFormTest, WhatTheUserDoesInQtReachesTheControlsThroughTheQueue) {
    Find<QCheckBox>(form::kSmooth)->click();
    EXPECT_TRUE(
        WaitUntil([this] { return Model([](OrvView& view) { return view.Options().smooth; }); }));

    // One group per box: the model turns the trash off, and the screen follows it.
    Find<QRadioButton>(form::kErase)->click();
    EXPECT_TRUE(WaitUntil([this] {
        return Model(
            [](OrvView& view) { return view.Options().disposal == SourceDisposal::Erase; });
    }));
    EXPECT_FALSE(Find<QRadioButton>(form::kTrash)->isChecked());

    auto* filter = Find<QWidget>(form::kFilterMenu)->findChild<QPushButton*>();
    filter->menu()->actions()[4]->trigger();
    EXPECT_TRUE(WaitUntil([this] {
        return Model([](OrvView& view) { return view.Options().filter; }) == kFlipFilter;
    }));
    EXPECT_TRUE(WaitUntil([&] { return filter->text() == U8(label_filter[4]); }));
    EXPECT_FALSE(filter->menu()->actions()[0]->isChecked());

    auto* edit = Find<QWidget>(form::kScaleX)->findChild<QLineEdit*>();
    for (const char* key : {"1", "2", "0"}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, U8(key));
        QCoreApplication::sendEvent(edit, &press);
    }
    EXPECT_TRUE(WaitUntil(
        [this] { return Model([](OrvView& view) { return view.Options().width; }) == "120"; }));
}

TEST_F(QtFormTest, DropOfLocalFilesBecomesTheWindowsListAndOtherDropsChangeNothing) {
    const fs::path folder = fs::temp_directory_path() / ("orvane-qt-" + std::to_string(getpid()));
    fs::create_directories(folder);
    QList<QUrl> urls;
    for (const char* name : {"a.png", "b c.jpg", "é.gif"}) {
        std::ofstream(folder / name) << "x";
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString((folder / name).string())));
    }

    const auto drop = [this](const QMimeData& data) {
        // On the old-files box: the drop goes up to the form.
        const QPoint where = Find<QWidget>(form::kKeep)->mapTo(Top(), QPoint(2, 2));
        QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Top(), &enter);
        QDropEvent event(QPointF(where), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Top(), &event);
    };
    const auto refCount = [this] {
        fWindow->Lock();
        const int32 count = fWindow->RefCount();
        fWindow->Unlock();
        return count;
    };

    QMimeData files;
    files.setUrls(urls);
    drop(files);
    ASSERT_TRUE(WaitUntil([&] { return refCount() == 3; }));
    EXPECT_TRUE(WaitUntil([&] { return StatusTrailing()->text() == U8("0/3"); }));
    fWindow->Lock();
    entry_ref second;
    ASSERT_EQ(fWindow->Refs()->FindRef("refs", 1, &second), B_OK);
    fWindow->Unlock();
    EXPECT_EQ(second.Path(), (folder / "b c.jpg").string());

    QMimeData text;
    text.setText(U8("/not/a/drop/of/files"));
    drop(text);
    QMimeData remote;
    remote.setUrls({QUrl(U8("https://example.org/picture.png"))});
    drop(remote);
    // Both went through the queue, behind a marker that comes out last.
    fWindow->PostMessage(FourCC("sync"));
    WaitUntil([this] { return fWindow->CountQueuedMessages() == 0; });
    EXPECT_EQ(refCount(), 3);
    fs::remove_all(folder);
}

TEST(QtDropMessage, FoldersKeepTheirEntryAndOnlyLocalAddressesCount) {
    QMimeData data;
    data.setUrls({QUrl(U8("file:///tmp/")), QUrl(U8("https://example.org/a.png")),
                  QUrl(U8("file:///tmp/some%20picture.png"))});
    const BMessage drop = qt::DropMessageFor(data);
    EXPECT_EQ(drop.what, B_SIMPLE_DATA);
    entry_ref first;
    entry_ref second;
    ASSERT_EQ(drop.FindRef("refs", 0, &first), B_OK);
    ASSERT_EQ(drop.FindRef("refs", 1, &second), B_OK);
    EXPECT_EQ(first.Path(), "/tmp");
    EXPECT_EQ(second.Path(), "/tmp/some picture.png");
    EXPECT_NE(drop.FindRef("refs", 2, &second), B_OK);
}

TEST_F(QtFormTest, StatusBarReachesTheScreenWhileTheWindowsThreadIsHeld) {
    auto* bar = Find<QWidget>(form::kStatusBar)->findChild<QProgressBar*>();
    // Held as a run holds it: nothing the window's queue would carry can get through.
    fWindow->Lock();
    BStatusBar* status = fWindow->View()->StatusBar();
    status->SetMaxValue(10);
    status->Update(3, "Nombre de fichiers convertis", "3/10");
    const bool shown = WaitUntil([&] {
        return StatusTrailing()->text() == U8("3/10") && bar->value() * 10 == bar->maximum() * 3;
    });
    // An empty list is an empty bar, not Qt's busy indicator.
    status->SetMaxValue(0);
    const bool empty = WaitUntil([&] { return bar->maximum() > 0 && bar->value() == 0; });
    fWindow->Unlock();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(empty);
    EXPECT_TRUE(Find<QWidget>(form::kStatusBar)
                    ->findChild<QLabel*>()
                    ->text()
                    .startsWith(U8("Nombre de fichiers convertis")));
}

TEST_F(QtFormTest, RunReportListsTheFailuresUntilARunWithout) {
    const auto showReport = [this](const std::vector<RunIssue>& failures) {
        fWindow->Lock();
        fWindow->ShowNote(fWindow->View()->StatusBar(), RunReportNote(5, failures, {}));
        fWindow->Unlock();
    };
    showReport({{"/photos/a.png", "fichier PNG tronqué"}, {"/photos/b.jpg", "disque plein"}});
    QPushButton* link = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        link = Find<QPushButton>("ViewNoteLink");
        return link != nullptr && link->isVisible();
    }));
    EXPECT_TRUE(link->text().startsWith(U8("2 échecs")));
    EXPECT_TRUE(Find<QWidget>(form::kStatusBar)
                    ->toolTip()
                    .contains(U8("/photos/a.png : fichier PNG tronqué")));
    // Below the bar, above the old-files box.
    EXPECT_GT(link->geometry().top(), 65);
    EXPECT_LT(link->geometry().bottom(), 85);

    link->click();
    QWidget* list =
        sDisplay->NoteListWidget(fId, Model([](OrvView& view) { return view.StatusBar()->Id(); }));
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(list->isModal());
    auto* tree = list->findChild<QTreeWidget*>();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(1)->text(0), U8("/photos/b.jpg"));
    EXPECT_EQ(tree->topLevelItem(1)->text(1), U8("disque plein"));

    showReport({});
    EXPECT_TRUE(WaitUntil([&] { return !link->isVisible() && !list->isVisible(); }));
    EXPECT_TRUE(Find<QWidget>(form::kStatusBar)->toolTip().isEmpty());
}

TEST_F(QtFormTest, AdvancedOpensTheSettingsWindowOfTheChosenFormat) {
    auto* format = Find<QWidget>(form::kFormatMenu)->findChild<QPushButton*>();
    ASSERT_GT(format->menu()->actions().size(), 0);
    format->menu()->actions()[0]->trigger();
    ASSERT_TRUE(WaitUntil([&] { return format->text() != U8("Format de sortie"); }));
    RegisterSettingsViews();
    Find<QPushButton>(form::kAdvanced)->click();
    QWidget* settings = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowTitle() == U8("Options avancées")) {
                settings = widget;
            }
        }
        return settings != nullptr;
    }));
    EXPECT_GT(settings->findChildren<QWidget*>().size(), 1);
    // Its close box closes it, through its own window.
    settings->close();
    EXPECT_TRUE(WaitUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowTitle() == U8("Options avancées")) {
                return false;
            }
        }
        return true;
    }));
}

}  // namespace
}  // namespace orv
