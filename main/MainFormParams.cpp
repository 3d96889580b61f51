// The form's script functions for game parameters, the player's profile, drawing groups and the
// farewell link, and the host operations that call the script's end-of-game functions.
#include <cstdint>
#include <cstring>

#include "log/KavLogEngine.h"
#include "main/DamagedStore.h"
#include "main/LinkFile.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "main/SettingsText.h"
#include "platform/convert.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/halt.h"
#include "support/SFunctions.h"

namespace hv {

void TMainForm::FillFromSettings(tAssArray& store, const std::string& text) {
    store.Clear();
    for (const std::string& line : SettingsLines(text)) store.AddLine(line);
}

namespace {

// The most game parameters GetParamsFromCode can hand over: it pushes 2n + 1 values, and the
// interpreter lets a host function hold at most 8000 (LUAI_MAXCSTACK of Lua 5.1 and LuaJIT),
// some of them taken by the call's own arguments.
constexpr size_t kMaxGameParams = 3990;

}  // namespace

void TMainForm::LoadStore(tAssArray& store, const char* fileName) {
    const std::string path = UserDataDir + fileName;
    if (const int removed = RemoveStaleSaveFiles(path))
        LogEngine().AddHint(std::string("TMainForm ") + fileName + ": " + std::to_string(removed) +
                            " temporary file(s) of an interrupted save removed");
    store.Clear();
    store.LoadFromFile(path);
    if (store.Count() == 0) return;

    // A damaged file would end every start, or reach the script as settings: the game starts
    // without it, and it is kept for the player until a save replaces it.
    const std::string bytes = ReadFileBytes(path);
    const size_t maxPairs =
        std::string_view(fileName) == kGameParamsFile ? kMaxGameParams : SIZE_MAX;
    const std::string damage = StoreDamage(bytes, size_t(store.Count()), maxPairs);
    if (damage.empty()) return;
    store.Clear();
    const std::string kept = DamagedStoreName(fileName);
    try {
        WriteFileAtomic(UserDataDir + kept, bytes);
        LogEngine().AddWarning(std::string("TMainForm ") + fileName + " is damaged (" + damage +
                               "); the game starts without it, and it is kept as " + kept);
    } catch (const EInOutError& e) {
        LogEngine().AddError(std::string("TMainForm ") + fileName + " is damaged (" + damage +
                             "); the game starts without it, and it could not be kept as " + kept +
                             ": " + e.Message());
    }
}

void TMainForm::SaveStore(const tAssArray& store, const char* fileName) {
    try {
        store.SaveToFile(UserDataDir + fileName);
    } catch (const EInOutError& e) {
        // The old file stays whole; the game goes on with the store in memory, and the next
        // change saves it all again.
        LogEngine().AddError(std::string("TMainForm ") + fileName + " not saved: " + e.Message());
    }
}

void TMainForm::SaveGameParams() {
    GameParamsChanged = true;
    SaveStore(GameParams, kGameParamsFile);
}

void TMainForm::SaveProfile() {
    ProfileChanged = true;
    SaveStore(Profile, kProfileFile);
}

void TMainForm::FollowUserDataDir() {
    struct Store {
        tAssArray& Items;
        const char* FileName;
        bool Changed;
    };
    for (const Store& s : {Store{GameParams, kGameParamsFile, GameParamsChanged},
                           Store{Profile, kProfileFile, ProfileChanged}}) {
        if (s.Changed) {
            // Reading the new folder now would throw away what the script has set.
            LogEngine().AddWarning(std::string("TMainForm.LoadLuas ") + s.FileName +
                                   " not read from " + UserDataDir +
                                   ": the script has changed it already; its values stay and "
                                   "are saved there");
            continue;
        }
        LoadStore(s.Items, s.FileName);
        LogEngine().AddHint(std::string("TMainForm.LoadLuas ") + s.FileName + " read from " +
                            UserDataDir + " (" + std::to_string(s.Items.Count()) + " pairs)");
    }
}

int TMainForm::GetParamsFromCode(lua_State* L) {
    const int n = GameParams.Count();
    // A C function is only promised 20 free stack slots; a large store needs more.
    if (!lua_checkstack(L, 2 * n + 1))
        throw ERangeError("TMainForm.GetParamsFromCode: " + std::to_string(n) +
                          " game parameters do not fit on the script's stack");
    lua_pushinteger(L, n);
    for (const TAssPair& p : GameParams.Items) {
        lua_pushlstring(L, p.Key.data(), p.Key.size());
        lua_pushlstring(L, p.Value.data(), p.Value.size());
    }
    return 2 * n + 1;
}

int TMainForm::SetParamsToCode(lua_State* L) {
    const std::string text = ArgString(L, 1);
    LogEngine().AddHint("TMainForm.A_SetParamsToCode " + text);
    const std::string lower = LowerCaseAscii(text);

    std::string value = FindSettingValue("detalizationmode", lower);
    if (!value.empty()) {
        int32_t level = StrToInt(value);
        if (TLogFile* file = LogEngine().DefaultLogFile) file->DetalizationMode = uint8_t(level);
    }
    value = FindSettingValue("fullscreen", lower);
    if (!value.empty()) {
        const bool full = value == "true";
        IsFullScreen = full ? 1 : 0;
        if (App) App->SetWindowed(!full);
    }
    value = FindSettingValue("customcursor", lower);
    if (!value.empty()) {
        LogEngine().AddHint("TMainForm.A_SetParamsToCode CustomCursor=" + BoolToText(CustomCursor));
        const bool custom = value == "true";
        if (custom != CustomCursor) {
            CustomCursor = custom;
            if (App) App->ShowSystemCursor(!custom);
        }
    }

    FillFromSettings(GameParams, text);
    SaveGameParams();
    return 0;
}

int TMainForm::GetProfileFromCode(lua_State* L) {
    std::string text;
    for (const TAssPair& p : Profile.Items) text += p.Key + "!" + p.Value + "!";
    lua_pushlstring(L, text.data(), text.size());
    return 1;
}

int TMainForm::SetProfileToCode(lua_State* L) {
    const std::string text = ArgString(L, 1);
    LogEngine().AddHint("TMainForm.A_SetProfileToCode " + text);
    FillFromSettings(Profile, text);
    SaveProfile();
    return 0;
}

int TMainForm::SetProfileParam(lua_State* L) {
    const std::string text = ArgString(L, 1);
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return 0;
    const std::string key = text.substr(0, eq), value = text.substr(eq + 1);
    const int i = Profile.IndexOf(key);
    if (i >= 0)
        Profile.SetValueAt(i, value);
    else
        Profile.Add(key, value);
    SaveProfile();
    return 0;
}

int TMainForm::GroupBegin(lua_State* L) {
    const std::string name = ArgString(L, 1);
    GroupTransform.OffsetX = ArgOr(L, 2, ArgNumber, 0.0);
    GroupTransform.OffsetY = ArgOr(L, 3, ArgNumber, 0.0);
    GroupTransform.ScaleX = ArgOr(L, 4, ArgNumber, 1.0);
    GroupTransform.ScaleY = ArgOr(L, 5, ArgNumber, 1.0);
    Alpha = ArgOr(L, 6, ArgNumber, 1.0);
    CurrentGroup = int32_t(Groups.Open({name, GroupTransform, Alpha}));
    return 0;
}

int TMainForm::GroupEnd(lua_State* L) {
    if (CurrentGroup == -1) return 0;
    const std::string name = ArgString(L, 1);
    Groups.Close(name);
    static const tGroup none;  // no group open: drawing is untransformed and opaque
    const tGroup& top = Groups.empty() ? none : Groups.back();
    CurrentGroup = int32_t(Groups.size()) - 1;
    GroupTransform = top.Transform;
    Alpha = top.Alpha;
    return 0;
}

int TMainForm::SetFormCaption(lua_State* L) {
    Caption = ArgString(L, 1);
    return 0;
}

int TMainForm::WSurvey_BOk(lua_State*) {
    if (FileExists(kLinkFile)) OpenUrl(std::string(kLinkFile));
    Halt(0);
}

void TMainForm::OpenUrl(const std::string& target) {
    TLinkResult r = OpenLinkFile(target);
    if (r.Opened) {
        LogEngine().AddHint("TMainForm.OpenUrl " + target + " " + r.Url);
        return;
    }
    std::string text = "TMainForm.OpenUrl " + target + " not opened: " + r.Reason;
    if (!r.Url.empty()) text += " (" + r.Url + ")";
    LogEngine().AddWarning(text);
}

void TMainForm::SaveGameBeforeGame() {
    if (!ScriptEngine) return;
    std::string message;
    if (ScriptEngine->CallScript(
            "G_EndGame", [](lua_State*) { return 0; }, message) != 0)
        ScriptEngine->WriteErrorLines(message);
}

void TMainForm::WOptions_OK_MouseUp_fromCode() {
    static constexpr char kName[] = "WOptions_OK_MouseUp_fromCode";
    if (!ScriptEngine) return;
    lua_State* L = ScriptEngine->State;
    // Still the host's own global? Then the script has no options handler of its own.
    lua_getglobal(L, kName);
    bool own = false;
    if (lua_tocfunction(L, -1) == &TLua::DispatchHostCall && lua_getupvalue(L, -1, 1)) {
        auto* cb = static_cast<const TCallback*>(lua_topointer(L, -1));
        own = cb && cb->Target == this && cb->Method && std::strcmp(cb->Method->Name, kName) == 0;
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    if (own) {
        LogEngine().AddHint(std::string("TMainForm.WOptions_OK_MouseUp_fromCode: the script "
                                        "defines no ") +
                            kName + ", nothing to call");
        return;
    }
    std::string message;
    if (ScriptEngine->CallScript(
            kName, [](lua_State*) { return 0; }, message) != 0)
        ScriptEngine->WriteErrorLines(message);
}

}  // namespace hv
