// SPDX-License-Identifier: MIT
#include "app/HeadlessConsole.h"

#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

namespace orv::cli {

namespace {

constexpr const char* kMainWindowTitle = "Orvane 2.0 fr";

std::string StatusText(status_t status) {
    switch (status) {
        case B_OK:
            return {};
        case B_NAME_NOT_FOUND:
            return "aucun contrôle de ce nom";
        case B_BAD_INDEX:
            return "aucun élément à cette position";
        case B_BAD_HANDLER:
            return "la fenêtre est fermée";
        default:
            return "commande refusée";
    }
}

}  // namespace

std::string RunConsoleCommand(HeadlessDisplay& display, const std::string& line) {
    std::istringstream words(line);
    std::string command;
    std::string name;
    words >> command >> name;
    if (command.empty()) {
        return {};
    }
    const std::optional<WindowState> window = display.FindWindow(kMainWindowTitle);
    if (!window) {
        return "la fenêtre principale n’est pas ouverte";
    }
    // What follows the name, as typed (one separating space taken off).
    std::string rest;
    std::getline(words, rest);
    if (!rest.empty() && rest.front() == ' ') {
        rest.erase(0, 1);
    }
    if (command == "close") {
        return StatusText(display.Close(window->id));
    }
    if (name.empty()) {
        return "« " + command + " » attend le nom d’un contrôle";
    }
    if (command == "click") {
        return StatusText(display.Click(window->id, name));
    }
    if (command == "type") {
        return StatusText(display.Type(window->id, name, rest));
    }
    if (command == "choose" || command == "value") {
        const bool number = !rest.empty() &&
                            rest.find_first_not_of("0123456789") == std::string::npos &&
                            rest.size() < 10;
        if (command == "value") {
            return number ? StatusText(display.SetValue(window->id, name, std::stoi(rest)))
                          : "« value » attend un nombre";
        }
        return StatusText(number ? display.Choose(window->id, name, std::stoi(rest))
                                 : display.Choose(window->id, name, rest));
    }
    return "commande inconnue : " + command;
}

WatchedDisplay::Watchers TraceWatchers(std::FILE* out) {
    WatchedDisplay::Watchers watchers;
    watchers.windowOpened = [out](const WindowState& window) {
        std::fprintf(out, "fenêtre ouverte : %s\n", window.title.c_str());
        std::fflush(out);
    };
    watchers.windowClosed = [out](WindowId) {
        std::fprintf(out, "fenêtre fermée\n");
        std::fflush(out);
    };
    // A refresh often changes the bar in several steps that read the same: show it once.
    auto last = std::make_shared<std::pair<std::mutex, std::string>>();
    watchers.statusBar = [out, last](const ViewState& bar) {
        char line[512];
        std::snprintf(line, sizeof line, "barre : %s %s (%g/%g)\n", bar.text.c_str(),
                      bar.trailingText.c_str(), double(bar.currentValue), double(bar.maxValue));
        std::lock_guard lock(last->first);
        if (last->second != line) {
            last->second = line;
            std::fputs(line, out);
            std::fflush(out);
        }
    };
    return watchers;
}

void StartConsole(std::shared_ptr<HeadlessDisplay> display, std::FILE* in) {
    // Detached: it may sit in a read when the program ends, which only the exit can end.
    std::thread([display = std::move(display), in] {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, in) != nullptr) {
            std::string line(buffer);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
                line.pop_back();
            }
            const std::string error = RunConsoleCommand(*display, line);
            if (!error.empty()) {
                std::fprintf(stderr, "console : %s : %s\n", line.c_str(), error.c_str());
            }
        }
    }).detach();
}

}  // namespace orv::cli
