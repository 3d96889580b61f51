// The OpenGL device against Direct3D 9's rules, pixel by pixel.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/device/DeviceFixture.h"

namespace hv::test {
namespace {

constexpr D3DCOLOR kBlack = 0xFF000000;

TEST_F(DeviceTest, ClearFillsTheBackBufferAndOnlyTheGivenRectangles) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF336699, 1.0f, 0),
              D3D_OK);
    auto f = Frame();
    EXPECT_TRUE(std::all_of(f.begin(), f.end(), [](D3DCOLOR c) { return c == 0xFF336699; }));

    D3DRECT r{10, 20, 30, 25};
    ASSERT_EQ(device->Clear(1, &r, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    f = Frame();
    EXPECT_EQ(At(f, 10, 20), 0xFFFF0000u);
    EXPECT_EQ(At(f, 29, 24), 0xFFFF0000u);
    EXPECT_EQ(At(f, 30, 24), 0xFF336699u);
    EXPECT_EQ(At(f, 29, 25), 0xFF336699u);
    EXPECT_EQ(At(f, 9, 20), 0xFF336699u);

    // Rectangles are clipped to the back buffer; empty and inverted ones clear nothing.
    const D3DRECT rects[3] = {{W - 5, H - 5, W + 50, H + 50}, {60, 60, 60, 70}, {80, 80, 70, 90}};
    ASSERT_EQ(device->Clear(3, rects, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    f = Frame();
    EXPECT_EQ(At(f, W - 1, H - 1), 0xFF00FF00u);
    EXPECT_EQ(At(f, W - 6, H - 1), 0xFF336699u);
    EXPECT_EQ(At(f, 60, 65), 0xFF336699u);
    EXPECT_EQ(At(f, 75, 85), 0xFF336699u);

    // A count of 0 with a list clears nothing; a count without a list clears everything.
    ASSERT_EQ(device->Clear(0, &r, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
    f = Frame();
    EXPECT_EQ(At(f, 10, 20), 0xFFFF0000u);
    EXPECT_EQ(At(f, 50, 50), 0xFF336699u);
    ASSERT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
    f = Frame();
    EXPECT_TRUE(std::all_of(f.begin(), f.end(), [](D3DCOLOR c) { return c == 0xFF0000FF; }));

    // Without D3DCLEAR_TARGET the back buffer keeps its colours; colour write masks do not
    // apply to clearing.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
    EXPECT_EQ(At(Frame(), 5, 5), 0xFF0000FFu);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0), D3D_OK);
    EXPECT_EQ(At(Frame(), 5, 5), 0xFF123456u);
}

TEST_F(DeviceTest, TexturedQuadAtOneToOneIsExactTexelForTexel) {
    std::mt19937 random(7);
    std::vector<D3DCOLOR> texels(32 * 32);
    for (D3DCOLOR& t : texels) t = 0xFF000000u | (random() & 0xFFFFFF);
    IDirect3DTexture9* texture =
        MakeTexture(32, 32, [&](int x, int y) { return texels[size_t(y) * 32 + x]; });
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    device->BeginScene();

    // Direct3D's own 1:1 mapping: corners half a pixel out, texture coordinates on texel edges.
    const int w = 12, h = 10, x = 20, y = 30;
    IDirect3DVertexBuffer9* exact =
        MakeBuffer({{x - 0.5f, y - 0.5f, 1, 0xFFFFFFFF, 0, 0},
                    {x - 0.5f, y + h - 0.5f, 1, 0xFFFFFFFF, 0, h / 32.0f},
                    {x + w - 0.5f, y - 0.5f, 1, 0xFFFFFFFF, w / 32.0f, 0},
                    {x + w - 0.5f, y + h - 0.5f, 1, 0xFFFFFFFF, w / 32.0f, h / 32.0f}});
    DrawPicture(texture, exact, Translation(0, 0));

    // The engine's picture with its default pivot: corners at integer pixels, edges on pixel
    // centres. The left and top edges take their pixels, the right and bottom ones do not.
    const int ex = 60, ey = 30;
    IDirect3DVertexBuffer9* engine = MakeBuffer(PictureQuad(w, h, 32, 32));
    DrawPicture(texture, engine, Translation(ex + 0.5f, ey + 0.5f));
    device->EndScene();

    const auto f = Frame();
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            ASSERT_EQ(At(f, x + i, y + j), texels[size_t(j) * 32 + i]) << i << "," << j;
    EXPECT_EQ(At(f, x - 1, y), kBlack);
    EXPECT_EQ(At(f, x + w, y), kBlack);
    EXPECT_EQ(At(f, x, y + h), kBlack);
    for (int j = 1; j < h; ++j)
        for (int i = 1; i < w; ++i)
            ASSERT_EQ(At(f, ex + i, ey + j), texels[size_t(j - 1) * 32 + (i - 1)]) << i << "," << j;
    for (int k = 0; k <= w; ++k) EXPECT_EQ(At(f, ex + k, ey), kBlack) << k;
    for (int k = 0; k <= h; ++k) EXPECT_EQ(At(f, ex, ey + k), kBlack) << k;
    EXPECT_EQ(At(f, ex + w, ey + 5), kBlack);
    EXPECT_EQ(At(f, ex + 5, ey + h), kBlack);
    exact->Release();
    engine->Release();
    texture->Release();
}

// Presenting shows the back buffer upright in the window, under either pixel convention (one
// keeps the buffer upside down): whole, and a part of it stretched over a part of the window.
class PresentTest : public DeviceTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        if (GetParam()) setenv("HV_D3D_OFFSET_SAMPLES", "1", 1);
        DeviceTest::SetUp();
        unsetenv("HV_D3D_OFFSET_SAMPLES");
    }
    std::vector<D3DCOLOR> Presented() {
        std::vector<D3DCOLOR> pixels;
        UINT w = 0, h = 0;
        EXPECT_EQ(ReadPresentedFrame(device, pixels, w, h), D3D_OK);
        EXPECT_EQ(w, UINT(W));
        EXPECT_EQ(h, UINT(H));
        return pixels;
    }
};

TEST_P(PresentTest, TheWindowShowsTheBackBufferUpright) {
    // Four coloured quarters and a white pixel near the top-left corner.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    const D3DRECT quarters[3] = {{0, 0, W / 2, H / 2}, {W / 2, 0, W, H / 2}, {0, H / 2, W / 2, H}};
    const D3DCOLOR colours[3] = {0xFFFF0000, 0xFF00FF00, 0xFFFFFF00};
    for (int i = 0; i < 3; ++i) device->Clear(1, &quarters[i], D3DCLEAR_TARGET, colours[i], 1, 0);
    const D3DRECT dot{3, 2, 4, 3};
    device->Clear(1, &dot, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    const auto back = Frame();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(Presented(), back);

    // The back buffer's top-left 40 x 60 at twice its size over the window's left half: each
    // pixel a sharp 2 x 2 square, and black beside it.
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    SetEngineStates();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    for (int i = 0; i < 3; ++i) device->Clear(1, &quarters[i], D3DCLEAR_TARGET, colours[i], 1, 0);
    device->Clear(1, &dot, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    const auto drawn = Frame();
    const RECT source{0, 0, 40, 60}, dest{0, 0, 80, 120};
    ASSERT_EQ(device->Present(&source, &dest, nullptr, nullptr), D3D_OK);
    const auto f = Presented();
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 80; ++x) {
            const D3DCOLOR want = (x / 2 == 3 && y / 2 == 2) ? 0xFFFFFFFFu : 0xFFFF0000u;
            ASSERT_EQ(At(f, x, y), want) << x << "," << y;
        }
    EXPECT_EQ(At(f, 100, 10), kBlack);  // outside the destination
    // The copying swap chain's back buffer is still the frame as drawn, whichever buffer it is.
    EXPECT_EQ(Frame(), drawn);
}

INSTANTIATE_TEST_SUITE_P(Conventions, PresentTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "OffsetSamples" : "Probed"; });

// The pixel-centre checks run on the device as the driver probe set it up, and again with the
// sample point moved off the centre (the set-up for drivers that fill unlike Direct3D).
class PixelCentreTest : public DeviceTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        if (GetParam()) setenv("HV_D3D_OFFSET_SAMPLES", "1", 1);
        DeviceTest::SetUp();
        unsetenv("HV_D3D_OFFSET_SAMPLES");
    }
};

