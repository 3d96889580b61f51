// SDL events pushed through the real queue come out as the Windows messages the host handles.
#include <utility>

#include "platform/text.h"
#include "platform/win32/keys.h"
#include "tests/win32/win32_fixture.h"

namespace hv::test {
namespace {

using KeyList = std::vector<std::pair<UINT, WPARAM>>;

KeyList Keys(const std::vector<MSG>& msgs) {
    KeyList out;
    for (const MSG& m : msgs)
        if (m.message >= WM_KEYDOWN && m.message <= WM_SYSCHAR)
            out.push_back({m.message, m.wParam});
    return out;
}

using MessagesTest = WindowTest;

TEST_F(MessagesTest, PrintableKeysGiveKeyDownThenOneCharPerCodePoint) {
    PushKey(SDLK_a, SDL_SCANCODE_A, KMOD_NONE);
    PushText("a");
    PushKey(SDLK_a, SDL_SCANCODE_A, KMOD_NONE, false);
    PushKey(SDLK_e, SDL_SCANCODE_E, KMOD_NONE);
    PushText("\xC3\xA9\xE2\x82\xAC");  // two characters from one text event
    const KeyList expected = {{WM_KEYDOWN, 'A'}, {WM_CHAR, 97},   {WM_KEYUP, 'A'},
                              {WM_KEYDOWN, 'E'}, {WM_CHAR, 0xE9}, {WM_CHAR, 0x20AC}};
    EXPECT_EQ(Keys(Collect()), expected);
}

// SDL gives no text for these keys; Windows makes characters of them.
TEST_F(MessagesTest, ControlKeysGetTheirCharactersFromTranslateMessage) {
    PushKey(SDLK_TAB, SDL_SCANCODE_TAB, KMOD_NONE);
    PushKey(SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_NONE);
    PushKey(SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, KMOD_NONE);
    PushKey(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, KMOD_NONE);
    PushKey(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, KMOD_NONE);
    const KeyList expected = {
        {WM_KEYDOWN, VK_TAB},    {WM_CHAR, 9}, {WM_KEYDOWN, VK_RETURN}, {WM_CHAR, 13},
        {WM_KEYDOWN, VK_BACK},   {WM_CHAR, 8}, {WM_KEYDOWN, VK_ESCAPE}, {WM_CHAR, 27},
        {WM_KEYDOWN, VK_RETURN}, {WM_CHAR, 13}};
    EXPECT_EQ(Keys(Collect()), expected);
}

TEST_F(MessagesTest, CtrlLettersGiveControlCharactersAndNoText) {
    PushKey(SDLK_LCTRL, SDL_SCANCODE_LCTRL, KMOD_LCTRL);
    PushKey(SDLK_c, SDL_SCANCODE_C, KMOD_LCTRL);
    PushText("c");  // some systems still report the letter: it must not become a character
    PushKey(SDLK_z, SDL_SCANCODE_Z, KMOD_RCTRL | KMOD_SHIFT);
    PushKey(SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_LCTRL);
    const KeyList expected = {
        {WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, 'C'}, {WM_CHAR, 3}, {WM_KEYDOWN, 'Z'}, {WM_CHAR, 26},
        {WM_KEYDOWN, VK_RETURN},  {WM_CHAR, 10}};
    EXPECT_EQ(Keys(Collect()), expected);
    EXPECT_NE(GetKeyState(VK_CONTROL) & 0x8000, 0);
    EXPECT_EQ(GetKeyState(VK_MENU) & 0x8000, 0);
}

TEST_F(MessagesTest, AltCombinationsAreSystemKeys) {
    PushKey(SDLK_LALT, SDL_SCANCODE_LALT, KMOD_LALT);
    PushKey(SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_LALT);
    PushKey(SDLK_x, SDL_SCANCODE_X, KMOD_LALT);
    PushText("x");
    PushKey(SDLK_F10, SDL_SCANCODE_F10, KMOD_NONE);
    const auto msgs = Collect();
    const KeyList expected = {{WM_SYSKEYDOWN, VK_MENU},
                              {WM_SYSKEYDOWN, VK_RETURN},
                              {WM_SYSKEYDOWN, 'X'},
                              {WM_SYSKEYDOWN, VK_F10}};
    EXPECT_EQ(Keys(msgs), expected);
    EXPECT_NE(uint32_t(msgs[1].lParam) & KF_ALTDOWN_BIT, 0u);
}

TEST_F(MessagesTest, VirtualKeysAndKeyDataBits) {
    struct Case {
        SDL_Keycode sym;
        SDL_Scancode sc;
        UINT vk;
        bool extended;
    };
    const Case cases[] = {
        {SDLK_END, SDL_SCANCODE_END, VK_END, true},
        {SDLK_HOME, SDL_SCANCODE_HOME, VK_HOME, true},
        {SDLK_LEFT, SDL_SCANCODE_LEFT, VK_LEFT, true},
        {SDLK_UP, SDL_SCANCODE_UP, VK_UP, true},
        {SDLK_RIGHT, SDL_SCANCODE_RIGHT, VK_RIGHT, true},
        {SDLK_DOWN, SDL_SCANCODE_DOWN, VK_DOWN, true},
        {SDLK_INSERT, SDL_SCANCODE_INSERT, VK_INSERT, true},
        {SDLK_DELETE, SDL_SCANCODE_DELETE, VK_DELETE, true},
        {SDLK_F1, SDL_SCANCODE_F1, VK_F1, false},
        {SDLK_F12, SDL_SCANCODE_F12, VK_F12, false},
        {SDLK_0, SDL_SCANCODE_0, '0', false},
        {SDLK_9, SDL_SCANCODE_9, '9', false},
        {SDLK_PERIOD, SDL_SCANCODE_PERIOD, VK_OEM_PERIOD, false},
        {SDLK_MINUS, SDL_SCANCODE_MINUS, VK_OEM_MINUS, false},
        // A layout where the key in the place of Q types "a" reports 'A'.
        {SDLK_a, SDL_SCANCODE_Q, 'A', false},
    };
    for (const Case& c : cases) PushKey(c.sym, c.sc, KMOD_NONE);
    PushKey(SDLK_LEFT, SDL_SCANCODE_LEFT, KMOD_NONE, true, true);  // auto-repeat
    PushKey(SDLK_LEFT, SDL_SCANCODE_LEFT, KMOD_NONE, false);
    const auto msgs = Collect();
    ASSERT_EQ(msgs.size(), std::size(cases) + 2);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(msgs[i].message, WM_KEYDOWN);
        EXPECT_EQ(msgs[i].wParam, cases[i].vk);
        const uint32_t lp = uint32_t(msgs[i].lParam);
        EXPECT_EQ(lp & 0xFFFF, 1u);
        EXPECT_EQ((lp & KF_EXTENDED_BIT) != 0, cases[i].extended);
        EXPECT_EQ(lp & (KF_REPEAT_BIT | KF_UP_BIT), 0u);
    }
    const uint32_t repeat = uint32_t(msgs[std::size(cases)].lParam);
    EXPECT_EQ(repeat & (KF_REPEAT_BIT | KF_UP_BIT), KF_REPEAT_BIT);
    const MSG& up = msgs.back();
    EXPECT_EQ(up.message, WM_KEYUP);
    EXPECT_EQ(uint32_t(up.lParam) & (KF_REPEAT_BIT | KF_UP_BIT), KF_REPEAT_BIT | KF_UP_BIT);
}

TEST_F(MessagesTest, MouseMessagesCarryClientPositionAndButtons) {
    const Uint32 id = SDL_GetWindowID(wnd);
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = id;
    e.motion.x = 640;
    e.motion.y = 480;
    SDL_PushEvent(&e);
    const std::pair<Uint8, UINT> buttons[] = {{SDL_BUTTON_LEFT, WM_LBUTTONDOWN},
                                              {SDL_BUTTON_RIGHT, WM_RBUTTONDOWN},
                                              {SDL_BUTTON_MIDDLE, WM_MBUTTONDOWN}};
    for (auto [button, message] : buttons) {
        (void)message;
        SDL_Event b{};
        b.type = SDL_MOUSEBUTTONDOWN;
        b.button.windowID = id;
        b.button.button = button;
        b.button.x = 5;
        b.button.y = 7;
        SDL_PushEvent(&b);
        b.type = SDL_MOUSEBUTTONUP;
        SDL_PushEvent(&b);
    }
    e.motion.x = -3;  // dragged past the left edge
    e.motion.y = 2;
    SDL_PushEvent(&e);

    const auto msgs = Collect();
    ASSERT_EQ(msgs.size(), 8u);
    EXPECT_EQ(msgs[0].message, WM_MOUSEMOVE);
    EXPECT_EQ(msgs[0].lParam, LPARAM(480 << 16 | 640));
    const UINT expected[] = {WM_LBUTTONDOWN, WM_LBUTTONUP,   WM_RBUTTONDOWN,
                             WM_RBUTTONUP,   WM_MBUTTONDOWN, WM_MBUTTONUP};
    const WPARAM held[] = {MK_LBUTTON, 0, MK_RBUTTON, 0, MK_MBUTTON, 0};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(msgs[1 + i].message, expected[i]);
        EXPECT_EQ(msgs[1 + i].wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON), held[i]);
        EXPECT_EQ(LOWORD(uintptr_t(msgs[1 + i].lParam)), 5);
        EXPECT_EQ(HIWORD(uintptr_t(msgs[1 + i].lParam)), 7);
    }
    EXPECT_EQ(GET_X_LPARAM(msgs[7].lParam), -3);
    EXPECT_EQ(GET_Y_LPARAM(msgs[7].lParam), 2);
}

