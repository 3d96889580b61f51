// The script's drawing and hit-test functions: what the device receives for pictures and shapes
// drawn through groups (recording device), hit tests against pictures' opaque texels, the dialog
// folder list, and one picture drawn by script text on the real OpenGL device.
#include <SDL.h>
#include <stb/stb_image_write.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "RecordedForm.h"
#include "TempFolder.h"
#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "platform/d3d9/GLDevice.h"
#include "platform/system.h"
#include "tests/common/OffscreenVideo.h"
#include "tests/common/RecordedVertices.h"
#include "tests/doubles/RecordingDevice.h"

namespace hv {
namespace {

using test::VerticesOf;

struct Pos {
    double X, Y;
};

// A vertex's position after the world matrix (row vector on the left, as Direct3D multiplies).
Pos Transform(const D3DMATRIX& m, const TVertex& v) {
    return {v.X * m._11 + v.Y * m._21 + v.Z * m._31 + m._41,
            v.X * m._12 + v.Y * m._22 + v.Z * m._32 + m._42};
}

class DrawingTest : public test::RecordedFormTest {
protected:
    void SetUp() override {
        RecordedFormTest::SetUp();
        StartForm();
        ASSERT_EQ(Engine().InitD3D(nullptr, 1024, 768), S_OK);
    }

    // A w x h PNG under data\Textures, texels 0xAARRGGBB from texel(x, y), made into the surface
    // `name` covering `rect` of it.
    void Picture(const std::string& name, int w, int h,
                 const std::function<uint32_t(int, int)>& texel, RECT rect, bool rotate = false,
                 D3DFORMAT format = D3DFMT_UNKNOWN) {
        std::vector<uint8_t> rgba(size_t(w) * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t c = texel(x, y);
                uint8_t* o = &rgba[(size_t(y) * w + x) * 4];
                o[0] = uint8_t(c >> 16), o[1] = uint8_t(c >> 8), o[2] = uint8_t(c);
                o[3] = uint8_t(c >> 24);
            }
        std::filesystem::create_directories(root / "data/Textures");
        const std::string path = (root / "data/Textures" / name).string();
        ASSERT_NE(stbi_write_png(path.c_str(), w, h, 4, rgba.data(), w * 4), 0);
        Engine().CreateSufaceFromTexture(name, name, rect, true, rotate, format, false);
        ASSERT_GE(Engine().FindSurface(name), 0);
    }
    // The draws recorded since the calls were last cleared, each with the world matrix in force.
    struct Draw {
        RecordedCall Call;
        D3DMATRIX World;
        std::vector<Pos> Positions;
        std::vector<TVertex> Vertices;
    };
    std::vector<Draw> Draws() {
        std::vector<Draw> draws;
        D3DMATRIX world{};
        world._11 = world._22 = world._33 = world._44 = 1;
        for (const RecordedCall& c : Device().Calls) {
            if (c.Name == "SetTransform" && c.Args.at(0) == D3DTS_WORLD) world = c.Matrix;
            if (c.Name != "DrawPrimitive") continue;
            Draw d{c, world, {}, VerticesOf(c)};
            for (const TVertex& v : d.Vertices) d.Positions.push_back(Transform(world, v));
            draws.push_back(d);
        }
        Device().Calls.clear();
        return draws;
    }
};

uint32_t Opaque(int, int) {
    return 0xFFFFFFFF;
}

TEST_F(DrawingTest, PictureInAGroupIsPlacedScaledAndFadedByTheGroup) {
    Picture("pic.png", 32, 16, Opaque, RECT{0, 0, 32, 16});
    Device().Calls.clear();
    // Nothing to draw: no arguments, opacity 0, no source. The first call starts the title time.
    // The clock may tick during the call; 0 means "not started yet" and is read again next call.
    const int32_t before = ElapsedMs();
    Run("DrawPicture() DrawPicture('src', 'pic.png', 'alpha', 0) DrawPicture('x', 3)");
    const int32_t after = ElapsedMs();
    EXPECT_TRUE(Draws().empty());
    EXPECT_TRUE(Logged("ShowTitleTime start"));
    if (form.FirstPictureTime != 0) {
        EXPECT_GE(form.FirstPictureTime, before);
        EXPECT_LE(form.FirstPictureTime, after);
    } else {
        EXPECT_EQ(before, 0);
    }

    Run("GroupBegin('g', 5, 7, 2, 2, 0.5) "
        "DrawPicture('src', 'pic.png', 'X', 10, 'Y', 20, 'color', 255, 'alpha', 200, "
        "'dest', 'MemorySurface', 'bump', 'b', 'unknown', 1)");
    auto draws = Draws();
    ASSERT_EQ(draws.size(), 1u);
    const auto& p = draws[0].Positions;
    ASSERT_EQ(p.size(), 4u);
    // Default pivot: the first vertex sits one pixel right of and below (x, y), then the group
    // doubles and moves it.
    EXPECT_NEAR(p[0].X, (10 + 1) * 2 + 5, 1e-4);
    EXPECT_NEAR(p[0].Y, (20 + 1) * 2 + 7, 1e-4);
    EXPECT_NEAR(p[3].X - p[0].X, 2 * 31, 1e-4);
    EXPECT_NEAR(p[3].Y - p[0].Y, 2 * 15, 1e-4);
    // Red (low byte of the script colour) at 200 x 0.5 opacity.
    EXPECT_EQ(draws[0].Vertices[0].Color, 0x64FF0000u);

    // A group opacity above 1 keeps the picture fully opaque instead of wrapping round.
    Run("GroupBegin('g', 0, 0, 1, 1, 1.5) DrawPicture('src', 'pic.png', 'alpha', 255) "
        "GroupEnd('g')");
    draws = Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].Vertices[0].Color >> 24, 255u);