TEST_P(PixelCentreTest, TexelsAndColoursAreTakenAtPixelCentres) {
    // Alternate white and black columns; with linear filtering any sample off a texel centre
    // mixes in a neighbour, and with wrapping the last column would reach the first.
    IDirect3DTexture9* texture =
        MakeTexture(8, 8, [](int x, int) { return x % 2 ? 0xFF000000u : 0xFFFFFFFFu; });
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF808080, 1.0f, 0);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    // Direct3D's direct mapping: corners half a pixel out, coordinates 0 to 1.
    IDirect3DVertexBuffer9* exact = MakeBuffer({{9.5f, 9.5f, 1, 0xFFFFFFFF, 0, 0},
                                                {9.5f, 17.5f, 1, 0xFFFFFFFF, 0, 1},
                                                {17.5f, 9.5f, 1, 0xFFFFFFFF, 1, 0},
                                                {17.5f, 17.5f, 1, 0xFFFFFFFF, 1, 1}});
    Draw(exact, D3DPT_TRIANGLESTRIP, 2);
    // A vertex-colour ramp of 85 per pixel: red 0, 85, 170 at the centres of pixels 40 to 42.
    device->SetTexture(0, nullptr);
    IDirect3DVertexBuffer9* ramp = MakeBuffer({{40, 10, 1, 0xFF000000, 0, 0},
                                               {40, 13, 1, 0xFF000000, 0, 0},
                                               {43, 10, 1, 0xFFFF0000, 0, 0},
                                               {43, 13, 1, 0xFFFF0000, 0, 0}});
    Draw(ramp, D3DPT_TRIANGLESTRIP, 2);
    IDirect3DVertexBuffer9* down = MakeBuffer({{50, 10, 1, 0xFF000000, 0, 0},
                                               {50, 13, 1, 0xFF0000FF, 0, 0},
                                               {53, 10, 1, 0xFF000000, 0, 0},
                                               {53, 13, 1, 0xFF0000FF, 0, 0}});
    Draw(down, D3DPT_TRIANGLESTRIP, 2);
    const auto f = Frame();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(At(f, 10 + x, 10 + y), x % 2 ? 0xFF000000u : 0xFFFFFFFFu) << x << "," << y;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Red(At(f, 40 + i, 11)), 85 * i) << i;
        EXPECT_EQ(Blue(At(f, 51, 10 + i)), 85 * i) << i;
    }
    exact->Release();
    ramp->Release();
    down->Release();
    texture->Release();
}

