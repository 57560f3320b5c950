// SPDX-License-Identifier: MIT
#include "platform/application/Handler.h"

#include "platform/application/Looper.h"

BHandler::BHandler(const char* name) : fName(name ? name : "") {}

BHandler::~BHandler() {
    BLooper* looper = fLooper.load();
    if (looper != nullptr && looper != static_cast<void*>(this)) {
        looper->RemoveHandler(this);
    }
}

void BHandler::MessageReceived(BMessage* message) {
    if (fNextHandler != nullptr) {
        fNextHandler->MessageReceived(message);
    }
}

void BHandler::SetName(const char* name) {
    fName = name ? name : "";
}
