// The surface engine on the real OpenGL device: pictures, shapes and text read back pixel by
// pixel from a window of SDL's off-screen driver.
#include <SDL.h>

#include <cstdlib>
#include <memory>

#include "engine3d/KavTextureEngine3D.h"
#include "platform/d3d9/GLDevice.h"
#include "tests/common/OffscreenVideo.h"
#include "tests/engine3d/EngineTestSupport.h"

namespace hv::test {
namespace {

constexpr int W = 160;
constexpr int H = 120;
constexpr D3DCOLOR kBlack = 0xFF000000;

class PixelTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartVideo();
        window = SDL_CreateWindow("engine test", 0, 0, W, H, SDL_WINDOW_OPENGL);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        // A configured window size makes the drawing area the window's.
        engine = std::make_unique<TKavSurfaceEngine3D>(W, H, false, W, H);
        ASSERT_EQ(engine->InitD3D(window, W, H), S_OK);
        ASSERT_TRUE(IsGLDevice(engine->Device.Get()));
    }
    void TearDown() override {
        engine.reset();
        if (window) SDL_DestroyWindow(window);
    }

    void Begin(D3DCOLOR background = kBlack) {
        engine->Device->Clear(0, nullptr, D3DCLEAR_TARGET, background, 1.0f, 0);
        engine->Device->BeginScene();
    }
    std::vector<D3DCOLOR> End() {
        engine->Device->EndScene();
        std::vector<D3DCOLOR> pixels;
        UINT w = 0, h = 0;
        EXPECT_EQ(ReadBackBuffer(engine->Device.Get(), pixels, w, h), D3D_OK);
        EXPECT_EQ(w, UINT(W));
        EXPECT_EQ(h, UINT(H));
        return pixels;
    }
    static D3DCOLOR At(const std::vector<D3DCOLOR>& f, int x, int y) {
        return f[size_t(y) * W + x];
    }

    void Picture(const std::string& name, double x, double y, double angle = 0, double scale = 1,
                 uint8_t alpha = 255, uint32_t color = 0xFFFFFF, uint8_t colorPower = 0,
                 uint8_t outputMode = 0) {
        engine->Draw(name, {.Alpha = alpha,
                            .At = {x, y},
                            .Angle = angle,
                            .ScaleX = scale,
                            .ScaleY = scale,
                            .Color = color,
                            .ColorPower = colorPower,
                            .OutputMode = outputMode});
    }
    void Load(const std::string& name, const RECT& rect) {
        engine->CreateSufaceFromTexture(name, name, rect, true, false, D3DFMT_UNKNOWN, false);
    }

    GameFolder folder;
    SDL_Window* window = nullptr;
    std::unique_ptr<TKavSurfaceEngine3D> engine;
};

// Every texel its own colour, opaque: red = x * 8, green = y * 8.
uint32_t Gradient(int x, int y) {
    return 0xFF000000u | uint32_t(x * 8) << 16 | uint32_t(y * 8) << 8 | 0x40;
}

TEST_F(PixelTest, APictureLandsTexelForTexelAtItsPlace) {
    folder.Picture("data/Textures/grad.png", 16, 16, Gradient);
    Load("grad.png", RECT{0, 0, 16, 16});
    Begin();
    Picture("grad.png", 40, 30);
    const auto f = End();
    // The default pivot puts texel (i, j) on pixel (x + 1 + i, y + 1 + j); the picture's last
    // column and row fall on the half-pixel edges and are not drawn.
    for (int j = 0; j < 15; ++j)
        for (int i = 0; i < 15; ++i)
            ASSERT_EQ(At(f, 41 + i, 31 + j), Gradient(i, j)) << i << "," << j;
    EXPECT_EQ(At(f, 40, 35), kBlack);
    EXPECT_EQ(At(f, 45, 30), kBlack);
    EXPECT_EQ(At(f, 56, 35), kBlack);
    EXPECT_EQ(At(f, 45, 46), kBlack);
}

