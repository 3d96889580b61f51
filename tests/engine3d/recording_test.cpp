// The surface engine on the recording device: device set-up, surfaces and their vertices, and
// the calls and states of every draw.
#include <cmath>
#include <cstring>
#include <memory>

#include "engine3d/KavTextureEngine3D.h"
#include "tests/common/RecordedVertices.h"
#include "tests/doubles/RecordingDevice.h"
#include "tests/engine3d/EngineTestSupport.h"

namespace hv::test {
namespace {

class RecordingEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDesktopSizeQuery([this] { return desktop; });
        SetVideoMemoryQuery([] { return DWORD(128000000); });
        SetDirect3DCreate9Factory([this](UINT) -> IDirect3D9* {
            if (noDirect3D) return nullptr;
            auto* d3d = new RecordingDirect3D9();
            d3d->DesktopMode = {UINT(desktop.Width), UINT(desktop.Height), 60, D3DFMT_X8R8G8B8};
            d3d->Modes = modes;
            d3d->CreateDeviceResult = createResult;
            lastD3D = d3d;
            return d3d;
        });
    }
    void TearDown() override {
        engine.reset();
        SetDirect3DCreate9Factory(nullptr);
        SetVideoMemoryQuery(nullptr);
        SetDesktopSizeQuery(nullptr);
    }

    // A windowed engine with a 1024 x 768 device.
    TKavSurfaceEngine3D& Windowed() {
        engine = std::make_unique<TKavSurfaceEngine3D>(1024, 768, false, 1024, 768);
        EXPECT_EQ(engine->InitD3D(nullptr, 1024, 768), S_OK);
        return *engine;
    }
    RecordingDevice& Device() { return *static_cast<RecordingDevice*>(engine->Device.Get()); }
    // The calls recorded from the `from`-th on.
    std::vector<RecordedCall> CallsSince(size_t from) {
        const auto& c = Device().Calls;
        return std::vector<RecordedCall>(c.begin() + long(from), c.end());
    }
    const RecordedCall& LastDraw() {
        const auto& c = Device().Calls;
        for (auto it = c.rbegin(); it != c.rend(); ++it)
            if (it->Name == "DrawPrimitive") return *it;
        static RecordedCall none;
        ADD_FAILURE() << "no draw";
        return none;
    }
    // Draws with every optional value at its neutral setting.
    void DrawPlain(const std::string& name, double x = 0, double y = 0, uint8_t alpha = 255) {
        engine->Draw(name, {.Alpha = alpha, .At = {x, y}});
    }

    GameFolder folder;
    TWindowSize desktop{1920, 1080};
    std::vector<D3DDISPLAYMODE> modes{{640, 480, 60, D3DFMT_X8R8G8B8},
                                      {1024, 768, 60, D3DFMT_X8R8G8B8},
                                      {1024, 768, 75, D3DFMT_X8R8G8B8},
                                      {1920, 1080, 60, D3DFMT_X8R8G8B8}};
    HRESULT createResult = D3D_OK;
    bool noDirect3D = false;
    RecordingDirect3D9* lastD3D = nullptr;
    std::unique_ptr<TKavSurfaceEngine3D> engine;
};

TEST_F(RecordingEngineTest, ConstructionTouchesNoDeviceAndSizesTheWindowFromTheDesktop) {
    TKavSurfaceEngine3D wide(800, 600, true, 0, 0);
    EXPECT_EQ(lastD3D, nullptr);
    EXPECT_EQ(wide.WindowWidth, 1366);
    EXPECT_EQ(wide.WindowHeight, 768);
    EXPECT_EQ(wide.CreateWidth, 800);
    EXPECT_TRUE(wide.FullScreen);
    EXPECT_TRUE(wide.PreLoadInMemory);
    EXPECT_EQ(wide.FullScreenSize.width, 0);
    desktop = {1680, 1050};
    EXPECT_EQ(TKavSurfaceEngine3D(1, 1, false, 0, 0).WindowWidth, 1280);
    TKavSurfaceEngine3D configured(1, 1, false, 800, 600);
    EXPECT_EQ(configured.WindowWidth, 800);
    EXPECT_EQ(configured.WindowHeight, 600);
}

