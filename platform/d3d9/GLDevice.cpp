#include "platform/d3d9/GLDevice.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/d3d9/GLDeviceImpl.h"

namespace hv {

namespace {

GLDevice* g_current = nullptr;

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

const D3DMATRIX kIdentity = Identity();

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
    return r;
}

// The back buffer is 8 bits a channel: 16-bit formats would draw with other rounding and
// dithering than Direct3D's, so they are refused.
bool IsBackBufferFormat(D3DFORMAT f) {
    return f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8;
}

// Whether `value` enables blending with the constant blend factor.
bool UsesBlendFactor(uint32_t value) {
    return value == D3DBLEND_BLENDFACTOR || value == D3DBLEND_INVBLENDFACTOR;
}

}  // namespace

void ForgetCurrentGLContext() {
    g_current = nullptr;
}

namespace {

std::string& DeviceFailure() {
    static std::string text;
    return text;
}

// "OpenGL 3.0 Mesa 22.3.6 (llvmpipe ...)": what the driver gives a context that asks for nothing
// in particular, or "" when not even that can be made. Leaves no context current.
std::string OfferedOpenGL(SDL_Window* window) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GLContext probe = SDL_GL_CreateContext(window);
    ForgetCurrentGLContext();
    if (!probe) return "";
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    std::string offered = "OpenGL " + std::string(version ? version : "of an unknown version");
    if (renderer) offered += std::string(" (") + renderer + ")";
    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(probe);
    return offered;
}

// Records why no device could be made and says it on standard error.
void FailDevice(SDL_Window* window, const std::string& detail) {
    const std::string offered = OfferedOpenGL(window);
    DeviceFailure() = "This game needs OpenGL 3.3 (core profile); the graphics driver offers " +
                      (offered.empty() ? std::string("no OpenGL context at all") : offered) +
                      ". Updating the graphics driver may help.";
    std::fprintf(stderr, "OpenGL device: %s (%s)\n", DeviceFailure().c_str(), detail.c_str());
}

}  // namespace

std::string LastDeviceFailure() {
    return DeviceFailure();
}

// ---- Creation and destruction ---------------------------------------------------------------

GLDevice::GLDevice(GLDirect3D9* d3d, SDL_Window* window, SDL_GLContext context)
    : d3d_(d3d), window_(window), context_(context) {
    d3d_->AddRef();
    const char* noBatching = std::getenv("HV_D3D_NO_BATCHING");
    batching_ = !(noBatching && noBatching[0] == '1');
    const char* batchLog = std::getenv("HV_D3D_BATCH_LOG");
    batchLog_ = batchLog && batchLog[0] == '1';
}

GLDevice* GLDevice::Create(GLDirect3D9* d3d, HWND window, D3DPRESENT_PARAMETERS* pp, HRESULT& hr) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    DeviceFailure().clear();
    SDL_GLContext context = SDL_GL_CreateContext(window);
    ForgetCurrentGLContext();
    if (!context) {
        FailDevice(window, std::string("no OpenGL 3.3 context: ") + SDL_GetError());
        hr = D3DERR_NOTAVAILABLE;
        return nullptr;
    }
    if (epoxy_gl_version() < 33) {
        const int version = epoxy_gl_version();
        SDL_GL_MakeCurrent(window, nullptr);
        SDL_GL_DeleteContext(context);
        FailDevice(window, "the context has OpenGL " + std::to_string(version / 10) + "." +
                               std::to_string(version % 10));
        hr = D3DERR_NOTAVAILABLE;
        return nullptr;
    }
    auto* device = new GLDevice(d3d, window, context);
    g_current = device;
    if (!device->InitGL()) {
        device->Release();
        hr = D3DERR_NOTAVAILABLE;
        return nullptr;
    }
    hr = device->ApplyPresentParameters(pp);
    if (FAILED(hr)) {
        device->Release();
        return nullptr;
    }
    device->SetDefaultStates();
    return device;
}

bool GLDevice::InitGL() {
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
    // HV_D3D_TEXTURE_UNITS=n binds at most n textures a batch (1: a batch per texture).
    // Mesa's software renderer binds one by default: its draw calls are cheap, while a sample
    // from a unit picked per primitive costs more on every pixel than one from a fixed unit
    // (measured on the mixed benchmark scene: about 11% more time a frame with eight units
    // than with one, for a quarter of the draw calls).
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const bool software = renderer && std::strstr(renderer, "llvmpipe");
    GLint units = 1;
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &units);
    const auto driverUnits = uint32_t(std::clamp<GLint>(units, 1, GLint(kMaxBatchUnits)));
    maxUnits_ = software ? 1 : driverUnits;
    if (const char* cap = std::getenv("HV_D3D_TEXTURE_UNITS");
        cap && cap[0] >= '1' && cap[0] <= '8')
        maxUnits_ = std::min(driverUnits, uint32_t(cap[0] - '0'));
    // Mesa's software renderer shades the pixels of one primitive apart from other primitives',
    // so a primitive's unit may index the samplers: one sample a pixel, where comparisons with
    // each unit cost a sample of every unit (it runs both sides of a branch; measured on the
    // mixed benchmark scene, twice the time a frame). Drivers that may shade several
    // primitives together compare. HV_D3D_INDEXED_UNITS=0 or 1 decides instead.
    const bool canIndex = epoxy_gl_version() >= 40 || epoxy_has_gl_extension("GL_ARB_gpu_shader5");
    indexedUnits_ = canIndex && software;
    if (const char* indexed = std::getenv("HV_D3D_INDEXED_UNITS"); indexed && indexed[0])
        indexedUnits_ = canIndex && indexed[0] == '1';
    if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
        epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic"))
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy_);
    vertexShader_ = CompileVertexShader();
    if (!vertexShader_) return false;
    // HV_D3D_OFFSET_SAMPLES=1 takes the convention for drivers that fill unlike Direct3D.
    const char* offsetSamples = std::getenv("HV_D3D_OFFSET_SAMPLES");
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(window_, &dw, &dh);
    const DriverFacts facts = FindDriverFacts(
        vertexShader_, !(offsetSamples && offsetSamples[0] == '1'), maxAnisotropy_, dw, dh);
    offscreenPixels_ = pixels_ = facts.pixels;
    // HV_D3D_WINDOW_TARGET=0 always draws off-screen.
    const char* windowTarget = std::getenv("HV_D3D_WINDOW_TARGET");
    windowTargetAllowed_ =
        facts.windowFill != WindowFill::Neither && !(windowTarget && windowTarget[0] == '0');
    windowPixels_.flipY = windowPixels_.clipUpperLeft = facts.windowFill == WindowFill::TurnedTwice;
    clipControl_ = HasClipControl();
    // Anisotropic filtering only from a driver whose filter leaves undistorted textures alone.
    if (!facts.anisotropyKeepsTexels) maxAnisotropy_ = 1.0f;
    // Flat shading takes the first vertex of each primitive (the index order keeps Direct3D's
    // first vertex first).
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    UseConvention();
    mirrorOnce_ = epoxy_gl_version() >= 44 ||
                  epoxy_has_gl_extension("GL_ARB_texture_mirror_clamp_to_edge") ||
                  epoxy_has_gl_extension("GL_EXT_texture_mirror_clamp");
    DrawKey plain;
    std::memset(&plain, 0, sizeof plain);
    plain.colorOp = D3DTOP_MODULATE;
    plain.alphaOp = D3DTOP_SELECTARG1;
    if (!ProgramFor(plain, 0).id) return false;

    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &vbo_);
    glGenBuffers(1, &ibo_);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo_);
    BindVertexLayout();
    glGenVertexArrays(1, &unitVao_);
    glBindVertexArray(unitVao_);
    glGenBuffers(1, &unitVbo_);
    glBindBuffer(GL_ARRAY_BUFFER, unitVbo_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo_);
    BindVertexLayout(true);

    glGenFramebuffers(1, &fbo_);
    glGenTextures(1, &colorTexture_);
    if (!presenter_.Create()) return false;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_DITHER);
    return glGetError() == GL_NO_ERROR;
}

