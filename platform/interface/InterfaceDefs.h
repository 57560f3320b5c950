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
};
static_assert((B_FOLLOW_LEFT | B_FOLLOW_TOP) == 0x1212 && B_FOLLOW_ALL_SIDES == 0x1234);

// View flags.
enum : uint32 {
    B_WILL_DRAW = 0x20000000,
    B_NAVIGABLE_JUMP = 0x08000000,
    B_FRAME_EVENTS = 0x04000000,
    B_NAVIGABLE = 0x02000000,
};

enum border_style {
    B_FANCY_BORDER = 1,
    B_NO_BORDER = 2,
};

enum menu_layout {
    B_ITEMS_IN_COLUMN = 1,
};

enum : int32 {
    B_CONTROL_OFF = 0,
    B_CONTROL_ON = 1,
};

enum thumb_style {
    B_BLOCK_THUMB,
};

enum window_look {
    B_TITLED_WINDOW_LOOK = 1,
    B_FLOATING_WINDOW_LOOK = 7,
};

enum window_feel {
    B_NORMAL_WINDOW_FEEL = 0,
};

// Window flags.
enum : uint32 {
    B_NOT_RESIZABLE = 0x00000002,
};

enum : uint32 {
    B_CURRENT_WORKSPACE = 0,
};
