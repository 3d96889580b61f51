// The OpenGL 3.3 implementation of the Direct3D 9 device (internal to platform/).
//
// How Direct3D 9's rules are kept:
// - Vertices are transformed on the CPU by world x view x projection (row vectors) into clip
//   space, so draws with different world matrices can share one OpenGL draw call.
// - Pixel centres: Direct3D puts them at integer screen coordinates, OpenGL at half-integers.
//   Every vertex moves half a pixel right and down after projection, so that attributes are
//   taken at Direct3D's centres; the picture is kept upside down in the off-screen buffer when
//   the driver's rule for centres on edges is Direct3D's top-left rule only that way round
//   (GLDriverProbes.cpp).
// - Drawing goes into an off-screen colour buffer of the back buffer's size; Present copies it
//   to the window (stretched when the window's size differs) and swaps.
// - Texture stage 0's colour and alpha operations are evaluated in the fragment shader
//   (GLShaders.cpp); stages 1 to 7 are always disabled. A stage that reads its texture while
//   none is set is skipped: the diffuse colour and alpha go through, as Direct3D does.
// - Lighting without lights (the device offers no lights and no materials, so the material is
//   black): a lit vertex's colour is the ambient light times the ambient source plus the
//   emissive source, with the diffuse source's alpha, computed on the CPU.
// - Consecutive draws with identical state are merged: primitives are turned into indexed
//   lists and appended to one batch, drawn when the state changes or at Clear, EndScene,
//   Present and any read of the back buffer.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <array>
#include <cstring>
#include <map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/d3d9/Resources.h"
#include "platform/d3d9/StateBlock.h"
#include "platform/d3d9/d3d9.h"

