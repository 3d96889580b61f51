// Hit tests on pictures: whether a point lies on a picture's opaque texels. A texture's opacity
// is read from its level 0 and kept beside it: a script asks many times a frame, and a
// texture's texels do not change after it is made.
#include <algorithm>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Sets in `words` (one row, zeroed) the bit of every texel of `row` whose opacity is above the
// usual hit threshold. Every texture is read whole as it is made, so the common format is read
// sixteen texels at a time where the processor can.
void MarkOpaqueTexels(D3DFORMAT format, const uint8_t* row, int32_t width, uint64_t* words) {
    constexpr int kThreshold = TKavSurfaceEngine3D::kHitThreshold;
    int32_t x = 0;
    if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_A8B8G8R8) {
#if defined(__SSE2__)
        const __m128i threshold = _mm_set1_epi8(char(kThreshold)), zero = _mm_setzero_si128();
        for (; x + 16 <= width; x += 16) {
            const auto* p = reinterpret_cast<const __m128i*>(row + int64_t(x) * 4);
            // Each texel's opacity (its top byte) down to the low byte of its lane, then the
            // sixteen packed into bytes; a byte above the threshold survives the saturating
            // subtraction as non-zero.
            const __m128i a0 = _mm_srli_epi32(_mm_loadu_si128(p), 24);
            const __m128i a1 = _mm_srli_epi32(_mm_loadu_si128(p + 1), 24);
            const __m128i a2 = _mm_srli_epi32(_mm_loadu_si128(p + 2), 24);
            const __m128i a3 = _mm_srli_epi32(_mm_loadu_si128(p + 3), 24);
            const __m128i a = _mm_packus_epi16(_mm_packs_epi32(a0, a1), _mm_packs_epi32(a2, a3));
            const auto clear = uint32_t(
                _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(a, threshold), zero)));
            words[x / 64] |= uint64_t(~clear & 0xFFFF) << (x % 64);
        }
#endif
        for (; x < width; ++x)
            if (row[int64_t(x) * 4 + 3] > kThreshold) words[x / 64] |= uint64_t(1) << (x % 64);
        return;
    }
    for (; x < width; ++x)
        if (TexelAlpha(format, row, x) > kThreshold) words[x / 64] |= uint64_t(1) << (x % 64);
}

// True when a bit from `from` to `to` (inclusive, from <= to) of a row of words is set.
bool AnyBitSet(const uint64_t* words, int64_t from, int64_t to) {
    const int64_t first = from / 64, last = to / 64;
    const uint64_t head = ~uint64_t(0) << (from % 64);
    const uint64_t tail = ~uint64_t(0) >> (63 - to % 64);
    if (first == last) return (words[first] & head & tail) != 0;
    if (words[first] & head) return true;
    for (int64_t w = first + 1; w < last; ++w)
        if (words[w]) return true;
    return (words[last] & tail) != 0;
}

// True when a byte from `from` to `to` (inclusive) of `texels` is above `threshold`.
bool AnyAbove(const uint8_t* texels, int64_t from, int64_t to, int64_t threshold) {
    for (int64_t i = from; i <= to; ++i)
        if (texels[i] > threshold) return true;
    return false;
}

}  // namespace

bool TKavSurfaceEngine3D::ReadOpacity(TTexture& t, bool texels) {
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
    const auto* bits = static_cast<const uint8_t*>(locked.pBits);
    map.Width = int32_t(desc.Width);
    map.Height = int32_t(desc.Height);
    map.Readable = TexelAlpha(desc.Format, bits, 0) >= 0;
    if (!map.Read) {
        map.WordsPerRow = map.Readable ? (size_t(map.Width) + 63) / 64 : 0;
        map.Above.assign(map.WordsPerRow * size_t(map.Height), 0);
        for (int32_t y = 0; map.Readable && y < map.Height; ++y)
            MarkOpaqueTexels(desc.Format, bits + int64_t(y) * locked.Pitch, map.Width,
                             map.Above.data() + size_t(y) * map.WordsPerRow);
        map.Read = true;
    }
    if (texels && !map.TexelsRead) {
        map.Texels.clear();
        if (map.Readable) {
            map.Texels.resize(size_t(map.Width) * size_t(map.Height));
            uint8_t* out = map.Texels.data();
            for (int32_t y = 0; y < map.Height; ++y) {
                const uint8_t* row = bits + int64_t(y) * locked.Pitch;
                for (int32_t x = 0; x < map.Width; ++x)
                    *out++ = uint8_t(TexelAlpha(desc.Format, row, x));
            }
        }
        map.TexelsRead = true;
    }
    t.Texture->UnlockRect(0);
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
    const bool usual = threshold == kHitThreshold;
    TOpacityMap& map = t->Opacity;
    if (!(usual ? map.Read : map.TexelsRead) && !ReadOpacity(*t, !usual))
        return TPictureHit::Unreadable;
    if (!LockableRect(rect, map.Width, map.Height)) return TPictureHit::Unreadable;

    // The square around the point in screen columns and rows of the picture...
    const int64_t c0 = std::max<int64_t>(x - radius, 0), c1 = std::min<int64_t>(x + radius, w - 1);
    const int64_t r0 = std::max<int64_t>(y - radius, 0), r1 = std::min<int64_t>(y + radius, h - 1);
    // ...in rows and columns of the picture's texture rectangle: a turned picture runs its
    // screen x down the texture and its screen y leftward across it. Only texels inside the
    // rectangle are read.
    int64_t row0 = r0, row1 = r1, col0 = c0, col1 = c1;
    if (surface.Rotated) {
        row0 = c0;
        row1 = c1;
        col0 = rectW - 1 - r1;
        col1 = rectW - 1 - r0;
    }
    row0 = std::max<int64_t>(row0, 0);
    row1 = std::min(row1, rectH - 1);
    col0 = std::max<int64_t>(col0, 0);
    col1 = std::min(col1, rectW - 1);
    if (row0 > row1 || col0 > col1) return TPictureHit::Clear;
    if (!map.Readable) return TPictureHit::Unreadable;

    for (int64_t r = row0; r <= row1; ++r) {
        const int64_t texRow = rect.top + r;
        const bool hit =
            usual ? AnyBitSet(map.Above.data() + size_t(texRow) * map.WordsPerRow,
                              rect.left + col0, rect.left + col1)
                  : AnyAbove(map.Texels.data() + texRow * map.Width, rect.left + col0,
                             rect.left + col1, threshold);
        if (hit) return TPictureHit::Opaque;
    }
    return TPictureHit::Clear;
}

}  // namespace hv
