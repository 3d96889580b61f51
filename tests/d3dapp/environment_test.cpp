// Window creation and placement, the idle render pass with its device recovery, and the switch
// between full screen and a window.
#include <SDL.h>

#include "tests/d3dapp/d3dapp_fakes.h"

namespace hv::test {
namespace {

using CreateTest = FrameworkTest;

const std::vector<std::string> kStartOrder = {"SetWindowHandle", "SetFullScreenFlag 0",
                                              "FormCreate", "SetConfigSize 640 0",
                                              "CreateResources_Testing"};

TEST_F(CreateTest, WindowedStartStartsTheFormAndPlacesTheWindowWhereTheFormPlans) {
    FakeForm form;
    form.Rect = RECT{120, 40, 766, 472};
    TestApp app(&form);
    app.m_bWindowed = true;
    app.m_pszTitle = "Halvardine";
    ASSERT_EQ(app.Create_(nullptr, 640, 0), S_OK);
    EXPECT_EQ(form.Calls, kStartOrder);
    EXPECT_EQ(form.Wnd, app.m_hMainWnd);
    EXPECT_EQ(GetWindowText(app.m_hMainWnd), "Halvardine");
    // Captioned, resizable and with both boxes: the player may resize or maximise it.
    EXPECT_EQ(app.m_dwSavedStyle, 0x10CF0000u);
    EXPECT_NE(SDL_GetWindowFlags(app.m_hMainWnd) & SDL_WINDOW_RESIZABLE, 0u);
    EXPECT_TRUE(app.m_bReady);
    EXPECT_TRUE(app.m_bActive);  // the window's first size report
    EXPECT_EQ(LastLogged().Text, "CD3DApplication.Create_ m_bReady:= True");

    RECT outer, client;
    GetWindowRect(app.m_hMainWnd, &outer);
    GetClientRect(app.m_hMainWnd, &client);
    EXPECT_EQ(outer.left, 120);
    EXPECT_EQ(outer.top, 40);
    EXPECT_EQ(outer.right, 766);
    EXPECT_EQ(outer.bottom, 472);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 400);
    EXPECT_EQ(SDL_GetWindowFlags(app.m_hMainWnd) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    // The rectangles saved at creation are those of the window as first created.
    EXPECT_EQ(app.m_rcClient.right, 1280);
    EXPECT_EQ(app.m_rcClient.bottom, 1024);
    DestroyWindow(app.m_hMainWnd);
}

TEST_F(CreateTest, FullScreenStartCoversTheScreenWithoutBorder) {
    FakeForm form;
    TestApp app(&form);
    ASSERT_EQ(app.Create_(nullptr, 0, 0), S_OK);
    EXPECT_EQ(form.Calls[1], "SetFullScreenFlag 1");
    EXPECT_EQ(DWORD(GetWindowLong(app.m_hMainWnd, GWL_STYLE)), WS_POPUP | WS_VISIBLE);
    EXPECT_NE(SDL_GetWindowFlags(app.m_hMainWnd) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    RECT outer;
    GetWindowRect(app.m_hMainWnd, &outer);
    EXPECT_EQ(outer.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(outer.bottom, GetSystemMetrics(SM_CYSCREEN));
    DestroyWindow(app.m_hMainWnd);
}

TEST_F(CreateTest, FailingInitApplicationReportsClosesTheWindowAndNeverStartsTheForm) {
    FakeForm form;
    TestApp app(&form);
    app.InitResult = E_OUTOFMEMORY;
    app.m_pszTitle = "Halvardine";
    testing::internal::CaptureStderr();
    EXPECT_EQ(app.Create_(nullptr, 0, 0), E_OUTOFMEMORY);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Halvardine\nNot enough memory.\n\nThis sample will now exit.\n");
    EXPECT_TRUE(form.Calls.empty());
    EXPECT_FALSE(IsWindow(app.m_hMainWnd));
    EXPECT_FALSE(app.m_bReady);
    EXPECT_EQ(app.Finalized, 1);
    EXPECT_EQ(app.RunLoop(), 0);  // the posted quit ends the loop at once
}

class RenderTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        app.m_bWindowed = true;
    }
    FakeForm form;
    TestApp app{&form};
};

TEST_F(RenderTest, WithoutADeviceThePassIsSkipped) {
    form.HasDevice = false;
    EXPECT_EQ(app.Render3DEnvironment(), 0);
    EXPECT_EQ(app.Frames, 0);
    EXPECT_TRUE(form.Calls.empty());
}

TEST_F(RenderTest, LostDevicePausesSoundEveryPassAndResumesItOnce) {
    form.DeviceObject.Level = D3DERR_DEVICELOST;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(app.Render3DEnvironment(), 0);
    EXPECT_EQ(app.Frames, 0);
    EXPECT_TRUE(app.m_bSoundPausedByLoss);
    EXPECT_EQ(LastLogged().Text, "D3DERR_DEVICELOST");
    EXPECT_EQ(LastLogged().Count, 3);  // one line, the rest collapsed into its repeat line
    form.DeviceObject.Level = D3D_OK;
    app.Render3DEnvironment();
    app.Render3DEnvironment();
    EXPECT_EQ(app.Frames, 2);
    EXPECT_FALSE(app.m_bSoundPausedByLoss);
    const std::vector<std::string> expected = {"PauseSound", "PauseSound", "PauseSound",
                                               "PauseSound", "StartSound"};
    EXPECT_EQ(form.Calls, expected);
}

TEST_F(RenderTest, DeviceThatNeedsAResetIsCreatedAgainAndTheScriptTold) {
    form.FullScreen = true;
    form.DeviceObject.Level = D3DERR_DEVICENOTRESET;
    EXPECT_EQ(app.Render3DEnvironment(), 0);
    const std::vector<std::string> expected = {"RestoreDisplay", "Call_A_ChangeResolution"};
    EXPECT_EQ(form.Calls, expected);
    EXPECT_EQ(app.Frames, 0);
    app.Render3DEnvironment();
    EXPECT_EQ(app.Frames, 1);
}

TEST_F(RenderTest, FailedRecreationIsReportedAndTriedAgainNextPass) {
    form.InitResult = E_FAIL;
    form.DeviceObject.Level = D3DERR_DEVICENOTRESET;
    EXPECT_EQ(app.Render3DEnvironment(), 1);
    EXPECT_EQ(LastLogged().Text,
              "CD3DApplication.Render3DEnvironment D3DERR_DEVICENOTRESET = Result "
              "MainForm.KavSurfaceEngine3D.InitD3D<>S_OK");
    // Another failure kind: recreated as well, with its own line and no extra report.
    form.DeviceObject.Level = D3DERR_INVALIDCALL;
    EXPECT_EQ(app.Render3DEnvironment(), 1);
    EXPECT_EQ(LastLogged().Text, "D3DERR_INVALIDCALL");
    form.DeviceObject.Level = E_FAIL;  // no name: no line
    EXPECT_EQ(app.Render3DEnvironment(), 1);
    EXPECT_EQ(LastLogged().Text, "D3DERR_INVALIDCALL");
    // A re-creation that reports anything but S_OK, even a non-failure code, made no device.
    form.InitResult = S_FALSE;
    form.DeviceObject.Level = D3DERR_DEVICENOTRESET;
    EXPECT_EQ(app.Render3DEnvironment(), 1);
    EXPECT_EQ(LastLogged().Text,
              "CD3DApplication.Render3DEnvironment D3DERR_DEVICENOTRESET = Result "
              "MainForm.KavSurfaceEngine3D.InitD3D<>S_OK");
    EXPECT_EQ(form.Calls.size(), 4u);  // four re-creations, no resolution change
    EXPECT_EQ(app.Frames, 0);
}

using ToggleTest = FrameworkTest;

TEST_F(ToggleTest, SwitchingAsksTheFormFirstAndPlacesWhereTheFormPlans) {
    FakeForm form;
    form.Rect = RECT{200, 100, 606, 432};
    TestApp app(&form);
    ASSERT_EQ(app.Create_(nullptr, 0, 0), S_OK);
    form.Calls.clear();

    app.ToggleWindowMode();
    EXPECT_EQ(form.Calls, std::vector<std::string>{"ChangeWindowMode"});
    EXPECT_TRUE(app.m_bWindowed);
    EXPECT_EQ(DWORD(GetWindowLong(app.m_hMainWnd, GWL_STYLE)), 0x10CF0000u);
    EXPECT_EQ(SDL_GetWindowFlags(app.m_hMainWnd) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    RECT client;
    GetClientRect(app.m_hMainWnd, &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 300);

    // A switch the form could not make moves nothing.
    form.SwitchFails = true;
    app.ToggleWindowMode();
    EXPECT_TRUE(app.m_bWindowed);
    EXPECT_EQ(DWORD(GetWindowLong(app.m_hMainWnd, GWL_STYLE)), 0x10CF0000u);
    form.SwitchFails = false;

    app.ToggleWindowMode();
    EXPECT_FALSE(app.m_bWindowed);
    EXPECT_NE(SDL_GetWindowFlags(app.m_hMainWnd) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    RECT outer;
    GetWindowRect(app.m_hMainWnd, &outer);
    EXPECT_EQ(outer.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(outer.bottom, GetSystemMetrics(SM_CYSCREEN));
    DestroyWindow(app.m_hMainWnd);
}

}  // namespace
}  // namespace hv::test
