#include "main/MainForm.h"

#include <cstdlib>
#include <filesystem>

#include "TempFolder.h"
#include "log/KavLogEngine.h"
#include "main/ProjectSettings.h"
#include "main/ScriptBundle.h"
#include "platform/exceptions.h"
#include "tests/common/ScriptText.h"

namespace hv {
namespace {

class FakeApp : public TAppLink {
public:
    void ToggleWindowMode() override { ++toggles; }
    bool IsWindowed() const override { return windowed; }
    void SetWindowed(bool w) override { windowed = w; }
    HWND WindowHandle() const override { return nullptr; }
    void ShowSystemCursor(bool show) override { cursorCalls.push_back(show); }

    int toggles = 0;
    bool windowed = true;
    std::vector<bool> cursorCalls;
};

// A form with its script engine, the per-user folder and the log file in the test's folder.
class MainFormTest : public test::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        UserDataDir = root.string() + "/";
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        log = LogEngine().AddLogFile(root.string() + "/" + name + ".log");
        LogEngine().DefaultLogFile = log;
        form.StartScriptEngine();
    }
    void TearDown() override {
        // The folder goes with the test: its log must not get a footer at program end.
        log->Disabled = true;
        LogEngine().DefaultLogFile = nullptr;
        TempFolderTest::TearDown();
    }
    void Run(const std::string& code) { test::RunScript(*form.ScriptEngine, code); }
    std::string Eval(const std::string& expression) {
        return test::EvalScript(*form.ScriptEngine, expression);
    }
    std::string Log() { return Read(log->FileName); }
    lua_State* L() { return form.ScriptEngine->State; }

    FakeApp app;
    TMainForm form{&app};
    TLogFile* log = nullptr;
};

TEST_F(MainFormTest, EveryPublishedMethodIsAGlobalAndHostOperationsAreInert) {
    for (const char* name :
         {"SetFormCaption", "LoadLuas", "ReLoadLua", "GroupBegin", "GroupEnd", "GetParamsFromCode",
          "SetParamsToCode", "GetProfileFromCode", "SetProfileToCode", "SetProfileParam",
          "WSurvey_BOk", "SaveGameBeforeGame", "OpenUrl", "WOptions_OK_MouseUp_fromCode"})
        EXPECT_EQ(Eval("type(" + std::string(name) + ")"), "function") << name;
    Write("Link.url", "[InternetShortcut]\r\nURL=file:///x\r\n");
    Run("r = select('#', OpenUrl('Link.url'))");
    EXPECT_EQ(Eval("r"), "0");
    EXPECT_EQ(Log().find("OpenUrl"), std::string::npos);
    Run("SetFormCaption('My game')");
    EXPECT_EQ(form.Caption, "My game");
}

TEST_F(MainFormTest, SetParamsToCodeAppliesLowerCasedSettingsAndStoresPairsAsWritten) {
    Run("SetParamsToCode('FullScreen=TRUE;\\r\\nSound=0.5;\\t key = v ;CustomCursor=true;tail')");
    EXPECT_EQ(form.IsFullScreen, 1);
    EXPECT_FALSE(app.windowed);
    EXPECT_EQ(form.CustomCursor, true);
    EXPECT_EQ(app.cursorCalls, std::vector<bool>{false});
    EXPECT_EQ(Read("GameParams.txt"),
              "FullScreen=TRUE\r\nSound=0.5\r\n key = v \r\nCustomCursor=true\r\n");
    EXPECT_NE(Log().find("TMainForm.A_SetParamsToCode CustomCursor=False"), std::string::npos);

    // The same cursor state again changes nothing; a switch back shows the system pointer.
    Run("SetParamsToCode('customcursor=true;')");
    EXPECT_EQ(app.cursorCalls.size(), 1u);
    Run("SetParamsToCode('fullscreen=false;customcursor=no;detalizationmode=2;')");
    EXPECT_EQ(form.IsFullScreen, 0);
    EXPECT_TRUE(app.windowed);
    EXPECT_EQ(app.cursorCalls, (std::vector<bool>{false, true}));
    EXPECT_EQ(log->DetalizationMode, 2);
    log->DetalizationMode = 3;

    // Params from the script side, in order.
    Run("t = {GetParamsFromCode()}");
    EXPECT_EQ(Eval("#t"), "7");
    EXPECT_EQ(Eval("t[1]"), "3");
    EXPECT_EQ(Eval("t[2] .. '|' .. t[3]"), "fullscreen|false");

    // Text without ";" clears the parameters and saves an empty file.
    Run("SetParamsToCode('nothing here')");
    EXPECT_EQ(form.GameParams.Count(), 0);
    EXPECT_EQ(Read("GameParams.txt"), "");
}