TEST_P(PixelCentreTest, CentresOnEdgesGoToTopAndLeftEdges) {
    // Direct3D's own examples: the triangles (0,0) (5,0) (5,5) and (0,5) (0,0) (5,5) share a
    // diagonal through five centres; it is the first one's left edge, so the first gets 15
    // pixels and the second 10. Here both are moved by (20, 20).
    const D3DCOLOR a = 0xFFFF0000, b = 0xFF00FF00, c = 0xFF0000FF;
    IDirect3DVertexBuffer9* pair = MakeBuffer({{20, 20, 1, a, 0, 0},
                                               {25, 20, 1, a, 0, 0},
                                               {25, 25, 1, a, 0, 0},
                                               {20, 25, 1, b, 0, 0},
                                               {20, 20, 1, b, 0, 0},
                                               {25, 25, 1, b, 0, 0}});
    // The rectangle (1,1) to (3,5), cut into four triangles about its centre (2,3), covers the
    // same pixels as the rectangle (0.5,0.5) to (2.5,4.5): columns 1 and 2, rows 1 to 4.
    IDirect3DVertexBuffer9* cut = MakeBuffer({{41, 21, 1, c, 0, 0},
                                              {43, 21, 1, c, 0, 0},
                                              {42, 23, 1, c, 0, 0},
                                              {43, 21, 1, c, 0, 0},
                                              {43, 25, 1, c, 0, 0},
                                              {42, 23, 1, c, 0, 0},
                                              {43, 25, 1, c, 0, 0},
                                              {41, 25, 1, c, 0, 0},
                                              {42, 23, 1, c, 0, 0},
                                              {41, 25, 1, c, 0, 0},
                                              {41, 21, 1, c, 0, 0},
                                              {42, 23, 1, c, 0, 0}});
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    device->SetTexture(0, nullptr);
    Draw(pair, D3DPT_TRIANGLELIST, 2);
    Draw(cut, D3DPT_TRIANGLELIST, 4);
    const auto f = Frame();
    int first = 0, second = 0, rest = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < 35; ++x) {
            const D3DCOLOR p = At(f, x, y);
            first += p == a;
            second += p == b;
            rest += p != a && p != b && p != kBlack;
        }
    EXPECT_EQ(first, 15);
    EXPECT_EQ(second, 10);
    EXPECT_EQ(rest, 0);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(At(f, 20 + k, 20 + k), a) << k;
    for (int y = 19; y <= 26; ++y)
        for (int x = 39; x <= 44; ++x) {
            const bool inside = x >= 41 && x <= 42 && y >= 21 && y <= 24;
            EXPECT_EQ(At(f, x, y), inside ? c : kBlack) << x << "," << y;
        }
    pair->Release();
    cut->Release();
}

INSTANTIATE_TEST_SUITE_P(Conventions, PixelCentreTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "OffsetSamples" : "Probed";
                         });

TEST_F(DeviceTest, ColourModesModulateOrPaintFlatKeepingTheShape) {
    // Left half an opaque colour, right half transparent.
    IDirect3DTexture9* texture = MakeTexture(
        16, 16, [](int x, int) { return x < 8 ? D3DCOLOR_ARGB(255, 200, 100, 50) : 0x00FFFFFFu; });
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device->BeginScene();
    IDirect3DVertexBuffer9* tinted =
        MakeBuffer(PictureQuad(16, 16, 16, 16, D3DCOLOR_ARGB(255, 128, 255, 0)));
    DrawPicture(texture, tinted, Translation(10.5f, 10.5f));
    IDirect3DVertexBuffer9* white = MakeBuffer(PictureQuad(16, 16, 16, 16));
    DrawPicture(texture, white, Translation(40.5f, 10.5f), 128, 0x808080);
    IDirect3DVertexBuffer9* half = MakeBuffer(PictureQuad(16, 16, 16, 16, 0x80FFFFFF));
    DrawPicture(texture, half, Translation(70.5f, 10.5f), 128, 0x808080);
    device->EndScene();
    const auto f = Frame();

    const D3DCOLOR t = At(f, 14, 14);  // texel x vertex colour
    EXPECT_NEAR(Red(t), 200 * 128 / 255, 1);
    EXPECT_NEAR(Green(t), 100, 1);
    EXPECT_EQ(Blue(t), 0);
    EXPECT_EQ(At(f, 22, 14), 0xFF0000FFu);  // transparent half shows the background

    EXPECT_EQ(At(f, 44, 14), 0xFF808080u);  // flat factor colour where the picture is opaque
    EXPECT_EQ(At(f, 52, 14), 0xFF0000FFu);  // and nothing where it is transparent
    const D3DCOLOR h = At(f, 74, 14);       // vertex alpha still applies
    EXPECT_NEAR(Red(h), 64, 1);
    EXPECT_NEAR(Blue(h), 128 + 63, 2);
    tinted->Release();
    white->Release();
    half->Release();
    texture->Release();
}

TEST_F(DeviceTest, AlphaBlendingMixesAndAdditiveBlendingAdds) {
    IDirect3DTexture9* texture =
        MakeTexture(8, 8, [](int, int) { return D3DCOLOR_ARGB(128, 200, 0, 0); });
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(100, 100, 100), 1.0f, 0);
    device->BeginScene();
    IDirect3DVertexBuffer9* vb = MakeBuffer(PictureQuad(8, 8, 8, 8));
    DrawPicture(texture, vb, Translation(10.5f, 10.5f), 0, 0, 0);
    DrawPicture(texture, vb, Translation(30.5f, 10.5f), 0, 0, 1);
    device->EndScene();
    const auto f = Frame();
    const D3DCOLOR a = At(f, 13, 13), b = At(f, 33, 13);
    EXPECT_NEAR(Red(a), 150, 1);
    EXPECT_NEAR(Green(a), 50, 1);
    EXPECT_NEAR(Red(b), 200, 1);
    EXPECT_NEAR(Green(b), 100, 1);
    vb->Release();
    texture->Release();
}

// Lit pixels' bounding box: left, top, right, bottom (inclusive).
std::array<int, 4> LitBox(const std::vector<D3DCOLOR>& f, int w, int h) {
    std::array<int, 4> box{w, h, -1, -1};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((f[size_t(y) * w + x] & 0xFFFFFF) != 0) {
                box[0] = std::min(box[0], x);
                box[1] = std::min(box[1], y);
                box[2] = std::max(box[2], x);
                box[3] = std::max(box[3], y);
            }
    return box;
}

