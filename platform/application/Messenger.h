// SPDX-License-Identifier: MIT
// BMessenger: the address of a looper (or one of its handlers) in this process, or of the
// running instance of an application, found by its signature.
#pragma once

#include <string>

#include "platform/support/Message.h"

class BHandler;
class BLooper;

class BMessenger {
public:
    BMessenger();
    // To a handler (its looper) or to a looper. The handler must already belong to a looper.
    explicit BMessenger(const BHandler* handler, const BLooper* looper = nullptr,
                        status_t* result = nullptr);
    // To the running instance of the application with that signature (any team: there is
    // one instance per signature). The result says whether it answered.
    explicit BMessenger(const char* signature, team_id team = -1, status_t* result = nullptr);

    BMessenger(const BMessenger&) = default;
    BMessenger& operator=(const BMessenger&) = default;
    bool operator==(const BMessenger&) const = default;

    // For a local target: its looper still lives. For an application: it answers now.
    bool IsValid() const;

    // Posts a copy of the message. To another process the call returns once the instance
    // has queued it, or on failure; an infinite timeout is bounded by kMaxRemoteWait so a
    // hung instance cannot hang the sender forever. `replyTo` is accepted and unused:
    // nothing in this program replies.
    status_t SendMessage(uint32 what, BHandler* replyTo = nullptr) const;
    status_t SendMessage(const BMessage* message, BHandler* replyTo = nullptr,
                         bigtime_t timeout = B_INFINITE_TIMEOUT) const;

    static constexpr bigtime_t kMaxRemoteWait = 30'000'000;

private:
    uint64 fToken = 0;
    BHandler* fHandler = nullptr;
    std::string fSignature;
};
