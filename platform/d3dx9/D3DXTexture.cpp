// Textures from PNG and JPEG pictures: decoded by SDL2_image, resampled by stb_image_resize.
#include <SDL.h>
#include <SDL_image.h>
#include <stb/stb_image_resize.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include "platform/d3dx9/d3dx9.h"
#include "platform/exceptions.h"
#include "platform/files.h"

namespace hv {

namespace {

// Largest picture side we decode (a larger one would take gigabytes before being cut down to
// the device's largest texture).
constexpr UINT kMaxPictureSide = 16384;
// Largest picture file we read.
constexpr uintmax_t kMaxPictureFileBytes = 256u << 20;
// Most texels we decode (256 MB as 32-bit texels): a picture of more would hold the game for many
// seconds and gigabytes of memory before anything could be drawn of it.
constexpr uint64_t kMaxPictureTexels = uint64_t(8192) * 8192;

// A picture as 0xAARRGGBB texels, rows top first.
struct Image {
    UINT Width = 0;
    UINT Height = 0;
    std::vector<uint32_t> Texels;
};

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint32_t BigEndian16(const uint8_t* p) {
    return (uint32_t(p[0]) << 8) | p[1];
}

// The size a PNG or JPEG declares, read before anything is decoded so that an absurd size is
// refused before the decoder allocates for it. False for anything else.
bool DeclaredSize(const uint8_t* d, size_t n, UINT& w, UINT& h, D3DXIMAGE_FILEFORMAT& kind) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n >= 24 && std::memcmp(d, kPng, 8) == 0 && std::memcmp(d + 12, "IHDR", 4) == 0) {
        w = BigEndian32(d + 16);
        h = BigEndian32(d + 20);
        kind = D3DXIFF_PNG;
        return true;
    }
    if (n >= 4 && d[0] == 0xFF && d[1] == 0xD8) {
        size_t pos = 2;
        while (pos + 4 <= n) {
            if (d[pos] != 0xFF) return false;
            const uint8_t marker = d[pos + 1];
            if (marker == 0xFF) {  // fill byte
                ++pos;
                continue;
            }
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) {  // no length
                pos += 2;
                continue;
            }
            const size_t length = BigEndian16(d + pos + 2);
            const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
                               marker != 0xC8 && marker != 0xCC;
            if (frame) {
                if (pos + 9 > n || length < 7) return false;
                h = BigEndian16(d + pos + 5);
                w = BigEndian16(d + pos + 7);
                kind = D3DXIFF_JPG;
                return true;
            }
            if (length < 2) return false;
            pos += 2 + length;
        }
    }
    return false;
}

// True when every chunk of a PNG file, up to and including IEND, lies inside the file. The
// decoder reads a chunk that runs past the end again and again instead of failing, so such a file
// never reaches it.
bool PngChunksFit(const uint8_t* d, size_t n) {
    size_t pos = 8;  // after the signature
    while (pos + 12 <= n) {
        const uint32_t length = BigEndian32(d + pos);
        if (length > 0x7FFFFFFFu || n - pos - 12 < length) return false;
        if (std::memcmp(d + pos + 4, "IEND", 4) == 0) return true;
        pos += 12 + size_t(length);
    }
    return false;
}

