// Bitmaps of the cursors that the window system does not provide: the up-arrow, the help arrow
// and the program's own pointing hand. Each is a 32 x 32 monochrome picture in the form SDL's
// cursors take (one bit per pixel, rows of 4 bytes, most significant bit leftmost).
#pragma once

#include <cstdint>
#include <vector>

namespace hv {

struct CursorArt {
    int Width = 32;
    int Height = 32;
    int HotX = 0;
    int HotY = 0;
    // Per pixel: data 1 mask 1 black, data 0 mask 1 white, data 0 mask 0 transparent.
    std::vector<uint8_t> Data;
    std::vector<uint8_t> Mask;
};

// The bitmap for IDC_UPARROW, IDC_HELP or IDC_PROGRAM_HAND; an empty picture (no bytes) for any
// other identifier.
CursorArt BuildCursorArt(int id);

}  // namespace hv
