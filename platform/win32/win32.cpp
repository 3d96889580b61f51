#include "platform/win32/win32.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "platform/system.h"
#include "platform/text.h"
#include "platform/win32/cursor_art.h"
#include "platform/win32/keys.h"
#include "platform/win32/window_icon.h"

namespace hv {

// A cursor handle: the identifier it was loaded by and, once the window system could make it,
// the SDL cursor. The handle exists even when no SDL cursor can be made (a display without
// cursor support), so that the host's cursor choices still take effect logically.
struct HCURSOR__ {
    int Id = 0;
    SDL_Cursor* Sdl = nullptr;
    bool Tried = false;  // creation was attempted with the video system up
};

namespace {

struct WindowClassRec {
    WNDPROC Proc = nullptr;
    HCURSOR Cursor = nullptr;
};

struct WindowRec {
    WNDPROC Proc = nullptr;
    DWORD Style = 0;
    RECT Placed;  // outer rectangle last asked for, screen coordinates
    HCURSOR ClassCursor = nullptr;
    bool Minimized = false;
    bool FullScreen = false;  // in the window system's desktop full-screen mode
    int ClientW = 0;          // client size last reported with WM_SIZE
    int ClientH = 0;
};

struct Queued {
    MSG Msg;
    uint16_t Mods = 0;  // modifier keys (SDL_Keymod) when a key message was made
};

struct Frame {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

struct State {
    std::map<std::string, WindowClassRec> Classes;  // key: class name in lower case
    std::map<SDL_Window*, WindowRec> Windows;
    std::deque<Queued> Queue;
    bool QuitPosted = false;
    int QuitCode = 0;
    uint16_t KeyMods = 0;   // as of the last key message taken from the queue
    uint16_t TextMods = 0;  // as of the last key press read from the window system
    WPARAM Buttons = 0;     // MK_*BUTTON bits held
    POINT Pointer;          // last pointer position, client coordinates
    std::map<int, std::unique_ptr<HCURSOR__>> Cursors;
    HCURSOR Current = nullptr;
    int CursorCounter = 0;  // ShowCursor's display counter: visible while 0 or more
};

State& S() {
    static State state;
    return state;
}

std::string Lower(const char* s) {
    std::string r = s ? s : "";
    for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

bool VideoUp() {
    return SDL_WasInit(SDL_INIT_VIDEO) != 0;
}

bool EnsureVideo() {
    if (VideoUp()) return true;
    // A close request of the window arrives as WM_CLOSE; SDL's own quit event is kept for
    // signals, which the layer also turns into WM_CLOSE.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "window system: %s\n", SDL_GetError());
        return false;
    }
    // Without a display SDL falls back to its off-screen driver on its own, and the game would
    // run where nobody sees it. Off-screen and dummy drivers are for those who ask for them.
    const char* driver = SDL_GetCurrentVideoDriver();
    const std::string chosen = driver ? driver : "";
    if (!GetEnv("SDL_VIDEODRIVER") && (chosen == "offscreen" || chosen == "dummy")) {
        std::fprintf(stderr,
                     "window system: no display found (DISPLAY and WAYLAND_DISPLAY reach no "
                     "X11 or Wayland server); set SDL_VIDEODRIVER=offscreen to run without one\n");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    // The OpenGL library stays loaded for the whole program, so that destroying the window
    // neither unloads it under a live context nor repeats its start-up for the next window.
    SDL_GL_LoadLibrary(nullptr);
    return true;
}

WindowRec* Find(HWND wnd) {
    if (!wnd) return nullptr;
    auto it = S().Windows.find(wnd);
    return it == S().Windows.end() ? nullptr : &it->second;
}

bool Captioned(DWORD style) {
    return (style & WS_CAPTION) == WS_CAPTION;
}

// The frame of a captioned, fixed-size window as the host's sizes count it: 3-pixel borders and
// a 26-pixel caption, 6 wider and 32 taller than the client area. The host sizes its window as
// the back buffer plus this frame, so the client area equals the back buffer and pictures and
// mouse positions map one to one. The window system's own decoration, whatever its size, is
// drawn outside that client area and is not counted.
constexpr Frame kClassicFrame{3, 29, 3, 3};

Frame FrameOf(DWORD style) {
    return Captioned(style) ? kClassicFrame : Frame{};
}

void DesktopSize(HWND wnd, int& w, int& h) {
    w = h = 0;
    if (!EnsureVideo()) return;
    int display = wnd ? SDL_GetWindowDisplayIndex(wnd) : 0;
    if (display < 0) display = 0;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(display, &mode) == 0) {
        w = mode.w;
        h = mode.h;
    }
}

HWND AnyWindow() {
    return S().Windows.empty() ? nullptr : S().Windows.begin()->first;
}

POINT ScreenPoint(HWND wnd, POINT client) {
    POINT p = client;
    if (wnd && Find(wnd)) {
        int x = 0, y = 0;
        SDL_GetWindowPosition(wnd, &x, &y);
        p.x += x;
        p.y += y;
    }
    return p;
}

void Post(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam, uint16_t mods = 0) {
    Queued q;
    q.Msg.hwnd = wnd;
    q.Msg.message = message;
    q.Msg.wParam = wParam;
    q.Msg.lParam = lParam;
    q.Msg.time = GetTickCount();
    q.Msg.pt = ScreenPoint(wnd, S().Pointer);
    q.Mods = mods;
    S().Queue.push_back(q);
}

// Reports a changed client size with WM_SIZE, as the window system does after a placement.
void SyncClientSize(HWND wnd) {
    WindowRec* w = Find(wnd);
    if (!w || w->Minimized) return;
    int cw = 0, ch = 0;
    SDL_GetWindowSize(wnd, &cw, &ch);
    if (cw == w->ClientW && ch == w->ClientH) return;
    w->ClientW = cw;
    w->ClientH = ch;
    SendMessage(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
}

// Brings the SDL window in line with the recorded style and placement.
void ApplyPlacement(HWND wnd) {
    WindowRec* w = Find(wnd);
    if (!w) return;
    int sw = 0, sh = 0;
    DesktopSize(wnd, sw, sh);
    const RECT& p = w->Placed;
    const bool wantFull = !Captioned(w->Style) && p.left == 0 && p.top == 0 && p.right == sw &&
                          p.bottom == sh && sw > 0;
    if (wantFull) {
        if (!w->FullScreen) {
            // The display's mode is never changed: the window covers the desktop. It is moved
            // and sized there itself first, since without a window manager nobody acts on the
            // full-screen request; with one, the request puts it above panels and docks.
            SDL_Rect bounds{0, 0, sw, sh};
            const int display = SDL_GetWindowDisplayIndex(wnd);
            if (display >= 0) SDL_GetDisplayBounds(display, &bounds);
            SDL_SetWindowPosition(wnd, bounds.x, bounds.y);
            SDL_SetWindowSize(wnd, sw, sh);
            SDL_SetWindowFullscreen(wnd, SDL_WINDOW_FULLSCREEN_DESKTOP);
            w->FullScreen = true;
        }
    } else {
        if (w->FullScreen) {
            SDL_SetWindowFullscreen(wnd, 0);
            w->FullScreen = false;
        }
        const Frame f = FrameOf(w->Style);
        const int cw = std::max(1, int(p.right - p.left) - f.Left - f.Right);
        const int ch = std::max(1, int(p.bottom - p.top) - f.Top - f.Bottom);
        SDL_SetWindowSize(wnd, cw, ch);
        SDL_SetWindowPosition(wnd, p.left + f.Left, p.top + f.Top);
    }
    SyncClientSize(wnd);
}

void ApplyStyle(HWND wnd) {
    WindowRec* w = Find(wnd);
    if (!w) return;
    SDL_SetWindowBordered(wnd, Captioned(w->Style) ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowResizable(wnd, (w->Style & WS_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
    const bool shown = (SDL_GetWindowFlags(wnd) & SDL_WINDOW_SHOWN) != 0;
    if ((w->Style & WS_VISIBLE) && !shown) SDL_ShowWindow(wnd);
    if (!(w->Style & WS_VISIBLE) && shown) SDL_HideWindow(wnd);
    ApplyPlacement(wnd);
}

WPARAM MouseKeys() {
    WPARAM k = S().Buttons;
    const SDL_Keymod mods = SDL_GetModState();
    if (mods & KMOD_SHIFT) k |= MK_SHIFT;
    if (mods & KMOD_CTRL) k |= MK_CONTROL;
    return k;
}

// Before a mouse message is queued the window is asked what lies under the pointer and given
// the chance to set the cursor, as the window system does while the pointer moves over it.
void SendSetCursor(HWND wnd, POINT client, UINT mouseMessage) {
    const POINT scr = ScreenPoint(wnd, client);
    const LRESULT hit = SendMessage(wnd, WM_NCHITTEST, 0, MAKELPARAM(scr.x, scr.y));
    if (Find(wnd)) SendMessage(wnd, WM_SETCURSOR, WPARAM(wnd), MAKELPARAM(int(hit), mouseMessage));
}

void TranslateWindowEvent(const SDL_WindowEvent& e) {
    HWND wnd = SDL_GetWindowFromID(e.windowID);
    WindowRec* w = Find(wnd);
    if (!w) return;
    switch (e.event) {
        case SDL_WINDOWEVENT_MINIMIZED:
        case SDL_WINDOWEVENT_HIDDEN:
            if (!w->Minimized) {
                w->Minimized = true;
                Post(wnd, WM_SIZE, SIZE_MINIMIZED, 0);
            }
            break;
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED: {
            const bool was = w->Minimized;
            w->Minimized = false;
            if (!was && e.event == SDL_WINDOWEVENT_SHOWN) break;
            SDL_GetWindowSize(wnd, &w->ClientW, &w->ClientH);
            Post(wnd, WM_SIZE,
                 e.event == SDL_WINDOWEVENT_MAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED,
                 MAKELPARAM(w->ClientW, w->ClientH));
            break;
        }
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (w->Minimized || (e.data1 == w->ClientW && e.data2 == w->ClientH)) break;
            w->ClientW = e.data1;
            w->ClientH = e.data2;
            Post(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(e.data1, e.data2));
            break;
        case SDL_WINDOWEVENT_CLOSE:
            Post(wnd, WM_CLOSE, 0, 0);
            break;
        default:
            break;
    }
}

void TranslateKey(const SDL_KeyboardEvent& e) {
    HWND wnd = SDL_GetWindowFromID(e.windowID);
    if (!Find(wnd)) wnd = AnyWindow();
    if (!wnd) return;
    const UINT vk = VirtualKeyFromSdl(e.keysym.sym, e.keysym.scancode);
    if (vk == 0) return;
    const uint16_t mods = e.keysym.mod;
    const bool alt = (mods & KMOD_ALT) != 0;
    const bool ctrl = (mods & KMOD_CTRL) != 0;
    const bool sys = vk == VK_MENU || vk == VK_F10 || (alt && !ctrl && !(mods & KMOD_MODE));
    const bool down = e.type == SDL_KEYDOWN;
    uint32_t lp = 1;
    if (IsExtendedKey(e.keysym.scancode)) lp |= KF_EXTENDED_BIT;
    if (alt) lp |= KF_ALTDOWN_BIT;
    if (!down || e.repeat) lp |= KF_REPEAT_BIT;
    if (!down) lp |= KF_UP_BIT;
    if (down) S().TextMods = mods;
    const UINT message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    Post(wnd, message, vk, LPARAM(int32_t(lp)), mods);
}

void TranslateText(const SDL_TextInputEvent& e) {
    HWND wnd = SDL_GetWindowFromID(e.windowID);
    if (!Find(wnd)) wnd = AnyWindow();
    if (!wnd) return;
    // Ctrl or Alt combinations give no characters here: TranslateMessage makes the control
    // characters and Alt combinations are system keys.
    const uint16_t m = S().TextMods;
    const bool ctrl = (m & KMOD_CTRL) != 0;
    const bool leftAlt = (m & KMOD_LALT) != 0;
    if (ctrl != leftAlt) return;
    for (uint32_t cp : DecodeText(e.text)) {
        if (cp < 0x20 || cp == 0x7F) continue;  // made by TranslateMessage from the key
        Post(wnd, WM_CHAR, cp, 1);
    }
}

void TranslateMouse(const SDL_Event& e) {
    const uint32_t windowID = e.type == SDL_MOUSEMOTION ? e.motion.windowID : e.button.windowID;
    HWND wnd = SDL_GetWindowFromID(windowID);
    if (!Find(wnd)) return;
    POINT p;
    if (e.type == SDL_MOUSEMOTION) {
        p.x = e.motion.x;
        p.y = e.motion.y;
        S().Pointer = p;
        SendSetCursor(wnd, p, WM_MOUSEMOVE);
        if (Find(wnd)) Post(wnd, WM_MOUSEMOVE, MouseKeys(), MAKELPARAM(p.x, p.y));
        return;
    }
    p.x = e.button.x;
    p.y = e.button.y;
    S().Pointer = p;
    const bool down = e.type == SDL_MOUSEBUTTONDOWN;
    UINT message = 0;
    WPARAM bit = 0;
    switch (e.button.button) {
        case SDL_BUTTON_LEFT:
            message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP, bit = MK_LBUTTON;
            break;
        case SDL_BUTTON_RIGHT:
            message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP, bit = MK_RBUTTON;
            break;
        case SDL_BUTTON_MIDDLE:
            message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP, bit = MK_MBUTTON;
            break;
        default:
            return;
    }
    if (down) {
        S().Buttons |= bit;
        SendSetCursor(wnd, p, message);
        if (!Find(wnd)) return;
    } else {
        S().Buttons &= ~bit;
    }
    Post(wnd, message, MouseKeys(), MAKELPARAM(p.x, p.y));
}

void TranslateWheel(const SDL_MouseWheelEvent& e) {
    HWND wnd = SDL_GetWindowFromID(e.windowID);
    if (!Find(wnd) || e.y == 0) return;
    int delta = e.y * WHEEL_DELTA;
    if (e.direction == SDL_MOUSEWHEEL_FLIPPED) delta = -delta;
    const POINT scr = ScreenPoint(wnd, S().Pointer);
    Post(wnd, WM_MOUSEWHEEL, WPARAM(uint32_t(MAKELPARAM(int(MouseKeys()), delta))),
         MAKELPARAM(scr.x, scr.y));
}

void Translate(const SDL_Event& e) {
    switch (e.type) {
        case SDL_WINDOWEVENT:
            TranslateWindowEvent(e.window);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            TranslateKey(e.key);
            break;
        case SDL_TEXTINPUT:
            TranslateText(e.text);
            break;
        case SDL_MOUSEMOTION:
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            TranslateMouse(e);
            break;
        case SDL_MOUSEWHEEL:
            TranslateWheel(e.wheel);
            break;
        case SDL_QUIT: {
            // A request from outside to end (a signal): every window is asked to close.
            std::vector<HWND> all;
            for (auto& [wnd, rec] : S().Windows) all.push_back(wnd);
            for (HWND wnd : all) Post(wnd, WM_CLOSE, 0, 0);
            break;
        }
        default:
            break;
    }
}

void Pump() {
    if (!VideoUp()) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) Translate(e);
}

bool Matches(const MSG& m, HWND wnd, UINT lo, UINT hi) {
    if (wnd && m.hwnd != wnd) return false;
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
}

bool IsKeyMessage(UINT m) {
    return m >= WM_KEYDOWN && m <= WM_SYSCHAR;
}

bool TakeQueued(MSG* msg, HWND wnd, UINT lo, UINT hi, bool remove) {
    auto& q = S().Queue;
    for (auto it = q.begin(); it != q.end(); ++it) {
        if (!Matches(it->Msg, wnd, lo, hi)) continue;
        if (msg) *msg = it->Msg;
        if (remove) {
            if (IsKeyMessage(it->Msg.message)) S().KeyMods = it->Mods;
            q.erase(it);
        }
        return true;
    }
    return false;
}

void PurgeQueue(HWND wnd) {
    auto& q = S().Queue;
    q.erase(
        std::remove_if(q.begin(), q.end(), [wnd](const Queued& e) { return e.Msg.hwnd == wnd; }),
        q.end());
}

HCURSOR__* CursorRecord(int id) {
    auto& slot = S().Cursors[id];
    if (!slot) {
        slot = std::make_unique<HCURSOR__>();
        slot->Id = id;
    }
    return slot.get();
}

void Realise(HCURSOR c) {
    if (c->Sdl || c->Tried || !VideoUp()) return;
    c->Tried = true;
    SDL_SystemCursor system = SDL_NUM_SYSTEM_CURSORS;
    switch (c->Id) {
        case IDC_ARROW:
            system = SDL_SYSTEM_CURSOR_ARROW;
            break;
        case IDC_IBEAM:
            system = SDL_SYSTEM_CURSOR_IBEAM;
            break;
        case IDC_WAIT:
            system = SDL_SYSTEM_CURSOR_WAIT;
            break;
        case IDC_CROSS:
            system = SDL_SYSTEM_CURSOR_CROSSHAIR;
            break;
        case IDC_HAND:
            system = SDL_SYSTEM_CURSOR_HAND;
            break;
        case IDC_APPSTARTING:
            system = SDL_SYSTEM_CURSOR_WAITARROW;
            break;
        default:
            break;
    }
    if (system != SDL_NUM_SYSTEM_CURSORS) {
        c->Sdl = SDL_CreateSystemCursor(system);
        return;
    }
    const CursorArt art = BuildCursorArt(c->Id);
    if (art.Data.empty()) return;
    c->Sdl = SDL_CreateCursor(art.Data.data(), art.Mask.data(), art.Width, art.Height, art.HotX,
                              art.HotY);
}

std::string WithoutCR(const std::string& s) {
    std::string r;
    r.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        r += s[i];
    }
    return r;
}

}  // namespace

// ---- Windows ---------------------------------------------------------------------------------

bool RegisterClass(const WNDCLASS& wc) {
    if (!wc.lpszClassName || !wc.lpfnWndProc) return false;
    const std::string key = Lower(wc.lpszClassName);
    if (S().Classes.count(key)) return false;
    S().Classes[key] = WindowClassRec{wc.lpfnWndProc, wc.hCursor};
    return true;
}

bool UnregisterClass(const char* className) {
    return S().Classes.erase(Lower(className)) > 0;
}

HWND CreateWindow(const char* className, const char* title, DWORD style, int x, int y, int width,
                  int height, HWND /*parent*/, HMENU /*menu*/, HINSTANCE /*instance*/) {
    auto cls = S().Classes.find(Lower(className));
    if (cls == S().Classes.end()) return nullptr;
    if (!EnsureVideo()) return nullptr;
    const Frame f = FrameOf(style);
    int cw = 640, ch = 480;
    if (width != CW_USEDEFAULT) {
        cw = std::max(1, width - f.Left - f.Right);
        ch = std::max(1, height - f.Top - f.Bottom);
    }
    int px = int(SDL_WINDOWPOS_UNDEFINED), py = int(SDL_WINDOWPOS_UNDEFINED);
    if (x != CW_USEDEFAULT) {
        px = x + f.Left;
        py = y + f.Top;
    }
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
    if (!Captioned(style)) flags |= SDL_WINDOW_BORDERLESS;
    if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    SDL_Window* wnd = SDL_CreateWindow(title ? title : "", px, py, cw, ch, flags);
    if (!wnd) {
        std::fprintf(stderr, "window system: cannot create the window: %s\n", SDL_GetError());
        return nullptr;
    }
    SetProgramIcon(wnd);
    WindowRec rec;
    rec.Proc = cls->second.Proc;
    rec.ClassCursor = cls->second.Cursor;
    rec.Style = style & ~WS_VISIBLE;
    int ax = 0, ay = 0;
    SDL_GetWindowPosition(wnd, &ax, &ay);
    rec.Placed = RECT{ax - f.Left, ay - f.Top, ax + cw + f.Right, ay + ch + f.Bottom};
    S().Windows[wnd] = rec;
    SDL_StartTextInput();
    if (SendMessage(wnd, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(wnd);
        return nullptr;
    }
    if ((style & WS_VISIBLE) && Find(wnd)) {
        Find(wnd)->Style |= WS_VISIBLE;
        SDL_ShowWindow(wnd);
        SyncClientSize(wnd);
    }
    return Find(wnd) ? wnd : nullptr;
}

bool DestroyWindow(HWND wnd) {
    if (!Find(wnd)) return false;
    SendMessage(wnd, WM_DESTROY, 0, 0);
    if (!Find(wnd)) return true;  // destroyed from inside WM_DESTROY
    S().Windows.erase(wnd);
    PurgeQueue(wnd);
    SDL_DestroyWindow(wnd);
    return true;
}

bool IsWindow(HWND wnd) {
    return Find(wnd) != nullptr;
}

bool SetWindowText(HWND wnd, const std::string& text) {
    if (!Find(wnd)) return false;
    SDL_SetWindowTitle(wnd, text.c_str());
    return true;
}

std::string GetWindowText(HWND wnd) {
    if (!Find(wnd)) return std::string();
    const char* t = SDL_GetWindowTitle(wnd);
    return t ? std::string(t) : std::string();
}

WNDPROC GetWindowProc(HWND wnd) {
    WindowRec* w = Find(wnd);
    return w ? w->Proc : nullptr;
}

WNDPROC SetWindowProc(HWND wnd, WNDPROC proc) {
    WindowRec* w = Find(wnd);
    if (!w) return nullptr;
    WNDPROC old = w->Proc;
    w->Proc = proc;
    return old;
}

LONG GetWindowLong(HWND wnd, int index) {
    WindowRec* w = Find(wnd);
    if (!w || index != GWL_STYLE) return 0;
    DWORD style = w->Style;
    if (w->Minimized) style |= WS_MINIMIZE;
    return LONG(style);
}

LONG SetWindowLong(HWND wnd, int index, LONG value) {
    WindowRec* w = Find(wnd);
    if (!w || index != GWL_STYLE) return 0;
    const LONG old = LONG(w->Style);
    w->Style = DWORD(value) & ~WS_MINIMIZE;
    ApplyStyle(wnd);
    return old;
}

bool GetWindowRect(HWND wnd, RECT* rect) {
    WindowRec* w = Find(wnd);
    if (!w || !rect) return false;
    if (w->FullScreen) {
        int sw = 0, sh = 0;
        DesktopSize(wnd, sw, sh);
        *rect = RECT{0, 0, sw, sh};
        return true;
    }
    int x = 0, y = 0, cw = 0, ch = 0;
    SDL_GetWindowPosition(wnd, &x, &y);
    SDL_GetWindowSize(wnd, &cw, &ch);
    const Frame f = FrameOf(w->Style);
    *rect = RECT{x - f.Left, y - f.Top, x + cw + f.Right, y + ch + f.Bottom};
    return true;
}

bool GetClientRect(HWND wnd, RECT* rect) {
    if (!Find(wnd) || !rect) return false;
    int cw = 0, ch = 0;
    SDL_GetWindowSize(wnd, &cw, &ch);
    *rect = RECT{0, 0, cw, ch};
    return true;
}

bool AdjustWindowRect(RECT* rect, DWORD style, bool /*hasMenu*/) {
    if (!rect) return false;
    const Frame f = FrameOf(style);
    rect->left -= f.Left;
    rect->top -= f.Top;
    rect->right += f.Right;
    rect->bottom += f.Bottom;
    return true;
}

bool SetWindowPos(HWND wnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    WindowRec* w = Find(wnd);
    if (!w) return false;
    RECT& p = w->Placed;
    if (!(flags & SWP_NOMOVE)) {
        const LONG width = p.right - p.left, height = p.bottom - p.top;
        p = RECT{x, y, x + width, y + height};
    }
    if (!(flags & SWP_NOSIZE)) {
        p.right = p.left + cx;
        p.bottom = p.top + cy;
    }
    if (!(flags & SWP_NOZORDER)) {
        if (insertAfter == HWND_TOPMOST) SDL_SetWindowAlwaysOnTop(wnd, SDL_TRUE);
        if (insertAfter == HWND_NOTOPMOST) SDL_SetWindowAlwaysOnTop(wnd, SDL_FALSE);
    }
    if (flags & SWP_SHOWWINDOW) w->Style |= WS_VISIBLE;
    ApplyStyle(wnd);
    if (!(flags & SWP_NOZORDER) && insertAfter == HWND_TOP && Find(wnd) &&
        !(flags & SWP_NOACTIVATE))
        SDL_RaiseWindow(wnd);
    return true;
}

bool ShowWindow(HWND wnd, int command) {
    WindowRec* w = Find(wnd);
    if (!w) return false;
    const bool wasVisible = (w->Style & WS_VISIBLE) != 0;
    switch (command) {
        case SW_HIDE:
            w->Style &= ~WS_VISIBLE;
            SDL_HideWindow(wnd);
            break;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
            w->Style |= WS_VISIBLE;
            SDL_ShowWindow(wnd);
            SDL_MinimizeWindow(wnd);
            if (!w->Minimized) {
                w->Minimized = true;
                SendMessage(wnd, WM_SIZE, SIZE_MINIMIZED, 0);
            }
            break;
        default: {  // SW_SHOW, SW_SHOWNORMAL, SW_RESTORE
            w->Style |= WS_VISIBLE;
            SDL_ShowWindow(wnd);
            const bool was = w->Minimized;
            if (was) SDL_RestoreWindow(wnd);
            w->Minimized = false;
            if (was) {
                SDL_GetWindowSize(wnd, &w->ClientW, &w->ClientH);
                SendMessage(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->ClientW, w->ClientH));
            }
            break;
        }
    }
    return wasVisible;
}

bool IsIconic(HWND wnd) {
    WindowRec* w = Find(wnd);
    return w && w->Minimized;
}

HMENU GetMenu(HWND) {
    return nullptr;
}
bool SetMenu(HWND wnd, HMENU) {
    return Find(wnd) != nullptr;
}
bool DestroyMenu(HMENU) {
    return true;
}

int GetSystemMetrics(int index) {
    int w = 0, h = 0;
    DesktopSize(AnyWindow(), w, h);
    if (index == SM_CXSCREEN) return w;
    if (index == SM_CYSCREEN) return h;
    return 0;
}

bool SystemParametersInfo(UINT action, UINT /*param*/, void* out, UINT /*winIni*/) {
    if (action != SPI_GETWORKAREA || !out || !EnsureVideo()) return false;
    HWND wnd = AnyWindow();
    int display = wnd ? SDL_GetWindowDisplayIndex(wnd) : 0;
    if (display < 0) display = 0;
    SDL_Rect r;
    if (SDL_GetDisplayUsableBounds(display, &r) != 0) return false;
    *static_cast<RECT*>(out) = RECT{r.x, r.y, r.x + r.w, r.y + r.h};
    return true;
}

bool ClipCursor(const RECT* rect) {
    if (!VideoUp()) return rect == nullptr;
    HWND target = AnyWindow();
    for (auto& [wnd, rec] : S().Windows)
        SDL_SetWindowGrab(wnd, (rect && wnd == target) ? SDL_TRUE : SDL_FALSE);
    return rect == nullptr || target != nullptr;
}

// ---- Message queue ---------------------------------------------------------------------------

bool PostMessage(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (wnd && !Find(wnd)) return false;
    Post(wnd, message, wParam, lParam);
    return true;
}

LRESULT SendMessage(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRec* w = Find(wnd);
    if (!w || !w->Proc) return 0;
    return w->Proc(wnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    S().QuitPosted = true;
    S().QuitCode = exitCode;
}

bool PeekMessage(MSG* msg, HWND wnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    const bool remove = (removeFlags & PM_REMOVE) != 0;
    if (TakeQueued(msg, wnd, filterMin, filterMax, remove)) return true;
    Pump();
    if (TakeQueued(msg, wnd, filterMin, filterMax, remove)) return true;
    if (S().QuitPosted) {
        if (msg) {
            *msg = MSG{};
            msg->message = WM_QUIT;
            msg->wParam = WPARAM(S().QuitCode);
            msg->time = GetTickCount();
        }
        if (remove) S().QuitPosted = false;
        return true;
    }
    return false;
}

BOOL GetMessage(MSG* msg, HWND wnd, UINT filterMin, UINT filterMax) {
    MSG local;
    if (!msg) msg = &local;
    for (;;) {
        if (PeekMessage(msg, wnd, filterMin, filterMax, PM_REMOVE))
            return msg->message == WM_QUIT ? FALSE : TRUE;
        if (!EnsureVideo()) return -1;  // nothing could ever arrive
        SDL_WaitEvent(nullptr);
    }
}

bool TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return false;
    const uint16_t m = S().KeyMods;
    const int c = ControlCharFor(UINT(msg->wParam), (m & KMOD_CTRL) != 0, (m & KMOD_ALT) != 0);
    if (c < 0) return false;
    Queued q;
    q.Msg = *msg;
    q.Msg.message = WM_CHAR;
    q.Msg.wParam = WPARAM(c);
    q.Mods = m;
    S().Queue.push_front(q);
    return true;
}

LRESULT DispatchMessage(const MSG* msg) {
    if (!msg) return 0;
    return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT CallWindowProc(WNDPROC proc, HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(wnd, message, wParam, lParam) : 0;
}

LRESULT DefWindowProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRec* w = Find(wnd);
    if (!w) return 0;
    switch (message) {
        case WM_CLOSE:
            DestroyWindow(wnd);
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(uintptr_t(lParam)) == HTCLIENT) {
                if (w->ClassCursor) SetCursor(w->ClassCursor);
                return TRUE;
            }
            return FALSE;
        case WM_NCHITTEST: {
            int x = 0, y = 0, cw = 0, ch = 0;
            SDL_GetWindowPosition(wnd, &x, &y);
            SDL_GetWindowSize(wnd, &cw, &ch);
            const int px = GET_X_LPARAM(lParam) - x, py = GET_Y_LPARAM(lParam) - y;
            return (px >= 0 && py >= 0 && px < cw && py < ch) ? HTCLIENT : HTNOWHERE;
        }
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    SendMessage(wnd, WM_CLOSE, 0, 0);
                    break;
                case SC_MINIMIZE:
                    ShowWindow(wnd, SW_MINIMIZE);
                    break;
                case SC_RESTORE:
                    ShowWindow(wnd, SW_RESTORE);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4 && (uint32_t(lParam) & KF_ALTDOWN_BIT))
                SendMessage(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        default:
            return 0;
    }
}

int16_t GetKeyState(int virtualKey) {
    const uint16_t m = S().KeyMods;
    bool down = false;
    if (virtualKey == int(VK_SHIFT)) down = (m & KMOD_SHIFT) != 0;
    if (virtualKey == int(VK_CONTROL)) down = (m & KMOD_CTRL) != 0;
    if (virtualKey == int(VK_MENU)) down = (m & KMOD_ALT) != 0;
    return down ? int16_t(0x8000u) : int16_t(0);
}

// ---- Message boxes ---------------------------------------------------------------------------

int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    const std::string body = WithoutCR(text);
    std::fprintf(stderr, "%s\n%s%s", caption.c_str(), body.c_str(),
                 (!body.empty() && body.back() == '\n') ? "" : "\n");
    std::fflush(stderr);

