// SPDX-License-Identifier: MIT
// BHandler: something that receives messages on its looper's thread.
#pragma once

#include <atomic>
#include <string>

#include "platform/support/Message.h"

class BLooper;

class BHandler {
public:
    explicit BHandler(const char* name = nullptr);
    virtual ~BHandler();

    BHandler(const BHandler&) = delete;
    BHandler& operator=(const BHandler&) = delete;

    // Called on the looper's thread for every message aimed at this handler. The base
    // version hands the message to the next handler, if there is one.
    virtual void MessageReceived(BMessage* message);

    BLooper* Looper() const { return fLooper.load(); }
    const char* Name() const { return fName.c_str(); }
    void SetName(const char* name);

    // Where MessageReceived passes what it does not handle (a view's parent, say).
    void SetNextHandler(BHandler* handler) { fNextHandler = handler; }

private:
    friend class BLooper;

    std::string fName;
    std::atomic<BLooper*> fLooper{nullptr};
    BHandler* fNextHandler = nullptr;
};