// The window is asked for the hit area and the cursor before each move and press reaches the
// queue, so that the default cursor handling can put the class cursor back.
TEST_F(MessagesTest, PointerOverTheWindowSendsHitTestAndSetCursor) {
    HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    SetCursor(LoadCursor(nullptr, IDC_HELP));
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(wnd);
    e.motion.x = 100;
    e.motion.y = 50;
    SDL_PushEvent(&e);
    const auto msgs = Collect();
    ASSERT_EQ(msgs.size(), 1u);
    ASSERT_EQ(Log().size(), 2u);
    EXPECT_EQ(Log()[0].Message, WM_NCHITTEST);
    EXPECT_EQ(Log()[1].Message, WM_SETCURSOR);
    EXPECT_EQ(Log()[1].WParam, WPARAM(wnd));
    EXPECT_EQ(LOWORD(uintptr_t(Log()[1].LParam)), HTCLIENT);
    EXPECT_EQ(HIWORD(uintptr_t(Log()[1].LParam)), WM_MOUSEMOVE);
    EXPECT_EQ(GetCursor(), arrow);
}

TEST_F(MessagesTest, WindowEventsBecomeSizeAndCloseMessages) {
    PushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
    PushWindowEvent(SDL_WINDOWEVENT_HIDDEN);  // already minimised: nothing new
    PushWindowEvent(SDL_WINDOWEVENT_RESTORED);
    PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    const auto msgs = Collect();
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[0].message, WM_SIZE);
    EXPECT_EQ(msgs[0].wParam, SIZE_MINIMIZED);
    EXPECT_EQ(msgs[1].message, WM_SIZE);
    EXPECT_EQ(msgs[1].wParam, SIZE_RESTORED);
    EXPECT_EQ(LOWORD(uintptr_t(msgs[1].lParam)), 800);
    EXPECT_EQ(HIWORD(uintptr_t(msgs[1].lParam)), 600);
    EXPECT_EQ(msgs[2].message, WM_CLOSE);
    EXPECT_EQ(msgs[2].hwnd, wnd);
    // The default handling of WM_CLOSE destroys the window, and its queue goes with it.
    PostMessage(wnd, WM_USER, 0, 0);
    DispatchMessage(&msgs[2]);
    EXPECT_FALSE(IsWindow(wnd));
    MSG m;
    EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(Log().back().Message, WM_DESTROY);
}