TEST_F(RecordingEngineTest, WindowedSetUpCreatesTheDeviceWithFixedStatesAndProjection) {
    engine = std::make_unique<TKavSurfaceEngine3D>(1024, 768, false, 0, 0);
    bool windowedSizeUsed = false;
    ASSERT_EQ(engine->InitD3D(nullptr, 800, 600, windowedSizeUsed), S_OK);
    EXPECT_TRUE(windowedSizeUsed);
    EXPECT_EQ(engine->ViewWidth, 1366);
    EXPECT_EQ(engine->ViewHeight, 768);
    EXPECT_EQ(engine->FullScreenSize.width, 800);
    EXPECT_EQ(engine->VidMem, 128000000u);
    const D3DPRESENT_PARAMETERS& pp = Device().PresentParameters;
    EXPECT_EQ(pp.BackBufferWidth, 1366u);
    EXPECT_EQ(pp.BackBufferHeight, 768u);
    EXPECT_EQ(pp.Windowed, 1);
    EXPECT_EQ(pp.SwapEffect, D3DSWAPEFFECT_COPY);  // presents into a rectangle of the window
    EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(pp.Flags, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);
    EXPECT_EQ(pp.BackBufferCount, 1u);
    EXPECT_EQ(engine->DisplayMode.RefreshRate, 0u);
    const RecordedCall& create = lastD3D->Calls.back();
    EXPECT_EQ(create.Name, "CreateDevice");
    EXPECT_EQ(create.Args[1], UINT(D3DDEVTYPE_HAL));
    EXPECT_EQ(create.Args[2], D3DCREATE_SOFTWARE_VERTEXPROCESSING);

    // The fixed states come first, in this order, before the font makes its textures.
    const auto names = Device().Texts("SetRenderState");
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[0], "SetRenderState(D3DRS_CULLMODE, 1)");
    EXPECT_EQ(names[1], "SetRenderState(D3DRS_LIGHTING, 0)");
    EXPECT_EQ(names[2], "SetRenderState(D3DRS_ZENABLE, 1)");
    EXPECT_EQ(Device().Texts("SetTransform"),
              (std::vector<std::string>{"SetTransform(D3DTS_WORLD)", "SetTransform(D3DTS_VIEW)",
                                        "SetTransform(D3DTS_PROJECTION)"}));
    D3DMATRIX projection{};
    Device().GetTransform(D3DTS_PROJECTION, &projection);
    // (0, 0) is the top-left corner of clip space and (1366, 768) the bottom-right.
    EXPECT_FLOAT_EQ(projection._11, 2.0f / 1366);
    EXPECT_FLOAT_EQ(projection._22, -2.0f / 768);
    EXPECT_FLOAT_EQ(projection._41, -1.0f);
    EXPECT_FLOAT_EQ(projection._42, 1.0f);
    EXPECT_NEAR(engine->ScaleToScreenX, 1366.0 / 1920, 1e-12);
    EXPECT_NE(engine->Font.Get(), nullptr);
    EXPECT_TRUE(folder.Logged(" TKavSurfaceEngine3D.InitD3D VidMem=128000000"));
    EXPECT_TRUE(folder.Logged("InitD3D start FullScreen=False width=800 height=600"));
    EXPECT_TRUE(folder.Logged("Direct3DCreate9 width=1366 height=768"));
    EXPECT_TRUE(
        folder.Logged("Direct3DCreate9 FullScreenSize.width=800 FullScreenSize.height=600"));
    EXPECT_TRUE(folder.Logged("BuildDeviceList AdapterCount=1"));
    EXPECT_TRUE(folder.Logged("SetDeviceParams 1366 768"));
}

TEST_F(RecordingEngineTest, DisplayModesAreLargeEnoughAndListedOnceEach) {
    modes.push_back({320, 240, 60, D3DFMT_X8R8G8B8});
    modes.push_back({800, 399, 60, D3DFMT_X8R8G8B8});
    Windowed();
    ASSERT_EQ(engine->DisplayModes.size(), 3u);
    EXPECT_EQ(engine->DisplayModes[0].Width, 640u);
    EXPECT_EQ(engine->DisplayModes[1].Width, 1024u);
    EXPECT_EQ(engine->DisplayModes[1].RefreshRate, 0u);
    EXPECT_EQ(engine->DisplayModes[2].Width, 1920u);
}

TEST_F(RecordingEngineTest, FullScreenDrawsAtTheGamesSizeAndPresentsIntoADesktopWindow) {
    // 800 x 600 is no mode here: the game is still drawn at its size, the script told the
    // desktop's as its view, and the frame shown 1.8 times as large between bars.
    engine = std::make_unique<TKavSurfaceEngine3D>(800, 600, true, 0, 0);
    ASSERT_EQ(engine->InitD3D(nullptr, 800, 600), S_OK);
    const D3DPRESENT_PARAMETERS& pp = Device().PresentParameters;
    EXPECT_EQ(pp.Windowed, 1);  // the display's mode is never changed
    EXPECT_EQ(pp.SwapEffect, D3DSWAPEFFECT_COPY);
    EXPECT_EQ(pp.BackBufferWidth, 800u);
    EXPECT_EQ(pp.BackBufferHeight, 600u);
    EXPECT_EQ(engine->ViewWidth, 1920);
    EXPECT_TRUE(engine->UseRequestedSize);
    EXPECT_EQ(engine->RequestedWidth, 800);
    EXPECT_NEAR(engine->ScaleToScreenY, 600.0 / 1080, 1e-12);
    EXPECT_TRUE(folder.Logged("SetDeviceParams 800 600"));
    const TFrameLayout layout = engine->FrameLayout();
    EXPECT_EQ(layout.Dest.left, 240);
    EXPECT_EQ(layout.Dest.right, 1680);
    EXPECT_EQ(layout.Dest.bottom, 1080);

    // A listed mode is reported as it is.
    engine = std::make_unique<TKavSurfaceEngine3D>(1024, 768, true, 0, 0);
    ASSERT_EQ(engine->InitD3D(nullptr, 1024, 768), S_OK);
    EXPECT_EQ(Device().PresentParameters.BackBufferWidth, 1024u);
    EXPECT_EQ(engine->ViewWidth, 1024);
    EXPECT_FALSE(engine->UseRequestedSize);
    EXPECT_TRUE(folder.Logged("SetDeviceParams 1024 768"));

    // Without Direct3D nothing is made, and the sizes are still the plan's.
    noDirect3D = true;
    engine = std::make_unique<TKavSurfaceEngine3D>(800, 600, true, 0, 0);
    EXPECT_EQ(engine->InitD3D(nullptr, 800, 600), E_FAIL);
    EXPECT_FALSE(engine->Device);
    EXPECT_EQ(engine->ViewWidth, 1920);
}

TEST_F(RecordingEngineTest, ASwitchThatCannotBeShownKeepsTheDisplayInForce) {
    engine = std::make_unique<TKavSurfaceEngine3D>(2000, 1500, false, 0, 0);
    ASSERT_EQ(engine->InitD3D(nullptr, 2000, 1500), S_OK);
    Device().MaxBackBufferSide = 1600;  // full screen would need a 2000 x 1500 frame
    EXPECT_EQ(engine->SwitchDisplay(nullptr, engine->PlanFor(2000, 1500, true)),
              D3DERR_INVALIDCALL);
    EXPECT_FALSE(engine->FullScreen);
    EXPECT_EQ(engine->Plan.Game.Width, 1366);
    EXPECT_EQ(engine->ViewWidth, 1366);
    ASSERT_TRUE(engine->Device);
    EXPECT_EQ(Device().PresentParameters.BackBufferWidth, 1366u);
    EXPECT_TRUE(
        folder.Logged("TKavSurfaceEngine3D.SwitchDisplay full screen, 2000 x 1500 on "
                      "1920 x 1080 cannot be shown (hr="));
    EXPECT_TRUE(folder.Logged("the display stays a window of 1366 x 768"));
}