HRESULT Decode(const void* data, UINT size, UINT maxSide, Image& image,
               D3DXIMAGE_FILEFORMAT& kind) {
    if (!data || size == 0) return D3DXERR_INVALIDDATA;
    UINT w = 0, h = 0;
    if (!DeclaredSize(static_cast<const uint8_t*>(data), size, w, h, kind))
        return D3DXERR_INVALIDDATA;
    if (w == 0 || h == 0 || w > maxSide || h > maxSide) return D3DXERR_INVALIDDATA;
    if (uint64_t(w) * h > kMaxPictureTexels) return D3DXERR_INVALIDDATA;
    if (kind == D3DXIFF_PNG && !PngChunksFit(static_cast<const uint8_t*>(data), size))
        return D3DXERR_INVALIDDATA;
    static const bool started = (IMG_Init(IMG_INIT_PNG | IMG_INIT_JPG), true);
    (void)started;
    SDL_RWops* rw = SDL_RWFromConstMem(data, int(size));
    if (!rw) return E_OUTOFMEMORY;
    SDL_Surface* decoded = IMG_Load_RW(rw, 1);
    if (!decoded) return D3DXERR_INVALIDDATA;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(decoded);
    if (!argb) return D3DXERR_INVALIDDATA;
    HRESULT hr = D3D_OK;
    if (UINT(argb->w) != w || UINT(argb->h) != h) {
        hr = D3DXERR_INVALIDDATA;
    } else {
        try {
            image.Width = w;
            image.Height = h;
            image.Texels.resize(size_t(w) * h);
            SDL_LockSurface(argb);
            for (UINT y = 0; y < h; ++y)
                std::memcpy(&image.Texels[size_t(y) * w],
                            static_cast<const uint8_t*>(argb->pixels) + size_t(y) * argb->pitch,
                            size_t(w) * 4);
            SDL_UnlockSurface(argb);
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        }
    }
    SDL_FreeSurface(argb);
    return hr;
}

UINT NextPowerOfTwo(UINT v) {
    UINT p = 1;
    while (p < v) p <<= 1;
    return p;
}

// `src` resampled to w x h with `filter` (a D3DX_FILTER_* value with its flags): beyond its
// edges the picture wraps round, or is mirrored where a D3DX_FILTER_MIRROR_* flag says so.
Image Resample(const Image& src, UINT w, UINT h, DWORD flags) {
    const DWORD filter = flags & 7;
    Image out;
    out.Width = w;
    out.Height = h;
    out.Texels.assign(size_t(w) * h, 0);
    if (w == src.Width && h == src.Height) {
        out.Texels = src.Texels;
        return out;
    }
    if (filter == D3DX_FILTER_NONE) {
        for (UINT y = 0; y < std::min(h, src.Height); ++y)
            std::memcpy(&out.Texels[size_t(y) * w], &src.Texels[size_t(y) * src.Width],
                        size_t(std::min(w, src.Width)) * 4);
        return out;
    }
    if (filter == D3DX_FILTER_POINT) {
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x)
                out.Texels[size_t(y) * w + x] =
                    src.Texels[size_t(uint64_t(y) * src.Height / h) * src.Width +
                               size_t(uint64_t(x) * src.Width / w)];
        return out;
    }
    // Channels are filtered independently, as stored (no weighting by alpha).
    const stbir_filter kernel =
        filter == D3DX_FILTER_BOX ? STBIR_FILTER_BOX : STBIR_FILTER_TRIANGLE;
    // An axis that shrinks is filtered with the box: the resampler's triangle filter stops the
    // program on an internal check for many reductions (12551 to 8192 texels, 21 to 16, ...),
    // and a picture cut down to the device's largest texture must not end the game.
    const stbir_filter across = w < src.Width ? STBIR_FILTER_BOX : kernel;
    const stbir_filter down = h < src.Height ? STBIR_FILTER_BOX : kernel;
    stbir_resize(src.Texels.data(), int(src.Width), int(src.Height), int(src.Width * 4),
                 out.Texels.data(), int(w), int(h), int(w * 4), STBIR_TYPE_UINT8, 4,
                 STBIR_ALPHA_CHANNEL_NONE, 0,
                 (flags & D3DX_FILTER_MIRROR_U) ? STBIR_EDGE_REFLECT : STBIR_EDGE_WRAP,
                 (flags & D3DX_FILTER_MIRROR_V) ? STBIR_EDGE_REFLECT : STBIR_EDGE_WRAP, across,
                 down, STBIR_COLORSPACE_LINEAR, nullptr);
    return out;
}

