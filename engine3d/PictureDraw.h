// The values a picture draw is described by: where the current drawing group puts things, and
// how one picture is placed, turned, coloured and blended. The form fills them from the script's
// arguments; the engine turns them into one draw.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/d3d9/wintypes.h"

namespace hv {

// A position in the game's pixels (fractions allowed).
struct TPosition {
    double X = 0, Y = 0;
};

// The transform of the current drawing group: a position (x, y) the script gives lands at
// (x * ScaleX + OffsetX, y * ScaleY + OffsetY). Pictures are turned and scaled on their own first;
// the group's scale and offset come last.
struct TGroupTransform {
    double OffsetX = 0, OffsetY = 0, ScaleX = 1, ScaleY = 1;

    TPosition Apply(TPosition p) const { return {p.X * ScaleX + OffsetX, p.Y * ScaleY + OffsetY}; }
    bool operator==(const TGroupTransform&) const = default;
};

// Everything one picture draw needs besides the picture's name.
struct TPictureDraw {
    uint8_t Alpha = 255;            // opacity, 0..255
    TPosition At{};                 // the picture's top-left before the group transform
    double Angle = 0;               // degrees clockwise about the pivot
    double ScaleX = 1, ScaleY = 1;  // the picture's own scale about the pivot
    uint32_t Color = 0xFFFFFF;      // tint, red in the low byte
    uint8_t ColorPower = 0;         // above 0: painted flat in Color at this strength
    uint8_t OutputMode = 0;         // 1: added to the pixels below instead of blended over them
    // The part of the picture drawn: left, top, right, bottom in its own pixels; none: all of it.
    std::optional<RECT> Part{};
    // The point turning and scaling keep in place, in the picture's own pixels; both -1: the
    // picture's centre.
    double PivotX = -1, PivotY = -1;
    bool Filter = false;  // linear filtering whatever the engine's default
    TGroupTransform Group{};
};

}  // namespace hv