TEST_F(RecordingEngineTest, ReinitialisingReleasesDeviceObjectsAndRefillsEverySurface) {
    folder.Solid("data/Textures/atlas.png", 64, 64, 0xFF00FF00);
    Windowed();
    engine->CreateSufaceFromTexture("a", "atlas.png", RECT{0, 0, 10, 10}, true, false,
                                    D3DFMT_UNKNOWN, false);
    engine->DrawLineShape(255, 0, 0, 0, 5, 5, false);
    engine->DrawTriangleShape(255, 0, true, 0, 0, 5, 0, 0, 5);
    ASSERT_TRUE(engine->Textures[0].Loaded);
    RecordingDevice* old = &Device();
    old->AddRef();

    ASSERT_EQ(engine->InitD3D(nullptr, 1024, 768), S_OK);
    // The old device was reset with nothing of its own left, then replaced by a new one.
    EXPECT_EQ(old->Texts("Reset").size(), 1u);
    EXPECT_EQ(old->LiveVertexBuffers, 0);
    EXPECT_EQ(old->LiveTextures, 0);
    EXPECT_NE(engine->Device.Get(), old);
    old->Release();
    EXPECT_TRUE(engine->Lines.empty());
    EXPECT_TRUE(engine->Triangles.empty());
    EXPECT_FALSE(engine->Textures[0].Loaded);
    EXPECT_TRUE(engine->Textures[0].Stream.has_value());
    EXPECT_EQ(engine->Textures[0].Width, 64);  // known size kept while the texture is absent
    ASSERT_EQ(engine->Surfaces.size(), 1u);
    EXPECT_TRUE(engine->Surfaces[0].VBReady);
    // Refilled against a 1 x 1 size until the texture exists again.
    const auto* vb = dynamic_cast<RecordingVertexBuffer*>(engine->Surfaces[0].VB.Get());
    ASSERT_NE(vb, nullptr);
    TVertex filled[4];
    std::memcpy(filled, vb->Bytes().data(), sizeof filled);
    EXPECT_FLOAT_EQ(filled[3].U, 9.5f);
    EXPECT_EQ(Device().Texts("CreateVertexBuffer").front(),
              "CreateVertexBuffer(96, 0, 0x00000142, 1)");
    EXPECT_TRUE(folder.Logged("Reset hr=0"));

    // The texture comes back from its memory copy on the next draw.
    DrawPlain("a");
    EXPECT_TRUE(engine->Textures[0].Loaded);
    EXPECT_EQ(LastDraw().Text, "DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2)");
}

TEST_F(RecordingEngineTest, AFailedResetEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Windowed();
            Device().ResetResult = D3DERR_INVALIDCALL;
            engine->InitD3D(nullptr, 1024, 768);
        },
        ::testing::ExitedWithCode(kDeviceFailureExitCode), "Reset failed");
    EXPECT_EXIT(
        {
            createResult = D3DERR_NOTAVAILABLE;
            Windowed();
        },
        ::testing::ExitedWithCode(kDeviceFailureExitCode), "CreateDevice failed");
}

TEST_F(RecordingEngineTest, SurfaceVerticesCoverTheRectangleWithHalfTexelInsets) {
    folder.Solid("data/Textures/big.png", 1024, 1024, 0xFFFFFFFF);
    Windowed();
    engine->CreateSufaceFromTexture("pic", "big.png", RECT{0, 0, 100, 50}, true, false,
                                    D3DFMT_UNKNOWN, false);
    engine->CreateSufaceFromTexture("turned", "big.png", RECT{0, 0, 100, 50}, true, true,
                                    D3DFMT_UNKNOWN, false);
    // A second surface of an existing name changes nothing.
    engine->CreateSufaceFromTexture("pic", "other.png", RECT{5, 5, 6, 6}, true, false,
                                    D3DFMT_UNKNOWN, false);
    ASSERT_EQ(engine->Surfaces.size(), 2u);
    ASSERT_EQ(engine->Textures.size(), 1u);
    EXPECT_EQ(engine->Textures[0].Width, 1024);
    int32_t w = -7, h = -7;
    engine->GetSurfaceSize("nothing", w, h);
    EXPECT_EQ(w, -7);
    engine->GetSurfaceSize("pic", w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 50);

    DrawPlain("pic");
    auto v = VerticesOf(LastDraw());
    ASSERT_EQ(v.size(), 4u);
    EXPECT_FLOAT_EQ(v[0].U, 0.5f / 1024);
    EXPECT_FLOAT_EQ(v[0].V, 0.5f / 1024);
    EXPECT_FLOAT_EQ(v[3].U, 99.5f / 1024);
    EXPECT_FLOAT_EQ(v[3].V, 49.5f / 1024);
    EXPECT_FLOAT_EQ(v[0].X, 0.5f);
    EXPECT_FLOAT_EQ(v[3].X, 99.5f);
    EXPECT_FLOAT_EQ(v[3].Y, 49.5f);
    EXPECT_FLOAT_EQ(v[1].Y, 49.5f);
    EXPECT_FLOAT_EQ(v[2].X, 99.5f);
    for (const TVertex& x : v) {
        EXPECT_EQ(x.Z, 1.0f);
        EXPECT_EQ(x.Color, 0xFFFFFFFFu);
    }

    DrawPlain("turned");
    v = VerticesOf(LastDraw());
    EXPECT_FLOAT_EQ(v[3].X, 50.0f);  // 50 wide, 100 high on screen
    EXPECT_FLOAT_EQ(v[3].Y, 100.0f);
    EXPECT_FLOAT_EQ(v[0].U, 99.5f / 1024);  // top-left from the rectangle's top-right
    EXPECT_FLOAT_EQ(v[0].V, 0.5f / 1024);
    EXPECT_FLOAT_EQ(v[2].V, 49.5f / 1024);
}

