// The window messages that reach the game's script through the application object, and the ones
// that do not.
#include <gtest/gtest.h>

#include <memory>

#include "app/App.h"
#include "engine3d/KavTextureEngine3D.h"
#include "lua/MyLua.h"
#include "platform/win32/win32.h"
#include "tests/common/ScriptText.h"

namespace hv {
namespace {

class InputRoutingTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDesktopSizeQuery([] { return TWindowSize{1024, 768}; });
        game = std::make_unique<CD3DGame>();
        TMainForm& form = game->Form();
        form.StartScriptEngine();
        // A 1024 x 768 game in an 800 x 600 window.
        form.KavSurfaceEngine3D = std::make_unique<TKavSurfaceEngine3D>(1024, 768, false, 0, 0);
        TKavSurfaceEngine3D& e = *form.KavSurfaceEngine3D;
        e.Plan.Game = {1024, 768};
        e.Plan.Layout = LayOutFrame({1024, 768}, {800, 600}, TScaling::KeepShape);
        Run("events = {} "
            "local function note(s) events[#events + 1] = s end "
            "function A_KeyDown(k, c) note('key' .. k .. ':' .. c) end "
            "function A_MouseMove(ox, oy, x, y) note('move' .. x .. ',' .. y) end "
            "function A_MouseDown(x, y) note('down' .. x .. ',' .. y) end "
            "function A_MouseUp(x, y) note('up' .. x .. ',' .. y) end "
            "function G_ShiftEffects(...) note('shift' .. table.concat({...}, ',')) end "
            "function WOptions_OK_MouseUp_fromCode() note('options') end");
    }
    void TearDown() override {
        // The application never frees its form; the test does.
        TMainForm* form = &game->Form();
        game.reset();
        delete form;
        SetDesktopSizeQuery(nullptr);
    }
    void Run(const std::string& code) { test::RunScript(*game->Form().ScriptEngine, code); }
    void Send(UINT msg, WPARAM wParam, LPARAM lParam = 0) {
        game->HandleMessage(nullptr, msg, wParam, lParam);
    }
    // The script's events since the last call.
    std::string Events() {
        lua_State* L = game->Form().ScriptEngine->State;
        game->Form().ScriptEngine->RunString(
            "local s = table.concat(events, ' ') events = {} "
            "return s");
        std::string s = lua_tostring(L, -1);
        lua_settop(L, 0);
        return s;
    }

    std::unique_ptr<CD3DGame> game;
};

TEST_F(InputRoutingTest, SpecialKeysArriveAsKeysAndEverythingElseAsCharacters) {
    Send(WM_CHAR, 'a');
    Send(WM_KEYDOWN, 'A');  // a letter's key gives no event of its own
    Send(WM_KEYDOWN, 37);
    EXPECT_EQ(Events(), "key0:97 key37:0 shift-1,0,0");

    // Enter and Escape come as keys only; Tab only as its character.
    Send(WM_KEYDOWN, 13);
    Send(WM_CHAR, 13);
    Send(WM_KEYDOWN, 27);
    Send(WM_CHAR, 27);
    Send(WM_KEYDOWN, 9);
    Send(WM_CHAR, 9);
    EXPECT_EQ(Events(), "key13:0 key27:0 key0:9");

    // The characters that share a code with a special key are dropped; key-up is not routed.
    for (WPARAM c : {35, 36, 37, 38, 39, 40, 45, 46}) Send(WM_CHAR, c);
    Send(WM_KEYUP, 13);
    EXPECT_EQ(Events(), "");

    // Alt+Enter asks the game's options once; other system keys are not routed.
    Send(WM_SYSKEYDOWN, 13);
    Send(WM_SYSKEYDOWN, 'X');
    EXPECT_EQ(Events(), "options");
}

TEST_F(InputRoutingTest, CharactersTheScriptCannotHoldArriveAsQuestionMarks) {
    Send(WM_CHAR, 0xE9);  // é
    Send(WM_CHAR, 0xFFFD);
    // U+10071 would otherwise reach the script as "q", U+10028 as "(".
    Send(WM_CHAR, 0x10071);
    Send(WM_CHAR, 0x10028);
    Send(WM_CHAR, 0x1F600);
    EXPECT_EQ(Events(), "key0:233 key0:65533 key0:63 key0:63 key0:63");
    EXPECT_EQ(game->Form().ShiftCount, 0);
}

TEST_F(InputRoutingTest, MousePositionIsTheHalvesOfTheSecondParameterHeldToThePlayArea) {
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(400, 300));
    Send(WM_LBUTTONDOWN, 0, MAKELPARAM(400, 300));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(800, 600));
    for (UINT m : {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MOUSEWHEEL})
        Send(m, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(Events(), "move512,384 down512,384 up1023,767");
    // A drag that leaves the window to the left and above arrives at the play area's top-left
    // corner, not at the far side.
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(-1, -2));
    EXPECT_EQ(Events(), "move0,0");
}

}  // namespace
}  // namespace hv
