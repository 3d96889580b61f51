#include "tests/doubles/RecordingDevice.h"

#include <cstring>
#include <map>
#include <new>
#include <utility>

#include "tests/doubles/RecordingFont.h"

namespace hv {

namespace {

std::string Lookup(const std::map<DWORD, const char*>& names, DWORD value) {
    auto it = names.find(value);
    return it != names.end() ? it->second : std::to_string(value);
}

std::string Hex(DWORD v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

std::string Ptr(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

}  // namespace

std::string RenderStateName(DWORD state) {
    static const std::map<DWORD, const char*> names = {
        {D3DRS_ZENABLE, "D3DRS_ZENABLE"},
        {D3DRS_FILLMODE, "D3DRS_FILLMODE"},
        {D3DRS_SHADEMODE, "D3DRS_SHADEMODE"},
        {D3DRS_ZWRITEENABLE, "D3DRS_ZWRITEENABLE"},
        {D3DRS_ALPHATESTENABLE, "D3DRS_ALPHATESTENABLE"},
        {D3DRS_LASTPIXEL, "D3DRS_LASTPIXEL"},
        {D3DRS_SRCBLEND, "D3DRS_SRCBLEND"},
        {D3DRS_DESTBLEND, "D3DRS_DESTBLEND"},
        {D3DRS_CULLMODE, "D3DRS_CULLMODE"},
        {D3DRS_ZFUNC, "D3DRS_ZFUNC"},
        {D3DRS_ALPHAREF, "D3DRS_ALPHAREF"},
        {D3DRS_ALPHAFUNC, "D3DRS_ALPHAFUNC"},
        {D3DRS_DITHERENABLE, "D3DRS_DITHERENABLE"},
        {D3DRS_ALPHABLENDENABLE, "D3DRS_ALPHABLENDENABLE"},
        {D3DRS_FOGENABLE, "D3DRS_FOGENABLE"},
        {D3DRS_SPECULARENABLE, "D3DRS_SPECULARENABLE"},
        {D3DRS_TEXTUREFACTOR, "D3DRS_TEXTUREFACTOR"},
        {D3DRS_LIGHTING, "D3DRS_LIGHTING"},
        {D3DRS_BLENDOP, "D3DRS_BLENDOP"},
    };
    return Lookup(names, state);
}

std::string TextureStageStateName(DWORD type) {
    static const std::map<DWORD, const char*> names = {
        {D3DTSS_COLOROP, "D3DTSS_COLOROP"},     {D3DTSS_COLORARG1, "D3DTSS_COLORARG1"},
        {D3DTSS_COLORARG2, "D3DTSS_COLORARG2"}, {D3DTSS_ALPHAOP, "D3DTSS_ALPHAOP"},
        {D3DTSS_ALPHAARG1, "D3DTSS_ALPHAARG1"}, {D3DTSS_ALPHAARG2, "D3DTSS_ALPHAARG2"},
    };
    return Lookup(names, type);
}

std::string SamplerStateName(DWORD type) {
    static const std::map<DWORD, const char*> names = {
        {D3DSAMP_ADDRESSU, "D3DSAMP_ADDRESSU"},   {D3DSAMP_ADDRESSV, "D3DSAMP_ADDRESSV"},
        {D3DSAMP_MAGFILTER, "D3DSAMP_MAGFILTER"}, {D3DSAMP_MINFILTER, "D3DSAMP_MINFILTER"},
        {D3DSAMP_MIPFILTER, "D3DSAMP_MIPFILTER"}, {D3DSAMP_MAXANISOTROPY, "D3DSAMP_MAXANISOTROPY"},
    };
    return Lookup(names, type);
}

std::string TransformStateName(DWORD state) {
    static const std::map<DWORD, const char*> names = {{D3DTS_WORLD, "D3DTS_WORLD"},
                                                       {D3DTS_VIEW, "D3DTS_VIEW"},
                                                       {D3DTS_PROJECTION, "D3DTS_PROJECTION"}};
    return Lookup(names, state);
}

std::string PrimitiveTypeName(DWORD type) {
    static const std::map<DWORD, const char*> names = {
        {D3DPT_POINTLIST, "D3DPT_POINTLIST"},         {D3DPT_LINELIST, "D3DPT_LINELIST"},
        {D3DPT_LINESTRIP, "D3DPT_LINESTRIP"},         {D3DPT_TRIANGLELIST, "D3DPT_TRIANGLELIST"},
        {D3DPT_TRIANGLESTRIP, "D3DPT_TRIANGLESTRIP"}, {D3DPT_TRIANGLEFAN, "D3DPT_TRIANGLEFAN"}};
    return Lookup(names, type);
}

// ---- RecordingVertexBuffer ------------------------------------------------------------------

RecordingVertexBuffer::RecordingVertexBuffer(RecordingDevice* device, UINT length, DWORD usage,
                                             DWORD fvf, D3DPOOL pool)
    : device_(device), bytes_(length, 0) {
    desc_.Usage = usage;
    desc_.FVF = fvf;
    desc_.Pool = pool;
    desc_.Size = length;
    ++device_->LiveVertexBuffers;
}

RecordingVertexBuffer::~RecordingVertexBuffer() {
    device_->ChildGone(false);
}

HRESULT RecordingVertexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData,
                                    DWORD Flags) {
    device_->Record("IDirect3DVertexBuffer9::Lock",
                    "IDirect3DVertexBuffer9::Lock(" + std::to_string(OffsetToLock) + ", " +
                        std::to_string(SizeToLock) + ", " + std::to_string(Flags) + ")",
                    {OffsetToLock, SizeToLock, Flags}, this);
    if (!ppbData) return D3DERR_INVALIDCALL;
    *ppbData = nullptr;
    if (FAILED(device_->VertexBufferLockResult)) return device_->VertexBufferLockResult;
    if (OffsetToLock > bytes_.size() || SizeToLock > bytes_.size() - OffsetToLock)
        return D3DERR_INVALIDCALL;
    *ppbData = bytes_.data() + OffsetToLock;
    return D3D_OK;
}

HRESULT RecordingVertexBuffer::Unlock() {
    device_->Record("IDirect3DVertexBuffer9::Unlock", "IDirect3DVertexBuffer9::Unlock()", {}, this);
    return device_->VertexBufferUnlockResult;
}

HRESULT RecordingVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    *pDesc = desc_;
    return D3D_OK;
}

namespace {

// Textures of the recording device count themselves and keep the device alive.
class RecordingTexture final : public MemoryTexture {
public:
    RecordingTexture(RecordingDevice* device, UINT w, UINT h, UINT levels, DWORD usage,
                     D3DFORMAT format, D3DPOOL pool)
        : MemoryTexture(w, h, levels, usage, format, pool), device_(device) {
        ++device_->LiveTextures;
    }

protected:
    ~RecordingTexture() override { device_->ChildGone(true); }

private:
    RecordingDevice* device_;
};

}  // namespace

// ---- RecordingDevice ------------------------------------------------------------------------

RecordingDevice::RecordingDevice(const D3DPRESENT_PARAMETERS& pp) : PresentParameters(pp) {
    transforms_[0] = transforms_[1] = transforms_[2] = Identity();
    states_.SetDefaults(pp.EnableAutoDepthStencil);
}

RecordingDevice::~RecordingDevice() = default;

ULONG RecordingDevice::Release() {
    if (refs_ == 0) return 0;
    const ULONG left = --refs_;
    if (left == 0) {
        releasing_ = true;
        if (stream_) std::exchange(stream_, nullptr)->Release();
        if (texture_) std::exchange(texture_, nullptr)->Release();
        releasing_ = false;
        if (LiveVertexBuffers == 0 && LiveTextures == 0) delete this;
    }
    return left;
}

void RecordingDevice::ChildGone(bool texture) {
    --(texture ? LiveTextures : LiveVertexBuffers);
    if (refs_ == 0 && !releasing_ && LiveVertexBuffers == 0 && LiveTextures == 0) delete this;
}

std::vector<std::string> RecordingDevice::Names() const {
    std::vector<std::string> names;
    for (const RecordedCall& c : Calls) names.push_back(c.Name);
    return names;
}

std::vector<std::string> RecordingDevice::Texts(const std::string& name) const {
    std::vector<std::string> texts;
    for (const RecordedCall& c : Calls)
        if (c.Name == name) texts.push_back(c.Text);
    return texts;
}

RecordedCall& RecordingDevice::Record(const std::string& name, const std::string& text,
                                      std::vector<uint32_t> args, const void* object) {
    RecordedCall c;
    c.Name = name;
    c.Text = text;
    c.Args = std::move(args);
    c.Object = object;
    Calls.push_back(std::move(c));
    return Calls.back();
}

HRESULT RecordingDevice::TestCooperativeLevel() {
    Record("TestCooperativeLevel", "TestCooperativeLevel()");
    return CooperativeLevel;
}

HRESULT RecordingDevice::Reset(D3DPRESENT_PARAMETERS* pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    Record("Reset",
           "Reset(" + std::to_string(pp->BackBufferWidth) + "x" +
               std::to_string(pp->BackBufferHeight) + ", windowed " + std::to_string(pp->Windowed) +
               ")",
           {pp->BackBufferWidth, pp->BackBufferHeight, uint32_t(pp->Windowed)});
    if (pp->BackBufferWidth > MaxBackBufferSide || pp->BackBufferHeight > MaxBackBufferSide)
        return D3DERR_INVALIDCALL;
    if (SUCCEEDED(ResetResult)) {
        PresentParameters = *pp;
        states_.SetDefaults(pp->EnableAutoDepthStencil);
        if (stream_) std::exchange(stream_, nullptr)->Release();
        if (texture_) std::exchange(texture_, nullptr)->Release();
    }
    return ResetResult;
}

HRESULT RecordingDevice::Present(const RECT* source, const RECT* dest, HWND, const void*) {
    const auto text = [](const RECT* r) {
        if (!r) return std::string("null");
        return std::to_string(r->left) + "," + std::to_string(r->top) + "," +
               std::to_string(r->right) + "," + std::to_string(r->bottom);
    };
    RecordedCall& call = Record("Present", "Present(" + text(source) + ", " + text(dest) + ")");
    if (dest) call.Rect = *dest;
    return PresentResult;
}

HRESULT RecordingDevice::BeginScene() {
    Record("BeginScene", "BeginScene()");
    return D3D_OK;
}

HRESULT RecordingDevice::EndScene() {
    Record("EndScene", "EndScene()");
    return D3D_OK;
}

HRESULT RecordingDevice::Clear(DWORD Count, const D3DRECT*, DWORD Flags, D3DCOLOR Color, float Z,
                               DWORD Stencil) {
    Record("Clear",
           "Clear(" + std::to_string(Count) + ", " + std::to_string(Flags) + ", " + Hex(Color) +
               ", " + std::to_string(Z) + ", " + std::to_string(Stencil) + ")",
           {Count, Flags, Color, Bits(Z), Stencil});
    return D3D_OK;
}

HRESULT RecordingDevice::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    if (!pMatrix) return D3DERR_INVALIDCALL;
    RecordedCall& c =
        Record("SetTransform", "SetTransform(" + TransformStateName(State) + ")", {State});
    c.Matrix = *pMatrix;
    if (State == D3DTS_WORLD) transforms_[0] = *pMatrix;
    if (State == D3DTS_VIEW) transforms_[1] = *pMatrix;
    if (State == D3DTS_PROJECTION) transforms_[2] = *pMatrix;
    return D3D_OK;
}

