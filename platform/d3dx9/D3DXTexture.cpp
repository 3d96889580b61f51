// Textures from PNG and JPEG pictures: PNG decoded by libpng, JPEG by SDL2_image, resampled by
// stb_image_resize.
#include <SDL.h>
#include <SDL_image.h>
#include <png.h>
#include <stb/stb_image_resize.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/d3d9/Resources.h"
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
// seconds and gigabytes of memory before anything could be drawn of it. A fuzzing build takes at
// most 2048 x 2048: a few hundred bytes declaring 50 million texels otherwise keep each run
// decoding for seconds (two runs a second instead of thousands), and the largest pictures are
// tested on their own.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr uint64_t kMaxPictureTexels = uint64_t(2048) * 2048;
#else
constexpr uint64_t kMaxPictureTexels = uint64_t(8192) * 8192;
#endif

// A picture as 0xAARRGGBB texels, rows top first, Width texels a row. The texels are not
// cleared when made: whoever makes an image writes every texel.
struct Image {
    UINT Width = 0;
    UINT Height = 0;
    std::unique_ptr<uint32_t[]> Texels;

    Image() = default;
    Image(UINT w, UINT h) : Width(w), Height(h), Texels(new uint32_t[size_t(w) * h]) {}
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

// libpng reports a fatal error by a jump back to the decoder, which then fails; warnings are
// not the game's business.
[[noreturn]] void PngFailed(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PngWarned(png_structp, png_const_charp) {}

struct PngSource {
    const uint8_t* Data;
    size_t Size;
    size_t Pos;
};

void ReadPngBytes(png_structp png, png_bytep out, size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->Size - source->Pos) png_error(png, "past the end");
    std::memcpy(out, source->Data + source->Pos, count);
    source->Pos += count;
}

// Decodes a PNG file into `rows` (one pointer per row of w texels) as 0xAARRGGBB: palettes,
// grey and transparent colours expanded, 16-bit channels cut to their high byte, interlacing
// undone; a picture without alpha is opaque.
bool DecodePng(const uint8_t* data, size_t size, UINT w, UINT h, png_bytep* rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFailed, PngWarned);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource source{data, size, 0};
    // No object with a destructor lives between here and the jumps back.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, ReadPngBytes);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_packing(png);
    png_set_expand(png);  // palette to RGB, grey to 8 bits, a transparent colour to alpha
    png_set_gray_to_rgb(png);
    png_set_bgr(png);  // little-endian 0xAARRGGBB is B, G, R, A in memory
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_image_width(png, info) != w || png_get_image_height(png, info) != h ||
        png_get_rowbytes(png, info) != size_t(w) * 4)
        png_error(png, "unexpected layout");
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// Decodes the picture `data` of `kind` and the declared size w x h into `out`, `pitch` texels
// apart from row to row.
HRESULT DecodeInto(const void* data, UINT size, D3DXIMAGE_FILEFORMAT kind, UINT w, UINT h,
                   uint32_t* out, size_t pitch) {
    if (kind == D3DXIFF_PNG) {
        std::vector<png_bytep> rows(h);
        for (UINT y = 0; y < h; ++y) rows[y] = reinterpret_cast<png_bytep>(out + y * pitch);
        return DecodePng(static_cast<const uint8_t*>(data), size, w, h, rows.data())
                   ? D3D_OK
                   : D3DXERR_INVALIDDATA;
    }
    static const bool started = (IMG_Init(IMG_INIT_JPG), true);
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
        SDL_LockSurface(argb);
        for (UINT y = 0; y < h; ++y)
            std::memcpy(out + y * pitch,
                        static_cast<const uint8_t*>(argb->pixels) + size_t(y) * argb->pitch,
                        size_t(w) * 4);
        SDL_UnlockSurface(argb);
    }
    SDL_FreeSurface(argb);
    return hr;
}

