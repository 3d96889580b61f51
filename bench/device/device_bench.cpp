// Frame time of N quads of one texture: through the device as the surface engine draws them
// (a vertex-buffer refill, a world matrix and the full state per picture), batched and call by
// call, and through a minimal OpenGL program that draws the same quads with one call per frame
// (the limit of this machine). One benchmark iteration is one presented frame.
//
// Run headless without waiting for the retrace:
//   SDL_VIDEODRIVER=offscreen vblank_mode=0 build/<dir>/bench/device/device_bench
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/d3d9/GLDevice.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9.h"

namespace {

using namespace hv;

constexpr int kWidth = 1024, kHeight = 768, kSide = 32;

struct Vertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};

SDL_Window* OpenWindow() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!SDL_WasInit(SDL_INIT_VIDEO)) SDL_Init(SDL_INIT_VIDEO);
    return SDL_CreateWindow("bench", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL);
}

float QuadX(int i) {
    return float((i * 37) % (kWidth - kSide));
}
float QuadY(int i) {
    return float((i * 91) % (kHeight - kSide));
}

void DeviceFrames(benchmark::State& state, bool batched) {
    const int n = int(state.range(0));
    SDL_Window* window = OpenWindow();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = 1;
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    IDirect3DDevice9* device = nullptr;
    if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window,
                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device))) {
        state.SkipWithError("no device");
        return;
    }
    SetBatching(device, batched);
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    device->SetTransform(D3DTS_VIEW, &m);
    D3DXMatrixOrthoOffCenterLH(&m, 0, kWidth, kHeight, 0, -1, 1);
    device->SetTransform(D3DTS_PROJECTION, &m);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(kSide, kSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    D3DLOCKED_RECT r;
    texture->LockRect(0, &r, nullptr, 0);
    for (int i = 0; i < kSide * kSide; ++i) static_cast<D3DCOLOR*>(r.pBits)[i] = 0xC0FF8040u + i;
    texture->UnlockRect(0);
    std::vector<IDirect3DVertexBuffer9*> buffers(size_t(n), nullptr);
    for (auto& vb : buffers)
        device->CreateVertexBuffer(96, 0, 0x142, D3DPOOL_MANAGED, &vb, nullptr);

    for (auto _ : state) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
        device->BeginScene();
        for (int i = 0; i < n; ++i) {
            const float e = kSide - 0.5f, u0 = 0.5f / kSide, u1 = e / kSide;
            const Vertex quad[4] = {{0.5f, 0.5f, 1, 0xFFFFFFFF, u0, u0},
                                    {0.5f, e, 1, 0xFFFFFFFF, u0, u1},
                                    {e, 0.5f, 1, 0xFFFFFFFF, u1, u0},
                                    {e, e, 1, 0xFFFFFFFF, u1, u1}};
            void* p = nullptr;
            buffers[size_t(i)]->Lock(0, 0, &p, 0);
            std::memcpy(p, quad, sizeof quad);
            buffers[size_t(i)]->Unlock();
            D3DXMATRIX world;
            D3DXMatrixTranslation(&world, QuadX(i) + 0.5f, QuadY(i) + 0.5f, 0);
            device->SetTransform(D3DTS_WORLD, &world);
            device->SetTexture(0, texture);
            device->SetRenderState(D3DRS_LIGHTING, 0);
            device->SetFVF(0x142);
            device->SetStreamSource(0, buffers[size_t(i)], 0, sizeof(Vertex));
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
            device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
            device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
            device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_NONE);
            device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_NONE);
            device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
            device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            D3DXMatrixIdentity(&world);
            device->SetTransform(D3DTS_WORLD, &world);
        }
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    state.counters["draw_calls_per_frame"] =
        benchmark::Counter(double(GLDrawCallCount(device)) / double(state.iterations()));
    for (auto* vb : buffers) vb->Release();
    texture->Release();
    device->Release();
    d3d->Release();
    SDL_DestroyWindow(window);
}

void BM_DeviceBatched(benchmark::State& state) {
    DeviceFrames(state, true);
}
void BM_DeviceCallByCall(benchmark::State& state) {
    DeviceFrames(state, false);
}

// The same quads with the least work OpenGL allows: vertices written on the CPU into one
// buffer, one draw call, blending on, one texture.
void BM_RawOpenGL(benchmark::State& state) {
    const int n = int(state.range(0));
    SDL_Window* window = OpenWindow();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        state.SkipWithError("no OpenGL 3.3");
        return;
    }
    SDL_GL_SetSwapInterval(1);
    const char* vs =
        "#version 330 core\nlayout(location=0) in vec2 p; layout(location=1) in vec2 t;"
        "out vec2 uv; void main(){ uv=t; gl_Position=vec4(p,0,1); }";
    const char* fs =
        "#version 330 core\nin vec2 uv; uniform sampler2D s; out vec4 c;"
        "void main(){ c=texture(s,uv); }";
    GLuint program = glCreateProgram();
    for (auto [type, src] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
        GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &src, nullptr);
        glCompileShader(s);
        glAttachShader(program, s);
        glDeleteShader(s);
    }
    glLinkProgram(program);
    glUseProgram(program);
    GLuint vao, vbo, tex;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<void*>(8));
    std::vector<uint32_t> texels(kSide * kSide, 0xC0FF8040u);
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSide, kSide, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, kWidth, kHeight);
    std::vector<float> v(size_t(n) * 6 * 4);
    for (auto _ : state) {
        float* o = v.data();
        for (int i = 0; i < n; ++i) {
            const float x0 = QuadX(i) / kWidth * 2 - 1, x1 = (QuadX(i) + kSide) / kWidth * 2 - 1;
            const float y0 = 1 - QuadY(i) / kHeight * 2, y1 = 1 - (QuadY(i) + kSide) / kHeight * 2;
            const float q[6][4] = {{x0, y0, 0, 0}, {x0, y1, 0, 1}, {x1, y0, 1, 0},
                                   {x1, y0, 1, 0}, {x0, y1, 0, 1}, {x1, y1, 1, 1}};
            std::memcpy(o, q, sizeof q);
            o += 24;
        }
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(v.size() * 4), v.data(), GL_STREAM_DRAW);
        glDrawArrays(GL_TRIANGLES, 0, n * 6);
        SDL_GL_SwapWindow(window);
        glFinish();
    }
    glDeleteTextures(1, &tex);
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
    glDeleteProgram(program);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
}

BENCHMARK(BM_RawOpenGL)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceBatched)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceCallByCall)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
