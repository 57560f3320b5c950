// SPDX-License-Identifier: MIT
// Constants of the interface kit: resizing modes, view flags,
// border styles, menu layouts, control values, window looks, feels and flags.
#pragma once

#include "platform/support/SupportDefs.h"

// A resizing mode packs, for the left, top, right and bottom edges (one nibble each, from
// the high one), which edge of the parent that edge follows.
namespace orv::follow {
inline constexpr uint32 kLeft = 1;
inline constexpr uint32 kTop = 2;
inline constexpr uint32 kRight = 3;
inline constexpr uint32 kBottom = 4;
constexpr uint32 Rule(uint32 left, uint32 top, uint32 right, uint32 bottom) {
    return (left << 12) | (top << 8) | (right << 4) | bottom;
}
}  // namespace orv::follow

enum : uint32 {
    B_FOLLOW_NONE = 0,
    B_FOLLOW_LEFT = orv::follow::Rule(orv::follow::kLeft, 0, orv::follow::kLeft, 0),
    B_FOLLOW_RIGHT = orv::follow::Rule(orv::follow::kRight, 0, orv::follow::kRight, 0),
    B_FOLLOW_LEFT_RIGHT = orv::follow::Rule(orv::follow::kLeft, 0, orv::follow::kRight, 0),
    B_FOLLOW_TOP = orv::follow::Rule(0, orv::follow::kTop, 0, orv::follow::kTop),
    B_FOLLOW_BOTTOM = orv::follow::Rule(0, orv::follow::kBottom, 0, orv::follow::kBottom),
    B_FOLLOW_TOP_BOTTOM = orv::follow::Rule(0, orv::follow::kTop, 0, orv::follow::kBottom),
    B_FOLLOW_ALL_SIDES = B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP_BOTTOM,
    B_FOLLOW_ALL = B_FOLLOW_ALL_SIDES,
};
static_assert((B_FOLLOW_LEFT | B_FOLLOW_TOP) == 0x1212 && B_FOLLOW_ALL_SIDES == 0x1234);

// View flags.
enum : uint32 {
    B_FULL_UPDATE_ON_RESIZE = 0x80000000,
    B_WILL_DRAW = 0x20000000,
    B_PULSE_NEEDED = 0x10000000,
    B_NAVIGABLE_JUMP = 0x08000000,
    B_FRAME_EVENTS = 0x04000000,
    B_NAVIGABLE = 0x02000000,
};

enum border_style {
    B_PLAIN_BORDER,
    B_FANCY_BORDER,
    B_NO_BORDER,
};

enum menu_layout {
    B_ITEMS_IN_ROW = 0,
    B_ITEMS_IN_COLUMN,
    B_ITEMS_IN_MATRIX,
};

enum : int32 {
    B_CONTROL_OFF = 0,
    B_CONTROL_ON = 1,
};

enum thumb_style {
    B_BLOCK_THUMB,
    B_TRIANGLE_THUMB,
};

enum window_look {
    B_BORDERED_WINDOW_LOOK = 20,
    B_NO_BORDER_WINDOW_LOOK = 19,
    B_TITLED_WINDOW_LOOK = 1,
    B_DOCUMENT_WINDOW_LOOK = 11,
    B_MODAL_WINDOW_LOOK = 3,
    B_FLOATING_WINDOW_LOOK = 7,
};

enum window_feel {
    B_NORMAL_WINDOW_FEEL = 0,
    B_MODAL_SUBSET_WINDOW_FEEL = 2,
    B_MODAL_APP_WINDOW_FEEL = 1,
    B_MODAL_ALL_WINDOW_FEEL = 3,
    B_FLOATING_SUBSET_WINDOW_FEEL = 5,
    B_FLOATING_APP_WINDOW_FEEL = 4,
    B_FLOATING_ALL_WINDOW_FEEL = 6,
};

// Window flags.
enum : uint32 {
    B_NOT_MOVABLE = 0x00000001,
    B_NOT_CLOSABLE = 0x00000020,
    B_NOT_ZOOMABLE = 0x00000040,
    B_NOT_MINIMIZABLE = 0x00004000,
    B_NOT_RESIZABLE = 0x00000002,
    B_NOT_H_RESIZABLE = 0x00000004,
    B_NOT_V_RESIZABLE = 0x00000008,
    B_AVOID_FRONT = 0x00000080,
    B_AVOID_FOCUS = 0x00002000,
    B_WILL_ACCEPT_FIRST_CLICK = 0x00000010,
    B_OUTLINE_RESIZE = 0x00001000,
    B_ASYNCHRONOUS_CONTROLS = 0x00080000,
    B_QUIT_ON_WINDOW_CLOSE = 0x00100000,
};

enum : uint32 {
    B_CURRENT_WORKSPACE = 0,
    B_ALL_WORKSPACES = 0xffffffff,
};