TEST_F(MainFormTest, BadDetailLevelLeavesParametersUnsavedWithAConversionError) {
    form.GameParams.Add("keep", "1");
    form.GameParams.SaveToFile(UserDataDir + "GameParams.txt");
    EXPECT_THROW(form.ScriptEngine->RunString("SetParamsToCode('a=1;detalizationmode=high;')"),
                 EConvertError);
    EXPECT_EQ(form.GameParams.Count(), 1);
    EXPECT_EQ(Read("GameParams.txt"), "keep=1\r\n");
}

TEST_F(MainFormTest, ManyParametersAllReachTheScript) {
    for (int i = 0; i < 300; ++i) {
        std::string n = std::to_string(i);
        form.GameParams.Add(std::string("k").append(n), n);
    }
    Run("t = {GetParamsFromCode()}");
    EXPECT_EQ(Eval("#t"), "601");
    EXPECT_EQ(Eval("t[1]"), "300");
    EXPECT_EQ(Eval("t[600] .. '=' .. t[601]"), "k299=299");
}

TEST_F(MainFormTest, ProfileFunctions) {
    EXPECT_EQ(Eval("GetProfileFromCode()"), "");
    Run("SetProfileToCode('name=Ann;\\r\\nlevel=3;')");
    EXPECT_EQ(Eval("GetProfileFromCode()"), "name!Ann!level!3!");
    EXPECT_EQ(Read("Profile.txt"), "name=Ann\r\nlevel=3\r\n");
    EXPECT_NE(Log().find("TMainForm.A_SetProfileToCode name=Ann;"), std::string::npos);

    Run("SetProfileParam('level=4=x')");
    Run("SetProfileParam('new=1')");
    EXPECT_EQ(Read("Profile.txt"), "name=Ann\r\nlevel=4=x\r\nnew=1\r\n");

    std::filesystem::remove(root / "Profile.txt");
    Run("SetProfileParam('no equals sign')");
    EXPECT_FALSE(std::filesystem::exists(root / "Profile.txt"));
}

TEST_F(MainFormTest, GroupsBehaveAsAStack) {
    auto values = [&] {
        const TGroupTransform& g = form.GroupTransform;
        return std::vector<double>{g.OffsetX, g.OffsetY, g.ScaleX, g.ScaleY, form.Alpha};
    };
    Run("GroupEnd('none')");  // no group open: nothing happens
    EXPECT_EQ(form.CurrentGroup, -1);

    Run("GroupBegin('a', 10, 20)");
    Run("GroupBegin('b', 0, 0, 2, 2)");
    EXPECT_EQ(values(), (std::vector<double>{0, 0, 2, 2, 1}));
    EXPECT_EQ(form.CurrentGroup, 1);
    Run("GroupEnd('b')");
    EXPECT_EQ(values(), (std::vector<double>{10, 20, 1, 1, 1}));
    EXPECT_EQ(form.CurrentGroup, 0);

    // Re-opening a group that is not the top replaces its values and makes it current; ending
    // another name makes the top current again.
    Run("GroupBegin('b', 1, 1)");
    Run("GroupBegin('a', 5, 6, 0.5, 0.5, 0.25)");
    EXPECT_EQ(form.CurrentGroup, 0);
    EXPECT_EQ(values(), (std::vector<double>{5, 6, 0.5, 0.5, 0.25}));
    Run("GroupEnd('unknown')");
    EXPECT_EQ(form.CurrentGroup, 1);
    EXPECT_EQ(values(), (std::vector<double>{1, 1, 1, 1, 1}));

    // A nil argument given still reads as 0.
    Run("GroupBegin('c', nil, 7)");
    EXPECT_EQ(values(), (std::vector<double>{0, 7, 1, 1, 1}));
    Run("GroupEnd('c') GroupEnd('b') GroupEnd('a')");
    EXPECT_EQ(form.CurrentGroup, -1);
    EXPECT_TRUE(form.Groups.empty());
    EXPECT_EQ(values(), (std::vector<double>{0, 0, 1, 1, 1}));
}

