// SPDX-License-Identifier: MIT
// The main window on the Qt display (offscreen): the widgets stand at the form's frames
// with its texts, what a user does in Qt reaches the controls through the window's queue,
// drops of files become the window's list, and the status bar moves while the window's
// thread is held.
#include <gtest/gtest.h>
#include <unistd.h>

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
        ASSERT_TRUE(WaitUntil([this] { return Find<QWidget>("BValider") != nullptr; }));
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
        const QList<QLabel*> labels = Find<QWidget>("StatusBar")->findChildren<QLabel*>();
        return labels.size() == 2 ? labels[1] : nullptr;
    }

    static QApplication* sApplication;
    static QtDisplay* sDisplay;
    OrvWindow* fWindow = nullptr;
    WindowId fId = 0;
};

QApplication* QtFormTest::sApplication = nullptr;
QtDisplay* QtFormTest::sDisplay = nullptr;

TEST_F(QtFormTest, WidgetsStandAtTheFramesWithTheTextsAndStates) {
    QWidget* top = Top();
    EXPECT_EQ(top->windowTitle(), U8("Orvane 2.0 fr"));
    EXPECT_EQ(top->size(), QSize(401, 231));
    EXPECT_EQ(top->minimumSize(), top->maximumSize()) << "the window is not resizable";

    // Inclusive frames: one pixel more than right - left; children of boxes in the box's
    // coordinates.
    const struct {
        const char* name;
        QRect geometry;
    } frames[] = {
        {"Orvane_view", QRect(0, 0, 401, 231)},  {"MainText", QRect(15, 10, 371, 21)},
        {"AuthorText", QRect(15, 30, 371, 12)},  {"StatusBar", QRect(170, 45, 216, 21)},
        {"BT_ScaleX", QRect(4, 5, 112, 21)},     {"BT_ScaleY", QRect(4, 27, 112, 21)},
        {"CB_KeepRatio", QRect(4, 49, 137, 16)}, {"CB_Smooth", QRect(4, 83, 137, 16)},
        {"RB_Trash", QRect(15, 15, 151, 16)},    {"RB_Erase", QRect(15, 49, 151, 16)},
        {"M_Filter", QRect(170, 163, 216, 22)},  {"M_Translator", QRect(15, 195, 146, 23)},
        {"BAdvanced", QRect(170, 195, 61, 16)},  {"BValider", QRect(325, 195, 61, 16)},
    };
    for (const auto& frame : frames) {
        QWidget* widget = Find<QWidget>(frame.name);
        ASSERT_NE(widget, nullptr) << frame.name;
        EXPECT_EQ(widget->geometry(), frame.geometry) << frame.name;
    }
    EXPECT_EQ(Find<QWidget>("RB_Keep")->parentWidget()->geometry(), QRect(170, 85, 216, 71));
    EXPECT_EQ(Find<QWidget>("CB_KeepRatio")->parentWidget()->geometry(), QRect(15, 45, 146, 141));
    EXPECT_EQ(qobject_cast<QGroupBox*>(Find<QWidget>("RB_Keep")->parentWidget())->title(),
              U8("anciens fichiers"));

    auto* title = Find<QLabel>("MainText");
    EXPECT_EQ(title->text(), U8("Orvane 2.0"));
    EXPECT_TRUE(title->font().bold() && title->font().italic());
    EXPECT_EQ(title->font().pixelSize(), 16);
    EXPECT_EQ(title->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    auto* credit = Find<QLabel>("AuthorText");
    EXPECT_FALSE(credit->font().bold());
    EXPECT_EQ(credit->palette().color(QPalette::WindowText), QColor(220, 0, 0));
    EXPECT_EQ(Find<QWidget>("Orvane_view")->palette().color(QPalette::Window),
              QColor(230, 230, 230));

    EXPECT_EQ(Find<QCheckBox>("CB_KeepRatio")->text(), U8("Garder les proportions"));
    EXPECT_TRUE(Find<QCheckBox>("CB_KeepRatio")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("CB_Smooth")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("CB_DelExt")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>("RB_Trash")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>("RB_Keep")->isChecked());
    EXPECT_EQ(Find<QPushButton>("BValider")->text(), U8("Convertir"));
    EXPECT_EQ(Find<QPushButton>("BAdvanced")->text(), U8("Avancé"));

    // The pop-ups show the marked item, or the menu's name while none is marked.
    auto* format = Find<QWidget>("M_Translator")->findChild<QPushButton*>();
    EXPECT_EQ(format->text(), U8("Format de sortie"));
    EXPECT_EQ(format->menu()->actions().size(), fWindow->FormatCount());
    auto* filter = Find<QWidget>("M_Filter")->findChild<QPushButton*>();
    EXPECT_EQ(filter->text(), U8(label_filter[0]));
    ASSERT_EQ(filter->menu()->actions().size(), kFilterCount);
    EXPECT_TRUE(filter->menu()->actions()[0]->isChecked());
    EXPECT_EQ(Find<QWidget>("M_Filter")->findChild<QLabel*>()->text(), U8("Appliquer un filtre :"));
}

TEST_F(QtFormTest, WhatTheUserDoesInQtReachesTheControlsThroughTheQueue) {
    Find<QCheckBox>("CB_Smooth")->click();
    EXPECT_TRUE(WaitUntil([this] {
        return Model([](OrvView& view) { return view.fSmooth->Value(); }) == B_CONTROL_ON;
    }));

    // One group per box: the model turns the trash off, and the screen follows it.
    Find<QRadioButton>("RB_Erase")->click();
    EXPECT_TRUE(WaitUntil([this] {
        return Model([](OrvView& view) {
            return view.fErase->Value() == B_CONTROL_ON && view.fTrash->Value() == B_CONTROL_OFF;
        });
    }));
    EXPECT_FALSE(Find<QRadioButton>("RB_Trash")->isChecked());

    auto* filter = Find<QWidget>("M_Filter")->findChild<QPushButton*>();
    filter->menu()->actions()[4]->trigger();
    EXPECT_TRUE(WaitUntil([this] {
        return Model([](OrvView& view) {
                   return view.fFilterMenu->IndexOf(view.fFilterMenu->FindMarked());
               }) == 4;
    }));
    EXPECT_TRUE(WaitUntil([&] { return filter->text() == U8(label_filter[4]); }));
    EXPECT_FALSE(filter->menu()->actions()[0]->isChecked());

    auto* edit = Find<QWidget>("BT_ScaleX")->findChild<QLineEdit*>();
    for (const char* key : {"1", "2", "0"}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, U8(key));
        QCoreApplication::sendEvent(edit, &press);
    }
    EXPECT_TRUE(WaitUntil([this] {
        return Model([](OrvView& view) { return std::string(view.fScaleX->Text()); }) == "120";
    }));
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
        const QPoint where = Find<QWidget>("RB_Keep")->mapTo(Top(), QPoint(2, 2));
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
    auto* bar = Find<QWidget>("StatusBar")->findChild<QProgressBar*>();
    // Held as a run holds it: nothing the window's queue would carry can get through.
    fWindow->Lock();
    BStatusBar* status = fWindow->View()->fStatusBar;
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
    EXPECT_TRUE(Find<QWidget>("StatusBar")
                    ->findChild<QLabel*>()
                    ->text()
                    .startsWith(U8("Nombre de fichiers convertis")));
}

