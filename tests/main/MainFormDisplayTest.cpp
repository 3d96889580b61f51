// Resolution changes, the window-mode switch and the pointer's shape, on the recording device.
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "RecordedForm.h"
#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "lua/MyLua.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "platform/win32/win32.h"
#include "tests/doubles/RecordingDevice.h"

namespace hv {
namespace {

// The application side of a switch, as the framework does it: the form first, then the
// windowed flag.
class SwitchingApp : public TAppLink {
public:
    void ToggleWindowMode() override {
        ++toggles;
        form->ChangeWindowMode();
        windowed = !windowed;
    }
    bool IsWindowed() const override { return windowed; }
    void SetWindowed(bool w) override { windowed = w; }
    HWND WindowHandle() const override { return nullptr; }
    void ShowSystemCursor(bool) override {}

    TMainForm* form = nullptr;
    bool windowed = true;
    int toggles = 0;
};

class DisplayTest : public test::RecordedFormTest {
protected:
    void SetUp() override {
        RecordedFormTest::SetUp();
        savedUserDataDir = UserDataDir;
        UserDataDir.clear();
        app.form = &form;
        form.App = &app;
    }
    void TearDown() override {
        UserDataDir = savedUserDataDir;
        RecordedFormTest::TearDown();
    }
    // Starts the form full screen or windowed, with its script engine.
    void Start(bool fullScreen) {
        app.windowed = !fullScreen;
        StartForm(fullScreen);
    }
    // Runs SetSystemResolution(w, h) and gives its results as "ok w h".
    std::string SetResolution(int w, int h) {
        Run("r = {SetSystemResolution(" + std::to_string(w) + ", " + std::to_string(h) + ")}");
        return Eval("tostring(r[1]) .. ' ' .. r[2] .. ' ' .. r[3] .. ' #' .. #r");
    }

