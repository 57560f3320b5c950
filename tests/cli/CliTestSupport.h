// SPDX-License-Identifier: MIT
// Runs the built `orvane` as a user would, in a private home: its own settings, trash and
// runtime folder (so its single-launch socket meets no other test's), the build's
// translators, and no display unless a test asks for one.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/TempFolder.h"
#include "tests/conversion/Pictures.h"

extern char** environ;

namespace orv::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline int CountOf(const std::string& text, const std::string& piece) {
    int count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
        ++count;
    }
    return count;
}

struct Outcome {
    int status = -1;  // exit status, or -1 when it did not exit by itself
    std::string out;
    std::string err;
};

// One started `orvane`; killed when still running at the end of the test.
class Process {
public:
    Process(pid_t pid, int input) : fPid(pid), fInput(input) {}
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (fInput >= 0) {
            close(fInput);
        }
        if (fPid > 0 && !fStatus) {
            kill(fPid, SIGKILL);
            waitpid(fPid, nullptr, 0);
        }
    }

    // One line on its standard input (only for a process started with an input).
    void Send(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(write(fInput, text.data(), text.size()), ssize_t(text.size()));
    }
    pid_t Pid() const { return fPid; }
    void CloseInput() {
        close(fInput);
        fInput = -1;
    }

    // The exit status once it has ended, or nothing after `timeout`.
    std::optional<int> Wait(std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!fStatus) {
            int status = 0;
            const pid_t done = waitpid(fPid, &status, WNOHANG);
            if (done == fPid) {
                fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            } else if (std::chrono::steady_clock::now() >= end) {
                return std::nullopt;
            } else {
                std::this_thread::sleep_for(10ms);
            }
        }
        return fStatus;
    }

private:
    pid_t fPid;
    int fInput;
    std::optional<int> fStatus;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        fHome = fRoot / "home";
        fWork = fRoot / "work";
        fs::create_directories(fHome / ".config");
        fs::create_directories(fHome / ".local/share");
        fs::create_directories(fRoot / "run");
        fs::create_directories(fWork);
        chmod((fRoot / "run").c_str(), 0700);

        fEnv["HOME"] = fHome.string();
        fEnv["XDG_CONFIG_HOME"] = (fHome / ".config").string();
        fEnv["XDG_DATA_HOME"] = (fHome / ".local/share").string();
        fEnv["XDG_RUNTIME_DIR"] = (fRoot / "run").string();
        fEnv["ORVANE_TRANSLATORS"] = ORVANE_BINARY_DIR "/translators";
        fEnv["ORVANE_EXECUTABLE"] = ORVANE_EXECUTABLE_PATH;
        fEnv["PATH"] = "/usr/bin:/bin";
        fEnv["LANG"] = "C.UTF-8";
        if (const char* asan = std::getenv("ASAN_OPTIONS")) {
            fEnv["ASAN_OPTIONS"] = asan;
        }
    }

    // Starts `orvane args...`: output into files of the test's folder; standard input a
    // pipe the test writes to when `withInput`, else empty.
    std::unique_ptr<Process> Start(const std::vector<std::string>& args, bool withInput,
                                   const std::string& name) {
        std::vector<std::string> argv = {ORVANE_EXECUTABLE_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (std::string& arg : argv) {
            cargv.push_back(arg.data());
        }
        cargv.push_back(nullptr);
        std::vector<std::string> env;
        for (const auto& [key, value] : fEnv) {
            env.push_back(key + "=" + value);
        }
        std::vector<char*> cenv;
        for (std::string& entry : env) {
            cenv.push_back(entry.data());
        }
        cenv.push_back(nullptr);

        int pipeFds[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (withInput) {
            EXPECT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
            posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        }
        const std::string out = (fRoot / (name + ".out")).string();
        const std::string err = (fRoot / (name + ".err")).string();
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addchdir_np(&actions, fWork.c_str());
        pid_t pid = -1;
        const int spawned =
            posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0);
        if (withInput) {
            close(pipeFds[0]);
        }
        return std::make_unique<Process>(pid, pipeFds[1]);
    }

    std::string Output(const std::string& name, const char* stream = "err") const {
        return ReadFile(fRoot / (name + "." + stream));
    }

    // Runs `orvane args...` to its end (a minute at most).
    Outcome Run(const std::vector<std::string>& args) {
        const std::string name = "run" + std::to_string(fRuns++);
        std::unique_ptr<Process> process = Start(args, false, name);
        Outcome outcome;
        outcome.status = process->Wait(60s).value_or(-1);
        outcome.out = Output(name, "out");
        outcome.err = Output(name, "err");
        return outcome;
    }

    // Waits until the file `name`.err holds `piece` `count` times.
    bool WaitForOutput(const std::string& name, const std::string& piece, int count = 1,
                       std::chrono::milliseconds timeout = 10s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (CountOf(Output(name), piece) < count) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    // A 227 × 149 JPEG photograph, as a camera would leave it.
    static void WritePhoto(const fs::path& path) { WritePicture(path, "image/jpeg", 227, 149); }

    orvtest::TempFolder fTemp;
    fs::path fRoot = fTemp.Path();
    fs::path fHome;
    fs::path fWork;
    std::map<std::string, std::string> fEnv;
    int fRuns = 0;
};

}  // namespace orv::test
