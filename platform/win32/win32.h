// The window layer the host is written against: one top-level window, its styles and placement,
// the message queue with the Windows message numbers and wParam/lParam packing, message boxes and
// cursors. The names, values and results are those of the Windows interface the host relies on;
// underneath, SDL provides the window, its events, its message boxes and its cursors.
//
// Everything here runs on the main thread. Window handles are the opaque hv::HWND; a handle of a
// window that was destroyed is recognised and ignored by every function.
#pragma once

#include <cstdint>
#include <string>

#include "platform/d3d9/wintypes.h"
#include "platform/handles.h"

namespace hv {

// ---- Basic types -----------------------------------------------------------------------------
// DWORD, UINT, LONG, BOOL, HRESULT, RECT, POINT, S_OK, E_FAIL, SUCCEEDED and FAILED come from
// the shared value types.

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using HINSTANCE = void*;  // the program's module; any non-null value names it
using HMENU = void*;      // this layer has no menus: always null

struct HCURSOR__;
using HCURSOR = HCURSOR__*;  // null: no cursor

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

// A library header may already define these as macros with the same values.
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;  // tick count when the message entered the queue
    POINT pt;        // pointer position in screen coordinates at that time
};

struct MINMAXINFO {
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
};

struct WNDCLASS {
    UINT style = 0;
    WNDPROC lpfnWndProc = nullptr;
    HINSTANCE hInstance = nullptr;
    HCURSOR hCursor = nullptr;  // set on WM_SETCURSOR over the client area by DefWindowProc
    const char* lpszClassName = nullptr;
};

// ---- Packing helpers -------------------------------------------------------------------------

constexpr uint16_t LOWORD(uintptr_t v) {
    return uint16_t(v & 0xFFFF);
}
constexpr uint16_t HIWORD(uintptr_t v) {
    return uint16_t((v >> 16) & 0xFFFF);
}
// Two 16-bit halves, low first; negative values keep their 16-bit two's complement form.
constexpr LPARAM MAKELPARAM(int32_t low, int32_t high) {
    return LPARAM(int32_t(uint32_t(uint16_t(low)) | (uint32_t(uint16_t(high)) << 16)));
}
// Signed readings of the halves of a mouse message's lParam.
constexpr int32_t GET_X_LPARAM(LPARAM v) {
    return int16_t(LOWORD(uintptr_t(v)));
}
constexpr int32_t GET_Y_LPARAM(LPARAM v) {
    return int16_t(HIWORD(uintptr_t(v)));
}

// ---- Messages --------------------------------------------------------------------------------

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_ENTERMENULOOP = 0x0211;
constexpr UINT WM_EXITMENULOOP = 0x0212;
constexpr UINT WM_POWERBROADCAST = 0x0218;
constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;
constexpr UINT WM_USER = 0x0400;

// WM_SIZE wParam
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
constexpr WPARAM SIZE_MAXSHOW = 3;
constexpr WPARAM SIZE_MAXHIDE = 4;

// WM_SYSCOMMAND wParam (the low four bits are the system's own and are masked off by receivers)
constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_KEYMENU = 0xF100;
constexpr WPARAM SC_RESTORE = 0xF120;
constexpr WPARAM SC_MONITORPOWER = 0xF170;

// WM_POWERBROADCAST wParam
constexpr WPARAM PBT_APMQUERYSUSPEND = 0x0000;
constexpr WPARAM PBT_APMRESUMESUSPEND = 0x0007;

// WM_NCHITTEST results
constexpr LRESULT HTNOWHERE = 0;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;

// Mouse-message wParam: buttons and keys held
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr int WHEEL_DELTA = 120;

// Key-message lParam bits beside the repeat count in bits 0-15
constexpr uint32_t KF_EXTENDED_BIT = 1u << 24;  // arrows, Insert, Delete, Home, End, Page keys
constexpr uint32_t KF_ALTDOWN_BIT = 1u << 29;   // Alt held
constexpr uint32_t KF_REPEAT_BIT = 1u << 30;    // the key was already down
constexpr uint32_t KF_UP_BIT = 1u << 31;        // key released

// ---- Virtual keys ----------------------------------------------------------------------------

constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;  // Alt
constexpr UINT VK_PAUSE = 0x13;
constexpr UINT VK_CAPITAL = 0x14;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;  // Page Up
constexpr UINT VK_NEXT = 0x22;   // Page Down
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_SNAPSHOT = 0x2C;
constexpr UINT VK_INSERT = 0x2D;
constexpr UINT VK_DELETE = 0x2E;
// '0'..'9' are 0x30..0x39 and 'A'..'Z' are 0x41..0x5A.
constexpr UINT VK_LWIN = 0x5B;
constexpr UINT VK_RWIN = 0x5C;
constexpr UINT VK_APPS = 0x5D;
constexpr UINT VK_NUMPAD0 = 0x60;  // .. VK_NUMPAD9 = 0x69
constexpr UINT VK_MULTIPLY = 0x6A;
constexpr UINT VK_ADD = 0x6B;
constexpr UINT VK_SEPARATOR = 0x6C;
constexpr UINT VK_SUBTRACT = 0x6D;
constexpr UINT VK_DECIMAL = 0x6E;
constexpr UINT VK_DIVIDE = 0x6F;
constexpr UINT VK_F1 = 0x70;  // .. VK_F24 = 0x87
constexpr UINT VK_F4 = 0x73;
constexpr UINT VK_F10 = 0x79;
constexpr UINT VK_F12 = 0x7B;
constexpr UINT VK_NUMLOCK = 0x90;
constexpr UINT VK_SCROLL = 0x91;
constexpr UINT VK_OEM_1 = 0xBA;  // ;:
constexpr UINT VK_OEM_PLUS = 0xBB;
constexpr UINT VK_OEM_COMMA = 0xBC;
constexpr UINT VK_OEM_MINUS = 0xBD;
constexpr UINT VK_OEM_PERIOD = 0xBE;
constexpr UINT VK_OEM_2 = 0xBF;  // /?
constexpr UINT VK_OEM_3 = 0xC0;  // `~
constexpr UINT VK_OEM_4 = 0xDB;  // [{
constexpr UINT VK_OEM_5 = 0xDC;  // \|
constexpr UINT VK_OEM_6 = 0xDD;  // ]}
constexpr UINT VK_OEM_7 = 0xDE;  // '"
constexpr UINT VK_OEM_102 = 0xE2;

// ---- Window styles and placement -------------------------------------------------------------

constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CAPTION = 0x00C00000;  // title bar and border
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;  // resizable
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;

constexpr int CW_USEDEFAULT = int(0x80000000u);

constexpr int GWL_STYLE = -16;

