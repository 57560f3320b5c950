// SPDX-License-Identifier: MIT
// Points and rectangles with inclusive edges: (0, 0, 9, 9) is 10 × 10 pixels.
#pragma once

#include <algorithm>
#include <cmath>

#include "platform/support/SupportDefs.h"

class BPoint {
public:
    float x = 0;
    float y = 0;

    constexpr BPoint() = default;
    constexpr BPoint(float px, float py) : x(px), y(py) {}
    constexpr bool operator==(const BPoint&) const = default;
};

class BRect {
public:
    float left = 0;
    float top = 0;
    float right = -1;
    float bottom = -1;

    // The default rectangle (0, 0, -1, -1) is empty: it has no pixel.
    constexpr BRect() = default;
    constexpr BRect(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
    constexpr BRect(BPoint leftTop, BPoint rightBottom)
        : left(leftTop.x), top(leftTop.y), right(rightBottom.x), bottom(rightBottom.y) {}

    constexpr bool operator==(const BRect&) const = default;

    constexpr float Width() const { return right - left; }
    constexpr float Height() const { return bottom - top; }
    constexpr bool IsValid() const { return left <= right && top <= bottom; }
    constexpr BPoint LeftTop() const { return {left, top}; }
    constexpr BPoint RightBottom() const { return {right, bottom}; }

    constexpr void Set(float l, float t, float r, float b) {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    constexpr BRect& OffsetBy(float dx, float dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    constexpr BRect& OffsetTo(float x, float y) { return OffsetBy(x - left, y - top); }
    constexpr bool Contains(BPoint p) const {
        return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom;
    }
};
