#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "app/FailureReport.h"
#include "engine3d/WindowSize.h"
#include "platform/exceptions.h"

namespace hv {
namespace {

TEST(CommandLine, ModesAndWindowSize) {
    TCommandLine none = ParseCommandLine({});
    EXPECT_FALSE(none.Windowed);
    EXPECT_EQ(none.ConfigWidth, 0);
    EXPECT_FALSE(none.EffectsParam.has_value());
    EXPECT_FALSE(none.StartNameParam.has_value());

    TCommandLine e = ParseCommandLine({"-e", "a", "b", "-w", "[0,0]", "c"});
    EXPECT_TRUE(e.Windowed);
    EXPECT_EQ(*e.EffectsParam, "a;b;c;");
    EXPECT_EQ(*ParseCommandLine({"-e"}).EffectsParam, "");
    // "-e" later than the first argument is no switch, and never part of a list.
    EXPECT_FALSE(ParseCommandLine({"x", "-e"}).EffectsParam.has_value());
    EXPECT_EQ(*ParseCommandLine({"-e", "x[y", "-e", "z"}).EffectsParam, "z;");

    TCommandLine s = ParseCommandLine({"-s", "my.save.dat", "-w"});
    EXPECT_EQ(*s.StartNameParam, "my");
    EXPECT_EQ(*s.EffectsParam, "");
    EXPECT_TRUE(s.Windowed);
    EXPECT_EQ(*ParseCommandLine({"-s", "save"}).StartNameParam, "save");
    EXPECT_TRUE(ParseCommandLine({"-s"}).EndAtOnce);
    EXPECT_FALSE(ParseCommandLine({"-w", "-s"}).EndAtOnce);

    TCommandLine size = ParseCommandLine({"[800,600]", "-w", "[+1024,768]tail"});
    EXPECT_EQ(size.ConfigWidth, 1024);  // a later size overrides an earlier one
    EXPECT_EQ(size.ConfigHeight, 768);
}

// A size no window can have ends the start with a message that names the argument and the
// limits, before any window or device exists.
TEST(CommandLine, WindowSizeOutsideTheLimitsIsRefusedByName) {
    for (const char* bad : {"[-3,+7]", "[800,0]", "[0,600]", "[16385,600]", "[800,99999]"}) {
        try {
            ParseCommandLine({"-w", bad});
            ADD_FAILURE() << bad << " was taken";
        } catch (const ERangeError& e) {
            EXPECT_NE(e.Message().find(std::string("The window size ") + bad), std::string::npos);
            EXPECT_NE(e.Message().find("1 to 16384"), std::string::npos) << e.Message();
        }
    }
    TCommandLine edges = ParseCommandLine({"[1,16384]"});
    EXPECT_EQ(edges.ConfigWidth, 1);
    EXPECT_EQ(edges.ConfigHeight, 16384);
    EXPECT_EQ(ParseCommandLine({"[0,0]"}).ConfigWidth, 0);  // no size: the game chooses
}

TEST(CommandLine, MalformedWindowSizeIsAConversionError) {
    for (const char* bad : {"[100,20", "[100]", "[a,b]", "[,5]", "[", "[1,2,3]"}) {
        EXPECT_THROW(ParseCommandLine({bad}), EConvertError) << bad;
    }
    try {
        ParseCommandLine({"[100,20"});
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'' is not a valid integer value");
    }
}

TEST(FailureReport, TextAsTheRuntimeShowsIt) {
    EXPECT_EQ(FormatFailureReport("EConvertError", "halvardine", reinterpret_cast<void*>(0x452F1A),
                                  "'' is not a valid integer value"),
              "Exception EConvertError in module halvardine at 00452F1A.\r\n"
              "'' is not a valid integer value.\r\n");
    // The "." is added after any character that sorts above it, not after "." or "!".
    EXPECT_EQ(FormatFailureReport("Exception", "m", nullptr, "\r\nfailed:"),
              "Exception Exception in module m at 00000000.\r\n\r\nfailed:.\r\n");
    EXPECT_EQ(FormatFailureReport("Exception", "m", nullptr, "stop!"),
              "Exception Exception in module m at 00000000.\r\nstop!\r\n");
    EXPECT_EQ(FormatFailureReport("Exception", "m", nullptr, "done."),
              "Exception Exception in module m at 00000000.\r\ndone.\r\n");
}

TEST(FailureReport, BinaryBytesInTheMessageAreShownEscaped) {
    // Text decoded with the wrong key: NUL, bell, escape and DEL between readable bytes; line
    // breaks, tabs and UTF-8 letters stay as they are.
    const char raw[] = "[\0\a\x1B[2J\x7F]:1: unexpected \xC3\xA9\tx\r\ny\x01";
    EXPECT_EQ(FormatFailureReport("EScriptError", "m", nullptr, std::string(raw, sizeof raw - 1)),
              "Exception EScriptError in module m at 00000000.\r\n"
              "[\\x00\\x07\\x1B[2J\\x7F]:1: unexpected \xC3\xA9\tx\r\ny\\x01\r\n");
}

TEST(HostOptions, OnlyAtTheFrontSoThatNoGameArgumentIsTakenForOne) {
    THostOptions o = ReadHostOptions({"--game", "/g", "-s", "save.dat"}, std::nullopt);
    EXPECT_EQ(*o.GameFolder, "/g");
    EXPECT_EQ(o.GameArgsFrom, 2u);
    EXPECT_EQ(*ReadHostOptions({"--game=my game", "-w"}, std::nullopt).GameFolder, "my game");
    EXPECT_TRUE(ReadHostOptions({"--version"}, std::nullopt).Version);

    // After the first game argument, or after "--", everything is the game's.
    o = ReadHostOptions({"-e", "--game", "x", "--version"}, std::nullopt);
    EXPECT_FALSE(o.GameFolder || o.Version);
    EXPECT_EQ(o.GameArgsFrom, 0u);
    o = ReadHostOptions({"--", "--version"}, std::nullopt);
    EXPECT_FALSE(o.Version);
    EXPECT_EQ(o.GameArgsFrom, 1u);
    // An unknown option is the game's as well.
    EXPECT_EQ(ReadHostOptions({"--verbose", "--version"}, std::nullopt).GameArgsFrom, 0u);

    // The variable names the folder unless the option does; an empty one is no folder.
    EXPECT_EQ(*ReadHostOptions({"-w"}, "/v").GameFolder, "/v");
    EXPECT_EQ(*ReadHostOptions({"--game", "/o"}, "/v").GameFolder, "/o");
    EXPECT_FALSE(ReadHostOptions({}, "").GameFolder);

    EXPECT_FALSE(ReadHostOptions({"--game"}, "/v").Error.empty());
    EXPECT_FALSE(ReadHostOptions({"--game="}, std::nullopt).Error.empty());
}

TEST(WindowSize, FollowsTheDesktopShapeUnlessConfigured) {
    auto size = [](int w, int h, int cw = 0, int ch = 0) {
        TWindowSize s = CalcWindowSize(w, h, cw, ch);
        return std::make_pair(s.Width, s.Height);
    };
    EXPECT_EQ(size(1280, 1024),
              std::make_pair(1024, 768));  // 5:4 is close enough to 4:3 but not wider
    EXPECT_EQ(size(1600, 1200), std::make_pair(1280, 1024));
    EXPECT_EQ(size(1920, 1080), std::make_pair(1366, 768));
    EXPECT_EQ(size(1366, 768), std::make_pair(1024, 768));  // not wider than 1366
    EXPECT_EQ(size(1920, 1200), std::make_pair(1280, 800));
    EXPECT_EQ(size(1920, 1080, 800, 600), std::make_pair(800, 600));
    EXPECT_EQ(size(1920, 1080, 800, 0), std::make_pair(1366, 768));
    EXPECT_EQ(size(0, 0), std::make_pair(1024, 768));
}

}  // namespace
}  // namespace hv
