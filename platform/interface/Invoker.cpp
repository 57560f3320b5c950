// SPDX-License-Identifier: MIT
#include "platform/interface/Invoker.h"

#include "platform/application/Looper.h"

BInvoker::BInvoker() = default;

BInvoker::BInvoker(BMessage* message, const BHandler* handler, const BLooper* looper)
    : fMessage(message) {
    if (handler != nullptr || looper != nullptr) {
        SetTarget(handler, looper);
    }
}

BInvoker::~BInvoker() = default;

status_t BInvoker::SetTarget(const BHandler* handler, const BLooper* looper) {
    if (handler == nullptr && looper == nullptr) {
        fTarget = BMessenger();
        fHasTarget = false;
        return B_OK;
    }
    status_t result = B_OK;
    fTarget = BMessenger(handler, looper, &result);
    fHasTarget = result == B_OK;
    return result;
}

status_t BInvoker::SetTarget(BMessenger messenger) {
    fTarget = messenger;
    fHasTarget = true;
    return B_OK;
}

status_t BInvoker::Invoke(BMessage* message) {
    const BMessage* sent = message != nullptr ? message : fMessage.get();
    if (sent == nullptr) {
        return B_BAD_VALUE;
    }
    if (fHasTarget) {
        return fTarget.SendMessage(sent);
    }
    BLooper* looper = DefaultTarget();
    if (looper == nullptr) {
        return B_BAD_HANDLER;
    }
    return looper->PostMessage(sent);
}