GLDevice::~GLDevice() {
    MakeCurrent();
    for (auto& [key, sampler] : samplers_) glDeleteSamplers(1, &sampler);
    if (frameFence_) glDeleteSync(frameFence_);
    vertexStream_.Release();
    unitVertexStream_.Release();
    indexStream_.Release();
    glDeleteFramebuffers(1, &fbo_);
    glDeleteTextures(1, &colorTexture_);
    presenter_.Destroy();
    glDeleteBuffers(1, &vbo_);
    glDeleteBuffers(1, &unitVbo_);
    glDeleteBuffers(1, &ibo_);
    glDeleteVertexArrays(1, &vao_);
    glDeleteVertexArrays(1, &unitVao_);
    for (auto& programs : programs_)
        for (auto& [key, program] : programs) glDeleteProgram(program.id);
    glDeleteShader(vertexShader_);
    SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(context_);
    if (g_current == this) g_current = nullptr;
    d3d_->Release();
}

ULONG GLDevice::AddRef() {
    return ++refs_;
}

ULONG GLDevice::Release() {
    if (refs_ == 0) return 0;
    const ULONG left = --refs_;
    if (left == 0) {
        // The bindings hold references to textures, and the textures keep the device's OpenGL
        // objects alive: drop the bindings, and go once the last texture has gone.
        releasing_ = true;
        Flush();
        if (stream_) std::exchange(stream_, nullptr)->Release();
        if (texture_) std::exchange(texture_, nullptr)->Release();
        releasing_ = false;
        if (textures_.empty()) delete this;
    }
    return left;
}

void GLDevice::Forget(GLTexture* texture) {
    textures_.erase(texture);
    if (refs_ == 0 && !releasing_ && textures_.empty()) delete this;
}

void GLDevice::MakeCurrent() {
    if (g_current != this) {
        SDL_GL_MakeCurrent(window_, context_);
        g_current = this;
    }
}

