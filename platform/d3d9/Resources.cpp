#include "platform/d3d9/Resources.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace hv {

UINT FormatBytesPerPixel(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A8B8G8R8:
        case D3DFMT_X8B8G8R8:
            return 4;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
            return 2;
        case D3DFMT_A8:
            return 1;
        default:
            return 0;
    }
}

FvfLayout DecodeFvf(DWORD fvf) {
    FvfLayout l;
    UINT offset = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case D3DFVF_XYZ:
            offset = 12;
            break;
        case D3DFVF_XYZRHW:
            offset = 16;
            l.PositionFloats = 4;
            l.Transformed = true;
            break;
        case D3DFVF_XYZW:
            offset = 16;
            l.PositionFloats = 4;
            break;
        default:
            // x, y, z and one to five blend weights, which only vertex blending reads.
            if ((fvf & D3DFVF_POSITION_MASK) < D3DFVF_XYZB1 ||
                (fvf & D3DFVF_POSITION_MASK) > D3DFVF_XYZB5)
                return FvfLayout{};
            offset = 12 + 4 * (((fvf & D3DFVF_POSITION_MASK) - D3DFVF_XYZB1) / 2 + 1);
            break;
    }
    if (fvf & D3DFVF_NORMAL) offset += 12;
    if (fvf & D3DFVF_PSIZE) {
        l.PointSize = true;
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        l.Diffuse = static_cast<int>(offset);
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        l.Specular = static_cast<int>(offset);
        offset += 4;
    }
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8) return FvfLayout{};
    l.TexCount = int(texCount);
    for (UINT i = 0; i < texCount; ++i) {
        // Two bits per set above bit 16: 0 two floats, 1 three, 2 four, 3 one.
        static constexpr int kFloats[4] = {2, 3, 4, 1};
        l.Tex[i] = static_cast<int>(offset);
        l.TexFloats[i] = kFloats[(fvf >> (16 + 2 * i)) & 3];
        offset += 4 * UINT(l.TexFloats[i]);
    }
    l.Size = offset;
    l.Valid = true;
    return l;
}

std::string SurfaceFormatName(uint32_t format) {
    struct Named {
        uint32_t Format;
        const char* Name;
    };
    static constexpr Named kNames[] = {
        {0, "UNKNOWN"},       {20, "R8G8B8"},         {21, "A8R8G8B8"},
        {22, "X8R8G8B8"},     {23, "R5G6B5"},         {24, "X1R5G5B5"},
        {25, "A1R5G5B5"},     {26, "A4R4G4B4"},       {27, "R3G3B2"},
        {28, "A8"},           {29, "A8R3G3B2"},       {30, "X4R4G4B4"},
        {31, "A2B10G10R10"},  {34, "G16R16"},         {70, "D3DFMT_D16_LOCKABLE"},
        {71, "D3DFMT_D32"},   {73, "D3DFMT_D15S1"},   {75, "D3DFMT_D24S8"},
        {77, "D3DFMT_D24X8"}, {79, "D3DFMT_D24X4S4"}, {80, "D3DFMT_D16"}};
    for (const Named& n : kNames)
        if (n.Format == format) return n.Name;
    return "";
}

UINT FvfVertexSize(DWORD fvf) {
    return DecodeFvf(fvf).Size;
}

UINT VerticesForPrimitives(D3DPRIMITIVETYPE type, UINT count) {
    if (count == 0) return 0;
    switch (type) {
        case D3DPT_POINTLIST:
            return count;
        case D3DPT_LINELIST:
            return 2 * count;
        case D3DPT_LINESTRIP:
            return count + 1;
        case D3DPT_TRIANGLELIST:
            return 3 * count;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN:
            return count + 2;
    }
    return 0;
}

// ---- MemoryVertexBuffer ---------------------------------------------------------------------

MemoryVertexBuffer* MemoryVertexBuffer::Create(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                               HRESULT& hr) {
    if (length == 0 || (fvf != 0 && FvfVertexSize(fvf) == 0)) {
        hr = D3DERR_INVALIDCALL;
        return nullptr;
    }
    if (length > kMaxResourceBytes) {
        hr = D3DERR_OUTOFVIDEOMEMORY;
        return nullptr;
    }
    auto* vb = new (std::nothrow) MemoryVertexBuffer();
    if (!vb) {
        hr = E_OUTOFMEMORY;
        return nullptr;
    }
    try {
        vb->bytes_.assign(length, 0);
    } catch (const std::bad_alloc&) {
        vb->Release();
        hr = E_OUTOFMEMORY;
        return nullptr;
    }
    vb->desc_.Usage = usage;
    vb->desc_.FVF = fvf;
    vb->desc_.Pool = pool;
    vb->desc_.Size = length;
    hr = D3D_OK;
    return vb;
}

HRESULT MemoryVertexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD) {
    if (!ppbData) return D3DERR_INVALIDCALL;
    if (OffsetToLock > bytes_.size() || SizeToLock > bytes_.size() - OffsetToLock) {
        *ppbData = nullptr;
        return D3DERR_INVALIDCALL;
    }
    *ppbData = bytes_.data() + OffsetToLock;
    ++locks_;
    return D3D_OK;
}

HRESULT MemoryVertexBuffer::Unlock() {
    if (locks_ == 0) return D3DERR_INVALIDCALL;
    --locks_;
    return D3D_OK;
}

HRESULT MemoryVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    *pDesc = desc_;
    return D3D_OK;
}

// ---- MemoryTexture --------------------------------------------------------------------------

