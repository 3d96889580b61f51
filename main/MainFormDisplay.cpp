// Display modes, the switch between full screen and a window, and the pointer's shape. The script
// chooses the resolution; the form builds a surface engine for it and, when the device cannot be
// made at that size, shows the game's coordinate space on a desktop-sized device instead.
#include <string_view>

#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "platform/convert.h"
#include "platform/win32/win32.h"

namespace hv {

namespace {

// Stands for the program's module when its own cursors are loaded; only its address counts.
char kProgramModule = 0;

std::string DisplayFormatText(const TKavSurfaceEngine3D& engine) {
    return "d3ddm.Format=" + SurfaceFormatName(uint32_t(engine.DisplayMode.Format));
}

// The cursor a game asks for by name; names are compared exactly, case included.
HCURSOR CursorForName(std::string_view name) {
    if (name == "finger" || name == "gears" || name == "hand")
        return LoadCursor(static_cast<HINSTANCE>(&kProgramModule), IDC_PROGRAM_HAND);
    for (std::string_view n : {"FR", "FL", "Forward", "Back", "Down", "L", "R", "Up"})
        if (name == n) return LoadCursor(nullptr, IDC_UPARROW);
    if (name == "lupa" || name == "cloud") return LoadCursor(nullptr, IDC_HELP);
    if (name == "memoryBack" || name == "memoryReturn") return LoadCursor(nullptr, IDC_APPSTARTING);
    return LoadCursor(nullptr, IDC_ARROW);
}

}  // namespace

int TMainForm::GetSystemResolution(lua_State* L) {
    const TWindowSize desktop = DesktopSize();
    lua_pushinteger(L, desktop.Width);
    lua_pushinteger(L, desktop.Height);
    return 2;
}

int TMainForm::SetSystemResolution(lua_State* L) {
    const int32_t w = int32_t(ArgInteger(L, 1));
    const int32_t h = int32_t(ArgInteger(L, 2));
    LogEngine().AddHint("SetSystemResolution width=" + IntToStr(w) + " height=" + IntToStr(h) +
                        " FullScreenMode=" + IntToStr(IsFullScreen));

    // The old engine and its device go first: the window carries one device at a time.
    KavSurfaceEngine3D.reset();
    KavSurfaceEngine3D =
        std::make_unique<TKavSurfaceEngine3D>(w, h, IsFullScreen == 1, ConfigWidth, ConfigHeight);
    TKavSurfaceEngine3D& e = *KavSurfaceEngine3D;
    e.DisplayScaling = DisplayScaling;
    const bool ok = e.InitD3D(Handle, w, h) == S_OK;
    e.AllFilter = e.Plan.AllFilter;
    LogEngine().AddHint(DisplayFormatText(e));

    // The texture files are registered with the new engine; whatever that leaves on the stack
    // is not part of this function's results.
    const int top = lua_gettop(L);
    LoadAllTextures(L);
    lua_settop(L, top);

    lua_pushboolean(L, ok);
    lua_pushinteger(L, KavSurfaceEngine3D->ViewWidth);
    lua_pushinteger(L, KavSurfaceEngine3D->ViewHeight);
    return 3;
}

int TMainForm::AppChangeWindowMode(lua_State*) {
    if (App) App->ToggleWindowMode();
    return 0;
}

int TMainForm::EvictManagedResources(lua_State*) {
    if (KavSurfaceEngine3D && KavSurfaceEngine3D->Device)
        KavSurfaceEngine3D->Device->EvictManagedResources();
    return 0;
}

int TMainForm::SetCursor(lua_State* L) {
    hv::SetCursor(CursorForName(ArgString(L, 1)));
    return 0;
}

void TMainForm::ChangeWindowMode() {
    if (!KavSurfaceEngine3D) return;  // before FormCreate there is nothing to switch
    TKavSurfaceEngine3D& e = *KavSurfaceEngine3D;
    const bool full = !e.FullScreen;
    const std::string value = full ? "true" : "false";
    LogEngine().AddMessage("ChangeWindowMode KavSurfaceEngine3D.FullScreen=" + value);
    // A switch that cannot be shown leaves the mode in force as it was; the engine says so.
    if (FAILED(e.SwitchDisplay(Handle, e.PlanFor(e.RequestedWidth, e.RequestedHeight, full))))
        return;
    IsFullScreen = full ? 1 : 0;
    LogEngine().AddHint("ChangeWindowMode " + DisplayFormatText(e));

    // The choice must survive the session even when the game's parameters do not list it yet.
    if (GameParams.IndexOf("Fullscreen") >= 0)
        GameParams.SetValue("Fullscreen", value);
    else
        GameParams.Add("Fullscreen", value);
    SaveGameParams();

    Call_A_ChangeResolution();
}

HRESULT TMainForm::RestoreDisplay() {
    if (!KavSurfaceEngine3D) return E_FAIL;
    TKavSurfaceEngine3D& e = *KavSurfaceEngine3D;
    return e.InitD3D(Handle, e.RequestedWidth, e.RequestedHeight);
}

IDirect3DDevice9* TMainForm::DisplayDevice() const {
    return KavSurfaceEngine3D ? KavSurfaceEngine3D->Device.Get() : nullptr;
}

RECT TMainForm::DisplayWindowRect() const {
    return KavSurfaceEngine3D ? KavSurfaceEngine3D->Plan.Window : RECT{};
}

uint32_t TMainForm::DesktopRefreshRate() const {
    if (!KavSurfaceEngine3D || !KavSurfaceEngine3D->D3D) return 0;
    D3DDISPLAYMODE mode{};
    if (FAILED(KavSurfaceEngine3D->D3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) return 0;
    return mode.RefreshRate;
}

void TMainForm::Call_A_ChangeResolution() {
    if (!KavSurfaceEngine3D) return;
    const TKavSurfaceEngine3D& e = *KavSurfaceEngine3D;
    const int32_t w = IsFullScreen != 0 ? e.RequestedWidth : e.WindowWidth;
    const int32_t h = IsFullScreen != 0 ? e.RequestedHeight : e.WindowHeight;
    LogEngine().AddHint("Call_A_ChangeResolution " + IntToStr(w) + " " + IntToStr(h));
    if (!ScriptEngine) return;
    std::string message;
    const int status = ScriptEngine->CallScript(
        "A_ChangeResolution",
        [&](lua_State* L) {
            lua_pushinteger(L, w);
            lua_pushinteger(L, h);
            lua_pushboolean(L, 1);
            return 3;
        },
        message);
    if (status != 0) ScriptEngine->WriteErrorLines(message);
}

}  // namespace hv
