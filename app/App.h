// CD3DGame: the program's one application object. It ties the framework to the main form: the
// framework's idle pass becomes the form's frame, the window's messages its input, and the form
// reaches the window through the application.
#pragma once

#include "d3dapp/D3DApp.h"
#include "main/AppLink.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"

namespace hv {

// The main form of the running program: created by the application object and never freed, so
// that it and what it owns live until the process ends.
extern TMainForm* MainFormInstance;

class CD3DGame : public CD3DApplication, private TAppLink, private TD3DAppForm {
public:
    // Creates the main form; the game starts full screen unless the command line says "-w", and
    // the pointer is never confined to the window.
    CD3DGame();

    HRESULT InitApplication() override { return S_OK; }
    HRESULT AdvanceFrame() override { return S_OK; }
    // The frame is drawn, or logged as not drawn; either way the pass succeeded.
    HRESULT RenderFrame() override;
    // Routes mouse and key messages to the form, then the framework's own handling.
    LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    HRESULT ReleaseVolatileObjects() override { return S_OK; }
    // Sets the window title "Halvardine", then the framework's start-up.
    HRESULT Create_(HINSTANCE instance, int32_t configWidth, int32_t configHeight) override;

    TMainForm& Form() { return *form_; }

private:
    // What the form needs of the application: the framework's window and mode. WindowHandle
    // also answers the framework's question for the form's window, which is the same one.
    void ToggleWindowMode() override { CD3DApplication::ToggleWindowMode(); }
    bool IsWindowed() const override { return m_bWindowed; }
    void SetWindowed(bool windowed) override { m_bWindowed = windowed; }
    HWND WindowHandle() const override { return m_hMainWnd; }
    void ShowSystemCursor(bool show) override;

    // What the framework needs of the form, each answered by the form itself.
    void SetWindowHandle(HWND wnd) override { form_->Handle = wnd; }
    void SetFullScreenFlag(int32_t fullScreen) override { FullScreenFlag = fullScreen; }
    void FormCreate() override { form_->FormCreate(); }
    void SetConfigSize(int32_t width, int32_t height) override {
        form_->ConfigWidth = width;
        form_->ConfigHeight = height;
    }
    void CreateResources_Testing() override { form_->CreateResources_Testing(); }
    bool IsFullScreen() const override { return form_->IsFullScreen == 1; }
    void ChangeWindowMode() override { form_->ChangeWindowMode(); }
    void Call_A_ChangeResolution() override { form_->Call_A_ChangeResolution(); }
    IDirect3DDevice9* Device() override { return form_->DisplayDevice(); }
    HRESULT RestoreDisplay() override { return form_->RestoreDisplay(); }
    RECT WindowRect() const override { return form_->DisplayWindowRect(); }
    uint32_t RefreshRate() override { return form_->DesktopRefreshRate(); }
    // The sound output as a whole; before the script opens it these fail quietly.
    void PauseSound() override;
    void StartSound() override;

    void RouteInput(UINT msg, WPARAM wParam, LPARAM lParam);

    TMainForm* form_;
};

}  // namespace hv