TEST_F(DeviceTest, RotationAndScalingTurnAboutThePivot) {
    IDirect3DTexture9* texture = MakeTexture(4, 4, [](int, int) { return 0xFFFFFFFFu; });
    IDirect3DVertexBuffer9* vb = MakeBuffer({{0, 0, 1, 0xFFFFFFFF, 0, 0},
                                             {0, 10, 1, 0xFFFFFFFF, 0, 1},
                                             {20, 0, 1, 0xFFFFFFFF, 1, 0},
                                             {20, 10, 1, 0xFFFFFFFF, 1, 1}});
    // The 20 x 10 picture turned a quarter about its centre, placed with the centre at (50, 40).
    auto about = [](const D3DXMATRIX& m) {
        D3DXMATRIX in, out, at;
        D3DXMatrixTranslation(&in, -10, -5, 0);
        D3DXMatrixTranslation(&out, 10, 5, 0);
        D3DXMatrixTranslation(&at, 40, 35, 0);
        return in * m * out * at;
    };
    D3DXMATRIX turn, scale;
    D3DXMatrixRotationZ(&turn, float(M_PI / 2));
    D3DXMatrixScaling(&scale, 2, 3, 0);

    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    DrawPicture(texture, vb, about(turn));
    EXPECT_EQ(LitBox(Frame(), W, H), (std::array<int, 4>{45, 30, 54, 49}));

    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    DrawPicture(texture, vb, about(scale));
    EXPECT_EQ(LitBox(Frame(), W, H), (std::array<int, 4>{30, 25, 69, 54}));

    // A positive angle turns clockwise on screen: the top-left corner rises, the top-right
    // corner sinks.
    D3DXMATRIX small;
    D3DXMatrixRotationZ(&small, 0.3f);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    DrawPicture(texture, vb, about(small));
    const auto f = Frame();
    EXPECT_NE(At(f, 43, 33) & 0xFFFFFF, 0u);
    EXPECT_EQ(At(f, 57, 33) & 0xFFFFFF, 0u);
    vb->Release();
    texture->Release();
}

TEST_F(DeviceTest, CullingDropsTheFacesItNamesAndKeepsTheOthers) {
    // Screen y runs down: (20, 10) -> (50, 10) -> (20, 40) turns clockwise on screen.
    const D3DCOLOR red = 0xFFFF0000, green = 0xFF00FF00;
    IDirect3DVertexBuffer9* clockwise =
        MakeBuffer({{20, 10, 1, red, 0, 0}, {50, 10, 1, red, 0, 0}, {20, 40, 1, red, 0, 0}});
    IDirect3DVertexBuffer9* counter =
        MakeBuffer({{80, 10, 1, green, 0, 0}, {80, 40, 1, green, 0, 0}, {110, 10, 1, green, 0, 0}});
    // A strip's second triangle keeps the first one's facing.
    IDirect3DVertexBuffer9* strip = MakeBuffer({{20, 60, 1, red, 0, 0},
                                                {50, 60, 1, red, 0, 0},
                                                {20, 90, 1, red, 0, 0},
                                                {50, 90, 1, red, 0, 0}});
    device->SetTexture(0, nullptr);
    struct Case {
        DWORD cull;
        bool clockwiseDrawn, counterDrawn;
    };
    for (const Case c : {Case{D3DCULL_CCW, true, false}, Case{D3DCULL_CW, false, true},
                         Case{D3DCULL_NONE, true, true}}) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        device->SetRenderState(D3DRS_CULLMODE, c.cull);
        Draw(clockwise, D3DPT_TRIANGLELIST, 1);
        Draw(counter, D3DPT_TRIANGLELIST, 1);
        Draw(strip, D3DPT_TRIANGLESTRIP, 2);
        const auto f = Frame();
        EXPECT_EQ(At(f, 25, 15), c.clockwiseDrawn ? red : kBlack) << c.cull;
        EXPECT_EQ(At(f, 85, 15), c.counterDrawn ? green : kBlack) << c.cull;
        EXPECT_EQ(At(f, 25, 65), c.clockwiseDrawn ? red : kBlack) << c.cull;
        EXPECT_EQ(At(f, 45, 85), c.clockwiseDrawn ? red : kBlack) << c.cull;
    }
    // Culling is Direct3D's default state.
    DWORD cull = 0;
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    device->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, DWORD(D3DCULL_CCW));
    clockwise->Release();
    counter->Release();
    strip->Release();
}

TEST_F(DeviceTest, LineStripsTakeTheirLastPixelAndFansFillExactly) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    device->SetTexture(0, nullptr);
    IDirect3DVertexBuffer9* strip = MakeBuffer({{10, 10, 1, 0xFFFFFFFF, 0, 0},
                                                {30, 10, 1, 0xFFFFFFFF, 0, 0},
                                                {30, 20, 1, 0xFFFFFFFF, 0, 0}});
    Draw(strip, D3DPT_LINESTRIP, 2);
    IDirect3DVertexBuffer9* fan = MakeBuffer({{40, 40, 1, 0xFF00FF00, 0, 0},
                                              {60, 40, 1, 0xFF00FF00, 0, 0},
                                              {60, 50, 1, 0xFF00FF00, 0, 0},
                                              {40, 50, 1, 0xFF00FF00, 0, 0}});
    Draw(fan, D3DPT_TRIANGLEFAN, 2);
    auto f = Frame();
    for (int x = 10; x <= 30; ++x) EXPECT_EQ(At(f, x, 10), 0xFFFFFFFFu) << x;
    for (int y = 10; y <= 20; ++y) EXPECT_EQ(At(f, 30, y), 0xFFFFFFFFu) << y;
    EXPECT_EQ(At(f, 9, 10), kBlack);
    EXPECT_EQ(At(f, 31, 10), kBlack);
    EXPECT_EQ(At(f, 30, 21), kBlack);
    EXPECT_EQ(At(f, 20, 11), kBlack);
    int lit = 0;
    for (D3DCOLOR c : f) lit += c == 0xFF00FF00u;
    EXPECT_EQ(lit, 20 * 10);
    EXPECT_EQ(LitBox(
                  [&] {
                      auto g = f;
                      for (D3DCOLOR& c : g) c = c == 0xFF00FF00u ? c : kBlack;
                      return g;
                  }(),
                  W, H),
              (std::array<int, 4>{40, 40, 59, 49}));

    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    device->SetRenderState(D3DRS_LASTPIXEL, 0);
    Draw(strip, D3DPT_LINESTRIP, 2);
    f = Frame();
    EXPECT_EQ(At(f, 30, 19), 0xFFFFFFFFu);
    EXPECT_EQ(At(f, 30, 20), kBlack);
    strip->Release();
    fan->Release();
}

