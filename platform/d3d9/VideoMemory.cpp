// The display adapter's local video memory, asked of the OpenGL renderer.
#include <SDL.h>
#include <SDL_syswm.h>
#include <epoxy/gl.h>
#include <epoxy/glx.h>

#include <algorithm>
#include <functional>

#include "platform/d3d9/GLDeviceImpl.h"
#include "platform/d3d9/d3d9.h"

namespace hv {

namespace {

std::function<DWORD()>& Override() {
    static std::function<DWORD()> query;
    return query;
}

constexpr uint64_t kMiB = 1024 * 1024;

// Kilobytes or megabytes reported by the current context; 0 when it reports none.
uint64_t QueryCurrentContext(SDL_Window* window) {
    // NVIDIA and AMD report kilobytes through their own extensions.
    if (epoxy_has_gl_extension("GL_NVX_gpu_memory_info")) {
        GLint kb = 0;
        glGetIntegerv(GL_GPU_MEMORY_INFO_DEDICATED_VIDMEM_NVX, &kb);
        if (kb > 0) return uint64_t(kb) * 1024;
    }
    if (epoxy_has_gl_extension("GL_ATI_meminfo")) {
        GLint info[4] = {};
        glGetIntegerv(GL_TEXTURE_FREE_MEMORY_ATI, info);
        if (info[0] > 0) return uint64_t(info[0]) * 1024;
    }
    // Mesa answers through GLX when the context is a GLX one.
    SDL_SysWMinfo wm;
    SDL_VERSION(&wm.version);
    if (window && SDL_GetWindowWMInfo(window, &wm) && wm.subsystem == SDL_SYSWM_X11) {
        Display* display = wm.info.x11.display;
        if (epoxy_has_glx(display) && glXGetCurrentContext() &&
            epoxy_has_glx_extension(display, DefaultScreen(display), "GLX_MESA_query_renderer")) {
            unsigned int mb = 0;
            if (glXQueryCurrentRendererIntegerMESA(GLX_RENDERER_VIDEO_MEMORY_MESA, &mb) && mb > 0)
                return uint64_t(mb) * kMiB;
        }
    }
    return 0;
}

uint64_t Measure() {
    bool startedVideo = false;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
        startedVideo = true;
    }
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    uint64_t bytes = 0;
    SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (window) {
        SDL_GLContext context = SDL_GL_CreateContext(window);
        if (context) {
            bytes = QueryCurrentContext(window);
            SDL_GL_MakeCurrent(window, nullptr);
            SDL_GL_DeleteContext(context);
        }
        SDL_DestroyWindow(window);
    }
    ForgetCurrentGLContext();
    if (previous && previousWindow) SDL_GL_MakeCurrent(previousWindow, previous);
    if (startedVideo) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return bytes;
}

}  // namespace

void SetVideoMemoryQuery(std::function<DWORD()> query) {
    Override() = std::move(query);
}

DWORD GetVideoMemoryTotal() {
    if (Override()) return Override()();
    // The amount does not change while the program runs; measure once.
    static const uint64_t bytes = Measure();
    return DWORD(std::min<uint64_t>(bytes, 0x7FFFFFFF));
}

}  // namespace hv