    // Without a group, an explicit pivot puts the first vertex half a pixel in.
    Run("DrawPicture('src', 'pic.png', 'x', 10, 'y', 20, 'transx', 0, 'transy', 0)");
    draws = Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_NEAR(draws[0].Positions[0].X, 10.5, 1e-4);
    EXPECT_NEAR(draws[0].Positions[0].Y, 20.5, 1e-4);
}

TEST_F(DrawingTest, AngleRectAliasAndSplashReachTheEngine) {
    Picture("pic.png", 32, 16, Opaque, RECT{0, 0, 32, 16});
    // A quarter turn clockwise about the centre: the top-left corner goes to the top right.
    Run("DrawPicture('src', 'pic.png', 'angle', math.pi / 2)");
    auto draws = Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_NEAR(draws[0].Positions[0].X, 24, 1e-3);
    EXPECT_NEAR(draws[0].Positions[0].Y, -7, 1e-3);

    // "rect" last with two numbers: right and bottom read as 0. The next key follows four values.
    Run("DrawPicture('src', 'pic.png', 'rect', 2, 3)");
    draws = Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_FLOAT_EQ(draws[0].Vertices[0].U, 2.5f / 32);
    EXPECT_FLOAT_EQ(draws[0].Vertices[0].V, 3.5f / 16);
    EXPECT_FLOAT_EQ(draws[0].Vertices[3].U, -0.5f / 32);
    Run("DrawPicture('src', 'pic.png', 'rect', 1, 1, 5, 5, 'alpha', 0)");
    EXPECT_TRUE(Draws().empty());

    // An alias of the catalogue draws the picture it stands for.
    for (auto [name, link] : {std::pair{"pic.png", -1}, {"other.png", 0}, {"broken.png", 7}}) {
        tTexSurface entry;
        entry.Name = name;
        entry.LinkIndex = link;
        form.PictureCatalogue.push_back(entry);
    }
    Run("DrawPicture('src', 'other.png') DrawPicture('src', 'broken.png')");
    EXPECT_EQ(Draws().size(), 1u);
    EXPECT_TRUE(Logged("TKavSurfaceEngine3D.Draw(broken.png,...) - Src Surface does not exists!"));
    EXPECT_FALSE(Logged("Draw(other.png"));

    // A splash picture is stretched over the window's view whatever the group says.
    Engine().WindowedViewWidth = 640;
    Engine().WindowedViewHeight = 480;
    Run("GroupBegin('g', 0, 0, 3, 3) DrawPicture('src', 'pic.png', 'splash', true) "
        "GroupEnd('g')");
    draws = Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_NEAR(draws[0].World._11, 640.0 / 32, 1e-4);
    EXPECT_NEAR(draws[0].World._22, 480.0 / 16, 1e-4);
}

