// SPDX-License-Identifier: MIT
// OrvView: the whole form of the main window, built when the view is attached, and the
// drop of files on it.
#pragma once

#include "platform/interface/View.h"

class BCheckBox;
class BMenu;
class BMenuField;
class BRadioButton;
class BStatusBar;
class BTextControl;

class OrvView : public BView {
public:
    OrvView(BRect frame, const char* name);
    ~OrvView() override;

    // A drop carrying "refs" goes to the window as a file list (MSG_FILES), with every
    // other field of the drop; a drop without any is ignored.
    void MessageReceived(BMessage* message) override;
    // Builds the form; the output format menu lists the catalogue of the OrvWindow the
    // view is attached to.
    void AttachedToWindow() override;

    // The controls whose state the window and the run read when they need it. They belong
    // to the view tree; nothing is set before the view is attached.
    BMenu* fFormatMenu = nullptr;
    BMenu* fFilterMenu = nullptr;
    BStatusBar* fStatusBar = nullptr;
    BMenuField* fFormatField = nullptr;
    BMenuField* fFilterField = nullptr;
    BTextControl* fScaleX = nullptr;
    BTextControl* fScaleY = nullptr;
    BCheckBox* fKeepRatio = nullptr;
    BCheckBox* fDelExt = nullptr;
    BCheckBox* fAddExt = nullptr;
    BCheckBox* fSmooth = nullptr;
    BRadioButton* fKeep = nullptr;
    BRadioButton* fTrash = nullptr;
    BRadioButton* fErase = nullptr;
};
