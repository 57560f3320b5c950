// SPDX-License-Identifier: MIT
#include "platform/application/Roster.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/application/InstanceSocket.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/ProgramIdentity.h"

namespace {

const BRoster gRoster;

// The program a launch starts.
std::string Executable() {
    if (const char* forced = orv::ProgramEnvironment("EXECUTABLE"); forced && forced[0] != '\0') {
        return forced;
    }
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, size_t(length)) : std::string();
}

// Starts `path` with no arguments in a session of its own, as a grandchild that init
// adopts, so nothing here has to reap it.
status_t SpawnDetached(const std::string& path) {
    char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t child = fork();
    if (child < 0) {
        return orv::Fail(StatusFromErrno(errno), "impossible de lancer l’application");
    }
    if (child == 0) {
        // Only async-signal-safe calls from here: this process may have other threads.
        setsid();
        pid_t grandchild = fork();
        if (grandchild != 0) {
            _exit(grandchild < 0 ? 1 : 0);
        }
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
        }
        execv(path.c_str(), argv);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return orv::Fail(B_LAUNCH_FAILED, "impossible de lancer l’application");
    }
    return B_OK;
}

}  // namespace

const BRoster* be_roster = &gRoster;

bool BRoster::IsRunning(const char* signature) const {
    return orv::InstanceAnswers(signature);
}

status_t BRoster::Launch(const char* signature, const BMessage* initialMessage,
                         team_id* team) const {
    if (team != nullptr) {
        *team = -1;  // the instance is reached by signature, never by process id
    }
    if (signature == nullptr || signature[0] == '\0') {
        return B_BAD_VALUE;
    }
    auto deliver = [&]() -> status_t {
        return initialMessage != nullptr ? orv::SendToInstance(signature, *initialMessage) : B_OK;
    };
    if (orv::InstanceAnswers(signature)) {
        status_t status = deliver();
        return status == B_OK ? B_ALREADY_RUNNING : status;
    }
    std::string path = Executable();
    if (path.empty() || access(path.c_str(), X_OK) != 0) {
        return orv::Fail(B_LAUNCH_FAILED_EXECUTABLE, "programme introuvable : " + path);
    }
    status_t status = SpawnDetached(path);
    if (status != B_OK) {
        return status;
    }
    for (bigtime_t waited = 0; waited < kLaunchTimeout; waited += 20'000) {
        if (orv::InstanceAnswers(signature)) {
            return deliver();
        }
        usleep(20'000);
    }
    return orv::Fail(B_LAUNCH_FAILED, "l’application lancée ne répond pas");
}