TEST_F(MainFormTest, ManyGroupsInOneFrameKeepTheirPlaces) {
    // A frame that opens a hundred thousand groups (a scene of many small items) and closes
    // them in any order: re-opening and closing by name must find the right record each time.
    Run("for i = 1, 100000 do GroupBegin('g' .. i, i) end");
    EXPECT_EQ(form.Groups.size(), 100000u);
    EXPECT_EQ(form.CurrentGroup, 99999);
    Run("GroupEnd('g2')");  // from the bottom: every record above moves down one
    Run("GroupBegin('g3', -3)");
    EXPECT_EQ(form.CurrentGroup, 1);
    EXPECT_EQ(form.GroupTransform.OffsetX, -3);
    Run("GroupBegin('g100000', 7)");
    EXPECT_EQ(form.CurrentGroup, 99998);
    Run("for i = 100000, 4, -1 do GroupEnd('g' .. i) end");
    EXPECT_EQ(form.CurrentGroup, 1);
    EXPECT_EQ(form.GroupTransform.OffsetX,
              -3);  // the top is now g3 with the values it was re-opened with
    Run("GroupEnd('g3') GroupEnd('g1')");
    EXPECT_TRUE(form.Groups.empty());
}

TEST_F(MainFormTest, ReLoadLuaJoinsFilesInOrderRunsThemAndSendsF5) {
    form.ScriptEngine->Start(
        {"function A_KeyDown(k, c) keys = (keys or '') .. k .. ',' .. c end", "kept = 'old'"});
    Write("aaa.lua", "order = order .. 'a'");
    Write("KavInterfaceTemplatesEngine.lua", "order = 'K'\r\nkept = nil");
    Write("zzz.lua", "\xEF\xBB\xBForder = order .. 'z'");  // saved with a byte-order mark
    Write("AllLua.lua", "error('the old bundle must not be read')");
    Run("ReLoadLua()");
    EXPECT_EQ(Eval("order:sub(1, 1)"), "K");
    EXPECT_EQ(Eval("#order"), "3");
    EXPECT_EQ(Eval("keys"), "116,0");
    EXPECT_EQ(Eval("kept"), "nil");
    EXPECT_EQ(form.ScriptEngine->ScriptLines.size(), 2u);
    std::string all = Read("AllLua.lua");
    EXPECT_TRUE(all.starts_with("order = 'K'\r\nkept = nil\r\norder = order .. '"));
    EXPECT_NE(Log().find("LoadFromFile KavInterfaceTemplatesEngine.lua"), std::string::npos);

    // An error in the rebuilt text is ignored; the key still arrives.
    Write("zzz.lua", "this is not lua");
    Run("keys = '' ReLoadLua()");
    EXPECT_EQ(Eval("keys"), "116,0");

    // The bundle of the game folder is "data\AllLua.lua", not the rebuilt file.
    EXPECT_FALSE(LoadScriptBundle());
    EXPECT_NE(Log().find("data\\AllLua.lua not exist "), std::string::npos);

    // Without the templates file the reload fails with a file error.
    std::filesystem::remove(root / "KavInterfaceTemplatesEngine.lua");
    EXPECT_THROW(form.ScriptEngine->RunString("ReLoadLua()"), EInOutError);
}

TEST_F(MainFormTest, LoadLuasAppliesProjectSettingsAndMovesTheLogFile) {
    const std::string oldName = ProjectName;
    const char* oldAppData = std::getenv("APPDATA");
    ::setenv("APPDATA", (root / "appdata").c_str(), 1);

    Run("LoadLuas('x', 0)");  // two arguments: nothing applied
    EXPECT_EQ(ProjectName, oldName);
    Run("LoadLuas('x', 0, 'ProjectName=Demo=1;DetalizationMode=2;Other=3;Unclosed=4')");
    EXPECT_EQ(ProjectName, "Demo=1");
    EXPECT_EQ(log->DetalizationMode, 2);  // the file in use before the switch
    EXPECT_EQ(UserDataDir, (root / "appdata/My Games/Orvandel/Demo=1/").string());
    EXPECT_TRUE(std::filesystem::is_directory(UserDataDir));
    ASSERT_NE(LogEngine().DefaultLogFile, log);
    EXPECT_EQ(LogEngine().DefaultLogFile->FileName, "Demo=1.log");

    // The project name is applied even when a later pair is unclosed.
    Run("LoadLuas('x', 0, 'ProjectName=Second;DetalizationMode=1')");
    EXPECT_EQ(ProjectName, "Second");
    EXPECT_EQ(LogEngine().DefaultLogFile->FileName, "Second.log");
    EXPECT_EQ(LogEngine().DefaultLogFile->DetalizationMode, 3);

    // A detail level that is not a number stops before the later pairs and the folder switch.
    EXPECT_THROW(ApplyProjectSettings("DetalizationMode=x;ProjectName=Third;"), EConvertError);
    EXPECT_EQ(ProjectName, "Second");
    EXPECT_EQ(LogEngine().DefaultLogFile->FileName, "Second.log");

    LogEngine().DefaultLogFile = log;
    log->DetalizationMode = 3;
    ProjectName = oldName;
    if (oldAppData)
        ::setenv("APPDATA", oldAppData, 1);
    else
        ::unsetenv("APPDATA");
}

