// Drawing inside a scene: pictures with their transform, colour and blending, the cached lines,
// rectangles and triangles, and text. Every call sets the states it depends on and restores the
// few it changed.
#include <bit>
#include <cstring>
#include <numbers>
#include <optional>
#include <string>

#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "platform/files.h"

namespace hv {

namespace {

// A shape's key as a hash: its numbers bit for bit (both zeros alike, as they compare equal).
uint64_t Mix(uint64_t h, double v) {
    const uint64_t bits = v == 0 ? 0 : std::bit_cast<uint64_t>(v);
    return (h ^ bits) * 0x100000001B3ull + (bits >> 29);
}

uint64_t LineHash(uint8_t alpha, uint32_t color, double x1, double y1, double x2, double y2,
                  bool filled) {
    uint64_t h = (uint64_t(color) << 9) ^ (uint64_t(alpha) << 1) ^ uint64_t(filled);
    for (double v : {x1, y1, x2, y2}) h = Mix(h, v);
    return h;
}

uint64_t TriangleHash(uint8_t alpha, uint32_t color, bool filled, double x1, double y1, double x2,
                      double y2, double x3, double y3) {
    uint64_t h = (uint64_t(color) << 9) ^ (uint64_t(alpha) << 1) ^ uint64_t(filled);
    for (double v : {x1, y1, x2, y2, x3, y3}) h = Mix(h, v);
    return h;
}

uint64_t HashOf(const TLine& l) {
    return LineHash(l.Alpha, l.Color, l.X1, l.Y1, l.X2, l.Y2, l.Filled);
}
uint64_t HashOf(const TTriangle& t) {
    return TriangleHash(t.Alpha, t.Color, t.Filled, t.X1, t.Y1, t.X2, t.Y2, t.X3, t.Y3);
}

constexpr UINT kStride = sizeof(TVertex);

// A shape's vertex colour: red from the low byte of `color`, blue from the third.
D3DCOLOR ShapeColor(uint8_t alpha, uint32_t color) {
    return (DWORD(alpha) << 24) | ((color & 0xFF) << 16) | (color & 0xFF00) |
           ((color >> 16) & 0xFF);
}

D3DXMATRIX Translation(double x, double y) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, float(x), float(y), 0);
    return m;
}

D3DXMATRIX Scaling(double x, double y) {
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, float(x), float(y), 0);
    return m;
}

// A vertex buffer holding `vertices` at its start, or none when it cannot be made or filled.
// `reuse`, a buffer of a shape the cache drops, is refilled instead when it is large enough: a
// frame of moving lines and rectangles then swaps buffers between them without allocating
// (each draw names its own vertex count, so the unused tail is never read).
TComRef<IDirect3DVertexBuffer9> MakeBuffer(IDirect3DDevice9* device, const TVertex* vertices,
                                           UINT count, TComRef<IDirect3DVertexBuffer9> reuse = {}) {
    TComRef<IDirect3DVertexBuffer9> vb;
    D3DVERTEXBUFFER_DESC desc{};
    if (reuse && SUCCEEDED(reuse->GetDesc(&desc)) && desc.Size >= count * kStride) {
        vb = std::move(reuse);
    } else if (FAILED(device->CreateVertexBuffer(count * kStride, 0, VertexFormat, D3DPOOL_MANAGED,
                                                 vb.Put(), nullptr)) ||
               !vb) {
        return {};
    }
    void* data = nullptr;
    if (FAILED(vb->Lock(0, 0, &data, 0)) || !data) return {};
    std::memcpy(data, vertices, count * kStride);
    vb->Unlock();
    return vb;
}

}  // namespace