TEST_F(PixelTest, TurnedAndScaledPicturesMoveAboutTheirCentre) {
    // Left half red, right half blue.
    folder.Picture("data/Textures/half.png", 32, 16,
                   [](int x, int) { return x < 16 ? 0xFFFF0000u : 0xFF0000FFu; });
    Load("half.png", RECT{0, 0, 32, 16});
    Begin();
    Picture("half.png", 20, 40, 90);     // a quarter turn clockwise: red on top, blue below
    Picture("half.png", 100, 40, 0, 2);  // twice the size about the centre
    const auto f = End();
    // Turned: centre (36.5, 48.5); the picture spans x 29..44, y 33..64 roughly.
    EXPECT_EQ(At(f, 36, 40), 0xFFFF0000u);
    EXPECT_EQ(At(f, 36, 58), 0xFF0000FFu);
    EXPECT_EQ(At(f, 24, 48), kBlack);
    EXPECT_EQ(At(f, 50, 48), kBlack);
    // Scaled: centre (116.5, 48.5), 64 x 32 wide: x from about 85 to 148.
    EXPECT_EQ(At(f, 88, 48), 0xFFFF0000u);
    EXPECT_EQ(At(f, 145, 48), 0xFF0000FFu);
    EXPECT_EQ(At(f, 116, 35), 0xFFFF0000u);
    EXPECT_EQ(At(f, 82, 48), kBlack);
    EXPECT_EQ(At(f, 116, 30), kBlack);
}

TEST_F(PixelTest, AlphaColourOverlayAndAdditiveBlending) {
    // Left half opaque grey, right half fully transparent.
    folder.Picture("data/Textures/shape.png", 16, 16,
                   [](int x, int) { return x < 8 ? 0xFF808080u : 0x00FFFFFFu; });
    Load("shape.png", RECT{0, 0, 16, 16});
    Begin(0xFF000040);
    Picture("shape.png", 0, 0, 0, 1, 128);                    // half transparent grey
    Picture("shape.png", 40, 0, 0, 1, 255, 0x0000FF, 0);      // tinted red
    Picture("shape.png", 80, 0, 0, 1, 255, 0x00FF00, 255);    // flat green silhouette
    Picture("shape.png", 120, 0, 0, 1, 255, 0xFFFFFF, 0, 1);  // added to the background
    const auto f = End();
    const D3DCOLOR half = At(f, 4, 4);
    EXPECT_NEAR(Red(half), 64, 2);
    EXPECT_NEAR(Blue(half), (128 + 64) / 2, 2);
    EXPECT_EQ(At(f, 44, 4), 0xFF800000u);
    EXPECT_EQ(At(f, 84, 4), 0xFF00FF00u);
    EXPECT_EQ(At(f, 90, 4), 0xFF000040u);  // the transparent half keeps the background
    const D3DCOLOR added = At(f, 124, 4);
    EXPECT_EQ(Red(added), 128);
    EXPECT_EQ(Blue(added), 128 + 64);
}

TEST_F(PixelTest, LinesRectanglesAndTrianglesUseTheirVertexColour) {
    Begin();
    engine->DrawLineShape(255, 0x0000FF, 10.5, 5, 10.5, 50, false);  // a red vertical line
    engine->DrawLineShape(255, 0xFF0000, 30, 10, 60, 30, true);      // a blue rectangle
    engine->DrawTriangleShape(255, 0x00FF00, true, 80, 10, 120, 10, 80, 50);
    const auto f = End();
    EXPECT_EQ(At(f, 10, 20), 0xFFFF0000u);
    EXPECT_EQ(At(f, 12, 20), kBlack);
    EXPECT_EQ(At(f, 45, 20), 0xFF0000FFu);
    EXPECT_EQ(At(f, 30, 10), 0xFF0000FFu);
    EXPECT_EQ(At(f, 60, 20), kBlack);
    EXPECT_EQ(At(f, 85, 15), 0xFF00FF00u);
    EXPECT_EQ(At(f, 115, 45), kBlack);
}

// The frame's own opening: the black backdrop and the outline of the play area (the frame
// loop's sequence of shape draws).
void Backdrop(TKavSurfaceEngine3D& engine) {
    engine.DrawLineShape(255, 0, 0, 0, 1366, 1024, true);
    engine.DrawLineShape(255, 0, 0, 0, 0, H, false);
    engine.DrawLineShape(255, 0, 0, 0, W, 0, false);
    engine.DrawLineShape(255, 0, W, 0, W, H, false);
    engine.DrawLineShape(255, 0, 0, H, W, H, false);
}

