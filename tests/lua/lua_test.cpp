#include "lua/Lua.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/exceptions.h"
#include "tests/lua/lua_test_support.h"

namespace hv {
namespace {

using testing::RunAndCollect;

// A host class in the shape of the main form: script methods that follow the convention, and a
// method with other arguments that is published but not for the script.
class TShapes : public TObject {
    HV_PUBLISHED_CLASS(TShapes)

public:
    int calls = 0;
    int Area(lua_State* L) {  // Area(w, h) -> w * h
        ++calls;
        lua_pushnumber(L, ArgNumber(L, 1) * ArgNumber(L, 2));
        return 1;
    }
    int Describe(lua_State* L) {  // every reader on positions 1..4, results in order
        ++calls;
        lua_pushstring(L, ArgString(L, 1).c_str());
        lua_pushnumber(L, ArgNumber(L, 2));
        lua_pushinteger(L, ArgInteger(L, 3));
        lua_pushboolean(L, ArgBoolean(L, 4));
        lua_pushinteger(L, ArgRounded(L, 2));
        return 5;
    }
    int Fail(lua_State*) { throw EInOutError("Cannot write file \"x.txt\""); }
    int Nothing(lua_State*) { return 0; }
    int Strict(lua_State* L) { return luaL_error(L, "strict: %s", "bad argument"); }
    void Paint(int) { ++calls; }
};

HV_PUBLISHED_METHODS(TShapes, TObject, HV_PUBLISH(TShapes, Area), HV_PUBLISH(TShapes, Describe),
                     HV_PUBLISH(TShapes, Fail), HV_PUBLISH(TShapes, Nothing),
                     HV_PUBLISH(TShapes, Strict), HV_PUBLISH_INERT(TShapes, Paint))

// Inherits its base's table and adds one method of its own.
class TRoundShapes : public TShapes {
    HV_PUBLISHED_CLASS(TRoundShapes)

public:
    int Circle(lua_State* L) {
        lua_pushnumber(L, 3 * ArgNumber(L, 1) * ArgNumber(L, 1));
        return 1;
    }
};

HV_PUBLISHED_METHODS(TRoundShapes, TShapes, HV_PUBLISH(TRoundShapes, Circle))

class TPlain : public TRoundShapes {
    HV_PUBLISHED_CLASS(TPlain)
};

HV_NO_PUBLISHED_METHODS(TPlain, TRoundShapes)

TEST(PublishedMethods, OwnRowsInOrderAndLookupThroughBaseClasses) {
    const TClassInfo& info = TRoundShapes::StaticClassInfo();
    ASSERT_EQ(info.Methods.size(), 1u);
    EXPECT_STREQ(info.Methods[0].Name, "Circle");
    const TClassInfo& base = TShapes::StaticClassInfo();
    ASSERT_EQ(base.Methods.size(), 6u);
    EXPECT_STREQ(base.Methods[0].Name, "Area");
    EXPECT_STREQ(base.Methods[5].Name, "Paint");
    EXPECT_FALSE(base.Methods[5].ForScript);

    TPlain plain;
    EXPECT_EQ(&plain.ClassInfo(), &TPlain::StaticClassInfo());
    EXPECT_TRUE(plain.ClassInfo().Methods.empty());
    EXPECT_EQ(plain.ClassInfo().FindMethod("Circle"), &info.Methods[0]);
    EXPECT_EQ(plain.ClassInfo().FindMethod("Area"), &base.Methods[0]);
    EXPECT_EQ(plain.ClassInfo().FindMethod("area"), nullptr);  // names are compared exactly
    EXPECT_EQ(plain.ClassInfo().FindMethod(""), nullptr);
    EXPECT_EQ(base.FindMethod("Circle"), nullptr);  // never searched downwards
}

TEST(PublishedMethods, NamesAreCutAt255CharactersBeforeTheLookup) {
    static const std::string longName(255, 'm');
    static const TPublishedMethod rows[] = {{longName.c_str(), nullptr, true}};
    const TClassInfo info{"TLong", &TObject::StaticClassInfo(), rows};
    EXPECT_EQ(info.FindMethod(longName + "suffix"), &rows[0]);
    EXPECT_EQ(info.FindMethod(longName), &rows[0]);
    EXPECT_EQ(info.FindMethod(longName.substr(1)), nullptr);
}

class LuaHost : public testing::WithLuaLibrary {};

TEST_P(LuaHost, RegisteredMethodsAreGlobalsThatReachTheirTargets) {
    TLua lua(false);
    const int top = lua_gettop(lua.State);  // what opening the libraries left
    EXPECT_FALSE(lua.AutoRegister);
    EXPECT_TRUE(lua.Callbacks.empty());
    TRoundShapes shapes;

    lua.RegisterPublishedMethods(&shapes);  // the class's own rows only
    ASSERT_EQ(lua.Callbacks.size(), 1u);
    EXPECT_EQ(lua.Callbacks[0]->Target, &shapes);
    EXPECT_STREQ(lua.Callbacks[0]->Method->Name, "Circle");
    EXPECT_EQ(RunAndCollect(lua.State, "return Circle(2), type(Area)"), "12,nil");

    lua.RegisterMethod("Area", "", &shapes);  // found in the base class
    lua.RegisterMethod("Surface", "Area", &shapes);
    EXPECT_EQ(RunAndCollect(lua.State, "return Area(3, 4), Surface(2, 2.5)"), "12,5");
    EXPECT_EQ(shapes.calls, 2);

    // A name with no method is registered all the same and does nothing.
    lua.RegisterMethod("Missing", "NoSuchMethod", &shapes);
    ASSERT_EQ(lua.Callbacks.size(), 4u);
    EXPECT_EQ(lua.Callbacks[3]->Method, nullptr);
    EXPECT_EQ(RunAndCollect(lua.State, "return type(Missing), select('#', Missing(1, 2))"),
              "function,0");
    // An inert row is called without effect and without results.
    lua.RegisterMethod("Paint", "", &shapes);
    EXPECT_EQ(RunAndCollect(lua.State, "return select('#', Paint(5))"), "0");
    EXPECT_EQ(shapes.calls, 2);

    // Registering a name again replaces the global; the older callback stays listed.
    lua.RegisterMethod("Area", "Circle", &shapes);
    EXPECT_EQ(lua.Callbacks.size(), 6u);
    EXPECT_EQ(RunAndCollect(lua.State, "return Area(1)"), "3");
    // A script that redefines a registered name loses the host function.
    EXPECT_EQ(RunAndCollect(lua.State, "Surface = nil return type(Surface)"), "nil");
    EXPECT_EQ(lua_gettop(lua.State), top);
}

TEST_P(LuaHost, ArgumentsAreReadByPositionWithoutErrors) {
    TLua lua(false);
    TShapes shapes;
    lua.RegisterMethod("Describe", "", &shapes);
    // Missing arguments.
    EXPECT_EQ(RunAndCollect(lua.State, "return Describe()"), ",0,0,false,0");
    // Wrong types: tables and functions read as empty text and 0, nil as false.
    EXPECT_EQ(RunAndCollect(lua.State, "return Describe({}, print, {}, nil)"), ",0,0,false,0");
    // Numbers as text, numeric text as numbers; any value but nil and false is true.
    EXPECT_EQ(RunAndCollect(lua.State, "return Describe(12, '2.5', '7', 0)"), "12,2.5,7,true,2");
    EXPECT_EQ(RunAndCollect(lua.State, "return Describe('x', 3.5, 9.75, 'no')"), "x,3.5,10,true,4");
    EXPECT_EQ(RunAndCollect(lua.State, "return Describe('', -2.5, -1, false)"),
              ",-2.5,-1,false,-2");
    EXPECT_EQ(RunAndCollect(lua.State, "return select(5, Describe('', 1e300))"), "2147483647");
    EXPECT_EQ(RunAndCollect(lua.State, "return select(5, Describe('', -1e300))"), "-2147483648");
    EXPECT_EQ(RunAndCollect(lua.State, "return select(5, Describe('', 0/0))"), "0");
    // Integers round like the 32-bit interpreter games were written for, halves to even.
    EXPECT_EQ(RunAndCollect(lua.State, "return (select(3, Describe('', 0, 2.5)))"), "2");
    EXPECT_EQ(RunAndCollect(lua.State, "return (select(3, Describe('', 0, -3.5)))"), "-4");
    EXPECT_EQ(RunAndCollect(lua.State, "return (select(3, Describe('', 0, 3e9)))"), "-2147483648");
}

TEST_P(LuaHost, UnregisteredTargetsLeaveHarmlessGlobals) {
    TLua lua(false);
    auto shapes = std::make_unique<TShapes>();
    TRoundShapes other;
    lua.RegisterMethod("Area", "", shapes.get());
    lua.RegisterMethod("Circle", "", &other);
    lua.RegisterMethod("Describe", "", shapes.get());
    lua.UnregisterTarget(shapes.get());
    ASSERT_EQ(lua.Callbacks.size(), 1u);
    EXPECT_EQ(lua.Callbacks[0]->Target, &other);
    shapes.reset();  // the target is gone; its globals remain
    EXPECT_EQ(RunAndCollect(lua.State, "return select('#', Area(1, 2)), Circle(1)"), "0,3");
    lua.UnregisterTarget(&other);
    EXPECT_TRUE(lua.Callbacks.empty());

    // LuaJIT's debug library can replace a host function's record with any value; the function
    // then does nothing. (Lua 5.1's refuses to touch a C function.)
    TShapes live;
    lua.RegisterMethod("Area", "", &live);
    const bool replaced = GetParam().find("luajit") != std::string::npos;
    EXPECT_EQ(RunAndCollect(lua.State,
                            "debug.setupvalue(Area, 1, {}) local a = select('#', Area(2, 3))\n"
                            "debug.setupvalue(Area, 1, 'text') return a, select('#', Area(2, 3))"),
              replaced ? "0,0" : "1,1");
    EXPECT_EQ(live.calls, replaced ? 0 : 2);
}

// A host object that publishes its own methods and registers them itself.
class TSelfRegistering : public TLua {
    HV_PUBLISHED_CLASS(TSelfRegistering)

public:
    explicit TSelfRegistering(bool autoRegister) : TLua(autoRegister) {
        if (AutoRegister) RegisterPublishedMethods(this);
    }
    int Version(lua_State* L) {
        lua_pushstring(L, "1.0");
        return 1;
    }
};

HV_PUBLISHED_METHODS(TSelfRegistering, TLua, HV_PUBLISH(TSelfRegistering, Version))

TEST_P(LuaHost, AutoRegisterPublishesTheObjectsOwnMethods) {
    TSelfRegistering automatic(true);
    EXPECT_EQ(automatic.Callbacks.size(), 1u);
    EXPECT_EQ(RunAndCollect(automatic.State, "return Version()"), "1.0");
    TSelfRegistering manual(false);
    EXPECT_TRUE(manual.Callbacks.empty());
    EXPECT_EQ(RunAndCollect(manual.State, "return type(Version)"), "nil");
    // Every standard library is open.
    EXPECT_EQ(RunAndCollect(manual.State,
                            "return type(string), type(table), type(io), type(os), type(math), "
                            "type(debug), type(package), type(print)"),
              "table,table,table,table,table,table,table,function");
}

TEST_P(LuaHost, FinalizersRunWhileTheStateClosesReachNoHostFunction) {
    TShapes shapes;
    {
        auto lua = std::make_unique<TLua>(false);
        lua->RegisterPublishedMethods(&shapes);
        ASSERT_EQ(lua->RunString("keep = newproxy(true)\n"
                                 "getmetatable(keep).__gc = function() Area(1, 2) Fail() end"),
                  0);
        lua.reset();
    }
    EXPECT_EQ(shapes.calls, 0);
    // Also when the object registered itself and its own part is already gone.
    auto self = std::make_unique<TSelfRegistering>(true);
    ASSERT_EQ(self->RunString("keep = newproxy(true)\n"
                              "getmetatable(keep).__gc = function() Version() end"),
              0);
    self.reset();
}

TEST_P(LuaHost, RunStringAndRunFileReturnTheStatusWithTheMessageOnTop) {
    TLua lua(false);
    const int top = lua_gettop(lua.State);  // what opening the libraries left
    EXPECT_EQ(lua.RunString("value = 5"), 0);
    EXPECT_EQ(lua_gettop(lua.State), top);
    EXPECT_EQ(lua.RunString("value = "), LUA_ERRSYNTAX);
    ASSERT_EQ(lua_gettop(lua.State), top + 1);
    EXPECT_NE(std::string(lua_tostring(lua.State, -1)).find("]:1:"), std::string::npos);
    lua_settop(lua.State, top);
    EXPECT_EQ(lua.RunString("error('halt here')"), LUA_ERRRUN);
    EXPECT_NE(std::string(lua_tostring(lua.State, -1)).find("halt here"), std::string::npos);
    lua_settop(lua.State, top);

    // Host paths: backslashes and letter case as a Windows game writes them.
    const std::string folder = ::testing::TempDir() + "LuaHostRunFile-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder + "/Data");
    std::ofstream(folder + "/Data/Init.lua") << "value = value + 1\n";
    EXPECT_EQ(lua.RunFile(folder + "\\data\\init.lua"), 0);
    EXPECT_EQ(RunAndCollect(lua.State, "return value"), "6");
    EXPECT_NE(lua.RunFile(folder + "\\data\\missing.lua"), 0);
    lua_settop(lua.State, top);
    std::filesystem::remove_all(folder);
}

TEST_P(LuaHost, HostExceptionsPassThroughTheInterpreterIntact) {
    TLua lua(false);
    const int top = lua_gettop(lua.State);  // what opening the libraries left
    TShapes shapes;
    lua.RegisterPublishedMethods(&shapes);
    try {
        lua.RunString("local a = Area(1, 2)\nFail()\nreached = true");
        FAIL() << "the host exception did not come out";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "Cannot write file \"x.txt\"");
    }
    EXPECT_EQ(lua_gettop(lua.State), top);
    EXPECT_EQ(RunAndCollect(lua.State, "return reached"), "nil");

