// The program's entry: reads the command line, creates the application object, runs the
// message loop and, when it ends, lets the game save and opens the farewell link.
#include <cstdio>
#include <exception>
#include <new>

#include "app/App.h"
#include "app/CommandLine.h"
#include "app/FailureReport.h"
#include "log/KavLogEngine.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/halt.h"
#include "platform/relaunch.h"
#include "platform/system.h"
#include "support/Base.h"

namespace hv {
namespace {

// Exit code of a start whose window or device set-up failed (already reported by the
// framework): the game never ran.
constexpr int kExitStartFailed = 1;

int RunGame() {
    // Read while the window and the device are made: the engine makes its font with its device.
    PrepareFonts();
    std::vector<std::string> args;
    for (int i = 1; i <= ParamCount(); ++i) args.push_back(ParamStr(i));

    CD3DGame* app = new CD3DGame();
    const TCommandLine cmd = ParseCommandLine(args);
    if (cmd.Windowed) app->m_bWindowed = true;
    if (cmd.EffectsParam) app->Form().EffectsParam = *cmd.EffectsParam;
    if (cmd.EndAtOnce) Halt(0);
    if (cmd.StartNameParam) app->Form().StartNameParam = *cmd.StartNameParam;

    static int moduleTag;  // any non-null value names the program's module
    const HRESULT created = app->Create_(&moduleTag, cmd.ConfigWidth, cmd.ConfigHeight);
    if (SUCCEEDED(created)) app->RunLoop();
    app->Form().SaveGameBeforeGame();
    if (FileExists("Link.url")) app->Form().OpenUrl("Link.url");
    delete app;
    return SUCCEEDED(created) ? 0 : kExitStartFailed;
}

constexpr const char* kGameFolderVariable = "HALVARDINE_GAME_DIR";

constexpr const char* kUsage =
    "usage: halvardine [--game DIR] [GAME ARGUMENTS...]\n"
    "       halvardine --version | --help\n"
    "\n"
    "Runs the game in the current folder (its script is data/AllLua.lua), or in DIR.\n"
    "  --game DIR   the game folder (also --game=DIR, or HALVARDINE_GAME_DIR=DIR)\n"
    "  --version    the program's version\n"
    "  --           ends the program's own options; what follows is the game's\n"
    "Game arguments: -w (in a window), [w,h] (window size), -e LIST..., -s NAME.\n";

// The program's own options, read before anything else: they may end the program or start it
// over in the game's folder. Returns the index of the game's first argument in argv.
int ReadProgramOptions(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const THostOptions o = ReadHostOptions(args, GetEnv(kGameFolderVariable));
    if (!o.Error.empty()) {
        std::fprintf(stderr, "halvardine: %s\n%s", o.Error.c_str(), kUsage);
        std::exit(2);
    }
    if (o.Version || o.Help) {
        if (o.Version) std::printf("halvardine %s\n", HV_VERSION);
        if (o.Help) std::fputs(kUsage, stdout);
        std::exit(0);
    }
    if (o.GameFolder) {
        std::vector<std::string> restart{argv[0]};
        restart.insert(restart.end(), args.begin() + long(o.GameArgsFrom), args.end());
        const std::string failure = RestartInFolder(*o.GameFolder, restart, kGameFolderVariable);
        std::fprintf(stderr, "halvardine: %s\n", failure.c_str());
        std::exit(2);
    }
    return int(o.GameArgsFrom) + 1;
}

}  // namespace
}  // namespace hv

int main(int argc, char** argv) {
    hv::KeepLargeBlocksOutOfTheHeap();
    // The game's command line is what follows the program's own options; argv[0] stays.
    const int first = hv::ReadProgramOptions(argc, argv);
    if (first > 1) {
        argv[first - 1] = argv[0];
        argv += first - 1;
        argc -= first - 1;
    }
    hv::SetUpProgramWideObjects();
    hv::SetCommandLine(argc, argv);
    hv::ExeDir();     // the game folder is the current folder at start-up
    hv::LogEngine();  // logging works before anything else runs
    hv::ReserveFailureMemory();
    try {
        const int code = hv::RunGame();
        hv::Halt(code);
    } catch (const hv::Exception& e) {
        hv::ShowFailureAndHalt(e.ClassName(), e.Message().c_str(), &e);
    } catch (const std::bad_alloc& e) {
        hv::ShowFailureAndHalt("EOutOfMemory", "Out of memory", &e);
    } catch (const std::exception& e) {
        hv::ShowFailureAndHalt("Exception", e.what(), &e);
    } catch (...) {
        hv::ShowFailureAndHalt("Exception", "Unknown exception", nullptr);
    }
}
