// The surface engine's construction and its Direct3D device: creation, re-creation after a mode
// change or a lost device, the list of display modes and the fixed states and matrices.
#include "engine3d/KavTextureEngine3D.h"

#include <cstdio>
#include <string>
#include <utility>

#include "log/KavLogEngine.h"
#include "platform/convert.h"
#include "platform/halt.h"
#include "platform/system.h"
#include "platform/win32/win32.h"

namespace hv {

namespace {

// The SDK version the host asks Direct3D for.
constexpr UINT kSdkVersion = 0x8000001F;

std::function<TWindowSize()>& DesktopQuery() {
    static std::function<TWindowSize()> query;
    return query;
}

std::function<RECT()>& WorkAreaQuery() {
    static std::function<RECT()> query;
    return query;
}

// The device could not be reset or made: nothing can be drawn any more, so the program ends.
// When the graphics driver lacks what the device needs, the player is told so in a box over
// `window` (captioned with its title): a game started from a menu would otherwise just vanish.
[[noreturn]] void EndForDevice(HWND window, const std::string& what, HRESULT hr) {
    const std::string text = "TKavSurfaceEngine3D.InitD3D " + what + " failed hr=" + IntToStr(hr);
    LogEngine().AddError(text);
    std::fprintf(stderr, "%s\n", text.c_str());
    const std::string reason = LastDeviceFailure();
    if (!reason.empty()) {
        LogEngine().AddMessage(reason);
        MessageBox(window, reason, GetWindowText(window), MB_OK | MB_ICONERROR);
    }
    Halt(kDeviceFailureExitCode);
}

// "full screen, 800 x 600 on 1920 x 1080" or "a window of 1024 x 768", for log lines.
std::string DisplayText(const TDisplayPlan& plan) {
    const std::string game = IntToStr(plan.Game.Width) + " x " + IntToStr(plan.Game.Height);
    if (!plan.FullScreen) return "a window of " + game;
    return "full screen, " + game + " on " + IntToStr(plan.Layout.Client.Width) + " x " +
           IntToStr(plan.Layout.Client.Height);
}

}  // namespace

TWindowSize DesktopSize() {
    if (DesktopQuery()) return DesktopQuery()();
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void SetDesktopSizeQuery(std::function<TWindowSize()> query) {
    DesktopQuery() = std::move(query);
}

RECT DesktopWorkArea() {
    if (WorkAreaQuery()) return WorkAreaQuery()();
    if (DesktopQuery()) {
        const TWindowSize d = DesktopQuery()();
        return RECT{0, 0, d.Width, d.Height};
    }
    RECT work{};
    if (!SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0))
        work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return work;
}

void SetDesktopWorkAreaQuery(std::function<RECT()> query) {
    WorkAreaQuery() = std::move(query);
}

TKavSurfaceEngine3D::TKavSurfaceEngine3D(int32_t width, int32_t height, bool fullScreen,
                                         int32_t configWidth, int32_t configHeight) {
    ConfigWidth = configWidth;
    ConfigHeight = configHeight;
    PreLoadInMemory = true;
    AllFilter = false;
    CreateWidth = width;
    CreateHeight = height;
    FullScreen = fullScreen;
    FilterMode = 0;
    MaxAnisotropy = 1;
    CalcWindowSize();
    FullScreenSize = {0, 0};
    Plan = PlanFor(width, height, fullScreen);
}

TKavSurfaceEngine3D::~TKavSurfaceEngine3D() {
    Destroy();
}

void TKavSurfaceEngine3D::Destroy() {
    for (TKavSurface& s : Surfaces) s.VB.Reset();
    for (TTexture& t : Textures) t.Texture.Reset();
    Textures.clear();
    Surfaces.clear();
    // The font and the shape caches hold objects of the device: they go before it.
    Font.Reset();
    Lines.clear();
    Triangles.clear();
    Device.Reset();
    D3D.Reset();
}

void TKavSurfaceEngine3D::CalcWindowSize() {
    const TWindowSize desktop = DesktopSize();
    const TWindowSize size =
        hv::CalcWindowSize(desktop.Width, desktop.Height, ConfigWidth, ConfigHeight);
    WindowWidth = size.Width;
    WindowHeight = size.Height;
}

void TKavSurfaceEngine3D::ReleaseDeviceObjects() {
    Font.Reset();
    Lines.clear();
    Triangles.clear();
    for (TKavSurface& s : Surfaces) s.VB.Reset();
    for (TTexture& t : Textures) {
        t.Texture.Reset();
        t.Opacity = {};
        t.Loaded = false;
    }
}

HRESULT TKavSurfaceEngine3D::InitD3D(HWND windowHandle, int32_t width, int32_t height) {
    bool windowedSizeUsed = false;
    return InitD3D(windowHandle, width, height, windowedSizeUsed);
}

HRESULT TKavSurfaceEngine3D::InitD3D(HWND windowHandle, int32_t width, int32_t height,
                                     bool& windowedSizeUsed) {
    VidMem = GetVideoMemoryTotal();
    LogEngine().AddHint(" TKavSurfaceEngine3D.InitD3D VidMem=" + IntToStr(VidMem));
    LogEngine().AddHint(std::string("InitD3D start FullScreen=") + BoolToStr(FullScreen) +
                        " width=" + IntToStr(width) + " height=" + IntToStr(height));
    windowedSizeUsed = !FullScreen;

    D3D.Reset();
    *D3D.Put() = Direct3DCreate9(kSdkVersion);
    BuildDeviceList();
    const TDisplayPlan plan = PlanFor(width, height, FullScreen);
    LogEngine().AddHint("Direct3DCreate9 width=" + IntToStr(plan.View.Width) +
                        " height=" + IntToStr(plan.View.Height));
    if (plan.RequestedUnusable)
        LogEngine().AddWarning("TKavSurfaceEngine3D.InitD3D the size " + IntToStr(width) + " x " +
                               IntToStr(height) + " cannot be shown; the desktop's " +
                               IntToStr(plan.Requested.Width) + " x " +
                               IntToStr(plan.Requested.Height) + " is used");
    const HRESULT hr = ApplyDisplayPlan(windowHandle, plan);
    LogEngine().AddHint("Direct3DCreate9 FullScreenSize.width=" + IntToStr(FullScreenSize.width) +
                        " FullScreenSize.height=" + IntToStr(FullScreenSize.height));
    if (hr == E_FAIL && !D3D) return E_FAIL;
    if (FAILED(hr)) EndForDevice(windowHandle, Device ? "Reset" : "CreateDevice", hr);
    return hr;
}

TDisplayPlan TKavSurfaceEngine3D::PlanFor(int32_t width, int32_t height, bool fullScreen) const {
    TDisplayRequest r;
    r.Desktop = DesktopSize();
    r.WorkArea = DesktopWorkArea();
    r.Requested = {width, height};
    r.FullScreen = fullScreen;
    r.Configured = {ConfigWidth, ConfigHeight};
    for (const D3DDISPLAYMODE& m : DisplayModes)
        r.Modes.push_back({int32_t(m.Width), int32_t(m.Height)});
    r.Scaling = DisplayScaling;
    return PlanDisplay(r);
}

HRESULT TKavSurfaceEngine3D::ApplyDisplayPlan(HWND windowHandle, const TDisplayPlan& plan) {
    static uint64_t lastSerial = 0;
    DeviceSerial = ++lastSerial;
    Plan = plan;
    FullScreen = plan.FullScreen;
    WindowWidth = plan.WindowSize.Width;
    WindowHeight = plan.WindowSize.Height;
    ViewWidth = plan.View.Width;
    ViewHeight = plan.View.Height;
    FullScreenSize = {plan.FullScreen ? plan.View.Width : plan.Requested.Width,
                      plan.FullScreen ? plan.View.Height : plan.Requested.Height};
    RequestedWidth = plan.Requested.Width;
    RequestedHeight = plan.Requested.Height;
    WindowedViewWidth = plan.WindowedView.Width;
    WindowedViewHeight = plan.WindowedView.Height;
    UseRequestedSize = plan.UseRequestedSize;
    WindowHandle = windowHandle;
    if (!D3D) return E_FAIL;

    // Full screen is a window covering the desktop: the device always presents to a window,
    // copying the game-sized frame into the plan's rectangle of the client area.
    D3DDISPLAYMODE desktop{};
    D3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
    DisplayMode.Width = UINT(plan.Game.Width);
    DisplayMode.Height = UINT(plan.Game.Height);
    DisplayMode.Format = desktop.Format;
    DisplayMode.RefreshRate = 0;

    PresentParams = D3DPRESENT_PARAMETERS{};
    PresentParams.BackBufferWidth = UINT(plan.Game.Width);
    PresentParams.BackBufferHeight = UINT(plan.Game.Height);
    PresentParams.BackBufferFormat = DisplayMode.Format;
    PresentParams.BackBufferCount = 1;
    PresentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
    PresentParams.SwapEffect = D3DSWAPEFFECT_COPY;
    PresentParams.hDeviceWindow = windowHandle;
    PresentParams.Windowed = 1;
    PresentParams.EnableAutoDepthStencil = 0;
    PresentParams.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    PresentParams.PresentationInterval =
        WaitForDisplay() ? D3DPRESENT_INTERVAL_DEFAULT : D3DPRESENT_INTERVAL_IMMEDIATE;

    if (Device) {
        ReleaseDeviceObjects();
        const HRESULT hr = Device->Reset(&PresentParams);
        LogEngine().AddHint("Reset hr=" + IntToStr(hr));
        if (hr != 0) return FAILED(hr) ? hr : E_FAIL;
    }
    Device.Reset();
    const HRESULT created =
        D3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, windowHandle,
                          D3DCREATE_SOFTWARE_VERTEXPROCESSING, &PresentParams, Device.Put());
    if (FAILED(created) || !Device) {
        Device.Reset();
        return FAILED(created) ? created : E_FAIL;
    }

