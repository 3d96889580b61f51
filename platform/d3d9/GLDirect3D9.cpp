#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/d3d9/GLDeviceImpl.h"

namespace hv {

namespace {

std::function<IDirect3D9*(UINT)>& Factory() {
    static std::function<IDirect3D9*(UINT)> factory;
    return factory;
}

D3DDISPLAYMODE ToD3D(const SDL_DisplayMode& m) {
    D3DDISPLAYMODE d;
    d.Width = UINT(std::max(m.w, 0));
    d.Height = UINT(std::max(m.h, 0));
    d.RefreshRate = UINT(std::max(m.refresh_rate, 0));
    d.Format = D3DFMT_X8R8G8B8;
    return d;
}

}  // namespace

void SetDirect3DCreate9Factory(std::function<IDirect3D9*(UINT)> factory) {
    Factory() = std::move(factory);
}

IDirect3D9* Direct3DCreate9(UINT SDKVersion) {
    if (Factory()) return Factory()(SDKVersion);
    return GLDirect3D9::Create();
}

GLDirect3D9* GLDirect3D9::Create() {
    auto* d3d = new GLDirect3D9();
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            std::fprintf(stderr, "Direct3D object: no video: %s\n", SDL_GetError());
            delete d3d;
            return nullptr;
        }
        d3d->startedVideo_ = true;
    }
    return d3d;
}

GLDirect3D9::~GLDirect3D9() {
    if (startedVideo_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

UINT GLDirect3D9::GetAdapterCount() {
    return UINT(std::max(SDL_GetNumVideoDisplays(), 0));
}

HRESULT GLDirect3D9::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) {
    SDL_DisplayMode m;
    if (!pMode || Adapter >= GetAdapterCount() || SDL_GetDesktopDisplayMode(int(Adapter), &m) != 0)
        return D3DERR_INVALIDCALL;
    *pMode = ToD3D(m);
    return D3D_OK;
}

// The display's modes with at least 24 bits per pixel, as the desktop format lists them.
std::vector<D3DDISPLAYMODE> GLDirect3D9::Modes(UINT adapter) {
    std::vector<D3DDISPLAYMODE> modes;
    if (adapter >= GetAdapterCount()) return modes;
    const int n = SDL_GetNumDisplayModes(int(adapter));
    for (int i = 0; i < n; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(int(adapter), i, &m) != 0) continue;
        if (m.format != SDL_PIXELFORMAT_UNKNOWN && SDL_BITSPERPIXEL(m.format) < 24) continue;
        modes.push_back(ToD3D(m));
    }
    return modes;
}

UINT GLDirect3D9::GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) {
    if (Format != D3DFMT_X8R8G8B8) return 0;
    return UINT(Modes(Adapter).size());
}

HRESULT GLDirect3D9::EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode,
                                      D3DDISPLAYMODE* pMode) {
    if (!pMode || Format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
    const std::vector<D3DDISPLAYMODE> modes = Modes(Adapter);
    if (Mode >= modes.size()) return D3DERR_INVALIDCALL;
    *pMode = modes[Mode];
    return D3D_OK;
}

HRESULT GLDirect3D9::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD,
                                  D3DPRESENT_PARAMETERS* pp,
                                  IDirect3DDevice9** ppReturnedDeviceInterface) {
    if (!ppReturnedDeviceInterface) return D3DERR_INVALIDCALL;
    *ppReturnedDeviceInterface = nullptr;
    if (!pp || Adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (DeviceType == D3DDEVTYPE_NULLREF) return D3DERR_NOTAVAILABLE;
    HWND window = pp->hDeviceWindow ? pp->hDeviceWindow : hFocusWindow;
    if (!window) return D3DERR_INVALIDCALL;
    HRESULT hr = D3D_OK;
    *ppReturnedDeviceInterface = GLDevice::Create(this, window, pp, hr);
    return hr;
}

}  // namespace hv