TEST_F(DrawingTest, LinesPolygonsAndTrianglesAreMappedThroughTheGroup) {
    Device().Calls.clear();
    Run("GroupBegin('g', 100, 50, 2, 3) DrawLine(0, 0, 10, 1) "
        "DrawLine(1, 2, 3, 4, 0x00FF00, 128, true)");
    auto draws = Draws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].Call.Text, "DrawPrimitive(D3DPT_LINESTRIP, 0, 1)");
    ASSERT_EQ(draws[0].Positions.size(), 2u);
    EXPECT_NEAR(draws[0].Positions[1].X, 120, 1e-4);
    EXPECT_NEAR(draws[0].Positions[1].Y, 53, 1e-4);
    EXPECT_EQ(draws[0].Vertices[0].Color, 0xFFFF0000u);  // default colour 255: opaque red
    EXPECT_EQ(draws[1].Call.Text, "DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2)");
    ASSERT_EQ(draws[1].Positions.size(), 4u);
    EXPECT_NEAR(draws[1].Positions[0].X, 102, 1e-4);
    EXPECT_NEAR(draws[1].Positions[2].Y, 62, 1e-4);
    EXPECT_EQ(draws[1].Vertices[0].Color, 0x8000FF00u);

    // Two points: the line and its closing twin; one point: nothing; three: a closed outline.
    Run("DrawPoligon('(0,0)(10,0)', 0xFF0000) DrawPoligon('(4,4)')");
    draws = Draws();
    ASSERT_EQ(draws.size(), 2u);
    for (const auto& d : draws) {
        EXPECT_NEAR(d.Positions[0].X, 100, 1e-4);
        EXPECT_NEAR(d.Positions[1].X, 120, 1e-4);
        EXPECT_EQ(d.Vertices[0].Color, 0xFF0000FFu);  // blue in the script's high byte
    }
    Run("GroupEnd('g') DrawPoligon('(0,0)(10,0)(10,10)')");
    draws = Draws();
    ASSERT_EQ(draws.size(), 3u);
    EXPECT_NEAR(draws[2].Positions[0].X, 0, 1e-4);
    EXPECT_NEAR(draws[2].Positions[1].X, 10, 1e-4);
    EXPECT_NEAR(draws[2].Positions[1].Y, 10, 1e-4);

    Run("GroupBegin('t', 1, 2, 2, 2) DrawTriangle(0, 0, 10, 0, 0, 10, 0xFFFFFF, 64, true) "
        "DrawTriangle(0, 0, 1, 1, 2, 0)");
    draws = Draws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].Call.Text, "DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 1)");
    EXPECT_NEAR(draws[0].Positions[1].X, 21, 1e-4);
    EXPECT_NEAR(draws[0].Positions[2].Y, 22, 1e-4);
    EXPECT_EQ(draws[0].Vertices[0].Color, 0x40FFFFFFu);
    EXPECT_EQ(draws[1].Vertices[0].Color, 0xFFFF0000u);

    // Text ignores the group and is opaque white.
    Run("OutTextXY('Score', 12, 34.5)");
    EXPECT_EQ(
        Device().Texts("ID3DXFont::DrawTextA"),
        std::vector<std::string>{"ID3DXFont::DrawTextA(\"Score\", 12, 34, 0, 0, 256, 0xFFFFFFFF)"});
}