// The next smaller mipmap level.
Image HalfSize(const Image& src, DWORD mipFilter) {
    const UINT w = std::max(1u, src.Width / 2), h = std::max(1u, src.Height / 2);
    if ((mipFilter & 7) == D3DX_FILTER_NONE || (mipFilter & 7) == D3DX_FILTER_POINT) {
        Image out;
        out.Width = w;
        out.Height = h;
        out.Texels.resize(size_t(w) * h);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x)
                out.Texels[size_t(y) * w + x] =
                    src.Texels[size_t(std::min(2 * y, src.Height - 1)) * src.Width +
                               std::min(2 * x, src.Width - 1)];
        return out;
    }
    return Resample(src, w, h, D3DX_FILTER_BOX | (mipFilter & D3DX_FILTER_MIRROR));
}

// The 4 x 4 ordered-dither pattern: the order in which the cells of a block step up to the
// next level as a value rises between two levels.
constexpr uint32_t kDitherOrder[4][4] = {
    {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// One channel of 8 bits reduced to `bits` bits: to the nearest level, or dithered, where
// `step` (0 to 15, from the dither pattern) says how far between two levels, in sixteenths,
// the value must lie to take the upper one.
uint32_t Quantise(uint32_t c, uint32_t bits, bool dither, uint32_t step) {
    const uint32_t max = (1u << bits) - 1;
    if (!dither) return (c * max + 127) / 255;
    // floor(c * max / 255 + (step + 0.5) / 16), in integers.
    return std::min(max, (c * max * 32 + (2 * step + 1) * 255) / (255 * 32));
}

// Writes `level` as `format`; `dither`: reduce channels with the ordered-dither pattern.
void Store(const Image& level, D3DFORMAT format, uint8_t* bits, INT pitch, bool dither) {
    for (UINT y = 0; y < level.Height; ++y) {
        uint8_t* row = bits + size_t(y) * size_t(pitch);
        const uint32_t* in = &level.Texels[size_t(y) * level.Width];
        for (UINT x = 0; x < level.Width; ++x) {
            const uint32_t c = in[x];
            const uint32_t a = c >> 24, r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            const uint32_t step = kDitherOrder[y % 4][x % 4];
            auto q = [&](uint32_t channel, uint32_t bits) {
                return Quantise(channel, bits, dither, step);
            };
            uint16_t v16 = 0;
            switch (format) {
                case D3DFMT_A4R4G4B4:
                case D3DFMT_X4R4G4B4:
                    v16 = uint16_t((q(a, 4) << 12) | (q(r, 4) << 8) | (q(g, 4) << 4) | q(b, 4));
                    break;
                case D3DFMT_R5G6B5:
                    v16 = uint16_t((q(r, 5) << 11) | (q(g, 6) << 5) | q(b, 5));
                    break;
                case D3DFMT_A1R5G5B5:
                case D3DFMT_X1R5G5B5:
                    v16 = uint16_t((q(a, 1) << 15) | (q(r, 5) << 10) | (q(g, 5) << 5) | q(b, 5));
                    break;
                default:
                    std::memcpy(row + 4 * x, &c, 4);
                    continue;
            }
            std::memcpy(row + 2 * x, &v16, 2);
        }
    }
}

D3DFORMAT TextureFormat(D3DFORMAT asked) {
    switch (asked) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
        case D3DFMT_R5G6B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_X1R5G5B5:
            return asked;
        default:
            return D3DFMT_A8R8G8B8;  // the file's own format, or the nearest the device holds
    }
}

}  // namespace

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, const void* pSrcData,
                                            UINT SrcDataSize, UINT Width, UINT Height,
                                            UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo, void*,
                                            IDirect3DTexture9** ppTexture) {
    if (!ppTexture) return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    if (!pDevice) return D3DERR_INVALIDCALL;
    D3DCAPS9 caps;
    pDevice->GetDeviceCaps(&caps);
    const UINT maxTexture =
        std::max<UINT>(1, std::min(caps.MaxTextureWidth, caps.MaxTextureHeight));
    try {
        Image image;
        D3DXIMAGE_FILEFORMAT kind = D3DXIFF_PNG;
        HRESULT hr = Decode(pSrcData, SrcDataSize, kMaxPictureSide, image, kind);
        if (FAILED(hr)) return hr;
        if (ColorKey != 0)
            for (uint32_t& t : image.Texels)
                if (t == ColorKey) t = 0;

        auto side = [&](UINT asked, UINT picture) -> UINT {
            if (asked == 0 || asked == D3DX_DEFAULT) return NextPowerOfTwo(picture);
            if (asked == D3DX_DEFAULT_NONPOW2 || asked == D3DX_FROM_FILE) return picture;
            return asked;
        };
        // A side the device cannot hold is cut down to its largest texture.
        const UINT w = std::min(side(Width, image.Width), maxTexture);
        const UINT h = std::min(side(Height, image.Height), maxTexture);
        // Rounding up to powers of two can make a picture just under the texel limit a texture of
        // four times as many texels: the texture is held to the same limit.
        if (uint64_t(w) * h > kMaxPictureTexels) return D3DXERR_INVALIDDATA;
        UINT levels = MipLevels;
        if (MipLevels == D3DX_DEFAULT) levels = 0;
        if (MipLevels == D3DX_FROM_FILE) levels = 1;
        const D3DFORMAT format = (Format == D3DFMT_UNKNOWN || UINT(Format) == D3DX_DEFAULT ||
                                  UINT(Format) == D3DX_FROM_FILE)
                                     ? D3DFMT_A8R8G8B8
                                     : TextureFormat(Format);

        IDirect3DTexture9* texture = nullptr;
        hr = pDevice->CreateTexture(w, h, levels, Usage, format, Pool, &texture, nullptr);
        if (FAILED(hr)) return hr;
        const DWORD filter =
            Filter == D3DX_DEFAULT ? D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER : Filter;
        const DWORD mipFilter = MipFilter == D3DX_DEFAULT ? D3DX_FILTER_BOX : MipFilter;
        Image level = Resample(image, w, h, filter);
        const DWORD count = texture->GetLevelCount();
        for (DWORD i = 0; i < count; ++i) {
            if (i > 0) level = HalfSize(level, mipFilter);
            D3DLOCKED_RECT locked;
            hr = texture->LockRect(i, &locked, nullptr, 0);
            if (FAILED(hr)) {
                texture->Release();
                return hr;
            }
            const bool dither = ((i == 0 ? filter : mipFilter) & D3DX_FILTER_DITHER) != 0;
            Store(level, format, static_cast<uint8_t*>(locked.pBits), locked.Pitch, dither);
            texture->UnlockRect(i);
        }
        if (pSrcInfo) {
            pSrcInfo->Width = image.Width;
            pSrcInfo->Height = image.Height;
            pSrcInfo->Depth = 1;
            pSrcInfo->MipLevels = 1;
            pSrcInfo->Format = kind == D3DXIFF_JPG ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
            pSrcInfo->ResourceType = D3DRTYPE_TEXTURE;
            pSrcInfo->ImageFileFormat = kind;
        }
        *ppTexture = texture;
        return D3D_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* pDevice, const void* pSrcData,
                                          UINT SrcDataSize, IDirect3DTexture9** ppTexture) {
    return D3DXCreateTextureFromFileInMemoryEx(
        pDevice, pSrcData, SrcDataSize, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
        D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* pDevice, const char* pSrcFile,
                                   IDirect3DTexture9** ppTexture) {
    if (!ppTexture) return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    if (!pSrcFile) return D3DERR_INVALIDCALL;
    std::string bytes;
    try {
        if (!FileExists(pSrcFile)) return D3DXERR_INVALIDDATA;
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(ResolvePath(pSrcFile), ec);
        if (ec || size > kMaxPictureFileBytes) return D3DXERR_INVALIDDATA;
        bytes = ReadFileBytes(pSrcFile);
    } catch (const Exception&) {
        return D3DXERR_INVALIDDATA;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3DXCreateTextureFromFileInMemory(pDevice, bytes.data(), UINT(bytes.size()), ppTexture);
}

}  // namespace hv
