// The frame pass: one call of Draw per loop turn, and from the picture loaders during a load.
#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"

namespace hv {

namespace {
// Below this much video memory the game is told to keep less history.
constexpr int32_t kLowVideoMemory = 64000000;
// The black backdrop of every frame, in game coordinates: the largest play area a game has.
constexpr double kBackdropWidth = 1366, kBackdropHeight = 1024;
}  // namespace

void TMainForm::AppIdle() {
    Draw();
}

void TMainForm::Draw() {
    if (!FActive) {
        LogEngine().AddError("TMainForm.Draw not FActive " + std::to_string(ElapsedMs()));
        return;
    }
    if (!KavSurfaceEngine3D) return;
    TKavSurfaceEngine3D& engine = *KavSurfaceEngine3D;
    IDirect3DDevice9* device = engine.Device.Get();
    if (!device) {
        LogEngine().AddError("TMainForm.Draw g_pd3dDevice = nil " + std::to_string(ElapsedMs()));
        return;
    }
    const uint64_t serial = engine.DeviceSerial;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(255, 0, 0, 255),
                  1.0f, 0);
    device->BeginScene();
    engine.DrawLineShape(255, 0, 0, 0, kBackdropWidth, kBackdropHeight, true);
    const double w = engine.ViewWidth, h = engine.ViewHeight;
    engine.DrawLineShape(255, 0, 0, 0, 0, h, false);
    engine.DrawLineShape(255, 0, 0, 0, w, 0, false);
    engine.DrawLineShape(255, 0, w, 0, w, h, false);
    engine.DrawLineShape(255, 0, 0, h, w, h, false);
    if (ScriptEngine) {
        if (FLoading)
            ScriptEngine->Loading(ElapsedMs(), FLoadProgress);
        else
            ScriptEngine->Update(ElapsedMs());
    }
    // The script may have changed the resolution inside its call, replacing the engine and its
    // device: that frame then belongs to no device and is dropped.
    if (!KavSurfaceEngine3D || KavSurfaceEngine3D->DeviceSerial != serial) return;
    device->EndScene();
    // The frame goes to its rectangle of the client area as the window is now; a rectangle
    // that is the whole client area is Direct3D's default.
    const TFrameLayout layout = KavSurfaceEngine3D->FrameLayout();
    const RECT& d = layout.Dest;
    const bool whole = d.left == 0 && d.top == 0 && d.right == layout.Client.Width &&
                       d.bottom == layout.Client.Height;
    device->Present(nullptr, whole ? nullptr : &d, nullptr, nullptr);
}

bool TMainForm::LowBitsInHistory() const {
    if (!KavSurfaceEngine3D) return false;
    // The measured total is compared as a signed number, as the game expects.
    return int32_t(KavSurfaceEngine3D->VidMem) < kLowVideoMemory;
}

int TMainForm::LowBitsInHistoryForLua(lua_State* L) {
    lua_pushboolean(L, LowBitsInHistory());
    return 1;
}

}  // namespace hv