TEST_F(DrawingTest, PointsOnAPictureCountWhereItsTexelsAreOpaque) {
    // Left half opaque, right half faint (alpha 0x40).
    Picture(
        "hit.png", 32, 32, [](int x, int) { return x < 16 ? 0xFF000000u : 0x40FFFFFFu; },
        RECT{0, 0, 32, 32});
    Run("r = {InsidePicture('hit.png', 100, 100, 95, 110), "  // 5 left: reaches column 0
        "InsidePicture('hit.png', 100, 100, 89, 110), "       // 11 left: out of reach
        "InsidePicture('hit.png', 100, 100, 130, 110), "      // over the faint half only
        "InsidePicture('hit.png', 100, 100, 130, 110, 10, 63), "
        "InsidePicture('hit.png', 100, 100, 130, 110, 0, -1), "
        "InsidePicture('hit.png', 100, 100, 140, 110, 2, -1), "  // beyond the right edge
        "InsidePicture('nothing.png', 0, 0, 1, 1, 10, -1), "
        "InsidePicture('hit.png', 0, 0, 19, 20, 3.5)} "  // radius 4 reaches column 15
        "for i = 1, 8 do r[i] = tostring(r[i]) end");
    EXPECT_EQ(Eval("table.concat(r, ' ')"), "true false false true true false false true");

    // A picture stored turned: on screen it is 8 wide and 16 high; its texture rectangle's
    // right column is the top row on screen.
    Picture(
        "turned.png", 16, 8, [](int x, int) { return x == 15 ? 0xFF000000u : 0u; },
        RECT{0, 0, 16, 8}, true);
    EXPECT_TRUE(form.GetAlphaFromSurf("turned.png", 7, 0, 0, 102));
    EXPECT_TRUE(form.GetAlphaFromSurf("turned.png", 0, 0, 0, 102));
    EXPECT_FALSE(form.GetAlphaFromSurf("turned.png", 0, 1, 0, 102));
    EXPECT_FALSE(form.GetAlphaFromSurf("turned.png", 3, 15, 0, 102));

    // 16-bit texels are read with their own four-bit alpha.
    Picture(
        "small.png", 16, 16, [](int x, int) { return x < 8 ? 0xFF000000u : 0x10000000u; },
        RECT{0, 0, 16, 16}, false, D3DFMT_A4R4G4B4);
    EXPECT_TRUE(form.GetAlphaFromSurf("small.png", 2, 2, 0, 254));
    EXPECT_FALSE(form.GetAlphaFromSurf("small.png", 12, 2, 0, 102));
    EXPECT_TRUE(form.GetAlphaFromSurf("small.png", 12, 2, 0, 0));

    // A texture that cannot be read over the picture's rectangle counts as a hit, with an error.
    Picture("wide.png", 16, 16, Opaque, RECT{0, 0, 64, 16});
    EXPECT_TRUE(form.GetAlphaFromSurf("wide.png", 40, 4, 0, 102));
    EXPECT_TRUE(Logged("TGame.GetAlphaFromSurf(wide.png, 40, 4)"));
    // Without its texture the picture is never hit.
    Engine().RemoveSurface("hit.png");
    Engine().CreateSufaceFromTexture("hit.png", "hit.png", RECT{0, 0, 32, 32}, false, false,
                                     D3DFMT_UNKNOWN, false);
    EXPECT_FALSE(form.GetAlphaFromSurf("hit.png", 4, 4, 10, -1));
}

TEST_F(DrawingTest, RectanglesSizesCentresAndSmallFunctions) {
    Picture("pic.png", 32, 16, Opaque, RECT{0, 0, 20, 12});
    Run("r = {InsideRect(10, 20, 10, 20, 5, 5), InsideRect(15, 25, 10, 20, 5, 5), "
        "InsideRect(16, 25, 10, 20, 5, 5), InsideRect(12, 19, 10, 20, 5, 5), "
        "InsideRect(2147483647, 0, 2147483000, 0, 1000, 0)} "
        "for i = 1, 5 do r[i] = tostring(r[i]) end");
    EXPECT_EQ(Eval("table.concat(r, ' ')"), "true true false false true");
    Run("w, h = GetPictureSize('pic.png') w2, h2 = GetPictureSize('PIC.png')");
    EXPECT_EQ(Eval("w .. 'x' .. h .. ' ' .. w2 .. 'x' .. h2"), "20x12 0x0");
    Run("cx, cy = GetMassCenter('(0,0)(3,0)(0,5)') ex, ey = GetMassCenter('')");
    EXPECT_EQ(Eval("cx .. ',' .. cy .. ' ' .. ex .. ',' .. ey"), "1,2 0,0");
    Run("SetCurrentBack('room.png') SetCurrentBack() CopyAlphaChannel() "
        "ConvertSurfaceToNormalMap()");
    EXPECT_EQ(form.CurrentBack, "room.png");
}

