// SPDX-License-Identifier: MIT
// Other programs that make and check files from outside this one (ImageMagick's convert and
// identify, exiftool ...), run without a shell so that no argument needs quoting. They are
// Debian's, as scripts/install-deps.sh installs them, taken from /usr/bin: a program of the
// same name earlier on PATH is not what the tests were written against.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace orv::test {

inline std::string ToolPath(const std::string& name) {
    return "/usr/bin/" + name;
}

// Runs `args` (the program first, by its name) and gives its exit status, or -1 when it
// could not be started; its standard output goes to *output when given.
inline int RunTool(const std::vector<std::string>& args, std::string* output = nullptr) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string program = ToolPath(args.at(0));
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (size_t i = 1; i < args.size(); i++) {
        argv.push_back(const_cast<char*>(args[i].c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, size_t(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child) {
        return -1;
    }
    if (output != nullptr) {
        *output = std::move(text);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when the program can be run (the install script provides every tool the tests use).
inline bool HaveTool(const std::string& name) {
    return access(ToolPath(name).c_str(), X_OK) == 0;
}

}  // namespace orv::test
