// A device that draws nothing and keeps every call, for tests of the code that drives the
// device: call order, arguments, matrices and the vertex-buffer contents of every draw. Results
// of the calls that can fail are set by the test. Its fonts keep what they are asked to draw
// (RecordingFont.h). Linked by tests only; no SDL or OpenGL here.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/d3d9/Resources.h"
#include "platform/d3d9/StateBlock.h"
#include "platform/d3d9/d3d9.h"

namespace hv {

struct RecordedCall {
    RecordedCall() = default;
    RecordedCall(std::string name, std::string text, std::vector<uint32_t> args = {})
        : Name(std::move(name)), Text(std::move(text)), Args(std::move(args)) {}

    std::string Name;  // "SetRenderState", "DrawPrimitive", "IDirect3DVertexBuffer9::Lock", ...
    // Name and arguments as text, with Direct3D's names for the constants the engine uses:
    // "SetRenderState(D3DRS_ALPHABLENDENABLE, 1)", "DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2)".
    std::string Text;
    std::vector<uint32_t> Args;     // numeric arguments in order (floats as their bit patterns)
    D3DMATRIX Matrix{};             // SetTransform
    const void* Object = nullptr;   // the texture, vertex buffer or font concerned
    std::vector<uint8_t> Vertices;  // DrawPrimitive: the vertex bytes it read, in order
    std::string String;             // DrawTextA: the text
    RECT Rect{};                    // DrawTextA: the rectangle; Present: the destination
};

class RecordingDevice;

// A vertex buffer of the recording device; Lock and Unlock are recorded and fail on request.
class RecordingVertexBuffer final : public RefCounted<IDirect3DVertexBuffer9> {
public:
    RecordingVertexBuffer(RecordingDevice* device, UINT length, DWORD usage, DWORD fvf,
                          D3DPOOL pool);
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

protected:
    ~RecordingVertexBuffer() override;

private:
    RecordingDevice* device_;
    std::vector<uint8_t> bytes_;
    D3DVERTEXBUFFER_DESC desc_;
};

// The device lives while it has references or vertex buffers and textures of its own; those
// do not hold references to it, so that a texture bound to the device does not keep it alive.
class RecordingDevice final : public IDirect3DDevice9, private IDirect3DTextTarget {
public:
    explicit RecordingDevice(const D3DPRESENT_PARAMETERS& pp);
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;
    // Vertex buffers and textures of this device report their end here.
    void ChildGone(bool texture);

    // ---- What the test controls ----
    HRESULT CooperativeLevel = D3D_OK;  // returned by TestCooperativeLevel
    HRESULT ResetResult = D3D_OK;
    HRESULT PresentResult = D3D_OK;
    int FailVertexBufferCreations = 0;  // so many next CreateVertexBuffer calls fail
    HRESULT VertexBufferLockResult = D3D_OK;
    HRESULT VertexBufferUnlockResult = D3D_OK;
    DWORD MaxTextureSize = 8192;
    UINT MaxBackBufferSide = 16384;  // Reset refuses larger back buffers (D3DERR_INVALIDCALL)

    // ---- What the test reads ----
    std::vector<RecordedCall> Calls;
    D3DPRESENT_PARAMETERS PresentParameters{};  // of the creation or the last Reset
    int LiveVertexBuffers = 0;
    int LiveTextures = 0;
    // Names of the calls in order, e.g. {"Clear", "BeginScene", ...}.
    std::vector<std::string> Names() const;
    // The recorded texts of the calls named `name`.
    std::vector<std::string> Texts(const std::string& name) const;

    // Keeps a call made through an object of this device (vertex buffers, textures, fonts).
    RecordedCall& Record(const std::string& name, const std::string& text,
                         std::vector<uint32_t> args = {}, const void* object = nullptr);

    HRESULT TestCooperativeLevel() override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* pp) override;
    HRESULT Present(const RECT*, const RECT*, HWND, const void*) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                  DWORD Stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type,
                                 DWORD* pValue) override;
    HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
    HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT SetFVF(DWORD FVF) override;
    HRESULT GetFVF(DWORD* pFVF) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                            UINT OffsetInBytes, UINT Stride) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                          UINT PrimitiveCount) override;
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer9** ppVertexBuffer,
                               void* pSharedHandle) override;
    HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                          D3DPOOL Pool, IDirect3DTexture9** ppTexture,
                          void* pSharedHandle) override;
    HRESULT EvictManagedResources() override;
    HRESULT GetDeviceCaps(D3DCAPS9* pCaps) override;
    IDirect3DTextTarget* TextTarget() override { return this; }

protected:
    ~RecordingDevice() override;

private:
    // Fonts are recording fonts, made as "D3DXCreateFontW(height, weight)"; quads drawn for
    // text are recorded as "DrawScreenQuads(count, colour)".
    ID3DXFont* CreateOwnFont(INT Height, UINT Weight) override;
    void GetBackBufferSize(UINT& Width, UINT& Height) override;
    HRESULT DrawScreenQuads(IDirect3DTexture9* Page, const ScreenQuadCorner* Corners,
                            size_t QuadCount, D3DCOLOR Color) override;

private:
    ULONG refs_ = 1;
    bool releasing_ = false;
    D3DStateBlock states_;
    D3DMATRIX transforms_[3]{};  // world, view, projection
    DWORD fvf_ = 0;
    RecordingVertexBuffer* stream_ = nullptr;
    UINT streamOffset_ = 0, streamStride_ = 0;
    IDirect3DBaseTexture9* texture_ = nullptr;
};

// The Direct3D object of the recording implementation. Install it with
// SetDirect3DCreate9Factory to make the engine create recording devices.
class RecordingDirect3D9 final : public RefCounted<IDirect3D9> {
public:
    RecordingDirect3D9();

    // ---- What the test controls ----
    UINT AdapterCount = 1;
    D3DDISPLAYMODE DesktopMode{1024, 768, 60, D3DFMT_X8R8G8B8};
    std::vector<D3DDISPLAYMODE> Modes;  // initially the desktop mode alone
    HRESULT CreateDeviceResult = D3D_OK;

    // ---- What the test reads ----
    std::vector<RecordedCall> Calls;
    RecordingDevice* LastDevice = nullptr;  // not counted; valid while the device lives

    UINT GetAdapterCount() override;
    HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    UINT GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) override;
    HRESULT EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode,
                             D3DDISPLAYMODE* pMode) override;
    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                         DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pp,
                         IDirect3DDevice9** ppReturnedDeviceInterface) override;
};

// Direct3D's name of a constant, or its number: RenderStateName(27) == "D3DRS_ALPHABLENDENABLE".
std::string RenderStateName(DWORD state);
std::string TextureStageStateName(DWORD type);
std::string SamplerStateName(DWORD type);
std::string TransformStateName(DWORD state);
std::string PrimitiveTypeName(DWORD type);

}  // namespace hv
