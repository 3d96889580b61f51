// The form's start-up, its script-driven ends and the script's own text file.
#include <cstdio>

#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "main/ScriptBundle.h"
#include "platform/files.h"
#include "platform/halt.h"
#include "platform/system.h"

namespace hv {

namespace {
constexpr const char* kLinkFile = "Link.url";
// Exit code of a start without a script bundle: the game cannot run, so it is a failure.
constexpr int kExitNoBundle = 2;
}  // namespace

TMainForm::TMainForm(TAppLink* app) : App(app) {}

// The running program never destroys its form; forms made by tests release what they made.
TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    FLoading = false;
    FLoadProgress = 0;
    FirstPictureTime = 0;
    FActive = true;
    StartTickCount = GetTickCount();
    ShiftX = ShiftY = ShiftCount = 0;
    CurrentGroup = -1;
    GroupTransform = {};
    IsFullScreen = FullScreenFlag;
    ViewerEffects.assign(1, TEffectDesc{});
    DataPath = "data\\";
    // The engine starts for the desktop; the script's SetSystemResolution creates its device.
    const TWindowSize desktop = DesktopSize();
    KavSurfaceEngine3D = std::make_unique<TKavSurfaceEngine3D>(desktop.Width, desktop.Height,
                                                               IsFullScreen == 1, 0, 0);
    KavSurfaceEngine3D->DisplayScaling = DisplayScaling;
}

void TMainForm::CreateResources_Testing() {
    // Numbers and text convert with "." whatever the locale: the host's conversions never
    // consult it, so there is nothing to set here.
    ProjectName = "Halvardine";
    SetUpUserDataDir();
    LogEngine().DefaultLogFile = LogEngine().AddLogFile(UserDataDir + ProjectName + ".log");

    LoadStore(GameParams, kGameParamsFile);
    LoadStore(Profile, kProfileFile);
    ReadScalingSetting();

    StartScriptEngine();

    std::optional<std::vector<std::string>> lines = LoadScriptBundle();
    if (!lines) {
        std::fprintf(stderr,
                     "halvardine: no game in %s: expected the script bundle %s (or its stored "
                     "form %s) in this folder. Run the program from the game's folder.\n",
                     ExeDir().c_str(), NativePath(kBundlePlainFile).c_str(),
                     NativePath(kBundleStoredFile).c_str());
        Halt(kExitNoBundle);
    }

    ReadTexturesLua(*lines);
    ScriptEngine->Start(*lines);
    ScriptEngine->StartEngine(ElapsedMs(), EffectsParam, StartNameParam, IsFullScreen == 1);

    GroupTransform = {};
    Alpha = 1.0;
}

void TMainForm::FormDestroy() {
    ScriptEngine.reset();
    FreeLoadedSounds();
    Groups.clear();
    CurrentGroup = -1;
}

int TMainForm::QuitGame(lua_State*) {
    LogEngine().AddHint("TMainForm.QuitGame");
    if (FileExists(kLinkFile)) OpenUrl(kLinkFile);
    Halt(0);
}

int TMainForm::InitLogFile(lua_State* L) {
    ScriptLogFile.Init(UserDataDir, ArgString(L, 1));
    return 0;
}

int TMainForm::WriteToLogFile(lua_State* L) {
    ScriptLogFile.Write(ArgString(L, 1));
    return 0;
}

}  // namespace hv