TEST_F(RecordingEngineTest, AlphaAndColourLiveInTheVerticesAndRefillOnlyWhenNeeded) {
    folder.Solid("data/Textures/t.png", 16, 16, 0xFFFFFFFF);
    Windowed();
    engine->CreateSufaceFromTexture("p", "t.png", RECT{0, 0, 8, 8}, true, false, D3DFMT_UNKNOWN,
                                    false);
    auto locks = [&] { return Device().Texts("IDirect3DVertexBuffer9::Lock").size(); };
    size_t n = locks();
    DrawPlain("p");
    EXPECT_EQ(locks(), n + 1);  // unchanged alpha: only the fill before the draw
    n = locks();
    DrawPlain("p", 0, 0, 128);
    EXPECT_EQ(locks(), n + 2);
    EXPECT_EQ(VerticesOf(LastDraw())[0].Color, 0x80FFFFFFu);

    // Colour 0x0000FF is red in the script's convention; the colour power scales it.
    engine->Draw("p", {.Color = 0x0000FF});
    EXPECT_EQ(VerticesOf(LastDraw())[0].Color, 0xFFFF0000u);
    engine->Draw("p", {.Color = 0x0000FF, .ColorPower = 128});
    EXPECT_EQ(VerticesOf(LastDraw())[0].Color, 0xFF800000u);
    EXPECT_EQ(Device().Texts("SetRenderState").back(), "SetRenderState(D3DRS_ALPHABLENDENABLE, 0)");
    bool factor = false;
    for (const std::string& t : Device().Texts("SetRenderState"))
        if (t == "SetRenderState(D3DRS_TEXTUREFACTOR, 0x00000080)") factor = true;
    EXPECT_TRUE(factor);
}

TEST_F(RecordingEngineTest, APictureDrawSetsItsStatesInOrderAndRestoresThem) {
    folder.Solid("data/Textures/t.png", 16, 16, 0xFFFFFFFF);
    Windowed();
    engine->CreateSufaceFromTexture("p", "t.png", RECT{0, 0, 8, 8}, true, false, D3DFMT_UNKNOWN,
                                    false);
    const size_t from = Device().Calls.size();
    engine->Draw("p", {.ColorPower = 128, .OutputMode = 1, .Filter = true});
    std::vector<std::string> texts;
    for (const RecordedCall& c : CallsSince(from))
        if (c.Name != "IDirect3DVertexBuffer9::Lock" &&
            c.Name != "IDirect3DVertexBuffer9::Unlock" && c.Name != "SetTexture")
            texts.push_back(c.Text);
    const std::vector<std::string> expected = {
        "SetTransform(D3DTS_WORLD)",
        "SetRenderState(D3DRS_LIGHTING, 0)",
        "SetFVF(0x00000142)",
        texts.size() > 3 ? texts[3] : "",  // the stream source names the buffer
        "SetRenderState(D3DRS_ALPHABLENDENABLE, 1)",
        "SetRenderState(D3DRS_SRCBLEND, 5)",
        "SetRenderState(D3DRS_DESTBLEND, 6)",
        "SetRenderState(D3DRS_TEXTUREFACTOR, 0x00808080)",
        "SetTextureStageState(0, D3DTSS_COLOROP, 7)",
        "SetTextureStageState(0, D3DTSS_COLORARG1, 5)",
        "SetTextureStageState(0, D3DTSS_COLORARG2, 3)",
        "SetRenderState(D3DRS_SRCBLEND, 5)",
        "SetRenderState(D3DRS_DESTBLEND, 2)",
        "SetTextureStageState(0, D3DTSS_ALPHAOP, 4)",
        "SetSamplerState(0, D3DSAMP_MAGFILTER, 2)",
        "SetSamplerState(0, D3DSAMP_MINFILTER, 2)",
        "DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2)",
        "SetRenderState(D3DRS_ALPHABLENDENABLE, 0)",
        "SetTextureStageState(0, D3DTSS_COLORARG1, 2)",
        "SetTransform(D3DTS_WORLD)"};
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(texts[3].rfind("SetStreamSource(0, ", 0), 0u);
    EXPECT_NE(texts[3].find(", 0, 24)"), std::string::npos);

    // The default filter 3 is anisotropic with its limit; a forced filter wins over it.
    engine->FilterMode = 3;
    engine->MaxAnisotropy = 8;
    DrawPlain("p");
    const auto samplers = Device().Texts("SetSamplerState");
    EXPECT_EQ(samplers.back(), "SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 8)");
    engine->AllFilter = true;
    DrawPlain("p");
    EXPECT_EQ(Device().Texts("SetSamplerState").back(), "SetSamplerState(0, D3DSAMP_MINFILTER, 2)");
}