    SetDeviceParams();

    // Surfaces outlive the device: each gets a new buffer, filled for the texture as it stands.
    for (TKavSurface& s : Surfaces) {
        s.VBReady = false;
        if (SUCCEEDED(Device->CreateVertexBuffer(4 * sizeof(TVertex), 0, VertexFormat,
                                                 D3DPOOL_MANAGED, s.VB.Put(), nullptr)) &&
            s.VB)
            SetVBForSurfaces(s, nullptr);
    }

    if (FAILED(D3DXCreateFontW(Device.Get(), 20, 0, FW_BOLD, 1, 0, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, DEFAULT_QUALITY, 0, L"", Font.Put()))) {
        // Text is then skipped; the game runs on. Said once, not at every new device.
        static bool told = false;
        if (!std::exchange(told, true))
            LogEngine().AddWarning("TKavSurfaceEngine3D.InitD3D no font found: text is not drawn");
    }
    return S_OK;
}

HRESULT TKavSurfaceEngine3D::SwitchDisplay(HWND windowHandle, const TDisplayPlan& next) {
    const TDisplayPlan previous = Plan;
    const HRESULT hr = ApplyDisplayPlan(windowHandle, next);
    if (SUCCEEDED(hr)) return hr;
    LogEngine().AddError("TKavSurfaceEngine3D.SwitchDisplay " + DisplayText(next) +
                         " cannot be shown (hr=" + IntToStr(hr) + "); the display stays " +
                         DisplayText(previous));
    const HRESULT back = ApplyDisplayPlan(windowHandle, previous);
    if (FAILED(back) && D3D) EndForDevice(windowHandle, Device ? "Reset" : "CreateDevice", back);
    return hr;
}

