// CD3DApplication: the application framework. It owns the main window and the message loop,
// handles the window's messages, renders when no message is waiting, has the surface engine
// re-create a lost device, and reports its own failures in a message box.
//
// The framework creates no Direct3D object of its own: the device belongs to the surface engine,
// which it reaches through the main form. What it needs of the form is the interface
// TD3DAppForm below; the game's application object supplies it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "d3dapp/FramePacer.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32.h"

namespace hv {

// ---- Framework errors --------------------------------------------------------------------------

// The framework's own codes, for conditions Direct3D itself does not report.
constexpr HRESULT FWERR_NO_D3D = static_cast<HRESULT>(0x82000001u);
constexpr HRESULT FWERR_NO_DEVICE = static_cast<HRESULT>(0x82000003u);
constexpr HRESULT FWERR_DESKTOP_FORMAT = static_cast<HRESULT>(0x82000004u);
constexpr HRESULT FWERR_NO_HAL = static_cast<HRESULT>(0x82000005u);
constexpr HRESULT FWERR_HAL_CAPS = static_cast<HRESULT>(0x82000006u);
constexpr HRESULT FWERR_HAL_NO_WINDOW = static_cast<HRESULT>(0x82000007u);
constexpr HRESULT FWERR_HAL_DESKTOP = static_cast<HRESULT>(0x82000008u);
constexpr HRESULT FWERR_HAL_MODE = static_cast<HRESULT>(0x82000009u);
constexpr HRESULT FWERR_REFCOUNT = static_cast<HRESULT>(0x8200000Au);
constexpr HRESULT FWERR_MEDIA = static_cast<HRESULT>(0x8200000Bu);
constexpr HRESULT FWERR_RESET = static_cast<HRESULT>(0x8200000Cu);
constexpr HRESULT FWERR_NULL_REF = static_cast<HRESULT>(0x8200000Du);

// Kinds of report: what is appended to the text, which icon is shown, what happens afterwards.
constexpr DWORD MSG_WARNING = 0;          // warning icon; any unknown kind reads as this one
constexpr DWORD MSG_MUST_EXIT = 1;        // error icon; the main window is closed afterwards
constexpr DWORD MSG_SWITCHED_TO_REF = 2;  // warning icon

// The framework's report buffer holds 512 characters, its terminator included.
constexpr size_t kErrorMsgBufferSize = 512;

// The text shown for `code` with the sentence of `kind` appended, as DisplayErrorMsg shows it
// (at most kErrorMsgBufferSize - 1 characters).
std::string FrameworkErrorText(HRESULT code, DWORD kind);
// MB_ICONERROR for MSG_MUST_EXIT, MB_ICONWARNING for every other kind.
UINT FrameworkErrorIcon(DWORD kind);

// The name of a Direct3D failure code that the render pass logs ("D3DERR_DEVICELOST", ...);
// empty for codes without a log line.
std::string D3DErrorName(HRESULT code);

// ---- What the framework needs of the main form -------------------------------------------------

class TD3DAppForm {
public:
    virtual ~TD3DAppForm() = default;

    // Start-up, called by Create_ in this order once the window exists.
    virtual void SetWindowHandle(HWND wnd) = 0;
    // The program-wide full-screen flag: 1 full screen, 0 windowed.
    virtual void SetFullScreenFlag(int32_t fullScreen) = 0;
    virtual void FormCreate() = 0;
    virtual void SetConfigSize(int32_t width, int32_t height) = 0;
    virtual void CreateResources_Testing() = 0;

    // The window handle the form holds (device window).
    virtual HWND WindowHandle() const = 0;
    // True when the form's IsFullScreen is 1.
    virtual bool IsFullScreen() const = 0;
    // Switches the form and its surface engine between full screen and a window.
    virtual void ChangeWindowMode() = 0;
    // Tells the script the current size (A_ChangeResolution).
    virtual void Call_A_ChangeResolution() = 0;

    // The surface engine's device: null while there is no engine or no device yet.
    virtual IDirect3DDevice9* Device() = 0;
    // Makes the device again for the display in force; 0 on success.
    virtual HRESULT RestoreDisplay() = 0;
    // The window's outer rectangle on the desktop by the display in force: centred within the
    // work area in a window, the whole desktop in full screen.
    virtual RECT WindowRect() const = 0;

    // The sound output as a whole: pause while the device is lost, start again afterwards.
    virtual void PauseSound() = 0;
    virtual void StartSound() = 0;