HRESULT GLDevice::ApplyPresentParameters(D3DPRESENT_PARAMETERS* pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS p = *pp;
    if (p.Windowed) {
        if (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN)
            SDL_SetWindowFullscreen(window_, 0);
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(window_, &w, &h);
        if (p.BackBufferWidth == 0) p.BackBufferWidth = static_cast<UINT>(std::max(w, 1));
        if (p.BackBufferHeight == 0) p.BackBufferHeight = static_cast<UINT>(std::max(h, 1));
        if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = D3DFMT_X8R8G8B8;
    } else {
        if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) return D3DERR_INVALIDCALL;
        if ((SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP) !=
            SDL_WINDOW_FULLSCREEN_DESKTOP)
            SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    if (!IsBackBufferFormat(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
    // There is no depth or stencil buffer and one sample per pixel.
    if (p.EnableAutoDepthStencil || p.MultiSampleType != D3DMULTISAMPLE_NONE)
        return D3DERR_NOTAVAILABLE;
    MakeCurrent();
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (p.BackBufferWidth > UINT(maxSize) || p.BackBufferHeight > UINT(maxSize))
        return D3DERR_INVALIDCALL;
    // A texture, so that presenting can draw it (see GLPresent.cpp).
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, colorTexture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(p.BackBufferWidth),
                 GLsizei(p.BackBufferHeight), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture_, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return D3DERR_OUTOFVIDEOMEMORY;
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    // Waiting for the retrace is a wish: a driver that refuses it is not an error.
    SDL_GL_SetSwapInterval(p.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    pp_ = p;
    *pp = p;
    ChooseTarget();
    restorePending_ = false;
    glBindFramebuffer(GL_FRAMEBUFFER, Target());
    // A fresh back buffer starts black (opaque where the format has no alpha).
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    applied_.colorMask = 0xF;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    return D3D_OK;
}

void GLDevice::SetDefaultStates() {
    states_.SetDefaults(pp_.EnableAutoDepthStencil);
    world_ = view_ = projection_ = Identity();
    viewIsIdentity_ = true;
    textureTransforms_.fill(Identity());
    blendWorlds_.fill(Identity());
    wvpDirty_ = true;
    fvf_ = 0;
    layout_ = DecodeFvf(0);
    if (texture_) std::exchange(texture_, nullptr)->Release();
    if (stream_) std::exchange(stream_, nullptr)->Release();
    streamOffset_ = streamStride_ = 0;
}

// ---- Frame ----------------------------------------------------------------------------------

bool GLDevice::IsLost() {
    if (!pp_.Windowed && (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED)) lost_ = true;
    return lost_;
}

HRESULT GLDevice::TestCooperativeLevel() {
    if (!pp_.Windowed && (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED)) {
        lost_ = true;
        return D3DERR_DEVICELOST;
    }
    return lost_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

HRESULT GLDevice::Reset(D3DPRESENT_PARAMETERS* pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    if (!pp_.Windowed && (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED))
        return D3DERR_DEVICELOST;
    Flush();
    const HRESULT hr = ApplyPresentParameters(pp);
    if (FAILED(hr)) return hr;
    SetDefaultStates();
    lost_ = false;
    inScene_ = false;
    return D3D_OK;
}

HRESULT GLDevice::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT GLDevice::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    Flush();
    return D3D_OK;
}

HRESULT GLDevice::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                          const void* pDirtyRegion) {
    // Rectangles need a copying swap chain, as in Direct3D; the frame always goes to the
    // device's window.
    if ((pSourceRect || pDestRect || pDirtyRegion) && pp_.SwapEffect != D3DSWAPEFFECT_COPY)
        return D3DERR_INVALIDCALL;
    if (hDestWindowOverride) return D3DERR_INVALIDCALL;
    const GLint w = GLint(pp_.BackBufferWidth), h = GLint(pp_.BackBufferHeight);
    RECT src{0, 0, w, h};
    if (pSourceRect) {
        src.left = std::clamp<LONG>(pSourceRect->left, 0, w);
        src.top = std::clamp<LONG>(pSourceRect->top, 0, h);
        src.right = std::clamp<LONG>(pSourceRect->right, 0, w);
        src.bottom = std::clamp<LONG>(pSourceRect->bottom, 0, h);
    }
    if (src.right < src.left || src.bottom < src.top) return D3DERR_INVALIDCALL;
    if (pDestRect && (pDestRect->right < pDestRect->left || pDestRect->bottom < pDestRect->top))
        return D3DERR_INVALIDCALL;
    Flush();
    if (IsLost()) return D3DERR_DEVICELOST;
    if (batchLog_) LogBatches();
    MakeCurrent();
    BindTarget();
    // The destination is in client coordinates, the units of window positions; the drawable
    // may have more pixels than that on a high-density display.
    int dw = 0, dh = 0, cw = 0, ch = 0;
    SDL_GL_GetDrawableSize(window_, &dw, &dh);
    SDL_GetWindowSize(window_, &cw, &ch);
    GLint x0 = 0, y0 = 0, x1 = dw, y1 = dh;
    if (pDestRect && cw > 0 && ch > 0) {
        x0 = GLint(int64_t(pDestRect->left) * dw / cw);
        x1 = GLint(int64_t(pDestRect->right) * dw / cw);
        y0 = GLint(int64_t(pDestRect->top) * dh / ch);
        y1 = GLint(int64_t(pDestRect->bottom) * dh / ch);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    applied_.colorMask = 0xF;
    // Drawn into the window, the frame is in place when it goes to the whole client area
    // unchanged; otherwise it is copied out to be drawn in place (and back after the swap).
    const bool inPlace = onWindow_ && src.left == 0 && src.top == 0 && src.right == w &&
                         src.bottom == h && x0 == 0 && y0 == 0 && x1 == dw && y1 == dh;
    const bool copiedOut = onWindow_ && !inPlace;
    if (copiedOut) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, colorTexture_);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, w, h);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    // Outside the destination the client area is black.
    if (!inPlace && (x0 > 0 || y0 > 0 || x1 < dw || y1 < dh)) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // OpenGL counts rows from the bottom of the window.
    const GLint top = dh - y0, bottom = dh - y1;
    const GLint sw = src.right - src.left, sh = src.bottom - src.top;
    // Whole-number scales copy each pixel to a square of pixels: sharp, not blurred.
    const bool whole = sw > 0 && sh > 0 && (x1 - x0) % sw == 0 && (y1 - y0) % sh == 0;
    if (!inPlace && sw > 0 && sh > 0 && x1 > x0 && y1 > y0)
        DrawFrameTexture(src, !onWindow_ && pixels_.StoredUpsideDown(), x0, bottom, x1 - x0,
                         top - bottom, whole);
    SDL_GL_SwapWindow(window_);
    // A copying swap chain keeps the back buffer as it was drawn; the window's buffer kept what
    // was shown until the back buffer is next used.
    restorePending_ = copiedOut;
    // Every Present completes its frame: wait for the previous one, so that at most one frame
    // is ever waiting in the driver (some drivers otherwise queue frames without bound).
    if (frameFence_) {
        while (glClientWaitSync(frameFence_, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000) ==
               GL_TIMEOUT_EXPIRED) {
        }
        glDeleteSync(frameFence_);
    }
    frameFence_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    // The window may have changed its size since the last frame.
    ChooseTarget();
    glBindFramebuffer(GL_FRAMEBUFFER, Target());
    return D3D_OK;
}

void GLDevice::ChooseTarget() {
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(window_, &dw, &dh);
    // Formats without alpha only: the window's buffer may have none to keep.
    const bool opaque = pp_.BackBufferFormat == D3DFMT_X8R8G8B8 ||
                        pp_.BackBufferFormat == D3DFMT_X1R5G5B5 ||
                        pp_.BackBufferFormat == D3DFMT_R5G6B5;
    // A copying swap chain keeps the back buffer through Present: the window's buffer must too.
    const bool window = windowTargetAllowed_ && opaque && UINT(dw) == pp_.BackBufferWidth &&
                        UINT(dh) == pp_.BackBufferHeight &&
                        (pp_.SwapEffect != D3DSWAPEFFECT_COPY || WindowKeepsPixels());
    if (window == onWindow_) return;
    onWindow_ = window;
    restorePending_ = false;
    pixels_ = window ? windowPixels_ : offscreenPixels_;
    UseConvention();
    applied_ = GLState{};
}

void GLDevice::BindTarget() {
    glBindFramebuffer(GL_FRAMEBUFFER, Target());
    if (!restorePending_) return;
    restorePending_ = false;
    const GLint w = GLint(pp_.BackBufferWidth), h = GLint(pp_.BackBufferHeight);
    DrawFrameTexture(RECT{0, 0, w, h}, false, 0, 0, w, h, true);
}

void GLDevice::DrawFrameTexture(const RECT& src, bool upsideDown, GLint x, GLint y, GLsizei w,
                                GLsizei h, bool sharp) {
    // The presenter's quad is placed in OpenGL's window coordinates, origin at the bottom.
    if (pixels_.clipUpperLeft) glClipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    presenter_.Draw(colorTexture_, GLint(pp_.BackBufferWidth), GLint(pp_.BackBufferHeight), src,
                    upsideDown, x, y, w, h, sharp);
    if (pixels_.clipUpperLeft) glClipControl(GL_UPPER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    applied_ = GLState{};  // the presenter changed what the next draw would take as sent
}

bool GLDevice::WindowKeepsPixels() {
    if (windowKeepsPixels_) return *windowKeepsPixels_;
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(window_, &dw, &dh);
    constexpr int kSide = 4;
    if (dw < kSide || dh < kSide) return false;
    // Two swaps, each after a pattern of near-black pixels (nothing a player would notice) is
    // put into a corner of the back buffer, which must come back unchanged. Not waiting for the
    // retrace: the frames are not meant to be seen.
    SDL_GL_SetSwapInterval(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    applied_.colorMask = 0xF;
    bool kept = true;
    for (int round = 0; round < 2 && kept; ++round) {
        auto value = [&](int i) { return 0xFF000000u | uint32_t((round + 1) << 16 | i << 8 | 3); };
        glEnable(GL_SCISSOR_TEST);
        for (int i = 0; i < kSide * kSide; ++i) {
            const uint32_t c = value(i);
            glScissor(i % kSide, i / kSide, 1, 1);
            glClearColor(float((c >> 16) & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f,
                         float(c & 0xFF) / 255.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        glDisable(GL_SCISSOR_TEST);
        SDL_GL_SwapWindow(window_);
        std::array<uint32_t, kSide * kSide> back{};
        glReadPixels(0, 0, kSide, kSide, GL_BGRA, GL_UNSIGNED_BYTE, back.data());
        for (int i = 0; i < kSide * kSide; ++i)
            kept = kept && (back[size_t(i)] | 0xFF000000u) == value(i);
    }
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SetSwapInterval(pp_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    windowKeepsPixels_ = kept;
    return kept;
}

void GLDevice::UseConvention() {
    if (clipControl_)
        glClipControl(pixels_.clipUpperLeft ? GL_UPPER_LEFT : GL_LOWER_LEFT,
                      GL_NEGATIVE_ONE_TO_ONE);
    // Culling names windings as seen on screen; the vertex shader's turn mirrors them (the
    // window's origin at its top does not: OpenGL counts windings before that turn).
    glFrontFace(pixels_.flipY ? GL_CW : GL_CCW);
    // Point sprites start at their top-left corner.
    glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN,
                      pixels_.StoredUpsideDown() ? GL_LOWER_LEFT : GL_UPPER_LEFT);
}

HRESULT GLDevice::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float,
                        DWORD) {
    // As real drivers do: a list with a count of 0 clears nothing, a count without a list
    // clears the whole target.
    if (Count == 0 && pRects) return D3D_OK;
    if (!pRects) Count = 0;
    if (!(Flags & D3DCLEAR_TARGET)) return D3D_OK;
    Flush();
    MakeCurrent();
    // The whole target cleared replaces what a copying Present was to put back.
    if (Count == 0) restorePending_ = false;
    BindTarget();
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    applied_.colorMask = 0xF;
    const bool hasAlpha =
        pp_.BackBufferFormat == D3DFMT_A8R8G8B8 || pp_.BackBufferFormat == D3DFMT_A1R5G5B5;
    glClearColor(float((Color >> 16) & 0xFF) / 255.0f, float((Color >> 8) & 0xFF) / 255.0f,
                 float(Color & 0xFF) / 255.0f, hasAlpha ? float(Color >> 24) / 255.0f : 1.0f);
    const LONG w = LONG(pp_.BackBufferWidth), h = LONG(pp_.BackBufferHeight);
    if (Count == 0) {
        glDisable(GL_SCISSOR_TEST);
        glClear(GL_COLOR_BUFFER_BIT);
        return D3D_OK;
    }
    glEnable(GL_SCISSOR_TEST);
    for (DWORD i = 0; i < Count; ++i) {
        const LONG x1 = std::clamp(pRects[i].x1, 0, w), x2 = std::clamp(pRects[i].x2, 0, w);
        const LONG y1 = std::clamp(pRects[i].y1, 0, h), y2 = std::clamp(pRects[i].y2, 0, h);
        if (x2 <= x1 || y2 <= y1) continue;
        glScissor(x1, pixels_.StoredUpsideDown() ? y1 : h - y2, x2 - x1, y2 - y1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
    return D3D_OK;
}

// ---- State ----------------------------------------------------------------------------------

D3DMATRIX* GLDevice::Transform(D3DTRANSFORMSTATETYPE state) {
    switch (state) {
        case D3DTS_WORLD:
            return &world_;
        case D3DTS_VIEW:
            return &view_;
        case D3DTS_PROJECTION:
            return &projection_;
        default:
            if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7)
                return &textureTransforms_[state - D3DTS_TEXTURE0];
            if (state > D3DTS_WORLD && state <= D3DTS_WORLDMATRIX255)
                return &blendWorlds_[state - D3DTS_WORLD - 1];
            return nullptr;
    }
}

HRESULT GLDevice::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    D3DMATRIX* m = Transform(State);
    if (!pMatrix || !m) return D3DERR_INVALIDCALL;
    *m = *pMatrix;
    if (m == &view_) viewIsIdentity_ = std::memcmp(&view_, &kIdentity, sizeof view_) == 0;
    if (m == &world_ || m == &view_ || m == &projection_) wvpDirty_ = true;
    return D3D_OK;
}

HRESULT GLDevice::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) {
    const D3DMATRIX* m = Transform(State);
    if (!pMatrix || !m) return D3DERR_INVALIDCALL;
    *pMatrix = *m;
    return D3D_OK;
}

HRESULT GLDevice::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    return states_.SetRender(State, Value);
}

HRESULT GLDevice::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
    return states_.GetRender(State, pValue);
}

HRESULT GLDevice::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) {
    return states_.SetStage(Stage, Type, Value);
}

HRESULT GLDevice::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) {
    return states_.GetStage(Stage, Type, pValue);
}

