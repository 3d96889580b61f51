// The recording device: what the engine's call-order tests rely on.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/d3dx9/d3dx9.h"
#include "tests/device/DeviceFixture.h"
#include "tests/doubles/RecordingDevice.h"

namespace hv {
namespace {

struct Vertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};

TEST(RecordingDevice, KeepsCallsArgumentsMatricesAndTheVerticesEachDrawRead) {
    auto* d3d = new RecordingDirect3D9();
    SetDirect3DCreate9Factory([d3d](UINT) {
        d3d->AddRef();
        return d3d;
    });
    IDirect3D9* created = Direct3DCreate9(0x8000001F);
    SetDirect3DCreate9Factory(nullptr);
    ASSERT_EQ(created, d3d);
    created->Release();

    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = 1;
    pp.BackBufferWidth = 800;
    pp.BackBufferHeight = 600;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                &pp, &device),
              D3D_OK);
    RecordingDevice* rec = d3d->LastDevice;
    ASSERT_EQ(static_cast<IDirect3DDevice9*>(rec), device);

    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(96, 0, 0x142, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    Vertex quad[4] = {{0.5f, 0.5f, 1, 0xFF102030, 0, 0},
                      {0.5f, 9.5f, 1, 0xFF102030, 0, 1},
                      {9.5f, 0.5f, 1, 0xFF102030, 1, 0},
                      {9.5f, 9.5f, 1, 0xFF102030, 1, 1}};
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, quad, sizeof quad);
    vb->Unlock();

    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 5, 6, 0);
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x808080);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetFVF(0x142);
    device->SetStreamSource(0, vb, 0, 24);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    // Refilling the buffer after the draw does not change what the draw recorded.
    vb->Lock(0, 0, &p, 0);
    std::memset(p, 0, 96);
    vb->Unlock();

    EXPECT_EQ(rec->Texts("SetRenderState"),
              (std::vector<std::string>{"SetRenderState(D3DRS_ALPHABLENDENABLE, 1)",
                                        "SetRenderState(D3DRS_TEXTUREFACTOR, 0x00808080)"}));
    EXPECT_EQ(rec->Texts("SetTextureStageState"),
              (std::vector<std::string>{"SetTextureStageState(0, D3DTSS_COLOROP, 7)"}));
    EXPECT_EQ(rec->Texts("DrawPrimitive"),
              (std::vector<std::string>{"DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2)"}));
    const RecordedCall* draw = nullptr;
    const RecordedCall* transform = nullptr;
    for (const RecordedCall& c : rec->Calls) {
        if (c.Name == "DrawPrimitive") draw = &c;
        if (c.Name == "SetTransform") transform = &c;
    }
    ASSERT_NE(draw, nullptr);
    ASSERT_EQ(draw->Vertices.size(), sizeof quad);
    EXPECT_EQ(std::memcmp(draw->Vertices.data(), quad, sizeof quad), 0);
    ASSERT_NE(transform, nullptr);
    EXPECT_EQ(transform->Args, (std::vector<uint32_t>{D3DTS_WORLD}));
    EXPECT_EQ(transform->Matrix._41, 5.0f);
    EXPECT_EQ(transform->Matrix._42, 6.0f);

    // Reading past the buffer is refused, not read.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);

    // The font records what it is asked to draw.
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontW(device, 20, 0, FW_BOLD, 1, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, 0, L"", &font),
              D3D_OK);
    RECT r{12, 34, 0, 0};
    EXPECT_EQ(font->DrawTextA(nullptr, "Score 10", -1, &r, DT_NOCLIP, 0xFF00FF00), 20);
    EXPECT_EQ(rec->Calls.back().Name, "ID3DXFont::DrawTextA");
    EXPECT_EQ(rec->Calls.back().String, "Score 10");
    EXPECT_EQ(rec->Calls.back().Rect.left, 12);
    EXPECT_EQ(rec->Calls.back().Rect.top, 34);
    font->Release();

    EXPECT_EQ(rec->LiveVertexBuffers, 1);
    vb->Release();  // still bound as the stream source
    EXPECT_EQ(rec->LiveVertexBuffers, 1);
    device->Release();  // drops the binding; the buffer and then the device go
    d3d->Release();
}

