// SDL's video for the pixel tests: the off-screen driver on Mesa's software renderer, started
// once for the whole test program, and the colour channels of a pixel read back.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/d3d9/d3d9.h"

namespace hv::test {

// Starts SDL's video once and keeps one hidden OpenGL window open for the whole program: SDL
// unloads the OpenGL driver with its last OpenGL window, after which the leak checker can no
// longer name the driver's own allocations.
inline void StartVideo() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    // Every device asks the driver afresh, so that the probes themselves are under test.
    setenv("HV_D3D_PROBE_CACHE", "0", 0);
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    }
    static SDL_Window* keeper =
        SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(keeper, nullptr);
}

inline int Red(D3DCOLOR c) {
    return int((c >> 16) & 0xFF);
}
inline int Green(D3DCOLOR c) {
    return int((c >> 8) & 0xFF);
}
inline int Blue(D3DCOLOR c) {
    return int(c & 0xFF);
}

}  // namespace hv::test
