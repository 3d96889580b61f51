// A real OpenGL device on an SDL window (offscreen driver, Mesa's software renderer), with the
// engine's projection and helpers to draw and read back pixels.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/d3d9/GLDevice.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9.h"
#include "tests/common/OffscreenVideo.h"

namespace hv::test {

// The engine's one vertex layout (XYZ | DIFFUSE | TEX1).
struct Vertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// The engine's fixed states on `device` with a back buffer of w x h: no culling, no lighting,
// one unit per pixel, y down.
inline void SetEngineStates(IDirect3DDevice9* device, int w, int h) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    device->SetTransform(D3DTS_WORLD, &m);
    device->SetTransform(D3DTS_VIEW, &m);
    D3DXMatrixOrthoOffCenterLH(&m, 0, float(w), float(h), 0, -1, 1);
    device->SetTransform(D3DTS_PROJECTION, &m);
}

// A window of w x h with an OpenGL device drawing into a back buffer of its size.
struct TestDevice {
    void Open(int w, int h) {
        StartVideo();
        window = SDL_CreateWindow("device test", 0, 0, w, h, SDL_WINDOW_OPENGL);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        pp.Windowed = 1;
        pp.BackBufferWidth = UINT(w);
        pp.BackBufferHeight = UINT(h);
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = window;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
    }
    void Close() {
        if (device) device->Release();
        if (d3d) d3d->Release();
        if (window) SDL_DestroyWindow(window);
        device = nullptr;
        d3d = nullptr;
        window = nullptr;
    }
    // The back buffer as 0xAARRGGBB, rows top first.
    std::vector<D3DCOLOR> Frame() const {
        std::vector<D3DCOLOR> pixels;
        UINT w = 0, h = 0;
        EXPECT_EQ(ReadBackBuffer(device, pixels, w, h), D3D_OK);
        EXPECT_EQ(w, pp.BackBufferWidth);
        EXPECT_EQ(h, pp.BackBufferHeight);
        return pixels;
    }

    SDL_Window* window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS pp{};
};

class DeviceTest : public ::testing::Test {
protected:
    static constexpr int W = 160;
    static constexpr int H = 120;

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(test_.Open(W, H));
        window = test_.window;
        d3d = test_.d3d;
        device = test_.device;
        pp = test_.pp;
        SetEngineStates();
    }

    void TearDown() override { test_.Close(); }

    void SetEngineStates() { hv::test::SetEngineStates(device, W, H); }

    std::vector<D3DCOLOR> Frame() { return test_.Frame(); }
    static D3DCOLOR At(const std::vector<D3DCOLOR>& f, int x, int y) {
        return f[size_t(y) * W + x];
    }

    // A managed A8R8G8B8 texture with one level whose texels come from `texel(x, y)`.
    IDirect3DTexture9* MakeTexture(UINT w, UINT h, const std::function<D3DCOLOR(int, int)>& texel) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
                  D3D_OK);
        D3DLOCKED_RECT r;
        EXPECT_EQ(t->LockRect(0, &r, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x) {
                const D3DCOLOR c = texel(int(x), int(y));
                std::memcpy(static_cast<uint8_t*>(r.pBits) + y * r.Pitch + x * 4, &c, 4);
            }
        t->UnlockRect(0);
        return t;
    }

    IDirect3DVertexBuffer9* MakeBuffer(const std::vector<Vertex>& v) {
        IDirect3DVertexBuffer9* vb = nullptr;
        EXPECT_EQ(device->CreateVertexBuffer(UINT(v.size() * sizeof(Vertex)), 0, kFvf,
                                             D3DPOOL_MANAGED, &vb, nullptr),
                  D3D_OK);
        void* p = nullptr;
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, v.data(), v.size() * sizeof(Vertex));
        vb->Unlock();
        return vb;
    }

    void Draw(IDirect3DVertexBuffer9* vb, D3DPRIMITIVETYPE type, UINT count,
              const D3DMATRIX* world = nullptr) {
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        device->SetTransform(D3DTS_WORLD, world ? world : &identity);
        device->SetFVF(kFvf);
        device->SetStreamSource(0, vb, 0, sizeof(Vertex));
        device->DrawPrimitive(type, 0, count);
    }

    void Draw(IDirect3DVertexBuffer9* vb, D3DPRIMITIVETYPE type, UINT count,
              const D3DXMATRIX& world) {
        Draw(vb, type, count, static_cast<const D3DMATRIX*>(&world));
    }

    // The engine's picture draw: four vertices in strip order, the states it sets around the
    // draw (colorPower > 0 paints flat in the factor colour; outputMode 1 adds).
    void DrawPicture(IDirect3DTexture9* texture, IDirect3DVertexBuffer9* vb, const D3DMATRIX& world,
                     DWORD colorPower = 0, D3DCOLOR factor = 0, int outputMode = 0,
                     DWORD filter = D3DTEXF_NONE) {
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetTexture(0, texture);
        device->SetRenderState(D3DRS_LIGHTING, 0);
        device->SetFVF(kFvf);
        device->SetStreamSource(0, vb, 0, sizeof(Vertex));
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        if (colorPower > 0) {
            device->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
            device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
            device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEMP);
            device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
        } else {
            device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        }
        if (outputMode == 1) {
            device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        }
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
        device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        device->SetTransform(D3DTS_WORLD, &identity);
    }

    // The engine's four vertices of a w x h picture at (0, 0) of a tw x th texture, with its
    // half-texel edge offsets.
    static std::vector<Vertex> PictureQuad(float w, float h, float tw, float th,
                                           D3DCOLOR color = 0xFFFFFFFF) {
        const float u0 = 0.5f / tw, v0 = 0.5f / th, u1 = (w - 0.5f) / tw, v1 = (h - 0.5f) / th;
        return {{0.5f, 0.5f, 1, color, u0, v0},
                {0.5f, h - 0.5f, 1, color, u0, v1},
                {w - 0.5f, 0.5f, 1, color, u1, v0},
                {w - 0.5f, h - 0.5f, 1, color, u1, v1}};
    }

    static D3DXMATRIX Translation(float x, float y) {
        D3DXMATRIX m;
        D3DXMatrixTranslation(&m, x, y, 0);
        return m;
    }

    SDL_Window* window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS pp{};

private:
    TestDevice test_;
};

}  // namespace hv::test
