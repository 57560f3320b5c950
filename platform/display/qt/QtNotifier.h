// SPDX-License-Identifier: MIT
// Desktop notices through the freedesktop.org notification service, on the session bus:
// each notice carries one action, and the window that sent it hears whether the service
// showed it, and then whether the user chose the action or let the notice go.
#pragma once

#include <QObject>
#include <QString>
#include <map>

#include "platform/interface/DisplayBackend.h"

namespace orv::qt {

class Notifier : public QObject {
    Q_OBJECT

public:
    Notifier();

    // GUI thread. Answers Unavailable when there is no session bus, no notification
    // service on it, or a service that shows no actions.
    void Send(WindowId window, const DesktopNotice& notice);

private slots:
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);

private:
    void Show(WindowId window, const DesktopNotice& notice, bool markup);
    // The window of notice `id`, forgotten from then on; 0 for a notice not ours.
    WindowId Take(uint id);

    bool fListening = false;
    std::map<uint, WindowId> fShown;
};

}  // namespace orv::qt
