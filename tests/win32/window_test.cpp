// Window placement and styles, message boxes and cursors of the window layer.
#include "platform/win32/cursor_art.h"
#include "tests/win32/win32_fixture.h"

namespace hv::test {
namespace {

using PlacementTest = WindowTest;

TEST_F(PlacementTest, OuterSizeIncludesTheFrameAroundTheClientArea) {
    RECT client, outer;
    ASSERT_TRUE(GetClientRect(wnd, &client));
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    ASSERT_TRUE(GetWindowRect(wnd, &outer));
    EXPECT_EQ(outer.right - outer.left, 806);
    EXPECT_EQ(outer.bottom - outer.top, 632);
    RECT r{0, 0, 1024, 768};
    ASSERT_TRUE(AdjustWindowRect(&r, kWindowedStyle, true));
    EXPECT_EQ(r.right - r.left, 1030);
    EXPECT_EQ(r.bottom - r.top, 800);
    EXPECT_EQ(GetWindowText(wnd), "test");
    ASSERT_TRUE(SetWindowText(wnd, "Halvardine"));
    EXPECT_EQ(GetWindowText(wnd), "Halvardine");
}

TEST_F(PlacementTest, PlacementReportsTheNewClientSizeWithWmSize) {
    ASSERT_TRUE(SetWindowPos(wnd, HWND_NOTOPMOST, 40, 30, 646, 512, SWP_FRAMECHANGED));
    RECT client, outer;
    GetClientRect(wnd, &client);
    GetWindowRect(wnd, &outer);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_EQ(outer.left, 40);
    EXPECT_EQ(outer.top, 30);
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log().back().Message, WM_SIZE);
    EXPECT_EQ(Log().back().WParam, SIZE_RESTORED);
    EXPECT_EQ(Log().back().LParam, MAKELPARAM(640, 480));
}

TEST_F(PlacementTest, BorderlessWindowCoveringTheScreenIsFullScreenUntilStyledBack) {
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(sw, 0);
    ASSERT_GT(sh, 0);
    const LONG saved = GetWindowLong(wnd, GWL_STYLE);
    EXPECT_EQ(DWORD(saved), kWindowedStyle);
    // The order the host uses: placed over the screen first, then the borderless style.
    SetWindowPos(wnd, HWND_TOP, 0, 0, sw, sh, SWP_FRAMECHANGED);
    EXPECT_EQ(SDL_GetWindowFlags(wnd) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    SetWindowLong(wnd, GWL_STYLE, LONG(WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(SDL_GetWindowFlags(wnd) & SDL_WINDOW_FULLSCREEN_DESKTOP,
              Uint32(SDL_WINDOW_FULLSCREEN_DESKTOP));
    RECT outer;
    GetWindowRect(wnd, &outer);
    EXPECT_EQ(outer.right, sw);
    EXPECT_EQ(outer.bottom, sh);

    SetWindowLong(wnd, GWL_STYLE, saved);
    SetWindowPos(wnd, HWND_NOTOPMOST, 100, 50, 406, 332, SWP_FRAMECHANGED);
    EXPECT_EQ(SDL_GetWindowFlags(wnd) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    EXPECT_EQ(SDL_GetWindowFlags(wnd) & SDL_WINDOW_BORDERLESS, 0u);
    RECT client;
    GetClientRect(wnd, &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 300);
}

TEST_F(PlacementTest, MinimiseAndRestoreAreReportedOnce) {
    ShowWindow(wnd, SW_MINIMIZE);
    ShowWindow(wnd, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(wnd));
    ShowWindow(wnd, SW_RESTORE);
    EXPECT_FALSE(IsIconic(wnd));
    ASSERT_EQ(Log().size(), 2u);
    EXPECT_EQ(Log()[0].WParam, SIZE_MINIMIZED);
    EXPECT_EQ(Log()[1].WParam, SIZE_RESTORED);
    EXPECT_EQ(Log()[1].LParam, MAKELPARAM(800, 600));
}

TEST_F(PlacementTest, DestroyedHandlesAreIgnored) {
    HWND gone = wnd;
    ASSERT_TRUE(DestroyWindow(gone));
    EXPECT_FALSE(DestroyWindow(gone));
    RECT r;
    EXPECT_FALSE(GetWindowRect(gone, &r));
    EXPECT_FALSE(PostMessage(gone, WM_USER, 0, 0));
    EXPECT_EQ(SendMessage(gone, WM_USER, 0, 0), 0);
    EXPECT_FALSE(SetWindowPos(gone, HWND_TOP, 0, 0, 10, 10, 0));
    EXPECT_EQ(DefWindowProc(gone, WM_CLOSE, 0, 0), 0);
}

TEST(WindowClass, UnknownClassAndDuplicateRegistrationFail) {
    EXPECT_EQ(CreateWindow("No Such Class", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr),
              nullptr);
    WNDCLASS wc;
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "Twice";
    EXPECT_TRUE(RegisterClass(wc));
    wc.lpszClassName = "TWICE";  // class names ignore case
    EXPECT_FALSE(RegisterClass(wc));
    EXPECT_TRUE(UnregisterClass("twice"));
}

TEST(MessageBoxes, WithoutDialogsTheTextGoesToStandardErrorAndTheFirstButtonCounts) {
    setenv("HALVARDINE_NO_DIALOGS", "1", 1);
    testing::internal::CaptureStderr();
    const int ok = MessageBox(nullptr, "line one\r\nline two", "Caption", MB_OK | MB_ICONERROR);
    const int yes = MessageBox(nullptr, "Go on?", "Question", MB_YESNO | MB_ICONQUESTION);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ok, IDOK);
    EXPECT_EQ(yes, IDYES);
    EXPECT_EQ(err, "Caption\nline one\nline two\nQuestion\nGo on?\n");
}

TEST(Cursors, BuiltCursorsAreWholeBitmapsWithTheHotSpotOnThePicture) {
    for (int id : {IDC_UPARROW, IDC_HELP, IDC_PROGRAM_HAND}) {
        SCOPED_TRACE(id);
        const CursorArt art = BuildCursorArt(id);
        ASSERT_EQ(art.Data.size(), 128u);
        ASSERT_EQ(art.Mask.size(), 128u);
        const size_t byte = size_t(art.HotY * 4 + art.HotX / 8);
        EXPECT_TRUE(art.Mask[byte] & (0x80 >> (art.HotX % 8))) << "hot spot is transparent";
        for (size_t i = 0; i < 128; ++i) EXPECT_EQ(art.Data[i] & ~art.Mask[i], 0);
    }
    const CursorArt hand = BuildCursorArt(IDC_PROGRAM_HAND);
    EXPECT_EQ(hand.HotX, 7);
    EXPECT_EQ(hand.HotY, 1);
    EXPECT_TRUE(BuildCursorArt(IDC_ARROW).Data.empty());
}

TEST(Cursors, LoadingAndSettingByIdentifier) {
    EXPECT_EQ(LoadCursor(nullptr, IDC_PROGRAM_HAND), nullptr);  // not a system cursor
    EXPECT_EQ(LoadCursor(reinterpret_cast<HINSTANCE>(1), IDC_ARROW), nullptr);
    HCURSOR hand = LoadCursor(reinterpret_cast<HINSTANCE>(1), IDC_PROGRAM_HAND);
    ASSERT_NE(hand, nullptr);
    EXPECT_EQ(CursorId(hand), IDC_PROGRAM_HAND);
    EXPECT_EQ(LoadCursor(nullptr, IDC_UPARROW), LoadCursor(nullptr, IDC_UPARROW));
    SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
    EXPECT_EQ(CursorId(SetCursor(hand)), IDC_APPSTARTING);
    EXPECT_EQ(GetCursor(), hand);
    SetCursor(nullptr);
    EXPECT_EQ(GetCursor(), nullptr);
}

}  // namespace
}  // namespace hv::test