HRESULT RecordingDevice::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) {
    if (!pMatrix) return D3DERR_INVALIDCALL;
    *pMatrix = State == D3DTS_WORLD        ? transforms_[0]
               : State == D3DTS_VIEW       ? transforms_[1]
               : State == D3DTS_PROJECTION ? transforms_[2]
                                           : Identity();
    return D3D_OK;
}

HRESULT RecordingDevice::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    Record("SetRenderState",
           "SetRenderState(" + RenderStateName(State) + ", " +
               (State == D3DRS_TEXTUREFACTOR ? Hex(Value) : std::to_string(Value)) + ")",
           {State, Value});
    return states_.SetRender(State, Value);
}

HRESULT RecordingDevice::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
    return states_.GetRender(State, pValue);
}

HRESULT RecordingDevice::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type,
                                              DWORD Value) {
    Record("SetTextureStageState",
           "SetTextureStageState(" + std::to_string(Stage) + ", " + TextureStageStateName(Type) +
               ", " + std::to_string(Value) + ")",
           {Stage, Type, Value});
    return states_.SetStage(Stage, Type, Value);
}

HRESULT RecordingDevice::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type,
                                              DWORD* pValue) {
    return states_.GetStage(Stage, Type, pValue);
}

HRESULT RecordingDevice::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) {
    Record("SetSamplerState",
           "SetSamplerState(" + std::to_string(Sampler) + ", " + SamplerStateName(Type) + ", " +
               std::to_string(Value) + ")",
           {Sampler, Type, Value});
    return states_.SetSampler(Sampler, Type, Value);
}

