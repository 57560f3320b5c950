// SPDX-License-Identifier: MIT
// BRoster: starts applications by signature.
#pragma once

#include <string>

#include "platform/support/Message.h"

class BRoster {
public:
    // Starts the application unless an instance already answers (B_ALREADY_RUNNING), then
    // waits until it answers, at most kLaunchTimeout. The program started is
    // $PREFIX_EXECUTABLE (see ProgramIdentity.h), else this process's own executable. An
    // initial message, if given, is sent to the instance once it answers.
    status_t Launch(const char* signature, const BMessage* initialMessage = nullptr,
                    team_id* team = nullptr) const;
    bool IsRunning(const char* signature) const;

    static constexpr bigtime_t kLaunchTimeout = 15'000'000;
};

extern const BRoster* be_roster;
