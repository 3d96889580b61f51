#include "tests/lua/lua_test_support.h"

namespace hv::testing {

void WithLuaLibrary::SetUp() {
    if (GetLuaLibraryName() != GetParam() || !IsLuaLibraryComplete()) {
        ASSERT_GT(BindLuaLibrary(GetParam()), 0) << GetLuaLibraryLoadError();
    }
}

std::string LibraryLabel(const ::testing::TestParamInfo<std::string>& info) {
    return info.param.find("luajit") != std::string::npos ? "LuaJIT" : "Lua51";
}

std::string RunAndCollect(lua_State* L, const std::string& code) {
    const int base = lua_gettop(L);
    if (luaL_dostring(L, code.c_str()) != 0) {
        std::string error = std::string("error: ") + lua_tostring(L, -1);
        lua_settop(L, base);
        return error;
    }
    std::string out;
    for (int i = base + 1; i <= lua_gettop(L); ++i) {
        if (i > base + 1) out += ",";
        if (lua_type(L, i) == LUA_TNUMBER || lua_type(L, i) == LUA_TSTRING) {
            out += lua_tostring(L, i);
        } else if (lua_type(L, i) == LUA_TBOOLEAN) {
            out += lua_toboolean(L, i) ? "true" : "false";
        } else {
            out += lua_typename(L, lua_type(L, i));
        }
    }
    lua_settop(L, base);
    return out;
}

}  // namespace hv::testing