    // The display's refresh rate in Hz, for pacing the loop; 0 when unknown (60 is assumed).
    virtual uint32_t RefreshRate() { return 0; }
};

// ---- The framework class -----------------------------------------------------------------------

class CD3DApplication {
public:
    // `wnd` null: Create_ creates the window; otherwise Create_ adopts `wnd`. The new object
    // becomes ActiveApplication. The main form is attached by the subclass (MainForm).
    explicit CD3DApplication(HWND wnd = nullptr);
    // Puts back the procedure of an adopted window. Does not destroy the window or the form.
    virtual ~CD3DApplication();
    CD3DApplication(const CD3DApplication&) = delete;
    CD3DApplication& operator=(const CD3DApplication&) = delete;

    // Virtual operations, in slot order.
    virtual HRESULT ApplyWindowStyle();                                                   // 0
    virtual HRESULT CheckDevice(const D3DCAPS9& caps, DWORD behavior, D3DFORMAT format);  // 1
    virtual HRESULT InitApplication();                                                    // 2
    virtual HRESULT CreateDeviceObjects();                                                // 3
    virtual HRESULT CreateVolatileObjects();                                              // 4
    virtual HRESULT AdvanceFrame();                                                       // 5
    virtual HRESULT RenderFrame();                                                        // 6
    virtual HRESULT ReleaseVolatileObjects();                                             // 7
    virtual HRESULT ReleaseDeviceObjects();                                               // 8
    virtual HRESULT FinalizeApplication();                                                // 9
    // Window, InitApplication, the form's start-up, window placement, m_bReady.      // 10
    virtual HRESULT Create_(HINSTANCE instance, int32_t configWidth, int32_t configHeight);
    // Dispatches messages and renders while idle; returns the WM_QUIT exit code.      // 11
    virtual int RunLoop();
    virtual LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);  // 12
    virtual void SetPaused(bool pause);                                               // 13

    // One idle pass: tests the device, renders a frame or recovers the device. 1 when a device
    // re-creation failed (it is tried again next pass), otherwise the frame's result or 0.
    // Without a device the pass logs an error (once until a device exists) and waits
    // kNoDeviceWait. After a frame it waits as the pacer says, unless frames are not to wait
    // for the display (WaitForDisplay).
    HRESULT Render3DEnvironment();
    // Clears m_bActive and m_bReady, then FinalizeApplication.
    void Cleanup3DEnvironment();
    // Switches between full screen and a window: the form first, then style and placement. A
    // switch the form could not make leaves the window as it was.
    void ToggleWindowMode();
    // The name of a surface format for log lines; empty for formats without a name.
    static std::string FormatName(uint32_t format);
    // Shows the report for `code` of `kind` and returns `code`.
    HRESULT DisplayErrorMsg(HRESULT code, DWORD kind);

    // Fields, in declaration order.
    bool m_bActive = false;  // neither minimised nor hidden; the loop renders only while set
    bool m_bReady = false;   // may render; cleared while paused and during clean-up
    WNDPROC m_pfnOldWndProc = nullptr;  // procedure of an adopted window
    bool m_bWindowed = false;           // false: full screen
    bool m_bSoundPausedByLoss = false;  // the sound output was paused for a lost device
    TD3DAppForm* MainForm = nullptr;    // not owned
    HWND m_hMainWnd = nullptr;
    HMENU m_hSavedMenu = nullptr;
    DWORD m_dwSavedStyle = 0;                     // style as created, restored for windowed mode
    RECT m_rcBounds;                              // window rectangle as of Create_
    RECT m_rcClient;                              // client rectangle as of Create_
    std::string m_pszTitle = "D3D8 Application";  // window title and report caption
    int32_t m_nStartWidth = 1280;                 // client size of a newly created window
    int32_t m_nStartHeight = 1024;
    bool m_bCursorInFullScreen = false;
    bool m_bConfineCursor = true;  // confine the pointer to the window in full screen

    // How long an idle pass without a device waits: about one frame of a 60 Hz display.
    static constexpr std::chrono::milliseconds kNoDeviceWait{16};

private:
    // The missing device has been logged; cleared once a device exists.
    bool noDeviceReported_ = false;
    TFramePacer pacer_;
    // The device the refresh rate was asked for, and that rate.
    IDirect3DDevice9* pacedDevice_ = nullptr;
    uint32_t refreshRate_ = 0;

    // Places the window for the current mode at the form's rectangle: windowed not top-most,
    // full screen over the whole screen at the top. Without a form, a window of the start size
    // is centred.
    void PlaceWindow();
};

// The one application object; the window procedure forwards every message to it.
extern CD3DApplication* ActiveApplication;
// Program-wide pause counter of SetPaused: rendering is paused while it is above 0.
extern int32_t PauseCounter;

// The framework's window procedure: HandleMessage of ActiveApplication.
LRESULT D3DAppWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace hv