TEST_F(PixelTest, ShapesAfterAColourOverlayKeepTheirOwnColours) {
    // The overlay leaves stage 0 adding the texture to the factor colour; the shapes that follow
    // have no texture, so that stage is skipped and each keeps its vertex colour and alpha.
    folder.Solid("data/Textures/dot.png", 8, 8, 0xFFFFFFFF);
    Load("dot.png", RECT{0, 0, 8, 8});
    Begin(0xFF0000FF);
    Backdrop(*engine);
    Picture("dot.png", 140, 100, 0, 1, 255, 0x00FF00, 255);           // a flat green overlay
    engine->DrawLineShape(255, 0x0000FF, 10.5, 10, 10.5, 40, false);  // red line
    engine->DrawLineShape(255, 0xFF0000, 20, 10, 40, 30, true);       // blue rectangle
    engine->DrawLineShape(128, 0x00FF00, 50, 10, 70, 30, true);       // half-transparent green
    engine->DrawTriangleShape(255, 0x00FFFF, true, 80, 10, 110, 10, 80, 40);   // yellow
    engine->DrawTriangleShape(255, 0xFFFF00, false, 80, 50, 110, 50, 80, 80);  // cyan outline
    const double polygon[4][2] = {{20, 60}, {60, 60}, {60, 90}, {20, 90}};
    for (int i = 0; i < 4; ++i)  // a polygon is drawn as its closed chain of opaque lines
        engine->DrawLineShape(255, 0xFF00FF, polygon[i][0], polygon[i][1], polygon[(i + 1) % 4][0],
                              polygon[(i + 1) % 4][1], false);
    const auto f = End();
    EXPECT_EQ(At(f, 143, 103), 0xFF00FF00u);  // the overlay itself
    EXPECT_EQ(At(f, 10, 25), 0xFFFF0000u);
    EXPECT_EQ(At(f, 30, 20), 0xFF0000FFu);
    // 128/255 of green over the black backdrop.
    EXPECT_NEAR(Green(At(f, 60, 20)), 128, 1);
    EXPECT_EQ(Red(At(f, 60, 20)), 0);
    EXPECT_EQ(At(f, 85, 15), 0xFFFFFF00u);
    EXPECT_EQ(At(f, 95, 50), 0xFF00FFFFu);
    EXPECT_EQ(At(f, 40, 60), 0xFFFF00FFu);
    EXPECT_EQ(At(f, 60, 75), 0xFFFF00FFu);
    EXPECT_EQ(At(f, 40, 75), kBlack);  // inside the polygon: the backdrop
    EXPECT_EQ(At(f, 120, 60), kBlack);
}

TEST_F(PixelTest, AnOverlayEndingAFrameLeavesTheNextBackdropBlack) {
    folder.Solid("data/Textures/dot.png", 8, 8, 0xFFFFFFFF);
    Load("dot.png", RECT{0, 0, 8, 8});
    Begin(0xFF0000FF);
    Backdrop(*engine);
    Picture("dot.png", 20, 20, 0, 1, 255, 0xFFFFFF, 128);  // a grey overlay, the frame's last draw
    End();
    Begin(0xFF0000FF);
    Backdrop(*engine);
    const auto f = End();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) ASSERT_EQ(At(f, x, y), kBlack) << x << "," << y;
}

TEST_F(PixelTest, AlphaAndAdditivePicturesOverShapes) {
    // Red texels of alpha 128, and opaque white ones; a blue rectangle underneath.
    folder.Solid("data/Textures/glass.png", 8, 8, 0x80FF0000);
    folder.Solid("data/Textures/white.png", 8, 8, 0xFFFFFFFF);
    Load("glass.png", RECT{0, 0, 8, 8});
    Load("white.png", RECT{0, 0, 8, 8});
    Begin();
    engine->DrawLineShape(255, 0xFF0000, 0, 0, 160, 40, true);
    Picture("glass.png", 10, 10);                               // source alpha over
    Picture("glass.png", 30, 10, 0, 1, 255, 0xFFFFFF, 0, 1);    // added, weighted by alpha
    Picture("white.png", 50, 10, 0, 1, 64);                     // a quarter of white over
    Picture("white.png", 70, 10, 0, 1, 255, 0x00FF00, 255, 1);  // a green overlay, added
    const auto f = End();
    const D3DCOLOR over = At(f, 14, 14), added = At(f, 34, 14), quarter = At(f, 54, 14);
    // Alpha blending: source x 128/255 + destination x 127/255.
    EXPECT_NEAR(Red(over), 128, 1);
    EXPECT_NEAR(Blue(over), 127, 1);
    // Additive: source x 128/255 + destination.
    EXPECT_NEAR(Red(added), 128, 1);
    EXPECT_EQ(Blue(added), 255);
    // Vertex alpha 64 on an opaque texel.
    EXPECT_NEAR(Red(quarter), 64, 1);
    EXPECT_NEAR(Green(quarter), 64, 1);
    EXPECT_NEAR(Blue(quarter), 255, 1);
    EXPECT_EQ(At(f, 74, 14), 0xFF00FFFFu);
}

