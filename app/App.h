// CD3DGame: the program's one application object. It ties the framework to the main form: the
// framework's idle pass becomes the form's frame, the window's messages its input, and the form
// reaches the window through the application.
#pragma once

#include "d3dapp/D3DApp.h"
#include "main/AppLink.h"
#include "main/MainForm.h"

namespace hv {

// The main form of the running program: created by the application object and never freed, so
// that it and what it owns live until the process ends.
extern TMainForm* MainFormInstance;

class CD3DGame : public CD3DApplication, private TAppLink, private TD3DAppForm {
public:
    // Creates the main form; the game starts full screen unless the command line says "-w", and
    // the pointer is never confined to the window.
    CD3DGame();

    HRESULT InitApplication() override;
    HRESULT AdvanceFrame() override;
    HRESULT RenderFrame() override;
    // Routes mouse and key messages to the form, then the framework's own handling.
    LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    HRESULT ReleaseVolatileObjects() override;
    // Sets the window title "Halvardine", then the framework's start-up.
    HRESULT Create_(HINSTANCE instance, int32_t configWidth, int32_t configHeight) override;

    TMainForm& Form() { return *form_; }

private:
    // What the form needs of the application.
    void ToggleWindowMode() override;
    bool IsWindowed() const override;
    void SetWindowed(bool windowed) override;
    HWND WindowHandle() const override;
    void ShowSystemCursor(bool show) override;

    // What the framework needs of the form.
    void SetWindowHandle(HWND wnd) override;
    void SetFullScreenFlag(int32_t fullScreen) override;
    void FormCreate() override;
    void SetConfigSize(int32_t width, int32_t height) override;
    void CreateResources_Testing() override;
    bool IsFullScreen() const override;
    void ChangeWindowMode() override;
    void Call_A_ChangeResolution() override;
    IDirect3DDevice9* Device() override;
    HRESULT RestoreDisplay() override;
    RECT WindowRect() const override;
    void PauseSound() override;
    void StartSound() override;
    uint32_t RefreshRate() override;

    void RouteInput(UINT msg, WPARAM wParam, LPARAM lParam);

    TMainForm* form_;
};

}  // namespace hv
