// Merging draws into few OpenGL draw calls must not change a pixel: draws that differ only in
// texture and sampler states share a batch, and a draw moves before the batch after it only
// where their pixels are apart. Each case runs with both ways the fragment program picks a
// primitive's texture unit (indexing the samplers, comparing with each unit).
#include <cstdlib>
#include <string>

#include "tests/device/DeviceFixture.h"

namespace hv::test {
namespace {

class BatchingTest : public DeviceTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        // Every unit the driver has, whatever the driver's default.
        const ScopedEnv units("HV_D3D_TEXTURE_UNITS", "8");
        const ScopedEnv indexed("HV_D3D_INDEXED_UNITS", GetParam());
        DeviceTest::SetUp();
    }
    // Sets an environment variable for its lifetime, then puts back what was there.
    struct ScopedEnv {
        ScopedEnv(const char* name, const char* value) : name_(name) {
            const char* outer = std::getenv(name);
            had_ = outer != nullptr;
            if (outer) kept_ = outer;
            setenv(name, value, 1);
        }
        ~ScopedEnv() {
            if (had_)
                setenv(name_, kept_.c_str(), 1);
            else
                unsetenv(name_);
        }
        const char* name_;
        bool had_ = false;
        std::string kept_;
    };

    // Draws `scene` batched and then call by call; expects the same pixels and returns the
    // draw calls of the batched frame.
    uint64_t BatchedCallsOfAnUnchangedFrame(const std::function<void()>& scene) {
        auto frame = [&] {
            device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040, 1.0f, 0);
            device->BeginScene();
            scene();
            device->EndScene();
            return Frame();
        };
        SetBatching(device, true);
        const uint64_t before = GLDrawCallCount(device);
        const auto batched = frame();
        const uint64_t calls = GLDrawCallCount(device) - before;
        SetBatching(device, false);
        const auto single = frame();
        SetBatching(device, true);
        size_t differing = 0, first = batched.size();
        for (size_t i = 0; i < batched.size(); ++i)
            if (batched[i] != single[i]) {
                ++differing;
                if (first == batched.size()) first = i;
            }
        EXPECT_EQ(differing, 0u) << "first at x " << first % W << ", y " << first / W;
        return calls;
    }

    // A 16 x 16 texture with `levels` levels; texel (x, y) of level l from `texel(x, y, l)`.
    IDirect3DTexture9* MakeLevels(UINT levels,
                                  const std::function<D3DCOLOR(int, int, UINT)>& texel) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(
            device->CreateTexture(16, 16, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
            D3D_OK);
        for (UINT l = 0; l < levels; ++l) {
            D3DLOCKED_RECT r;
            EXPECT_EQ(t->LockRect(l, &r, nullptr, 0), D3D_OK);
            const int side = 16 >> l;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x) {
                    const D3DCOLOR c = texel(x, y, l);
                    std::memcpy(static_cast<uint8_t*>(r.pBits) + y * r.Pitch + x * 4, &c, 4);
                }
            t->UnlockRect(l);
        }
        return t;
    }

    void SetAddress(DWORD mode) {
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, mode);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, mode);
    }

    // A w x h rectangle at (0, 0) in `color`, as a fan.
    IDirect3DVertexBuffer9* Rectangle(float w, float h, D3DCOLOR color) {
        return MakeBuffer({{0, 0, 1, color, 0, 0},
                           {w, 0, 1, color, 0, 0},
                           {w, h, 1, color, 0, 0},
                           {0, h, 1, color, 0, 0}});
    }

    // The engine's untextured shapes: a line strip with its blending as left, a fan blended.
    void Shape(IDirect3DVertexBuffer9* vb, bool filled, float x, float y) {
        device->SetTexture(0, nullptr);
        if (filled) {
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
            device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
            device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        }
        const D3DXMATRIX at = Translation(x, y);
        Draw(vb, filled ? D3DPT_TRIANGLEFAN : D3DPT_LINESTRIP, filled ? 2 : 1, at);
    }
};

