// SPDX-License-Identifier: MIT
// BInvoker: a message and where to send it; controls and menu items are invokers.
#pragma once

#include <memory>

#include "platform/application/Messenger.h"
#include "platform/support/Message.h"

class BHandler;
class BLooper;

class BInvoker {
public:
    BInvoker();
    // Takes `message` over.
    BInvoker(BMessage* message, const BHandler* handler, const BLooper* looper = nullptr);
    BInvoker(const BInvoker&) = delete;
    BInvoker& operator=(const BInvoker&) = delete;
    virtual ~BInvoker();

    BMessage* Message() const { return fMessage.get(); }
    uint32 Command() const { return fMessage != nullptr ? fMessage->what : 0; }

    // The handler (of a looper) or the looper that receives the message. With no target
    // the message goes to DefaultTarget(): a control's or a menu item's window.
    virtual status_t SetTarget(const BHandler* handler, const BLooper* looper = nullptr);
    virtual status_t SetTarget(BMessenger messenger);
    BMessenger Messenger() const { return fTarget; }

    // Sends a copy of `message`, or of the invoker's own message when it is nullptr.
    // B_BAD_VALUE with no message, B_BAD_HANDLER when there is nowhere to send it.
    virtual status_t Invoke(BMessage* message = nullptr);

protected:
    virtual BLooper* DefaultTarget() const { return nullptr; }

private:
    std::unique_ptr<BMessage> fMessage;
    BMessenger fTarget;
    bool fHasTarget = false;
};
