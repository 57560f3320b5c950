// SPDX-License-Identifier: MIT
// The top-level Qt widget of one window: the close box and the drops on it become input
// messages for the window's queue.
#pragma once

#include <QWidget>

#include "platform/interface/DisplayBackend.h"
#include "platform/support/Message.h"

class QMimeData;

namespace orv::qt {

// The platform drop message for what was dropped: B_SIMPLE_DATA with one "refs" entry per
// local file or folder. Anything else (text, remote addresses) adds no "refs", so the
// drop changes nothing.
BMessage DropMessageFor(const QMimeData& data);

class WindowWidget : public QWidget {
public:
    explicit WindowWidget(WindowId window);

    // The display is closing the window for good: the close event goes through.
    void CloseForGood();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    WindowId fWindow;
    bool fClosing = false;
};

}  // namespace orv::qt
