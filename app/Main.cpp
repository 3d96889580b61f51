// The program's entry: reads the command line, creates the application object, runs the
// message loop and, when it ends, lets the game save and opens the farewell link.
#include <exception>
#include <new>

#include "app/App.h"
#include "app/CommandLine.h"
#include "app/FailureReport.h"
#include "log/KavLogEngine.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/halt.h"
#include "platform/system.h"

namespace hv {
namespace {

// Exit code of a start whose window or device set-up failed (already reported by the
// framework): the game never ran.
constexpr int kExitStartFailed = 1;

int RunGame() {
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

}  // namespace
}  // namespace hv

int main(int argc, char** argv) {
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