TFrameLayout TKavSurfaceEngine3D::FrameLayout() const {
    RECT client{};
    if (WindowHandle && GetClientRect(WindowHandle, &client) && client.right > 0 &&
        client.bottom > 0)
        return LayOutFrame(Plan.Game, {client.right, client.bottom}, Plan.Scaling);
    return Plan.Layout;
}

void TKavSurfaceEngine3D::BuildDeviceList() {
    LogEngine().AddHint("BuildDeviceList");
    LogEngine().AddHint("BuildDeviceList AdapterCount=" +
                        IntToStr(D3D ? D3D->GetAdapterCount() : 0));
    DisplayModes.clear();
    if (!D3D) return;
    D3DDISPLAYMODE desktop{};
    D3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
    const UINT count = D3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, desktop.Format);
    for (UINT i = 0; i < count; ++i) {
        D3DDISPLAYMODE m{};
        if (FAILED(D3D->EnumAdapterModes(D3DADAPTER_DEFAULT, desktop.Format, i, &m))) continue;
        if (m.Width < 640 || m.Height < 400) continue;
        bool seen = false;
        for (const D3DDISPLAYMODE& d : DisplayModes)
            if (d.Width == m.Width && d.Height == m.Height && d.Format == m.Format) seen = true;
        if (seen) continue;
        m.RefreshRate = 0;
        DisplayModes.push_back(m);
    }
}

void TKavSurfaceEngine3D::SetDeviceParams() {
    const int32_t width = Plan.Game.Width, height = Plan.Game.Height;
    if (Device) {
        Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        Device->SetRenderState(D3DRS_LIGHTING, 0);
        Device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        Device->SetTransform(D3DTS_WORLD, &identity);
        Device->SetTransform(D3DTS_VIEW, &identity);
    }
    if (width != 0 && height != 0) {
        const TWindowSize desktop = DesktopSize();
        if (desktop.Width != 0 && desktop.Height != 0) {
            ScaleToScreenX = double(width) / double(desktop.Width);
            ScaleToScreenY = double(height) / double(desktop.Height);
        }
    }
    if (Device) {
        D3DXMATRIX projection;
        D3DXMatrixOrthoOffCenterLH(&projection, 0, float(width), float(height), 0, -1, 1);
        Device->SetTransform(D3DTS_PROJECTION, &projection);
    }
    LogEngine().AddHint("SetDeviceParams " + IntToStr(width) + " " + IntToStr(height));
}

}  // namespace hv
