#include "lua/LuaLib.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "lua/Lua.h"
#include "platform/exceptions.h"
#include "tests/lua/lua_test_support.h"

namespace hv {
namespace {

using testing::WithLuaLibrary;

int BoundEntryPoints() {
    int n = 0;
    for (const auto& e : LuaEntryPoints()) n += e.Address() != nullptr;
    return n;
}

class LuaLibBinding : public WithLuaLibrary {};

TEST_P(LuaLibBinding, BindsEveryEntryPointAndRebindingStartsAfresh) {
    const intptr_t handle = BindLuaLibrary(GetParam());
    ASSERT_GT(handle, 0);
    EXPECT_TRUE(IsLuaLibraryBound());
    EXPECT_TRUE(IsLuaLibraryComplete());
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetLuaLibraryHandle()), handle);
    EXPECT_EQ(GetLuaLibraryName(), GetParam());
    ASSERT_EQ(LuaEntryPoints().size(), 121u);
    EXPECT_STREQ(LuaEntryPoints().front().Name, "lua_newstate");
    EXPECT_STREQ(LuaEntryPoints()[56].Name, "lua_pcall");
    EXPECT_STREQ(LuaEntryPoints().back().Name, "luaL_pushresult");
    EXPECT_EQ(BoundEntryPoints(), 121);

    // An empty name binds the current name again.
    ASSERT_GT(BindLuaLibrary(""), 0);
    EXPECT_EQ(GetLuaLibraryName(), GetParam());
    EXPECT_EQ(BoundEntryPoints(), 121);

    // A failed binding leaves nothing behind from the earlier one.
    EXPECT_EQ(BindLuaLibrary("libhv-surely-no-such-lua.so.7"), kLuaLibraryNotLoadable);
    EXPECT_FALSE(IsLuaLibraryBound());
    EXPECT_EQ(BoundEntryPoints(), 0);
    EXPECT_NE(GetLuaLibraryLoadError(), "");

    ASSERT_GT(BindLuaLibrary(GetParam()), 0);
    ResetLuaEntryPoints();
    EXPECT_FALSE(IsLuaLibraryBound());
    EXPECT_EQ(GetLuaLibraryHandle(), nullptr);
    EXPECT_EQ(BoundEntryPoints(), 0);
}

TEST_P(LuaLibBinding, HelpersWorkOnTheBoundLibrary) {
    lua_State* L = luaL_newstate();
    ASSERT_NE(L, nullptr);
    luaL_openlibs(L);
    EXPECT_EQ(lua_upvalueindex(1), -10003);
    EXPECT_EQ(lua_upvalueindex(3), -10005);

    EXPECT_EQ(luaL_dostring(L, "answer = 6 * 7 return 'a', 2"), 0);
    EXPECT_EQ(lua_gettop(L), 2);  // every result is kept
    EXPECT_STREQ(lua_tostring(L, 1), "a");
    EXPECT_STREQ(lua_tostring(L, 2), "2");  // numbers read as text
    lua_settop(L, 0);
    lua_getglobal(L, "answer");
    EXPECT_EQ(lua_tointeger(L, -1), 42);
    lua_newtable(L);
    EXPECT_EQ(lua_tostring(L, -1), nullptr);
    lua_settop(L, 0);

    EXPECT_EQ(luaL_dostring(L, "x ="), LUA_ERRSYNTAX);
    EXPECT_NE(std::string(lua_tostring(L, -1)).find("]:1:"), std::string::npos);
    lua_settop(L, 0);
    EXPECT_EQ(luaL_dostring(L, "error('stop')"), LUA_ERRRUN);
    lua_settop(L, 0);

    const std::string file = ::testing::TempDir() + "lualib_helpers-" + std::to_string(::getpid()) + ".lua";
    std::ofstream(file) << "fromFile = (fromFile or 0) + 1\n";
    EXPECT_EQ(luaL_dofile(L, file.c_str()), 0);
    lua_getglobal(L, "fromFile");
    EXPECT_EQ(lua_tointeger(L, -1), 1);
    lua_settop(L, 0);
    EXPECT_NE(luaL_dofile(L, (file + ".missing").c_str()), 0);  // load result passed on
    lua_close(L);
    std::remove(file.c_str());
}

