// SPDX-License-Identifier: MIT
// Input from a display: what a user did, as a message posted to the window's queue.
//
// A display never touches a control. It posts one of these messages to the window; the
// window's thread takes it in turn, after whatever it is busy with, changes the control
// as the user would have (a click toggles a check box, typing replaces a text, choosing a
// menu item marks it) and invokes the control, so its message goes where it always goes.
// The close box posts B_QUIT_REQUESTED, so closing a window and asking it to quit share one
// path: the window's QuitRequested decides.
#pragma once

#include <string>

#include "platform/interface/DisplayBackend.h"
#include "platform/support/Message.h"

namespace orv {

// The code of every input message. Fields: "view" (int64, the target's ViewId),
// "action" (int32, an InputAction), and per action "text" (string), "value" (int32),
// "index" (int32) or "message" (the dropped message).
inline constexpr uint32 kInputMessage = FourCC("_oIN");

// What became of a window's desktop notice: int32 "outcome", a NoticeOutcome. It reaches the
// window's MessageReceived like any message.
inline constexpr uint32 kNoticeMessage = FourCC("_oNT");

enum class InputAction : int32 {
    Click = 1,   // a button pressed, a check box or radio button clicked
    SetText,     // a text control's text typed and confirmed
    SetValue,    // a value set directly (check box, radio button, slider)
    ChooseItem,  // item "index" chosen in a menu field's menu
    Drop,        // "message" dropped on the view
};

BMessage MakeClick(ViewId view);
BMessage MakeSetText(ViewId view, const std::string& text);
BMessage MakeSetValue(ViewId view, int32 value);
BMessage MakeChooseItem(ViewId menuField, int32 index);
BMessage MakeDrop(ViewId view, const BMessage& dropped);

// What an input message asks for (0, which is no action, when it says nothing).
InputAction ActionOf(const BMessage& input);

// Posts `input` to the window's queue. B_BAD_HANDLER when the window is gone.
status_t PostInput(WindowId window, const BMessage& input);
// The close box: asks the window to quit.
status_t PostClose(WindowId window);
// Tells the window what became of its notice.
status_t PostNoticeOutcome(WindowId window, NoticeOutcome outcome);

}  // namespace orv
