// SPDX-License-Identifier: MIT
#include "platform/display/qt/QtWindowWidget.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "platform/application/AppDefs.h"
#include "platform/display/qt/QtViewItem.h"
#include "platform/interface/InputMessage.h"
#include "platform/storage/Entry.h"

namespace orv::qt {

BMessage DropMessageFor(const QMimeData& data) {
    BMessage drop(B_SIMPLE_DATA);
    if (!data.hasUrls()) {
        return drop;
    }
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        QString path = url.toLocalFile();
        // A folder's address may end in "/": its entry is the folder itself.
        while (path.size() > 1 && path.endsWith('/')) {
            path.chop(1);
        }
        entry_ref ref;
        if (BEntry(path.toStdString().c_str(), false).GetRef(&ref) == B_OK) {
            drop.AddRef("refs", &ref);
        }
    }
    return drop;
}

WindowWidget::WindowWidget(WindowId window) : fWindow(window) {
    setAcceptDrops(true);
}

void WindowWidget::CloseForGood() {
    fClosing = true;
    close();
}

void WindowWidget::closeEvent(QCloseEvent* event) {
    if (fClosing) {
        event->accept();
        return;
    }
    // The window decides: its QuitRequested runs on its own thread, and the display
    // closes the widget when the window is really gone.
    event->ignore();
    [[maybe_unused]] status_t status = PostClose(fWindow);
}

// Only addresses can carry files: the pointer tells the user at once that a text or a
// picture's pixels would not be taken.
void WindowWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void WindowWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void WindowWidget::dropEvent(QDropEvent* event) {
    // The view under the pointer takes the drop; what it does not handle goes up to its
    // parents, as with any message.
    QWidget* target = childAt(event->position().toPoint());
    while (target != nullptr && !target->property(kViewIdProperty).isValid()) {
        target = target->parentWidget();
    }
    if (target == nullptr || target == this) {
        target = nullptr;
        for (QObject* child : children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (widget != nullptr && widget->property(kViewIdProperty).isValid()) {
                target = widget;
                break;
            }
        }
    }
    if (target == nullptr) {
        return;
    }
    const ViewId view = target->property(kViewIdProperty).toULongLong();
    [[maybe_unused]] status_t status =
        PostInput(fWindow, MakeDrop(view, DropMessageFor(*event->mimeData())));
    event->acceptProposedAction();
}

}  // namespace orv::qt
