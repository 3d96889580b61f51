#include "platform/win32/window_icon.h"

#include <SDL.h>
#include <SDL_image.h>

namespace hv {

bool SetProgramIcon(SDL_Window* window) {
    SDL_Surface* icon = IMG_Load_RW(SDL_RWFromConstMem(kWindowIconPng, int(kWindowIconPngSize)), 1);
    if (!icon) return false;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
    return true;
}

}  // namespace hv