TEST_F(DrawingTest, DialogListNamesTheHistorySubFolders) {
    // The program's folder is fixed by its first use in this process; it may be gone by now.
    const std::filesystem::path exeDir = ExeDir();
    const bool exeDirExisted = std::filesystem::exists(exeDir);
    const std::filesystem::path history = exeDir / "History";
    ASSERT_FALSE(std::filesystem::exists(history)) << history;
    EXPECT_EQ(Eval("GetDialogList()"), "");
    std::filesystem::create_directories(history / "A");
    std::filesystem::create_directories(history / "B");
    std::ofstream(history / "save.txt") << "x";
    const std::string list = Eval("GetDialogList()");
    std::filesystem::remove_all(exeDirExisted ? history : exeDir);
    EXPECT_TRUE(list == "A;B;" || list == "B;A;") << list;
}

// ---- The real OpenGL device ----

constexpr int W = 160;
constexpr int H = 120;

class DrawingPixelTest : public test::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        test::StartVideo();
        window = SDL_CreateWindow("drawing test", 0, 0, W, H, SDL_WINDOW_OPENGL);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        SetDesktopSizeQuery([] { return TWindowSize{1024, 768}; });
        FullScreenFlag = 0;
        form.FormCreate();
        form.StartScriptEngine();
        form.KavSurfaceEngine3D = std::make_unique<TKavSurfaceEngine3D>(W, H, false, W, H);
        ASSERT_EQ(form.KavSurfaceEngine3D->InitD3D(window, W, H), S_OK);
        ASSERT_TRUE(IsGLDevice(form.KavSurfaceEngine3D->Device.Get()));
    }
    void TearDown() override {
        form.KavSurfaceEngine3D.reset();
        if (window) SDL_DestroyWindow(window);
        SetDesktopSizeQuery(nullptr);
        TempFolderTest::TearDown();
    }

    SDL_Window* window = nullptr;
    TMainForm form;
};

TEST_F(DrawingPixelTest, ScriptDrawsAPictureThroughAGroup) {
    // Left half red, right half blue, opaque.
    std::vector<uint8_t> rgba(16 * 16 * 4);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t* o = &rgba[size_t(y * 16 + x) * 4];
            o[0] = x < 8 ? 255 : 0, o[1] = 0, o[2] = x < 8 ? 0 : 255, o[3] = 255;
        }
    std::filesystem::create_directories(root / "data/Textures");
    ASSERT_NE(stbi_write_png((root / "data/Textures/rb.png").string().c_str(), 16, 16, 4,
                             rgba.data(), 64),
              0);
    TKavSurfaceEngine3D& engine = *form.KavSurfaceEngine3D;
    engine.CreateSufaceFromTexture("rb.png", "rb.png", RECT{0, 0, 16, 16}, true, false,
                                   D3DFMT_UNKNOWN, false);
    engine.Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    engine.Device->BeginScene();
    ASSERT_EQ(form.ScriptEngine->RunString(
                  "GroupBegin('g', 20, 10, 2, 2) DrawPicture('src', 'rb.png', 'x', 10, 'y', 5) "
                  "GroupEnd('g')"),
              0);
    engine.Device->EndScene();
    std::vector<D3DCOLOR> f;
    UINT w = 0, h = 0;
    ASSERT_EQ(ReadBackBuffer(engine.Device.Get(), f, w, h), D3D_OK);
    ASSERT_EQ(w, UINT(W));
    auto at = [&](int x, int y) { return f[size_t(y) * W + x]; };
    // The picture spans (10 + 1) * 2 + 20 = 42 to 42 + 30 across, (5 + 1) * 2 + 10 = 22 down.
    EXPECT_EQ(at(45, 30), 0xFFFF0000u);
    EXPECT_EQ(at(68, 30), 0xFF0000FFu);
    EXPECT_EQ(at(45, 48), 0xFFFF0000u);
    EXPECT_EQ(at(39, 30), 0xFF000000u);
    EXPECT_EQ(at(76, 30), 0xFF000000u);
    EXPECT_EQ(at(45, 19), 0xFF000000u);
    EXPECT_EQ(at(45, 55), 0xFF000000u);
}

}  // namespace
}  // namespace hv
