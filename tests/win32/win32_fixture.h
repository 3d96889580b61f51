// A window of the layer on SDL's off-screen video driver, whose procedure records every message
// it receives, for tests that drive the real SDL queue.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/win32/win32.h"

namespace hv::test {

struct Received {
    UINT Message;
    WPARAM WParam;
    LPARAM LParam;
};

inline std::vector<Received>& Log() {
    static std::vector<Received> log;
    return log;
}

inline LRESULT RecordingProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Log().push_back({message, wParam, lParam});
    return DefWindowProc(wnd, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
protected:
    static constexpr DWORD kWindowedStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        static bool registered = false;
        if (!registered) {
            WNDCLASS wc;
            wc.lpfnWndProc = RecordingProc;
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            wc.lpszClassName = "Test Window";
            ASSERT_TRUE(RegisterClass(wc));
            registered = true;
        }
        wnd = CreateWindow("Test Window", "test", kWindowedStyle, 10, 20, 806, 632, nullptr,
                           nullptr, nullptr);
        ASSERT_NE(wnd, nullptr) << SDL_GetError();
        Drain();
    }

    void TearDown() override {
        if (IsWindow(wnd)) DestroyWindow(wnd);
        Drain();
        Log().clear();
    }

    // Takes every waiting message (the driver's own start-up events among them) and forgets
    // what the procedure saw.
    void Drain() {
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) continue;
        }
        Log().clear();
    }

    // Messages the loop would take, each translated and dispatched as the host's loop does.
    std::vector<MSG> Collect() {
        std::vector<MSG> out;
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
            out.push_back(m);
            TranslateMessage(&m);
        }
        return out;
    }

    void PushKey(SDL_Keycode sym, SDL_Scancode sc, uint16_t mods, bool down = true,
                 bool repeat = false) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = SDL_GetWindowID(wnd);
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat ? 1 : 0;
        e.key.keysym.sym = sym;
        e.key.keysym.scancode = sc;
        e.key.keysym.mod = mods;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }

    void PushText(const char* utf8) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = SDL_GetWindowID(wnd);
        SDL_strlcpy(e.text.text, utf8, sizeof(e.text.text));
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }

    void PushWindowEvent(SDL_WindowEventID id, int data1 = 0, int data2 = 0) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(wnd);
        e.window.event = Uint8(id);
        e.window.data1 = data1;
        e.window.data2 = data2;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }

    HWND wnd = nullptr;
};

}  // namespace hv::test
