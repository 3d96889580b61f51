// The framework's message handling with synthetic messages, and the message loop it drives.
#include <SDL.h>

#include <chrono>
#include <thread>

#include "tests/d3dapp/d3dapp_fakes.h"

namespace hv::test {
namespace {

using HandleMessageTest = FrameworkTest;

TEST_F(HandleMessageTest, SizeAndMenuLoopsPauseRenderingAndPausesNest) {
    FakeForm form;
    TestApp app(&form);
    app.m_bReady = true;
    app.HandleMessage(nullptr, WM_ENTERSIZEMOVE, 0, 0);
    app.HandleMessage(nullptr, WM_ENTERSIZEMOVE, 0, 0);
    app.HandleMessage(nullptr, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_FALSE(app.m_bReady);
    app.HandleMessage(nullptr, WM_ENTERMENULOOP, 0, 0);
    app.HandleMessage(nullptr, WM_EXITMENULOOP, 0, 0);
    EXPECT_FALSE(app.m_bReady);
    app.HandleMessage(nullptr, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_TRUE(app.m_bReady);
    // A resume that no pause came before leaves rendering on, and the next pause still counts.
    app.HandleMessage(nullptr, WM_EXITMENULOOP, 0, 0);
    EXPECT_TRUE(app.m_bReady);
    app.HandleMessage(nullptr, WM_ENTERMENULOOP, 0, 0);
    EXPECT_FALSE(app.m_bReady);
    EXPECT_EQ(PauseCounter, 1);
}

TEST_F(HandleMessageTest, MinimiseClearsActiveAndAnyOtherSizeSetsIt) {
    FakeForm form;
    TestApp app(&form);
    app.HandleMessage(nullptr, WM_SIZE, SIZE_RESTORED, MAKELPARAM(800, 600));
    EXPECT_TRUE(app.m_bActive);
    app.HandleMessage(nullptr, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_FALSE(app.m_bActive);
    app.HandleMessage(nullptr, WM_SIZE, SIZE_MAXIMIZED, 0);
    EXPECT_TRUE(app.m_bActive);
    app.HandleMessage(nullptr, WM_SIZE, SIZE_MAXHIDE, 0);
    EXPECT_FALSE(app.m_bActive);
}

TEST_F(HandleMessageTest, FullScreenBlocksSystemCommandsAndOwnsTheWholeWindow) {
    FakeForm form;
    TestApp app(&form);
    app.m_bActive = app.m_bReady = true;
    app.m_bWindowed = false;
    for (WPARAM cmd : {SC_SIZE, SC_MOVE, SC_MOVE | 2, SC_MAXIMIZE, SC_KEYMENU, SC_MONITORPOWER})
        EXPECT_EQ(app.HandleMessage(nullptr, WM_SYSCOMMAND, cmd, 0), 1) << cmd;
    EXPECT_EQ(app.HandleMessage(nullptr, WM_SYSCOMMAND, SC_MINIMIZE, 0), 0);
    EXPECT_EQ(app.HandleMessage(nullptr, WM_NCHITTEST, 0, MAKELPARAM(5000, 5000)), HTCLIENT);
    EXPECT_EQ(app.HandleMessage(nullptr, WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);

    // Windowed, everything goes on to the default handling (0 for a window that is not there).
    app.m_bWindowed = true;
    for (WPARAM cmd : {SC_SIZE, SC_MOVE, SC_KEYMENU})
        EXPECT_EQ(app.HandleMessage(nullptr, WM_SYSCOMMAND, cmd, 0), 0) << cmd;
    EXPECT_EQ(app.HandleMessage(nullptr, WM_NCHITTEST, 0, 0), 0);
    EXPECT_EQ(app.HandleMessage(nullptr, WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 0);
    // Full screen but paused: the cursor message is passed on too.
    app.m_bWindowed = false;
    app.m_bReady = false;
    EXPECT_EQ(app.HandleMessage(nullptr, WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 0);
}

TEST_F(HandleMessageTest, PowerBroadcastAndMinimumTrackingSize) {
    FakeForm form;
    TestApp app(&form);
    EXPECT_EQ(app.HandleMessage(nullptr, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), 1);
    EXPECT_EQ(app.HandleMessage(nullptr, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0), 1);
    EXPECT_EQ(app.HandleMessage(nullptr, WM_POWERBROADCAST, 4, 0), 0);
    MINMAXINFO info;
    app.HandleMessage(nullptr, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 100);
    EXPECT_EQ(info.ptMinTrackSize.y, 100);
}

// An adopted window keeps its own procedure for everything the framework passes on, and gets it
// back when the application goes.
LRESULT OwnProc(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_USER ? 42 : 7;
}

TEST_F(HandleMessageTest, AdoptedWindowKeepsItsProcedureForPassedOnMessages) {
    WNDCLASS wc;
    wc.lpfnWndProc = OwnProc;
    wc.lpszClassName = "Adopted";
    RegisterClass(wc);
    HWND wnd =
        CreateWindow("Adopted", "own", WS_CAPTION, 0, 0, 206, 232, nullptr, nullptr, nullptr);
    ASSERT_NE(wnd, nullptr);
    {
        FakeForm form;
        TestApp app(&form);
        app.m_hMainWnd = wnd;
        app.m_bWindowed = true;
        ASSERT_EQ(app.Create_(nullptr, 0, 0), S_OK);
        EXPECT_EQ(app.m_pfnOldWndProc, &OwnProc);
        EXPECT_EQ(SendMessage(wnd, WM_USER, 0, 0), 42);
        EXPECT_EQ(app.HandleMessage(wnd, WM_NCHITTEST, 0, 0), 7);
        EXPECT_EQ(GetWindowText(wnd), "D3D8 Application");
    }
    EXPECT_EQ(GetWindowProc(wnd), &OwnProc);
    DestroyWindow(wnd);
}

using RunLoopTest = FrameworkTest;

TEST_F(RunLoopTest, CloseEndsTheLoopAfterCleanUp) {
    FakeForm form;
    TestApp app(&form);
    app.m_bWindowed = true;
    ASSERT_EQ(app.Create_(nullptr, 0, 0), S_OK);
    ASSERT_TRUE(app.m_bReady);
    HWND wnd = app.m_hMainWnd;
    app.OnFrame = [](TestApp& a) {
        if (a.Frames == 3) PostMessage(a.m_hMainWnd, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(app.RunLoop(), 0);
    EXPECT_EQ(app.Frames, 3);
    EXPECT_EQ(app.Finalized, 1);
    EXPECT_FALSE(app.m_bActive);
    EXPECT_FALSE(app.m_bReady);
    EXPECT_FALSE(IsWindow(wnd));
}

// While minimised the loop waits for the next message instead of rendering; the restore that
// the window system reports later wakes it and rendering goes on.
TEST_F(RunLoopTest, MinimisedWindowRendersNothingUntilRestored) {
    FakeForm form;
    TestApp app(&form);
    app.m_bWindowed = true;
    ASSERT_EQ(app.Create_(nullptr, 0, 0), S_OK);
    std::thread restorer;
    int framesAtMinimise = -1;
    app.OnFrame = [&](TestApp& a) {
        EXPECT_TRUE(a.m_bActive) << "frame " << a.Frames;
        if (a.Frames == 2) {
            ShowWindow(a.m_hMainWnd, SW_MINIMIZE);
            framesAtMinimise = a.Frames;
            const Uint32 id = SDL_GetWindowID(a.m_hMainWnd);
            restorer = std::thread([id] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                SDL_Event e{};
                e.type = SDL_WINDOWEVENT;
                e.window.windowID = id;
                e.window.event = SDL_WINDOWEVENT_RESTORED;
                SDL_PushEvent(&e);
            });
        }
        if (a.Frames == 5) PostMessage(a.m_hMainWnd, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(app.RunLoop(), 0);
    restorer.join();
    EXPECT_EQ(framesAtMinimise, 2);
    EXPECT_EQ(app.Frames, 5);
}

TEST_F(RunLoopTest, PausedApplicationDispatchesButDoesNotRender) {
    FakeForm form;
    TestApp app(&form);
    app.m_bWindowed = true;
    ASSERT_EQ(app.Create_(nullptr, 0, 0), S_OK);
    app.HandleMessage(app.m_hMainWnd, WM_ENTERSIZEMOVE, 0, 0);
    PostMessage(app.m_hMainWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.RunLoop(), 0);
    EXPECT_EQ(app.Frames, 0);
}

}  // namespace
}  // namespace hv::test