TEST_F(RecordingEngineTest, WorldMatrixTurnsAndScalesAboutThePivotThenAppliesTheGroup) {
    folder.Solid("data/Textures/t.png", 128, 128, 0xFFFFFFFF);
    Windowed();
    engine->CreateSufaceFromTexture("p", "t.png", RECT{0, 0, 100, 50}, true, false, D3DFMT_UNKNOWN,
                                    false);
    auto world = [&] {
        const auto& c = Device().Calls;
        const RecordedCall* last = nullptr;
        for (size_t i = 0; i < c.size(); ++i)
            if (c[i].Name == "DrawPrimitive") {
                for (size_t j = i; j-- > 0;)
                    if (c[j].Name == "SetTransform") {
                        last = &c[j];
                        break;
                    }
            }
        return last ? D3DXMATRIX(last->Matrix) : D3DXMATRIX();
    };
    auto apply = [](const D3DXMATRIX& m, float x, float y) {
        return std::pair<float, float>{x * m._11 + y * m._21 + m._41,
                                       x * m._12 + y * m._22 + m._42};
    };

    // Default pivot: the first vertex (0.5, 0.5) lands half a pixel further, at (x + 1, y + 1).
    DrawPlain("p", 10, 20);
    auto p = apply(world(), 0.5f, 0.5f);
    EXPECT_FLOAT_EQ(p.first, 11);
    EXPECT_FLOAT_EQ(p.second, 21);

    // Group scale 2 and offset (3, 4): ((10 + 1) * 2 + 3, (20 + 1) * 2 + 4).
    engine->Draw("p",
                 {.At = {10, 20}, .Group = {.OffsetX = 3, .OffsetY = 4, .ScaleX = 2, .ScaleY = 2}});
    p = apply(world(), 0.5f, 0.5f);
    EXPECT_FLOAT_EQ(p.first, 25);
    EXPECT_FLOAT_EQ(p.second, 46);

    // 90 degrees turns clockwise about the centre (50, 25) (+0.5 of the default pivot).
    engine->Draw("p", {.Angle = 90});
    p = apply(world(), 100, 25);  // the right middle goes to the bottom middle
    EXPECT_NEAR(p.first, 50.5, 1e-4);
    EXPECT_NEAR(p.second, 75.5, 1e-4);

    // An explicit pivot (-1, 5) is a pivot, not the centre; scaling happens about it.
    engine->Draw("p", {.ScaleX = 2, .ScaleY = 3, .PivotY = 5});
    p = apply(world(), 1, 7);
    EXPECT_FLOAT_EQ(p.first, -1 + 2 * 2);
    EXPECT_FLOAT_EQ(p.second, 5 + 2 * 3);
}

TEST_F(RecordingEngineTest, ASubRectangleIsDrawnOnceAndTheWholePictureAfterwards) {
    folder.Solid("data/Textures/t.png", 64, 64, 0xFFFFFFFF);
    Windowed();
    engine->CreateSufaceFromTexture("p", "t.png", RECT{8, 8, 40, 40}, true, false, D3DFMT_UNKNOWN,
                                    false);
    const RECT sub{4, 2, 12, 10};
    engine->Draw("p", {.Part = sub});
    auto v = VerticesOf(LastDraw());
    EXPECT_FLOAT_EQ(v[0].U, 12.5f / 64);
    EXPECT_FLOAT_EQ(v[3].X, 7.5f);
    DrawPlain("p");
    v = VerticesOf(LastDraw());
    EXPECT_FLOAT_EQ(v[0].U, 8.5f / 64);
    EXPECT_FLOAT_EQ(v[3].X, 31.5f);

    // A glyph sheet keeps its right and bottom edges when cut.
    engine->CreateSufaceFromTexture("GentiumBasic29.png", "t.png", RECT{0, 0, 64, 64}, true, false,
                                    D3DFMT_UNKNOWN, false);
    engine->Draw("GentiumBasic29.png", {.Part = sub});
    v = VerticesOf(LastDraw());
    EXPECT_FLOAT_EQ(v[3].X, 8.0f);
    EXPECT_FLOAT_EQ(v[3].U, 12.0f / 64);
}

TEST_F(RecordingEngineTest, SharedAtlasIsReleasedWithItsLastSurface) {
    folder.Solid("data/Textures/atlas.png", 32, 32, 0xFFFFFFFF);
    Windowed();
    const int textures = Device().LiveTextures;  // the font's own
    engine->CreateSufaceFromTexture("a", "atlas.png", RECT{0, 0, 8, 8}, true, false, D3DFMT_UNKNOWN,
                                    false);
    engine->CreateSufaceFromTexture("b", "atlas.png", RECT{8, 8, 16, 16}, true, false,
                                    D3DFMT_UNKNOWN, false);
    engine->CreateSufaceFromTexture("c", "atlas.png", RECT{0, 8, 8, 16}, true, false,
                                    D3DFMT_UNKNOWN, false);
    EXPECT_EQ(Device().LiveTextures, textures + 1);
    engine->RemoveSurface("a");
    EXPECT_EQ(engine->Surfaces[0].Name, "c");  // the last one took its place
    engine->RemoveSurface("b");
    EXPECT_TRUE(engine->Textures[0].Loaded);
    engine->RemoveSurface("c");
    EXPECT_FALSE(engine->Textures[0].Loaded);
    EXPECT_EQ(Device().LiveTextures, textures);
    EXPECT_EQ(engine->Textures.size(), 1u);
    EXPECT_TRUE(engine->Textures[0].Stream.has_value());
}