// A device with two textures, a picture's quad and a few lines, and a frame of the engine's mix
// of pictures, flat colours, additive blending, turns, scales, filters, lines and fans.
class MixedSceneTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        if (HasFatalFailure()) return;
        a = MakeTexture(32, 32, [](int x, int y) {
            return D3DCOLOR_ARGB((x * 8) & 0xFF, (x * 8) & 0xFF, (y * 8) & 0xFF, 90);
        });
        b = MakeTexture(
            32, 32, [](int x, int y) { return ((x / 4 + y / 4) % 2) ? 0xFFFFFFFFu : 0x80FF0000u; });
        quad = MakeBuffer(PictureQuad(24, 16, 32, 32, 0xC0FFFFFF));
        lines = MakeBuffer({{5, 5, 1, 0x80FFFF00, 0, 0},
                            {150, 20, 1, 0x80FFFF00, 0, 0},
                            {100, 110, 1, 0x8000FFFF, 0, 0},
                            {3, 90, 1, 0x80FF00FF, 0, 0}});
    }
    void TearDown() override {
        for (IUnknown* r : std::initializer_list<IUnknown*>{quad, lines, a, b})
            if (r) r->Release();
        DeviceTest::TearDown();
    }
    void DrawMixedScene() {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0);
        device->BeginScene();
        for (int i = 0; i < 60; ++i) {
            D3DXMATRIX turn, scale, at;
            D3DXMatrixRotationZ(&turn, 0.13f * float(i));
            D3DXMatrixScaling(&scale, 1.0f + 0.05f * float(i % 7), 1.0f, 0);
            D3DXMatrixTranslation(&at, float(i * 37 % 140), float(i * 23 % 100), 0);
            const D3DXMATRIX world = turn * scale * at;
            IDirect3DTexture9* tex = (i / 5) % 2 ? a : b;
            DrawPicture(tex, quad, world, (i % 9 == 0) ? 200 : 0, 0x00FF8040, (i % 4 == 0) ? 1 : 0,
                        (i % 11 == 0) ? D3DTEXF_LINEAR : D3DTEXF_NONE);
            if (i % 13 == 0) {
                device->SetTexture(0, nullptr);
                Draw(lines, D3DPT_LINESTRIP, 3);
                device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
                Draw(lines, D3DPT_TRIANGLEFAN, 2);
            }
        }
        device->EndScene();
    }
    IDirect3DTexture9 *a = nullptr, *b = nullptr;
    IDirect3DVertexBuffer9 *quad = nullptr, *lines = nullptr;
};

TEST_F(MixedSceneTest, BatchedFrameEqualsTheFrameDrawnCallByCall) {
    const uint64_t before = GLDrawCallCount(device);
    DrawMixedScene();
    const uint64_t batchedCalls = GLDrawCallCount(device) - before;
    const auto batched = Frame();

    SetBatching(device, false);
    const uint64_t middle = GLDrawCallCount(device);
    DrawMixedScene();
    const uint64_t singleCalls = GLDrawCallCount(device) - middle;
    const auto single = Frame();

    EXPECT_EQ(singleCalls, 60u + 2 * 5);
    EXPECT_LT(batchedCalls, singleCalls);
    size_t differing = 0;
    for (size_t i = 0; i < batched.size(); ++i) differing += batched[i] != single[i];
    EXPECT_EQ(differing, 0u);

    // A run of pictures with one state is one OpenGL draw call.
    SetBatching(device, true);
    const uint64_t start = GLDrawCallCount(device);
    device->BeginScene();
    for (int i = 0; i < 100; ++i) DrawPicture(a, quad, Translation(float(i), float(i % 50)));
    device->EndScene();
    EXPECT_EQ(GLDrawCallCount(device) - start, 1u);
}

