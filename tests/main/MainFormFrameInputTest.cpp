// The frame pass on the recording device and the input handlers' mapping and key rules.
#include <cstring>
#include <memory>

#include "RecordedForm.h"
#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "tests/doubles/RecordingDevice.h"

namespace hv {
namespace {

class FrameInputTest : public test::RecordedFormTest {
protected:
    void SetUp() override {
        RecordedFormTest::SetUp();
        StartForm();
    }
    std::string Events() { return Eval("table.concat(events, ' ')"); }
};

TEST_F(FrameInputTest, FrameClearsDrawsTheBackdropRunsTheScriptAndPresents) {
    Run("events = {} function A_Update(t) events[#events + 1] = 'update' end "
        "function A_Loading(t, p) events[#events + 1] = 'loading' .. p end");
    // No device yet: an error line, nothing else.
    form.Draw();
    EXPECT_NE(Log().find("TMainForm.Draw g_pd3dDevice = nil "), std::string::npos);
    EXPECT_EQ(Events(), "");

    ASSERT_EQ(form.KavSurfaceEngine3D->InitD3D(nullptr, 800, 600), S_OK);
    Device().Calls.clear();
    form.AppIdle();
    const auto& calls = Device().Calls;
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().Name, "Clear");
    EXPECT_EQ(calls.front().Args.at(1), uint32_t(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
    EXPECT_EQ(calls.front().Args.at(2), 0xFF0000FFu);  // opaque blue
    EXPECT_EQ(calls.at(1).Name, "BeginScene");
    EXPECT_EQ(calls.at(calls.size() - 2).Name, "EndScene");
    EXPECT_EQ(calls.back().Name, "Present");
    int draws = 0;
    for (const auto& c : calls) draws += c.Name == "DrawPrimitive";
    EXPECT_EQ(draws, 5);  // the backdrop and the four edges of the play area

    // A steady frame reuses the backdrop and the outline; the edges run left, top, right, bottom.
    Device().Calls.clear();
    form.Draw();
    std::vector<std::string> edges;
    for (const auto& c : Device().Calls) {
        EXPECT_NE(c.Name, "CreateVertexBuffer");
        if (c.Name != "DrawPrimitive" || c.Vertices.size() != 2 * sizeof(TVertex)) continue;
        TVertex v[2];
        std::memcpy(v, c.Vertices.data(), sizeof v);
        edges.push_back(std::to_string(int(v[0].X)) + "," + std::to_string(int(v[0].Y)) + "-" +
                        std::to_string(int(v[1].X)) + "," + std::to_string(int(v[1].Y)));
    }
    const std::string w = std::to_string(form.KavSurfaceEngine3D->ViewWidth);
    const std::string h = std::to_string(form.KavSurfaceEngine3D->ViewHeight);
    EXPECT_EQ(edges,
              (std::vector<std::string>{"0,0-0," + h, "0,0-" + w + ",0", w + ",0-" + w + "," + h,
                                        "0," + h + "-" + w + "," + h}));

    form.FLoading = true;
    form.FLoadProgress = 40;
    form.Draw();
    form.FLoading = false;
    form.Draw();
    EXPECT_EQ(Events(), "update update loading40 update");

    form.FActive = false;
    form.Draw();
    EXPECT_NE(Log().find("TMainForm.Draw not FActive "), std::string::npos);
    EXPECT_EQ(Events(), "update update loading40 update");
}

TEST_F(FrameInputTest, AResolutionChangeInsideTheFrameDropsThatFrame) {
    ASSERT_EQ(form.KavSurfaceEngine3D->InitD3D(nullptr, 800, 600), S_OK);
    Run("function A_Update() SetSystemResolution(1024, 768) end");
    form.Draw();  // the old engine and device are gone when the script returns
    ASSERT_NE(form.KavSurfaceEngine3D->Device.Get(), nullptr);
    for (const auto& c : Device().Calls) {
        EXPECT_NE(c.Name, "EndScene");
        EXPECT_NE(c.Name, "Present");
    }
    Run("function A_Update() end");
    form.Draw();
    EXPECT_EQ(Device().Calls.back().Name, "Present");
}

TEST_F(FrameInputTest, LowVideoMemoryIsBelowSixtyFourMillionBytes) {
    vidMem = 63999999;
    ASSERT_EQ(form.KavSurfaceEngine3D->InitD3D(nullptr, 800, 600), S_OK);
    EXPECT_TRUE(form.LowBitsInHistory());
    vidMem = 64000000;
    ASSERT_EQ(form.KavSurfaceEngine3D->InitD3D(nullptr, 800, 600), S_OK);
    EXPECT_FALSE(form.LowBitsInHistory());
    Run("low = LowBitsInHistoryForLua()");
    Run("assert(low == false)");
}

TEST_F(FrameInputTest, MousePositionsAreMappedToTheGameAndOnlyTheLeftButtonCounts) {
    Run("events = {} "
        "function A_MouseMove(ox, oy, x, y, ...) events[#events + 1] = 'move' .. ox .. ',' .. oy "
        ".. '>' .. x .. ',' .. y .. '#' .. select('#', ...) end "
        "function A_MouseDown(x, y, ...) events[#events + 1] = 'down' .. x .. ',' .. y .. '#' .. "
        "select('#', ...) end "
        "function A_MouseUp(x, y) events[#events + 1] = 'up' .. x .. ',' .. y end");
    // A 1024 x 768 game in an 800 x 600 client area, then an 800 x 600 game in full screen on a
    // 1280 x 1024 desktop, with bars above and below.
    TKavSurfaceEngine3D& e = *form.KavSurfaceEngine3D;
    e.Plan.Game = {1024, 768};
    e.Plan.Layout = LayOutFrame({1024, 768}, {800, 600}, TScaling::KeepShape);
    form.FormMouseMove(400, 300);
    form.FormMouseDown(TMainForm::TMouseButton::Left, 400, 300);
    form.FormMouseDown(TMainForm::TMouseButton::Right, 1, 1);
    form.FormMouseUp(TMainForm::TMouseButton::Middle, 1, 1);
    form.FLoading = true;  // clicks wait for the load; moves do not
    form.FormMouseUp(TMainForm::TMouseButton::Left, 5, 5);
    form.FormMouseMove(5, 5);
    form.FLoading = false;
    e.Plan.Game = {800, 600};
    e.Plan.Layout = LayOutFrame({800, 600}, {1280, 1024}, TScaling::KeepShape);
    form.FormMouseUp(TMainForm::TMouseButton::Left, 4, 5);      // on the top bar
    form.FormMouseUp(TMainForm::TMouseButton::Left, 641, 513);  // the middle
    // Window pixel 5 spans game 6.4 to 7.68: its centre lies in game pixel 7.
    EXPECT_EQ(Events(), "move0,0>512,384#0 down512,384#0 move512,384>7,7#0 up2,0 up400,300");
    EXPECT_EQ(form.LastMouseX, 7);
}

TEST_F(FrameInputTest, KeysReachTheScriptAndTheShiftKeysTellTheGame) {
    Run("events = {} "
        "function A_KeyDown(k, c) events[#events + 1] = 'key' .. k .. ':' .. c end "
        "function G_ShiftEffects(...) events[#events + 1] = 'shift' .. table.concat({...}, ',') "
        "end");
    form.FormKeyDown(0, 'a');
    form.FormKeyDown(37, 0);
    EXPECT_EQ(Events(), "key0:97 key37:0 shift-1,0,0");
    Run("events = {}");
    form.ShiftX = 0;
    for (int i = 0; i < 3; ++i) form.FormKeyDown(0, 'q');
    EXPECT_EQ(Events(), "key0:113 shift0,0,1,1 key0:113 shift0,0,2,1 key0:113 shift0,0,3,1");
    // Errors of the game's shift reaction and key handler are dropped.
    Run("function G_ShiftEffects() error('no effects') end function A_KeyDown() error('x') end");
    form.FormKeyDown(40, 0);
    EXPECT_EQ(form.ShiftY, 1);
    EXPECT_EQ(lua_gettop(form.ScriptEngine->State), 0);
    Run("SetoffsetXY(7) assert(true)");
    EXPECT_EQ(form.ShiftX, 7);
    EXPECT_EQ(form.ShiftY, 1);
    Run("SetoffsetXY(-2, 9.5)");
    EXPECT_EQ(form.ShiftY, 10);
}

TEST(InputMapping, SpecialKeys) {
    for (uint32_t k : {8u, 13u, 27u, 35u, 36u, 37u, 38u, 39u, 40u, 45u, 46u})
        EXPECT_TRUE(IsScriptVirtualKey(k)) << k;
    for (uint32_t k : {9u, 32u, 34u, 41u, 44u, 47u, 97u, 113u})
        EXPECT_FALSE(IsScriptVirtualKey(k)) << k;
}

}  // namespace
}  // namespace hv
