// SPDX-License-Identifier: MIT
#include "platform/application/Messenger.h"

#include <algorithm>

#include "platform/application/InstanceSocket.h"
#include "platform/application/Looper.h"
#include "platform/support/ErrorReason.h"

BMessenger::BMessenger() = default;

BMessenger::BMessenger(const BHandler* handler, const BLooper* looper, status_t* result) {
    status_t status = B_OK;
    if (handler != nullptr) {
        BLooper* owner = handler->Looper();
        if (owner == nullptr || (looper != nullptr && owner != looper)) {
            status = B_MISMATCHED_VALUES;
        } else {
            fToken = owner->Token();
            fHandler = const_cast<BHandler*>(handler);
        }
    } else if (looper != nullptr) {
        fToken = looper->Token();
    } else {
        status = B_BAD_VALUE;
    }
    if (result != nullptr) {
        *result = status;
    }
}

BMessenger::BMessenger(const char* signature, team_id /*team*/, status_t* result) {
    status_t status = B_BAD_VALUE;
    if (signature != nullptr && signature[0] != '\0') {
        fSignature = signature;
        status = orv::InstanceAnswers(signature)
                     ? B_OK
                     : orv::Fail(B_LAUNCH_FAILED_APP_NOT_FOUND, "application introuvable");
    }
    if (result != nullptr) {
        *result = status;
    }
}

bool BMessenger::IsValid() const {
    if (!fSignature.empty()) {
        return orv::InstanceAnswers(fSignature.c_str());
    }
    return fToken != 0 && BLooper::IsTokenAlive(fToken);
}

status_t BMessenger::SendMessage(uint32 what, BHandler* replyTo) const {
    BMessage message(what);
    return SendMessage(&message, replyTo);
}

status_t BMessenger::SendMessage(const BMessage* message, BHandler* /*replyTo*/,
                                 bigtime_t timeout) const {
    if (message == nullptr) {
        return B_BAD_VALUE;
    }
    if (!fSignature.empty()) {
        return orv::SendToInstance(fSignature.c_str(), *message,
                                   std::clamp<bigtime_t>(timeout, 0, kMaxRemoteWait));
    }
    if (fToken == 0) {
        return B_BAD_HANDLER;
    }
    return BLooper::PostToToken(fToken, message, fHandler);
}
