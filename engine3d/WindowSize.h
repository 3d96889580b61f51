// The client size of the game's window in windowed mode, chosen from the desktop's shape.
#pragma once

#include <cstdint>

namespace hv {

struct TWindowSize {
    int32_t Width = 0;
    int32_t Height = 0;
};

// 1024 x 768; 1280 x 1024 on a 4:3 desktop wider than 1280; 1366 x 768 on a 16:9 desktop wider
// than 1366; 1280 x 800 on a 16:10 desktop wider than 1280. A configured size (both non-zero)
// replaces the choice. Sizes in pixels; a desktop of height 0 counts as no particular shape.
TWindowSize CalcWindowSize(int32_t desktopWidth, int32_t desktopHeight, int32_t configWidth,
                           int32_t configHeight);

}  // namespace hv