HRESULT MemoryTexture::CheckCreate(UINT width, UINT height, UINT& levels, D3DFORMAT format,
                                   UINT maxSide) {
    if (width == 0 || height == 0 || FormatBytesPerPixel(format) == 0) return D3DERR_INVALIDCALL;
    if (width > maxSide || height > maxSide) return D3DERR_INVALIDCALL;
    UINT full = 1;
    for (UINT s = std::max(width, height); s > 1; s >>= 1) ++full;
    if (levels == 0 || levels > full) levels = full;
    const uint64_t bytes = uint64_t(width) * height * FormatBytesPerPixel(format);
    if (bytes > kMaxResourceBytes) return D3DERR_OUTOFVIDEOMEMORY;
    return D3D_OK;
}

MemoryTexture::MemoryTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                             D3DPOOL pool)
    : usage_(usage), format_(format), pool_(pool) {
    const UINT bpp = FormatBytesPerPixel(format);
    levels_.resize(levels);
    for (UINT i = 0; i < levels; ++i) {
        Level& l = levels_[i];
        l.Width = std::max(1u, width >> i);
        l.Height = std::max(1u, height >> i);
        l.Pitch = l.Width * bpp;
    }
    lockFlags_.assign(levels, 0);
    locked_.assign(levels, false);
}

namespace {

// Levels of this many bytes or more are placed on whole huge pages: the first touch of each page
// of a fresh level costs a fault, and a texture of megabytes touches thousands of small pages
// where it touches a few huge ones.
constexpr size_t kHugePage = size_t(2) << 20;

// `bytes` of memory for a level, cleared when `zero`; null when there is none.
uint8_t* AllocateLevel(size_t bytes, bool zero) {
    if (bytes < kHugePage)
        return static_cast<uint8_t*>(zero ? std::calloc(bytes, 1) : std::malloc(bytes));
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    auto* p = static_cast<uint8_t*>(std::aligned_alloc(kHugePage, rounded));
    if (!p) return nullptr;
    madvise(p, rounded, MADV_HUGEPAGE);  // a wish: without it the level still works
    if (zero) std::memset(p, 0, bytes);
    return p;
}

}  // namespace

bool MemoryTexture::Make(UINT level) {
    Level& l = levels_[level];
    if (l.Bits) return true;
    const size_t bytes = size_t(l.Pitch) * l.Height;
    if (level == 0 && topSource_) {
        l.Bits.reset(AllocateLevel(bytes, false));
        if (l.Bits && topSource_(l)) return true;
        l.Bits.reset();
        return false;
    }
    if (derive_ && level > 0) {
        if (!Make(level - 1)) return false;
        l.Bits.reset(AllocateLevel(bytes, false));
        if (!l.Bits) return false;
        derive_(levels_[level - 1], l);
        return true;
    }
    l.Bits.reset(AllocateLevel(bytes, true));
    return l.Bits != nullptr;
}

const MemoryTexture::Level& MemoryTexture::MadeLevel(UINT level) {
    Make(level);
    return levels_[level];
}

void MemoryTexture::DeriveLowerLevels(LevelMaker make) {
    derive_ = std::move(make);
}

void MemoryTexture::SetTopLevelSource(TopLevelSource source) {
    topSource_ = std::move(source);
}

void MemoryTexture::DropRemakableTopLevel() {
    if (!topSource_ || topDropped_ || levels_.empty() || locked_[0]) return;
    levels_[0].Bits.reset();
    topDropped_ = true;
}

HRESULT MemoryTexture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) {
    if (!pDesc || Level >= levels_.size()) return D3DERR_INVALIDCALL;
    pDesc->Format = format_;
    pDesc->Type = D3DRTYPE_SURFACE;
    pDesc->Usage = usage_;
    pDesc->Pool = pool_;
    pDesc->MultiSampleType = D3DMULTISAMPLE_NONE;
    pDesc->MultiSampleQuality = 0;
    pDesc->Width = levels_[Level].Width;
    pDesc->Height = levels_[Level].Height;
    return D3D_OK;
}

HRESULT MemoryTexture::LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect,
                                DWORD Flags) {
    if (!pLockedRect || Level >= levels_.size() || locked_[Level]) return D3DERR_INVALIDCALL;
    MemoryTexture::Level& l = levels_[Level];
    size_t offset = 0;
    if (pRect) {
        if (pRect->left < 0 || pRect->top < 0 || pRect->left >= pRect->right ||
            pRect->top >= pRect->bottom || UINT(pRect->right) > l.Width ||
            UINT(pRect->bottom) > l.Height)
            return D3DERR_INVALIDCALL;
        offset = size_t(pRect->top) * l.Pitch + size_t(pRect->left) * FormatBytesPerPixel(format_);
    }
    if (!Make(Level)) return E_OUTOFMEMORY;
    if (!(Flags & D3DLOCK_READONLY)) {
        // The levels derived from this one take its texels before they change.
        if (derive_)
            for (UINT below = Level + 1; below < levels_.size(); ++below)
                if (!Make(below)) return E_OUTOFMEMORY;
        // Written, the level holds what no source can make again.
        if (Level == 0) topSource_ = nullptr;
        BeforeLock(Level);
    }
    locked_[Level] = true;
    lockFlags_[Level] = Flags;
    pLockedRect->Pitch = static_cast<INT>(l.Pitch);
    pLockedRect->pBits = l.Bits.get() + offset;
    return D3D_OK;
}

HRESULT MemoryTexture::UnlockRect(UINT Level) {
    if (Level >= levels_.size() || !locked_[Level]) return D3DERR_INVALIDCALL;
    locked_[Level] = false;
    if (!(lockFlags_[Level] & D3DLOCK_READONLY)) LevelChanged(Level);
    return D3D_OK;
}

}  // namespace hv
