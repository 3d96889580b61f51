// The D3DX 9 helpers the surface engine uses: textures from picture files and memory, the
// matrix helpers, and the text font. Works with any device of platform/d3d9/d3d9.h (textures
// are made with CreateTexture and filled with LockRect). No SDL or OpenGL here.
#pragma once

#include "platform/d3d9/d3d9.h"

namespace hv {

// ---- Matrices -----------------------------------------------------------------------------

struct D3DXMATRIX : D3DMATRIX {
    D3DXMATRIX() : D3DMATRIX{} {}
    D3DXMATRIX(const D3DMATRIX& m) : D3DMATRIX(m) {}
    // Row-vector product: v x (A * B) = (v x A) x B.
    D3DXMATRIX operator*(const D3DXMATRIX& b) const;
};

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* pOut);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z);
// Rotation about z by `angle` radians; on screen (y down) a positive angle turns clockwise.
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* pOut, float angle);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* pOut, float sx, float sy, float sz);
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2);
// Left-handed orthographic projection of the box l..r, b..t, zn..zf onto clip space.
D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* pOut, float l, float r, float b, float t,
                                       float zn, float zf);

// ---- Textures -----------------------------------------------------------------------------

constexpr UINT D3DX_DEFAULT = 0xFFFFFFFF;
constexpr UINT D3DX_DEFAULT_NONPOW2 = 0xFFFFFFFE;
constexpr UINT D3DX_FROM_FILE = 0xFFFFFFFD;

constexpr DWORD D3DX_FILTER_NONE = 1;
constexpr DWORD D3DX_FILTER_POINT = 2;
constexpr DWORD D3DX_FILTER_LINEAR = 3;
constexpr DWORD D3DX_FILTER_TRIANGLE = 4;
constexpr DWORD D3DX_FILTER_BOX = 5;
constexpr DWORD D3DX_FILTER_MIRROR_U = 1u << 16;
constexpr DWORD D3DX_FILTER_MIRROR_V = 2u << 16;
constexpr DWORD D3DX_FILTER_MIRROR_W = 4u << 16;
constexpr DWORD D3DX_FILTER_MIRROR = 7u << 16;
constexpr DWORD D3DX_FILTER_DITHER = 1u << 19;

constexpr HRESULT D3DXERR_INVALIDDATA = static_cast<HRESULT>(0x88760B59u);

enum D3DXIMAGE_FILEFORMAT : uint32_t {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
};

struct D3DXIMAGE_INFO {
    UINT Width = 0;
    UINT Height = 0;
    UINT Depth = 1;
    UINT MipLevels = 1;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    D3DRESOURCETYPE ResourceType = D3DRTYPE_TEXTURE;
    D3DXIMAGE_FILEFORMAT ImageFileFormat = D3DXIFF_PNG;
};

// Pictures are PNG or JPEG files, recognised by their contents (the file name's extension
// does not matter). A picture whose sides exceed 16384, or that cannot be decoded, gives
// D3DXERR_INVALIDDATA and no texture.
//
// With default sizes each side is rounded up to a power of two, and a side beyond the device's
// largest texture is cut down to it; the picture is resampled over the whole texture with a
// triangle filter, its edges wrapping round (pixels beyond the right edge come from the left
// one); a full mipmap chain is built (box filter; with 32-bit texels each lower level is made
// when first locked or drawn with a mipmap filter, from the level above as it was then). Until
// its level 0 is written, a 32-bit texture keeps the file's bytes instead of that level once
// the device holds a copy, and makes it again when it is next locked or uploaded. Format 0
// or D3DX_DEFAULT gives D3DFMT_A8R8G8B8. Converting to D3DFMT_A4R4G4B4 and the other 16-bit formats
// dithers with a 4 x 4 ordered pattern under the default filter (D3DX_FILTER_TRIANGLE |
// D3DX_FILTER_DITHER); without D3DX_FILTER_DITHER each channel is rounded to the nearest value the
// format holds. Texture in the pool asked for (the engine always asks for D3DPOOL_MANAGED).
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* pDevice, const char* pSrcFile,
                                   IDirect3DTexture9** ppTexture);
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* pDevice, const void* pSrcData,
                                          UINT SrcDataSize, IDirect3DTexture9** ppTexture);
