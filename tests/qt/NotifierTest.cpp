// SPDX-License-Identifier: MIT
// Desktop notices on a private session bus of the test's own, served by a fake
// notification service: what reaches the service, and what the window hears back.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/application/Looper.h"
#include "platform/display/qt/QtNotifier.h"
#include "platform/interface/InputMessage.h"
#include "tests/qt/QtTestUtil.h"

namespace orv {
namespace {

const QString kName = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// A notification service as a desktop runs one, keeping what it was asked to show.
class FakeService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeService(QStringList capabilities) : fCapabilities(std::move(capabilities)) {}

    struct Shown {
        QString summary;
        QString body;
        QStringList actions;
    };
    std::vector<Shown> shown;

public slots:
    QStringList GetCapabilities() { return fCapabilities; }
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int) {
        shown.push_back({summary, body, actions});
        return uint(shown.size());
    }
    void CloseNotification(uint) {}

private:
    QStringList fCapabilities;
};

// Stands for the window that sent the notice: it keeps the outcomes it is told.
class Listener : public BLooper {
public:
    void MessageReceived(BMessage* message) override {
        if (message->what != kNoticeMessage) {
            BLooper::MessageReceived(message);
            return;
        }
        std::lock_guard lock(fLock);
        fOutcomes.push_back(NoticeOutcome(message->GetInt32("outcome", 0)));
    }
    std::vector<NoticeOutcome> Outcomes() {
        std::lock_guard lock(fLock);
        return fOutcomes;
    }

private:
    std::mutex fLock;
    std::vector<NoticeOutcome> fOutcomes;
};

class NotifierTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // A bus of the test's own, which no desktop's notification service is on.
        FILE* started = popen(
            "dbus-daemon --session --fork --print-address=1 --print-pid=1 "
            "2>/dev/null",
            "r");
        char address[512] = {};
        char pid[32] = {};
        if (started != nullptr && std::fgets(address, sizeof address, started) != nullptr &&
            std::fgets(pid, sizeof pid, started) != nullptr) {
            address[std::strcspn(address, "\n")] = '\0';
            sBusPid = std::atoi(pid);
            setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
        }
        if (started != nullptr) {
            pclose(started);
        }
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static char name[] = "orvane-tests";
        static char* arguments[] = {name, nullptr};
        static int count = 1;
        sApplication = new QApplication(count, arguments);
    }
    static void TearDownTestSuite() {
        delete sApplication;
        if (sBusPid > 0) {
            kill(sBusPid, SIGTERM);
        }
    }

    void SetUp() override {
        if (sBusPid <= 0) {
            GTEST_SKIP() << "dbus-daemon is not installed (scripts/install-deps.sh)";
        }
        fListener = new Listener();
        fListener->Run();
    }
    void TearDown() override {
        if (fListener != nullptr) {
            fListener->Lock();
            fListener->Quit();
        }
    }

    // The fake service on a connection of its own, as another process would be.
    void StartService(QStringList capabilities) {
        fService = std::make_unique<FakeService>(std::move(capabilities));
        QDBusConnection bus = QDBusConnection::connectToBus(
            QString::fromUtf8(std::getenv("DBUS_SESSION_BUS_ADDRESS")), QStringLiteral("fake"));
        ASSERT_TRUE(bus.registerObject(kPath, fService.get(), QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus.registerService(kName));
    }
    void StopService() {
        QDBusConnection bus(QStringLiteral("fake"));
        bus.unregisterService(kName);
        bus.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
        fService.reset();
    }
    // The service tells of notice `id`, as when the user acts on it.
    static void Signal(const char* name, uint id, const QVariant& detail) {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kName, QString::fromUtf8(name));
        signal << id << detail;
        ASSERT_TRUE(QDBusConnection(QStringLiteral("fake")).send(signal));
    }

    bool Heard(const std::vector<NoticeOutcome>& outcomes) {
        return WaitUntil([&] { return fListener->Outcomes() == outcomes; });
    }

    static DesktopNotice Notice() {
        return {"2 fichiers non convertis", "a.png : fichier vide\nb.jpg : permission refusée",
                "Voir la liste"};
    }

    static QApplication* sApplication;
    static int sBusPid;
    Listener* fListener = nullptr;
    std::unique_ptr<FakeService> fService;
};

QApplication* NotifierTest::sApplication = nullptr;
int NotifierTest::sBusPid = 0;

TEST_F(NotifierTest, TheServiceShowsTheNoticeAndTellsWhatTheUserDid) {
    StartService({QStringLiteral("actions"), QStringLiteral("body")});
    qt::Notifier notifier;
    notifier.Send(fListener->Token(), Notice());
    ASSERT_TRUE(Heard({NoticeOutcome::Shown}));
    ASSERT_EQ(fService->shown.size(), 1u);
    EXPECT_EQ(fService->shown[0].summary, QStringLiteral("2 fichiers non convertis"));
    EXPECT_EQ(fService->shown[0].body, QString::fromUtf8(Notice().body.c_str()));
    EXPECT_TRUE(fService->shown[0].actions.contains(QStringLiteral("Voir la liste")));

    // An action on another program's notice is not ours; ours opens the list.
    Signal("ActionInvoked", 7, QStringLiteral("default"));
    Signal("ActionInvoked", 1, QStringLiteral("open"));
    EXPECT_TRUE(Heard({NoticeOutcome::Shown, NoticeOutcome::ActionChosen}));

    // A notice dismissed without the action is said to be closed, once.
    notifier.Send(fListener->Token(), Notice());
    ASSERT_TRUE(Heard({NoticeOutcome::Shown, NoticeOutcome::ActionChosen, NoticeOutcome::Shown}));
    Signal("NotificationClosed", 2, 2u);
    Signal("NotificationClosed", 2, 2u);
    EXPECT_TRUE(Heard({NoticeOutcome::Shown, NoticeOutcome::ActionChosen, NoticeOutcome::Shown,
                       NoticeOutcome::Closed}));
    // Nothing more comes.
    const auto settled = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    WaitUntil([&] { return std::chrono::steady_clock::now() > settled; });
    EXPECT_EQ(fListener->Outcomes().size(), 4u);
    StopService();
}

TEST_F(NotifierTest, NoServiceOrOneWithoutActionsIsUnavailable) {
    qt::Notifier notifier;
    notifier.Send(fListener->Token(), Notice());
    ASSERT_TRUE(Heard({NoticeOutcome::Unavailable}));

    // A service that cannot show an action could never bring the list back.
    StartService({QStringLiteral("body")});
    notifier.Send(fListener->Token(), Notice());
    EXPECT_TRUE(Heard({NoticeOutcome::Unavailable, NoticeOutcome::Unavailable}));
    EXPECT_TRUE(fService->shown.empty());
    StopService();
}

}  // namespace
}  // namespace orv

#include "NotifierTest.moc"
