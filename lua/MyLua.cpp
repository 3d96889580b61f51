#include "lua/MyLua.h"
#include "platform/text.h"

#include <algorithm>
#include <optional>

#include "log/KavLogEngine.h"
#include "platform/convert.h"

namespace hv {

HV_PUBLISHED_METHODS(TMyLua, TLua, HV_PUBLISH_INERT(TMyLua, Start),
                     HV_PUBLISH_INERT(TMyLua, StartEngine), HV_PUBLISH_INERT(TMyLua, Update),
                     HV_PUBLISH_INERT(TMyLua, MouseMove), HV_PUBLISH_INERT(TMyLua, SendMouseDown),
                     HV_PUBLISH_INERT(TMyLua, SendMouseUp), HV_PUBLISH_INERT(TMyLua, SendKeyDown),
                     HV_PUBLISH_INERT(TMyLua, SendKeyUp), HV_PUBLISH_INERT(TMyLua, SendKeyPress),
                     HV_PUBLISH_INERT(TMyLua, WriteErrorLines), HV_PUBLISH_INERT(TMyLua, Loading))

namespace {

// The line number after a "]:" of the message: the text up to the next ":" read as an integer.
// The first "]:" that is followed by a number counts; a chunk name quoting script text that itself
// contains "]:" is skipped over that way.
std::optional<int64_t> FailingLine(const std::string& message) {
    for (size_t p = message.find("]:"); p != std::string::npos; p = message.find("]:", p + 1)) {
        std::string rest = message.substr(p + 2);
        rest = rest.substr(0, rest.find(':'));
        int32_t n = 0;
        if (TryStrToInt(rest, n)) return n;
    }
    return std::nullopt;
}

}  // namespace

int64_t ErrorLineOfMessage(const std::string& message) {
    return FailingLine(message).value_or(0);
}

TMyLua::TMyLua(bool autoRegister) : TLua(autoRegister) {
    if (AutoRegister) RegisterPublishedMethods(this);
}

TMyLua::~TMyLua() {
    ScriptLines.clear();
}

void TMyLua::Start(const std::vector<std::string>& script) {
    ScriptLines = script;
    std::string text;
    for (const std::string& line : script) {
        text += line;
        text += "\r\n";
    }
    const int top = lua_gettop(State);
    const int status = RunString(text);
    const char* error = status != 0 ? lua_tostring(State, -1) : nullptr;
    const std::string message = error ? error : "";
    lua_settop(State, top);
    if (status != 0) WriteErrorLines(message);
}

template <typename PushArgs>
void TMyLua::CallEntry(const char* name, PushArgs&& pushArgs, bool ignoreErrors) {
    std::string message;
    const int status = CallScript(name, std::forward<PushArgs>(pushArgs), message);
    if (status != 0 && !ignoreErrors) WriteErrorLines(message);
}

void TMyLua::StartEngine(int32_t elapsed, const std::string& effects, const std::string& startName,
                         bool fullScreen) {
    CallEntry("A_Init", [&](lua_State* L) {
        lua_pushinteger(L, elapsed);
        lua_pushinteger(L, 0);
        lua_pushinteger(L, 1);
        lua_pushinteger(L, 1);
        lua_pushstring(L, effects.c_str());
        lua_pushstring(L, startName.c_str());
        lua_pushboolean(L, fullScreen);
        return 7;
    });
    EngineStarted = true;
}

void TMyLua::Loading(int32_t elapsed, int32_t progress) {
    CallEntry("A_Loading", [&](lua_State* L) {
        lua_pushinteger(L, elapsed);
        lua_pushinteger(L, progress);
        return 2;
    });
}

void TMyLua::Update(int32_t elapsed) {
    CallEntry("A_Update", [&](lua_State* L) {
        lua_pushinteger(L, elapsed);
        return 1;
    });
}

void TMyLua::MouseMove(int32_t oldX, int32_t oldY, int32_t x, int32_t y, int32_t e1, int32_t e2,
                       int32_t e3, int32_t e4) {
    CallEntry("A_MouseMove", [&](lua_State* L) {
        lua_pushinteger(L, oldX);
        lua_pushinteger(L, oldY);
        lua_pushinteger(L, x);
        lua_pushinteger(L, y);
        if (e1 == 0 && e2 == 0 && e3 == 0 && e4 == 0) return 4;
        lua_pushinteger(L, e1);
        lua_pushinteger(L, e2);
        lua_pushinteger(L, e3);
        lua_pushinteger(L, e4);
        return 8;
    });
}

void TMyLua::SendMouseButton(const char* name, int32_t x, int32_t y, int32_t e1, int32_t e2) {
    CallEntry(name, [&](lua_State* L) {
        lua_pushinteger(L, x);
        lua_pushinteger(L, y);
        if (e1 == 0 || e2 == 0) return 2;
        lua_pushinteger(L, e1);
        lua_pushinteger(L, e2);
        return 4;
    });
}

void TMyLua::SendMouseDown(int32_t x, int32_t y, int32_t e1, int32_t e2) {
    SendMouseButton("A_MouseDown", x, y, e1, e2);
}

void TMyLua::SendMouseUp(int32_t x, int32_t y, int32_t e1, int32_t e2) {
    SendMouseButton("A_MouseUp", x, y, e1, e2);
}

void TMyLua::SendKeyDown(int32_t key, int32_t code) {
    CallEntry(
        "A_KeyDown",
        [&](lua_State* L) {
            lua_pushinteger(L, uint16_t(key));
            lua_pushinteger(L, uint16_t(code));
            return 2;
        },
        /*ignoreErrors=*/true);
}

void TMyLua::SendKeyUp(int32_t key) {
    CallEntry("A_KeyUp", [&](lua_State* L) {
        lua_pushinteger(L, uint16_t(key));
        return 1;
    });
}

void TMyLua::SendKeyPress(char32_t ch) {
    const std::string text = EncodeUtf8(ch);
    CallEntry("A_KeyPress", [&](lua_State* L) {
        lua_pushstring(L, text.c_str());
        return 1;
    });
}

void TMyLua::WriteErrorLines(const std::string& message) {
    LogEngine().AddError(message);
    std::string report = "\r\n" + message;
    if (const std::optional<int64_t> line = FailingLine(message)) {
        const int64_t n = *line;
        const int64_t count = int64_t(ScriptLines.size());
        for (int64_t i = std::max<int64_t>(n - 3, 0); i <= n + 2; ++i) {
            if (i >= count) break;
            const std::string number = IntToStr(i + 1);
            const std::string excerpt = std::string(6 - std::min<size_t>(number.size(), 6), ' ') +
                                        "[" + number + "]: " + ScriptLines[size_t(i)];
            LogEngine().AddMessage(excerpt);
            report += "\r\n" + excerpt;
        }
    }
    throw EScriptReport(report);
}

}  // namespace hv
