// The display plan as a table: desktops, game sizes, modes and scaling choices against the
// sizes, rectangles and mouse positions a player sees. No device and no window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine3d/DisplayPlan.h"

namespace hv {
namespace {

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}
std::string Text(TWindowSize s) {
    return std::to_string(s.Width) + "x" + std::to_string(s.Height);
}
std::string Text(TGamePoint p) {
    return std::to_string(p.X) + "," + std::to_string(p.Y);
}

struct Click {
    int32_t X, Y;
    const char* Game;  // where the script receives it
};

struct Row {
    const char* Name;
    TDisplayRequest Request;
    const char* Game;    // back buffer and projection
    const char* View;    // what SetSystemResolution reports
    bool UseRequested;   // full screen on a size that is no mode
    const char* Window;  // outer rectangle on the desktop
    const char* Dest;    // the frame in the client area
    double ScaleX, ScaleY;
    std::vector<Click> Clicks;  // client positions
};

TDisplayRequest FullScreen(TWindowSize desktop, TWindowSize game, TScaling scaling,
                           std::vector<TWindowSize> modes = {}) {
    TDisplayRequest r;
    r.Desktop = desktop;
    r.Requested = game;
    r.FullScreen = true;
    r.Scaling = scaling;
    r.Modes = modes.empty() ? std::vector<TWindowSize>{desktop} : modes;
    return r;
}

TDisplayRequest Windowed(TWindowSize desktop, TWindowSize configured, RECT work = {}) {
    TDisplayRequest r;
    r.Desktop = desktop;
    r.WorkArea = work;
    r.Requested = {800, 600};
    r.Configured = configured;
    r.Modes = {desktop};
    return r;
}

const TScaling Keep = TScaling::KeepShape, Whole = TScaling::WholeSteps,
               Stretch = TScaling::Stretch;

TEST(DisplayPlan, SizesRectanglesAndClicksForEachDesktop) {
    const std::vector<Row> rows = {
        // An 800 x 600 game keeps its shape: bars left and right on a wide desktop, above and
        // below on a 5:4 one; clicks on the bars are held at the play area's edge.
        {"wide, 1.8 times",
         FullScreen({1920, 1080}, {800, 600}, Keep),
         "800x600",
         "1920x1080",
         true,
         "0,0,1920,1080",
         "240,0,1680,1080",
         1.8,
         1.8,
         {{240, 0, "0,0"},
          {1679, 1079, "799,599"},
          {960, 540, "400,300"},
          {100, 500, "0,278"},
          {1900, 1079, "799,599"}}},
        {"5:4, 1.6 times",
         FullScreen({1280, 1024}, {800, 600}, Keep),
         "800x600",
         "1280x1024",
         true,
         "0,0,1280,1024",
         "0,32,1280,992",
         1.6,
         1.6,
         {{0, 32, "0,0"}, {1279, 991, "799,599"}, {640, 10, "400,0"}, {640, 1020, "400,599"}}},
        {"laptop, 1.28 times",
         FullScreen({1366, 768}, {800, 600}, Keep),
         "800x600",
         "1366x768",
         true,
         "0,0,1366,768",
         "171,0,1195,768",
         1.28,
         1.28,
         {{171, 0, "0,0"}, {1194, 767, "799,599"}, {0, 384, "0,300"}}},
        // A size that is a display mode is reported as it is.
        {"listed mode",
         FullScreen({1920, 1080}, {1024, 768}, Keep, {{1920, 1080}, {1024, 768}}),
         "1024x768",
         "1024x768",
         false,
         "0,0,1920,1080",
         "240,0,1680,1080",
         1.40625,
         1.40625,
         {}},
        // Whole steps: the largest whole scale that fits, every game pixel a square of pixels.
        {"whole, 1 time",
         FullScreen({1920, 1080}, {800, 600}, Whole),
         "800x600",
         "1920x1080",
         true,
         "0,0,1920,1080",
         "560,240,1360,840",
         1,
         1,
         {{560, 240, "0,0"}, {1359, 839, "799,599"}, {0, 0, "0,0"}}},
        {"whole, 2 times",
         FullScreen({1920, 1080}, {640, 480}, Whole),
         "640x480",
         "1920x1080",
         true,
         "0,0,1920,1080",
         "320,60,1600,1020",
         2,
         2,
         {{320, 60, "0,0"}, {321, 61, "0,0"}, {322, 62, "1,1"}, {1599, 1019, "639,479"}}},
        // Stretch fills the desktop as the original host did.
        {"stretch",
         FullScreen({1920, 1080}, {800, 600}, Stretch),
         "800x600",
         "1920x1080",
         true,
         "0,0,1920,1080",
         "0,0,1920,1080",
         2.4,
         1.8,
         {{0, 0, "0,0"}, {1919, 1079, "799,599"}, {12, 9, "5,5"}}},
        // A window: the size chosen for the desktop, centred, shown one to one.
        {"window on a wide desktop",
         Windowed({1920, 1080}, {0, 0}),
         "1366x768",
         "1366x768",
         false,
         "277,156,1649,956",
         "0,0,1366,768",
         1,
         1,
         {{0, 0, "0,0"}, {1365, 767, "1365,767"}, {683, 384, "683,384"}}},
        {"configured window",
         Windowed({1280, 1024}, {800, 600}),
         "800x600",
         "800x600",
         false,
         "240,212,1046,844",
         "0,0,800,600",
         1,
         1,
         {{799, 599, "799,599"}}},
        // A configured window larger than the room a panel leaves: smaller, same shape; the
        // game keeps its coordinates.
        {"window above the work area",
         Windowed({1920, 1080}, {1920, 1080}, RECT{0, 0, 1920, 1040}),
         "1920x1080",
         "1920x1080",
         false,
         "64,0,1862,1040",
         "0,0,1792,1008",
         1792.0 / 1920,
         1008.0 / 1080,
         {{0, 0, "0,0"}, {1791, 1007, "1919,1079"}, {896, 504, "960,540"}}},
        // A size the device cannot be made at: the desktop's stands in.
        {"unusable size",
         FullScreen({1280, 1024}, {0, 0}, Keep),
         "1280x1024",
         "1280x1024",
         false,
         "0,0,1280,1024",
         "0,0,1280,1024",
         1,
         1,
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const TDisplayPlan plan = PlanDisplay(row.Request);
        EXPECT_EQ(Text(plan.Game), row.Game);
        EXPECT_EQ(Text(plan.View), row.View);
        EXPECT_EQ(plan.UseRequestedSize, row.UseRequested);
        EXPECT_EQ(Text(plan.Window), row.Window);
        EXPECT_EQ(Text(plan.Layout.Dest), row.Dest);
        EXPECT_DOUBLE_EQ(plan.Layout.ScaleX, row.ScaleX);
        EXPECT_DOUBLE_EQ(plan.Layout.ScaleY, row.ScaleY);
        for (const Click& c : row.Clicks)
            EXPECT_EQ(Text(WindowToGame(plan.Layout, c.X, c.Y)), c.Game) << c.X << "," << c.Y;
    }
}

TEST(DisplayPlan, WhatTheScriptIsToldFollowsTheModeInForce) {
    // In a window the play area is the window size, whatever the game asked for; in full
    // screen it is the size asked for, and linear filtering is on when that is not the
    // desktop's.
    TDisplayRequest r = Windowed({1280, 1024}, {0, 0});
    TDisplayPlan plan = PlanDisplay(r);
    EXPECT_EQ(Text(plan.WindowSize), "1024x768");
    EXPECT_EQ(Text(plan.WindowedView), "1024x768");
    EXPECT_TRUE(plan.AllFilter);
    r.FullScreen = true;
    plan = PlanDisplay(r);
    EXPECT_EQ(Text(plan.Game), "800x600");
    EXPECT_EQ(Text(plan.WindowSize), "1024x768");
    EXPECT_EQ(Text(plan.WindowedView), "800x600");  // splash size when no mode fits
    r.Requested = {1280, 1024};
    EXPECT_FALSE(PlanDisplay(r).AllFilter);
    for (TWindowSize bad : {TWindowSize{-800, 600}, TWindowSize{800, 0}, TWindowSize{20000, 600}}) {
        r.Requested = bad;
        plan = PlanDisplay(r);
        EXPECT_TRUE(plan.RequestedUnusable);
        EXPECT_EQ(Text(plan.Game), "1280x1024");
    }
}

TEST(DisplayPlan, APlayersResizedWindowScalesTheFrameByTheSameRules) {
    // A 1024 x 768 game in an 800 x 600 client area: the middle lands in the middle.
    TFrameLayout layout = LayOutFrame({1024, 768}, {800, 600}, Keep);
    EXPECT_EQ(Text(WindowToGame(layout, 400, 300)), "512,384");
    layout = LayOutFrame({800, 600}, {1000, 900}, Keep);
    EXPECT_EQ(Text(layout.Dest), "0,75,1000,825");
    layout = LayOutFrame({800, 600}, {1000, 900}, Whole);
    EXPECT_EQ(Text(layout.Dest), "100,150,900,750");
    // Smaller than the game: whole steps cannot fit, the shape is kept.
    layout = LayOutFrame({800, 600}, {400, 400}, Whole);
    EXPECT_EQ(Text(layout.Dest), "0,50,400,350");
    // A minimised window has no area: nothing is shown and positions hold at the origin.
    layout = LayOutFrame({800, 600}, {0, 0}, Keep);
    EXPECT_EQ(Text(layout.Dest), "0,0,0,0");
    EXPECT_EQ(Text(WindowToGame(layout, 10, 10)), "0,0");
}

TEST(DisplayPlan, EveryGamePixelIsReachedAndClicksLandOnThePixelDrawnThere) {
    const TWindowSize games[] = {{800, 600}, {1024, 768}, {640, 480}, {333, 217}};
    const TWindowSize clients[] = {{1920, 1080}, {1366, 768}, {1280, 1024}, {700, 700}};
    for (TWindowSize game : games)
        for (TWindowSize client : clients)
            for (TScaling scaling : {Keep, Whole, Stretch}) {
                const TFrameLayout l = LayOutFrame(game, client, scaling);
                SCOPED_TRACE(Text(game) + " in " + Text(client) + " " + ScalingName(scaling));
                // Along each axis the mapping never goes back and misses no game pixel where
                // the frame is enlarged.
                int32_t last = -1;
                bool gap = false;
                for (int32_t x = l.Dest.left; x < l.Dest.right; ++x) {
                    const int32_t g = WindowToGame(l, x, l.Dest.top).X;
                    ASSERT_GE(g, last);
                    if (g > last + 1) gap = true;
                    last = g;
                }
                EXPECT_EQ(last, game.Width - 1);
                // Enlarged, no game pixel is missed, and the window pixel at the centre of
                // game pixel gx maps back to it.
                if (l.ScaleX < 1) continue;
                EXPECT_FALSE(gap);
                for (int32_t gx : {0, game.Width / 3, game.Width - 1}) {
                    const double centre = l.Dest.left + (gx + 0.5) * l.ScaleX;
                    EXPECT_EQ(WindowToGame(l, int32_t(centre), l.Dest.top).X, gx);
                }
            }
}

TEST(DisplayPlan, ScalingSettingTexts) {
    EXPECT_EQ(ScalingFromText("keep"), Keep);
    EXPECT_EQ(ScalingFromText(" Whole\n"), Whole);
    EXPECT_EQ(ScalingFromText("STRETCH"), Stretch);
    EXPECT_EQ(ScalingFromText("fit"), std::nullopt);
    EXPECT_EQ(ScalingFromText(""), std::nullopt);
}

}  // namespace
}  // namespace hv
