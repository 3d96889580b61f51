#include "d3dapp/D3DApp.h"

#include <thread>

#include "log/KavLogEngine.h"
#include "platform/system.h"

namespace hv {

CD3DApplication* ActiveApplication = nullptr;
int32_t PauseCounter = 0;

namespace {

const char* const kWindowClass = "D3D Window";
// A window the player may resize and maximise: the frame scales with it.
constexpr DWORD kWindowedStyle =
    WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kFullScreenStyle = WS_POPUP | WS_VISIBLE;

const char* CodeText(HRESULT code) {
    switch (static_cast<uint32_t>(code)) {
        case 0x82000001u:
            return "Could not initialize Direct3D. You may\nwant to check that the latest "
                   "version of\nDirectX is correctly installed on your\nsystem.  Also make sure "
                   "that this program\nwas compiled with header files that match\nthe "
                   "installed DirectX DLLs.";
        case 0x82000003u:
            return "Could not find any compatible Direct3D\ndevices.";
        case 0x82000004u:
            return "This sample cannot run in a desktop\nwindow with the current display "
                   "settings.\nPlease change your desktop settings to a\n16- or 32-bit display "
                   "mode and re-run this\nsample.";
        case 0x82000005u:
            return "No hardware-accelerated Direct3D devices\nwere found.";
        case 0x82000006u:
            return "This sample requires functionality that is\nnot available on your "
                   "Direct3D hardware\naccelerator.";
        case 0x82000007u:
            return "Your Direct3D hardware accelerator cannot\nrender into a window.\nPress F2 "
                   "while the app is running to see a\nlist of available devices and modes.";
        case 0x82000008u:
            return "Your Direct3D hardware accelerator cannot\nrender into a window with the "
                   "current\ndesktop display settings.\nPress F2 while the app is running to "
                   "see a\nlist of available devices and modes.";
        case 0x82000009u:
            return "This sample requires functionality that is\nnot available on your "
                   "Direct3D hardware\naccelerator with the current desktop display\n"
                   "settings.\nPress F2 while the app is running to see a\nlist of available "
                   "devices and modes.";
        case 0x8200000Au:
            return "A D3D object has a non-zero reference\ncount (meaning things were not "
                   "properly\ncleaned up).";
        case 0x8200000Bu:
            return "Could not load required media.";
        case 0x8200000Cu:
            return "Could not reset the Direct3D device.";
        case 0x8200000Du:
            return "Warning: Nothing will be rendered.\nThe reference rendering device was "
                   "selected, but your\ncomputer only has a reduced-functionality reference "
                   "device\ninstalled.  Install the DirectX SDK to get the full\nreference "
                   "device.\n";
        case 0x8007000Eu:
            return "Not enough memory.";
        case 0x8876017Cu:
            return "Not enough video memory.";
        default:
            return "Generic application error. Enable\ndebug output for detailed information.";
    }
}

const char* KindText(DWORD kind) {
    switch (kind) {
        case MSG_MUST_EXIT:
            return "\n\nThis sample will now exit.";
        case MSG_SWITCHED_TO_REF:
            return "\n\nSwitching to the reference rasterizer,\na software device that "
                   "implements the entire\nDirect3D feature set, but runs very slowly.";
        default:
            return "";
    }
}

}  // namespace

std::string FrameworkErrorText(HRESULT code, DWORD kind) {
    std::string text = std::string(CodeText(code)) + KindText(kind);
    if (text.size() > kErrorMsgBufferSize - 1) text.resize(kErrorMsgBufferSize - 1);
    return text;
}

UINT FrameworkErrorIcon(DWORD kind) {
    return kind == MSG_MUST_EXIT ? MB_ICONERROR : MB_ICONWARNING;
}

std::string D3DErrorName(HRESULT code) {
    switch (code) {
        case D3DERR_NOTFOUND:
            return "D3DERR_NOTFOUND";
        case D3DERR_MOREDATA:
            return "D3DERR_MOREDATA";
        case D3DERR_DEVICELOST:
            return "D3DERR_DEVICELOST";
        case D3DERR_DEVICENOTRESET:
            return "D3DERR_DEVICENOTRESET";
        case D3DERR_NOTAVAILABLE:
            return "D3DERR_NOTAVAILABLE";
        case D3DERR_OUTOFVIDEOMEMORY:
            return "D3DERR_OUTOFVIDEOMEMORY";
        case D3DERR_INVALIDDEVICE:
            return "D3DERR_INVALIDDEVICE";
        case D3DERR_INVALIDCALL:
            return "D3DERR_INVALIDCALL";
        case D3DERR_DRIVERINVALIDCALL:
            return "D3DERR_DRIVERINVALIDCALL";
        case D3DERR_WASSTILLDRAWING:
            return "D3DERR_WASSTILLDRAWING";
        default:
            return std::string();
    }
}

LRESULT D3DAppWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (ActiveApplication) return ActiveApplication->HandleMessage(wnd, msg, wParam, lParam);
    return DefWindowProc(wnd, msg, wParam, lParam);
}