void TKavSurfaceEngine3D::Draw(std::string_view name, const TPictureDraw& how) {
    if (name.empty()) return;
    const int i = FindSurface(name);
    // The script draws every frame: a missing picture is logged once, and the log's end says
    // how often it was asked for.
    if (i < 0) {
        LogEngine().AddWarningOnce("TKavSurfaceEngine3D.Draw(" + std::string(name) +
                                   ",...) - Src Surface does not exists!");
        return;
    }
    TKavSurface& s = Surfaces[size_t(i)];
    if (how.Alpha != s.Alpha) {
        s.Alpha = how.Alpha;
        SetVBForSurfaces(s, nullptr);
    }
    if (how.ColorPower != s.ColorPower || how.Color != s.Color) {
        s.ColorPower = how.ColorPower;
        s.Color = how.Color;
        s.ColorBytes[0] = uint8_t(how.Color & 0xFF);
        s.ColorBytes[1] = uint8_t((how.Color >> 8) & 0xFF);
        s.ColorBytes[2] = uint8_t((how.Color >> 16) & 0xFF);
    }

    TTexture* t = TextureOf(s);
    if (t && !t->Loaded && !StillFailing(*t) && !MakeTexture(*t, D3DFMT_UNKNOWN, false)) {
        t->FailedFile = FileStamp(TextureFilePath(*t));
        ++t->FailedDrawLoads;
    }
    if (!t || !t->Loaded) {
        LogEngine().AddWarningOnce("TKavSurfaceEngine3D.Draw(" + std::string(name) +
                                   ",...) - Texture not load! " + (t ? t->Name : s.TextureName));
        return;
    }

    s.ScaleX = how.Group.ScaleX;
    s.ScaleY = how.Group.ScaleY;
    SetVBForSurfaces(s, nullptr);
    DrawSurface(s, how);
}

TGroupTransform TKavSurfaceEngine3D::SplashStretch(std::string_view name,
                                                   TGroupTransform group) const {
    const int t = FindTexture(name);
    if (t < 0) return group;
    const TTexture& texture = Textures[size_t(t)];
    const double w = FullScreen ? RequestedWidth : WindowedViewWidth;
    const double h = FullScreen ? RequestedHeight : WindowedViewHeight;
    if (texture.Width > 0) group.ScaleX = w / texture.Width;
    if (texture.Height > 0) group.ScaleY = h / texture.Height;
    return group;
}

namespace {

// Where a picture's vertices go: about its pivot, turned, then scaled; then to its place; then
// through the group transform.
D3DXMATRIX PictureWorld(const TKavSurface& picture, const TPictureDraw& how) {
    double pX, pY, qX, qY;
    if (how.PivotX == -1 && how.PivotY == -1) {
        pX = picture.Width / 2.0;
        pY = picture.Height / 2.0;
        qX = pX + 0.5;
        qY = pY + 0.5;
    } else {
        pX = qX = how.PivotX;
        pY = qY = how.PivotY;
    }
    D3DXMATRIX world = Translation(-pX, -pY);
    if (how.Angle != 0) {
        D3DXMATRIX r;
        D3DXMatrixRotationZ(&r, float(how.Angle * std::numbers::pi / 180.0));
        world = world * r;
    }
    if (how.ScaleX != 1 || how.ScaleY != 1) world = world * Scaling(how.ScaleX, how.ScaleY);
    world = world * Translation(qX, qY);
    world = world * Translation(how.At.X, how.At.Y);
    const TGroupTransform& g = how.Group;
    if (g.ScaleX != 1 || g.ScaleY != 1) world = world * Scaling(g.ScaleX, g.ScaleY);
    if (g.OffsetX != 0 || g.OffsetY != 0) world = world * Translation(g.OffsetX, g.OffsetY);
    return world;
}

}  // namespace

void TKavSurfaceEngine3D::DrawSurface(const TKavSurface& surface, const TPictureDraw& how) {
    if (!Device) return;
    // A part of the picture refills the shared vertex buffer for this draw only (the next Draw
    // fills it for the whole picture again), through a copy of the record so the record keeps
    // its state; a whole picture is drawn from the record as it is.
    std::optional<TKavSurface> partCopy;
    if (how.Part) {
        partCopy.emplace(surface);
        SetVBForSurfaces(*partCopy, &*how.Part);
    }
    const TKavSurface& copy = partCopy ? *partCopy : surface;
    TTexture* t = nullptr;
    if (copy.TextureIndex >= 0 && size_t(copy.TextureIndex) < Textures.size() &&
        Textures[size_t(copy.TextureIndex)].Name == copy.TextureName)
        t = &Textures[size_t(copy.TextureIndex)];
    else if (const int found = FindTexture(copy.TextureName); found >= 0)
        t = &Textures[size_t(found)];
    if (!copy.VB) return;

    const D3DXMATRIX world = PictureWorld(copy, how);
    IDirect3DDevice9* d = Device.Get();
    d->SetTransform(D3DTS_WORLD, &world);
    d->SetTexture(0, t ? t->Texture.Get() : nullptr);
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetFVF(VertexFormat);
    d->SetStreamSource(0, copy.VB.Get(), 0, kStride);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    if (how.ColorPower > 0) {
        // The whole 32-bit value is scaled; computed wide so that no product overflows.
        const DWORD factor = DWORD((uint64_t(how.ColorPower) * how.Color) / 255);
        d->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEMP);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    } else {
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    }
    if (how.OutputMode == 1) {
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    }
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    int32_t f = FilterMode;
    if (how.Filter || AllFilter) f = D3DTEXF_LINEAR;
    if (f >= 0 && f <= 3) {
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, DWORD(f));
        d->SetSamplerState(0, D3DSAMP_MINFILTER, DWORD(f));
        if (f == D3DTEXF_ANISOTROPIC)
            d->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, DWORD(MaxAnisotropy));
    }
    d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    d->SetTransform(D3DTS_WORLD, &identity);
}

