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
//   Present and any read of the back buffer. Draws that differ only in their texture or its
//   sampler states share a batch too: each (texture, sampler states) pair of a batch has a
//   texture unit of its own, and each vertex names the unit its primitive samples.
// - Two batches are pending, drawn in order: a draw that cannot join the second may join the
//   first when it touches none of the second's pixels (a line between filled rectangles), as
//   draws over disjoint pixels give the same picture in either order.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/d3d9/Resources.h"
#include "platform/d3d9/StateBlock.h"
#include "platform/d3d9/d3d9.h"

namespace hv {

class GLDirect3D9;
class GLDevice;

// Why a batch was drawn: a draw that could not join it (by the first state that differed), a
// full batch, or a call that needs everything drawn (Clear, EndScene, Present, a read of the
// back buffer, a change of a texture the batch samples). Counted for the batch log.
enum class BatchEnd : uint8_t {
    Textures,   // more textures, or one texture at two largest levels, than a batch binds
    Primitive,  // triangles, lines and points
    Blend,
    Stage,  // texture stage 0, texture factor, shading, alpha test, or texture present or not
    Other,  // culling, fill mode, colour writes, point size
    Full,
    Asked,
    Count
};

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

// The texture a draw samples and the sampler states it samples it with; all zero for a draw
// that reads no texture.
struct TextureSlot {
    GLTexture* texture;
    uint32_t minFilter, magFilter, mipFilter, addressU, addressV, maxAnisotropy, border;
    uint32_t lodBias, maxMipLevel;
    bool operator==(const TextureSlot& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

// Everything that decides how a batched vertex becomes pixels. Two draws merge when their
// keys are equal but for the texture slot (see SameButTexture), so states a draw does not use
// are left at zero.
struct DrawKey {
    TextureSlot slot;
    uint32_t primitive;  // GL_TRIANGLES, GL_LINES or GL_POINTS
    uint32_t blendEnable, srcBlend, destBlend, blendOp;
    uint32_t separateAlpha, srcBlendAlpha, destBlendAlpha, blendOpAlpha, blendFactor;
    uint32_t colorOp, colorArg0, colorArg1, colorArg2, alphaOp, alphaArg0, alphaArg1, alphaArg2;
    uint32_t textureFactor, constant, flat, pointSize, pointSprite;
    uint32_t cullMode, alphaTest, alphaFunc, alphaRef, colorWrite, fillMode;
    bool operator==(const DrawKey& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
    // Whether `o` draws alike but for which texture it samples and how: both read a texture or
    // neither does, and every other state is equal.
    bool SameButTexture(const DrawKey& o) const {
        constexpr size_t rest = offsetof(DrawKey, primitive);
        return (slot.texture != nullptr) == (o.slot.texture != nullptr) &&
               std::memcmp(reinterpret_cast<const char*>(this) + rest,
                           reinterpret_cast<const char*>(&o) + rest, sizeof o - rest) == 0;
    }
};

struct GLVertex {
    float x, y, z, w;   // clip space, Direct3D depth range (0..w)
    uint32_t diffuse;   // D3DCOLOR
    uint32_t specular;  // D3DCOLOR
    float u, v;
};

// A vertex of a batch of several textures, with the texture unit its primitive samples.
struct GLUnitVertex {
    GLVertex vertex;
    uint32_t unit;
};

// The most texture units one batch binds.
constexpr uint32_t kMaxBatchUnits = 8;

// The constants of one fragment program: the number of texture units sampled (0: none); colour
// operation and its arguments 0, 1, 2; alpha operation and its arguments; alpha-test function
// (8 when off); flat shading; point sprite.
using StageProgram = std::array<uint32_t, 12>;

// A buffer that takes a stream of vertex or index data, used as a ring: each write goes after
// the previous one, and a write that does not fit goes to the start again. The ring is four
// segments; a fence is set when writing leaves a segment, and writing enters it again only once
// the draws that read it are done, so the store is reused instead of being replaced (a fresh
// store costs a software driver an allocation of its whole size and its first-touch faults).
// A write larger than the ring gives it a larger fresh store. The buffer must be bound to
// `target` when written; the context must be current for Write and Release.
class GLStream {
public:
    // Copies `bytes` bytes from `data` and returns the offset they start at.
    size_t Write(GLenum target, const void* data, size_t bytes);
    // Deletes the fences (before the context goes).
    void Release();

private:
    static constexpr size_t kSegments = 4;
    // Waits for segment `k`'s fence, if it has one, and deletes it.
    void Enter(size_t k);
    size_t capacity_ = 0, offset_ = 0;
    uint32_t open_ = 0;  // bits: the segments written since their fence was set
    GLsync fences_[kSegments] = {};
};

// The fixed-function state last sent to the context, so that a batch sends only what differs.
// kUnknown (no value OpenGL uses) stands for state not sent yet.
struct GLState {
    static constexpr uint32_t kUnknown = 0xFFFFFFFFu;
    uint32_t program = kUnknown, blend = kUnknown;
    uint32_t samplers[kMaxBatchUnits] = {kUnknown, kUnknown, kUnknown, kUnknown,
                                         kUnknown, kUnknown, kUnknown, kUnknown};
    uint32_t blendFuncs[4] = {kUnknown, kUnknown, kUnknown, kUnknown};
    uint32_t blendOps[2] = {kUnknown, kUnknown};
    uint32_t blendColor = kUnknown;  // D3DCOLOR
    uint32_t cull = kUnknown, fill = kUnknown;
    uint32_t colorMask = kUnknown;  // bits: red, green, blue, alpha
    uint32_t pointSize = kUnknown;  // the float's bits
};

// A rectangle of the target, in Direct3D pixels, that holds every pixel a draw may change.
struct PixelBox {
    float left, top, right, bottom;
    bool Meets(const PixelBox& o) const {
        return left <= o.right && o.left <= right && top <= o.bottom && o.top <= bottom;
    }
};

// Draws merged into one OpenGL draw call.
struct Batch {
    DrawKey key{};  // its slot is unit 0's
    std::array<TextureSlot, kMaxBatchUnits> slots{};
    uint32_t units = 0;
    std::vector<GLVertex> vertices;
    std::vector<uint32_t> indices;
    // The unit of each vertex while the batch has more than one, otherwise empty (all 0).
    std::vector<uint8_t> unitOf;
    // The first vertex of each draw, up to one more than kMaxDraws (then the batch counts as
    // touching every pixel), and the boxes of the first draws, made when first compared.
    std::vector<uint32_t> draws;
    std::vector<PixelBox> boxes;

    static constexpr size_t kMaxDraws = 256;
    bool Empty() const { return indices.empty(); }
    // Starts the batch afresh with the key of its first draw.
    void Start(const DrawKey& first);
    // Empties the batch once it is drawn.
    void Clear();
    // The unit that samples `slot`: one the batch has, or `units` for a new one; -1 when no
    // unit is left or the batch binds the slot's texture at another largest level.
    int UnitFor(const TextureSlot& slot, uint32_t maxUnits) const;
    // Records a draw whose vertices, from `firstVertex` to the last, sample `unit`.
    void NoteDraw(uint32_t firstVertex, uint32_t unit) {
        if (draws.size() <= kMaxDraws) draws.push_back(firstVertex);
        if (units > 1) {
            unitOf.resize(firstVertex, 0);
            unitOf.resize(vertices.size(), uint8_t(unit));
        }
    }
};

// Where the vertices and indices of a draw go: straight into the last pending batch when it
// takes the draw (`batch` set; the draw's vertices from `firstVertex`, its indices from
// `firstIndex`, sampling `unit`), otherwise into the device's arrays for one draw (`batch`
// null) until its pixels are known.
struct DrawTarget {
    Batch* batch;
    std::vector<GLVertex>* vertices;
    std::vector<uint32_t>* indices;
    uint32_t firstVertex;
    size_t firstIndex;
    uint32_t unit;
};

// How Direct3D's pixel centres sit on OpenGL's pixels.
struct PixelConvention {
    bool flipY = false;  // the vertex shader turns the picture upside down
    // The window's origin is at its top (glClipControl), which turns it back: upright again.
    bool clipUpperLeft = false;
    // Direct3D's top row is OpenGL's row 0.
    bool StoredUpsideDown() const { return flipY && !clipUpperLeft; }
    // Where OpenGL samples, in pixels right of and below Direct3D's centre: 0 when the driver's
    // rule for centres on edges is Direct3D's, a fraction otherwise (see GLDriverProbes.cpp).
    float nudgeX = 0.0f, nudgeY = 0.0f;
};

// ---- What the driver does (GLDriverProbes.cpp) ----
// How the driver fills the window's back buffer exactly like Direct3D, if it does.
enum class WindowFill : uint8_t {
    Neither,      // in no way tried
    Upright,      // drawn upright, with no nudge
    TurnedTwice,  // turned by the vertex shader and back by the window's origin at its top
};
struct DriverFacts {
    PixelConvention pixels;              // for the off-screen back buffer
    bool anisotropyKeepsTexels = false;  // see AnisotropyKeepsTexels
    WindowFill windowFill = WindowFill::Neither;
};
// What the driver of the current context does, with `maxAnisotropy` its largest anisotropy and
// the window's drawable of the given size: asked of the driver by drawing, or read from what
// the last run found for a driver of the same names, version and limits (see
// GLDriverProbes.cpp). Without `probe`, the pixel convention is the one for drivers that fill
// unlike Direct3D.
DriverFacts FindDriverFacts(GLuint vertexShader, bool probe, float maxAnisotropy, int drawableWidth,
                            int drawableHeight);
// How the driver fills the window's back buffer (the current context's default framebuffer,
// with `drawableWidth` x `drawableHeight` pixels) exactly like Direct3D; nothing when the probe
// cannot be drawn there. Leaves it black.
std::optional<WindowFill> ProbeWindowFill(GLuint vertexShader, int drawableWidth,
                                          int drawableHeight);
// Whether the context can move the window's origin to its top (glClipControl).
bool HasClipControl();
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
// The fragment shader of one set-up of texture stage 0; `indexed`: the shader picks the texture
// unit of a primitive by indexing the array of samplers (OpenGL 4.0's rule: the index must be
// the same over the pixels shaded together), not by comparing it with each unit.
GLuint CompileStageShader(const StageProgram& stage, const PixelConvention& pixels, bool indexed);
// Attribute pointers of GLVertex, or with `units` of GLUnitVertex, for the bound array buffer.
void BindVertexLayout(bool units = false);

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
    void Flush(BatchEnd why = BatchEnd::Asked);
    // Draws any batched primitives that sample `texture`.
    void FlushIfUses(GLTexture* texture);
    void Forget(GLTexture* texture);
    void Remember(GLTexture* texture) { textures_.insert(texture); }
    HRESULT ReadBackBuffer(std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height);
    HRESULT ReadPresentedFrame(std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height);
    void SetBatching(bool on);
    bool OnWindow() const { return onWindow_; }
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
    // Why `batch` cannot take a draw of `vertices` vertices under `key`, BatchEnd::Count when
    // it can; `unit` the unit the draw would sample.
    BatchEnd Refusal(const Batch& batch, const DrawKey& key, size_t vertices, int& unit) const;
    // Starts a draw of `vertices` vertices under `key`; its vertices and indices go where the
    // target says, indices counted from the start of that array.
    DrawTarget BeginDraw(const DrawKey& key, size_t vertices);
    // Ends the draw begun as `target`: a draw the last batch did not take joins the first batch
    // if it may, or the first batch is drawn and the draw starts a batch of its own.
    void EndDraw(const DrawKey& key, const DrawTarget& target);
    // The pixels the draw of `count` vertices from `vertices` under `key` may change.
    PixelBox BoxOf(const DrawKey& key, const GLVertex* vertices, size_t count) const;
    // Whether a draw within `box` changes none of the pixels the draws of `batch` may change.
    bool Misses(Batch& batch, const PixelBox& box) const;
    // Writes the per-frame draw calls and why batches ended, every 100 frames, when the batch
    // log is on.
    void LogBatches();
    void ApplyKey(const DrawKey& key, const TextureSlot* slots, uint32_t units);
    GLuint SamplerFor(const TextureSlot& slot);
    void UpdateTransform();
    // The matrix a transform state names; null for one Direct3D does not have.
    D3DMATRIX* Transform(D3DTRANSFORMSTATETYPE state);
    // Whether the draw, two triangles, paints every pixel of the target in one opaque colour.
    bool CoversTargetOpaquely(const DrawKey& key, const DrawTarget& draw) const;
    // Sets every pixel of the back buffer to the opaque `color`.
    void FillTarget(D3DCOLOR color);
    // Draws `batch` and empties it.
    void DrawBatch(Batch& batch, BatchEnd why);
    // The framebuffer that holds the back buffer: 0 (the window's) or fbo_.
    GLuint Target() const { return onWindow_ ? 0 : fbo_; }
    // Decides, for the frame about to be drawn, whether the back buffer is the window's, and
    // sets the pixel convention of that buffer. Between frames only: the back buffer's pixels
    // are not carried over (Present does not keep them but with D3DSWAPEFFECT_COPY, which
    // always draws off-screen).
    void ChooseTarget();
    // Sends the fixed-function state that follows from pixels_.
    void UseConvention();
    // Binds Target() for drawing or reading, first putting back the back buffer a copying
    // Present drew elsewhere in the window's buffer.
    void BindTarget();
    // Draws `src` of colorTexture_ (rows stored upside down when `upsideDown`) over the
    // viewport x, y, w, h of the bound framebuffer; see GLPresenter::Draw.
    void DrawFrameTexture(const RECT& src, bool upsideDown, GLint x, GLint y, GLsizei w, GLsizei h,
                          bool sharp);
    // Whether the window's back buffer keeps its pixels through a swap, as a copying swap
    // chain's back buffer must: asked of the window once, by drawing and swapping.
    bool WindowKeepsPixels();
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
    // Batches ended, by reason, since the batch log last wrote; the log is on with
    // HV_D3D_BATCH_LOG=1.
    std::array<uint64_t, size_t(BatchEnd::Count)> batchEnds_{};
    bool batchLog_ = false;
    uint64_t loggedDrawCalls_ = 0;
    uint32_t loggedFrames_ = 0;
    uint32_t maxUnits_ = 1;      // texture units a batch may bind
    bool indexedUnits_ = false;  // see CompileStageShader
    GLint maxTextureSize_ = 2048;
    float maxAnisotropy_ = 1.0f;
    bool mirrorOnce_ = false;  // the driver has OpenGL's mirror-clamp-to-edge
    // The back buffer is the window's own when it has the window's size, the picture has no
    // alpha to keep and nothing needs it after Present (see ChooseTarget); otherwise an
    // off-screen buffer that Present draws into the window.
    bool windowTargetAllowed_ = false;
    bool onWindow_ = false;
    PixelConvention offscreenPixels_, windowPixels_;
    bool clipControl_ = false;               // the context has glClipControl
    std::optional<bool> windowKeepsPixels_;  // not asked yet when empty
    // The window's buffer shows a Present's rectangles; the frame drawn is in colorTexture_.
    bool restorePending_ = false;
    PixelConvention pixels_;  // of the buffer drawn into now

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

    // The pending batches, [0] drawn first; [1] holds draws whenever [0] does.
    std::array<Batch, 2> batches_;
    // The vertices and indices of the draw being made, before it joins a batch.
    std::vector<GLVertex> drawVertices_;
    std::vector<uint32_t> drawIndices_;

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
    const Program& ProgramFor(const DrawKey& key, uint32_t units);
    GLuint vertexShader_ = 0;
    // Per buffer drawn into ([1]: the window's), as the programs hold its pixel convention.
    std::map<StageProgram, Program> programs_[2];
    GLuint vao_ = 0, vbo_ = 0, ibo_ = 0, fbo_ = 0;
    GLuint colorTexture_ = 0;  // the back buffer, fbo_'s colour attachment
    GLPresenter presenter_;
    GLStream vertexStream_, indexStream_;  // into vbo_ and ibo_
    // Batches of several textures: their vertices with units, in a stream of their own.
    GLuint unitVao_ = 0, unitVbo_ = 0;
    GLStream unitVertexStream_;
    std::vector<GLUnitVertex> unitVertices_;
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