// Checks a picture file before anything is decoded: its kind and declared size, which must be
// no larger than `maxSide` a side and kMaxPictureTexels in all.
HRESULT Examine(const void* data, UINT size, UINT maxSide, UINT& w, UINT& h,
                D3DXIMAGE_FILEFORMAT& kind) {
    if (!data || size == 0) return D3DXERR_INVALIDDATA;
    if (!DeclaredSize(static_cast<const uint8_t*>(data), size, w, h, kind))
        return D3DXERR_INVALIDDATA;
    if (w == 0 || h == 0 || w > maxSide || h > maxSide) return D3DXERR_INVALIDDATA;
    if (uint64_t(w) * h > kMaxPictureTexels) return D3DXERR_INVALIDDATA;
    if (kind == D3DXIFF_PNG && !PngChunksFit(static_cast<const uint8_t*>(data), size))
        return D3DXERR_INVALIDDATA;
    return D3D_OK;
}

void ApplyColorKey(uint32_t* texels, size_t count, D3DCOLOR key) {
    if (key == 0) return;
    for (size_t i = 0; i < count; ++i)
        if (texels[i] == key) texels[i] = 0;
}

UINT NextPowerOfTwo(UINT v) {
    UINT p = 1;
    while (p < v) p <<= 1;
    return p;
}

// `src` (w x h texels, rows `srcPitch` texels apart) resampled into `out` (outW x outH, rows
// outW apart) with `filter` (a D3DX_FILTER_* value with its flags): beyond its edges the picture
// wraps round, or is mirrored where a D3DX_FILTER_MIRROR_* flag says so.
void ResampleInto(const uint32_t* src, UINT w, UINT h, size_t srcPitch, uint32_t* out, UINT outW,
                  UINT outH, DWORD flags) {
    const DWORD filter = flags & 7;
    if (outW == w && outH == h) {
        for (UINT y = 0; y < h; ++y)
            std::memcpy(out + size_t(y) * outW, src + y * srcPitch, size_t(w) * 4);
        return;
    }
    if (filter == D3DX_FILTER_NONE) {
        std::fill_n(out, size_t(outW) * outH, 0u);
        for (UINT y = 0; y < std::min(outH, h); ++y)
            std::memcpy(out + size_t(y) * outW, src + y * srcPitch, size_t(std::min(outW, w)) * 4);
        return;
    }
    if (filter == D3DX_FILTER_POINT) {
        for (UINT y = 0; y < outH; ++y)
            for (UINT x = 0; x < outW; ++x)
                out[size_t(y) * outW + x] =
                    src[size_t(uint64_t(y) * h / outH) * srcPitch + size_t(uint64_t(x) * w / outW)];
        return;
    }
    // Channels are filtered independently, as stored (no weighting by alpha).
    const stbir_filter kernel =
        filter == D3DX_FILTER_BOX ? STBIR_FILTER_BOX : STBIR_FILTER_TRIANGLE;
    // An axis that shrinks is filtered with the box: the resampler's triangle filter stops the
    // program on an internal check for many reductions (12551 to 8192 texels, 21 to 16, ...),
    // and a picture cut down to the device's largest texture must not end the game.
    const stbir_filter across = outW < w ? STBIR_FILTER_BOX : kernel;
    const stbir_filter down = outH < h ? STBIR_FILTER_BOX : kernel;
    stbir_resize(src, int(w), int(h), int(srcPitch * 4), out, int(outW), int(outH), int(outW * 4),
                 STBIR_TYPE_UINT8, 4, STBIR_ALPHA_CHANNEL_NONE, 0,
                 (flags & D3DX_FILTER_MIRROR_U) ? STBIR_EDGE_REFLECT : STBIR_EDGE_WRAP,
                 (flags & D3DX_FILTER_MIRROR_V) ? STBIR_EDGE_REFLECT : STBIR_EDGE_WRAP, across,
                 down, STBIR_COLORSPACE_LINEAR, nullptr);
}

// The next smaller mipmap level of `src` (w x h, rows `srcPitch` texels apart) into `out`.
void HalfSizeInto(const uint32_t* src, UINT w, UINT h, size_t srcPitch, uint32_t* out,
                  DWORD mipFilter) {
    const UINT outW = std::max(1u, w / 2), outH = std::max(1u, h / 2);
    if ((mipFilter & 7) == D3DX_FILTER_NONE || (mipFilter & 7) == D3DX_FILTER_POINT) {
        for (UINT y = 0; y < outH; ++y)
            for (UINT x = 0; x < outW; ++x)
                out[size_t(y) * outW + x] =
                    src[size_t(std::min(2 * y, h - 1)) * srcPitch + std::min(2 * x, w - 1)];
        return;
    }
    ResampleInto(src, w, h, srcPitch, out, outW, outH,
                 D3DX_FILTER_BOX | (mipFilter & D3DX_FILTER_MIRROR));
}

