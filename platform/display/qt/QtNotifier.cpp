// SPDX-License-Identifier: MIT
#include "platform/display/qt/QtNotifier.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "platform/interface/InputMessage.h"

namespace orv::qt {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The action a click on the notice itself invokes, and the one shown as a button.
const QString kDefaultAction = QStringLiteral("default");
const QString kListAction = QStringLiteral("open");

QString ToQt(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

void Tell(WindowId window, NoticeOutcome outcome) {
    // A window that is gone no longer cares.
    [[maybe_unused]] const status_t status = PostNoticeOutcome(window, outcome);
}

QDBusMessage Call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

}  // namespace

Notifier::Notifier() = default;

void Notifier::Send(WindowId window, const DesktopNotice& notice) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        Tell(window, NoticeOutcome::Unavailable);
        return;
    }
    if (!fListening) {
        bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(ActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(NotificationClosed(uint, uint)));
        fListening = true;
    }
    // The capabilities first: whether a service answers at all (it may be started on
    // demand), whether it shows actions, and whether it reads the body as markup.
    auto* asked = new QDBusPendingCallWatcher(bus.asyncCall(Call("GetCapabilities")), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this,
            [this, window, notice](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QStringList> reply = *call;
                if (reply.isError() || !reply.value().contains(QStringLiteral("actions"))) {
                    Tell(window, NoticeOutcome::Unavailable);
                    return;
                }
                Show(window, notice, reply.value().contains(QStringLiteral("body-markup")));
            });
}

void Notifier::Show(WindowId window, const DesktopNotice& notice, bool markup) {
    QDBusMessage message = Call(QStringLiteral("Notify"));
    QVariantMap hints;
    if (!QApplication::desktopFileName().isEmpty()) {
        hints.insert(QStringLiteral("desktop-entry"), QApplication::desktopFileName());
    }
    const QString body = markup ? ToQt(notice.body).toHtmlEscaped() : ToQt(notice.body);
    const QString action = ToQt(notice.action);
    message << QApplication::applicationName() << uint(0) << QString() << ToQt(notice.title) << body
            << QStringList{kDefaultAction, action, kListAction, action} << hints << int(-1);
    auto* sent =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(sent, &QDBusPendingCallWatcher::finished, this,
            [this, window](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isError()) {
                    Tell(window, NoticeOutcome::Unavailable);
                    return;
                }
                fShown[reply.value()] = window;
                Tell(window, NoticeOutcome::Shown);
            });
}

WindowId Notifier::Take(uint id) {
    const auto found = fShown.find(id);
    if (found == fShown.end()) {
        return 0;
    }
    const WindowId window = found->second;
    fShown.erase(found);
    return window;
}

void Notifier::ActionInvoked(uint id, const QString& key) {
    if (key != kDefaultAction && key != kListAction) {
        return;
    }
    if (const WindowId window = Take(id); window != 0) {
        // The notice has done its work; a service that keeps notices would leave it there.
        QDBusMessage close = Call(QStringLiteral("CloseNotification"));
        close << id;
        QDBusConnection::sessionBus().call(close, QDBus::NoBlock);
        Tell(window, NoticeOutcome::ActionChosen);
    }
}

void Notifier::NotificationClosed(uint id, uint /*reason*/) {
    if (const WindowId window = Take(id); window != 0) {
        Tell(window, NoticeOutcome::Closed);
    }
}

}  // namespace orv::qt
