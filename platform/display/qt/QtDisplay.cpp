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

#include "platform/display/qt/QtViewItem.h"
#include "platform/display/qt/QtWindowWidget.h"

namespace orv {

namespace {

QString ToQt(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QStringList ToQt(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) {
        list.push_back(ToQt(text));
    }
    return list;
}

}  // namespace

struct QtDisplay::Impl {
    // What shows a view's note: the link under the view and the list window it opens.
    struct Note {
        QPointer<QPushButton> link;
        std::unique_ptr<QWidget> list;
        QPointer<QTreeWidget> tree;
        QPointer<QLabel> summary;
    };
    struct Shown {
        WindowState state;
        std::unique_ptr<qt::WindowWidget> widget;
        std::map<ViewId, std::unique_ptr<qt::ViewItem>> views;
        std::map<ViewId, Note> notes;
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
        if (auto note = shown.notes.find(view); note != shown.notes.end()) {
            if (note->second.link != nullptr) {
                note->second.link->deleteLater();
            }
            shown.notes.erase(note);
        }
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

    void ShowNote(WindowId window, ViewId view, const ViewNote& note) {
        Shown* shown = Find(window);
        if (shown == nullptr) {
            return;
        }
        auto item = shown->views.find(view);
        if (item == shown->views.end()) {
            return;
        }
        QWidget* anchor = item->second->Widget();
        Note& shownNote = shown->notes[view];
        anchor->setToolTip(ToQt(note.tooltip));
        if (note.IsEmpty()) {
            if (shownNote.link != nullptr) {
                shownNote.link->hide();
            }
            if (shownNote.list != nullptr) {
                shownNote.list->hide();
            }
            return;
        }
        ShowLink(shownNote, *anchor, note, [this, window, view] { OpenNoteList(window, view); });
        FillList(shownNote, note);
        if (shownNote.list->isVisible()) {
            shownNote.list->raise();
        }
    }

    // The link lies just under the view, as wide as it, in a smaller underlined font.
    static void ShowLink(Note& shown, QWidget& anchor, const ViewNote& note,
                         std::function<void()> open) {
        if (shown.link == nullptr) {
            shown.link = new QPushButton(anchor.parentWidget());
            shown.link->setFlat(true);
            shown.link->setObjectName("ViewNoteLink");
            shown.link->setCursor(Qt::PointingHandCursor);
            QObject::connect(shown.link, &QPushButton::clicked, shown.link, std::move(open));
        }
        QFont font = anchor.font();
        font.setPixelSize(11);
        font.setUnderline(true);
        shown.link->setFont(font);
        QPalette palette = shown.link->palette();
        palette.setColor(QPalette::ButtonText,
                         QColor(note.linkColor.red, note.linkColor.green, note.linkColor.blue));
        shown.link->setPalette(palette);
        shown.link->setText(ToQt(note.link));
        shown.link->setToolTip(ToQt(note.tooltip));
        const QRect frame = anchor.geometry();
        shown.link->setGeometry(frame.left(), frame.bottom() + 2, frame.width(), 16);
        shown.link->show();
        shown.link->raise();
    }

    static void FillList(Note& shown, const ViewNote& note) {
        if (shown.list == nullptr) {
            shown.list = std::make_unique<QWidget>(nullptr, Qt::Window);
            shown.list->setObjectName("ViewNoteList");
            auto* layout = new QVBoxLayout(shown.list.get());
            shown.summary = new QLabel(shown.list.get());
            shown.summary->setWordWrap(true);
            shown.tree = new QTreeWidget(shown.list.get());
            shown.tree->setRootIsDecorated(false);
            shown.tree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
            layout->addWidget(shown.summary);
            layout->addWidget(shown.tree);
            shown.list->resize(640, 300);
        }
        shown.list->setWindowTitle(ToQt(note.listTitle));
        shown.summary->setText(ToQt(note.listSummary));
        shown.tree->clear();
        shown.tree->setColumnCount(int(note.columns.size()));
        shown.tree->setHeaderLabels(ToQt(note.columns));
        // The first column (a file's path, say) gets half the window; the rest share it.
        shown.tree->setColumnWidth(0, 320);
        for (const std::vector<std::string>& row : note.rows) {
            new QTreeWidgetItem(shown.tree, ToQt(row));
        }
    }

    void OpenNoteList(WindowId window, ViewId view) {
        QWidget* list = NoteList(window, view);
        if (list == nullptr) {
            return;
        }
        list->show();
        list->raise();
        list->activateWindow();
    }

    QWidget* NoteList(WindowId window, ViewId view) {
        Shown* shown = Find(window);
        if (shown == nullptr) {
            return nullptr;
        }
        auto note = shown->notes.find(view);
        return note != shown->notes.end() ? note->second.list.get() : nullptr;
    }

    std::mutex fLock;
    // Lives on the GUI thread; the queued tasks run in its context. Null once shut down.
    QObject* fContext = nullptr;
    std::map<WindowId, Shown> fWindows;
};

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

void QtDisplay::ShowNote(WindowId window, ViewId view, const ViewNote& note) {
    fImpl->Queue([impl = fImpl.get(), window, view, note] { impl->ShowNote(window, view, note); });
}

QWidget* QtDisplay::WindowWidget(WindowId window) const {
    Impl::Shown* shown = fImpl->Find(window);
    return shown != nullptr ? shown->widget.get() : nullptr;
}

QWidget* QtDisplay::NoteListWidget(WindowId window, ViewId view) const {
    return fImpl->NoteList(window, view);
}

void QtDisplay::Shutdown() {
    {
        std::lock_guard lock(fImpl->fLock);
        delete fImpl->fContext;
        fImpl->fContext = nullptr;
    }
    for (auto& [id, shown] : fImpl->fWindows) {
        shown.widget->CloseForGood();
    }
    fImpl->fWindows.clear();
}

}  // namespace orv