int TKavSurfaceEngine3D::FindLine(uint8_t alpha, uint32_t color, double x1, double y1, double x2,
                                  double y2, bool filled) const {
    auto matches = [&](const TLine& l) {
        return l.X1 == x1 && l.Y1 == y1 && l.X2 == x2 && l.Y2 == y2 && l.Alpha == alpha &&
               l.Color == color && l.Filled == filled;
    };
    return lineTable_.Find(
        Lines, LineHash(alpha, color, x1, y1, x2, y2, filled),
        [](const TLine& l) { return HashOf(l); }, matches);
}

int TKavSurfaceEngine3D::CreateLine(uint8_t alpha, uint32_t color, double x1, double y1, double x2,
                                    double y2, bool filled) {
    if (!Device) return -1;
    const D3DCOLOR c = ShapeColor(alpha, color);
    const float fx1 = float(x1), fy1 = float(y1), fx2 = float(x2), fy2 = float(y2);
    // A full cache gives up its oldest shape, whose buffer is filled again.
    const bool full = Lines.size() >= kMaxCachedShapes;
    const size_t at = full ? nextLine_ % Lines.size() : Lines.size();
    TComRef<IDirect3DVertexBuffer9> old;
    auto hashOf = [](const TLine& l) { return HashOf(l); };
    if (full) {
        lineTable_.Erase(Lines, int32_t(at), HashOf(Lines[at]), hashOf);
        old = std::move(Lines[at].VB);
    }
    TLine line;
    line.X1 = x1;
    line.Y1 = y1;
    line.X2 = x2;
    line.Y2 = y2;
    line.Alpha = alpha;
    line.Color = color;
    line.Filled = filled;
    if (filled) {
        const TVertex v[4] = {{fx1, fy1, 1, c, 0, 0},
                              {fx2, fy1, 1, c, 0, 0},
                              {fx2, fy2, 1, c, 0, 0},
                              {fx1, fy2, 1, c, 0, 0}};
        line.VB = MakeBuffer(Device.Get(), v, 4, std::move(old));
    } else {
        const TVertex v[2] = {{fx1, fy1, 1, c, 0, 0}, {fx2, fy2, 1, c, 0, 0}};
        line.VB = MakeBuffer(Device.Get(), v, 2, std::move(old));
    }
    if (!line.VB) {
        if (full) {
            // The dropped shape's place is taken by the last one; the cache is one shorter.
            Lines[at] = std::move(Lines.back());
            Lines.pop_back();
            lineTable_.Forget();
        }
        return -1;
    }
    if (full) {
        Lines[at] = std::move(line);
        ++nextLine_;
    } else {
        Lines.push_back(std::move(line));
    }
    lineTable_.Insert(Lines, int32_t(at), HashOf(Lines[at]), hashOf);
    return int(at);
}

int TKavSurfaceEngine3D::FindTriangle(uint8_t alpha, uint32_t color, bool filled, double x1,
                                      double y1, double x2, double y2, double x3, double y3) const {
    auto matches = [&](const TTriangle& t) {
        return t.X1 == x1 && t.Y1 == y1 && t.X2 == x2 && t.Y2 == y2 && t.X3 == x3 && t.Y3 == y3 &&
               t.Alpha == alpha && t.Color == color && t.Filled == filled;
    };
    return triangleTable_.Find(
        Triangles, TriangleHash(alpha, color, filled, x1, y1, x2, y2, x3, y3),
        [](const TTriangle& t) { return HashOf(t); }, matches);
}

