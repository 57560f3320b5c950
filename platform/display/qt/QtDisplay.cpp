// SPDX-License-Identifier: MIT
#include "platform/display/qt/QtDisplay.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>
#include <mutex>

#include "platform/application/Application.h"
#include "platform/display/qt/QtViewItem.h"
#include "platform/display/qt/QtWindowWidget.h"

namespace orv {

namespace {

QString ToQt(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString Plural(size_t count, const char* one, const char* many) {
    return QString::fromUtf8(count == 1 ? one : many).arg(count);
}

// The tooltip names at most this many files; the list window has them all.
constexpr size_t kTooltipLines = 15;

}  // namespace

struct QtDisplay::Impl {
    struct Shown {
        WindowState state;
        std::unique_ptr<qt::WindowWidget> widget;
        std::map<ViewId, std::unique_ptr<qt::ViewItem>> views;
        QPointer<QPushButton> reportLink;
        std::unique_ptr<QWidget> reportList;
        QPointer<QTreeWidget> reportTree;
        QPointer<QLabel> reportSummary;
    };

    // Runs `task` on the GUI thread, after every task queued before it.
    void Queue(std::function<void()> task) {
        std::lock_guard lock(fLock);
        if (fContext == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(fContext, std::move(task), Qt::QueuedConnection);
    }

    // ---- on the GUI thread

    void Open(const WindowState& state, const std::vector<ViewState>& views) {
        Shown& shown = fWindows[state.id];
        shown.state = state;
        shown.widget = std::make_unique<qt::WindowWidget>(state.id);
        for (const ViewState& view : views) {
            Add(shown, view);
        }
        for (const ViewState& view : views) {
            if (SharesTextSize(view.kind)) {
                ShareTextSizes(shown, view.parent);
            }
        }
        ApplyWindow(shown);
    }

    void ApplyWindow(Shown& shown) {
        const WindowState& state = shown.state;
        QWidget* widget = shown.widget.get();
        widget->setWindowTitle(ToQt(state.title));
        const int width = int(state.frame.right - state.frame.left) + 1;
        const int height = int(state.frame.bottom - state.frame.top) + 1;
        if ((state.flags & B_NOT_RESIZABLE) != 0) {
            widget->setFixedSize(width, height);
        } else {
            widget->setMinimumSize(0, 0);
            widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            widget->resize(width, height);
        }
        widget->move(int(state.frame.left), int(state.frame.top));
        widget->setVisible(!state.hidden);
    }

    void Add(Shown& shown, const ViewState& view) {
        QWidget* parent = shown.widget.get();
        if (view.parent != 0) {
            auto found = shown.views.find(view.parent);
            if (found == shown.views.end()) {
                return;
            }
            parent = found->second->Widget();
        }
        auto item = std::make_unique<qt::ViewItem>(shown.state.id, view, parent);
        // Later siblings lie above earlier ones, as they draw after them.
        item->Widget()->raise();
        shown.views[view.id] = std::move(item);
    }

    // The check boxes and radio buttons under one parent share one text size.
    static void ShareTextSizes(Shown& shown, ViewId parent) {
        int smallest = 0;
        for (const auto& [id, item] : shown.views) {
            if (item->State().parent == parent && item->FittedTextSize() > 0) {
                smallest = smallest == 0 ? item->FittedTextSize()
                                         : std::min(smallest, item->FittedTextSize());
            }
        }
        for (const auto& [id, item] : shown.views) {
            if (item->State().parent == parent && item->FittedTextSize() > 0) {
                item->ShareTextSize(smallest);
            }
        }
    }

    static bool SharesTextSize(ViewKind kind) {
        return kind == ViewKind::CheckBox || kind == ViewKind::RadioButton;
    }

    void Remove(Shown& shown, ViewId view) {
        auto found = shown.views.find(view);
        if (found == shown.views.end()) {
            return;
        }
        QWidget* gone = found->second->Widget();
        for (auto it = shown.views.begin(); it != shown.views.end();) {
            if (it->second->Widget() != gone && gone->isAncestorOf(it->second->Widget())) {
                it = shown.views.erase(it);
            } else {
                ++it;
            }
        }
        shown.views.erase(view);
        // Later: a menu of that view may be open, with its own event loop inside it.
        gone->hide();
        gone->deleteLater();
    }

    Shown* Find(WindowId window) {
        auto found = fWindows.find(window);
        return found == fWindows.end() ? nullptr : &found->second;
    }

    void Close(WindowId window) {
        auto found = fWindows.find(window);
        if (found == fWindows.end()) {
            return;
        }
        found->second.widget->CloseForGood();
        fWindows.erase(found);
    }

    void ShowReport(WindowId window, int32 count, const std::vector<RunReportLine>& failures,
                    const std::vector<RunReportLine>& warnings) {
        Shown* shown = Find(window);
        if (shown == nullptr) {
            return;
        }
        qt::ViewItem* bar = nullptr;
        for (const auto& [id, item] : shown->views) {
            if (item->State().kind == ViewKind::StatusBar) {
                bar = item.get();
                break;
            }
        }
        if (bar == nullptr) {
            return;
        }
        if (failures.empty() && warnings.empty()) {
            bar->Widget()->setToolTip(QString());
            if (shown->reportLink != nullptr) {
                shown->reportLink->hide();
            }
            if (shown->reportList != nullptr) {
                shown->reportList->hide();
            }
            return;
        }

        QString summary;
        if (!failures.empty()) {
            summary = Plural(failures.size(), "%1 fichier sur ", "%1 fichiers sur ") +
                      QString::number(count) +
                      (failures.size() == 1 ? QString::fromUtf8(" n’a pas pu être converti.")
                                            : QString::fromUtf8(" n’ont pas pu être convertis."));
        }
        if (!warnings.empty()) {
            if (!summary.isEmpty()) {
                summary += ' ';
            }
            summary += Plural(warnings.size(), "%1 fichier converti avec un avertissement.",
                              "%1 fichiers convertis avec un avertissement.");
        }

        QString tooltip = summary;
        size_t lines = 0;
        for (const auto* group : {&failures, &warnings}) {
            for (const RunReportLine& line : *group) {
                if (lines++ == kTooltipLines) {
                    tooltip += QString::fromUtf8("\n…");
                    break;
                }
                tooltip += '\n' + ToQt(line.path) + QString::fromUtf8(" : ") + ToQt(line.reason);
            }
        }
        bar->Widget()->setToolTip(tooltip);

        if (shown->reportLink == nullptr) {
            shown->reportLink = new QPushButton(bar->Widget()->parentWidget());
            shown->reportLink->setFlat(true);
            shown->reportLink->setObjectName("RunReportLink");
            shown->reportLink->setCursor(Qt::PointingHandCursor);
            QObject::connect(shown->reportLink, &QPushButton::clicked, shown->reportLink,
                             [this, window] { OpenReportList(window); });
        }
        const QRect frame = bar->Widget()->geometry();
        QFont font = bar->Widget()->font();
        font.setPixelSize(11);
        font.setUnderline(true);
        shown->reportLink->setFont(font);
        QPalette palette = shown->reportLink->palette();
        palette.setColor(QPalette::ButtonText, QColor(180, 0, 0));
        shown->reportLink->setPalette(palette);
        shown->reportLink->setText(
            failures.empty()
                ? Plural(warnings.size(), "%1 avertissement : voir la liste",
                         "%1 avertissements : voir la liste")
                : Plural(failures.size(), "%1 échec : voir la liste", "%1 échecs : voir la liste"));
        shown->reportLink->setToolTip(tooltip);
        shown->reportLink->setGeometry(frame.left(), frame.bottom() + 2, frame.width(), 16);
        shown->reportLink->show();
        shown->reportLink->raise();

        FillReportList(*shown, summary, failures, warnings);
        if (shown->reportList->isVisible()) {
            shown->reportList->raise();
        }
    }

    void FillReportList(Shown& shown, const QString& summary,
                        const std::vector<RunReportLine>& failures,
                        const std::vector<RunReportLine>& warnings) {
        if (shown.reportList == nullptr) {
            shown.reportList = std::make_unique<QWidget>(nullptr, Qt::Window);
            shown.reportList->setObjectName("RunReportList");
            shown.reportList->setWindowTitle(QString::fromUtf8("Fichiers non convertis"));
            auto* layout = new QVBoxLayout(shown.reportList.get());
            shown.reportSummary = new QLabel(shown.reportList.get());
            shown.reportSummary->setWordWrap(true);
            shown.reportTree = new QTreeWidget(shown.reportList.get());
            shown.reportTree->setRootIsDecorated(false);
            shown.reportTree->setColumnCount(2);
            shown.reportTree->setHeaderLabels(
                {QString::fromUtf8("Fichier"), QString::fromUtf8("Raison")});
            shown.reportTree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
            shown.reportTree->setColumnWidth(0, 320);
            layout->addWidget(shown.reportSummary);
            layout->addWidget(shown.reportTree);
            shown.reportList->resize(640, 300);
        }
        shown.reportSummary->setText(summary);
        shown.reportTree->clear();
        for (const RunReportLine& line : failures) {
            new QTreeWidgetItem(shown.reportTree, {ToQt(line.path), ToQt(line.reason)});
        }
        for (const RunReportLine& line : warnings) {
            new QTreeWidgetItem(
                shown.reportTree,
                {ToQt(line.path), QString::fromUtf8("Avertissement : ") + ToQt(line.reason)});
        }
    }

    void OpenReportList(WindowId window) {
        Shown* shown = Find(window);
        if (shown == nullptr || shown->reportList == nullptr) {
            return;
        }
        shown->reportList->show();
        shown->reportList->raise();
        shown->reportList->activateWindow();
    }

    std::mutex fLock;
    // Lives on the GUI thread; the queued tasks run in its context. Null once shut down.
    QObject* fContext = nullptr;
    std::map<WindowId, Shown> fWindows;
    std::vector<std::unique_ptr<BHandler>> fReportTargets;
};

namespace {

// Reads a window's end-of-run report in the application's looper, which runs on the GUI
// thread, and hands it to the display.
class ReportReader : public BHandler {
public:
    ReportReader(std::weak_ptr<QtDisplay::Impl> display, WindowId window)
        : BHandler("run report"), fDisplay(std::move(display)), fWindow(window) {}