HV_FOR_EACH_LUA_LIBRARY(LuaLibBinding);

TEST(LuaLib, MissingAndUnloadableFiles) {
    const std::string before = GetLuaLibraryName();
    // A name with a folder must name an existing file.
    EXPECT_EQ(BindLuaLibrary("/nonexistent/folder/liblua5.1.so.0"), kLuaLibraryFileMissing);
    EXPECT_EQ(GetLuaLibraryName(), "/nonexistent/folder/liblua5.1.so.0");
    EXPECT_FALSE(IsLuaLibraryBound());
    EXPECT_EQ(BindLuaLibrary("some\\folder\\liblua.so"), kLuaLibraryFileMissing);

    // An existing file that is not a library.
    const std::string notALibrary = ::testing::TempDir() + "not_a_library-" + std::to_string(::getpid()) + ".so";
    std::ofstream(notALibrary) << "plain text";
    EXPECT_EQ(BindLuaLibrary(notALibrary), kLuaLibraryNotLoadable);
    EXPECT_FALSE(IsLuaLibraryBound());
    std::remove(notALibrary.c_str());

    SetLuaLibraryName(before);
    EXPECT_EQ(GetLuaLibraryName(), before);
}

TEST(LuaLib, LibraryWithoutTheLastEntryPointIsRefusedAfterTheOthersAreBound) {
    try {
        BindLuaLibrary(HV_PARTIAL_LUA_LIBRARY);
        FAIL() << "binding an incomplete library succeeded";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.ClassName(), "Exception");
        EXPECT_EQ(e.Message(), "Cannot load method 'luaL_pushresult' from dynamic library.");
    }
    // The library stays loaded with the first 120 entry points bound.
    EXPECT_TRUE(IsLuaLibraryBound());
    EXPECT_FALSE(IsLuaLibraryComplete());
    EXPECT_EQ(BoundEntryPoints(), 120);
    EXPECT_EQ(LuaEntryPoints().back().Address(), nullptr);
    EXPECT_NE(LuaEntryPoints()[119].Address(), nullptr);

    // A host object never calls into such a binding: it binds again and reports the same gap.
    EXPECT_THROW(TLua(false), Exception);
    ResetLuaEntryPoints();
    EXPECT_EQ(BoundEntryPoints(), 0);
}

// The environment chooses the library when nothing else named one (a fresh process).
TEST(LuaLibDeathTest, EnvironmentNamesTheDefaultLibrary) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("HALVARDINE_LUA_LIBRARY", "libluajit-5.1.so.2", 1);
            if (GetLuaLibraryName() != "libluajit-5.1.so.2") std::exit(2);
            TLua lua(false);
            lua_getglobal(lua.State, "jit");  // only LuaJIT has it
            std::exit(lua_istable(lua.State, -1) ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(LuaLibDeathTest, MissingLibraryStopsTheHostWithAClearMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ResetLuaEntryPoints();
            SetLuaLibraryName("libhv-surely-no-such-lua.so.7");
            TLua lua(false);
            std::exit(0);
        },
        ::testing::ExitedWithCode(1),
        "\"libhv-surely-no-such-lua.so.7\" cannot be loaded.*liblua5.1-0.*HALVARDINE_LUA_LIBRARY");
    EXPECT_EXIT(
        {
            ResetLuaEntryPoints();
            SetLuaLibraryName("/nonexistent/libluajit-5.1.so.2");
            TLua lua(false);
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "does not exist.*libluajit-5.1-2");
}

}  // namespace
}  // namespace hv
