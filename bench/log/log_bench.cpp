// Cost of logging: a written line (open, append, flush, close of the file), a collapsed repeat,
// and the expansion of the line template alone.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "log/KavLogEngine.h"

namespace {

std::string BenchFolder() {
    auto dir = std::filesystem::temp_directory_path() / "hv-log-bench";
    std::filesystem::create_directories(dir);
    return dir.string() + "/";
}

void WrittenLine(benchmark::State& state) {
    hv::TKavLogEngine engine(BenchFolder() + "Written.log", hv::TLogClock::System());
    int64_t n = 0;
    for (auto _ : state) {
        engine.AddHint(n++ % 2 ? "TMainForm.DrawPicture Button_Ok" : "TMainForm.DrawPicture Logo");
    }
    state.SetItemsProcessed(n);
}
BENCHMARK(WrittenLine);

void CollapsedRepeat(benchmark::State& state) {
    hv::TKavLogEngine engine(BenchFolder() + "Repeat.log", hv::TLogClock::System());
    int64_t n = 0;
    for (auto _ : state) {
        engine.AddHint("TMainForm.DrawPicture Logo");
        ++n;
    }
    state.SetItemsProcessed(n);
}
BENCHMARK(CollapsedRepeat);

void LineExpansion(benchmark::State& state) {
    hv::TKavLogEngine engine(BenchFolder() + "Expand.log", hv::TLogClock::System());
    hv::TLogFile& f = *engine.DefaultLogFile;
    f.LastMessage = {"text", hv::lmError, 3};
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.ExpandTemplate(f.LineTemplate + "TMainForm.DrawPicture Logo"));
    }
}
BENCHMARK(LineExpansion);

}  // namespace