// The window's own back buffer, used while it has the back buffer's size, and the off-screen
// buffer used once the window has another size draw the same pixels, and both show upright.
TEST_F(MixedSceneTest, TheWindowsBufferAndTheOffScreenOneDrawTheSamePixels) {
    if (!DrawsIntoWindow(device)) GTEST_SKIP() << "the driver fills the window unlike Direct3D";
    // Culled faces and a corner marked by a clear, as the window's rows run the other way.
    auto scene = [&] {
        DrawMixedScene();
        const D3DRECT corner{0, 0, 3, 2};
        device->Clear(1, &corner, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        IDirect3DVertexBuffer9* tris = MakeBuffer({{120, 60, 1, 0xFFFF0000, 0, 0},
                                                   {150, 60, 1, 0xFFFF0000, 0, 0},
                                                   {120, 90, 1, 0xFFFF0000, 0, 0},
                                                   {130, 95, 1, 0xFF0000FF, 0, 0},
                                                   {155, 95, 1, 0xFF0000FF, 0, 0},
                                                   {155, 65, 1, 0xFF0000FF, 0, 0}});
        device->SetTexture(0, nullptr);
        Draw(tris, D3DPT_TRIANGLELIST, 2);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        tris->Release();
        return Frame();
    };
    const auto onWindow = scene();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    std::vector<D3DCOLOR> shown;
    UINT w = 0, h = 0;
    ASSERT_EQ(ReadPresentedFrame(device, shown, w, h), D3D_OK);
    EXPECT_EQ(shown, onWindow);
    EXPECT_EQ(At(onWindow, 0, 0), 0xFF00FF00u);     // the cleared corner, top left
    EXPECT_EQ(At(onWindow, 125, 65), 0xFFFF0000u);  // clockwise on screen: kept
    EXPECT_NE(At(onWindow, 150, 85), 0xFF0000FFu);  // counter-clockwise: culled

    SDL_SetWindowSize(window, W * 2, H * 2);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_FALSE(DrawsIntoWindow(device));
    const auto offScreen = scene();
    size_t differing = 0;
    for (size_t i = 0; i < onWindow.size(); ++i) differing += onWindow[i] != offScreen[i];
    EXPECT_EQ(differing, 0u);
    SDL_SetWindowSize(window, W, H);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_TRUE(DrawsIntoWindow(device));
}

// Vertices stream through rings that are reused once their draws are done and grow for a
// batch larger than they are: over frames that come round the rings at shifting offsets, and
// one frame whose single batch is several times a ring, every pixel shows its own quad.
TEST_F(DeviceTest, StreamedVerticesKeepTheirPixelsAsTheRingsComeRoundAndGrow) {
    // One 1 x 1 quad per pixel of the target (two triangles, corners on the pixel's edges).
    auto grid = [](int frame) {
        std::vector<Vertex> v;
        v.reserve(size_t(W) * H * 6);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const D3DCOLOR c =
                    D3DCOLOR_XRGB((x + frame) & 0xFF, (y * 2 + frame) & 0xFF, (frame * 37) & 0xFF);
                const float l = float(x) - 0.5f, t = float(y) - 0.5f, r = l + 1, b = t + 1;
                for (auto [px, py] : {std::pair{l, t}, {r, t}, {l, b}, {r, t}, {r, b}, {l, b}})
                    v.push_back({px, py, 1, c, 0, 0});
            }
        return v;
    };
    IDirect3DVertexBuffer9* small = MakeBuffer(
        {{2, 2, 1, 0xFFFFFFFF, 0, 0}, {9, 2, 1, 0xFFFFFFFF, 0, 0}, {2, 9, 1, 0xFFFFFFFF, 0, 0}});
    device->SetTexture(0, nullptr);
    for (int frame = 0; frame < 12; ++frame) {
        IDirect3DVertexBuffer9* vb = MakeBuffer(grid(frame));
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        device->BeginScene();
        // A few small batches of another state first, so that each frame's grid starts at
        // another offset of the rings.
        for (int i = 0; i < frame % 4; ++i) {
            device->SetRenderState(D3DRS_FILLMODE, i % 2 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
            Draw(small, D3DPT_TRIANGLELIST, 1);
        }
        device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
        // Frame 7 draws its grid four times in one batch: larger than a ring.
        for (int i = 0; i < (frame == 7 ? 4 : 1); ++i)
            Draw(vb, D3DPT_TRIANGLELIST, UINT(W * H * 2));
        device->EndScene();
        const auto f = Frame();
        size_t wrong = 0, first = f.size();
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const D3DCOLOR want =
                    D3DCOLOR_XRGB((x + frame) & 0xFF, (y * 2 + frame) & 0xFF, (frame * 37) & 0xFF);
                if (At(f, x, y) != want && wrong++ == 0) first = size_t(y) * W + x;
            }
        EXPECT_EQ(wrong, 0u) << "frame " << frame << ", first at x " << first % W << ", y "
                             << first / W;
        device->Present(nullptr, nullptr, nullptr, nullptr);
        vb->Release();
    }
    small->Release();
}

// Each batch blends with its own constant factor, whatever the one before it used; a factor
// of zero (all black) included.
TEST_F(DeviceTest, EachDrawBlendsWithItsOwnBlendFactor) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(40, 40, 40), 1.0f, 0);
    device->SetTexture(0, nullptr);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_BLENDFACTOR);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    device->BeginScene();
    const D3DCOLOR factors[] = {0xFF808080u, 0x00000000u, 0xFFFFFFFFu, 0x00000000u};
    std::vector<IDirect3DVertexBuffer9*> rects;
    for (int i = 0; i < 4; ++i) {
        const float x = 10.0f + 30.0f * float(i);
        rects.push_back(MakeBuffer({{x, 10, 1, 0xFFC8C8C8, 0, 0},
                                    {x + 20, 10, 1, 0xFFC8C8C8, 0, 0},
                                    {x + 20, 30, 1, 0xFFC8C8C8, 0, 0},
                                    {x, 30, 1, 0xFFC8C8C8, 0, 0}}));
        device->SetRenderState(D3DRS_BLENDFACTOR, factors[i]);
        Draw(rects.back(), D3DPT_TRIANGLEFAN, 2);
    }
    device->EndScene();
    const auto f = Frame();
    EXPECT_NEAR(Red(At(f, 20, 20)), 100, 1);  // 200 x 128 / 255
    EXPECT_EQ(At(f, 50, 20), kBlack);
    EXPECT_EQ(At(f, 80, 20), 0xFFC8C8C8u);
    EXPECT_EQ(At(f, 110, 20), kBlack);
    for (IDirect3DVertexBuffer9* r : rects) r->Release();
}