TEST_P(BatchingTest, TexturesWithTheirOwnSamplersAndStagesInterleavedDrawAsOneByOne) {
    // Texels that tell point from linear filtering, and clamping from wrapping.
    IDirect3DTexture9* a = MakeTexture(8, 8, [](int x, int y) {
        return D3DCOLOR_ARGB(120 + x * 16, (x * 37) & 0xFF, (y * 29) & 0xFF, 200 - y * 20);
    });
    IDirect3DTexture9* b = MakeTexture(
        16, 8, [](int x, int y) { return ((x / 2 + y / 2) % 2) ? 0xFFFFFFFFu : 0x80FF2000u; });
    IDirect3DVertexBuffer9* quad = MakeBuffer(PictureQuad(16, 16, 8, 8, 0xE0FFFFFF));
    // Texture coordinates from -0.5 to 1.5: the address mode shows at the edges.
    IDirect3DVertexBuffer9* wide = MakeBuffer({{0.5f, 0.5f, 1, 0xFFFFFFFF, -0.5f, -0.5f},
                                               {0.5f, 23.5f, 1, 0xFFFFFFFF, -0.5f, 1.5f},
                                               {23.5f, 0.5f, 1, 0xFFFFFFFF, 1.5f, -0.5f},
                                               {23.5f, 23.5f, 1, 0xFFFFFFFF, 1.5f, 1.5f}});
    // Draw i adds when i % 5 == 0 and paints flat in the factor colour when i % 7 == 0.
    auto stageOf = [](int i) { return (i % 5 == 0 ? 1 : 0) + (i % 7 == 0 ? 2 : 0); };
    uint64_t stageRuns = 1;
    for (int i = 1; i < 48; ++i) stageRuns += stageOf(i) != stageOf(i - 1);
    const uint64_t calls = BatchedCallsOfAnUnchangedFrame([&] {
        for (int i = 0; i < 48; ++i) {
            D3DXMATRIX turn, at;
            D3DXMatrixRotationZ(&turn, 0.21f * float(i));
            D3DXMatrixTranslation(&at, float(12 + i * 29 % 130), float(10 + i * 17 % 95), 0);
            SetAddress((i / 3) % 2 ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP);
            const DWORD filter = (i / 2) % 2 ? D3DTEXF_LINEAR : D3DTEXF_POINT;
            DrawPicture(i % 2 ? a : b, i % 4 < 2 ? quad : wide, turn * at, stageOf(i) & 2 ? 180 : 0,
                        0x00FF40C0, stageOf(i) & 1, filter);
        }
    });
    // Changes of stage and blending may end batches; changes of texture and sampler do not.
    EXPECT_LE(calls, stageRuns);

    // Two textures, four sampler set-ups, in turn: one draw call.
    const uint64_t alternating = BatchedCallsOfAnUnchangedFrame([&] {
        for (int i = 0; i < 40; ++i) {
            SetAddress(i % 4 < 2 ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP);
            DrawPicture(i % 2 ? a : b, wide, Translation(float(i * 13 % 140), float(i * 7 % 100)),
                        0, 0, 0, i % 8 < 4 ? D3DTEXF_POINT : D3DTEXF_LINEAR);
        }
    });
    EXPECT_EQ(alternating, 1u);
    SetAddress(D3DTADDRESS_WRAP);

    // Twelve textures take two batches of at most eight units.
    std::vector<IDirect3DTexture9*> many;
    for (int t = 0; t < 12; ++t)
        many.push_back(MakeTexture(
            8, 8, [t](int x, int y) { return D3DCOLOR_ARGB(255, t * 20, x * 30, y * 30); }));
    const uint64_t twelve = BatchedCallsOfAnUnchangedFrame([&] {
        for (int i = 0; i < 24; ++i)
            DrawPicture(many[size_t(i % 12)], quad,
                        Translation(float(i * 11 % 140), float(i * 23 % 100)));
    });
    EXPECT_GE(twelve, 2u);
    EXPECT_LE(twelve, 4u);
    for (auto* t : many) t->Release();
    quad->Release();
    wide->Release();
    a->Release();
    b->Release();
}

TEST_P(BatchingTest, OneTextureAtTwoLargestLevelsIsNotMerged) {
    // Level 0 red, level 1 green: the largest level sampled decides the colour.
    IDirect3DTexture9* t =
        MakeLevels(2, [](int, int, UINT level) { return level ? 0xFF00FF00u : 0xFFFF0000u; });
    IDirect3DVertexBuffer9* quad = MakeBuffer(PictureQuad(8, 8, 8, 8));
    BatchedCallsOfAnUnchangedFrame([&] {
        for (int i = 0; i < 4; ++i) {
            device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, DWORD(i % 2));
            DrawPicture(t, quad, Translation(float(10 + i * 20), 10));
        }
    });
    const auto f = Frame();
    EXPECT_EQ(At(f, 13, 13), 0xFFFF0000u);
    EXPECT_EQ(At(f, 33, 13), 0xFF00FF00u);
    EXPECT_EQ(At(f, 53, 13), 0xFFFF0000u);
    EXPECT_EQ(At(f, 73, 13), 0xFF00FF00u);
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);
    quad->Release();
    t->Release();
}

