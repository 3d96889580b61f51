// Where a window position lands in the game: the mapping the mouse handlers apply before the
// script sees a position.
#pragma once

#include <cstdint>

namespace hv {

struct TGamePoint {
    int32_t X = 0;
    int32_t Y = 0;
};

// What the mapping reads of the surface engine.
struct TViewGeometry {
    bool FullScreen = false;
    double ScaleToScreenX = 1, ScaleToScreenY = 1;  // play area / desktop, full screen only
    int32_t ViewWidth = 0, ViewHeight = 0;          // play area, game pixels
    int32_t WindowWidth = 0, WindowHeight = 0;      // client area, window pixels
};

// Full screen: (x * ScaleToScreenX, y * ScaleToScreenY); in a window: (ViewWidth * x /
// WindowWidth, ViewHeight * y / WindowHeight) with the products taken in integers. Each result
// is the nearest integer, halves to even. A window of width or height 0 maps that axis to 0.
TGamePoint WindowToGame(const TViewGeometry& g, int32_t x, int32_t y);

// The keys whose WM_KEYDOWN reaches the script (and whose codes WM_CHAR therefore never passes
// on): Backspace, Enter, Escape, End, Home, the four arrows, Insert, Delete.
bool IsScriptVirtualKey(uint32_t virtualKey);

}  // namespace hv
