// Running script text in tests of the host's script functions.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "lua/Lua.h"

namespace hv::test {

// Runs script text; the test fails on a script error. The stack is left empty.
inline void RunScript(TLua& lua, const std::string& code) {
    ASSERT_EQ(lua.RunString(code), 0) << lua_tostring(lua.State, -1);
    lua_settop(lua.State, 0);
}

// The value of a script expression as text ("<none>" when it has none).
inline std::string EvalScript(TLua& lua, const std::string& expression) {
    EXPECT_EQ(lua.RunString("return tostring(" + expression + ")"), 0);
    const char* s = lua_tostring(lua.State, -1);
    std::string value = s ? s : "<none>";
    lua_settop(lua.State, 0);
    return value;
}

}  // namespace hv::test