int TKavSurfaceEngine3D::CreateTriangle(uint8_t alpha, uint32_t color, bool filled, double x1,
                                        double y1, double x2, double y2, double x3, double y3) {
    if (!Device) return -1;
    const D3DCOLOR c = ShapeColor(alpha, color);
    const bool full = Triangles.size() >= kMaxCachedShapes;
    const size_t at = full ? nextTriangle_ % Triangles.size() : Triangles.size();
    TComRef<IDirect3DVertexBuffer9> old;
    auto hashOf = [](const TTriangle& t) { return HashOf(t); };
    if (full) {
        triangleTable_.Erase(Triangles, int32_t(at), HashOf(Triangles[at]), hashOf);
        old = std::move(Triangles[at].VB);
    }
    TTriangle tri;
    tri.X1 = x1;
    tri.Y1 = y1;
    tri.X2 = x2;
    tri.Y2 = y2;
    tri.X3 = x3;
    tri.Y3 = y3;
    tri.Alpha = alpha;
    tri.Color = color;
    tri.Filled = filled;
    const TVertex v[3] = {{float(x1), float(y1), 1, c, 0, 0},
                          {float(x2), float(y2), 1, c, 0, 0},
                          {float(x3), float(y3), 1, c, 0, 0}};
    tri.VB = MakeBuffer(Device.Get(), v, 3, std::move(old));
    if (!tri.VB) {
        if (full) {
            Triangles[at] = std::move(Triangles.back());
            Triangles.pop_back();
            triangleTable_.Forget();
        }
        return -1;
    }
    if (full) {
        Triangles[at] = std::move(tri);
        ++nextTriangle_;
    } else {
        Triangles.push_back(std::move(tri));
    }
    triangleTable_.Insert(Triangles, int32_t(at), HashOf(Triangles[at]), hashOf);
    return int(at);
}

namespace {

// The shared part of the shape draws: identity world, no texture, the shape's buffer; filled
// shapes blend by their alpha. Unfilled ones keep the blending the previous draw left.
HRESULT DrawShape(IDirect3DDevice9* d, IDirect3DVertexBuffer9* vb, bool filled,
                  UINT filledPrimitives) {
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    d->SetTransform(D3DTS_WORLD, &identity);
    d->SetTexture(0, nullptr);
    d->SetStreamSource(0, vb, 0, kStride);
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetFVF(VertexFormat);
    HRESULT hr;
    if (filled) {
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        hr = d->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, filledPrimitives);
    } else {
        hr = d->DrawPrimitive(D3DPT_LINESTRIP, 0, 1);
    }
    d->SetTransform(D3DTS_WORLD, &identity);
    return hr;
}

}  // namespace

HRESULT TKavSurfaceEngine3D::DrawLineShape(uint8_t alpha, uint32_t color, double x1, double y1,
                                           double x2, double y2, bool filled) {
    if (!Device) return D3DERR_INVALIDCALL;
    int i = FindLine(alpha, color, x1, y1, x2, y2, filled);
    if (i < 0) i = CreateLine(alpha, color, x1, y1, x2, y2, filled);
    if (i < 0) return E_OUTOFMEMORY;
    return DrawShape(Device.Get(), Lines[size_t(i)].VB.Get(), filled, 2);
}

HRESULT TKavSurfaceEngine3D::DrawTriangleShape(uint8_t alpha, uint32_t color, bool filled,
                                               double x1, double y1, double x2, double y2,
                                               double x3, double y3) {
    if (!Device) return D3DERR_INVALIDCALL;
    int i = FindTriangle(alpha, color, filled, x1, y1, x2, y2, x3, y3);
    if (i < 0) i = CreateTriangle(alpha, color, filled, x1, y1, x2, y2, x3, y3);
    if (i < 0) return E_OUTOFMEMORY;
    return DrawShape(Device.Get(), Triangles[size_t(i)].VB.Get(), filled, 1);
}

void TKavSurfaceEngine3D::OutText(std::string_view text, D3DCOLOR color, int32_t x, int32_t y) {
    if (!Font) return;
    RECT r{x, y, 0, 0};
    Font->DrawTextA(nullptr, text.data(), INT(text.size()), &r, DT_NOCLIP, color);
}

}  // namespace hv
