// Every host function the script can call, called with the numbers and texts a broken or hostile
// script can pass: NaN, infinities, the largest doubles, -2^31 and its neighbours, and a
// megabyte of text, in every argument. The host may refuse a call with its error (which ends the
// game through the report, as any host error does), but it must not crash, hang or stop working.
// Run under AddressSanitizer and UndefinedBehaviorSanitizer by the sanitizer build.
#include <stb/stb_image_write.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string_view>
#include <vector>

#include "RecordedForm.h"
#include "platform/exceptions.h"

namespace hv {
namespace {

class HostileArgumentsTest : public test::RecordedFormTest {
protected:
    void SetUp() override {
        RecordedFormTest::SetUp();
        ::setenv("APPDATA", root.c_str(), 1);
        StartForm();
        ASSERT_EQ(Engine().InitD3D(nullptr, 1024, 768), S_OK);
        // A picture to name, so that calls get past the lookup of their surface.
        std::filesystem::create_directories(root / "data/Textures");
        const std::vector<uint8_t> rgba(8 * 8 * 4, 0xFF);
        ASSERT_NE(
            stbi_write_png((root / "data/Textures/pic.png").c_str(), 8, 8, 4, rgba.data(), 8 * 4),
            0);
        Engine().CreateSufaceFromTexture("pic", "pic.png", RECT{0, 0, 8, 8}, true, false,
                                         D3DFMT_UNKNOWN, false);
        ASSERT_GE(Engine().FindSurface("pic"), 0);
        // The script functions the loaders call while they show their progress.
        Run("function A_Loading() end function A_Update() end");
    }
    void TearDown() override {
        // The per-user log goes with the folder: no footer at program end.
        for (auto& file : LogEngine().LogFiles)
            if (file->FilePath.starts_with(root.string())) file->Disabled = true;
        ::unsetenv("APPDATA");
        RecordedFormTest::TearDown();
    }
};

// The script text of the values, in the order they are tried.
const char* const kValues[] = {"0/0",
                               "1/0",
                               "-1/0",
                               "1e308",
                               "-1e308",
                               "-2^31",
                               "-2^31 - 1",
                               "2^31",
                               "2^32",
                               "2^53",
                               "string.rep('\\255', 2^20)",
                               "string.rep('9', 2^20)"};

// Argument lists, H standing for the value: the value everywhere; after the name of a
// picture; and in every option of the key-value functions.
const char* const kShapes[] = {
    "H, H, H, H, H, H, H, H, H, H, H, H",
    "'pic', H, H, H, H, H, H, H, H, H, H, H",
    "'pic', 'pic', H, H, H, H, H, H, H, H, H, H",
    "'src', 'pic', 'x', H, 'y', H, 'alpha', H, 'angle', H, 'scalex', H, 'scaley', H, "
    "'transx', H, 'transy', H, 'color', H, 'colorpower', H, 'filter', H, 'outputmode', H, "
    "'rect', H, 'bump', H, 'dest', H, 'splash', H",
};

// Functions that end the program by design; they read no arguments.
bool EndsTheProgram(std::string_view name) {
    return name == "QuitGame" || name == "WSurvey_BOk";
}

TEST_F(HostileArgumentsTest, EveryHostFunctionSurvivesEveryHostileValue) {
    int calls = 0;
    std::map<std::string, int> refusals;  // host error class and function -> count
    for (const TPublishedMethod& method : TMainForm::StaticClassInfo().Methods) {
        if (!method.ForScript || EndsTheProgram(method.Name)) continue;
        for (const char* value : kValues) {
            for (const char* shape : kShapes) {
                const std::string code = std::string("local H = ") + value + " pcall(" +
                                         method.Name + ", " + shape + ")";
                const auto start = std::chrono::steady_clock::now();
                try {
                    form.ScriptEngine->RunString(code);
                } catch (const Exception& e) {
                    ++refusals[std::string(e.ClassName()) + " from " + method.Name + ": " +
                               e.Message().substr(0, 100)];
                }
                const auto took = std::chrono::steady_clock::now() - start;
                EXPECT_LT(took, std::chrono::seconds(5))
                    << method.Name << "(" << shape << ") with " << value;
                lua_settop(L(), 0);
                Device().Calls.clear();
                ++calls;
            }
        }
        // The host still works after the function's hostile calls: the script runs, and a
        // picture is drawn where it is asked for.
        Run("GroupBegin('after') DrawPicture('src', 'pic', 'x', 1, 'y', 2) GroupEnd('after')");
        EXPECT_EQ(Eval("1 + 1"), "2") << "after " << method.Name;
    }
    std::string summary;
    for (const auto& [what, count] : refusals)
        summary += "  " + what + ": " + std::to_string(count) + "\n";
    std::printf("%d hostile calls; refused with a host error:\n%s", calls, summary.c_str());
    EXPECT_GT(calls, 2000);
}

}  // namespace
}  // namespace hv
