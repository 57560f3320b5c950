// SPDX-License-Identifier: MIT
// What shows one view of the interface kit on screen: a Qt widget at the view's frame,
// with the Qt controls of its kind inside, kept in step with the view's state. Whatever
// the user does to those controls goes to the window's queue as an input message; a state
// applied from the model never sends anything back.
#pragma once

#include <vector>

#include "platform/interface/DisplayBackend.h"

class QAbstractButton;
class QAction;
class QFont;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QString;
class QWidget;

namespace orv::qt {

// The dynamic property naming the view a widget shows, so that a drop finds its view.
inline constexpr char kViewIdProperty[] = "orvViewId";

// The widget font for a view's font: an empty family is Qt's default; sizes are pixels,
// as the form's frames were laid out for a screen where a point is a pixel.
QFont FontFor(const ViewState& state);

class ViewItem {
public:
    // Builds the widget under `parent` (which owns it) and shows `state`.
    ViewItem(WindowId window, const ViewState& state, QWidget* parent);
    ViewItem(const ViewItem&) = delete;
    ViewItem& operator=(const ViewItem&) = delete;

    QWidget* Widget() const { return fWidget; }
    const ViewState& State() const { return fState; }
    void Apply(const ViewState& state);

    // Check boxes and radio buttons of one box read as one list: each is drawn at the
    // smallest size that any of them needs to fit (0: none).
    int FittedTextSize() const { return fFittedSize; }
    void ShareTextSize(int pixels);

private:
    void Build();
    void ApplyGeometry();
    void ApplyMenu();
    void ApplyStatusBar();
    void ApplySlider(const QFont& font, const QString& label);
    // The text beside a check box's or radio button's indicator, at the size that fits.
    void ApplyIndicatorText(QAbstractButton* button, const QFont& font, const QString& label,
                            int indicatorMetric);
    // The label part and the control part of a labelled control, split at the divider.
    void SplitAtDivider(QWidget* control);

    WindowId fWindow;
    ViewState fState;
    QWidget* fWidget = nullptr;
    QLabel* fLabel = nullptr;
    QLabel* fTrailing = nullptr;
    QLineEdit* fEdit = nullptr;
    QPushButton* fPopUp = nullptr;
    QMenu* fMenu = nullptr;
    QProgressBar* fBar = nullptr;
    QSlider* fSlider = nullptr;
    std::vector<QAction*> fActions;
    int fFittedSize = 0;
    int fSharedSize = 0;
};

}  // namespace orv::qt
