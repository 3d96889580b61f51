// Hit tests on pictures: whether a point lies on a picture's opaque texels. A texture's opacity
// is read once, from its level 0, and kept beside it: a script asks many times a frame, and a
// texture's texels do not change after it is made.
#include <algorithm>
#include <cstdint>

#include "engine3d/KavTextureEngine3D.h"

namespace hv {

namespace {

// The opacity of one texel of a locked texture row, 0..255, for the formats the loaders make.
// Formats without alpha are opaque; formats the host never makes answer -1 (not readable).
int TexelAlpha(D3DFORMAT format, const uint8_t* row, int64_t column) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_A8B8G8R8:
            return row[column * 4 + 3];
        case D3DFMT_X8R8G8B8:
        case D3DFMT_X8B8G8R8:
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_X4R4G4B4:
            return 255;
        case D3DFMT_A4R4G4B4:
            // The top four bits, widened so that 15 reads as 255.
            return (row[column * 2 + 1] >> 4) * 17;
        case D3DFMT_A1R5G5B5:
            return (row[column * 2 + 1] & 0x80) ? 255 : 0;
        default:
            return -1;
    }
}

// True when `r` is a rectangle of texels that lies inside a `width` x `height` level, as a lock
// of it requires.
bool LockableRect(const RECT& r, int32_t width, int32_t height) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= width &&
           r.bottom <= height;
}

}  // namespace

bool TKavSurfaceEngine3D::ReadOpacity(TTexture& t) {
    TOpacityMap& map = t.Opacity;
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    // Read-only: nothing changes, so the texture need not be sent again.
    if (FAILED(t.Texture->GetLevelDesc(0, &desc)) ||
        FAILED(t.Texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)))
        return false;
    if (!locked.pBits) {
        t.Texture->UnlockRect(0);
        return false;
    }
    map.Width = int32_t(desc.Width);
    map.Height = int32_t(desc.Height);
    map.Readable = TexelAlpha(desc.Format, static_cast<const uint8_t*>(locked.pBits), 0) >= 0;
    map.Texels.clear();
    if (map.Readable) {
        map.Texels.resize(size_t(map.Width) * size_t(map.Height));
        uint8_t* out = map.Texels.data();
        for (int32_t y = 0; y < map.Height; ++y) {
            const auto* row = static_cast<const uint8_t*>(locked.pBits) + int64_t(y) * locked.Pitch;
            for (int32_t x = 0; x < map.Width; ++x)
                *out++ = uint8_t(TexelAlpha(desc.Format, row, x));
        }
    }
    t.Texture->UnlockRect(0);
    map.Read = true;
    return true;
}

TPictureHit TKavSurfaceEngine3D::PictureHit(std::string_view name, int64_t x, int64_t y,
                                            int64_t radius, int64_t threshold) {
    const int s = FindSurface(name);
    if (s < 0) return TPictureHit::Clear;
    TKavSurface& surface = Surfaces[size_t(s)];

    // A picture stored turned in its texture shows its texture rectangle's height as its width.
    const RECT& rect = surface.SourceRect;
    const int64_t rectW = int64_t(rect.right) - rect.left;
    const int64_t rectH = int64_t(rect.bottom) - rect.top;
    const int64_t w = surface.Rotated ? surface.Height : surface.Width;
    const int64_t h = surface.Rotated ? surface.Width : surface.Height;
    if (x < -radius || x > w + radius - 1 || y < -radius || y > h + radius - 1)
        return TPictureHit::Clear;

    TTexture* t = TextureOf(surface);
    if (!t || !t->Texture) return TPictureHit::Clear;
    if (!t->Opacity.Read && !ReadOpacity(*t)) return TPictureHit::Unreadable;
    const TOpacityMap& map = t->Opacity;
    if (!LockableRect(rect, map.Width, map.Height)) return TPictureHit::Unreadable;

    const int64_t c0 = std::max<int64_t>(x - radius, 0), c1 = std::min<int64_t>(x + radius, w - 1);
    const int64_t r0 = std::max<int64_t>(y - radius, 0), r1 = std::min<int64_t>(y + radius, h - 1);
    const uint8_t* texels = map.Texels.data() + int64_t(rect.top) * map.Width + rect.left;
    for (int64_t c = c0; c <= c1; ++c) {
        for (int64_t r = r0; r <= r1; ++r) {
            // Screen column c and row r of the picture; a turned picture runs its screen x down
            // the texture and its screen y leftward across it.
            const int64_t tc = surface.Rotated ? rectW - 1 - r : c;
            const int64_t tr = surface.Rotated ? c : r;
            // Only texels inside the picture's rectangle are read.
            if (tc < 0 || tc >= rectW || tr < 0 || tr >= rectH) continue;
            if (!map.Readable) return TPictureHit::Unreadable;
            if (texels[tr * map.Width + tc] > threshold) return TPictureHit::Opaque;
        }
    }
    return TPictureHit::Clear;
}

}  // namespace hv
