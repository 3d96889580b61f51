// The program's icon on its windows: the 64 x 64 picture packaging/halvardine-64.png, built
// into the program so that no file has to be found at run time.
#pragma once

#include <cstddef>
#include <cstdint>

struct SDL_Window;

namespace hv {

// The icon's PNG bytes (generated from the file at build time).
extern const uint8_t kWindowIconPng[];
extern const size_t kWindowIconPngSize;

// Gives `window` the program's icon. False when the picture could not be decoded (the window
// then keeps the desktop's default icon; nothing else changes).
bool SetProgramIcon(SDL_Window* window);

}  // namespace hv