// A game that names its project finds the player's data of its earlier runs there; data the
// script has already set is never swapped for what the new folder holds.
TEST_F(MainFormTest, LoadLuasReadsTheNewProjectsStoresUnlessTheScriptChangedThem) {
    const std::string oldName = ProjectName;
    const char* oldAppData = std::getenv("APPDATA");
    ::setenv("APPDATA", (root / "appdata").c_str(), 1);
    Write("appdata/My Games/Orvandel/Game/Profile.txt", "level=5\r\nname=Ann\r\n");
    Write("appdata/My Games/Orvandel/Game/GameParams.txt", "Music=30\r\n");
    Write("appdata/My Games/Orvandel/Other/Profile.txt", "level=1\r\n");
    form.Profile.Add("from", "the default folder");

    Run("LoadLuas('', '', 'ProjectName=Game;')");
    EXPECT_EQ(Eval("GetProfileFromCode()"), "level!5!name!Ann!");
    ASSERT_EQ(form.GameParams.Count(), 1);
    EXPECT_EQ(form.GameParams.Items[0].Value, "30");
    const std::string game = (root / "appdata/My Games/Orvandel/Game/").string();
    EXPECT_NE(Read("appdata/My Games/Orvandel/Game/Game.log")
                  .find("TMainForm.LoadLuas Profile.txt read from " + game),
              std::string::npos);

    // The profile changed by the script stays; the untouched parameters follow the folder,
    // where there are none. Nothing is written until the script saves.
    Run("SetProfileParam('level=6')");
    Run("LoadLuas('', '', 'ProjectName=Other;')");
    EXPECT_EQ(Eval("GetProfileFromCode()"), "level!6!name!Ann!");
    EXPECT_EQ(form.GameParams.Count(), 0);
    EXPECT_EQ(Read("appdata/My Games/Orvandel/Other/Profile.txt"), "level=1\r\n");
    const std::string other = (root / "appdata/My Games/Orvandel/Other/").string();
    EXPECT_NE(Read("appdata/My Games/Orvandel/Other/Other.log")
                  .find("Warning! TMainForm.LoadLuas Profile.txt not read from " + other),
              std::string::npos);
    EXPECT_EQ(Read("appdata/My Games/Orvandel/Game/Profile.txt"), "level=6\r\nname=Ann\r\n");

    LogEngine().DefaultLogFile = log;
    ProjectName = oldName;
    if (oldAppData)
        ::setenv("APPDATA", oldAppData, 1);
    else
        ::unsetenv("APPDATA");
}

TEST_F(MainFormTest, EndOfGameAndOptionsCallTheScriptAndReportItsErrors) {
    // Not defined by the script: the name is still the host's own; nothing is called.
    EXPECT_NO_THROW(form.WOptions_OK_MouseUp_fromCode());
    EXPECT_NE(Log().find("WOptions_OK_MouseUp_fromCode"), std::string::npos);

    form.ScriptEngine->Start(
        {"function G_EndGame() ended = true end",
         "function WOptions_OK_MouseUp_fromCode() opts = (opts or 0) + 1 end"});
    form.SaveGameBeforeGame();
    form.WOptions_OK_MouseUp_fromCode();
    EXPECT_EQ(Eval("ended"), "true");
    EXPECT_EQ(Eval("opts"), "1");

    form.ScriptEngine->Start({"function G_EndGame() error('boom') end",
                              "function WOptions_OK_MouseUp_fromCode() error('bang') end"});
    EXPECT_THROW(form.SaveGameBeforeGame(), EScriptError);
    EXPECT_THROW(form.WOptions_OK_MouseUp_fromCode(), EScriptError);
}

TEST_F(MainFormTest, WSurveyEndsTheProgramWithExitCodeZero) {
    Write("Link.url", "[InternetShortcut]\r\nURL=ftp://example.org/\r\n");
    EXPECT_EXIT(form.ScriptEngine->RunString("WSurvey_BOk() error('not reached')"),
                ::testing::ExitedWithCode(0), "");
    EXPECT_NE(Log().find("not opened"), std::string::npos);
}

}  // namespace
}  // namespace hv