TEST_F(DeviceTest, TextureChangesReachOnlyLaterDrawsAndSurviveEvictionAndReset) {
    IDirect3DTexture9* texture = MakeTexture(4, 4, [](int, int) { return 0xFFFF0000u; });
    IDirect3DVertexBuffer9* vb = MakeBuffer(PictureQuad(4, 4, 4, 4));
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    device->BeginScene();
    DrawPicture(texture, vb, Translation(10.5f, 10.5f));  // waits in the batch
    D3DLOCKED_RECT r;
    ASSERT_EQ(texture->LockRect(0, &r, nullptr, 0), D3D_OK);
    for (int i = 0; i < 16; ++i) static_cast<D3DCOLOR*>(r.pBits)[i] = 0xFF00FF00u;
    texture->UnlockRect(0);
    DrawPicture(texture, vb, Translation(20.5f, 10.5f));
    device->EndScene();
    auto f = Frame();
    EXPECT_EQ(At(f, 12, 12), 0xFFFF0000u);
    EXPECT_EQ(At(f, 22, 12), 0xFF00FF00u);

    ASSERT_EQ(device->EvictManagedResources(), D3D_OK);
    pp.BackBufferWidth = W;
    ASSERT_EQ(device->TestCooperativeLevel(), D3D_OK);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    SetEngineStates();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    DrawPicture(texture, vb, Translation(30.5f, 10.5f));
    f = Frame();
    EXPECT_EQ(At(f, 32, 12), 0xFF00FF00u);
    ASSERT_EQ(texture->LockRect(0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<D3DCOLOR*>(r.pBits)[5], 0xFF00FF00u);
    texture->UnlockRect(0);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    vb->Release();
    texture->Release();
}

TEST_F(DeviceTest, BadCallsAreRefusedWithoutDrawing) {
    IDirect3DVertexBuffer9* vb = MakeBuffer(PictureQuad(4, 4, 4, 4));
    device->SetFVF(kFvf);
    device->SetStreamSource(0, vb, 0, sizeof(Vertex));
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2),
              D3DERR_INVALIDCALL);  // past the end
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPRIMITIVETYPE(99), 0, 2), D3DERR_INVALIDCALL);
    device->SetFVF(0);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
    void* p = nullptr;
    EXPECT_EQ(vb->Lock(90, 10, &p, 0), D3DERR_INVALIDCALL);
    IDirect3DVertexBuffer9* huge = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(0xFFFFFFF0u, 0, kFvf, D3DPOOL_MANAGED, &huge, nullptr),
              D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(huge, nullptr);
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(
        device->CreateTexture(1u << 20, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    vb->Release();
}

TEST_F(DeviceTest, ArgumentsItCannotDrawAreRefused) {
    // No depth or stencil buffer, 8 bits a channel, one sample per pixel: a reset asking for
    // otherwise fails and the device keeps drawing as before.
    D3DPRESENT_PARAMETERS asked = pp;
    asked.EnableAutoDepthStencil = 1;
    asked.AutoDepthStencilFormat = D3DFMT_D24S8;
    EXPECT_EQ(device->Reset(&asked), D3DERR_NOTAVAILABLE);
    asked = pp;
    asked.BackBufferFormat = D3DFMT_R5G6B5;
    EXPECT_EQ(device->Reset(&asked), D3DERR_INVALIDCALL);
    asked = pp;
    asked.MultiSampleType = D3DMULTISAMPLE_TYPE(4);
    EXPECT_EQ(device->Reset(&asked), D3DERR_NOTAVAILABLE);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);

    // Levels made by the device itself; textures that cannot be drawn with.
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device->CreateTexture(8, 8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8,
                                    D3DPOOL_MANAGED, &t, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
    for (D3DPOOL pool : {D3DPOOL_SYSTEMMEM, D3DPOOL_SCRATCH}) {
        ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, pool, &t, nullptr), D3D_OK);
        EXPECT_EQ(device->SetTexture(0, t), D3DERR_INVALIDCALL) << pool;
        t->Release();
    }

    // Transform states: those Direct3D has are kept, others refused.
    D3DXMATRIX m = Translation(3, 4), got;
    EXPECT_EQ(device->SetTransform(D3DTS_TEXTURE7, &m), D3D_OK);
    EXPECT_EQ(device->GetTransform(D3DTS_TEXTURE7, &got), D3D_OK);
    EXPECT_EQ(got._41, 3.0f);
    EXPECT_EQ(device->SetTransform(D3DTS_WORLDMATRIX255, &m), D3D_OK);
    EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATETYPE(24), &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetTransform(D3DTRANSFORMSTATETYPE(512), &got), D3DERR_INVALIDCALL);

    // Present goes to the device's window; rectangles need a copying swap chain, as in
    // Direct3D, and must not be turned inside out.
    const RECT part{0, 0, 10, 10}, inverted{10, 0, 0, 10};
    EXPECT_EQ(device->Present(&part, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, &part, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, window, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    asked = pp;
    asked.SwapEffect = D3DSWAPEFFECT_COPY;
    ASSERT_EQ(device->Reset(&asked), D3D_OK);
    EXPECT_EQ(device->Present(&part, &part, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, &inverted, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(&inverted, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, &part, window, nullptr), D3DERR_INVALIDCALL);
}

TEST(Direct3DObject, ReportsTheDesktopAndItsModesAndRefusesWindowsWithoutOpenGL) {
    StartVideo();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_GE(d3d->GetAdapterCount(), 1u);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    SDL_DisplayMode desktop;
    SDL_GetDesktopDisplayMode(0, &desktop);
    EXPECT_EQ(mode.Width, UINT(desktop.w));
    EXPECT_EQ(mode.Height, UINT(desktop.h));
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    const UINT modes = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
    EXPECT_GE(modes, 1u);
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, &mode), D3D_OK);
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, modes, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_R5G6B5), 0u);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(7, &mode), D3DERR_INVALIDCALL);

    SDL_Window* plain = SDL_CreateWindow("no OpenGL", 0, 0, 64, 64, 0);
    ASSERT_NE(plain, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = 1;
    IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(1);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, plain, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                &device),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device), D3DERR_INVALIDCALL);
    SDL_DestroyWindow(plain);
    d3d->Release();
}

