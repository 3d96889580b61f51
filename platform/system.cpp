#include "platform/system.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace hv {

uint32_t GetTickCount() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
    return uint32_t(ms);
}

std::optional<std::string> GetEnv(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

bool WaitForDisplay() {
    static const bool wait = GetEnv("HALVARDINE_VSYNC").value_or("") != "0";
    return wait;
}

const std::string& ExeDir() {
    static const std::string dir = [] {
        std::error_code ec;
        std::filesystem::path cwd = std::filesystem::current_path(ec);
        if (ec || cwd.empty()) cwd = ".";
        return (cwd / "").string();  // with a trailing separator
    }();
    return dir;
}

std::string AppDataDir() {
    auto nonEmpty = [](const char* name) -> std::string {
        auto v = GetEnv(name);
        return v ? *v : std::string();
    };
    std::string d = nonEmpty("APPDATA");
    if (d.empty()) d = nonEmpty("XDG_DATA_HOME");
    if (d.empty()) {
        std::string home = nonEmpty("HOME");
        if (!home.empty()) d = home + "/.local/share";
    }
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    return d;
}

namespace {
std::vector<std::string>& CommandLine() {
    static std::vector<std::string> args;
    return args;
}
}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
    CommandLine().assign(argv, argv + (argc > 0 ? argc : 0));
}

int ParamCount() {
    return CommandLine().empty() ? 0 : int(CommandLine().size()) - 1;
}

std::string ParamStr(int index) {
    const auto& args = CommandLine();
    if (index < 0 || size_t(index) >= args.size()) return {};
    return args[size_t(index)];
}

std::string ModuleName() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "halvardine";
    return exe.filename().string();
}

void KeepLargeBlocksOutOfTheHeap() {
    // A fixed threshold also fixes the trim threshold, by default at 128 kB: the rasteriser's
    // bins (blocks of 64 kB, megabytes of them a frame, freed at its end; 8 MB for 10,000
    // sprites) would then be given back to the system and faulted in again every frame. Freed
    // space at the heap's top is kept up to 16 MB: enough for a frame's bins, while a larger
    // amount keeps what loading once used resident for the whole game (64 MB: 12 MB more
    // resident memory in the mixed benchmark scene after 30 s).
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
}

}  // namespace hv