TEST_F(PixelTest, APictureAtEachFilterAndScale) {
    // Four columns of grey 0, 80, 160 and 240.
    folder.Picture("data/Textures/steps.png", 4, 4,
                   [](int x, int) { return 0xFF000000u | uint32_t(x * 80) * 0x010101u; });
    Load("steps.png", RECT{0, 0, 4, 4});
    // Doubled about its centre, the picture's quad runs from 39.5 to 45.5 and its coordinates
    // from texel 0.5 to 3.5: pixels 40 to 45 sample the texels at 0.25, 0.75, ... 2.75 (in
    // texel units from the first centre). Point sampling takes the nearest texel, linear the
    // weighted pair. Unscaled, every filter gives the texels themselves.
    const int point[6] = {0, 80, 80, 160, 160, 240};
    const int linear[6] = {20, 60, 100, 140, 180, 220};
    for (int filter = 0; filter <= 3; ++filter) {
        engine->FilterMode = filter;
        engine->MaxAnisotropy = 8;
        Begin();
        Picture("steps.png", 40, 40, 0, 2);
        Picture("steps.png", 80, 40);
        const auto f = End();
        for (int i = 0; i < 6; ++i) {
            const int expected = filter >= 2 ? linear[i] : point[i];
            EXPECT_NEAR(Red(At(f, 40 + i, 42)), expected, 1) << "filter " << filter << " " << i;
            EXPECT_EQ(At(f, 40 + i, 42), At(f, 40 + i, 43)) << "filter " << filter << " " << i;
        }
        EXPECT_EQ(At(f, 39, 42), kBlack);
        EXPECT_EQ(At(f, 46, 42), kBlack);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Red(At(f, 81 + i, 42)), 80 * i) << "filter " << filter << " " << i;
    }
}

TEST_F(PixelTest, TextIsDrawnFromItsPlace) {
    Begin();
    engine->OutText("Hello", 0xFFFFFFFF, 20, 50);
    const auto f = End();
    int lit = 0, outside = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (At(f, x, y) == kBlack) continue;
            if (x >= 20 && x < 100 && y >= 50 && y < 75)
                ++lit;
            else
                ++outside;
        }
    EXPECT_GT(lit, 20);
    EXPECT_EQ(outside, 0);
}

TEST_F(PixelTest, CorruptOrMissingPicturesDrawNothingAndSurviveADeviceReset) {
    folder.Bytes("data/Textures/broken.png", "\x89PNG\r\n\x1a\nnot really a picture");
    folder.Solid("data/Textures/ok.png", 8, 8, 0xFFFFFFFF);
    Load("broken.png", RECT{0, 0, 8, 8});
    Load("missing.png", RECT{0, 0, 8, 8});
    Load("ok.png", RECT{0, 0, 8, 8});
    ASSERT_EQ(engine->InitD3D(window, W, H), S_OK);  // textures go, surfaces stay
    Begin();
    Picture("broken.png", 10, 10);
    Picture("missing.png", 30, 10);
    Picture("ok.png", 50, 10);
    const auto f = End();
    EXPECT_EQ(At(f, 14, 14), kBlack);
    EXPECT_EQ(At(f, 34, 14), kBlack);
    EXPECT_EQ(At(f, 54, 14), 0xFFFFFFFFu);
    EXPECT_TRUE(folder.Logged("Texture not load! broken.png"));
    EXPECT_TRUE(folder.Logged("Texture not load! missing.png"));
}

}  // namespace
}  // namespace hv::test
