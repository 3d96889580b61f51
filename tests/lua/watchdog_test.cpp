#include "lua/ScriptWatchdog.h"

#include <gtest/gtest.h>

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
        folder = std::filesystem::path(::testing::TempDir()) / "ScriptWatchdogTest";
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

// Busy for `seconds` of processor time inside two named functions.
const std::string kBusy =
    "function spin(seconds) local t = os.clock() while os.clock() - t < seconds do end end\n"
    "function A_Update(seconds) spin(seconds) end\n";

TEST_P(ScriptWatchdogTest, ALateCallLogsWhereTheScriptIsOnceAndRunsOn) {
    TScriptWatchdog dog(L, 100);
    RunWatched(dog, kBusy + "A_Update(0.6) finished = true");
    lua_getglobal(L, "finished");
    EXPECT_TRUE(lua_toboolean(L, -1)) << "the late call was cut short";
    lua_pop(L, 1);
    const std::string text = Log();
    EXPECT_NE(text.find("a call into the script has not returned for "), std::string::npos) << text;
    EXPECT_NE(text.find(" s; the game waits for it\nstack traceback:"), std::string::npos) << text;
    // LuaJIT runs hooks only outside machine code it has compiled, so the stack it reports may
    // be taken after the busy loop; Lua 5.1 reports it inside.
    if (GetParam().find("luajit") == std::string::npos) {
        EXPECT_NE(text.find("in function 'spin'"), std::string::npos) << text;
        EXPECT_NE(text.find("in function 'A_Update'"), std::string::npos) << text;
    }
    // One warning per late call, not one per check.
    EXPECT_EQ(text.find("has not returned"), text.rfind("has not returned")) << text;

    // A later late call is reported again; calls that end in time are not.
    RunWatched(dog, "local quick = 1 + 1");
    RunWatched(dog, "spin(0.4)");
    const std::string after = Log();
    size_t reports = 0;
    for (size_t at = after.find("has not returned"); at != std::string::npos;
         at = after.find("has not returned", at + 1))
        ++reports;
    EXPECT_EQ(reports, 2u) << after;
}

TEST_P(ScriptWatchdogTest, CallsMadeInsideACallBelongToIt) {
    TScriptWatchdog dog(L, 300);
    {
        // The host calls the script, which calls the host, which calls the script: each short,
        // the whole long.
        TScriptWatchdog::TCall outer(dog);
        for (int i = 0; i < 5; ++i) RunWatched(dog, kBusy + "spin(0.1)");
    }
    EXPECT_NE(Log().find("has not returned"), std::string::npos);
}

HV_FOR_EACH_LUA_LIBRARY(ScriptWatchdogTest);

}  // namespace
}  // namespace hv