// What the driver probes found is kept for the next device on the same driver, which takes it
// without probing; a kept record that does not read as written is probed over.
TEST(DriverFacts, AreKeptForTheSameDriverAndProbedOverWhenUnreadable) {
    const std::filesystem::path cache =
        std::filesystem::temp_directory_path() / ("hv_cache_" + std::to_string(getpid()));
    const std::filesystem::path file = cache / "halvardine" / "opengl-driver";
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    setenv("HV_D3D_PROBE_CACHE", "1", 1);
    auto caps = [] {
        TestDevice t;
        t.Open(16, 16);
        D3DCAPS9 c{};
        if (t.device) t.device->GetDeviceCaps(&c);
        t.Close();
        return c;
    };
    auto read = [&] {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    const D3DCAPS9 probed = caps();
    const std::string kept = read();
    const std::string description = kept.substr(0, kept.find('\n'));
    ASSERT_FALSE(description.empty());
    // The software renderer's anisotropic filter blurs: the probe turns it off.
    ASSERT_EQ(probed.MaxAnisotropy, 1u);

    // A record saying the filter keeps texels is believed: the driver's own limit is reported.
    std::ofstream(file) << description << "\n0 0 0 1 0\n";
    EXPECT_GT(caps().MaxAnisotropy, 1u);
    // Broken records, one without the window's finding (an older run's) among them.
    for (const std::string& broken :
         {description + "\n0 0 0 1\n", description + "\n2 0 0 1 0\n", description + "\n0 0 0 1 3\n",
          description + "\n0 0 0 1 0 extra\n", std::string("another driver\n0 0 0 1 0\n")}) {
        std::ofstream(file) << broken;
        EXPECT_EQ(caps().MaxAnisotropy, 1u) << broken;
        EXPECT_EQ(read(), kept) << broken;
    }
    setenv("HV_D3D_PROBE_CACHE", "0", 1);
    unsetenv("XDG_CACHE_HOME");
    std::filesystem::remove_all(cache);
}

}  // namespace
}  // namespace hv::test

namespace hv::test {
namespace {

// The frame's black backdrop is a filled rectangle over the whole target: drawn as a clear,
// it must leave exactly the pixels drawing it leaves, and a rectangle that misses a pixel
// centre, or lets the background through, must still be drawn as a rectangle.
TEST_F(DeviceTest, AnOpaqueRectangleOverTheWholeTargetPaintsEveryPixelAndNoOtherDoes) {
    IDirect3DTexture9* texture =
        MakeTexture(W, H, [](int x, int y) { return D3DCOLOR_ARGB(255, x, y, (x * y) & 0xFF); });
    IDirect3DVertexBuffer9* picture = MakeBuffer(PictureQuad(W, H, W, H));
    auto background = [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
        DrawPicture(texture, picture, Translation(-0.5f, -0.5f));
    };
    // Four corners as a fan, drawn as the engine draws its filled shapes.
    auto rectangle = [&](float x1, float y1, float x2, float y2, D3DCOLOR c) {
        IDirect3DVertexBuffer9* vb = MakeBuffer({{x1, y1, 1, c, 0, 0},
                                                 {x2, y1, 1, c, 0, 0},
                                                 {x2, y2, 1, c, 0, 0},
                                                 {x1, y2, 1, c, 0, 0}});
        device->SetTexture(0, nullptr);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        Draw(vb, D3DPT_TRIANGLEFAN, 2);
        vb->Release();
    };
    device->BeginScene();

    // Exactly the target, and far beyond it (the backdrop of a smaller play area).
    for (float beyond : {0.0f, 600.0f}) {
        background();
        rectangle(-beyond, -beyond, W + beyond, H + beyond, 0xFF203040);
        const auto f = Frame();
        EXPECT_EQ(std::count(f.begin(), f.end(), 0xFF203040u), W * H) << beyond;
    }
    // One column short: the last column's centres lie on the right edge and keep what was
    // there.
    background();
    const auto before = Frame();
    rectangle(0, 0, W - 1, H, 0xFF203040);
    auto f = Frame();
    EXPECT_EQ(At(f, W - 2, 7), 0xFF203040u);
    for (int y = 0; y < H; ++y) ASSERT_EQ(At(f, W - 1, y), At(before, W - 1, y)) << y;
    // Not opaque: blended over the picture.
    background();
    rectangle(0, 0, W, H, 0x80000000);
    f = Frame();
    EXPECT_NEAR(Red(At(f, 100, 50)), Red(At(before, 100, 50)) / 2, 1);
    EXPECT_NEAR(Green(At(f, 100, 50)), Green(At(before, 100, 50)) / 2, 1);
    EXPECT_GT(Red(At(before, 100, 50)), 50);
    // Two colours in one rectangle: shaded, not filled.
    background();
    {
        IDirect3DVertexBuffer9* vb = MakeBuffer({{0, 0, 1, 0xFF000000, 0, 0},
                                                 {float(W), 0, 1, 0xFFFF0000, 0, 0},
                                                 {float(W), float(H), 1, 0xFFFF0000, 0, 0},
                                                 {0, float(H), 1, 0xFF000000, 0, 0}});
        device->SetTexture(0, nullptr);
        Draw(vb, D3DPT_TRIANGLEFAN, 2);
        vb->Release();
    }
    f = Frame();
    EXPECT_LT(Red(At(f, 2, 60)), 10);
    EXPECT_GT(Red(At(f, W - 3, 60)), 240);
    device->EndScene();
    picture->Release();
    texture->Release();
}

}  // namespace
}  // namespace hv::test
