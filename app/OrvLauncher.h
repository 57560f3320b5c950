// SPDX-License-Identifier: MIT
// OrvLauncher: the application object. It owns nothing but the main window, which it
// creates and shows at once, and hands every file list it receives to that window.
#pragma once

#include "platform/application/Application.h"
#include "platform/application/Messenger.h"

class BTranslatorRoster;
class OrvWindow;

class OrvLauncher : public BApplication {
public:
    explicit OrvLauncher(const char* signature);
    // The window on another roster, which must outlive the application: tests.
    OrvLauncher(const char* signature, BTranslatorRoster* roster);
    // The window, once shown, ends with the application's loop, not here.
    ~OrvLauncher() override;

    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override;
    void RefsReceived(BMessage* message) override;

    OrvWindow* Window() const { return fWindow; }

private:
    void ShowWindow(OrvWindow* window);

    OrvWindow* fWindow;
    // Lists go through the window's messenger: once the window has closed (it deletes
    // itself before the application's quit request is handled) a late list is dropped
    // instead of being posted to a window that no longer exists.
    BMessenger fWindowMessenger;
};
