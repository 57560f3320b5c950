// SPDX-License-Identifier: MIT
// Qt's event loop and the application looper on the one main thread.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/application/Application.h"
#include "platform/display/qt/QtDisplay.h"
#include "platform/interface/SettingsView.h"
#include "platform/support/ProgramIdentity.h"

namespace orv {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool IsSocket(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// QApplication ends the process when it cannot reach its display, so look first: a local
// X display ":N" has its socket in /tmp/.X11-unix (or an abstract one Linux keeps out of
// sight, which only a connection finds).
bool LocalXServerAnswers(int number) {
    if (IsSocket("/tmp/.X11-unix/X" + std::to_string(number))) {
        return true;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const bool answered = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    close(fd);
    return answered;
}

bool XDisplayAvailable(const std::string& display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") {
        // A remote display: only Qt's own connection can tell.
        return true;
    }
    char* end = nullptr;
    const long number = std::strtol(display.c_str() + colon + 1, &end, 10);
    return end != display.c_str() + colon + 1 && number >= 0 && LocalXServerAnswers(int(number));
}

bool WaylandDisplayAvailable(const std::string& display) {
    if (!display.empty() && display[0] == '/') {
        return IsSocket(display);
    }
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    return !runtime.empty() && IsSocket(runtime + "/" + display);
}

}  // namespace

bool QtDisplayAvailable() {
    const std::string platform = Environment("QT_QPA_PLATFORM");
    if (!platform.empty() && platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0) {
        // offscreen, vnc, eglfs...: nothing to look for beforehand.
        return true;
    }
    const std::string wayland = Environment("WAYLAND_DISPLAY");
    const std::string x = Environment("DISPLAY");
    if (platform.rfind("wayland", 0) == 0) {
        return !wayland.empty() && WaylandDisplayAvailable(wayland);
    }
    if (platform.rfind("xcb", 0) == 0) {
        return !x.empty() && XDisplayAvailable(x);
    }
    return (!wayland.empty() && WaylandDisplayAvailable(wayland)) ||
           (!x.empty() && XDisplayAvailable(x));
}

int RunWithQtDisplay(const std::function<BApplication*(QtDisplay& display)>& start) {
    // Qt keeps the arguments it is given for the whole life of the application.
    static std::string name = CurrentProgramIdentity().name;
    static char* arguments[] = {name.data(), nullptr};
    static int count = 1;
    QApplication qtApplication(count, arguments);
    QApplication::setApplicationName(QString::fromStdString(name));
    QApplication::setDesktopFileName(QString::fromStdString(name));
    // The application decides when to end: the main window's close asks it, and a
    // settings window closing must not end anything.
    QApplication::setQuitOnLastWindowClosed(false);

    std::shared_ptr<QtDisplay> display = QtDisplay::Install();
    // With a screen, a format's "Avancé" window shows the translator's settings.
    RegisterSettingsViews();
    std::unique_ptr<BApplication> application(start(*display));
    if (application == nullptr) {
        display->Shutdown();
        SetDisplayBackend(nullptr);
        return 1;
    }

    BApplication* app = application.get();
    QSocketNotifier wakeup(app->WakeupFd(), QSocketNotifier::Read);
    QObject::connect(&wakeup, &QSocketNotifier::activated, &wakeup,
                     [app] { app->ProcessPendingMessages(); });
    // exit(), not quit(): quit() first asks every window to close, and a window refuses
    // while its own looper has not let it go yet.
    app->SetExternalLoop([] { QApplication::exec(); }, [] { QApplication::exit(0); });
    app->Run();
    wakeup.setEnabled(false);

    display->Shutdown();
    application.reset();
    SetDisplayBackend(nullptr);
    return 0;
}

}  // namespace orv