HRESULT RecordingDevice::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) {
    return states_.GetSampler(Sampler, Type, pValue);
}

HRESULT RecordingDevice::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) {
    Record("SetTexture",
           "SetTexture(" + std::to_string(Stage) + ", " + (pTexture ? Ptr(pTexture) : "null") + ")",
           {Stage}, pTexture);
    if (Stage >= kTextureStageCount) return D3DERR_INVALIDCALL;
    if (Stage != 0) return D3D_OK;
    if (pTexture) pTexture->AddRef();
    if (texture_) texture_->Release();
    texture_ = pTexture;
    return D3D_OK;
}

HRESULT RecordingDevice::SetFVF(DWORD FVF) {
    Record("SetFVF", "SetFVF(" + Hex(FVF) + ")", {FVF});
    fvf_ = FVF;
    return D3D_OK;
}

HRESULT RecordingDevice::GetFVF(DWORD* pFVF) {
    if (!pFVF) return D3DERR_INVALIDCALL;
    *pFVF = fvf_;
    return D3D_OK;
}

HRESULT RecordingDevice::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                                         UINT OffsetInBytes, UINT Stride) {
    Record("SetStreamSource",
           "SetStreamSource(" + std::to_string(StreamNumber) + ", " +
               (pStreamData ? Ptr(pStreamData) : "null") + ", " + std::to_string(OffsetInBytes) +
               ", " + std::to_string(Stride) + ")",
           {StreamNumber, OffsetInBytes, Stride}, pStreamData);
    if (StreamNumber != 0) return D3DERR_INVALIDCALL;
    RecordingVertexBuffer* vb = nullptr;
    if (pStreamData) {
        vb = dynamic_cast<RecordingVertexBuffer*>(pStreamData);
        if (!vb) return D3DERR_INVALIDCALL;
        vb->AddRef();
    }
    if (stream_) stream_->Release();
    stream_ = vb;
    streamOffset_ = OffsetInBytes;
    streamStride_ = Stride;
    return D3D_OK;
}

