#include <cstdlib>
#include <filesystem>

#include "TempFolder.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "platform/exceptions.h"
#include "platform/system.h"

namespace hv {
namespace {

class WindowedApp : public TAppLink {
public:
    void ToggleWindowMode() override {}
    bool IsWindowed() const override { return windowed; }
    void SetWindowed(bool w) override { windowed = w; }
    HWND WindowHandle() const override { return nullptr; }
    void ShowSystemCursor(bool) override {}
    bool windowed = false;
};

class StartupTest : public test::TempFolderTest {
protected:
    void SetCommandLine(std::vector<const char*> args) {
        args.insert(args.begin(), "halvardine");
        hv::SetCommandLine(int(args.size()), args.data());
    }
    std::vector<std::string> EffectNames() const {
        std::vector<std::string> names;
        for (const auto& e : form.ViewerEffects) names.push_back(e.Name);
        return names;
    }
    WindowedApp app;
    TMainForm form{&app};
};

TEST_F(StartupTest, ViewerCommandLineConsumesArgumentsByLetter) {
    SetCommandLine({"-ePb", "C:\\data", "back1", "fx1", "fx2"});
    form.ParseParametersFromParamStr();
    EXPECT_EQ(form.DataPath, "C:\\data");  // "P" keeps the folder as given
    EXPECT_TRUE(form.FromFileFolder);
    EXPECT_TRUE(form.HasBackground);
    EXPECT_TRUE(form.BackgroundRedraw);
    EXPECT_EQ(form.BackgroundName, "back1");
    EXPECT_EQ(form.ViewerMode, kViewerEffects);
    EXPECT_EQ(EffectNames(), (std::vector<std::string>{"", "fx1", "fx2"}));

    TMainForm second(&app);
    SetCommandLine({"-epB", "sounds"});
    second.ParseParametersFromParamStr();
    EXPECT_EQ(second.DataPath, "sounds\\");
    EXPECT_FALSE(second.FromFileFolder);
    EXPECT_FALSE(second.HasBackground);  // "B" found no argument left

    // An empty folder for "p" keeps the folder in force rather than naming the root.
    TMainForm third(&app);
    SetCommandLine({"-ep", ""});
    third.ParseParametersFromParamStr();
    EXPECT_EQ(third.DataPath, "data\\");

    // "-t" and "-i" select a mode, and the list of effects starts at the switch itself.
    TMainForm fourth(&app);
    fourth.ViewerMode = kViewerEffects;
    SetCommandLine({"-interface", "a"});
    fourth.ParseParametersFromParamStr();
    EXPECT_EQ(fourth.ViewerMode, kViewerInterface);
    EXPECT_EQ(fourth.ViewerEffects.size(), 3u);
    EXPECT_EQ(fourth.ViewerEffects[1].Name, "-interface");
}

TEST_F(StartupTest, ConfigFileThenCommandLine) {
    Write("KavViewer.config",
          "<?xml version=\"1.0\"?>\r\n<KavViewerConfigFile>\r\n"
          "  <Mode>  EffectViewer </Mode>\r\n"
          "  <Background Redraw=\" TRUE \">  hall </Background>\r\n"
          "  <Path FromFileFolder=\"true\"> media </Path>\r\n"
          "  <Effects>\r\n"
          "    <Effect X=\"10\" Y=\"-5\"> smoke </Effect>\r\n"
          "    <Other>skip</Other>\r\n"
          "    <Effect>fire</Effect>\r\n"
          "    <Effect Y=\"$10\">rain</Effect>\r\n"
          "  </Effects>\r\n</KavViewerConfigFile>\r\n");
    SetCommandLine({"cli1", "cli2"});
    form.ParseParameters(nullptr);
    EXPECT_EQ(form.ViewerMode, kViewerEffects);
    EXPECT_TRUE(form.HasBackground);
    EXPECT_TRUE(form.BackgroundRedraw);
    EXPECT_EQ(form.BackgroundName, "hall");
    EXPECT_TRUE(form.FromFileFolder);
    EXPECT_EQ(form.DataPath, "media\\");
    EXPECT_EQ(EffectNames(),
              (std::vector<std::string>{"", "smoke", "fire", "rain", "cli1", "cli2"}));
    EXPECT_EQ(form.ViewerEffects[1].X, 10);
    EXPECT_EQ(form.ViewerEffects[1].Y, -5);
    EXPECT_EQ(form.ViewerEffects[3].Y, 16);

    // Unknown mode text changes nothing; a file without the top element changes nothing.
    Write("KavViewer.config",
          "<KavViewerConfigFile><Mode>viewer</Mode><Path></Path></KavViewerConfigFile>");
    SetCommandLine({});
    form.ParseParameters(nullptr);
    EXPECT_EQ(form.ViewerMode, kViewerEffects);
    EXPECT_EQ(form.DataPath, "media\\");  // an empty Path keeps the folder
    Write("KavViewer.config", "<Other><Mode>testing</Mode></Other>");
    form.ParseParameters(nullptr);
    EXPECT_EQ(form.ViewerMode, kViewerEffects);

    // A position that is not an integer is a conversion error for the caller.
    Write("KavViewer.config",
          "<KavViewerConfigFile><Effects><Effect "
          "X=\"ten\">a</Effect></Effects></KavViewerConfigFile>");
    EXPECT_THROW(form.ParseParameters(nullptr), EConvertError);
}

TEST_F(StartupTest, StartUpUsesThePerUserFolderAndPassesSevenValuesToTheScript) {
    const std::string appData = (root / "appdata").string();
    ::setenv("APPDATA", appData.c_str(), 1);
    const std::string user = appData + "/My Games/Orvandel/Halvardine/";
    Write("appdata/My Games/Orvandel/Halvardine/GameParams.txt", "Volume=7\r\n");
    Write(
        "data/AllLua.lua",
        "function A_Init(t, a, b, c, effects, start, full)\n"
        "  InitLogFile('init.txt')\n"
        "  WriteToLogFile(table.concat({type(t), a, b, c, effects, start, tostring(full)}, '|'))\n"
        "end\n");
    form.EffectsParam = "a;b;c;";
    form.StartNameParam = "my";
    FullScreenFlag = 1;
    form.FormCreate();
    EXPECT_EQ(form.IsFullScreen, 1);
    form.CreateResources_Testing();
    EXPECT_EQ(UserDataDir, user);
    EXPECT_EQ(Read("appdata/My Games/Orvandel/Halvardine/init.txt"),
              "number|0|1|1|a;b;c;|my|true\r\n");
    EXPECT_EQ(form.GameParams.Count(), 1);
    EXPECT_EQ(LogEngine().DefaultLogFile->NativeFileName(), user + "Halvardine.log");
    EXPECT_TRUE(std::filesystem::exists(root / "data" / "AllLua.luac"));
    ::unsetenv("APPDATA");
}

TEST_F(StartupTest, MissingBundleEndsWithAFailureCodeAndSaysWhere) {
    ::setenv("APPDATA", (root / "appdata").c_str(), 1);
    form.FormCreate();
    EXPECT_EXIT(form.CreateResources_Testing(), ::testing::ExitedWithCode(2),
                "expected the script bundle data/AllLua.lua");
    ::unsetenv("APPDATA");
}

TEST_F(StartupTest, QuitGameEndsAtOnceWithoutTheEndOfGameCall) {
    ::setenv("APPDATA", (root / "appdata").c_str(), 1);
    Write("data/AllLua.lua",
          "function A_Init() end\n"
          "function G_EndGame() io.open('saved.txt', 'w'):close() end\n");
    form.FormCreate();
    form.CreateResources_Testing();
    EXPECT_EXIT(form.ScriptEngine->RunString("QuitGame() io.open('after.txt', 'w'):close()"),
                ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(std::filesystem::exists(root / "saved.txt"));
    EXPECT_FALSE(std::filesystem::exists(root / "after.txt"));
    ::unsetenv("APPDATA");
}

}  // namespace
}  // namespace hv
