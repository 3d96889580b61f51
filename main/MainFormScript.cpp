// The form's side of the script bundle: the engine's start, the picture catalogue read from the
// bundle, and the script functions that apply project settings and rebuild the bundle.
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "main/ScriptBundle.h"
#include "platform/files.h"

namespace hv {

void TMainForm::StartScriptEngine() {
    ScriptEngine = std::make_unique<TMyLua>(false);
    ScriptEngine->RegisterPublishedMethods(this);
}

void TMainForm::ReadTexturesLua(const std::vector<std::string>& lines) {
    hv::ReadTexturesLua(lines, PictureCatalogue);
}

int TMainForm::FindCatalogueEntry(std::string_view name) const {
    return catalogueIndex_.Find(PictureCatalogue, name);
}

int TMainForm::LoadLuas(lua_State* L) {
    if (lua_gettop(L) <= 2) return 0;
    const std::string before = UserDataDir;
    ApplyProjectSettings(ArgString(L, 3));
    if (UserDataDir != before) FollowUserDataDir();
    return 0;
}

int TMainForm::ReLoadLua(lua_State*) {
    std::vector<std::string> bundle;
    for (const std::string& name : ReLoadLuaFileNames()) {
        std::vector<std::string> lines = ReadFileLines(name);
        bundle.insert(bundle.end(), lines.begin(), lines.end());
        LogEngine().AddHint("LoadFromFile " + name);
    }
    const std::string text = BundleText(bundle);
    WriteFileAtomic("AllLua.lua", text);
    if (!ScriptEngine) return 0;
    // A failing reload is not reported; whatever the run leaves on the stack is dropped.
    lua_State* S = ScriptEngine->State;
    const int top = lua_gettop(S);
    ScriptEngine->RunString(text);
    lua_settop(S, top);
    ScriptEngine->SendKeyDown(116, 0);
    return 0;
}

}  // namespace hv