HRESULT RecordingDevice::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                                       UINT PrimitiveCount) {
    RecordedCall& c =
        Record("DrawPrimitive",
               "DrawPrimitive(" + PrimitiveTypeName(PrimitiveType) + ", " +
                   std::to_string(StartVertex) + ", " + std::to_string(PrimitiveCount) + ")",
               {PrimitiveType, StartVertex, PrimitiveCount}, stream_);
    const UINT n = VerticesForPrimitives(PrimitiveType, PrimitiveCount);
    const UINT size = FvfVertexSize(fvf_);
    const UINT stride = streamStride_ ? streamStride_ : size;
    if (!stream_ || n == 0 || size == 0 || stride < size) return D3DERR_INVALIDCALL;
    const std::vector<uint8_t>& bytes = stream_->Bytes();
    const uint64_t first = streamOffset_ + uint64_t(StartVertex) * stride;
    if (first + uint64_t(n - 1) * stride + size > bytes.size()) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < n; ++i) {
        const uint8_t* v = bytes.data() + first + uint64_t(i) * stride;
        c.Vertices.insert(c.Vertices.end(), v, v + size);
    }
    return D3D_OK;
}

HRESULT RecordingDevice::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                            IDirect3DVertexBuffer9** ppVertexBuffer, void*) {
    Record("CreateVertexBuffer",
           "CreateVertexBuffer(" + std::to_string(Length) + ", " + std::to_string(Usage) + ", " +
               Hex(FVF) + ", " + std::to_string(Pool) + ")",
           {Length, Usage, FVF, Pool});
    if (!ppVertexBuffer) return D3DERR_INVALIDCALL;
    *ppVertexBuffer = nullptr;
    if (FailVertexBufferCreations > 0) {
        --FailVertexBufferCreations;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    if (Length == 0) return D3DERR_INVALIDCALL;
    if (Length > kMaxResourceBytes) return D3DERR_OUTOFVIDEOMEMORY;
    *ppVertexBuffer = new RecordingVertexBuffer(this, Length, Usage, FVF, Pool);
    Calls.back().Object = *ppVertexBuffer;
    return D3D_OK;
}

HRESULT RecordingDevice::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage,
                                       D3DFORMAT Format, D3DPOOL Pool,
                                       IDirect3DTexture9** ppTexture, void*) {
    Record("CreateTexture",
           "CreateTexture(" + std::to_string(Width) + ", " + std::to_string(Height) + ", " +
               std::to_string(Levels) + ", " + std::to_string(Usage) + ", " +
               std::to_string(Format) + ", " + std::to_string(Pool) + ")",
           {Width, Height, Levels, Usage, Format, Pool});
    if (!ppTexture) return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    const HRESULT hr = MemoryTexture::CheckCreate(Width, Height, Levels, Format, MaxTextureSize);
    if (FAILED(hr)) return hr;
    try {
        *ppTexture = new RecordingTexture(this, Width, Height, Levels, Usage, Format, Pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    Calls.back().Object = *ppTexture;
    return D3D_OK;
}

HRESULT RecordingDevice::EvictManagedResources() {
    Record("EvictManagedResources", "EvictManagedResources()");
    return D3D_OK;
}

HRESULT RecordingDevice::GetDeviceCaps(D3DCAPS9* pCaps) {
    if (!pCaps) return D3DERR_INVALIDCALL;
    *pCaps = D3DCAPS9{};
    pCaps->MaxTextureWidth = pCaps->MaxTextureHeight = MaxTextureSize;
    pCaps->MaxPrimitiveCount = 0xFFFFF;
    return D3D_OK;
}

ID3DXFont* RecordingDevice::CreateOwnFont(INT Height, UINT Weight) {
    Record("D3DXCreateFontW",
           "D3DXCreateFontW(" + std::to_string(Height) + ", " + std::to_string(Weight) + ")",
           {uint32_t(Height), Weight});
    return new RecordingFont(this, Height);
}

void RecordingDevice::GetBackBufferSize(UINT& Width, UINT& Height) {
    Width = PresentParameters.BackBufferWidth;
    Height = PresentParameters.BackBufferHeight;
}

HRESULT RecordingDevice::DrawScreenQuads(IDirect3DTexture9* Page, const ScreenQuadCorner* Corners,
                                         size_t QuadCount, D3DCOLOR Color) {
    Record("DrawScreenQuads",
           "DrawScreenQuads(" + std::to_string(QuadCount) + ", " + Hex(Color) + ")",
           {uint32_t(QuadCount), Color}, Page);
    return Page && (Corners || QuadCount == 0) ? D3D_OK : D3DERR_INVALIDCALL;
}

// ---- RecordingDirect3D9 ---------------------------------------------------------------------

RecordingDirect3D9::RecordingDirect3D9() {
    Modes.push_back(DesktopMode);
}

UINT RecordingDirect3D9::GetAdapterCount() {
    Calls.push_back({"GetAdapterCount", "GetAdapterCount()"});
    return AdapterCount;
}

HRESULT RecordingDirect3D9::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) {
    Calls.push_back({"GetAdapterDisplayMode",
                     "GetAdapterDisplayMode(" + std::to_string(Adapter) + ")",
                     {Adapter}});
    if (!pMode || Adapter >= AdapterCount) return D3DERR_INVALIDCALL;
    *pMode = DesktopMode;
    return D3D_OK;
}

UINT RecordingDirect3D9::GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) {
    Calls.push_back(
        {"GetAdapterModeCount",
         "GetAdapterModeCount(" + std::to_string(Adapter) + ", " + std::to_string(Format) + ")",
         {Adapter, Format}});
    UINT n = 0;
    if (Adapter < AdapterCount)
        for (const D3DDISPLAYMODE& m : Modes) n += m.Format == Format;
    return n;
}