namespace hv {

class GLDirect3D9;
class GLDevice;

// A managed texture with its OpenGL copy, made and refreshed lazily when a draw uses it.
class GLTexture final : public MemoryTexture {
public:
    GLTexture(GLDevice* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
              D3DPOOL pool);
    // Binds the OpenGL texture with `largestLevel` (clamped to the levels there are) as the
    // largest level sampled, uploading from the system-memory levels what a draw with or
    // without a mipmap filter (`mipmapped`) samples and is missing or changed. Levels no draw
    // samples are neither made nor uploaded.
    void Bind(UINT largestLevel, bool mipmapped);
    // Drops the OpenGL copy (eviction); the next Bind uploads again.
    void Evict();
    GLDevice* Device() const { return device_; }

protected:
    ~GLTexture() override;
    void BeforeLock(UINT level) override;
    void LevelChanged(UINT level) override;

private:
    GLDevice* device_;
    GLuint id_ = 0;
    GLint baseLevel_ = 0;
    std::vector<bool> uploaded_;  // per level: the OpenGL texture holds it
    std::vector<bool> dirty_;     // per level: changed since it was uploaded
};

// Everything that decides how a batched vertex becomes pixels. Two draws merge when their
// keys are equal, so states a draw does not use are left at zero.
struct DrawKey {
    GLTexture* texture;
    uint32_t primitive;  // GL_TRIANGLES, GL_LINES or GL_POINTS
    uint32_t minFilter, magFilter, mipFilter, addressU, addressV, maxAnisotropy, border;
    uint32_t lodBias, maxMipLevel;
    uint32_t blendEnable, srcBlend, destBlend, blendOp;
    uint32_t separateAlpha, srcBlendAlpha, destBlendAlpha, blendOpAlpha, blendFactor;
    uint32_t colorOp, colorArg0, colorArg1, colorArg2, alphaOp, alphaArg0, alphaArg1, alphaArg2;
    uint32_t textureFactor, constant, flat, pointSize, pointSprite;
    uint32_t cullMode, alphaTest, alphaFunc, alphaRef, colorWrite, fillMode;
    bool operator==(const DrawKey& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

struct GLVertex {
    float x, y, z, w;   // clip space, Direct3D depth range (0..w)
    uint32_t diffuse;   // D3DCOLOR
    uint32_t specular;  // D3DCOLOR
    float u, v;
};

// The constants of one fragment program: texture present; colour operation and its arguments
// 0, 1, 2; alpha operation and its arguments; alpha-test function (8 when off); flat shading;
// point sprite.
using StageProgram = std::array<uint32_t, 12>;

// A buffer that takes a stream of vertex or index data: each write goes after the previous one,
// and a write that does not fit gets a fresh store (the driver keeps the old one for the draws
// that read it). The buffer must be bound to `target` when written.
class GLStream {
public:
    // Copies `bytes` bytes from `data` and returns the offset they start at.
    size_t Write(GLenum target, const void* data, size_t bytes);

private:
    size_t capacity_ = 0, offset_ = 0;
};

// The fixed-function state last sent to the context, so that a batch sends only what differs.
// kUnknown (no value OpenGL uses) stands for state not sent yet.
struct GLState {
    static constexpr uint32_t kUnknown = 0xFFFFFFFFu;
    uint32_t program = kUnknown, sampler = kUnknown, blend = kUnknown;
    uint32_t blendFuncs[4] = {kUnknown, kUnknown, kUnknown, kUnknown};
    uint32_t blendOps[2] = {kUnknown, kUnknown};
    uint32_t blendColor = kUnknown;  // D3DCOLOR
    uint32_t cull = kUnknown, fill = kUnknown;
    uint32_t colorMask = kUnknown;  // bits: red, green, blue, alpha
    uint32_t pointSize = kUnknown;  // the float's bits
};

// How Direct3D's pixel centres sit on OpenGL's pixels.
struct PixelConvention {
    bool flipY = false;  // Direct3D's top row is OpenGL's row 0 (the picture upside down)
    // Where OpenGL samples, in pixels right of and below Direct3D's centre: 0 when the driver's
    // rule for centres on edges is Direct3D's, a fraction otherwise (see GLDriverProbes.cpp).
    float nudgeX = 0.0f, nudgeY = 0.0f;
};

// ---- What the driver does (GLDriverProbes.cpp) ----
struct DriverFacts {
    PixelConvention pixels;
    bool anisotropyKeepsTexels = false;  // see AnisotropyKeepsTexels
};
// What the driver of the current context does, with `maxAnisotropy` its largest anisotropy:
// asked of the driver by drawing, or read from what the last run found for a driver of the same
// names, version and limits (see GLDriverProbes.cpp). Without `probe`, the pixel convention is
// the one for drivers that fill unlike Direct3D.
DriverFacts FindDriverFacts(GLuint vertexShader, bool probe, float maxAnisotropy);
// Finds the convention under which the driver of the current context fills like Direct3D into
// `found`; false when the probe could not be drawn.
bool ProbePixelConvention(GLuint vertexShader, PixelConvention& found);
// The convention for drivers that fill unlike Direct3D.
PixelConvention OffsetSamplesConvention();

// ---- Stage 0 and lighting (GLStage.cpp) ----
// Fills the stage-0 operations and arguments of `k` from texture-stage states `ts`, in the form
// that draws alike for alike set-ups (skipped stages, unread arguments).
void StageKey(const DWORD* ts, bool hasTexture, DrawKey& k);
// Whether the stage of `k` reads `source` (a D3DTA_* source).
bool StageReads(const DrawKey& k, DWORD source);

// Lighting of untransformed vertices as the device does it: no lights, a black material.
struct LightingSetup {
    bool on = false;
    bool vertexColors = true, hasDiffuse = false, hasSpecular = false;
    D3DCOLOR ambientLight = 0;
    DWORD diffuseSource = 0, ambientSource = 0, emissiveSource = 0;
};
LightingSetup LightingFor(const DWORD* renderStates, const FvfLayout& layout);
// The lit diffuse colour of a vertex with colours `diffuse` and `specular`.
D3DCOLOR LitDiffuse(const LightingSetup& l, D3DCOLOR diffuse, D3DCOLOR specular);

// Whether the driver's anisotropic filter, at `maxAnisotropy`, samples a texture mapped texel
// for texel as its texels (see GLDriverProbes.cpp).
bool AnisotropyKeepsTexels(GLuint vertexShader, const PixelConvention& pixels, float maxAnisotropy);

// ---- Shaders (GLShaders.cpp) ----
GLuint CompileShader(GLenum type, const char* source);
GLuint CompileVertexShader();
// Null when the shaders do not link.
GLuint LinkProgram(GLuint vertexShader, GLuint fragmentShader);
// The fragment shader of one set-up of texture stage 0.
GLuint CompileStageShader(const StageProgram& stage, const PixelConvention& pixels);
// Attribute pointers of GLVertex for the bound array buffer.
void BindVertexLayout();

// ---- Presenting (GLPresent.cpp) ----
// Draws the back buffer into the current framebuffer. Leaves its own program, vertex array,
// sampler and viewport in place, blending and culling off and polygons filled: the device sends
// its state afresh after it.
class GLPresenter {
public:
    // False when its program cannot be made.
    bool Create();
    void Destroy();
    // Draws rectangle `src` of the back-buffer texture `frame` (`width` x `height`, in Direct3D's
    // rows, upside down in OpenGL's when `flipY`) over the viewport x, y, w, h; `sharp` takes
    // the nearest texel instead of blending four.
    void Draw(GLuint frame, GLint width, GLint height, const RECT& src, bool flipY, GLint x,
              GLint y, GLsizei w, GLsizei h, bool sharp);

private:
    GLuint program_ = 0, vao_ = 0, sampler_ = 0;
    GLint source_ = -1;
};

class GLDevice final : public IDirect3DDevice9, private IDirect3DTextTarget {
public:
    ULONG AddRef() override;
    ULONG Release() override;

    // Makes the device on `window`; null with `hr` set when OpenGL 3.3 is not available.
    static GLDevice* Create(GLDirect3D9* d3d, HWND window, D3DPRESENT_PARAMETERS* pp, HRESULT& hr);

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

    // ---- For the platform layer (textures, tests) ----
    void MakeCurrent();
    void Flush();
    // Draws any batched primitives that sample `texture`.
    void FlushIfUses(GLTexture* texture);
    void Forget(GLTexture* texture);
    void Remember(GLTexture* texture) { textures_.insert(texture); }
    HRESULT ReadBackBuffer(std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height);
    HRESULT ReadPresentedFrame(std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height);
    void SetBatching(bool on);
    uint64_t DrawCalls() const { return drawCalls_; }
    UINT MaxTextureSize() const { return maxTextureSize_; }

private:
    // ---- The text font's target: glyph quads batched like any other draw ----
    ID3DXFont* CreateOwnFont(INT, UINT) override { return nullptr; }
    void GetBackBufferSize(UINT& width, UINT& height) override {
        width = pp_.BackBufferWidth;
        height = pp_.BackBufferHeight;
    }
    HRESULT DrawScreenQuads(IDirect3DTexture9* page, const ScreenQuadCorner* corners,
                            size_t quadCount, D3DCOLOR color) override;

    GLDevice(GLDirect3D9* d3d, SDL_Window* window, SDL_GLContext context);
    ~GLDevice() override;
    bool InitGL();
    HRESULT ApplyPresentParameters(D3DPRESENT_PARAMETERS* pp);
    void SetDefaultStates();
    DrawKey CurrentKey(uint32_t primitive) const;
    void ApplyKey(const DrawKey& key);
    GLuint SamplerFor(const DrawKey& key);
    void UpdateTransform();
    // The matrix a transform state names; null for one Direct3D does not have.
    D3DMATRIX* Transform(D3DTRANSFORMSTATETYPE state);
    // Whether the two triangles just batched (vertices from `firstVertex`, indices from
    // `firstIndex`) paint every pixel of the target in one opaque colour.
    bool CoversTargetOpaquely(const DrawKey& key, uint32_t firstVertex, size_t firstIndex) const;
    // Sets every pixel of the back buffer to the opaque `color`.
    void FillTarget(D3DCOLOR color);
    void DrawBatch(const DrawKey& key, const std::vector<GLVertex>& vertices,
                   const std::vector<uint32_t>& indices);
    bool IsLost();

    ULONG refs_ = 1;
    bool releasing_ = false;  // the last reference is being dropped
    GLDirect3D9* d3d_;
    SDL_Window* window_;
    SDL_GLContext context_;
    D3DPRESENT_PARAMETERS pp_{};
    bool lost_ = false;
    bool inScene_ = false;
    bool batching_ = true;
    uint64_t drawCalls_ = 0;
    GLint maxTextureSize_ = 2048;
    float maxAnisotropy_ = 1.0f;
    bool mirrorOnce_ = false;  // the driver has OpenGL's mirror-clamp-to-edge
    PixelConvention pixels_;

    // Direct3D state.
    D3DStateBlock states_;
    D3DMATRIX world_{}, view_{}, projection_{};
    // Kept for GetTransform: texture transforms are off and vertex blending is refused, so
    // these never move a vertex.
    std::array<D3DMATRIX, 8> textureTransforms_{};
    std::array<D3DMATRIX, 255> blendWorlds_{};  // D3DTS_WORLDMATRIX(1) to (255)
    D3DMATRIX wvp_{};
    bool wvpDirty_ = true;
    bool viewIsIdentity_ = true;  // bit for bit
    DWORD fvf_ = 0;
    FvfLayout layout_ = DecodeFvf(0);  // of fvf_
    MemoryVertexBuffer* stream_ = nullptr;
    UINT streamOffset_ = 0, streamStride_ = 0;
    GLTexture* texture_ = nullptr;

    // The pending batch.
    DrawKey batchKey_{};
    std::vector<GLVertex> batchVertices_;
    std::vector<uint32_t> batchIndices_;

    // OpenGL objects.
    // A linked program for one set-up of texture stage 0, with its uniforms.
    struct Program {
        GLuint id = 0;
        GLint pixelShift = -1, flipY = -1, factor = -1, constant = -1, alphaRef = -1;
        // The uniform values last given to the program.
        struct Values {
            bool known = false;  // false: none given yet
            D3DCOLOR factor = 0, constant = 0;
            uint32_t alphaRef = 0;
            UINT width = 0, height = 0;  // of the back buffer the pixel shift was set for
        };
        mutable Values sent;
    };
    const Program& ProgramFor(const DrawKey& key);
    GLuint vertexShader_ = 0;
    std::map<StageProgram, Program> programs_;
    GLuint vao_ = 0, vbo_ = 0, ibo_ = 0, fbo_ = 0;
    GLuint colorTexture_ = 0;  // the back buffer, fbo_'s colour attachment
    GLPresenter presenter_;
    GLStream vertexStream_, indexStream_;  // into vbo_ and ibo_
    GLState applied_;
    // Filters, address modes, anisotropy, border colour and level-of-detail bias.
    using SamplerId = std::array<uint32_t, 8>;
    std::map<SamplerId, GLuint> samplers_;
    GLsync frameFence_ = nullptr;
    std::unordered_set<GLTexture*> textures_;
};

class GLDirect3D9 final : public RefCounted<IDirect3D9> {
public:
    static GLDirect3D9* Create();

    UINT GetAdapterCount() override;
    HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    UINT GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) override;
    HRESULT EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode,
                             D3DDISPLAYMODE* pMode) override;
    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                         DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pp,
                         IDirect3DDevice9** ppReturnedDeviceInterface) override;

private:
    GLDirect3D9() = default;
    ~GLDirect3D9() override;
    std::vector<D3DDISPLAYMODE> Modes(UINT adapter);
    bool startedVideo_ = false;
};

// The OpenGL context last made current by the platform layer, so that a device knows when it
// must make its own current again. Code that makes another context current clears it.
void ForgetCurrentGLContext();

}  // namespace hv