    std::string savedUserDataDir;
    SwitchingApp app;
};

TEST_F(DisplayTest, ResolutionOfTheDesktopSizeNeedsNoFilteringAnyOtherDoes) {
    Start(true);
    EXPECT_EQ(Eval("table.concat({GetSystemResolution()}, 'x')"), "1024x768");
    EXPECT_EQ(SetResolution(1024, 768), "true 1024 768 #3");
    EXPECT_FALSE(Engine().AllFilter);
    EXPECT_FALSE(Engine().UseRequestedSize);
    EXPECT_TRUE(Engine().FullScreen);
    EXPECT_EQ(Engine().RequestedWidth, 1024);
    const std::string log = Log();
    EXPECT_NE(log.find("SetSystemResolution width=1024 height=768 FullScreenMode=1"),
              std::string::npos);
    EXPECT_NE(log.find("d3ddm.Format=X8R8G8B8"), std::string::npos);

    // The same size on a wide desktop: a mode of its own, drawn with filtering.
    desktop = {1920, 1080};
    modes = {{1920, 1080, 60, D3DFMT_X8R8G8B8}, {1024, 768, 60, D3DFMT_X8R8G8B8}};
    EXPECT_EQ(SetResolution(1024, 768), "true 1024 768 #3");
    EXPECT_TRUE(Engine().AllFilter);
    EXPECT_FALSE(Engine().UseRequestedSize);
    // Drawn at the game's size, shown between bars on the desktop.
    EXPECT_EQ(Device().PresentParameters.BackBufferWidth, 1024u);
    EXPECT_EQ(Device().PresentParameters.Windowed, TRUE);
}

TEST_F(DisplayTest, WindowedResolutionUsesTheWindowSizeForTheDevice) {
    desktop = {1920, 1080};
    Start(false);
    form.ConfigWidth = 0, form.ConfigHeight = 0;
    EXPECT_EQ(SetResolution(800, 600), "true 1366 768 #3");
    EXPECT_FALSE(Engine().FullScreen);
    EXPECT_TRUE(Engine().AllFilter);
    EXPECT_EQ(Engine().WindowedViewWidth, 1366);
    EXPECT_EQ(Engine().RequestedHeight, 600);
    // A configured window size wins over the desktop's shape.
    form.ConfigWidth = 800, form.ConfigHeight = 600;
    EXPECT_EQ(SetResolution(800, 600), "true 800 600 #3");
    EXPECT_EQ(Device().PresentParameters.BackBufferWidth, 800u);
}

TEST_F(DisplayTest, FullScreenSizeWithoutAModeRunsOnTheDesktopInTheGamesCoordinates) {
    Start(true);
    EXPECT_EQ(SetResolution(800, 600), "true 1024 768 #3");
    TKavSurfaceEngine3D& e = Engine();
    EXPECT_TRUE(e.UseRequestedSize);
    EXPECT_TRUE(e.AllFilter);
    EXPECT_EQ(e.RequestedWidth, 800);
    EXPECT_EQ(e.RequestedHeight, 600);
    EXPECT_EQ(e.WindowedViewWidth, 800);
    EXPECT_EQ(e.WindowedViewHeight, 600);
    // The frame is drawn at 800 x 600, one unit one pixel, and shown over the whole desktop
    // of the same shape.
    EXPECT_DOUBLE_EQ(e.ScaleToScreenX, 800.0 / 1024.0);
    EXPECT_DOUBLE_EQ(e.ScaleToScreenY, 600.0 / 768.0);
    EXPECT_EQ(Device().PresentParameters.BackBufferWidth, 800u);
    EXPECT_EQ(Device().PresentParameters.BackBufferHeight, 600u);
    Run("function A_Update() end");
    form.Draw();
    EXPECT_EQ(Device().Texts("Present"), std::vector<std::string>{"Present(null, null)"});
    D3DMATRIX projection{};
    Device().GetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_FLOAT_EQ(projection._11, 2.0f / 800.0f);
    EXPECT_FLOAT_EQ(projection._22, -2.0f / 600.0f);

    // Without Direct3D both attempts fail: the result is the second attempt's, and the frame
    // then draws nothing instead of failing.
    noDirect3D = true;
    EXPECT_EQ(SetResolution(800, 600), "false 1024 768 #3");
    EXPECT_FALSE(Engine().Device);
    form.Draw();
    EXPECT_NE(Log().find("TMainForm.Draw g_pd3dDevice = nil"), std::string::npos);
}

TEST_F(DisplayTest, SwitchingToAWindowAndBackSavesTheChoiceAndTellsTheScript) {
    desktop = {1280, 1024};
    modes = {{1280, 1024, 60, D3DFMT_X8R8G8B8},
             {1024, 768, 60, D3DFMT_X8R8G8B8},
             {800, 600, 60, D3DFMT_X8R8G8B8}};
    Write("GameParams.txt", "Music=50\r\nFullscreen=true\r\nVoice=on\r\n");
    Start(true);
    form.GameParams.LoadFromFile("GameParams.txt");
    Run("calls = {} function A_ChangeResolution(w, h, f) "
        "calls[#calls + 1] = w .. 'x' .. h .. ':' .. tostring(f) end");
    EXPECT_EQ(SetResolution(800, 600), "true 800 600 #3");

    Run("AppChangeWindowMode()");
    EXPECT_EQ(app.toggles, 1);
    EXPECT_TRUE(app.windowed);
    EXPECT_EQ(form.IsFullScreen, 0);
    EXPECT_FALSE(Engine().FullScreen);
    EXPECT_EQ(Read("GameParams.txt"), "Music=50\r\nFullscreen=false\r\nVoice=on\r\n");
    EXPECT_EQ(Engine().ViewWidth, 1024);  // the window size of a 4:3 desktop of width 1280
    EXPECT_EQ(Device().PresentParameters.Windowed, TRUE);
    EXPECT_EQ(Eval("table.concat(calls, ' ')"), "1024x768:true");

    Run("AppChangeWindowMode()");
    EXPECT_FALSE(app.windowed);
    EXPECT_EQ(form.IsFullScreen, 1);
    EXPECT_TRUE(Engine().FullScreen);
    EXPECT_EQ(Read("GameParams.txt"), "Music=50\r\nFullscreen=true\r\nVoice=on\r\n");
    EXPECT_FALSE(Engine().UseRequestedSize);
    EXPECT_EQ(Eval("table.concat(calls, ' ')"), "1024x768:true 800x600:true");
    const std::string log = Log();
    EXPECT_NE(log.find("ChangeWindowMode KavSurfaceEngine3D.FullScreen=false"), std::string::npos);
    EXPECT_NE(log.find("ChangeWindowMode KavSurfaceEngine3D.FullScreen=true"), std::string::npos);
    EXPECT_NE(log.find("ChangeWindowMode d3ddm.Format=X8R8G8B8"), std::string::npos);
    EXPECT_NE(log.find("Call_A_ChangeResolution 800 600"), std::string::npos);
}

TEST_F(DisplayTest, SwitchToAFullScreenSizeWithoutAModeFallsBackToTheDesktop) {
    // Parameters that do not list the choice yet still get it.
    desktop = {1280, 1024};
    modes = {{1280, 1024, 60, D3DFMT_X8R8G8B8}};
    Start(false);
    Run("calls = {} function A_ChangeResolution(w, h) calls[#calls + 1] = w .. 'x' .. h end");
    EXPECT_EQ(SetResolution(800, 600), "true 1024 768 #3");
    Run("AppChangeWindowMode()");
    TKavSurfaceEngine3D& e = Engine();
    EXPECT_TRUE(e.FullScreen);
    EXPECT_TRUE(e.UseRequestedSize);
    EXPECT_TRUE(e.AllFilter);
    EXPECT_EQ(e.ViewWidth, 1280);
    EXPECT_EQ(Device().PresentParameters.BackBufferWidth, 800u);
    // The frame lands 1.6 times as large between bars above and below.
    Run("function A_Update() end");
    form.Draw();
    EXPECT_EQ(Device().Texts("Present"), std::vector<std::string>{"Present(null, 0,32,1280,992)"});
    // The script keeps the coordinates it asked for.
    EXPECT_DOUBLE_EQ(e.ScaleToScreenX, 800.0 / 1280.0);
    EXPECT_EQ(Eval("table.concat(calls, ' ')"), "800x600");
    EXPECT_EQ(Read("GameParams.txt"), "Fullscreen=true\r\n");
}

TEST_F(DisplayTest, ASwitchThatCannotBeShownChangesNothingTheScriptOrThePlayerSees) {
    // Full screen needs a frame of the game's 2000 x 1500, beyond what this device can make;
    // the window the game runs in stays.
    Start(false);
    Run("calls = 0 function A_ChangeResolution() calls = calls + 1 end");
    EXPECT_EQ(SetResolution(2000, 1500), "true 1024 768 #3");
    Device().MaxBackBufferSide = 1600;
    Run("AppChangeWindowMode()");
    EXPECT_EQ(form.IsFullScreen, 0);
    EXPECT_FALSE(Engine().FullScreen);
    EXPECT_EQ(Eval("calls"), "0");
    EXPECT_FALSE(std::filesystem::exists(root / "GameParams.txt"));
    EXPECT_EQ(Device().PresentParameters.BackBufferWidth, 1024u);
    EXPECT_TRUE(
        Logged("TKavSurfaceEngine3D.SwitchDisplay full screen, 2000 x 1500 on 1024 x 768 "
               "cannot be shown"));
}

TEST_F(DisplayTest, ThePlayersScalingComesFromTheVariableOrTheViewerFile) {
    desktop = {1920, 1080};
    Start(true);
    const auto presented = [&] {
        Run("function A_Update() end");
        Device().Calls.clear();
        form.Draw();
        return Device().Texts("Present").at(0);
    };
    unsetenv("HALVARDINE_SCALING");
    form.ReadScalingSetting();  // neither: the shape is kept
    SetResolution(800, 600);
    EXPECT_EQ(presented(), "Present(null, 240,0,1680,1080)");

    Write("KavViewer.config",
          "<KavViewerConfigFile><Scaling> Whole </Scaling></KavViewerConfigFile>");
    form.ReadScalingSetting();
    SetResolution(800, 600);
    EXPECT_EQ(presented(), "Present(null, 560,240,1360,840)");

    setenv("HALVARDINE_SCALING", "stretch", 1);  // the variable wins over the file
    form.ReadScalingSetting();
    SetResolution(800, 600);
    EXPECT_EQ(presented(), "Present(null, null)");

    setenv("HALVARDINE_SCALING", "fit", 1);
    form.DisplayScaling = TScaling::KeepShape;
    form.ReadScalingSetting();
    EXPECT_EQ(form.DisplayScaling, TScaling::KeepShape);
    EXPECT_TRUE(
        Logged("TMainForm.ReadScalingSetting HALVARDINE_SCALING says 'fit'; expected keep, "
               "whole or stretch; the shape is kept"));
    unsetenv("HALVARDINE_SCALING");
}

TEST_F(DisplayTest, AFailingResolutionHandlerIsAScriptError) {
    Start(false);
    EXPECT_EQ(SetResolution(1024, 768), "true 1024 768 #3");
    Run("function A_ChangeResolution(w, h) error('no layout for ' .. w) end");
    EXPECT_THROW(form.Call_A_ChangeResolution(), EScriptReport);
    EXPECT_NE(Log().find("no layout for 1024"), std::string::npos);
    // Through the script the report passes out of the script function that switched.
    EXPECT_THROW(form.ScriptEngine->RunString("AppChangeWindowMode()"), EScriptReport);
    EXPECT_EQ(form.IsFullScreen, 1);
}

TEST_F(DisplayTest, CursorNamesAreExactAndUnknownNamesGiveTheArrow) {
    Start(false);
    const std::pair<const char*, int> cases[] = {
        {"'hand'", IDC_PROGRAM_HAND},
        {"'finger'", IDC_PROGRAM_HAND},
        {"'gears'", IDC_PROGRAM_HAND},
        {"'Hand'", IDC_ARROW},
        {"'Forward'", IDC_UPARROW},
        {"'L'", IDC_UPARROW},
        {"'l'", IDC_ARROW},
        {"'cloud'", IDC_HELP},
        {"'lupa'", IDC_HELP},
        {"'memoryBack'", IDC_APPSTARTING},
        {"'memoryReturn'", IDC_APPSTARTING},
        {"", IDC_ARROW},
        {"{}", IDC_ARROW},
    };
    for (const auto& [arg, id] : cases) {
        hv::SetCursor(nullptr);
        Run(std::string("SetCursor(") + arg + ")");
        EXPECT_EQ(CursorId(GetCursor()), id) << arg;
    }
    EXPECT_EQ(Eval("select('#', SetCursor('hand'))"), "0");
}

TEST_F(DisplayTest, EvictManagedResourcesReachesTheDeviceWhenThereIsOne) {
    Start(false);
    Run("EvictManagedResources() AppChangeCustomCursor()");  // no device yet: nothing happens
    EXPECT_EQ(SetResolution(1024, 768), "true 1024 768 #3");
    Device().Calls.clear();
    Run("EvictManagedResources()");
    EXPECT_EQ(Device().Names(), std::vector<std::string>{"EvictManagedResources"});
}

}  // namespace
}  // namespace hv