inline const HWND HWND_TOP = nullptr;
// Placement order markers for SetWindowPos; compared by value only, never dereferenced.
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(intptr_t(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(intptr_t(-2));

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

constexpr UINT SPI_GETWORKAREA = 0x0030;

// ---- Queue -----------------------------------------------------------------------------------

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// ---- Message boxes ---------------------------------------------------------------------------

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;  // also MB_ICONSTOP, MB_ICONHAND
constexpr UINT MB_ICONSTOP = MB_ICONERROR;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;  // also MB_ICONEXCLAMATION
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TASKMODAL = 0x00002000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// ---- Cursors ---------------------------------------------------------------------------------

// System cursor identifiers for LoadCursor(nullptr, id).
constexpr int IDC_ARROW = 32512;
constexpr int IDC_IBEAM = 32513;
constexpr int IDC_WAIT = 32514;
constexpr int IDC_CROSS = 32515;
constexpr int IDC_UPARROW = 32516;
constexpr int IDC_HAND = 32649;
constexpr int IDC_APPSTARTING = 32650;  // arrow with hourglass
constexpr int IDC_HELP = 32651;
// The program's own cursor resource for LoadCursor(instance, id): a 32 x 32 monochrome pointing
// hand with its hot spot at (7, 1).
constexpr int IDC_PROGRAM_HAND = 32761;

// ---- Windows ---------------------------------------------------------------------------------

// Registers a window class by name; a second registration of the same name fails (false).
bool RegisterClass(const WNDCLASS& wc);
// Forgets a class registration; windows of the class keep working.
bool UnregisterClass(const char* className);

// Creates the window of a registered class. x, y, width and height are the outer rectangle in
// screen coordinates, as on Windows (CW_USEDEFAULT for a position lets the system choose; for a
// size it gives 640 x 480 outside). The window can carry an OpenGL context. WM_CREATE is sent
// to the class procedure; with WS_VISIBLE the window is shown and WM_SIZE (SIZE_RESTORED, client
// size) is sent before the call returns. Null when the class is unknown or the window system
// refuses.
HWND CreateWindow(const char* className, const char* title, DWORD style, int x, int y, int width,
                  int height, HWND parent, HMENU menu, HINSTANCE instance);
// Sends WM_DESTROY, then closes the window. Later calls with the handle do nothing.
bool DestroyWindow(HWND wnd);
// True while the handle names a window that has not been destroyed.
bool IsWindow(HWND wnd);

bool SetWindowText(HWND wnd, const std::string& text);
std::string GetWindowText(HWND wnd);

// The window's procedure; SetWindowProc returns the previous one (null for a bad handle).
WNDPROC GetWindowProc(HWND wnd);
WNDPROC SetWindowProc(HWND wnd, WNDPROC proc);

// GWL_STYLE only. Changing the style re-frames the window: WS_CAPTION gives a bordered,
// not resizable window; a style without it gives a borderless one, which covers the screen in
// the window system's full-screen mode while its rectangle is the whole screen at 0,0.
LONG GetWindowLong(HWND wnd, int index);
LONG SetWindowLong(HWND wnd, int index, LONG value);

// Outer rectangle in screen coordinates (the frame included) and client rectangle (0,0 to the
// client size, in the units mouse positions are given in).
bool GetWindowRect(HWND wnd, RECT* rect);
bool GetClientRect(HWND wnd, RECT* rect);
// Grows a client rectangle into the outer rectangle of a window with `style`. A captioned style
// has the classic frame of 3-pixel borders and a 26-pixel caption (6 wider, 32 taller), so that
// an outer size computed the Windows way gives exactly the client size it was computed for; the
// window system's own decoration lies outside the client area and is not counted. `hasMenu`
// would add a menu bar; this layer draws none, so it adds nothing.
bool AdjustWindowRect(RECT* rect, DWORD style, bool hasMenu);

// Places the window by its outer rectangle (see AdjustWindowRect for the frame). A borderless
// window placed at 0,0 with the screen size enters full screen; any other placement or a
// bordered style leaves it. Sends WM_SIZE when the client size changes.
bool SetWindowPos(HWND wnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
bool ShowWindow(HWND wnd, int command);
bool IsIconic(HWND wnd);

// Menus do not exist on this platform: GetMenu gives null, SetMenu and DestroyMenu succeed.
HMENU GetMenu(HWND wnd);
bool SetMenu(HWND wnd, HMENU menu);
bool DestroyMenu(HMENU menu);

// SM_CXSCREEN / SM_CYSCREEN: the desktop size of the window's display (display 0 without a
// window). 0 for other indices or when the video system cannot start.
int GetSystemMetrics(int index);

// SPI_GETWORKAREA: the part of the desktop that panels and docks leave to windows, in screen
// coordinates, into the RECT `out` points to (of the window's display; display 0 without a
// window). False for other actions, a null `out`, or when the video system cannot start.
bool SystemParametersInfo(UINT action, UINT param, void* out, UINT winIni);

// Confines the pointer to the window while `rect` is not null; null releases it.
bool ClipCursor(const RECT* rect);

// ---- Message queue ---------------------------------------------------------------------------

// Appends a message to the queue; false for a destroyed window.
bool PostMessage(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure at once and returns its result (0 for a destroyed window).
LRESULT SendMessage(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
// After the messages already queued, GetMessage and PeekMessage report WM_QUIT with `exitCode`.
void PostQuitMessage(int exitCode);

// Looks for a message (window events are read from the window system first). `wnd` null
// accepts every message, `filterMin`/`filterMax` both 0 every number. WM_QUIT is reported only
// when no other message is queued, and with PM_REMOVE it is consumed. False when nothing waits.
bool PeekMessage(MSG* msg, HWND wnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// Waits for a message and removes it. Returns 0 for WM_QUIT, non-zero otherwise.
BOOL GetMessage(MSG* msg, HWND wnd, UINT filterMin, UINT filterMax);
// For WM_KEYDOWN of keys that give a character but no text from the window system, queues that
// WM_CHAR right behind: Backspace 8 (Ctrl: 127), Tab 9, Enter 13 (Ctrl: 10), Escape 27, and
// Ctrl+letter 1 to 26. Other characters arrive as WM_CHAR from text input. True when a
// character was queued.
bool TranslateMessage(const MSG* msg);
// Calls the procedure of the message's window; 0 for thread messages and destroyed windows.
LRESULT DispatchMessage(const MSG* msg);
LRESULT CallWindowProc(WNDPROC proc, HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
// Default handling: WM_CLOSE destroys the window; WM_SETCURSOR over the client area sets the
// class cursor; WM_NCHITTEST reports HTCLIENT inside the client area; WM_SYSCOMMAND with
// SC_CLOSE sends WM_CLOSE, SC_MINIMIZE and SC_RESTORE act; Alt+F4 (WM_SYSKEYDOWN) becomes
// SC_CLOSE. Everything else gives 0.
LRESULT DefWindowProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);

// Key state as of the last message taken from the queue: bit 15 set while the key is down.
// VK_SHIFT, VK_CONTROL and VK_MENU are known.
int16_t GetKeyState(int virtualKey);

// ---- Message boxes ---------------------------------------------------------------------------

// Shows a modal box with the text, caption, icon kind (MB_ICON*) and buttons (MB_OK,
// MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL) of `type`, and returns the button pressed (IDOK...).
// The caption and text also go to standard error. When the environment variable
// HALVARDINE_NO_DIALOGS is "1", or no box can be shown, nothing is shown and the first button
// counts as pressed.
int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

// ---- Cursors ---------------------------------------------------------------------------------

// `instance` null: a system cursor by IDC_* identifier; the program's module: IDC_PROGRAM_HAND.
// Null for unknown identifiers. Handles live for the whole program.
HCURSOR LoadCursor(HINSTANCE instance, int id);
// Makes `cursor` the pointer's shape; null hides the pointer. Returns the previous cursor.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
// The pointer's display counter: `show` adds one, otherwise one is taken away; the pointer is
// visible while the counter is 0 or more and a cursor is set. Returns the new counter.
int ShowCursor(bool show);
// The identifier a cursor was loaded by (0 for null).
int CursorId(HCURSOR cursor);

}  // namespace hv
