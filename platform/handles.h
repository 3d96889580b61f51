// Opaque handles that stand for the Windows handles the host passes around. Code outside
// platform/ only stores and compares them; platform/ knows what they point to.
#pragma once

struct SDL_Window;

namespace hv {

// The game's one window (an SDL window that can carry an OpenGL context). Null: no window.
using HWND = SDL_Window*;

}  // namespace hv