HRESULT GLDevice::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) {
    const bool address =
        Type == D3DSAMP_ADDRESSU || Type == D3DSAMP_ADDRESSV || Type == D3DSAMP_ADDRESSW;
    if (address && Value == D3DTADDRESS_MIRRORONCE && !mirrorOnce_) return D3DERR_INVALIDCALL;
    return states_.SetSampler(Sampler, Type, Value);
}

HRESULT GLDevice::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) {
    return states_.GetSampler(Sampler, Type, pValue);
}

HRESULT GLDevice::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) {
    if (Stage >= kTextureStageCount) return D3DERR_INVALIDCALL;
    // The texture already set (a picture drawn after one from the same atlas) was checked then.
    if (Stage == 0 && pTexture && pTexture == static_cast<IDirect3DBaseTexture9*>(texture_))
        return D3D_OK;
    GLTexture* t = nullptr;
    if (pTexture) {
        t = dynamic_cast<GLTexture*>(pTexture);
        if (!t || t->Device() != this) return D3DERR_INVALIDCALL;
        // Scratch and system-memory textures cannot be drawn with.
        if (t->Pool() == D3DPOOL_SCRATCH || t->Pool() == D3DPOOL_SYSTEMMEM)
            return D3DERR_INVALIDCALL;
    }
    if (Stage != 0) return D3D_OK;  // stages 1 to 7 are always disabled
    if (t) t->AddRef();
    if (texture_) texture_->Release();
    texture_ = t;
    return D3D_OK;
}

HRESULT GLDevice::SetFVF(DWORD FVF) {
    if (FVF != fvf_) layout_ = DecodeFvf(FVF);
    fvf_ = FVF;
    return D3D_OK;
}

HRESULT GLDevice::GetFVF(DWORD* pFVF) {
    if (!pFVF) return D3DERR_INVALIDCALL;
    *pFVF = fvf_;
    return D3D_OK;
}

