// SPDX-License-Identifier: MIT
// Files written by other projects' programs, at test time: Debian's ImageMagick, cjpeg
// and djpeg, cwebp, dwebp and img2webp, tiffcp. A decoder is then checked on files no
// one here wrote, and against what another decoder makes of them. scripts/install-deps.sh
// installs these programs; without one, the test that needs it says which and is skipped
// (or fails, when ORVANE_REQUIRE_TOOLS is set, as the project's scripts do).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/support/SupportDefs.h"
#include "tests/translators/common/Netpbm.h"

extern char** environ;

namespace orv::test {

// What scripts/install-deps.sh installs for each program the tests run.
inline const char* DebianPackageOf(const std::string& program) {
    if (program == "convert") {
        return "imagemagick";
    }
    if (program == "cjpeg" || program == "djpeg") {
        return "libjpeg-turbo-progs";
    }
    if (program == "tiffcp") {
        return "libtiff-tools";
    }
    return "webp";
}

inline bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

// One line naming the programs missing and their packages, or nothing when all are there.
inline std::string MissingPrograms(std::initializer_list<const char*> programs) {
    std::string missing;
    for (const char* program : programs) {
        if (!OnPath(program)) {
            missing += std::string(missing.empty() ? "" : ", ") + program + " (Debian package " +
                       DebianPackageOf(program) + ")";
        }
    }
    return missing.empty() ? missing
                           : "needs " + missing + "; bash scripts/install-deps.sh installs it";
}

inline bool ProgramsRequired() {
    const char* required = std::getenv("ORVANE_REQUIRE_TOOLS");
    return required != nullptr && *required != '\0' && std::string(required) != "0";
}

#define ORV_NEED_PROGRAMS(...)                                                      \
    if (const std::string orvMissing = ::orv::test::MissingPrograms({__VA_ARGS__}); \
        !orvMissing.empty()) {                                                      \
        if (::orv::test::ProgramsRequired()) {                                      \
            FAIL() << orvMissing;                                                   \
        }                                                                           \
        GTEST_SKIP() << orvMissing;                                                 \
    }

// A private folder where other programs read and write the test's files.
class ForeignFiles {
public:
    ForeignFiles() {
        char dir[] = "/tmp/orvane-foreign-XXXXXX";
        if (mkdtemp(dir) == nullptr) {
            ADD_FAILURE() << "no temporary folder";
        }
        fDir = dir;
    }
    ~ForeignFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(fDir, ignored);
    }
    ForeignFiles(const ForeignFiles&) = delete;
    ForeignFiles& operator=(const ForeignFiles&) = delete;

    std::string Path(const std::string& name) const { return fDir + "/" + name; }

    void Write(const std::string& name, const std::vector<uint8>& bytes) const {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    // The file's bytes; none, with a failure naming it, when it is missing.
    std::vector<uint8> Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        if (!in) {
            ADD_FAILURE() << name << " was not made";
            return {};
        }
        return std::vector<uint8>(std::istreambuf_iterator<char>(in), {});
    }

    // Runs a program in the folder, its output and messages to a log. True when it ends
    // well; otherwise a failure gives the command and what it said.
    bool Run(const std::vector<std::string>& args) const {
        std::vector<char*> argv;
        std::string command;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
            command += (command.empty() ? "" : " ") + arg;
        }
        argv.push_back(nullptr);
        const std::string log = Path("log");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addchdir_np(&actions, fDir.c_str());
        pid_t pid = 0;
        int status = -1;
        const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned == 0) {
            waitpid(pid, &status, 0);
        }
        if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::ifstream said(log);
            ADD_FAILURE() << command << " failed:\n" << said.rdbuf();
            return false;
        }
        return true;
    }

    // Has ImageMagick write `source` as `args` ask: its options, then the file to write.
    bool Convert(const Samples& source, const std::vector<std::string>& args) const {
        Write("source.pnm", ToNetpbm(source));
        std::vector<std::string> command = {"convert", "source.pnm"};
        command.insert(command.end(), args.begin(), args.end());
        return Run(command);
    }

private:
    std::string fDir;
};

}  // namespace orv::test
