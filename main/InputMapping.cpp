#include "main/InputMapping.h"

#include "platform/convert.h"

namespace hv {

namespace {
int32_t Nearest(double v) {
    return int32_t(RoundHalfEven(v));
}
}  // namespace

TGamePoint WindowToGame(const TViewGeometry& g, int32_t x, int32_t y) {
    if (g.FullScreen) return {Nearest(x * g.ScaleToScreenX), Nearest(y * g.ScaleToScreenY)};
    const auto axis = [](int32_t view, int32_t pos, int32_t window) {
        return window == 0 ? 0 : Nearest(double(int64_t(view) * pos) / window);
    };
    return {axis(g.ViewWidth, x, g.WindowWidth), axis(g.ViewHeight, y, g.WindowHeight)};
}

bool IsScriptVirtualKey(uint32_t key) {
    switch (key) {
        case 8:   // Backspace
        case 13:  // Enter
        case 27:  // Escape
        case 35:  // End
        case 36:  // Home
        case 37:  // Left
        case 38:  // Up
        case 39:  // Right
        case 40:  // Down
        case 45:  // Insert
        case 46:  // Delete
            return true;
        default:
            return false;
    }
}

}  // namespace hv