HRESULT GLDevice::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                                  UINT OffsetInBytes, UINT Stride) {
    if (StreamNumber != 0) return D3DERR_INVALIDCALL;
    if (pStreamData && pStreamData == static_cast<IDirect3DVertexBuffer9*>(stream_)) {
        streamOffset_ = OffsetInBytes;
        streamStride_ = Stride;
        return D3D_OK;
    }
    MemoryVertexBuffer* vb = nullptr;
    if (pStreamData) {
        vb = dynamic_cast<MemoryVertexBuffer*>(pStreamData);
        if (!vb) return D3DERR_INVALIDCALL;
        vb->AddRef();
    }
    if (stream_) stream_->Release();
    stream_ = vb;
    streamOffset_ = OffsetInBytes;
    streamStride_ = Stride;
    return D3D_OK;
}

// ---- Drawing --------------------------------------------------------------------------------

DrawKey GLDevice::CurrentKey(uint32_t primitive) const {
    DrawKey k;
    std::memset(&k, 0, sizeof k);  // padding too, for the byte-wise comparison
    const DWORD* rs = states_.Render;
    const DWORD* ts = states_.Stage[0];
    const DWORD* ss = states_.Sampler[0];
    k.primitive = primitive;
    StageKey(ts, texture_ != nullptr, k);
    if (texture_ && StageReads(k, D3DTA_TEXTURE)) {
        TextureSlot& t = k.slot;
        t.texture = texture_;
        t.minFilter = ss[D3DSAMP_MINFILTER];
        t.magFilter = ss[D3DSAMP_MAGFILTER];
        t.mipFilter = ss[D3DSAMP_MIPFILTER];
        t.addressU = ss[D3DSAMP_ADDRESSU];
        t.addressV = ss[D3DSAMP_ADDRESSV];
        t.maxAnisotropy = ss[D3DSAMP_MAXANISOTROPY];
        t.border = ss[D3DSAMP_BORDERCOLOR];
        t.lodBias = ss[D3DSAMP_MIPMAPLODBIAS];
        t.maxMipLevel = ss[D3DSAMP_MAXMIPLEVEL];
    }
    if (StageReads(k, D3DTA_TFACTOR)) k.textureFactor = rs[D3DRS_TEXTUREFACTOR];
    if (StageReads(k, D3DTA_CONSTANT)) k.constant = ts[D3DTSS_CONSTANT];
    k.blendEnable = rs[D3DRS_ALPHABLENDENABLE] != 0;
    if (k.blendEnable) {
        k.srcBlend = rs[D3DRS_SRCBLEND];
        k.destBlend = rs[D3DRS_DESTBLEND];
        k.blendOp = rs[D3DRS_BLENDOP];
        k.separateAlpha = rs[D3DRS_SEPARATEALPHABLENDENABLE] != 0;
        if (k.separateAlpha) {
            k.srcBlendAlpha = rs[D3DRS_SRCBLENDALPHA];
            k.destBlendAlpha = rs[D3DRS_DESTBLENDALPHA];
            k.blendOpAlpha = rs[D3DRS_BLENDOPALPHA];
        }
        const bool factor = UsesBlendFactor(k.srcBlend) || UsesBlendFactor(k.destBlend) ||
                            UsesBlendFactor(k.srcBlendAlpha) || UsesBlendFactor(k.destBlendAlpha);
        if (factor) k.blendFactor = rs[D3DRS_BLENDFACTOR];
    }
    k.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    if (primitive == GL_POINTS) {
        const float size = std::clamp(
            StateFloat(rs[D3DRS_POINTSIZE]), StateFloat(rs[D3DRS_POINTSIZE_MIN]),
            std::max(StateFloat(rs[D3DRS_POINTSIZE_MIN]), StateFloat(rs[D3DRS_POINTSIZE_MAX])));
        std::memcpy(&k.pointSize, &size, 4);
        k.pointSprite = rs[D3DRS_POINTSPRITEENABLE] != 0;
    }
    k.cullMode = primitive == GL_TRIANGLES ? rs[D3DRS_CULLMODE] : D3DCULL_NONE;
    k.alphaTest = rs[D3DRS_ALPHATESTENABLE] != 0;
    if (k.alphaTest) {
        k.alphaFunc = rs[D3DRS_ALPHAFUNC];
        k.alphaRef = rs[D3DRS_ALPHAREF] & 0xFF;
    }
    k.colorWrite = rs[D3DRS_COLORWRITEENABLE] & 0xF;
    k.fillMode = primitive == GL_TRIANGLES ? rs[D3DRS_FILLMODE] : D3DFILL_SOLID;
    return k;
}

void GLDevice::UpdateTransform() {
    if (!wvpDirty_) return;
    // Multiplying by the identity gives the matrix itself (up to the sign of zeros, which no
    // position tells apart), so an identity view, the usual case, is skipped.
    wvp_ = Multiply(viewIsIdentity_ ? world_ : Multiply(world_, view_), projection_);
    wvpDirty_ = false;
}