HRESULT RecordingDirect3D9::EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode,
                                             D3DDISPLAYMODE* pMode) {
    Calls.push_back({"EnumAdapterModes",
                     "EnumAdapterModes(" + std::to_string(Adapter) + ", " + std::to_string(Format) +
                         ", " + std::to_string(Mode) + ")",
                     {Adapter, Format, Mode}});
    if (!pMode || Adapter >= AdapterCount) return D3DERR_INVALIDCALL;
    UINT i = 0;
    for (const D3DDISPLAYMODE& m : Modes) {
        if (m.Format != Format) continue;
        if (i++ == Mode) {
            *pMode = m;
            return D3D_OK;
        }
    }
    return D3DERR_INVALIDCALL;
}

HRESULT RecordingDirect3D9::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND,
                                         DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pp,
                                         IDirect3DDevice9** ppReturnedDeviceInterface) {
    RecordedCall c{"CreateDevice",
                   "CreateDevice(" + std::to_string(Adapter) + ", " + std::to_string(DeviceType) +
                       ", " + std::to_string(BehaviorFlags) + ")",
                   {Adapter, DeviceType, BehaviorFlags}};
    if (pp) {
        c.Text += " " + std::to_string(pp->BackBufferWidth) + "x" +
                  std::to_string(pp->BackBufferHeight) + " windowed " +
                  std::to_string(pp->Windowed);
        c.Args.insert(c.Args.end(),
                      {pp->BackBufferWidth, pp->BackBufferHeight, uint32_t(pp->Windowed)});
    }
    Calls.push_back(c);
    if (!ppReturnedDeviceInterface) return D3DERR_INVALIDCALL;
    *ppReturnedDeviceInterface = nullptr;
    if (!pp) return D3DERR_INVALIDCALL;
    if (FAILED(CreateDeviceResult)) return CreateDeviceResult;
    auto* device = new RecordingDevice(*pp);
    LastDevice = device;
    *ppReturnedDeviceInterface = device;
    return D3D_OK;
}

}  // namespace hv
