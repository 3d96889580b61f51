// Shared by the scripting tests: every test that runs script code runs once per interpreter
// library the host can bind (Lua 5.1 and LuaJIT).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "lua/LuaLib.h"

namespace hv::testing {

// Binds the library named by the test parameter before each test.
class WithLuaLibrary : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override;
};

// "Lua51" or "LuaJIT", for the test names.
std::string LibraryLabel(const ::testing::TestParamInfo<std::string>& info);

#define HV_FOR_EACH_LUA_LIBRARY(Suite)                                                  \
    INSTANTIATE_TEST_SUITE_P(Libraries, Suite,                                          \
                             ::testing::Values("liblua5.1.so.0", "libluajit-5.1.so.2"), \
                             ::hv::testing::LibraryLabel)

// Values on the stack after running `code` (text of each, or the type name for other values),
// joined by ",". The stack is emptied.
std::string RunAndCollect(lua_State* L, const std::string& code);

}  // namespace hv::testing