HRESULT GLDevice::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                                UINT PrimitiveCount) {
    const FvfLayout& layout = layout_;
    const UINT n = VerticesForPrimitives(PrimitiveType, PrimitiveCount);
    if (!layout.Valid || !stream_ || n == 0) return D3DERR_INVALIDCALL;
    const UINT stride = streamStride_ ? streamStride_ : layout.Size;
    if (stride < layout.Size) return D3DERR_INVALIDCALL;
    const std::vector<uint8_t>& bytes = stream_->Bytes();
    const uint64_t first = streamOffset_ + uint64_t(StartVertex) * stride;
    if (first + uint64_t(n - 1) * stride + layout.Size > bytes.size()) return D3DERR_INVALIDCALL;

    uint32_t primitive = GL_TRIANGLES;
    if (PrimitiveType == D3DPT_POINTLIST) primitive = GL_POINTS;
    if (PrimitiveType == D3DPT_LINELIST || PrimitiveType == D3DPT_LINESTRIP) primitive = GL_LINES;
    const DrawKey key = CurrentKey(primitive);
    const LightingSetup lighting = LightingFor(states_.Render, layout);
    // Points sized per vertex, and the specular colour of lit vertices (which depends on
    // lights the device does not have), are not drawn.
    if (primitive == GL_POINTS && layout.PointSize) return D3DERR_INVALIDCALL;
    if (lighting.on && StageReads(key, D3DTA_SPECULAR)) return D3DERR_INVALIDCALL;
    UpdateTransform();
    // Line lists add two vertices a line for the last pixel, strips two in all.
    const bool lastPixel = states_.Render[D3DRS_LASTPIXEL] != 0;
    size_t made = n;
    if (lastPixel && primitive == GL_LINES)
        made += PrimitiveType == D3DPT_LINELIST ? 2 * size_t(PrimitiveCount) : 2;
    const DrawTarget target = BeginDraw(key, made);
    std::vector<GLVertex>& out = *target.vertices;
    const uint32_t base = target.firstVertex;

    // The texture coordinate set stage 0 reads; a set the vertex lacks reads (0, 0).
    const DWORD set = states_.Stage[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    const int tex = int(set) < layout.TexCount ? layout.Tex[set] : -1;
    const int texFloats = tex >= 0 ? std::min(layout.TexFloats[set], 2) : 0;
    const float w = float(pp_.BackBufferWidth), h = float(pp_.BackBufferHeight);
    for (UINT i = 0; i < n; ++i) {
        const uint8_t* src = bytes.data() + first + uint64_t(i) * stride;
        float p[4] = {0, 0, 0, 1};
        std::memcpy(p, src + layout.Position, size_t(layout.PositionFloats) * 4);
        GLVertex v;
        if (layout.Transformed) {
            // Screen pixels and 1/w: back to clip space.
            const float cw = p[3] != 0.0f ? 1.0f / p[3] : 1.0f;
            v.x = (p[0] / w * 2.0f - 1.0f) * cw;
            v.y = (1.0f - p[1] / h * 2.0f) * cw;
            v.z = p[2] * cw;
            v.w = cw;
        } else {
            const D3DMATRIX& m = wvp_;
            v.x = p[0] * m._11 + p[1] * m._21 + p[2] * m._31 + p[3] * m._41;
            v.y = p[0] * m._12 + p[1] * m._22 + p[2] * m._32 + p[3] * m._42;
            v.z = p[0] * m._13 + p[1] * m._23 + p[2] * m._33 + p[3] * m._43;
            v.w = p[0] * m._14 + p[1] * m._24 + p[2] * m._34 + p[3] * m._44;
        }
        // A colour the vertex lacks reads opaque white.
        v.diffuse = v.specular = 0xFFFFFFFF;
        if (layout.Diffuse >= 0) std::memcpy(&v.diffuse, src + layout.Diffuse, 4);
        if (layout.Specular >= 0) std::memcpy(&v.specular, src + layout.Specular, 4);
        if (lighting.on) {
            v.diffuse = LitDiffuse(lighting, v.diffuse, v.specular);
            v.specular = 0;
        }
        v.u = v.v = 0.0f;
        if (texFloats > 0) std::memcpy(&v.u, src + tex, 4);
        if (texFloats > 1) std::memcpy(&v.v, src + tex + 4, 4);
        out.push_back(v);
    }

    auto& idx = *target.indices;
    // Direct3D draws the last pixel of a line unless D3DRS_LASTPIXEL is off; OpenGL never
    // does. A one-pixel segment from the end point, which covers just that pixel, adds it, in
    // the colour the segment from `start` gives it.
    auto addLastPixel = [&](uint32_t start, uint32_t end) {
        GLVertex a = out[end];
        if (key.flat) {
            a.diffuse = out[start].diffuse;
            a.specular = out[start].specular;
        }
        GLVertex b = a;
        b.x += 2.0f / w * b.w;
        const uint32_t at = uint32_t(out.size());
        out.push_back(a);
        out.push_back(b);
        idx.push_back(at);
        idx.push_back(at + 1);
    };
    // Each primitive starts with the vertex Direct3D's flat shading takes its colour from.
    switch (PrimitiveType) {
        case D3DPT_POINTLIST:
            for (UINT i = 0; i < n; ++i) idx.push_back(base + i);
            break;
        case D3DPT_LINELIST:
            for (UINT i = 0; i < PrimitiveCount; ++i) {
                idx.push_back(base + 2 * i);
                idx.push_back(base + 2 * i + 1);
                if (lastPixel) addLastPixel(base + 2 * i, base + 2 * i + 1);
            }
            break;
        case D3DPT_LINESTRIP:
            for (UINT i = 0; i < PrimitiveCount; ++i) {
                idx.push_back(base + i);
                idx.push_back(base + i + 1);
            }
            if (lastPixel) addLastPixel(base + PrimitiveCount - 1, base + PrimitiveCount);
            break;
        case D3DPT_TRIANGLELIST:
            for (UINT i = 0; i < n; ++i) idx.push_back(base + i);
            break;
        case D3DPT_TRIANGLESTRIP:
            // Triangle i starts at vertex i; odd ones swap the other two to keep the winding.
            for (UINT i = 0; i < PrimitiveCount; ++i) {
                idx.push_back(base + i);
                idx.push_back(base + ((i & 1) ? i + 2 : i + 1));
                idx.push_back(base + ((i & 1) ? i + 1 : i + 2));
            }
            break;
        case D3DPT_TRIANGLEFAN:
            // Triangle i is (0, i + 1, i + 2), started at vertex i + 1.
            for (UINT i = 0; i < PrimitiveCount; ++i) {
                idx.push_back(base + i + 1);
                idx.push_back(base + i + 2);
                idx.push_back(base);
            }
            break;
    }
    if (CoversTargetOpaquely(key, target)) {
        // The same pixels as a clear to the rectangle's colour, at the cost of a clear.
        const D3DCOLOR color = out[base].diffuse;
        out.resize(base);
        target.indices->resize(target.firstIndex);
        Flush();
        FillTarget(color);
        return D3D_OK;
    }
    EndDraw(key, target);
    if (!batching_) Flush();
    return D3D_OK;
}

bool GLDevice::CoversTargetOpaquely(const DrawKey& k, const DrawTarget& draw) const {
    // Two triangles of one colour, drawn as that colour whatever was there before.
    const std::vector<GLVertex>& vertices = *draw.vertices;
    const std::vector<uint32_t>& indices = *draw.indices;
    const size_t firstIndex = draw.firstIndex;
    if (k.primitive != GL_TRIANGLES || indices.size() - firstIndex != 6) return false;
    if (k.colorOp != D3DTOP_SELECTARG1 || k.colorArg1 != D3DTA_DIFFUSE ||
        k.alphaOp != D3DTOP_SELECTARG1 || k.alphaArg1 != D3DTA_DIFFUSE)
        return false;
    if (k.alphaTest || k.colorWrite != 0xF || k.fillMode != D3DFILL_SOLID ||
        k.cullMode != D3DCULL_NONE)
        return false;
    const D3DCOLOR color = vertices[draw.firstVertex].diffuse;
    if ((color >> 24) != 0xFF) return false;
    if (k.blendEnable) {
        // Blending an opaque source: source alpha over inverse source alpha, or one over zero.
        const bool over = k.srcBlend == D3DBLEND_SRCALPHA && k.destBlend == D3DBLEND_INVSRCALPHA;
        const bool copy = k.srcBlend == D3DBLEND_ONE && k.destBlend == D3DBLEND_ZERO;
        if (!(over || copy) || k.blendOp != D3DBLENDOP_ADD || k.separateAlpha) return false;
    }
    // The vertices, in Direct3D screen pixels, all at corners of one rectangle and of one
    // colour, inside the depth range.
    const float w = float(pp_.BackBufferWidth), h = float(pp_.BackBufferHeight);
    float left = 0, right = 0, top = 0, bottom = 0;
    std::array<std::pair<float, float>, 6> corner{};
    for (size_t i = 0; i < 6; ++i) {
        const GLVertex& v = vertices[indices[firstIndex + i]];
        if (!(v.w > 0) || v.z < 0 || v.z > v.w || v.diffuse != color) return false;
        const float x = (v.x / v.w + 1.0f) * 0.5f * w, y = (1.0f - v.y / v.w) * 0.5f * h;
        corner[i] = {x, y};
        left = i == 0 ? x : std::min(left, x);
        right = i == 0 ? x : std::max(right, x);
        top = i == 0 ? y : std::min(top, y);
        bottom = i == 0 ? y : std::max(bottom, y);
    }
    // Every pixel centre inside: the first row and column lie on or inside the top-left edges,
    // the last ones half a pixel inside the far edges.
    if (left > 0 || top > 0 || right < w - 0.5f || bottom < h - 0.5f) return false;
    // Each triangle holds three different corners; the corners the two leave out are opposite,
    // so the triangles are the two halves of the rectangle on one diagonal.
    int missing[2];
    for (int t = 0; t < 2; ++t) {
        unsigned seen = 0;
        for (int i = 0; i < 3; ++i) {
            const auto [x, y] = corner[size_t(t * 3 + i)];
            if ((x != left && x != right) || (y != top && y != bottom)) return false;
            seen |= 1u << ((x == right ? 1 : 0) + (y == bottom ? 2 : 0));
        }
        if (std::popcount(seen) != 3) return false;
        missing[t] = std::countr_zero(~seen & 0xFu);
    }
    return (missing[0] ^ missing[1]) == 3;
}

void GLDevice::FillTarget(D3DCOLOR color) {
    MakeCurrent();
    restorePending_ = false;  // every pixel is replaced
    BindTarget();
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    applied_.colorMask = 0xF;
    // Opaque: the blended (or copied) alpha is one.
    glClearColor(float((color >> 16) & 0xFF) / 255.0f, float((color >> 8) & 0xFF) / 255.0f,
                 float(color & 0xFF) / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

HRESULT GLDevice::DrawScreenQuads(IDirect3DTexture9* page, const ScreenQuadCorner* corners,
                                  size_t quadCount, D3DCOLOR color) {
    auto* texture = dynamic_cast<GLTexture*>(page);
    if (!texture || texture->Device() != this || (quadCount && !corners)) return D3DERR_INVALIDCALL;
    if (quadCount == 0) return D3D_OK;
    const size_t cornerCount = quadCount * 4;
    DrawKey k;
    std::memset(&k, 0, sizeof k);
    k.slot.texture = texture;
    k.primitive = GL_TRIANGLES;
    k.slot.minFilter = k.slot.magFilter = D3DTEXF_POINT;
    k.slot.mipFilter = D3DTEXF_NONE;
    k.slot.addressU = k.slot.addressV = D3DTADDRESS_CLAMP;
    k.slot.maxAnisotropy = 1;
    k.blendEnable = 1;
    k.srcBlend = D3DBLEND_SRCALPHA;
    k.destBlend = D3DBLEND_INVSRCALPHA;
    k.blendOp = D3DBLENDOP_ADD;
    k.colorOp = k.alphaOp = D3DTOP_MODULATE;
    k.colorArg1 = k.alphaArg1 = D3DTA_TEXTURE;
    k.colorArg2 = k.alphaArg2 = D3DTA_DIFFUSE;
    k.cullMode = D3DCULL_NONE;
    k.colorWrite = 0xF;
    k.fillMode = D3DFILL_SOLID;
    // Lines of text in a row share a batch, and pictures drawn alike; the device's own state
    // is not read or changed.
    const float w = float(pp_.BackBufferWidth), h = float(pp_.BackBufferHeight);
    const DrawTarget target = BeginDraw(k, cornerCount);
    std::vector<GLVertex>& out = *target.vertices;
    for (size_t i = 0; i < cornerCount; ++i) {
        const ScreenQuadCorner& c = corners[i];
        out.push_back(GLVertex{c.X / w * 2.0f - 1.0f, 1.0f - c.Y / h * 2.0f, 0.0f, 1.0f, color,
                               0xFFFFFFFF, c.U, c.V});
    }
    for (uint32_t q = target.firstVertex; q + 3 < out.size(); q += 4) {
        for (uint32_t i : {0u, 1u, 2u, 2u, 1u, 3u}) target.indices->push_back(q + i);
    }
    EndDraw(k, target);
    if (!batching_) Flush();
    return D3D_OK;
}

// ---- Resources ------------------------------------------------------------------------------

HRESULT GLDevice::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                     IDirect3DVertexBuffer9** ppVertexBuffer, void*) {
    if (!ppVertexBuffer) return D3DERR_INVALIDCALL;
    HRESULT hr = D3D_OK;
    *ppVertexBuffer = MemoryVertexBuffer::Create(Length, Usage, FVF, Pool, hr);
    return hr;
}

HRESULT GLDevice::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                D3DPOOL Pool, IDirect3DTexture9** ppTexture, void*) {
    if (!ppTexture) return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    // Levels the device would have to make by itself are not made.
    if (Usage & D3DUSAGE_AUTOGENMIPMAP) return D3DERR_INVALIDCALL;
    const HRESULT hr =
        MemoryTexture::CheckCreate(Width, Height, Levels, Format, UINT(maxTextureSize_));
    if (FAILED(hr)) return hr;
    try {
        *ppTexture = new GLTexture(this, Width, Height, Levels, Usage, Format, Pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT GLDevice::EvictManagedResources() {
    Flush();
    for (GLTexture* t : textures_) t->Evict();
    return D3D_OK;
}

HRESULT GLDevice::GetDeviceCaps(D3DCAPS9* pCaps) {
    if (!pCaps) return D3DERR_INVALIDCALL;
    *pCaps = D3DCAPS9{};
    pCaps->MaxTextureWidth = pCaps->MaxTextureHeight = DWORD(maxTextureSize_);
    pCaps->MaxAnisotropy = DWORD(maxAnisotropy_);
    pCaps->MaxPrimitiveCount = 0xFFFFF;
    return D3D_OK;
}

HRESULT GLDevice::ReadBackBuffer(std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height) {
    Flush();
    MakeCurrent();
    width = pp_.BackBufferWidth;
    height = pp_.BackBufferHeight;
    std::vector<D3DCOLOR> rows(size_t(width) * height);
    BindTarget();
    glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    pixels.resize(rows.size());
    const bool hasAlpha =
        pp_.BackBufferFormat == D3DFMT_A8R8G8B8 || pp_.BackBufferFormat == D3DFMT_A1R5G5B5;
    // OpenGL's rows run bottom up, unless the picture is kept upside down.
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            const UINT row = pixels_.StoredUpsideDown() ? y : height - 1 - y;
            D3DCOLOR c = rows[size_t(row) * width + x];
            pixels[size_t(y) * width + x] = hasAlpha ? c : (c | 0xFF000000u);
        }
    return D3D_OK;
}

HRESULT GLDevice::ReadPresentedFrame(std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height) {
    MakeCurrent();
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    width = UINT(std::max(w, 0));
    height = UINT(std::max(h, 0));
    std::vector<D3DCOLOR> rows(size_t(width) * height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    glBindFramebuffer(GL_FRAMEBUFFER, Target());
    pixels.resize(rows.size());
    // The window's rows run bottom up.
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            pixels[size_t(y) * width + x] = rows[size_t(height - 1 - y) * width + x] | 0xFF000000u;
    return D3D_OK;
}

void GLDevice::SetBatching(bool on) {
    Flush();
    batching_ = on;
}

// ---- Textures -------------------------------------------------------------------------------

namespace {

struct GLFormat {
    GLint internal;
    GLenum format, type;
    bool opaque;  // alpha reads as 1
    bool alphaOnly;
};

GLFormat GLFormatOf(D3DFORMAT f) {
    switch (f) {
        case D3DFMT_X8R8G8B8:
            return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, true, false};
        case D3DFMT_A8B8G8R8:
            return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, false, false};
        case D3DFMT_X8B8G8R8:
            return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, true, false};
        case D3DFMT_R5G6B5:
            return {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, true, false};
        case D3DFMT_A1R5G5B5:
            return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, false, false};
        case D3DFMT_X1R5G5B5:
            return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, true, false};
        case D3DFMT_A4R4G4B4:
            return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, false, false};
        case D3DFMT_X4R4G4B4:
            return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, true, false};
        case D3DFMT_A8:
            return {GL_R8, GL_RED, GL_UNSIGNED_BYTE, false, true};
        default:
            return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, false, false};
    }
}

}  // namespace

