// SPDX-License-Identifier: MIT
#include "app/OrvLauncher.h"

#include "platform/application/AppDefs.h"
#include "ui/Messages.h"
#include "ui/OrvWindow.h"

OrvLauncher::OrvLauncher(const char* signature) : BApplication(signature) {
    ShowWindow(new OrvWindow());
}

OrvLauncher::OrvLauncher(const char* signature, BTranslatorRoster* roster)
    : BApplication(signature) {
    ShowWindow(new OrvWindow(roster));
}

void OrvLauncher::ShowWindow(OrvWindow* window) {
    fWindow = window;
    fWindowMessenger = BMessenger(nullptr, window);
    fWindow->Show();
}

OrvLauncher::~OrvLauncher() = default;

void OrvLauncher::RefsReceived(BMessage* message) {
    message->what = MSG_FILES;
    fWindowMessenger.SendMessage(message);
}

void OrvLauncher::MessageReceived(BMessage* message) {
    switch (message->what) {
        case MSG_FILES:
            fWindowMessenger.SendMessage(message);
            break;
        case B_SIMPLE_DATA:
            // A drop on the application itself carries nothing the window asked for.
            break;
        default:
            BApplication::MessageReceived(message);
            break;
    }
}

bool OrvLauncher::QuitRequested() {
    return true;
}