// Width, Height: 0 or D3DX_DEFAULT round up to powers of two; D3DX_DEFAULT_NONPOW2 and
// D3DX_FROM_FILE keep the picture's size; other values are taken as given. Either way a side
// is at most the device's largest texture.
// MipLevels: 0 or D3DX_DEFAULT the full chain; D3DX_FROM_FILE one level.
// Filter: D3DX_FILTER_NONE places the picture at the top left unscaled (the rest transparent
// black), POINT takes the nearest texel, LINEAR and TRIANGLE the triangle filter, BOX the box
// filter; D3DX_FILTER_MIRROR_U and _V mirror the picture beyond its edges instead of wrapping,
// D3DX_FILTER_DITHER dithers conversions to fewer bits. D3DX_DEFAULT: TRIANGLE | DITHER.
// MipFilter: NONE and POINT take every other texel, others average; D3DX_DEFAULT: BOX.
// ColorKey: texels of this exact 0xAARRGGBB value become transparent black (0: none).
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, const void* pSrcData,
                                            UINT SrcDataSize, UINT Width, UINT Height,
                                            UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                            void* pPalette, IDirect3DTexture9** ppTexture);

// ---- Text ---------------------------------------------------------------------------------

constexpr DWORD DT_TOP = 0x000;
constexpr DWORD DT_LEFT = 0x000;
constexpr DWORD DT_CENTER = 0x001;
constexpr DWORD DT_RIGHT = 0x002;
constexpr DWORD DT_VCENTER = 0x004;
constexpr DWORD DT_BOTTOM = 0x008;
constexpr DWORD DT_SINGLELINE = 0x020;
constexpr DWORD DT_NOCLIP = 0x100;
constexpr DWORD DT_CALCRECT = 0x400;
constexpr DWORD DT_NOPREFIX = 0x800;

constexpr UINT FW_NORMAL = 400;
constexpr UINT FW_BOLD = 700;
constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD OUT_DEFAULT_PRECIS = 0;
constexpr DWORD DEFAULT_QUALITY = 0;

class ID3DXSprite;  // drawing through a sprite is not supported; pass null

class ID3DXFont : public IUnknown {
public:
    // Draws `pString` (`Count` bytes, -1: up to the terminating zero; UTF-8, with bytes that
    // are not valid UTF-8 read as Windows-1252) in `Color` (0xAARRGGBB), in screen pixels of
    // the back buffer: not moved by any transform. Lines break at "\n". The rectangle's
    // left-top is where the text starts; DT_CENTER/DT_RIGHT and DT_VCENTER/DT_BOTTOM align it
    // within the rectangle; without DT_NOCLIP nothing outside the rectangle is drawn.
    // DT_CALCRECT only measures: right and bottom become the text's extent. Returns the height
    // of the text in pixels, 0 on failure.
    virtual INT DrawTextA(ID3DXSprite* pSprite, const char* pString, INT Count, RECT* pRect,
                          DWORD Format, D3DCOLOR Color) = 0;
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
};

// Starts reading the system's font configuration on a thread of its own, so that the first font
// made finds it read (it takes milliseconds of files). Optional: the first font reads it
// otherwise. Any thread, any number of times.
void PrepareFonts();

// A font whose cell height (ascent plus descent) is `Height` pixels (negative: its em height
// is -Height). The face is the one fontconfig chooses for `pFaceName` (empty or null:
// "sans-serif"), bold from weight 600, italic when asked. Glyphs are cached in textures.
// Fails with D3DERR_NOTAVAILABLE when no face can be opened.
HRESULT D3DXCreateFontW(IDirect3DDevice9* pDevice, INT Height, UINT Width, UINT Weight,
                        UINT MipLevels, BOOL Italic, DWORD CharSet, DWORD OutputPrecision,
                        DWORD Quality, DWORD PitchAndFamily, const wchar_t* pFaceName,
                        ID3DXFont** ppFont);

}  // namespace hv