    void MessageReceived(BMessage* message) override {
        std::shared_ptr<QtDisplay::Impl> display = fDisplay.lock();
        if (display == nullptr || message->GetInfo("count", nullptr, nullptr) != B_OK) {
            BHandler::MessageReceived(message);
            return;
        }
        std::vector<RunReportLine> failures = Lines(*message, "failure", "reason");
        std::vector<RunReportLine> warnings = Lines(*message, "warning", "warning_reason");
        const int32 count = message->GetInt32("count", 0);
        const WindowId window = fWindow;
        display->Queue([display, window, count, failures, warnings] {
            display->ShowReport(window, count, failures, warnings);
        });
    }

private:
    static std::vector<RunReportLine> Lines(const BMessage& message, const char* pathField,
                                            const char* reasonField) {
        std::vector<RunReportLine> lines;
        const char* path = nullptr;
        for (int32 i = 0; message.FindString(pathField, i, &path) == B_OK; ++i) {
            const char* reason = nullptr;
            if (message.FindString(reasonField, i, &reason) != B_OK) {
                reason = "";
            }
            lines.push_back({path, reason});
        }
        return lines;
    }

    std::weak_ptr<QtDisplay::Impl> fDisplay;
    WindowId fWindow;
};

}  // namespace

QtDisplay::QtDisplay() : fImpl(std::make_shared<Impl>()) {
    fImpl->fContext = new QObject();
}

QtDisplay::~QtDisplay() {
    Shutdown();
}

std::shared_ptr<QtDisplay> QtDisplay::Install() {
    auto display = std::make_shared<QtDisplay>();
    SetDisplayBackend(display);
    return display;
}

void QtDisplay::WindowOpened(const WindowState& window, const std::vector<ViewState>& views) {
    fImpl->Queue([impl = fImpl.get(), window, views] { impl->Open(window, views); });
}

void QtDisplay::WindowChanged(const WindowState& window) {
    fImpl->Queue([impl = fImpl.get(), window] {
        if (Impl::Shown* shown = impl->Find(window.id)) {
            shown->state = window;
            impl->ApplyWindow(*shown);
        }
    });
}

void QtDisplay::WindowClosed(WindowId window) {
    fImpl->Queue([impl = fImpl.get(), window] { impl->Close(window); });
}

void QtDisplay::ViewAdded(WindowId window, const ViewState& view) {
    fImpl->Queue([impl = fImpl.get(), window, view] {
        if (Impl::Shown* shown = impl->Find(window)) {
            impl->Add(*shown, view);
            if (Impl::SharesTextSize(view.kind)) {
                Impl::ShareTextSizes(*shown, view.parent);
            }
        }
    });
}

void QtDisplay::ViewRemoved(WindowId window, ViewId view) {
    fImpl->Queue([impl = fImpl.get(), window, view] {
        if (Impl::Shown* shown = impl->Find(window)) {
            impl->Remove(*shown, view);
        }
    });
}

void QtDisplay::ViewChanged(WindowId window, const ViewState& view) {
    fImpl->Queue([impl = fImpl.get(), window, view] {
        if (Impl::Shown* shown = impl->Find(window)) {
            auto found = shown->views.find(view.id);
            if (found != shown->views.end()) {
                found->second->Apply(view);
                if (Impl::SharesTextSize(view.kind)) {
                    Impl::ShareTextSizes(*shown, view.parent);
                }
            }
        }
    });
}

void QtDisplay::ShowRunReport(WindowId window, int32 count, std::vector<RunReportLine> failures,
                              std::vector<RunReportLine> warnings) {
    fImpl->Queue(
        [impl = fImpl.get(), window, count, failures = std::move(failures),
         warnings = std::move(warnings)] { impl->ShowReport(window, count, failures, warnings); });
}

BMessenger QtDisplay::RunReportTarget(WindowId window) {
    if (be_app == nullptr) {
        return BMessenger();
    }
    auto target = std::make_unique<ReportReader>(fImpl, window);
    if (!be_app->Lock()) {
        return BMessenger();
    }
    be_app->AddHandler(target.get());
    be_app->Unlock();
    BMessenger messenger(target.get(), be_app);
    std::lock_guard lock(fImpl->fLock);
    fImpl->fReportTargets.push_back(std::move(target));
    return messenger;
}

QWidget* QtDisplay::WindowWidget(WindowId window) const {
    Impl::Shown* shown = fImpl->Find(window);
    return shown != nullptr ? shown->widget.get() : nullptr;
}

QWidget* QtDisplay::ViewWidget(WindowId window, ViewId view) const {
    Impl::Shown* shown = fImpl->Find(window);
    if (shown == nullptr) {
        return nullptr;
    }
    auto found = shown->views.find(view);
    return found != shown->views.end() ? found->second->Widget() : nullptr;
}

QWidget* QtDisplay::ReportListWidget(WindowId window) const {
    Impl::Shown* shown = fImpl->Find(window);
    return shown != nullptr ? shown->reportList.get() : nullptr;
}

void QtDisplay::Shutdown() {
    std::vector<std::unique_ptr<BHandler>> targets;
    {
        std::lock_guard lock(fImpl->fLock);
        delete fImpl->fContext;
        fImpl->fContext = nullptr;
        targets.swap(fImpl->fReportTargets);
    }
    for (auto& target : targets) {
        if (BLooper* looper = target->Looper(); looper != nullptr && looper->Lock()) {
            looper->RemoveHandler(target.get());
            looper->Unlock();
        }
    }
    for (auto& [id, shown] : fImpl->fWindows) {
        shown.widget->CloseForGood();
    }
    fImpl->fWindows.clear();
}

}  // namespace orv