GLTexture::GLTexture(GLDevice* device, UINT width, UINT height, UINT levels, DWORD usage,
                     D3DFORMAT format, D3DPOOL pool)
    : MemoryTexture(width, height, levels, usage, format, pool), device_(device) {
    uploaded_.assign(levels, false);
    dirty_.assign(levels, false);
    device_->Remember(this);
}

GLTexture::~GLTexture() {
    device_->FlushIfUses(this);
    if (id_) {
        device_->MakeCurrent();
        glDeleteTextures(1, &id_);
    }
    device_->Forget(this);
}

void GLTexture::BeforeLock(UINT) {
    device_->FlushIfUses(this);
}

void GLTexture::LevelChanged(UINT level) {
    if (level < dirty_.size()) dirty_[level] = true;
}

void GLTexture::Evict() {
    if (!id_) return;
    device_->MakeCurrent();
    glDeleteTextures(1, &id_);
    id_ = 0;
}

void GLTexture::Bind(UINT largestLevel, bool mipmapped) {
    const GLFormat f = GLFormatOf(Format());
    const UINT count = GetLevelCount();
    const UINT base = std::min(largestLevel, count - 1);
    if (!id_) {
        glGenTextures(1, &id_);
        glBindTexture(GL_TEXTURE_2D, id_);
        // Draws sample through sampler objects; the texture's own filter only tells the driver
        // not to set memory aside for levels before they are given.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        baseLevel_ = 0;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(count) - 1);
        if (f.alphaOnly) {
            const GLint swizzle[4] = {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED};
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
        } else if (f.opaque) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
        }
        uploaded_.assign(count, false);
    } else {
        glBindTexture(GL_TEXTURE_2D, id_);
    }
    // Without a mipmap filter only the largest level sampled is read.
    const UINT last = mipmapped ? count - 1 : base;
    for (UINT i = base; i <= last; ++i) {
        if (uploaded_[i] && !dirty_[i]) continue;
        const Level& l = MadeLevel(i);
        if (!l.Bits) continue;  // out of memory: the level stays as it was
        if (uploaded_[i])
            glTexSubImage2D(GL_TEXTURE_2D, GLint(i), 0, 0, GLsizei(l.Width), GLsizei(l.Height),
                            f.format, f.type, l.Bits.get());
        else
            glTexImage2D(GL_TEXTURE_2D, GLint(i), f.internal, GLsizei(l.Width), GLsizei(l.Height),
                         0, f.format, f.type, l.Bits.get());
        uploaded_[i] = true;
        dirty_[i] = false;
    }
    // With level 0 in the OpenGL texture, its system-memory copy can be made again when needed.
    if (uploaded_[0]) DropRemakableTopLevel();
    if (GLint(base) != baseLevel_) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, GLint(base));
        baseLevel_ = GLint(base);
    }
}

