#include "lua/MyLua.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "tests/lua/lua_test_support.h"

namespace hv {
namespace {

using testing::RunAndCollect;

// A script whose entry functions record what they received in the global `got`: the number of
// arguments, then each as type:value.
const std::vector<std::string> kRecorder = {
    "local function record(...)",
    "  local parts = { tostring(select('#', ...)) }",
    "  for i = 1, select('#', ...) do",
    "    local v = select(i, ...)",
    "    parts[#parts + 1] = type(v) .. ':' .. tostring(v)",
    "  end",
    "  got = table.concat(parts, ' ')",
    "end",
    "A_Init = record  A_Loading = record  A_Update = record  A_MouseMove = record",
    "A_MouseDown = record  A_MouseUp = record  A_KeyDown = record  A_KeyUp = record",
    "A_KeyPress = record",
};

std::string Got(TMyLua& engine) {
    return RunAndCollect(engine.State, "return got");
}

// The report for `message` with the excerpt lines [first, last] (1-based) of `script`.
std::string Report(const std::string& message, const std::vector<std::string>& script, int first,
                   int last) {
    std::string report = "\r\n" + message;
    for (int n = first; n <= last; ++n) {
        std::string number = std::to_string(n);
        report += "\r\n" + std::string(6 - number.size(), ' ') + "[" + number +
                  "]: " + script[size_t(n - 1)];
    }
    return report;
}

class ScriptEngine : public testing::WithLuaLibrary {};

TEST_P(ScriptEngine, EntryFunctionsReceiveTheirArguments) {
    TMyLua engine(false);
    const int top = lua_gettop(engine.State);  // what opening the libraries left
    EXPECT_FALSE(engine.EngineStarted);
    engine.Start(kRecorder);
    EXPECT_EQ(engine.ScriptLines, kRecorder);

    engine.StartEngine(1234, "fx1;fx2", "Intro", true);
    EXPECT_TRUE(engine.EngineStarted);
    EXPECT_EQ(Got(engine),
              "7 number:1234 number:0 number:1 number:1 string:fx1;fx2 string:Intro boolean:true");
    engine.Loading(50, 75);
    EXPECT_EQ(Got(engine), "2 number:50 number:75");
    engine.Update(-7);
    EXPECT_EQ(Got(engine), "1 number:-7");

    engine.MouseMove(1, 2, 3, 4, 0, 0, 0, 0);
    EXPECT_EQ(Got(engine), "4 number:1 number:2 number:3 number:4");
    engine.MouseMove(1, 2, 3, 4, 0, 0, 9, 0);
    EXPECT_EQ(Got(engine),
              "8 number:1 number:2 number:3 number:4 number:0 number:0 number:9 number:0");
    engine.SendMouseDown(10, 20, 1, 0);  // both extras must be set to be passed
    EXPECT_EQ(Got(engine), "2 number:10 number:20");
    engine.SendMouseDown(10, 20, 1, 2);
    EXPECT_EQ(Got(engine), "4 number:10 number:20 number:1 number:2");
    engine.SendMouseUp(5, 6, 0, 3);
    EXPECT_EQ(Got(engine), "2 number:5 number:6");
    engine.SendMouseUp(5, 6, -1, 3);
    EXPECT_EQ(Got(engine), "4 number:5 number:6 number:-1 number:3");

    engine.SendKeyDown(116, 0);
    EXPECT_EQ(Got(engine), "2 number:116 number:0");
    engine.SendKeyDown(-1, 0x12345);  // 16-bit unsigned
    EXPECT_EQ(Got(engine), "2 number:65535 number:9029");
    engine.SendKeyUp(0x10041);
    EXPECT_EQ(Got(engine), "1 number:65");
    engine.SendKeyPress(U'a');  // text, not the character code
    EXPECT_EQ(Got(engine), "1 string:a");
    engine.SendKeyPress(U'\u00e9');
    EXPECT_EQ(Got(engine), "1 string:\u00e9");
    engine.SendKeyPress(char32_t(0xD800));
    EXPECT_EQ(Got(engine), "1 string:\ufffd");
    EXPECT_EQ(lua_gettop(engine.State), top);
}

TEST_P(ScriptEngine, ErrorReportQuotesTheLinesAroundTheFailingLine) {
    std::vector<std::string> script;
    for (int n = 1; n <= 10; ++n) {
        script.push_back("function F" + std::to_string(n) + "() error('failed in " +
                         std::to_string(n) + "') end");
    }
    script.push_back("function A_Update(n) _G['F' .. n]() end");  // line 11, the last
    script.push_back("");                                         // an empty last line
    TMyLua engine(false);
    const int top = lua_gettop(engine.State);  // what opening the libraries left
    engine.Start(script);

    // Line n -> excerpt lines (first, last).
    const struct {
        int line, first, last;
    } cases[] = {{1, 1, 4}, {2, 1, 5}, {5, 3, 8}, {10, 8, 12}};
    for (const auto& c : cases) {
        try {
            engine.Update(c.line);
            FAIL() << "no error for line " << c.line;
        } catch (const EScriptError& e) {
            EXPECT_STREQ(e.ClassName(), "Exception");
            const std::string& report = e.Message();
            const size_t end = report.find("\r\n", 2);
            ASSERT_NE(end, std::string::npos);
            const std::string message = report.substr(2, end - 2);
            EXPECT_NE(message.find("]:" + std::to_string(c.line) + ": failed in"),
                      std::string::npos)
                << message;
            EXPECT_EQ(report, Report(message, script, c.first, c.last));
            EXPECT_EQ(ErrorLineOfMessage(message), c.line);
        }
        EXPECT_EQ(lua_gettop(engine.State), top);
    }

    // The last line of a script: that line and the two before it.
    TMyLua last(false);
    const std::vector<std::string> shortScript = {"a = 1", "b = 2", "c = 3", "d = 4",
                                                  "error('last')"};
    try {
        last.Start(shortScript);
        FAIL();
    } catch (const EScriptError& e) {
        const std::string message = e.Message().substr(2, e.Message().find("\r\n", 2) - 2);
        EXPECT_EQ(e.Message(), Report(message, shortScript, 3, 5));
    }

    // A line number of three digits takes three spaces.
    std::vector<std::string> longScript(120, "x = 1");
    longScript[99] = "local = 1";  // a syntax error on line 100
    try {
        last.Start(longScript);
        FAIL();
    } catch (const EScriptError& e) {
        EXPECT_NE(e.Message().find("\r\n   [100]: local = 1\r\n   [101]: x = 1"),
                  std::string::npos);
        EXPECT_EQ(last.ScriptLines.size(), 120u);
    }
}

TEST_P(ScriptEngine, MessagesWithoutAPositionGiveTheMessageOnly) {
    TMyLua engine(false);
    const int top = lua_gettop(engine.State);  // what opening the libraries left
    engine.Start({"function A_Update() error('plain words', 0) end",
                  "function A_MouseDown() error({}) end"});
    try {
        engine.Update(0);
        FAIL();
    } catch (const EScriptError& e) {
        EXPECT_EQ(e.Message(), "\r\nplain words");
    }
    try {
        engine.SendMouseDown(0, 0, 0, 0);  // an error value that is not text
        FAIL();
    } catch (const EScriptError& e) {
        EXPECT_EQ(e.Message(), "\r\n");
    }
    // A missing entry function is an error without a position that names the function.
    try {
        engine.Loading(0, 0);
        FAIL();
    } catch (const EScriptError& e) {
        EXPECT_EQ(e.Message(),
                  "\r\nA_Loading is not defined by the script: attempt to call a nil value");
    }
    // A "]:" without a number after it is not a position, and no conversion error replaces the
    // report.
    engine.Start({"function A_KeyUp() error('see t]:x: here', 0) end"});
    try {
        engine.SendKeyUp(1);
        FAIL();
    } catch (const EScriptError& e) {
        EXPECT_EQ(e.Message(), "\r\nsee t]:x: here");
    }
    EXPECT_EQ(lua_gettop(engine.State), top);
}

TEST_P(ScriptEngine, ScriptTextWithBracketColonInItsFirstLineStillFindsTheLine) {
    // The chunk name quotes the first line, so the message has a "]:" before the position.
    const std::vector<std::string> script = {"local t = {} local s = 'a]:b'", "x = 1",
                                             "function A_Update() error('third') end", "y = 2"};
    TMyLua engine(false);
    engine.Start(script);
    try {
        engine.Update(0);
        FAIL();
    } catch (const EScriptError& e) {
        const std::string message = e.Message().substr(2, e.Message().find("\r\n", 2) - 2);
        EXPECT_EQ(ErrorLineOfMessage(message), 3);
        EXPECT_EQ(e.Message(), Report(message, script, 1, 4));
    }
}

TEST_P(ScriptEngine, KeyDownErrorsAreIgnoredAndTheStackStaysClean) {
    TMyLua engine(false);
    const int top = lua_gettop(engine.State);  // what opening the libraries left
    engine.Start({"count = 0"});
    for (int i = 0; i < 1000; ++i) engine.SendKeyDown(65, 30);  // no A_KeyDown at all
    EXPECT_EQ(lua_gettop(engine.State), top);
    engine.Start({"function A_KeyDown(k) count = count + 1 error('bad key') end"});
    for (int i = 0; i < 1000; ++i) engine.SendKeyDown(65, 30);
    EXPECT_EQ(lua_gettop(engine.State), top);
    EXPECT_EQ(RunAndCollect(engine.State, "return count"), "1000");
    // Results of an entry function are not kept either.
    engine.Start({"function A_Update() return 1, 2, 3 end", "return 'chunk result'"});
    for (int i = 0; i < 100; ++i) engine.Update(i);
    EXPECT_EQ(lua_gettop(engine.State), top);
}

// A host object with one failing host function and one that calls back into the script.
class TGameHost : public TObject {
    HV_PUBLISHED_CLASS(TGameHost)

public:
    TMyLua* engine = nullptr;
    int SaveParams(lua_State*) { throw EInOutError("Cannot create file \"GameParams.txt\""); }
    int Redraw(lua_State*) {
        engine->Update(99);  // a nested call from host code into the script
        return 0;
    }
};

HV_PUBLISHED_METHODS(TGameHost, TObject, HV_PUBLISH(TGameHost, SaveParams),
                     HV_PUBLISH(TGameHost, Redraw))

TEST_P(ScriptEngine, HostExceptionsEndWhereTheHostCalledTheScript) {
    TMyLua engine(false);
    const int top = lua_gettop(engine.State);  // what opening the libraries left
    TGameHost host;
    host.engine = &engine;
    engine.RegisterPublishedMethods(&host);
    engine.Start({"function A_Update(t) if t == 99 then SaveParams() end Redraw() end",
                  "function A_KeyDown() SaveParams() end",
                  "function A_MouseUp() pcall(SaveParams) end"});
    // Also from the call whose script errors are ignored.
    EXPECT_THROW(engine.SendKeyDown(1, 1), EInOutError);
    EXPECT_EQ(lua_gettop(engine.State), top);
    // A script that swallows the error does not swallow the exception.
    EXPECT_THROW(engine.SendMouseUp(1, 1, 0, 0), EInOutError);
    // Through a nested host-to-script call, unchanged.
    try {
        engine.Update(1);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file \"GameParams.txt\"");
    }
    EXPECT_EQ(lua_gettop(engine.State), top);
    // A script error inside the nested call becomes the report, as in any script call.
    engine.Start({"function A_Update(t) if t == 99 then error('inner', 0) end Redraw() end"});
    try {
        engine.Update(1);
        FAIL();
    } catch (const EScriptError& e) {
        EXPECT_EQ(e.Message(), "\r\ninner");
    }
}

HV_FOR_EACH_LUA_LIBRARY(ScriptEngine);

}  // namespace
}  // namespace hv
