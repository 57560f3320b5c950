// SPDX-License-Identifier: MIT
#include "platform/support/ProgramIdentity.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace orv {

namespace {

std::mutex gIdentityLock;
std::optional<ProgramIdentity> gIdentity;

// Until the program says who it is, the executable's file name stands for it, as a
// desktop does for a program that names no application.
ProgramIdentity IdentityFromExecutable() {
    ProgramIdentity identity;
    identity.name = program_invocation_short_name;
    for (const char c : identity.name) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        identity.environmentPrefix += plain ? char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) : '_';
    }
    identity.installedTranslators = "lib/" + identity.name + "/translators";
    return identity;
}

}  // namespace

void SetProgramIdentity(ProgramIdentity identity) {
    std::lock_guard lock(gIdentityLock);
    gIdentity = std::move(identity);
}

ProgramIdentity CurrentProgramIdentity() {
    std::lock_guard lock(gIdentityLock);
    if (!gIdentity) {
        gIdentity = IdentityFromExecutable();
    }
    return *gIdentity;
}

const char* ProgramEnvironment(const char* suffix) {
    const std::string variable = CurrentProgramIdentity().environmentPrefix + "_" + suffix;
    return std::getenv(variable.c_str());
}

}  // namespace orv
