// Resources that live in system memory: the vertex buffer both devices use, and the texture
// whose levels the OpenGL device mirrors into video memory. No SDL or OpenGL here.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace hv {

// Counted references for an interface: starts at 1, deletes itself when Release reaches 0.
template <class Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ~RefCounted() override = default;

private:
    std::atomic<ULONG> refs_{1};
};

// Largest vertex buffer or texture level a device agrees to hold, in bytes: a request above it
// fails with D3DERR_OUTOFVIDEOMEMORY instead of an allocation that cannot be met.
constexpr uint64_t kMaxResourceBytes = 1ull << 30;

// A vertex buffer as plain bytes. Draws read the bytes when they are issued, so the buffer may
// be refilled right after a draw.
class MemoryVertexBuffer final : public RefCounted<IDirect3DVertexBuffer9> {
public:
    // Returns null and sets `hr` when the arguments are refused.
    static MemoryVertexBuffer* Create(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                      HRESULT& hr);

    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    MemoryVertexBuffer() = default;
    std::vector<uint8_t> bytes_;
    D3DVERTEXBUFFER_DESC desc_;
    int locks_ = 0;
};

// A texture whose levels are held in system memory, rows top first, texels in the Direct3D
// layout of the format. Subclasses hear about locks and changed levels.
//
// A level's memory is taken when the level is first needed (locked, or read through MadeLevel),
// not when the texture is made, and a level nobody has written reads as zeros. Levels may also be
// left to be derived from the level above them (mipmaps), which is then done on first need.
class MemoryTexture : public RefCounted<IDirect3DTexture9> {
public:
    struct FreeBytes {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    struct Level {
        UINT Width = 0;
        UINT Height = 0;
        UINT Pitch = 0;
        // Pitch * Height bytes; null until the level is made.
        std::unique_ptr<uint8_t[], FreeBytes> Bits;
    };
    // Fills `level` (its Bits allocated, contents undefined) from `above`, the next larger level.
    using LevelMaker = std::function<void(const Level& above, Level& level)>;

    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect,
                     DWORD Flags) override;
    HRESULT UnlockRect(UINT Level) override;

    D3DFORMAT Format() const { return format_; }
    D3DPOOL Pool() const { return pool_; }
    // The levels as they stand: a level not made yet has null Bits.
    const std::vector<Level>& Levels() const { return levels_; }
    // Level `level` with its texels, made now where it was not; null Bits only when memory ran
    // out.
    const Level& MadeLevel(UINT level);

    // From now on, every level below the top one that has not been made is derived by `make`
    // from the level above it when it is first needed. A level about to be written first has
    // the levels derived from it made, so they keep what they would have held from the start.
    void DeriveLowerLevels(LevelMaker make);

    // Fills level 0 (its Bits allocated) with what it holds now, from a smaller form (the
    // picture file it was decoded from); false when that fails.
    using TopLevelSource = std::function<bool(Level& top)>;
    // Level 0 can be made again by `source` until it is next written.
    void SetTopLevelSource(TopLevelSource source);
    // For a device that keeps a copy of its own: drops the texels of level 0 once, when they
    // can be made again; they are made again when next needed (a lock, a lower level, a new
    // upload) and then kept.
    void DropRemakableTopLevel();

    // Checks the arguments of CreateTexture; D3D_OK when a texture of that shape may be made.
    // `levels` becomes the real level count (0: the full chain).
    static HRESULT CheckCreate(UINT width, UINT height, UINT& levels, D3DFORMAT format,
                               UINT maxSide);

protected:
    MemoryTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                  D3DPOOL pool);
    ~MemoryTexture() override = default;
    // Before a level is handed out for writing (pending draws must see the old texels).
    virtual void BeforeLock(UINT /*level*/) {}
    // After a level was unlocked for writing.
    virtual void LevelChanged(UINT /*level*/) {}

private:
    // Makes `level` (and the levels it derives from); false when memory ran out.
    bool Make(UINT level);

    std::vector<Level> levels_;
    std::vector<DWORD> lockFlags_;  // per level: flags of the open lock
    std::vector<bool> locked_;
    LevelMaker derive_;  // empty: levels not made read as zeros
    TopLevelSource topSource_;
    bool topDropped_ = false;  // level 0 was dropped once and is kept from its next making on
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
};

// A texture that only lives in system memory (the recording device's textures).
class PlainTexture final : public MemoryTexture {
public:
    PlainTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
        : MemoryTexture(width, height, levels, usage, format, pool) {}
};

// Where the parts of one vertex lie in a flexible-vertex-format record; -1 = absent.
struct FvfLayout {
    bool Valid = false;
    bool Transformed = false;  // XYZRHW: screen pixels and 1/w, no transforms
    int PositionFloats = 3;    // x, y, z; 4 with w (XYZRHW, XYZW); blend weights are skipped
    int Position = 0;
    bool PointSize = false;  // a point size per vertex
    int Diffuse = -1;
    int Specular = -1;
    int TexCount = 0;
    int Tex[8] = {};        // offsets of the texture coordinate sets
    int TexFloats[8] = {};  // floats in each set
    UINT Size = 0;
};
FvfLayout DecodeFvf(DWORD fvf);

// Number of vertices `count` primitives of `type` read; 0 for an unknown type.
UINT VerticesForPrimitives(D3DPRIMITIVETYPE type, UINT count);

}  // namespace hv