    // A script that catches the error cannot carry on with the host: further host calls fail at
    // once, and the exception still reaches the caller.
    shapes.calls = 0;
    EXPECT_THROW(lua.RunString("local ok = pcall(Fail)\nArea(1, 1)\nafter = true"), EInOutError);
    EXPECT_EQ(shapes.calls, 0);
    EXPECT_EQ(RunAndCollect(lua.State, "return after"), "nil");

    // A Lua error raised by host code itself stays a script error, with either interpreter's way
    // of raising it.
    EXPECT_EQ(RunAndCollect(lua.State, "return pcall(Strict)"), "false,strict: bad argument");
    EXPECT_EQ(lua.RunString("Strict()"), LUA_ERRRUN);
    lua_settop(lua.State, top);

    // The host object is usable afterwards.
    EXPECT_EQ(RunAndCollect(lua.State, "return Area(2, 3)"), "6");
    std::string message;
    EXPECT_THROW(lua.CallScript(
                     "Fail", [](lua_State*) { return 0; }, message),
                 EInOutError);
    EXPECT_EQ(lua_gettop(lua.State), top);
}

TEST_P(LuaHost, AScriptThatAllocatesWithoutEndGetsNotEnoughMemoryAndTheHostGoesOn) {
    TLua lua(false);
    if (lua.ScriptMemoryLimit() == 0) GTEST_SKIP() << "this interpreter takes no host allocator";
    EXPECT_EQ(lua.ScriptMemoryLimit(), size_t(TLua::kDefaultScriptMemoryLimitMB) << 20);
    const int top = lua_gettop(lua.State);
    lua.SetScriptMemoryLimit(size_t(16) << 20);
    EXPECT_EQ(
        lua.RunString("hoard = {} for i = 1, 1e9 do hoard[i] = string.rep('x', 4096) .. i end"),
        LUA_ERRMEM);
    EXPECT_EQ(std::string(lua_tostring(lua.State, -1)), "not enough memory");
    EXPECT_LE(lua.ScriptMemoryInUse(), size_t(16) << 20);
    lua_settop(lua.State, top);
    // Once the script lets go, the memory is its own again.
    EXPECT_EQ(RunAndCollect(lua.State, "hoard = nil collectgarbage() return #string.rep('y', 1e6)"),
              "1000000");
    EXPECT_LT(lua.ScriptMemoryInUse(), size_t(4) << 20);
}

HV_FOR_EACH_LUA_LIBRARY(LuaHost);

// An error outside any protected call ends the program through the host's own exit path, so the
// log gets its footer. (LuaJIT raises it as an exception that the host's top level catches.)
TEST(LuaHostDeathTest, UnprotectedErrorsEndTheProgramWithAMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            BindLuaLibrary("liblua5.1.so.0");
            TLua lua(false);
            lua.RunString(
                "setmetatable(_G, {__newindex = function() error('no new globals') end})");
            lua.RegisterMethod("Late");
        },
        ::testing::ExitedWithCode(1), "Unprotected error in the Lua interpreter: .*no new globals");
}

}  // namespace
}  // namespace hv
