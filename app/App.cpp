#include "app/App.h"

#include "engine3d/WindowSize.h"
#include "log/KavLogEngine.h"
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

// The frame pass needs the surface engine's device; the framework calls this only with one.
HRESULT CD3DGame::RenderFrame() {
    return S_OK;
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

// Until the script has chosen a resolution there is no device to switch: only the mode flag
// changes, and the next resolution the script sets takes it into account.
void CD3DGame::ChangeWindowMode() {
    form_->IsFullScreen = form_->IsFullScreen == 1 ? 0 : 1;
}

// Only a re-created device changes the resolution the script knows of; without a device
// there is nothing to tell.
void CD3DGame::Call_A_ChangeResolution() {}

// No device exists before the surface engine has one: the framework then skips every frame.
IDirect3DDevice9* CD3DGame::Device() {
    return nullptr;
}
HRESULT CD3DGame::InitD3D(HWND, int32_t, int32_t) {
    return E_FAIL;
}
void CD3DGame::SetDeviceParams() {}

// Without a device the view is the windowed client size.
int32_t CD3DGame::ViewWidth() const {
    return WindowWidth();
}
int32_t CD3DGame::ViewHeight() const {
    return WindowHeight();
}
int32_t CD3DGame::WindowWidth() const {
    return CalcWindowSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                          form_->ConfigWidth, form_->ConfigHeight)
        .Width;
}
int32_t CD3DGame::WindowHeight() const {
    return CalcWindowSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                          form_->ConfigWidth, form_->ConfigHeight)
        .Height;
}

// Before the script opens the output these fail quietly.
void CD3DGame::PauseSound() {
    BASS_Pause();
}
void CD3DGame::StartSound() {
    BASS_Start();
}

}  // namespace hv
