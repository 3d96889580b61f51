#include "lua/ScriptWatchdog.h"

#include "log/KavLogEngine.h"

namespace hv {
namespace {

// Registry key of the watchdog of a state (a light userdata of this variable's address).
char registryKey;

// Levels written at the top and the bottom of a deep stack; the rest is summarised.
constexpr int kLevelsShown = 12;

// The name of the global variable that holds the function on the top of the stack (pops it), or
// "" when none does: the host calls the script's functions by their global names, so the
// outermost level has no name of its own.
std::string GlobalNameOfFunction(lua_State* L) {
    std::string name;
    lua_pushnil(L);
    while (lua_next(L, LUA_GLOBALSINDEX) != 0) {
        if (lua_type(L, -2) == LUA_TSTRING && lua_rawequal(L, -1, -3)) {
            name = lua_tostring(L, -2);
            lua_pop(L, 2);
            break;
        }
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    return name;
}

void AppendLevel(std::string& text, lua_State* L, lua_Debug& ar) {
    lua_getinfo(L, "Slnf", &ar);
    const std::string global = *ar.namewhat == '\0' ? GlobalNameOfFunction(L) : "";
    if (*ar.namewhat != '\0') lua_pop(L, 1);
    text += "\n\t";
    text += ar.short_src;
    text += ':';
    if (ar.currentline > 0) text += std::to_string(ar.currentline) + ':';
    if (*ar.namewhat != '\0') {
        text += std::string(" in function '") + ar.name + "'";
    } else if (!global.empty()) {
        text += " in function '" + global + "'";
    } else if (*ar.what == 'm') {
        text += " in main chunk";
    } else if (*ar.what == 'C') {
        text += " in a host function";
    } else {
        text += " in function <" + std::string(ar.short_src) + ":" +
                std::to_string(ar.linedefined) + ">";
    }
}

}  // namespace

TScriptWatchdog::TScriptWatchdog(lua_State* L, int lateAfterMs) : L_(L), lateAfter_(lateAfterMs) {
    lua_pushlightuserdata(L, &registryKey);
    lua_pushlightuserdata(L, this);
    lua_rawset(L, LUA_REGISTRYINDEX);
    thread_ = std::thread([this] { Watch(); });
}

TScriptWatchdog::~TScriptWatchdog() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (lua_gethook(L_) == &Hook) lua_sethook(L_, nullptr, 0, 0);
}

TScriptWatchdog::TCall::TCall(TScriptWatchdog& dog) : dog_(dog) {
    std::lock_guard lock(dog_.mutex_);
    if (dog_.depth_++ > 0) return;
    ++dog_.call_;
    dog_.started_ = std::chrono::steady_clock::now();
    dog_.wake_.notify_one();
}

TScriptWatchdog::TCall::~TCall() {
    std::lock_guard lock(dog_.mutex_);
    --dog_.depth_;
}

void TScriptWatchdog::Watch() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (depth_ == 0 || reported_ == call_) {
            // Nothing to watch until the next call begins.
            const uint64_t seen = call_;
            wake_.wait(lock, [&] { return stopping_ || (depth_ > 0 && call_ != seen); });
            continue;
        }
        const uint64_t watched = call_;
        const auto due = started_ + lateAfter_;
        wake_.wait_until(lock, due, [&] { return stopping_ || call_ != watched || depth_ == 0; });
        if (stopping_ || call_ != watched || depth_ == 0) continue;
        if (std::chrono::steady_clock::now() < due) continue;
        reported_ = watched;
        // The script's own hook (debug.sethook) is left alone.
        if (!lua_gethook(L_)) lua_sethook(L_, &Hook, LUA_MASKCOUNT, 1);
    }
}

void TScriptWatchdog::Hook(lua_State* L, lua_Debug*) {
    lua_sethook(L, nullptr, 0, 0);
    lua_pushlightuserdata(L, &registryKey);
    lua_rawget(L, LUA_REGISTRYINDEX);
    auto* dog = static_cast<TScriptWatchdog*>(lua_touserdata(L, -1));
    lua_pop(L, 1);
    if (!dog) return;
    uint64_t elapsedMs;
    {
        std::lock_guard lock(dog->mutex_);
        // The late call may have ended between the watch's decision and this hook.
        if (dog->depth_ == 0 || dog->reported_ != dog->call_) return;
        elapsedMs = uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - dog->started_)
                                 .count());
    }
    LogEngine().AddWarning(LateCallReport(L, elapsedMs));
}

std::string TScriptWatchdog::LateCallReport(lua_State* L, uint64_t elapsedMs) {
    std::string text = "TLua: a call into the script has not returned for " +
                       std::to_string(elapsedMs / 1000) +
                       " s; the game waits for it\nstack traceback:";
    lua_Debug ar;
    int levels = 0;
    while (lua_getstack(L, levels, &ar)) ++levels;
    for (int level = 0; level < levels; ++level) {
        if (levels > 2 * kLevelsShown && level == kLevelsShown) {
            text += "\n\t...";
            level = levels - kLevelsShown;
        }
        lua_getstack(L, level, &ar);
        AppendLevel(text, L, ar);
    }
    return text;
}

}  // namespace hv
