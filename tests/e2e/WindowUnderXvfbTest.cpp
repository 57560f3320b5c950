// SPDX-License-Identifier: MIT
// The built program on a real X server (Xvfb), driven with the pointer and the keyboard
// through xdotool: the file manager's action converts and the program leaves by itself; a
// second start hands its file to the window that runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/application/Application.h"
#include "tests/TempFolder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvtest::Listing;

constexpr char kSignature[] = "application/x-vnd.Orvane";
constexpr char kTitle[] = "Orvane 2.0 fr";

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        if (access((folders.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// A small binary PPM, which the PNM add-on reads.
void WritePicture(const fs::path& path) {
    std::string data = "P6\n8 6\n255\n";
    for (int i = 0; i < 8 * 6; ++i) {
        data += char(i * 5);
        data += char(200 - i);
        data += char(i * 3);
    }
    std::ofstream(path, std::ios::binary) << data;
}

class WindowUnderXvfb : public testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool"}) {
            if (!OnPath(tool)) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        std::string pattern = (fs::temp_directory_path() / "orvane-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        fRoot = pattern;
        fs::create_directories(fRoot / "home/.local/share");
        fs::create_directories(fRoot / "home/.config");
        fs::create_directories(fRoot / "run");
        fs::permissions(fRoot / "run", fs::perms::owner_all);
        fs::create_directories(fRoot / "pictures");

        // Xvfb takes a free display number itself and writes it once it accepts clients:
        // a number picked here could be taken by another server starting at the same time.
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        fServer = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                         "800x600x24", "-nolisten", "tcp"});
        close(ready[1]);
        std::string number;
        pollfd answer = {ready[0], POLLIN, 0};
        char digit = 0;
        while (poll(&answer, 1, 10000) == 1 && read(ready[0], &digit, 1) == 1 && digit != '\n') {
            number += digit;
        }
        close(ready[0]);
        if (number.empty()) {
            GTEST_SKIP() << "Xvfb did not start";
        }
        fDisplay = ":" + number;

        // The program and this test see the same private home and runtime folder, so the
        // single-launch socket is ours alone.
        setenv("XDG_RUNTIME_DIR", (fRoot / "run").c_str(), 1);
        fEnvironment = {
            {"DISPLAY", fDisplay},
            {"HOME", (fRoot / "home").string()},
            {"XDG_RUNTIME_DIR", (fRoot / "run").string()},
            {"XDG_DATA_HOME", (fRoot / "home/.local/share").string()},
            {"XDG_CONFIG_HOME", (fRoot / "home/.config").string()},
            {"QT_QPA_PLATFORM", "xcb"},
            {"WAYLAND_DISPLAY", ""},
        };
    }

    void TearDown() override {
        for (pid_t child : fChildren) {
            if (waitpid(child, nullptr, WNOHANG) == 0) {
                kill(child, SIGTERM);
                waitpid(child, nullptr, 0);
            }
        }
        if (fServer > 0) {
            kill(fServer, SIGTERM);
            waitpid(fServer, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(fRoot, ignored);
    }

    pid_t Spawn(const std::vector<std::string>& arguments, bool ownEnvironment = false) {
        std::vector<std::string> environment;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string entry = *variable;
            const std::string name = entry.substr(0, entry.find('='));
            if (!ownEnvironment || fEnvironment.count(name) == 0) {
                environment.push_back(entry);
            }
        }
        if (ownEnvironment) {
            for (const auto& [name, value] : fEnvironment) {
                environment.push_back(name + "=" + value);
            }
        }
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t child = -1;
        const int error =
            posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(error, 0) << arguments[0];
        return error == 0 ? child : -1;
    }

    pid_t StartProgram(const std::vector<std::string>& arguments) {
        std::vector<std::string> command = {std::string(ORVANE_BINARY_DIR) + "/app/orvane"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const pid_t child = Spawn(command, true);
        fChildren.push_back(child);
        return child;
    }

    // Runs xdotool to its end; true when it succeeded.
    bool Xdotool(const std::vector<std::string>& arguments) {
        std::vector<std::string> command = {"xdotool"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const pid_t child = Spawn(command, true);
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }

    bool WindowShown() { return Xdotool({"search", "--onlyvisible", "--name", kTitle}); }

    // The exit status of a child once it ended by itself, -1 if it did not in time.
    static int ExitStatus(pid_t child, std::chrono::milliseconds timeout) {
        int status = 0;
        const bool ended =
            WaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, timeout);
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The user's hand: the output format pop-up opened with the pointer, its first item
    // chosen with the keyboard, then "Convertir" pressed with the pointer. Coordinates are
    // the form's, inside the window.
    void ChooseFirstFormatAndConvert() {
        ASSERT_TRUE(WaitFor([&] { return WindowShown(); }, 20s)) << "no window";
        std::this_thread::sleep_for(500ms);
        const std::vector<std::string> window = {"search", "--onlyvisible", "--name", kTitle};
        auto at = [&](int x, int y) {
            std::vector<std::string> command = window;
            command.insert(command.end(), {"mousemove", "--window", "%1", std::to_string(x),
                                           std::to_string(y), "click", "1"});
            return command;
        };
        ASSERT_TRUE(Xdotool(at(85, 206)));
        std::this_thread::sleep_for(500ms);
        ASSERT_TRUE(Xdotool({"key", "Down", "Return"}));
        std::this_thread::sleep_for(500ms);
        ASSERT_TRUE(Xdotool(at(355, 202)));
    }

    fs::path fRoot;
    std::string fDisplay;
    pid_t fServer = -1;
    std::vector<pid_t> fChildren;
    std::map<std::string, std::string> fEnvironment;
};

TEST_F(WindowUnderXvfb, FileManagerActionConvertsTrashesTheSourceAndLeaves) {
    const fs::path pictures = fRoot / "pictures";
    WritePicture(pictures / "photo.ppm");

    const pid_t action = StartProgram({"--add-on", (pictures / "photo.ppm").string()});
    EXPECT_EQ(ExitStatus(action, 30s), 0) << "the action hands its files over and ends";
    ChooseFirstFormatAndConvert();

    // The run from the action closes the window, and the program ends with it.
    EXPECT_TRUE(WaitFor([] { return !BApplication::IsAnotherInstanceRunning(kSignature); }, 30s))
        << "the program is still running";
    EXPECT_FALSE(WindowShown());
    const std::vector<std::string> left = Listing(pictures);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind("photo.", 0), 0u) << left[0];
    EXPECT_NE(left[0], "photo.ppm");
    EXPECT_GT(fs::file_size(pictures / left[0]), 0u);
    EXPECT_TRUE(fs::exists(fRoot / "home/.local/share/Trash/files/photo.ppm"));
}

TEST_F(WindowUnderXvfb, SecondStartHandsItsFileToTheRunningWindow) {
    const fs::path pictures = fRoot / "pictures";
    WritePicture(pictures / "first.ppm");
    WritePicture(pictures / "second.ppm");

    const pid_t first = StartProgram({(pictures / "first.ppm").string()});
    ASSERT_TRUE(WaitFor([&] { return WindowShown(); }, 20s)) << "no window";
    const pid_t second = StartProgram({(pictures / "second.ppm").string()});
    EXPECT_EQ(ExitStatus(second, 20s), 0) << "the second start hands over and ends";
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first window still runs";

    // The list is the second start's now: converting touches that file only.
    ChooseFirstFormatAndConvert();
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(pictures / "second.ppm"); }, 20s));
    EXPECT_TRUE(fs::exists(pictures / "first.ppm"));
    EXPECT_EQ(Listing(pictures).size(), 2u);
    EXPECT_TRUE(WindowShown()) << "a run not started from the action leaves the window open";
}

}  // namespace
