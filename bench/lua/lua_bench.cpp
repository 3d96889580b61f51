// Cost of crossing between host and script, for each interpreter library the host can bind:
// a script loop calling a trivial host function (script to host), and Update calls of an empty
// A_Update (host to script). Each iteration makes kCalls crossings; the "per_call" counter is the
// time of one.
#include <benchmark/benchmark.h>

#include <string>

#include "lua/MyLua.h"

namespace hv {
namespace {

constexpr int kCalls = 1000000;

class TBenchHost : public TObject {
    HV_PUBLISHED_CLASS(TBenchHost)

public:
    int Nop(lua_State*) { return 0; }
    int Twice(lua_State* L) {
        lua_pushinteger(L, 2 * ArgInteger(L, 1));
        return 1;
    }
};

HV_PUBLISHED_METHODS(TBenchHost, TObject, HV_PUBLISH(TBenchHost, Nop),
                     HV_PUBLISH(TBenchHost, Twice))

void Bind(benchmark::State& state, const std::string& library) {
    if (GetLuaLibraryName() != library || !IsLuaLibraryComplete()) {
        if (BindLuaLibrary(library) <= 0) state.SkipWithError(("cannot load " + library).c_str());
    }
}

void PerCall(benchmark::State& state) {
    state.counters["per_call"] =
        benchmark::Counter(double(kCalls), benchmark::Counter::kIsIterationInvariantRate |
                                               benchmark::Counter::kInvert);
}

void ScriptToHost(benchmark::State& state, const std::string& library, const char* loop) {
    Bind(state, library);
    TMyLua engine(false);
    TBenchHost host;
    engine.RegisterPublishedMethods(&host);
    engine.Start({std::string("function A_Update(n) for i = 1, n do ") + loop + " end end"});
    for (auto _ : state) engine.Update(kCalls);
    PerCall(state);
}

void HostToScript(benchmark::State& state, const std::string& library) {
    Bind(state, library);
    TMyLua engine(false);
    engine.Start({"function A_Update(t) end"});
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) engine.Update(i);
    }
    PerCall(state);
}

void EmptyLoop(benchmark::State& state, const std::string& library) {
    Bind(state, library);
    TMyLua engine(false);
    engine.Start({"function A_Update(n) local x = 0 for i = 1, n do x = x + i end end"});
    for (auto _ : state) engine.Update(kCalls);
    PerCall(state);
}

const struct {
    const char* label;
    const char* file;
} kLibraries[] = {{"Lua51", "liblua5.1.so.0"}, {"LuaJIT", "libluajit-5.1.so.2"}};

}  // namespace
}  // namespace hv

int main(int argc, char** argv) {
    using namespace hv;
    for (const auto& lib : kLibraries) {
        const std::string file = lib.file;
        const std::string label = lib.label;
        benchmark::RegisterBenchmark(
            ("ScriptToHost_Nop/" + label).c_str(),
            [file](benchmark::State& s) { ScriptToHost(s, file, "Nop()"); })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            ("ScriptToHost_Twice/" + label).c_str(),
            [file](benchmark::State& s) { ScriptToHost(s, file, "local v = Twice(i)"); })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("HostToScript_Update/" + label).c_str(),
                                     [file](benchmark::State& s) { HostToScript(s, file); })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ScriptLoopOnly/" + label).c_str(), [file](
                                                                              benchmark::State& s) {
            EmptyLoop(s, file);
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
