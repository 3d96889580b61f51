#include "lua/ScriptWatchdog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "log/KavLogEngine.h"
#include "tests/lua/lua_test_support.h"

namespace hv {
namespace {

class ScriptWatchdogTest : public testing::WithLuaLibrary {
protected:
    void SetUp() override {
        WithLuaLibrary::SetUp();
        // One folder per test process: the cases for each Lua library run side by side.
        folder = std::filesystem::path(::testing::TempDir()) /
                 ("ScriptWatchdogTest-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        log = LogEngine().AddLogFile((folder / "watch.log").string());
        LogEngine().DefaultLogFile = log;
        L = luaL_newstate();
        luaL_openlibs(L);
    }
    void TearDown() override {
        lua_close(L);
        log->Disabled = true;
        LogEngine().DefaultLogFile = nullptr;
        std::filesystem::remove_all(folder);
    }
    std::string Log() {
        std::ifstream in(log->NativeFileName());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Runs `code` as one watched call.
    void RunWatched(TScriptWatchdog& dog, const std::string& code) {
        TScriptWatchdog::TCall call(dog);
        ASSERT_EQ(luaL_dostring(L, code.c_str()), 0) << lua_tostring(L, -1);
    }

    std::filesystem::path folder;
    TLogFile* log = nullptr;
    lua_State* L = nullptr;
};

// The number of late-call warnings in the test's log, for the script: reports() -> n.
int Reports(lua_State* L) {
    const auto* file = static_cast<const TLogFile*>(lua_touserdata(L, lua_upvalueindex(1)));
    std::ifstream in(file->NativeFileName());
    std::stringstream text;
    text << in.rdbuf();
    const std::string log = text.str();
    int n = 0;
    for (size_t at = log.find("has not returned"); at != std::string::npos;
         at = log.find("has not returned", at + 1))
        ++n;
    lua_pushinteger(L, n);
    return 1;
}

// Busy inside two named functions until the log holds `n` warnings (at most `seconds` of
// processor time), so that the tests wait for the watch however loaded the machine is; then
// busy for `after` seconds more.
const std::string kBusy =
    "function spin(n, seconds, after)\n"
    "  local t = os.clock()\n"
    "  while reports() < n and os.clock() - t < seconds do end\n"
    "  t = os.clock()\n"
    "  while os.clock() - t < (after or 0) do end\n"
    "end\n"
    "function A_Update(...) spin(...) end\n";

TEST_P(ScriptWatchdogTest, ALateCallLogsWhereTheScriptIsOnceAndRunsOn) {
    // LuaJIT takes up a hook set from another thread only when it next enters its interpreter
    // from outside, not inside a running loop: its late call is reported when it returns.
    if (GetParam().find("luajit") != std::string::npos)
        GTEST_SKIP() << "LuaJIT reports a late call's stack only when the call leaves the loop";
    lua_pushlightuserdata(L, log);
    lua_pushcclosure(L, &Reports, 1);
    lua_setglobal(L, "reports");
    TScriptWatchdog dog(L, 100);
    // Still busy for three times the limit after the warning: no second warning for this call.
    RunWatched(dog, kBusy + "A_Update(1, 20, 0.3) finished = true");
    lua_getglobal(L, "finished");
    EXPECT_TRUE(lua_toboolean(L, -1)) << "the late call was cut short";
    lua_pop(L, 1);
    const std::string text = Log();
    EXPECT_NE(text.find("a call into the script has not returned for "), std::string::npos) << text;
    EXPECT_NE(text.find(" s; the game waits for it\nstack traceback:"), std::string::npos) << text;
    EXPECT_NE(text.find("in function 'spin'"), std::string::npos) << text;
    EXPECT_NE(text.find("in function 'A_Update'"), std::string::npos) << text;
    EXPECT_EQ(text.find("has not returned"), text.rfind("has not returned")) << text;

    // A later late call is reported again; a call that ends in time is not.
    RunWatched(dog, "local quick = 1 + 1");
    RunWatched(dog, "spin(2, 20)");
    lua_getglobal(L, "reports");
    lua_call(L, 0, 1);
    EXPECT_EQ(lua_tointeger(L, -1), 2) << Log();
    lua_pop(L, 1);
}

TEST_P(ScriptWatchdogTest, CallsMadeInsideACallBelongToIt) {
    lua_pushlightuserdata(L, log);
    lua_pushcclosure(L, &Reports, 1);
    lua_setglobal(L, "reports");
    TScriptWatchdog dog(L, 300);
    RunWatched(dog, kBusy);
    {
        // The host calls the script, which calls the host, which calls the script: each inner
        // call short, the whole long.
        TScriptWatchdog::TCall outer(dog);
        for (int i = 0; i < 200 && Log().find("has not returned") == std::string::npos; ++i)
            RunWatched(dog, "spin(1, 0.05)");
    }
    EXPECT_NE(Log().find("has not returned"), std::string::npos);
}

HV_FOR_EACH_LUA_LIBRARY(ScriptWatchdogTest);

}  // namespace
}  // namespace hv