CD3DApplication::CD3DApplication(HWND wnd) : m_hMainWnd(wnd) {
    ActiveApplication = this;
}

CD3DApplication::~CD3DApplication() {
    if (m_pfnOldWndProc) SetWindowProc(m_hMainWnd, m_pfnOldWndProc);
    if (ActiveApplication == this) ActiveApplication = nullptr;
}

HRESULT CD3DApplication::ApplyWindowStyle() {
    if (m_bWindowed) {
        SetWindowLong(m_hMainWnd, GWL_STYLE, LONG(m_dwSavedStyle));
        if (m_hSavedMenu) SetMenu(m_hMainWnd, m_hSavedMenu);
    } else {
        SetWindowLong(m_hMainWnd, GWL_STYLE, LONG(kFullScreenStyle));
        m_hSavedMenu = GetMenu(m_hMainWnd);
        SetMenu(m_hMainWnd, nullptr);
    }
    return S_OK;
}

HRESULT CD3DApplication::CheckDevice(const D3DCAPS9&, DWORD, D3DFORMAT) {
    return S_OK;
}
HRESULT CD3DApplication::InitApplication() {
    return S_OK;
}
HRESULT CD3DApplication::CreateDeviceObjects() {
    return S_OK;
}
HRESULT CD3DApplication::CreateVolatileObjects() {
    return S_OK;
}
HRESULT CD3DApplication::AdvanceFrame() {
    return S_OK;
}
HRESULT CD3DApplication::RenderFrame() {
    return S_OK;
}
HRESULT CD3DApplication::ReleaseVolatileObjects() {
    return S_OK;
}
HRESULT CD3DApplication::ReleaseDeviceObjects() {
    return S_OK;
}
HRESULT CD3DApplication::FinalizeApplication() {
    return S_OK;
}

HRESULT CD3DApplication::Create_(HINSTANCE instance, int32_t configWidth, int32_t configHeight) {
    if (!m_hMainWnd) {
        WNDCLASS wc;
        wc.style = 0;
        wc.lpfnWndProc = D3DAppWndProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClass;
        RegisterClass(wc);  // already registered by an earlier application object: kept
        RECT rc{0, 0, m_nStartWidth, m_nStartHeight};
        AdjustWindowRect(&rc, kWindowedStyle, true);
        m_hMainWnd = CreateWindow(kWindowClass, m_pszTitle.c_str(), kWindowedStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, rc.right - rc.left, rc.bottom - rc.top, nullptr,
                                  nullptr, instance);
        if (!m_hMainWnd) {
            // Without a window nothing can run; the report is the framework's must-exit one.
            LogEngine().AddError("CD3DApplication.Create_ the window could not be created");
            return DisplayErrorMsg(E_FAIL, MSG_MUST_EXIT);
        }
    } else {
        m_pfnOldWndProc = SetWindowProc(m_hMainWnd, D3DAppWndProc);
    }
    SetWindowText(m_hMainWnd, m_pszTitle);

    m_dwSavedStyle = DWORD(GetWindowLong(m_hMainWnd, GWL_STYLE));
    GetWindowRect(m_hMainWnd, &m_rcBounds);
    GetClientRect(m_hMainWnd, &m_rcClient);

    const HRESULT hr = InitApplication();
    if (FAILED(hr)) return DisplayErrorMsg(hr, MSG_MUST_EXIT);

    if (MainForm) {
        MainForm->SetWindowHandle(m_hMainWnd);
        MainForm->SetFullScreenFlag(m_bWindowed ? 0 : 1);
        MainForm->FormCreate();
        MainForm->SetConfigSize(configWidth, configHeight);
        MainForm->CreateResources_Testing();
    }

    PlaceWindow();

    ApplyWindowStyle();
    m_bReady = true;
    LogEngine().AddHint("CD3DApplication.Create_ m_bReady:= True");
    return S_OK;
}