TEST_F(RecordingEngineTest, HitTestsReadTheTextureInForceNotAnEarlierOne) {
    // Left half opaque, right half clear; the file is then replaced by its mirror image.
    folder.Picture("data/Textures/h.png", 8, 4,
                   [](int x, int) { return x < 4 ? 0xFF000000u : 0u; });
    Windowed();
    auto load = [&] {
        engine->CreateSufaceFromTexture("h", "h.png", RECT{0, 0, 8, 4}, true, false, D3DFMT_UNKNOWN,
                                        true);
    };
    load();
    EXPECT_EQ(engine->PictureHit("h", 1, 1, 0, 102), TPictureHit::Opaque);
    EXPECT_EQ(engine->PictureHit("h", 6, 1, 0, 102), TPictureHit::Clear);
    EXPECT_EQ(engine->PictureHit("h", 6, 1, 2, 102), TPictureHit::Clear);
    EXPECT_EQ(engine->PictureHit("h", 6, 1, 3, 102), TPictureHit::Opaque);  // reaches column 3
    EXPECT_EQ(engine->PictureHit("h", 6, 1, 0, 50), TPictureHit::Clear);     // another threshold
    engine->RemoveSurface("h");
    EXPECT_EQ(engine->PictureHit("h", 1, 1, 0, 102), TPictureHit::Clear);  // no such picture
    folder.Picture("data/Textures/h.png", 8, 4,
                   [](int x, int) { return x < 4 ? 0u : 0xFF000000u; });
    load();
    EXPECT_EQ(engine->PictureHit("h", 1, 1, 0, 102), TPictureHit::Clear);
    EXPECT_EQ(engine->PictureHit("h", 6, 1, 0, 102), TPictureHit::Opaque);
    EXPECT_EQ(engine->PictureHit("h", 6, 1, 0, 50), TPictureHit::Opaque);
    EXPECT_EQ(engine->PictureHit("h", 1, 1, 0, 50), TPictureHit::Clear);

    // Released with the device's objects, the texture is not hit; made again, it answers from
    // its texels as they are now.
    ASSERT_EQ(engine->InitD3D(nullptr, 1024, 768), S_OK);
    EXPECT_EQ(engine->PictureHit("h", 6, 1, 0, 102), TPictureHit::Clear);
    folder.Picture("data/Textures/h.png", 8, 4, [](int, int) { return 0xFF000000u; });
    engine->RemoveSurface("h");
    load();
    EXPECT_EQ(engine->PictureHit("h", 1, 1, 0, 102), TPictureHit::Opaque);
    EXPECT_EQ(engine->PictureHit("h", 1, 1, 0, 50), TPictureHit::Opaque);
}

TEST_F(RecordingEngineTest, HitTestsAgreeWithTheTexelsAcrossWholeRowsOfAnAtlas) {
    // An atlas a few 64-texel runs wide, with scattered opaque texels and a faint ground that
    // reaches just above the usual threshold, holding a picture and a picture stored turned at
    // odd offsets.
    auto alpha = [](int x, int y) -> uint32_t {
        if ((x * 131 + y * 71) % 89 == 0) return 200;
        return uint32_t(x * 7 + y * 3) % 104;  // up to just above the usual threshold
    };
    folder.Picture("data/Textures/atlas.png", 256, 128,
                   [&](int x, int y) { return alpha(x, y) << 24 | 0x808080u; });
    Windowed();
    const RECT plain{37, 5, 187, 75}, turned{3, 80, 133, 120};
    engine->CreateSufaceFromTexture("plain", "atlas.png", plain, true, false, D3DFMT_UNKNOWN,
                                    false);
    engine->CreateSufaceFromTexture("turned", "atlas.png", turned, true, true, D3DFMT_UNKNOWN,
                                    false);

    // What a hit test must answer, straight from the texels.
    auto expected = [&](const RECT& rc, bool isTurned, int x, int y, int radius, int threshold) {
        const int rw = rc.right - rc.left, rh = rc.bottom - rc.top;
        const int w = isTurned ? rh : rw, h = isTurned ? rw : rh;
        for (int c = x - radius; c <= x + radius; ++c)
            for (int r = y - radius; r <= y + radius; ++r) {
                if (c < 0 || c >= w || r < 0 || r >= h) continue;
                const int tc = isTurned ? rw - 1 - r : c, tr = isTurned ? c : r;
                if (int(alpha(rc.left + tc, rc.top + tr)) > threshold) return TPictureHit::Opaque;
            }
        return TPictureHit::Clear;
    };
    int hits = 0, misses = 0;
    for (const auto& [name, rc, isTurned] :
         {std::tuple{"plain", plain, false}, std::tuple{"turned", turned, true}})
        for (int threshold : {102, 50, -1, 254})
            for (int radius : {0, 1, 10, 33})
                for (int y = -40; y < 190; y += 11)
                    for (int x = -40; x < 190; x += 11) {
                        const TPictureHit want = expected(rc, isTurned, x, y, radius, threshold);
                        ASSERT_EQ(engine->PictureHit(name, x, y, radius, threshold), want)
                            << name << " at " << x << "," << y << " radius " << radius
                            << " threshold " << threshold;
                        (want == TPictureHit::Opaque ? hits : misses)++;
                    }
    EXPECT_GT(hits, 1000);
    EXPECT_GT(misses, 1000);
}

TEST_F(RecordingEngineTest, TexturesAreMadeLazilyAndMissingOnesAreReported) {
    folder.Solid("data/Textures/later.png", 20, 10, 0xFFFFFFFF);
    folder.Solid("Splash/logo.png", 100, 60, 0xFFFFFFFF);
    Windowed();
    engine->CreateSufaceFromTexture("later", "later.png", RECT{0, 0, 20, 10}, false, false,
                                    D3DFMT_UNKNOWN, false);
    EXPECT_FALSE(engine->Textures[0].Loaded);
    DrawPlain("later");
    EXPECT_TRUE(engine->Textures[0].Loaded);
    EXPECT_EQ(engine->Textures[0].Width, 32);
    EXPECT_FLOAT_EQ(VerticesOf(LastDraw())[3].U, 19.5f / 32);

    engine->CreateSufaceFromTexture("logo.png", "logo.png", RECT{}, true, false, D3DFMT_UNKNOWN,
                                    true);
    int32_t w = 0, h = 0;
    engine->GetSurfaceSize("logo.png", w, h);
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 64);
    EXPECT_FALSE(engine->Textures[1].Stream.has_value());  // freed after loading

    engine->CreateSufaceFromTexture("gone", "gone.png", RECT{0, 0, 5, 6}, true, false,
                                    D3DFMT_UNKNOWN, false);
    EXPECT_TRUE(folder.Logged("CreateSufaceFromTexture file data\\Textures\\gone.png not exists"));
    engine->GetSurfaceSize("gone", w, h);
    EXPECT_EQ(w, 5);
    const size_t draws = Device().Texts("DrawPrimitive").size();
    DrawPlain("gone");
    DrawPlain("nobody");
    DrawPlain("");
    EXPECT_EQ(Device().Texts("DrawPrimitive").size(), draws);
    EXPECT_TRUE(folder.Logged("TKavSurfaceEngine3D.Draw(gone,...) - Texture not load! gone.png"));
    EXPECT_TRUE(
        folder.Logged("TKavSurfaceEngine3D.Draw(nobody,...) - Src Surface does not exists!"));

    // Drawn in turn every frame, each missing picture is still logged only once.
    for (int frame = 0; frame < 3; ++frame) {
        DrawPlain("gone");
        DrawPlain("nobody");
    }
    const std::string log = folder.Log();
    for (const std::string text : {"Draw(nobody,...) - Src Surface", "Draw(gone,...) - Texture"}) {
        const size_t first = log.find(text);
        ASSERT_NE(first, std::string::npos) << text;
        EXPECT_EQ(log.find(text, first + 1), std::string::npos) << text;
    }
}

