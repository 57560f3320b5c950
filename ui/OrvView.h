// SPDX-License-Identifier: MIT
// OrvView: the whole form of the main window, built when the view is attached, and the
// drop of files on it.
#pragma once

#include <string>
#include <vector>

#include "conversion/ConvertFile.h"
#include "platform/interface/View.h"

class BCheckBox;
class BMenu;
class BRadioButton;
class BStatusBar;
class BTextControl;

class OrvView : public BView {
public:
    // `formats`: the names the output format menu lists, in the catalogue's order.
    OrvView(BRect frame, const char* name, std::vector<std::string> formats);
    ~OrvView() override;

    // A drop carrying "refs" goes to the window as a file list (MSG_FILES), with every
    // other field of the drop; a drop without any is ignored.
    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;

    // Once attached, with the window locked: the form as a run reads it at its start, the
    // chosen format's catalogue position included (-1 with none chosen).
    orv::ConversionOptions Options() const;
    // The chosen format's catalogue position, -1 with none chosen.
    int32 FormatIndex() const;
    BStatusBar* StatusBar() const { return fStatusBar; }

private:
    void AddHeading(float right);
    void AddSizeOptions();
    void AddOldFileChoices(float right);
    void AddMenus(float right, float bottom);

    std::vector<std::string> fFormats;
    // The controls the run reads. They belong to the view tree; nothing is set before the
    // view is attached.
    BMenu* fFormatMenu = nullptr;
    BMenu* fFilterMenu = nullptr;
    BStatusBar* fStatusBar = nullptr;
    BTextControl* fScaleX = nullptr;
    BTextControl* fScaleY = nullptr;
    BCheckBox* fKeepRatio = nullptr;
    BCheckBox* fDelExt = nullptr;
    BCheckBox* fAddExt = nullptr;
    BCheckBox* fSmooth = nullptr;
    BRadioButton* fTrash = nullptr;
    BRadioButton* fErase = nullptr;
};
