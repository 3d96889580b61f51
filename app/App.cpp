#include "app/App.h"

#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/InputMapping.h"
#include "main/ProjectSettings.h"
#include "platform/bass/bass.h"

namespace hv {

TMainForm* MainFormInstance = nullptr;

CD3DGame::CD3DGame() : CD3DApplication(nullptr) {
    form_ = new TMainForm(this);
    MainFormInstance = form_;
    MainForm = this;
    m_bWindowed = false;
    m_bCursorInFullScreen = false;
    m_bConfineCursor = false;
}

HRESULT CD3DGame::InitApplication() {
    return S_OK;
}
HRESULT CD3DGame::AdvanceFrame() {
    return S_OK;
}
HRESULT CD3DGame::ReleaseVolatileObjects() {
    return S_OK;
}

// The frame is drawn, or logged as not drawn; either way the pass succeeded.
HRESULT CD3DGame::RenderFrame() {
    form_->AppIdle();
    return S_OK;
}

LRESULT CD3DGame::HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    RouteInput(msg, wParam, lParam);
    return CD3DApplication::HandleMessage(wnd, msg, wParam, lParam);
}

void CD3DGame::RouteInput(UINT msg, WPARAM wParam, LPARAM lParam) {
    using B = TMainForm::TMouseButton;
    // The position is the low and high 16 bits of lParam, signed: a drag that leaves the window
    // to the left or above gives negative positions, which the mapping holds at the play
    // area's edge (read unsigned they would land at the far side).
    const int32_t x = GET_X_LPARAM(lParam);
    const int32_t y = GET_Y_LPARAM(lParam);
    switch (msg) {
        case WM_MOUSEMOVE:
            form_->FormMouseMove(x, y);
            break;
        case WM_LBUTTONDOWN:
            form_->FormMouseDown(B::Left, x, y);
            break;
        case WM_LBUTTONUP:
            form_->FormMouseUp(B::Left, x, y);
            break;
        case WM_RBUTTONDOWN:
            form_->FormMouseDown(B::Right, x, y);
            break;
        case WM_RBUTTONUP:
            form_->FormMouseUp(B::Right, x, y);
            break;
        case WM_MBUTTONDOWN:
            form_->FormMouseDown(B::Middle, x, y);
            break;
        case WM_MBUTTONUP:
            form_->FormMouseUp(B::Middle, x, y);
            break;
        case WM_KEYDOWN:
            if (IsScriptVirtualKey(uint32_t(wParam))) form_->FormKeyDown(int32_t(wParam), 0);
            break;
        case WM_CHAR: {
            // The character arrives as its code point already. The script gets characters as
            // 16-bit values, so one beyond that range would reach it as an unrelated character
            // (U+10071 as "q"); it arrives as "?", as a character outside the code page does.
            const uint32_t code = wParam > 0xFFFF ? uint32_t('?') : uint32_t(wParam);
            if (!IsScriptVirtualKey(code)) form_->FormKeyDown(0, int32_t(code));
            break;
        }
        case WM_SYSKEYDOWN:
            if (wParam == 13) form_->WOptions_OK_MouseUp_fromCode();
            break;
        default:
            break;
    }
}

HRESULT CD3DGame::Create_(HINSTANCE instance, int32_t configWidth, int32_t configHeight) {
    // The script's random numbers stay the interpreter's own: nothing is seeded here.
    m_pszTitle = "Halvardine";
    return CD3DApplication::Create_(instance, configWidth, configHeight);
}

void CD3DGame::ToggleWindowMode() {
    CD3DApplication::ToggleWindowMode();
}
bool CD3DGame::IsWindowed() const {
    return m_bWindowed;
}
void CD3DGame::SetWindowed(bool windowed) {
    m_bWindowed = windowed;
}
HWND CD3DGame::WindowHandle() const {
    return m_hMainWnd;
}
void CD3DGame::ShowSystemCursor(bool show) {
    ShowCursor(show);
}

void CD3DGame::SetWindowHandle(HWND wnd) {
    form_->Handle = wnd;
}
void CD3DGame::SetFullScreenFlag(int32_t fullScreen) {
    FullScreenFlag = fullScreen;
}
void CD3DGame::FormCreate() {
    form_->FormCreate();
}
void CD3DGame::SetConfigSize(int32_t width, int32_t height) {
    form_->ConfigWidth = width;
    form_->ConfigHeight = height;
}
void CD3DGame::CreateResources_Testing() {
    form_->CreateResources_Testing();
}
bool CD3DGame::IsFullScreen() const {
    return form_->IsFullScreen == 1;
}

void CD3DGame::ChangeWindowMode() {
    form_->ChangeWindowMode();
}
void CD3DGame::Call_A_ChangeResolution() {
    form_->Call_A_ChangeResolution();
}

// The surface engine is the form's from FormCreate on; before that there is no device and no
// size.
IDirect3DDevice9* CD3DGame::Device() {
    return form_->KavSurfaceEngine3D ? form_->KavSurfaceEngine3D->Device.Get() : nullptr;
}
HRESULT CD3DGame::RestoreDisplay() {
    return form_->RestoreDisplay();
}
RECT CD3DGame::WindowRect() const {
    return form_->KavSurfaceEngine3D ? form_->KavSurfaceEngine3D->Plan.Window : RECT{};
}

// The desktop's rate: a window is shown at it, and a full-screen game keeps the desktop's mode.
uint32_t CD3DGame::RefreshRate() {
    if (!form_->KavSurfaceEngine3D || !form_->KavSurfaceEngine3D->D3D) return 0;
    D3DDISPLAYMODE mode{};
    if (FAILED(form_->KavSurfaceEngine3D->D3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)))
        return 0;
    return mode.RefreshRate;
}

// Before the script opens the output these fail quietly.
void CD3DGame::PauseSound() {
    BASS_Pause();
}
void CD3DGame::StartSound() {
    BASS_Start();
}

}  // namespace hv