void CD3DApplication::PlaceWindow() {
    const int sw = GetSystemMetrics(SM_CXSCREEN);
    const int sh = GetSystemMetrics(SM_CYSCREEN);
    if (!m_bWindowed) {
        SetWindowPos(m_hMainWnd, HWND_TOP, 0, 0, sw, sh, SWP_FRAMECHANGED);
        return;
    }
    RECT r{0, 0, m_nStartWidth, m_nStartHeight};
    if (MainForm) {
        r = MainForm->WindowRect();
    } else {
        AdjustWindowRect(&r, m_dwSavedStyle, false);
        const LONG w = r.right - r.left, h = r.bottom - r.top;
        r.left = (sw - m_nStartWidth) / 2;
        r.top = (sh - m_nStartHeight) / 2;
        r.right = r.left + w;
        r.bottom = r.top + h;
    }
    SetWindowPos(m_hMainWnd, HWND_NOTOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_FRAMECHANGED);
}

int CD3DApplication::RunLoop() {
    // No accelerator table exists, so no key is translated into a command.
    MSG msg;
    PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
    while (msg.message != WM_QUIT) {
        bool gotMsg;
        if (m_bActive) {
            gotMsg = PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE);
        } else {
            const BOOL r = GetMessage(&msg, nullptr, 0, 0);
            if (r == -1) {
                // The message system itself failed: nothing more can arrive.
                LogEngine().AddError("CD3DApplication.RunLoop GetMessage failed");
                return 0;
            }
            gotMsg = r != 0;
        }
        if (gotMsg) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        } else if (m_bActive && m_bReady) {
            Render3DEnvironment();
        }
    }
    return int(msg.wParam);
}

HRESULT CD3DApplication::Render3DEnvironment() {
    IDirect3DDevice9* device = MainForm ? MainForm->Device() : nullptr;
    if (!device) {
        // No device yet: the script has not chosen a resolution, and a game that never does
        // shows a blank window. Say so once, and wait for about one display frame so that the
        // loop does not spin a core on nothing.
        if (!noDeviceReported_) {
            LogEngine().AddError(
                "no surface engine: the script has not called "
                "SetSystemResolution");
            noDeviceReported_ = true;
        }
        std::this_thread::sleep_for(kNoDeviceWait);
        return 0;
    }
    noDeviceReported_ = false;

    const HRESULT hr = device->TestCooperativeLevel();
    if (SUCCEEDED(hr)) {
        if (m_bSoundPausedByLoss) {
            m_bSoundPausedByLoss = false;
            MainForm->StartSound();
        }
        const HRESULT rendered = RenderFrame();
        if (WaitForDisplay()) {
            if (device != pacedDevice_) {
                pacedDevice_ = device;
                refreshRate_ = MainForm->RefreshRate();
            }
            std::this_thread::sleep_for(pacer_.Delay(TFramePacer::Clock::now(), refreshRate_));
        }
        return rendered;
    }

    const std::string name = D3DErrorName(hr);
    if (!name.empty()) LogEngine().AddError(name);
    if (hr == D3DERR_DEVICELOST) {
        MainForm->PauseSound();
        m_bSoundPausedByLoss = true;
        return 0;
    }
    // The device needs a reset, or failed otherwise: the surface engine creates it again for
    // the display in force. Only S_OK counts as a new device; any other result is tried again
    // on the next pass.
    if (MainForm->RestoreDisplay() != S_OK) {
        if (hr == D3DERR_DEVICENOTRESET)
            LogEngine().AddError(
                "CD3DApplication.Render3DEnvironment D3DERR_DEVICENOTRESET = Result "
                "MainForm.KavSurfaceEngine3D.InitD3D<>S_OK");
        return 1;
    }
    MainForm->Call_A_ChangeResolution();
    ApplyWindowStyle();
    return 0;
}