// ---- Extras ---------------------------------------------------------------------------------

bool IsGLDevice(IDirect3DDevice9* device) {
    return dynamic_cast<GLDevice*>(device) != nullptr;
}

HRESULT ReadBackBuffer(IDirect3DDevice9* device, std::vector<D3DCOLOR>& pixels, UINT& width,
                       UINT& height) {
    auto* d = dynamic_cast<GLDevice*>(device);
    if (!d) return D3DERR_INVALIDCALL;
    return d->ReadBackBuffer(pixels, width, height);
}

HRESULT ReadPresentedFrame(IDirect3DDevice9* device, std::vector<D3DCOLOR>& pixels, UINT& width,
                           UINT& height) {
    auto* d = dynamic_cast<GLDevice*>(device);
    if (!d) return D3DERR_INVALIDCALL;
    return d->ReadPresentedFrame(pixels, width, height);
}

void SetBatching(IDirect3DDevice9* device, bool on) {
    if (auto* d = dynamic_cast<GLDevice*>(device)) d->SetBatching(on);
}

uint64_t GLDrawCallCount(IDirect3DDevice9* device) {
    auto* d = dynamic_cast<GLDevice*>(device);
    return d ? d->DrawCalls() : 0;
}

bool DrawsIntoWindow(IDirect3DDevice9* device) {
    auto* d = dynamic_cast<GLDevice*>(device);
    return d && d->OnWindow();
}

}  // namespace hv