TEST_F(MessagesTest, SignalQuitAsksTheWindowToClose) {
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    const auto msgs = Collect();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].message, WM_CLOSE);
}

TEST_F(MessagesTest, QuitComesAfterQueuedMessagesAndEndsGetMessage) {
    PostMessage(wnd, WM_USER, 1, 0);
    PostQuitMessage(7);
    PostMessage(wnd, WM_USER, 2, 0);
    MSG m;
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.wParam, 2u);
    EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), FALSE);
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));  // consumed
}

TEST_F(MessagesTest, PeekFiltersByMessageRange) {
    PostMessage(wnd, WM_USER, 0, 0);
    PostMessage(wnd, WM_CLOSE, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessage(&m, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_EQ(m.message, WM_CLOSE);
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER);
}

TEST_F(MessagesTest, AltF4ClosesTheWindowThroughDefaultHandling) {
    PushKey(SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT);
    for (const MSG& m : Collect()) DispatchMessage(&m);
    EXPECT_FALSE(IsWindow(wnd));
}

TEST(Utf8Text, InvalidBytesReadAsWindows1252) {
    EXPECT_EQ(DecodeText("A\xF0\x9F\x98\x80"), (std::vector<uint32_t>{'A', 0x1F600}));
    // A lone continuation byte, a truncated sequence and an over-long form.
    EXPECT_EQ(DecodeText("\x80x\xC3"), (std::vector<uint32_t>{0x20AC, 'x', 0xC3}));
    EXPECT_EQ(DecodeText("\xC0\xAF"), (std::vector<uint32_t>{0xC0, 0xAF}));
    EXPECT_EQ(DecodeText("\xED\xA0\x80").size(), 3u);  // an encoded surrogate is not a character
}

}  // namespace
}  // namespace hv::test
