// The idle pass of the running game before the script has chosen a resolution.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/App.h"
#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"

namespace hv {
namespace {

// A game whose script never calls SetSystemResolution leaves the loop without a device: the
// log says why the window stays blank, once, and the loop waits for the display instead of
// spinning a core.
TEST(IdlePass, WithoutADeviceLogsOnceAndWaitsForTheDisplay) {
    const std::filesystem::path logPath =
        std::filesystem::temp_directory_path() / ("hv_idle_" + std::to_string(::getpid()) + ".log");
    TLogFile* log = LogEngine().AddLogFile(logPath.string());
    LogEngine().DefaultLogFile = log;
    auto game = std::make_unique<CD3DGame>();
    TMainForm* form = &game->Form();
    form->KavSurfaceEngine3D = std::make_unique<TKavSurfaceEngine3D>(1024, 768, false, 0, 0);

    constexpr int kPasses = 10;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPasses; ++i) EXPECT_EQ(game->Render3DEnvironment(), 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // A 60 Hz display shows a frame every 16.7 ms; the passes may not outrun it by much.
    EXPECT_GE(elapsed, kPasses * std::chrono::milliseconds(15));

    std::stringstream text;
    text << std::ifstream(logPath).rdbuf();
    const std::string line = "no surface engine: the script has not called SetSystemResolution";
    const size_t at = text.str().find("ERROR !!! " + line);
    EXPECT_NE(at, std::string::npos) << text.str();
    EXPECT_EQ(text.str().find(line, at + 10 + line.size()), std::string::npos)
        << "logged more than once";
    EXPECT_EQ(text.str().find("g_pd3dDevice"), std::string::npos);  // no frame was attempted

    game.reset();
    delete form;  // the application never frees its form
    log->Disabled = true;
    LogEngine().DefaultLogFile = nullptr;
    std::filesystem::remove(logPath);
}

}  // namespace
}  // namespace hv
