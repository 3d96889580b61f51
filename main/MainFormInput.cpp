// The form's input handlers: window positions become game positions, and mouse and key events
// reach the script's event functions.
#include "engine3d/KavTextureEngine3D.h"
#include "main/InputMapping.h"
#include "main/MainForm.h"

namespace hv {

TGamePoint TMainForm::GamePosition(int32_t x, int32_t y) const {
    if (!KavSurfaceEngine3D) return {};
    return WindowToGame(KavSurfaceEngine3D->FrameLayout(), x, y);
}

void TMainForm::FormMouseMove(int32_t x, int32_t y) {
    if (!ScriptEngine) return;
    const TGamePoint p = GamePosition(x, y);
    ScriptEngine->MouseMove(LastMouseX, LastMouseY, p.X, p.Y, 0, 0, 0, 0);
    LastMouseX = p.X;
    LastMouseY = p.Y;
}

void TMainForm::FormMouseDown(TMouseButton button, int32_t x, int32_t y) {
    if (FLoading || !ScriptEngine) return;
    const TGamePoint p = GamePosition(x, y);
    if (button == TMouseButton::Left) ScriptEngine->SendMouseDown(p.X, p.Y, 0, 0);
}

void TMainForm::FormMouseUp(TMouseButton button, int32_t x, int32_t y) {
    if (FLoading || !ScriptEngine) return;
    const TGamePoint p = GamePosition(x, y);
    if (button == TMouseButton::Left) ScriptEngine->SendMouseUp(p.X, p.Y, 0, 0);
}

void TMainForm::FormKeyDown(int32_t key, int32_t charCode) {
    if (ScriptEngine) ScriptEngine->SendKeyDown(key, charCode);
    switch (key) {
        case 38:
            --ShiftY;
            break;
        case 40:
            ++ShiftY;
            break;
        case 39:
            ++ShiftX;
            break;
        case 37:
            --ShiftX;
            break;
        default:
            break;
    }
    const bool q = charCode == 'q';
    if (q) ++ShiftCount;
    if (!ScriptEngine || !((key >= 37 && key <= 40) || q)) return;
    // The game's reaction to the shift keys is optional: its errors are dropped.
    std::string message;
    ScriptEngine->CallScript(
        "G_ShiftEffects",
        [&](lua_State* L) {
            lua_pushinteger(L, ShiftX);
            lua_pushinteger(L, ShiftY);
            lua_pushinteger(L, ShiftCount);
            if (!q) return 3;
            lua_pushinteger(L, 1);
            return 4;
        },
        message);
}

int TMainForm::SetoffsetXY(lua_State* L) {
    const int n = lua_gettop(L);
    if (n >= 1) ShiftX = int32_t(ArgInteger(L, 1));
    if (n >= 2) ShiftY = int32_t(ArgInteger(L, 2));
    return 0;
}

}  // namespace hv