TEST(RecordingDevice, FailsWhereTheTestSaysAndCountsItsResources) {
    RecordingDirect3D9* d3d = new RecordingDirect3D9();
    d3d->Modes = {{640, 480, 60, D3DFMT_X8R8G8B8},
                  {320, 200, 60, D3DFMT_X8R8G8B8},
                  {800, 600, 75, D3DFMT_R5G6B5}};
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 2u);
    D3DDISPLAYMODE m;
    ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 1, &m), D3D_OK);
    EXPECT_EQ(m.Width, 320u);
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 2, &m), D3DERR_INVALIDCALL);

    D3DPRESENT_PARAMETERS pp{};
    IDirect3DDevice9* device = nullptr;
    d3d->CreateDeviceResult = D3DERR_NOTAVAILABLE;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    d3d->CreateDeviceResult = D3D_OK;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device), D3D_OK);
    RecordingDevice* rec = d3d->LastDevice;

    rec->CooperativeLevel = D3DERR_DEVICENOTRESET;
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    rec->FailVertexBufferCreations = 1;
    IDirect3DVertexBuffer9* vb = nullptr;
    EXPECT_TRUE(FAILED(device->CreateVertexBuffer(96, 0, 0x142, D3DPOOL_MANAGED, &vb, nullptr)));
    ASSERT_EQ(device->CreateVertexBuffer(96, 0, 0x142, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    rec->VertexBufferLockResult = D3DERR_INVALIDCALL;
    void* p = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);

    // Textures made by D3DX on the recording device hold the picture like any other.
    IDirect3DTexture9* t = nullptr;
    const uint8_t notPicture[4] = {1, 2, 3, 4};
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, notPicture, 4, &t), D3DXERR_INVALIDDATA);
    ASSERT_EQ(device->CreateTexture(16, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
              D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 5u);
    EXPECT_EQ(rec->LiveTextures, 1);
    device->SetTexture(0, t);
    t->Release();
    EXPECT_EQ(rec->LiveTextures, 1);  // bound
    device->SetTexture(0, nullptr);
    EXPECT_EQ(rec->LiveTextures, 0);
    EXPECT_EQ(rec->Names().front(), "TestCooperativeLevel");
    vb->Release();
    device->Release();
    d3d->Release();
}

TEST(VideoMemory, IsMeasuredOnceOrReplacedAndStaysPositiveAsASignedNumber) {
    SetVideoMemoryQuery([] { return DWORD(123456789); });
    EXPECT_EQ(GetVideoMemoryTotal(), 123456789u);
    SetVideoMemoryQuery(nullptr);
    test::StartVideo();
    const DWORD total = GetVideoMemoryTotal();
    EXPECT_LE(total, 0x7FFFFFFFu);
    EXPECT_EQ(GetVideoMemoryTotal(), total);
}

}  // namespace
}  // namespace hv

namespace hv::test {

TEST(RecordingDevice, StatesStartAndResetAtDirect3DsDefaults) {
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 32;
    pp.Windowed = 1;
    auto* dev = new RecordingDevice(pp);
    DWORD v = 0;
    EXPECT_EQ(dev->GetRenderState(D3DRS_LIGHTING, &v), D3D_OK);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(dev->GetTextureStageState(0, D3DTSS_COLOROP, &v), D3D_OK);
    EXPECT_EQ(v, DWORD(D3DTOP_MODULATE));
    dev->SetRenderState(D3DRS_TEXTUREFACTOR, 0x808080);
    dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    EXPECT_EQ(dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(dev->GetRenderState(D3DRS_TEXTUREFACTOR, &v), D3D_OK);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_EQ(dev->GetSamplerState(0, D3DSAMP_MAGFILTER, &v), D3D_OK);
    EXPECT_EQ(v, DWORD(D3DTEXF_POINT));
    EXPECT_EQ(dev->SetRenderState(D3DRENDERSTATETYPE(kRenderStateCount), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->GetSamplerState(kTextureStageCount, D3DSAMP_MAGFILTER, &v), D3DERR_INVALIDCALL);
    dev->Release();
}

}  // namespace hv::test