TEST_F(RecordingEngineTest, SixteenBitTexturesAndRegisteredFilesComeFromMemory) {
    folder.Solid("data/Textures/s.png", 8, 8, 0xFF123456);
    folder.Solid("Textures/reg.png", 8, 8, 0xFFFFFFFF);
    Windowed();
    engine->CreateSufaceFromTexture("s", "s.png", RECT{0, 0, 8, 8}, true, false, D3DFMT_A4R4G4B4,
                                    false);
    bool sixteen = false;
    for (const std::string& t : Device().Texts("CreateTexture"))
        if (t.find(", 26, 1)") != std::string::npos) sixteen = true;
    EXPECT_TRUE(sixteen);
    EXPECT_TRUE(engine->Textures[0].Loaded);

    engine->AddTextureFile("reg.png");
    engine->AddTextureFile("none.png");
    EXPECT_FALSE(engine->Textures[1].Stream->empty());
    EXPECT_TRUE(engine->Textures[2].Stream->empty());
    engine->CreateSufaceFromTexture("r", "reg.png", RECT{0, 0, 8, 8}, true, false, D3DFMT_UNKNOWN,
                                    false);
    EXPECT_TRUE(engine->Textures[1].Loaded);

    // A rebuilt texture list never gives a surface another file's texture.
    engine->ClearTextures();
    engine->AddTextureFile("reg.png");
    DrawPlain("s");
    EXPECT_TRUE(folder.Logged("TKavSurfaceEngine3D.Draw(s,...) - Texture not load! s.png"));
    DrawPlain("r");
    EXPECT_TRUE(engine->Textures[0].Loaded);
}

TEST_F(RecordingEngineTest, ABrokenPictureIsNotDecodedAgainUntilItsFileChanges) {
    Windowed();
    folder.Bytes("data/Textures/b.png", "\x89PNG\r\n\x1A\n broken beyond repair");
    engine->CreateSufaceFromTexture("b", "b.png", RECT{0, 0, 8, 8}, false, false, D3DFMT_UNKNOWN,
                                    false);
    for (const bool inMemory : {true, false}) {
        engine->PreLoadInMemory = inMemory;
        if (!inMemory) folder.Bytes("Textures/b.png", "not a picture either");
        engine->Textures[0].FailedFile.reset();
        engine->Textures[0].FailedDrawLoads = 0;
        for (int frame = 0; frame < 50; ++frame) DrawPlain("b");
        EXPECT_FALSE(engine->Textures[0].Loaded);
        EXPECT_EQ(engine->Textures[0].FailedDrawLoads, 1) << "in memory: " << inMemory;
    }
    // The player puts a good file in its place: the next draw makes the texture and draws it.
    engine->PreLoadInMemory = true;
    folder.Solid("data/Textures/b.png", 8, 8, 0xFF00FF00);
    const size_t draws = Device().Texts("DrawPrimitive").size();
    DrawPlain("b");
    EXPECT_TRUE(engine->Textures[0].Loaded);
    EXPECT_EQ(Device().Texts("DrawPrimitive").size(), draws + 1);
}

TEST_F(RecordingEngineTest, BufferFailuresDropTheSurfaceOrKeepItsVertices) {
    folder.Solid("data/Textures/t.png", 8, 8, 0xFFFFFFFF);
    Windowed();
    Device().FailVertexBufferCreations = 1;
    engine->CreateSufaceFromTexture("p", "t.png", RECT{0, 0, 8, 8}, true, false, D3DFMT_UNKNOWN,
                                    false);
    EXPECT_EQ(engine->FindSurface("p"), -1);
    engine->CreateSufaceFromTexture("p", "t.png", RECT{0, 0, 8, 8}, true, false, D3DFMT_UNKNOWN,
                                    false);
    ASSERT_EQ(engine->FindSurface("p"), 0);
    Device().VertexBufferLockResult = D3DERR_INVALIDCALL;
    EXPECT_FALSE(engine->SetVBForSurfaces(engine->Surfaces[0], nullptr));
    EXPECT_TRUE(folder.Logged("TKavSurfaceEngine3D.SetVBForSurfaces FAILED Surface.VB.Lockp"));
    Device().VertexBufferLockResult = D3D_OK;
    Device().VertexBufferUnlockResult = D3DERR_INVALIDCALL;
    EXPECT_FALSE(engine->SetVBForSurfaces(engine->Surfaces[0], nullptr));
    EXPECT_TRUE(folder.Logged("Surface.VB.Unlock p"));
    EXPECT_TRUE(engine->Surfaces[0].VBReady);
}