Image HalfSize(const Image& src, DWORD mipFilter) {
    Image out(std::max(1u, src.Width / 2), std::max(1u, src.Height / 2));
    HalfSizeInto(src.Texels.get(), src.Width, src.Height, src.Width, out.Texels.get(), mipFilter);
    return out;
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

bool Is32Bit(D3DFORMAT format) {
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8;
}

// Writes `level` as `format`; `dither`: reduce channels with the ordered-dither pattern.
void Store(const Image& level, D3DFORMAT format, uint8_t* bits, INT pitch, bool dither) {
    if (Is32Bit(format)) {
        for (UINT y = 0; y < level.Height; ++y)
            std::memcpy(bits + size_t(y) * size_t(pitch), &level.Texels[size_t(y) * level.Width],
                        size_t(level.Width) * 4);
        return;
    }
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

// A picture file and how it becomes level 0 of a texture.
struct Picture {
    const void* Data;
    UINT Size;
    D3DXIMAGE_FILEFORMAT Kind;
    UINT Width, Height;  // as the file declares
    DWORD Filter;        // resampling to another size
    D3DCOLOR ColorKey;   // texels of this colour become transparent black; 0: none
};

// Level 0 of a texture of w x h with 32-bit texels, rows `pitch` bytes apart: the picture decoded
// straight into it when the sizes agree, else through a picture of the file's own size.
HRESULT MakeTopLevel(const Picture& p, UINT w, UINT h, uint8_t* bits, size_t pitch) {
    if (w == p.Width && h == p.Height) {
        const HRESULT hr =
            DecodeInto(p.Data, p.Size, p.Kind, w, h, reinterpret_cast<uint32_t*>(bits), pitch / 4);
        if (FAILED(hr)) return hr;
        for (UINT y = 0; y < h; ++y)
            ApplyColorKey(reinterpret_cast<uint32_t*>(bits + y * pitch), w, p.ColorKey);
        return D3D_OK;
    }
    Image image(p.Width, p.Height);
    const HRESULT hr =
        DecodeInto(p.Data, p.Size, p.Kind, p.Width, p.Height, image.Texels.get(), p.Width);
    if (FAILED(hr)) return hr;
    ApplyColorKey(image.Texels.get(), size_t(p.Width) * p.Height, p.ColorKey);
    if (pitch == size_t(w) * 4) {
        ResampleInto(image.Texels.get(), p.Width, p.Height, p.Width,
                     reinterpret_cast<uint32_t*>(bits), w, h, p.Filter);
        return D3D_OK;
    }
    Image level(w, h);
    ResampleInto(image.Texels.get(), p.Width, p.Height, p.Width, level.Texels.get(), w, h,
                 p.Filter);
    for (UINT y = 0; y < h; ++y)
        std::memcpy(bits + y * pitch, &level.Texels[size_t(y) * w], size_t(w) * 4);
    return D3D_OK;
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
        UINT pictureW = 0, pictureH = 0;
        D3DXIMAGE_FILEFORMAT kind = D3DXIFF_PNG;
        HRESULT hr = Examine(pSrcData, SrcDataSize, kMaxPictureSide, pictureW, pictureH, kind);
        if (FAILED(hr)) return hr;

        auto side = [&](UINT asked, UINT picture) -> UINT {
            if (asked == 0 || asked == D3DX_DEFAULT) return NextPowerOfTwo(picture);
            if (asked == D3DX_DEFAULT_NONPOW2 || asked == D3DX_FROM_FILE) return picture;
            return asked;
        };
        // A side the device cannot hold is cut down to its largest texture.
        const UINT w = std::min(side(Width, pictureW), maxTexture);
        const UINT h = std::min(side(Height, pictureH), maxTexture);
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
        const DWORD filter =
            Filter == D3DX_DEFAULT ? D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER : Filter;
        const DWORD mipFilter = MipFilter == D3DX_DEFAULT ? D3DX_FILTER_BOX : MipFilter;
        // Textures of 32-bit texels take the picture as it is stored; the others are
        // converted from a picture of the file's own size, with the dither of their filter.
        const bool wide = Is32Bit(format);
        Image image;
        if (!wide) {
            image = Image(pictureW, pictureH);
            hr = DecodeInto(pSrcData, SrcDataSize, kind, pictureW, pictureH, image.Texels.get(),
                            pictureW);
            if (FAILED(hr)) return hr;
            ApplyColorKey(image.Texels.get(), size_t(pictureW) * pictureH, ColorKey);
        }

        IDirect3DTexture9* texture = nullptr;
        hr = pDevice->CreateTexture(w, h, levels, Usage, format, Pool, &texture, nullptr);
        if (FAILED(hr)) return hr;
        auto fail = [&](HRESULT why) {
            texture->Release();
            return why;
        };
        D3DLOCKED_RECT locked;
        hr = texture->LockRect(0, &locked, nullptr, 0);
        if (FAILED(hr)) return fail(hr);
        const Picture picture{pSrcData, SrcDataSize, kind, pictureW, pictureH, filter, ColorKey};
        if (wide) {
            hr = MakeTopLevel(picture, w, h, static_cast<uint8_t*>(locked.pBits),
                              size_t(locked.Pitch));
        } else {
            Image level(w, h);
            ResampleInto(image.Texels.get(), pictureW, pictureH, pictureW, level.Texels.get(), w, h,
                         filter);
            Store(level, format, static_cast<uint8_t*>(locked.pBits), locked.Pitch,
                  (filter & D3DX_FILTER_DITHER) != 0);
            image = std::move(level);  // the next level's source
        }
        texture->UnlockRect(0);
        if (FAILED(hr)) return fail(hr);

        const DWORD count = texture->GetLevelCount();
        auto* memory = dynamic_cast<MemoryTexture*>(texture);
        if (wide && memory) {
            // The file, a fraction of the level's size, can make level 0 again once the device
            // holds a copy of its own.
            auto file = std::make_shared<const std::string>(static_cast<const char*>(pSrcData),
                                                            SrcDataSize);
            memory->SetTopLevelSource([file, picture, w, h](MemoryTexture::Level& top) {
                Picture again = picture;
                again.Data = file->data();
                return SUCCEEDED(MakeTopLevel(again, w, h, top.Bits.get(), top.Pitch));
            });
        }
        if (Is32Bit(format) && memory) {
            // Levels of 32-bit texels hold exactly what they were made from, so each lower
            // level can be made from the one above it when it is first needed: a texture that
            // is never drawn with a mipmap filter never holds them.
            memory->DeriveLowerLevels(
                [mipFilter](const MemoryTexture::Level& above, MemoryTexture::Level& level) {
                    HalfSizeInto(reinterpret_cast<const uint32_t*>(above.Bits.get()), above.Width,
                                 above.Height, above.Pitch / 4,
                                 reinterpret_cast<uint32_t*>(level.Bits.get()), mipFilter);
                });
        } else {
            if (Is32Bit(format)) {  // another device's texture: its levels from level 0
                image = Image(w, h);
                hr = texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
                if (FAILED(hr)) return fail(hr);
                for (UINT y = 0; y < h; ++y)
                    std::memcpy(&image.Texels[size_t(y) * w],
                                static_cast<uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch,
                                size_t(w) * 4);
                texture->UnlockRect(0);
            }
            for (DWORD i = 1; i < count; ++i) {
                image = HalfSize(image, mipFilter);
                hr = texture->LockRect(i, &locked, nullptr, 0);
                if (FAILED(hr)) return fail(hr);
                Store(image, format, static_cast<uint8_t*>(locked.pBits), locked.Pitch,
                      (mipFilter & D3DX_FILTER_DITHER) != 0);
                texture->UnlockRect(i);
            }
        }
        if (pSrcInfo) {
            pSrcInfo->Width = pictureW;
            pSrcInfo->Height = pictureH;
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