LRESULT CD3DApplication::HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED || wParam == SIZE_MAXHIDE) {
                if (m_bConfineCursor && !m_bWindowed) ClipCursor(nullptr);
                m_bActive = false;
            } else {
                m_bActive = true;
            }
            break;
        case WM_GETMINMAXINFO:
            if (lParam) {
                auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
                info->ptMinTrackSize.x = 100;
                info->ptMinTrackSize.y = 100;
            }
            break;
        case WM_SETCURSOR:
            // In full screen the cursor the game set stays; in a window the class cursor
            // comes back as the pointer moves.
            if (m_bActive && m_bReady && !m_bWindowed) return TRUE;
            break;
        case WM_NCHITTEST:
            if (!m_bWindowed) return HTCLIENT;
            break;
        case WM_SYSCOMMAND:
            // The low four bits of the command are the system's own.
            switch (wParam & 0xFFF0) {
                case SC_SIZE:
                case SC_MOVE:
                case SC_MAXIMIZE:
                case SC_KEYMENU:
                case SC_MONITORPOWER:
                    if (!m_bWindowed) return 1;
                    break;
                default:
                    break;
            }
            break;
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMQUERYSUSPEND || wParam == PBT_APMRESUMESUSPEND) return 1;
            break;
        case WM_ENTERMENULOOP:
        case WM_ENTERSIZEMOVE:
            SetPaused(true);
            break;
        case WM_EXITMENULOOP:
            SetPaused(false);
            break;
        case WM_EXITSIZEMOVE:
            SetPaused(false);
            if (m_bActive && m_bWindowed) {
                GetWindowRect(wnd, &m_rcBounds);
                GetClientRect(wnd, &m_rcClient);
            }
            break;
        case WM_CLOSE:
            Cleanup3DEnvironment();
            // The window has no menu and no class icon of its own to release here.
            DestroyMenu(GetMenu(wnd));
            DestroyWindow(wnd);
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    if (m_pfnOldWndProc) return CallWindowProc(m_pfnOldWndProc, wnd, msg, wParam, lParam);
    return DefWindowProc(wnd, msg, wParam, lParam);
}

void CD3DApplication::SetPaused(bool pause) {
    // A resume without a pause does nothing, so that an unmatched resume cannot stop
    // rendering for good.
    if (pause)
        ++PauseCounter;
    else if (PauseCounter > 0)
        --PauseCounter;
    m_bReady = PauseCounter == 0;
}

void CD3DApplication::Cleanup3DEnvironment() {
    m_bActive = false;
    m_bReady = false;
    FinalizeApplication();
}

void CD3DApplication::ToggleWindowMode() {
    if (MainForm) {
        MainForm->ChangeWindowMode();
        if (MainForm->IsFullScreen() == !m_bWindowed) return;  // not switched: nothing moves
    }
    m_bWindowed = !m_bWindowed;
    ApplyWindowStyle();
    PlaceWindow();
}

std::string CD3DApplication::FormatName(uint32_t format) {
    return SurfaceFormatName(format);
}

HRESULT CD3DApplication::DisplayErrorMsg(HRESULT code, DWORD kind) {
    MessageBox(nullptr, FrameworkErrorText(code, kind), m_pszTitle,
               MB_OK | FrameworkErrorIcon(kind));
    if (kind == MSG_MUST_EXIT && m_hMainWnd) SendMessage(m_hMainWnd, WM_CLOSE, 0, 0);
    return code;
}

}  // namespace hv