TEST_F(QtFormTest, RunReportListsTheFailuresUntilARunWithout) {
    sDisplay->ShowRunReport(
        fId, 5, {{"/photos/a.png", "fichier PNG tronqué"}, {"/photos/b.jpg", "disque plein"}}, {});
    QPushButton* link = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        link = Find<QPushButton>("RunReportLink");
        return link != nullptr && link->isVisible();
    }));
    EXPECT_TRUE(link->text().startsWith(U8("2 échecs")));
    EXPECT_TRUE(
        Find<QWidget>("StatusBar")->toolTip().contains(U8("/photos/a.png : fichier PNG tronqué")));
    // Below the bar, above the old-files box.
    EXPECT_GT(link->geometry().top(), 65);
    EXPECT_LT(link->geometry().bottom(), 85);

    link->click();
    QWidget* list = sDisplay->ReportListWidget(fId);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(list->isModal());
    auto* tree = list->findChild<QTreeWidget*>();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(1)->text(0), U8("/photos/b.jpg"));
    EXPECT_EQ(tree->topLevelItem(1)->text(1), U8("disque plein"));

    sDisplay->ShowRunReport(fId, 5, {}, {});
    EXPECT_TRUE(WaitUntil([&] { return !link->isVisible() && !list->isVisible(); }));
    EXPECT_TRUE(Find<QWidget>("StatusBar")->toolTip().isEmpty());
}

TEST_F(QtFormTest, AdvancedOpensTheSettingsWindowOfTheChosenFormat) {
    auto* format = Find<QWidget>("M_Translator")->findChild<QPushButton*>();
    ASSERT_GT(format->menu()->actions().size(), 0);
    format->menu()->actions()[0]->trigger();
    ASSERT_TRUE(WaitUntil([&] { return format->text() != U8("Format de sortie"); }));
    RegisterSettingsViews();
    Find<QPushButton>("BAdvanced")->click();
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