    struct Button {
        int Id;
        const char* Text;
    };
    std::vector<Button> buttons;
    switch (type & 0x0F) {
        case MB_OKCANCEL:
            buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
            break;
        case MB_YESNOCANCEL:
            buttons = {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
            break;
        case MB_YESNO:
            buttons = {{IDYES, "Yes"}, {IDNO, "No"}};
            break;
        default:
            buttons = {{IDOK, "OK"}};
            break;
    }
    const auto noDialogs = GetEnv("HALVARDINE_NO_DIALOGS");
    if (noDialogs && *noDialogs == "1") return buttons.front().Id;

    std::vector<SDL_MessageBoxButtonData> sdlButtons;
    for (size_t i = 0; i < buttons.size(); ++i) {
        SDL_MessageBoxButtonData b{};
        b.buttonid = buttons[i].Id;
        b.text = buttons[i].Text;
        if (i == 0) b.flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (i + 1 == buttons.size()) b.flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        sdlButtons.push_back(b);
    }
    SDL_MessageBoxData data{};
    switch (type & 0xF0) {
        case MB_ICONERROR:
            data.flags = SDL_MESSAGEBOX_ERROR;
            break;
        case MB_ICONWARNING:
            data.flags = SDL_MESSAGEBOX_WARNING;
            break;
        case MB_ICONINFORMATION:
        case MB_ICONQUESTION:
            data.flags = SDL_MESSAGEBOX_INFORMATION;
            break;
        default:
            break;
    }
    data.flags |= SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    data.window = Find(owner) ? owner : nullptr;
    data.title = caption.c_str();
    data.message = body.c_str();
    data.numbuttons = int(sdlButtons.size());
    data.buttons = sdlButtons.data();
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return buttons.front().Id;
    if (pressed < 0) return buttons.back().Id;  // closed without a button: the escape choice
    return pressed;
}

// ---- Cursors ---------------------------------------------------------------------------------

HCURSOR LoadCursor(HINSTANCE instance, int id) {
    if (instance) return id == IDC_PROGRAM_HAND ? CursorRecord(id) : nullptr;
    switch (id) {
        case IDC_ARROW:
        case IDC_IBEAM:
        case IDC_WAIT:
        case IDC_CROSS:
        case IDC_UPARROW:
        case IDC_HAND:
        case IDC_APPSTARTING:
        case IDC_HELP:
            return CursorRecord(id);
        default:
            return nullptr;
    }
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = S().Current;
    S().Current = cursor;
    if (!VideoUp()) return previous;
    if (!cursor || S().CursorCounter < 0) {
        SDL_ShowCursor(SDL_DISABLE);
        return previous;
    }
    Realise(cursor);
    SDL_ShowCursor(SDL_ENABLE);
    if (cursor->Sdl) SDL_SetCursor(cursor->Sdl);
    return previous;
}

int ShowCursor(bool show) {
    S().CursorCounter += show ? 1 : -1;
    if (VideoUp()) SDL_ShowCursor(S().CursorCounter >= 0 && S().Current ? SDL_ENABLE : SDL_DISABLE);
    return S().CursorCounter;
}

HCURSOR GetCursor() {
    return S().Current;
}

int CursorId(HCURSOR cursor) {
    return cursor ? cursor->Id : 0;
}

}  // namespace hv
