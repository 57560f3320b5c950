// SPDX-License-Identifier: MIT
#include "platform/interface/InputMessage.h"

#include "platform/application/AppDefs.h"
#include "platform/application/Looper.h"

namespace orv {

namespace {

BMessage MakeInput(ViewId view, InputAction action) {
    BMessage input(kInputMessage);
    input.AddInt64("view", int64(view));
    input.AddInt32("action", int32(action));
    return input;
}

}  // namespace

InputAction ActionOf(const BMessage& input) {
    return InputAction(input.GetInt32("action", 0));
}

BMessage MakeClick(ViewId view) {
    return MakeInput(view, InputAction::Click);
}

BMessage MakeSetText(ViewId view, const std::string& text) {
    BMessage input = MakeInput(view, InputAction::SetText);
    input.AddString("text", text);
    return input;
}

BMessage MakeSetValue(ViewId view, int32 value) {
    BMessage input = MakeInput(view, InputAction::SetValue);
    input.AddInt32("value", value);
    return input;
}

BMessage MakeChooseItem(ViewId menuField, int32 index) {
    BMessage input = MakeInput(menuField, InputAction::ChooseItem);
    input.AddInt32("index", index);
    return input;
}

BMessage MakeDrop(ViewId view, const BMessage& dropped) {
    BMessage input = MakeInput(view, InputAction::Drop);
    input.AddMessage("message", &dropped);
    return input;
}

status_t PostInput(WindowId window, const BMessage& input) {
    return BLooper::PostToToken(window, &input, nullptr);
}

status_t PostClose(WindowId window) {
    const BMessage close(B_QUIT_REQUESTED);
    return BLooper::PostToToken(window, &close, nullptr);
}

status_t PostNoticeOutcome(WindowId window, NoticeOutcome outcome) {
    BMessage message(kNoticeMessage);
    message.AddInt32("outcome", int32(outcome));
    return BLooper::PostToToken(window, &message, nullptr);
}

}  // namespace orv