TEST_P(BatchingTest, ChangingATextureDrawsEveryPendingBatchThatSamplesIt) {
    IDirect3DTexture9* a = MakeTexture(4, 4, [](int, int) { return 0xFFFF0000u; });
    IDirect3DTexture9* b = MakeTexture(4, 4, [](int, int) { return 0xFF0000FFu; });
    IDirect3DVertexBuffer9* quad = MakeBuffer(PictureQuad(4, 4, 4, 4));
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    // `a` in the first of two batches (the additive draw holds the second), then in the unit
    // after `b`'s.
    DrawPicture(a, quad, Translation(10.5f, 10.5f));
    DrawPicture(b, quad, Translation(20.5f, 10.5f), 0, 0, 1);
    DrawPicture(b, quad, Translation(30.5f, 10.5f));
    DrawPicture(a, quad, Translation(40.5f, 10.5f));
    D3DLOCKED_RECT r;
    ASSERT_EQ(a->LockRect(0, &r, nullptr, 0), D3D_OK);
    for (int i = 0; i < 16; ++i) static_cast<D3DCOLOR*>(r.pBits)[i] = 0xFF00FF00u;
    a->UnlockRect(0);
    DrawPicture(a, quad, Translation(50.5f, 10.5f));
    device->EndScene();
    const auto f = Frame();
    EXPECT_EQ(At(f, 12, 12), 0xFFFF0000u);
    EXPECT_EQ(At(f, 22, 12), 0xFF0000FFu);
    EXPECT_EQ(At(f, 32, 12), 0xFF0000FFu);
    EXPECT_EQ(At(f, 42, 12), 0xFFFF0000u);
    EXPECT_EQ(At(f, 52, 12), 0xFF00FF00u);
    quad->Release();
    a->Release();
    b->Release();
}

TEST_P(BatchingTest, ADrawMovesBeforeTheBatchAfterItOnlyWhereThePixelsAreApart) {
    IDirect3DVertexBuffer9* line =
        MakeBuffer({{0, 0, 1, 0xFF40FF40, 0, 0}, {30, 12, 1, 0xFF40FF40, 0, 0}});
    IDirect3DVertexBuffer9* red = Rectangle(12, 10, 0xC0FF0000);
    IDirect3DVertexBuffer9* blue = Rectangle(12, 10, 0xFF0000FF);
    IDirect3DVertexBuffer9* small = Rectangle(12, 6, 0xC0FFFF00);
    // Lines and filled rectangles in turn, each apart from the others: two draw calls.
    const uint64_t apart = BatchedCallsOfAnUnchangedFrame([&] {
        Shape(red, true, -100, -100);  // sets the blending every later line keeps
        for (int i = 0; i < 20; ++i) {
            const float x = float(i % 5 * 32), y = float(i / 5 * 30);
            Shape(line, false, x, y);
            Shape(small, true, x + 2, y + 17);
        }
    });
    EXPECT_EQ(apart, 2u);

    // A line over a rectangle, then a rectangle over the line: the order shows.
    const uint64_t crossing = BatchedCallsOfAnUnchangedFrame([&] {
        Shape(red, true, 40, 40);
        Shape(line, false, 35, 40);
        Shape(blue, true, 50, 42);
        Shape(line, false, 100, 100);  // apart from everything: joins the first line
    });
    EXPECT_EQ(crossing, 3u);
    const auto f = Frame();
    // The line passes (55, 48) under the blue rectangle, which was drawn after it.
    EXPECT_EQ(At(f, 55, 48), 0xFF0000FFu);
    line->Release();
    red->Release();
    blue->Release();
    small->Release();
}

INSTANTIATE_TEST_SUITE_P(UnitPicking, BatchingTest, ::testing::Values("1", "0"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param[0] == '1' ? "Indexed" : "Compared");
                         });

}  // namespace
}  // namespace hv::test