TEST_F(RecordingEngineTest, ShapesAreCachedByExactValueAndDrawnWithTheirColour) {
    Windowed();
    const size_t from = Device().Calls.size();
    for (int frame = 0; frame < 3; ++frame)
        engine->DrawLineShape(200, 0x0000FF, 1, 2, 30, 40, true);
    EXPECT_EQ(engine->Lines.size(), 1u);
    const RecordedCall& fan = LastDraw();
    EXPECT_EQ(fan.Text, "DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2)");
    const auto v = VerticesOf(fan);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].Color, 0xC8FF0000u);  // red from the low byte
    EXPECT_FLOAT_EQ(v[1].X, 30);
    EXPECT_FLOAT_EQ(v[1].Y, 2);
    EXPECT_FLOAT_EQ(v[3].X, 1);
    EXPECT_FLOAT_EQ(v[3].Y, 40);
    size_t created = 0;
    for (const RecordedCall& c : CallsSince(from)) created += c.Name == "CreateVertexBuffer";
    EXPECT_EQ(created, 1u);
    for (int frame = 0; frame < 3; ++frame)
        engine->DrawLineShape(200, 0x0000FF, frame, 2, 30, 40, true);
    EXPECT_EQ(engine->Lines.size(), 3u);

    const size_t lineFrom = Device().Calls.size();
    engine->DrawLineShape(255, 0xFF0000, 0, 0, 10, 0, false);
    std::vector<std::string> texts;
    for (const RecordedCall& c : CallsSince(lineFrom))
        if (c.Name != "CreateVertexBuffer" && c.Name.rfind("IDirect3DVertexBuffer9", 0) != 0)
            texts.push_back(c.Name);
    EXPECT_EQ(texts, (std::vector<std::string>{"SetTransform", "SetTexture", "SetStreamSource",
                                               "SetRenderState", "SetFVF", "DrawPrimitive",
                                               "SetTransform"}));
    EXPECT_EQ(LastDraw().Text, "DrawPrimitive(D3DPT_LINESTRIP, 0, 1)");
    EXPECT_EQ(VerticesOf(LastDraw())[1].Color, 0xFF0000FFu);
    EXPECT_EQ(Device().Texts("SetTexture").back(), "SetTexture(0, null)");

    engine->DrawTriangleShape(255, 0xFFFFFF, true, 0, 0, 10, 0, 0, 10);
    EXPECT_EQ(LastDraw().Text, "DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 1)");
    engine->DrawTriangleShape(255, 0xFFFFFF, false, 0, 0, 10, 0, 0, 10);
    EXPECT_EQ(LastDraw().Text, "DrawPrimitive(D3DPT_LINESTRIP, 0, 1)");
    EXPECT_EQ(engine->Triangles.size(), 2u);
}

TEST_F(RecordingEngineTest, AShapeMovingEveryFrameKeepsTheCacheBounded) {
    TKavSurfaceEngine3D& e = Windowed();
    for (int frame = 0; frame < 5000; ++frame) {
        ASSERT_EQ(e.DrawLineShape(255, 0xFF, 0, 0, frame, 10, true), D3D_OK);
        ASSERT_EQ(e.DrawTriangleShape(255, 0xFF, true, 0, 0, frame, 10, 5, 20), D3D_OK);
    }
    EXPECT_LE(e.Lines.size(), 2048u);
    EXPECT_LE(e.Triangles.size(), 2048u);
    EXPECT_LE(Device().LiveVertexBuffers, 4096);
    // The newest stay cached; an old one is made again and drawn.
    EXPECT_GE(e.FindLine(255, 0xFF, 0, 0, 4999, 10, true), 0);
    EXPECT_LT(e.FindLine(255, 0xFF, 0, 0, 1, 10, true), 0);
    EXPECT_EQ(e.DrawLineShape(255, 0xFF, 0, 0, 1, 10, true), D3D_OK);
    EXPECT_GE(e.FindLine(255, 0xFF, 0, 0, 1, 10, true), 0);
}

TEST_F(RecordingEngineTest, MovingLinesAndRectanglesSwapBuffersInsteadOfAllocating) {
    TKavSurfaceEngine3D& e = Windowed();
    auto created = [&](size_t from) {
        size_t n = 0;
        for (const RecordedCall& c : CallsSince(from)) n += c.Name == "CreateVertexBuffer";
        return n;
    };
    // A full cache of rectangles (four vertices each), then a scene of lines and rectangles
    // moving every frame in an order of their own: every new shape takes a dropped shape's
    // buffer.
    for (int i = 0; i < 2048; ++i) ASSERT_EQ(e.DrawLineShape(255, 0xFF, 0, 0, i, 10, true), D3D_OK);
    const size_t from = Device().Calls.size();
    for (int frame = 0; frame < 4096; ++frame) {
        const bool filled = (frame * 7919) % 5 < 2;
        ASSERT_EQ(e.DrawLineShape(255, 0xFF, 1, 1, frame, 20, filled), D3D_OK);
        EXPECT_EQ(LastDraw().Text, filled ? "DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2)"
                                          : "DrawPrimitive(D3DPT_LINESTRIP, 0, 1)");
    }
    EXPECT_EQ(created(from), 0u);
    // What a reused buffer draws is the new shape's own vertices.
    const auto v = VerticesOf(LastDraw());
    ASSERT_GE(v.size(), 2u);
    EXPECT_FLOAT_EQ(v[0].X, 1);
    EXPECT_FLOAT_EQ(v[0].Y, 1);
    EXPECT_FLOAT_EQ(v[1].X, 4095);
}

TEST_F(RecordingEngineTest, TextGoesToTheFontUnclippedAtItsPlace) {
    Windowed();
    engine->OutText("Score 10", 0xFFFFFFFF, 12, 34);
    EXPECT_EQ(Device().Texts("D3DXCreateFontW"),
              std::vector<std::string>{"D3DXCreateFontW(20, 700)"});
    EXPECT_EQ(Device().Texts("ID3DXFont::DrawTextA"),
              std::vector<std::string>{
                  "ID3DXFont::DrawTextA(\"Score 10\", 12, 34, 0, 0, 256, 0xFFFFFFFF)"});
    TKavSurfaceEngine3D noDevice(1, 1, false, 0, 0);
    noDevice.OutText("x", 0xFFFFFFFF, 0, 0);  // no font: nothing happens
    EXPECT_EQ(noDevice.DrawLineShape(255, 0, 0, 0, 1, 1, false), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace hv::test
