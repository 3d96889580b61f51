// Texture files and the surfaces cut out of them: registration, lazy creation from the file's
// memory copy, the four vertices of each surface, and removal.
#include <cstring>
#include <new>
#include <string>

#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "platform/exceptions.h"
#include "platform/files.h"

namespace hv {

namespace {

const std::string kDataTextures = "data\\Textures\\";
const std::string kSplash = "Splash\\";
const std::string kTextures = "Textures\\";

// The bytes of a picture file; empty when it cannot be read (the texture then simply fails).
std::string ReadPicture(const std::string& hostPath) {
    try {
        return ReadFileBytes(hostPath);
    } catch (const Exception&) {
        return std::string();
    } catch (const std::bad_alloc&) {
        return std::string();
    }
}

D3DCOLOR VertexColor(uint8_t alpha, uint32_t red, uint32_t green, uint32_t blue) {
    return (DWORD(alpha) << 24) | ((red & 0xFF) << 16) | ((green & 0xFF) << 8) | (blue & 0xFF);
}

}  // namespace

int TKavSurfaceEngine3D::FindSurface(std::string_view name) const {
    return surfaceIndex_.Find(Surfaces, name);
}

int TKavSurfaceEngine3D::FindTexture(std::string_view name) const {
    return textureIndex_.Find(Textures, name);
}

void TKavSurfaceEngine3D::GetSurfaceSize(std::string_view name, int32_t& width,
                                         int32_t& height) const {
    const int i = FindSurface(name);
    if (i < 0) return;
    width = Surfaces[size_t(i)].Width;
    height = Surfaces[size_t(i)].Height;
}

void TKavSurfaceEngine3D::AddTextureFile(const std::string& fileName) {
    TTexture t;
    t.Name = fileName;
    t.Stream.emplace();
    if (FileExists(kTextures + fileName)) *t.Stream = ReadPicture(kTextures + fileName);
    Textures.push_back(std::move(t));
}

TTexture* TKavSurfaceEngine3D::TextureOf(TKavSurface& surface) {
    // The index is a shortcut; the name decides, so that a rebuilt texture list never gives a
    // surface another file's texture.
    const int32_t i = surface.TextureIndex;
    if (i >= 0 && size_t(i) < Textures.size() && Textures[size_t(i)].Name == surface.TextureName)
        return &Textures[size_t(i)];
    const int found = FindTexture(surface.TextureName);
    if (found < 0) return nullptr;
    surface.TextureIndex = found;
    return &Textures[size_t(found)];
}

void TKavSurfaceEngine3D::TextureMade(TTexture& t) {
    t.Loaded = true;
    t.FailedFile.reset();
    D3DSURFACE_DESC desc;
    if (SUCCEEDED(t.Texture->GetLevelDesc(0, &desc))) {
        t.Width = int32_t(desc.Width);
        t.Height = int32_t(desc.Height);
    }
    // Level 0 is still in memory now; read later, it would be decoded from the file again. A
    // texture that cannot be read now is tried again by the first hit test.
    t.Opacity = {};
    ReadOpacity(t, false);
}

std::string TKavSurfaceEngine3D::TextureFilePath(const TTexture& t) const {
    return (PreLoadInMemory ? kDataTextures : kTextures) + t.Name;
}

bool TKavSurfaceEngine3D::MakeTexture(TTexture& t, D3DFORMAT format, bool freeAfterLoad) {
    const std::string file = TextureFilePath(t);
    if (PreLoadInMemory && !t.Stream && FileExists(file)) t.Stream = ReadPicture(file);
    bool made = t.Stream && CreateTextureFromStream(t, format);
    if (!made && !PreLoadInMemory) made = CreateTextureFromFile(t, file);
    if (made && freeAfterLoad && PreLoadInMemory) t.Stream.reset();
    return made;
}

bool TKavSurfaceEngine3D::StillFailing(TTexture& t) const {
    if (!t.FailedFile) return false;
    if (FileStamp(TextureFilePath(t)) == *t.FailedFile) return true;
    // The file changed: its old memory copy goes too, so the new content is read.
    t.FailedFile.reset();
    t.Stream.reset();
    return false;
}

bool TKavSurfaceEngine3D::CreateTextureFromStream(TTexture& t, D3DFORMAT format) {
    if (!Device || !t.Stream) return false;
    const std::string& bytes = *t.Stream;
    HRESULT hr;
    if (format == D3DFMT_UNKNOWN)
        hr = D3DXCreateTextureFromFileInMemory(Device.Get(), bytes.data(), UINT(bytes.size()),
                                               t.Texture.Put());
    else
        hr = D3DXCreateTextureFromFileInMemoryEx(
            Device.Get(), bytes.data(), UINT(bytes.size()), 0, 0, 0, 0, format, D3DPOOL_MANAGED,
            D3DX_DEFAULT, D3DX_FILTER_NONE, 0, nullptr, nullptr, t.Texture.Put());
    if (FAILED(hr) || !t.Texture) {
        t.Texture.Reset();
        return false;
    }
    TextureMade(t);
    return true;
}

bool TKavSurfaceEngine3D::CreateTextureFromFile(TTexture& t, const std::string& hostPath) {
    if (!Device) return false;
    if (FAILED(D3DXCreateTextureFromFileA(Device.Get(), hostPath.c_str(), t.Texture.Put())) ||
        !t.Texture) {
        t.Texture.Reset();
        return false;
    }
    TextureMade(t);
    return true;
}

void TKavSurfaceEngine3D::CreateSufaceFromTexture(const std::string& surfaceName,
                                                  const std::string& textureFile, const RECT& rect,
                                                  bool loadNow, bool rotate, D3DFORMAT format,
                                                  bool freeAfterLoad) {
    if (FindSurface(surfaceName) >= 0) return;
    TKavSurface s;
    s.Name = surfaceName;
    s.TextureName = textureFile;
    s.Rotated = rotate;
    bool splash = false;

    int t = FindTexture(textureFile);
    if (t == -1) {
        TTexture added;
        added.Name = textureFile;
        added.Stream.emplace();
        if (FileExists(kDataTextures + textureFile)) {
            *added.Stream = ReadPicture(kDataTextures + textureFile);
        } else if (FileExists(kSplash + textureFile)) {
            *added.Stream = ReadPicture(kSplash + textureFile);
            splash = true;
        } else {
            LogEngine().AddWarning("CreateSufaceFromTexture file data\\Textures\\" + textureFile +
                                   " not exists");
        }
        Textures.push_back(std::move(added));
        t = int(Textures.size()) - 1;
    }

    TTexture& tex = Textures[size_t(t)];
    if (loadNow && !tex.Loaded) MakeTexture(tex, format, freeAfterLoad);

    s.TextureIndex = t;
    if (splash) {
        s.Width = tex.Width;
        s.Height = tex.Height;
        s.SourceRect = RECT{0, 0, tex.Width, tex.Height};
    } else {
        s.Width = rect.right - rect.left;
        s.Height = rect.bottom - rect.top;
        s.SourceRect = rect;
    }
    s.Alpha = 255;
    s.ColorBytes[0] = s.ColorBytes[1] = s.ColorBytes[2] = 255;
    s.ColorPower = 0;
    s.Color = 0xFFFFFF;
    s.VBReady = false;

    // A surface without its vertex buffer could never be drawn: it is not added.
    if (!Device ||
        FAILED(Device->CreateVertexBuffer(4 * sizeof(TVertex), 0, VertexFormat, D3DPOOL_MANAGED,
                                          s.VB.Put(), nullptr)) ||
        !s.VB)
        return;
    if (tex.Loaded) SetVBForSurfaces(s, nullptr);
    Surfaces.push_back(std::move(s));
}

bool TKavSurfaceEngine3D::SetVBForSurfaces(TKavSurface& surface, const RECT* subRect) {
    const uint32_t c = surface.ColorPower > 0 ? surface.ColorPower : 255;
    void* data = nullptr;
    if (!surface.VB || FAILED(surface.VB->Lock(0, 0, &data, 0)) || !data) {
        LogEngine().AddError("TKavSurfaceEngine3D.SetVBForSurfaces FAILED Surface.VB.Lock" +
                             surface.Name);
        return false;
    }

    // Without its texture the surface is filled against a 1 x 1 size; Draw refills it once the
    // texture exists. The record keeps the size it last had, so that a splash picture's stretch
    // stays right while its texture is being made again after a device reset.
    int32_t tw = 1, th = 1;
    TTexture* texture = TextureOf(surface);
    D3DSURFACE_DESC desc;
    if (texture && texture->Texture && SUCCEEDED(texture->Texture->GetLevelDesc(0, &desc))) {
        tw = int32_t(desc.Width);
        th = int32_t(desc.Height);
        texture->Width = tw;
        texture->Height = th;
    }

    double L = surface.SourceRect.left, T = surface.SourceRect.top;
    double R = surface.SourceRect.right, B = surface.SourceRect.bottom;
    if (subRect) {
        R = L + subRect->right;
        L = L + subRect->left;
        B = T + subRect->bottom;
        T = T + subRect->top;
    }
    const double w = R - L, h = B - T;

    // Half-texel insets keep a picture's edge texels from bleeding in its neighbours on the
    // atlas. The two bitmap-font glyph sheets are cut differently so that their letters join.
    double oL = 0.5, oT = 0.5, oR = -0.5, oB = -0.5;
    if (subRect) {
        const bool gentium = surface.Name == "GentiumBasic29.png";
        const bool antiqua = surface.Name == "KavBookAntiqua23.png";
        if (gentium) oR = oB = 0;
        if (antiqua) {
            oL = oT = 0;
            oR = oB = 0.5;
        }
        if ((gentium || antiqua) && (surface.ScaleX != 1 || surface.ScaleY != 1))
            oL = oT = oR = oB = -0.5;
    }

    const float u0 = float((L + oL) / tw), v0 = float((T + oT) / th);
    const float u1 = float((R + oR) / tw), v1 = float((B + oB) / th);
    const D3DCOLOR color =
        VertexColor(surface.Alpha, surface.ColorBytes[0] * c / 255, surface.ColorBytes[1] * c / 255,
                    surface.ColorBytes[2] * c / 255);
    TVertex v[4];
    if (!surface.Rotated) {
        v[0] = {float(oL), float(oT), 1, color, u0, v0};
        v[1] = {float(oL), float(h + oB), 1, color, u0, v1};
        v[2] = {float(w + oR), float(oT), 1, color, u1, v0};
        v[3] = {float(w + oR), float(h + oB), 1, color, u1, v1};
    } else {
        v[0] = {0, 0, 1, color, u1, v0};
        v[1] = {0, float(w), 1, color, u0, v0};
        v[2] = {float(h), 0, 1, color, u1, v1};
        v[3] = {float(h), float(w), 1, color, u0, v1};
    }
    std::memcpy(data, v, sizeof v);

    bool ok = true;
    if (FAILED(surface.VB->Unlock())) {
        LogEngine().AddError("Surface.VB.Unlock " + surface.Name);
        ok = false;
    }
    surface.VBReady = true;
    return ok;
}

void TKavSurfaceEngine3D::RemoveSurface(std::string_view name) {
    const int i = FindSurface(name);
    if (i < 0) return;
    const int t = FindTexture(Surfaces[size_t(i)].TextureName);
    if (size_t(i) + 1 != Surfaces.size()) Surfaces[size_t(i)] = std::move(Surfaces.back());
    Surfaces.pop_back();
    if (t < 0) return;
    TTexture& texture = Textures[size_t(t)];
    for (const TKavSurface& s : Surfaces)
        if (s.TextureName == texture.Name) return;
    texture.Texture.Reset();
    texture.Opacity = {};
    texture.Loaded = false;
}

void TKavSurfaceEngine3D::ClearTextures() {
    for (TTexture& t : Textures) t.Texture.Reset();
    Textures.clear();
}

}  // namespace hv
