// The OpenGL device against the Direct3D 9 documentation, rule by rule. Each row of the tables
// below is one documented rule: a scene drawn on the device and the pixels the documentation
// implies (texture blending, texture stage states, render states, sampler states, shading,
// culling, primitives). Drawing rules run twice: on a device at Direct3D's default states and
// on one set up as the surface engine sets it up. A new rule is one row.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/device/DeviceFixture.h"

namespace hv::test {
namespace {

// ---- Scenes ---------------------------------------------------------------------------------

// Pre-transformed vertices: screen pixels, no transforms, no lighting.
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

constexpr D3DCOLOR kWhite = 0xFFFFFFFF;
constexpr D3DCOLOR kBlack = 0xFF000000;
constexpr int kWidth = 160, kHeight = 120;  // the fixture's back buffer

// What a rule draws with: the device and the resources it makes, released with the scene.
class Scene {
public:
    explicit Scene(IDirect3DDevice9* device) : d(device) {}
    ~Scene() {
        for (IUnknown* r : owned_) r->Release();
    }

    void Render(D3DRENDERSTATETYPE state, DWORD value) {
        EXPECT_EQ(d->SetRenderState(state, value), D3D_OK) << "render state " << state;
    }
    void RenderFloat(D3DRENDERSTATETYPE state, float value) {
        DWORD bits;
        std::memcpy(&bits, &value, 4);
        Render(state, bits);
    }
    void Stage(D3DTEXTURESTAGESTATETYPE type, DWORD value) {
        EXPECT_EQ(d->SetTextureStageState(0, type, value), D3D_OK) << "stage state " << type;
    }
    void Sampler(D3DSAMPLERSTATETYPE type, DWORD value) {
        EXPECT_EQ(d->SetSamplerState(0, type, value), D3D_OK) << "sampler state " << type;
    }
    // The stage's colour (or alpha) operation and its arguments in one go.
    void ColorOp(DWORD op, DWORD arg1, DWORD arg2, DWORD arg0 = D3DTA_CURRENT) {
        Stage(D3DTSS_COLOROP, op);
        Stage(D3DTSS_COLORARG1, arg1);
        Stage(D3DTSS_COLORARG2, arg2);
        Stage(D3DTSS_COLORARG0, arg0);
    }
    void AlphaOp(DWORD op, DWORD arg1, DWORD arg2, DWORD arg0 = D3DTA_CURRENT) {
        Stage(D3DTSS_ALPHAOP, op);
        Stage(D3DTSS_ALPHAARG1, arg1);
        Stage(D3DTSS_ALPHAARG2, arg2);
        Stage(D3DTSS_ALPHAARG0, arg0);
    }

    // A managed A8R8G8B8 texture of w x h with `levels` levels, texel(level, x, y), bound to
    // stage 0.
    IDirect3DTexture9* Texture(UINT w, UINT h, UINT levels,
                               const std::function<D3DCOLOR(UINT, UINT, UINT)>& texel) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(d->CreateTexture(w, h, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
                  D3D_OK);
        if (!t) return nullptr;
        owned_.push_back(t);
        for (UINT l = 0; l < t->GetLevelCount(); ++l) {
            D3DSURFACE_DESC desc;
            t->GetLevelDesc(l, &desc);
            D3DLOCKED_RECT r;
            EXPECT_EQ(t->LockRect(l, &r, nullptr, 0), D3D_OK);
            for (UINT y = 0; y < desc.Height; ++y)
                for (UINT x = 0; x < desc.Width; ++x) {
                    const D3DCOLOR c = texel(l, x, y);
                    std::memcpy(static_cast<uint8_t*>(r.pBits) + y * r.Pitch + x * 4, &c, 4);
                }
            t->UnlockRect(l);
        }
        EXPECT_EQ(d->SetTexture(0, t), D3D_OK);
        return t;
    }
    IDirect3DTexture9* Solid(D3DCOLOR texel) {
        return Texture(2, 2, 1, [texel](UINT, UINT, UINT) { return texel; });
    }

    // Draws `vertices` in vertex format `fvf` (records of `stride` bytes).
    HRESULT Draw(D3DPRIMITIVETYPE type, UINT count, const void* vertices, UINT bytes, DWORD fvf,
                 UINT stride) {
        IDirect3DVertexBuffer9* vb = nullptr;
        EXPECT_EQ(d->CreateVertexBuffer(bytes, 0, fvf, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
        if (!vb) return E_FAIL;
        owned_.push_back(vb);
        void* p = nullptr;
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, vertices, bytes);
        vb->Unlock();
        d->SetFVF(fvf);
        d->SetStreamSource(0, vb, 0, stride);
        return d->DrawPrimitive(type, 0, count);
    }
    HRESULT Draw(D3DPRIMITIVETYPE type, UINT count, const std::vector<ScreenVertex>& v) {
        return Draw(type, count, v.data(), UINT(v.size() * sizeof(ScreenVertex)), kScreenFvf,
                    sizeof(ScreenVertex));
    }

    // A rectangle covering pixels [x0, x1) x [y0, y1), clockwise on screen, its texture mapped
    // with Direct3D's direct mapping (corners half a pixel out) from (0, 0) to (u1, v1).
    HRESULT Rect(float x0, float y0, float x1, float y1, D3DCOLOR diffuse,
                 D3DCOLOR specular = kWhite, float u0 = 0, float v0 = 0, float u1 = 1,
                 float v1 = 1) {
        x0 -= 0.5f, y0 -= 0.5f, x1 -= 0.5f, y1 -= 0.5f;
        return Draw(D3DPT_TRIANGLESTRIP, 2,
                    {{x0, y0, 0.5f, 1, diffuse, specular, u0, v0},
                     {x1, y0, 0.5f, 1, diffuse, specular, u1, v0},
                     {x0, y1, 0.5f, 1, diffuse, specular, u0, v1},
                     {x1, y1, 0.5f, 1, diffuse, specular, u1, v1}});
    }

    // Untransformed vertices mapped one unit to a pixel, y down, as the engine maps them.
    void PixelTransforms(const D3DXMATRIX& world = Identity(),
                         const D3DXMATRIX& view = Identity()) {
        D3DXMATRIX projection;
        D3DXMatrixOrthoOffCenterLH(&projection, 0, float(kWidth), float(kHeight), 0, -1, 1);
        d->SetTransform(D3DTS_WORLD, &world);
        d->SetTransform(D3DTS_VIEW, &view);
        d->SetTransform(D3DTS_PROJECTION, &projection);
    }
    static D3DXMATRIX Identity() {
        D3DXMATRIX m;
        D3DXMatrixIdentity(&m);
        return m;
    }

    IDirect3DDevice9* d;

private:
    std::vector<IUnknown*> owned_;
};

// Pre-transformed vertices with a diffuse colour only: x, y (screen pixels) and colour.
struct ColoredPoint {
    float x, y;
    D3DCOLOR color;
};
std::vector<ScreenVertex> Untextured(std::initializer_list<ColoredPoint> points) {
    std::vector<ScreenVertex> v;
    for (const ColoredPoint& p : points) v.push_back({p.x, p.y, 0.5f, 1, p.color, 0, 0, 0});
    return v;
}

// Untransformed vertices with both colours and two texture coordinate sets.
struct WorldVertex {
    float x, y, z;
    D3DCOLOR diffuse, specular;
    float u0, v0, u1, v1;
};
constexpr DWORD kWorldFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;

// The rectangle over pixels [x0, x1) x [y0, y1) in untransformed vertices (under
// Scene::PixelTransforms), clockwise on screen; set 0 runs 0 to 1, set 1 1 to 0.
std::vector<WorldVertex> WorldRect(float x0, float y0, float x1, float y1, D3DCOLOR diffuse,
                                   D3DCOLOR specular) {
    x0 -= 0.5f, y0 -= 0.5f, x1 -= 0.5f, y1 -= 0.5f;
    return {{x0, y0, 0.5f, diffuse, specular, 0, 0, 1, 1},
            {x1, y0, 0.5f, diffuse, specular, 1, 0, 0, 1},
            {x0, y1, 0.5f, diffuse, specular, 0, 1, 1, 0},
            {x1, y1, 0.5f, diffuse, specular, 1, 1, 0, 0}};
}

// The rectangle over pixels [x0, x1) x [y0, y1), clockwise on screen, in vertices of format
// `fvf`: x and y times `scale`, the floats of `rest`, then the diffuse colour.
HRESULT FloatQuad(Scene& s, DWORD fvf, float x0, float y0, float x1, float y1, float scale,
                  const std::vector<float>& rest, D3DCOLOR color) {
    std::vector<float> v;
    float c;
    std::memcpy(&c, &color, 4);
    for (float y : {y0 - 0.5f, y1 - 0.5f})
        for (float x : {x0 - 0.5f, x1 - 0.5f}) {
            v.push_back(x * scale);
            v.push_back(y * scale);
            v.insert(v.end(), rest.begin(), rest.end());
            v.push_back(c);
        }
    return s.Draw(D3DPT_TRIANGLESTRIP, 2, v.data(), UINT(v.size() * 4), fvf,
                  UINT(v.size() / 4 * 4));
}

HRESULT DrawWorld(Scene& s, const std::vector<WorldVertex>& v,
                  D3DPRIMITIVETYPE type = D3DPT_TRIANGLESTRIP, UINT count = 2) {
    return s.Draw(type, count, v.data(), UINT(v.size() * sizeof(WorldVertex)), kWorldFvf,
                  sizeof(WorldVertex));
}

// ---- Expected colours -----------------------------------------------------------------------

// A channel of a colour from 0 to 1; channel 0 alpha, 1 red, 2 green, 3 blue.
float Channel(D3DCOLOR c, int channel) {
    return float((c >> (24 - 8 * channel)) & 0xFF) / 255.0f;
}

// The colour whose channels `f` gives (clamped to 0..1, as every stage result is).
D3DCOLOR Channels(const std::function<float(int)>& f) {
    D3DCOLOR c = 0;
    for (int i = 0; i < 4; ++i) {
        const float v = std::fmin(std::fmax(f(i), 0.0f), 1.0f);
        c |= D3DCOLOR(std::lround(v * 255.0f)) << (24 - 8 * i);
    }
    return c;
}

// A pixel of the rule's scene and what it must be: the channels in `mask` within `tolerance`.
struct Probe {
    int x, y;
    D3DCOLOR color;
    int tolerance = 1;
    D3DCOLOR mask = 0x00FFFFFF;
};

constexpr D3DCOLOR kAlphaOnly = 0xFF000000;

// ---- Rules ----------------------------------------------------------------------------------

enum Base { kDefaults = 1, kEngine = 2, kBoth = 3 };

struct Rule {
    std::string name;
    int bases;
    std::function<void(Scene&)> draw;
    std::vector<Probe> expect;
};

// The inputs of the texture-operation rows.
constexpr D3DCOLOR kTexel = D3DCOLOR_ARGB(0xC0, 0x40, 0x80, 0x20);
constexpr D3DCOLOR kDiffuse = D3DCOLOR_ARGB(0x40, 0x80, 0x40, 0xFF);
constexpr D3DCOLOR kFactor = D3DCOLOR_ARGB(0x80, 0x20, 0xFF, 0x60);
constexpr D3DCOLOR kSpecular = D3DCOLOR_ARGB(0xA0, 0xE0, 0xA0, 0x80);
constexpr D3DCOLOR kConstant = D3DCOLOR_ARGB(0x60, 0xFF, 0xC0, 0x80);

float X(int c) {
    return Channel(kTexel, c);
}
float D(int c) {
    return Channel(kDiffuse, c);
}
float F(int c) {
    return Channel(kFactor, c);
}

// The stage's inputs set up and a rectangle drawn over pixels (10..19, 10..19).
void TextureOpScene(Scene& s, const std::function<void(Scene&)>& stage) {
    s.Solid(kTexel);
    s.Render(D3DRS_TEXTUREFACTOR, kFactor);
    s.Stage(D3DTSS_CONSTANT, kConstant);
    stage(s);
    EXPECT_EQ(s.Rect(10, 10, 20, 20, kDiffuse, kSpecular), D3D_OK);
}

// A texture operation on texture (argument 1), diffuse (argument 2) and factor (argument 0),
// and the documented result per channel (channel 0 alpha), the same for colour and alpha.
struct OpRow {
    const char* name;
    DWORD op;
    std::function<float(int)> result;
    bool colorOnly;  // documented for the colour operation only
};

const std::vector<OpRow>& Operations() {
    auto blend = [](float alpha) {
        return [alpha](int c) { return X(c) * alpha + D(c) * (1 - alpha); };
    };
    static const std::vector<OpRow> rows = {
        {"Disable", D3DTOP_DISABLE, D, true},
        {"SelectArg1", D3DTOP_SELECTARG1, X, false},
        {"SelectArg2", D3DTOP_SELECTARG2, D, false},
        {"Modulate", D3DTOP_MODULATE, [](int c) { return X(c) * D(c); }, false},
        {"Modulate2x", D3DTOP_MODULATE2X, [](int c) { return 2 * X(c) * D(c); }, false},
        {"Modulate4x", D3DTOP_MODULATE4X, [](int c) { return 4 * X(c) * D(c); }, false},
        {"Add", D3DTOP_ADD, [](int c) { return X(c) + D(c); }, false},
        {"AddSigned", D3DTOP_ADDSIGNED, [](int c) { return X(c) + D(c) - 0.5f; }, false},
        {"AddSigned2x", D3DTOP_ADDSIGNED2X, [](int c) { return 2 * (X(c) + D(c) - 0.5f); }, false},
        {"Subtract", D3DTOP_SUBTRACT, [](int c) { return X(c) - D(c); }, false},
        {"AddSmooth", D3DTOP_ADDSMOOTH, [](int c) { return X(c) + D(c) * (1 - X(c)); }, false},
        {"BlendDiffuseAlpha", D3DTOP_BLENDDIFFUSEALPHA, blend(D(0)), false},
        {"BlendTextureAlpha", D3DTOP_BLENDTEXTUREALPHA, blend(X(0)), false},
        {"BlendFactorAlpha", D3DTOP_BLENDFACTORALPHA, blend(F(0)), false},
        {"BlendTextureAlphaPm", D3DTOP_BLENDTEXTUREALPHAPM,
         [](int c) { return X(c) + D(c) * (1 - X(0)); }, false},
        // At stage 0 the current alpha is the diffuse alpha.
        {"BlendCurrentAlpha", D3DTOP_BLENDCURRENTALPHA, blend(D(0)), false},
        // With no stage after it, the stage's output is its first argument.
        {"Premodulate", D3DTOP_PREMODULATE, X, false},
        {"ModulateAlphaAddColor", D3DTOP_MODULATEALPHA_ADDCOLOR,
         [](int c) { return X(c) + X(0) * D(c); }, true},
        {"ModulateColorAddAlpha", D3DTOP_MODULATECOLOR_ADDALPHA,
         [](int c) { return X(c) * D(c) + X(0); }, true},
        {"ModulateInvAlphaAddColor", D3DTOP_MODULATEINVALPHA_ADDCOLOR,
         [](int c) { return (1 - X(0)) * D(c) + X(c); }, true},
        {"ModulateInvColorAddAlpha", D3DTOP_MODULATEINVCOLOR_ADDALPHA,
         [](int c) { return (1 - X(c)) * D(c) + X(0); }, true},
        // Argument 0 is the third operand: arg0 + arg1 x arg2, arg0 x arg1 + (1 - arg0) x arg2.
        {"MultiplyAdd", D3DTOP_MULTIPLYADD, [](int c) { return F(c) + X(c) * D(c); }, false},
        {"Lerp", D3DTOP_LERP, [](int c) { return F(c) * X(c) + (1 - F(c)) * D(c); }, false},
    };
    return rows;
}

std::vector<Rule> ColorOpRules() {
    std::vector<Rule> rules;
    for (const OpRow& row : Operations()) {
        const DWORD op = row.op;
        rules.push_back({std::string("ColorOp") + row.name,
                         kBoth,
                         [op](Scene& s) {
                             TextureOpScene(s, [op](Scene& s) {
                                 s.ColorOp(op, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR);
                             });
                         },
                         {{15, 15, Channels(row.result)}}});
    }
    // The dot product of the signed (2x - 1) channels, 4 (a - 0.5).(b - 0.5), goes to all
    // four channels, alpha included, whatever the alpha operation says.
    auto dot = [](int) {
        float sum = 0;
        for (int c = 1; c < 4; ++c)
            sum += (Channel(kConstant, c) - 0.5f) * (Channel(kSpecular, c) - 0.5f);
        return 4 * sum;
    };
    rules.push_back({"ColorOpDotProduct3",
                     kBoth,
                     [](Scene& s) {
                         TextureOpScene(s, [](Scene& s) {
                             s.ColorOp(D3DTOP_DOTPRODUCT3, D3DTA_CONSTANT, D3DTA_SPECULAR);
                             s.AlphaOp(D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE);
                         });
                     },
                     {{15, 15, Channels(dot), 1, 0xFFFFFFFF}}});
    return rules;
}

std::vector<Rule> AlphaOpRules() {
    std::vector<Rule> rules;
    for (const OpRow& row : Operations()) {
        if (row.colorOnly) continue;
        const DWORD op = row.op;
        // The back buffer keeps alpha: what the stage's alpha operation gives is read back.
        rules.push_back({std::string("AlphaOp") + row.name,
                         kBoth,
                         [op](Scene& s) {
                             TextureOpScene(s, [op](Scene& s) {
                                 s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                                 s.AlphaOp(op, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR);
                             });
                         },
                         {{15, 15, Channels(row.result), 1, kAlphaOnly}}});
    }
    return rules;
}

// Each argument source and modifier, selected as the colour and the alpha.
std::vector<Rule> ArgumentRules() {
    struct Row {
        const char* name;
        DWORD argument;
        D3DCOLOR expected;
    };
    const Row rows[] = {
        {"Diffuse", D3DTA_DIFFUSE, kDiffuse},
        // At stage 0 the current colour is the diffuse colour.
        {"Current", D3DTA_CURRENT, kDiffuse},
        {"Texture", D3DTA_TEXTURE, kTexel},
        {"Factor", D3DTA_TFACTOR, kFactor},
        {"Specular", D3DTA_SPECULAR, kSpecular},
        // The temporary register starts at zero.
        {"Temp", D3DTA_TEMP, 0},
        {"Constant", D3DTA_CONSTANT, kConstant},
        {"Complement", D3DTA_TEXTURE | D3DTA_COMPLEMENT, ~kTexel},
        {"AlphaReplicate", D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, 0xC0C0C0C0},
        {"ComplementedAlphaReplicate", D3DTA_TEXTURE | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE,
         0x3F3F3F3F},
    };
    std::vector<Rule> rules;
    for (const Row& row : rows) {
        const DWORD argument = row.argument;
        rules.push_back({std::string("Argument") + row.name,
                         kBoth,
                         [argument](Scene& s) {
                             TextureOpScene(s, [argument](Scene& s) {
                                 s.ColorOp(D3DTOP_SELECTARG1, argument, D3DTA_DIFFUSE);
                                 s.AlphaOp(D3DTOP_SELECTARG1, argument, D3DTA_DIFFUSE);
                             });
                         },
                         {{15, 15, row.expected, 0, 0xFFFFFFFF}}});
    }
    // Colours a vertex lacks read opaque white.
    rules.push_back(
        {"ArgumentsOfAVertexWithoutColours",
         kBoth,
         [](Scene& s) {
             struct Bare {
                 float x, y, z, rhw;
             };
             const Bare v[4] = {{29.5f, 9.5f, 0.5f, 1},
                                {39.5f, 9.5f, 0.5f, 1},
                                {29.5f, 19.5f, 0.5f, 1},
                                {39.5f, 19.5f, 0.5f, 1}};
             s.d->SetTexture(0, nullptr);
             s.ColorOp(D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_SPECULAR);
             s.AlphaOp(D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_SPECULAR);
             EXPECT_EQ(s.Draw(D3DPT_TRIANGLESTRIP, 2, v, sizeof v, D3DFVF_XYZRHW, sizeof(Bare)),
                       D3D_OK);
         },
         {{35, 15, kWhite, 0, 0xFFFFFFFF}}});
    return rules;
}

// A stage that reads its texture while none is set passes the diffuse colour and alpha.
std::vector<Rule> MissingTextureRules() {
    struct Row {
        const char* name;
        DWORD colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
        D3DCOLOR expected;
    };
    const Row rows[] = {
        {"Modulate", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1,
         D3DTA_TEXTURE, D3DTA_CURRENT, kDiffuse},
        {"AddFactor", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_MODULATE, D3DTA_TEXTURE,
         D3DTA_CURRENT, kDiffuse},
        {"BlendTextureAlpha", D3DTOP_BLENDTEXTUREALPHA, D3DTA_TFACTOR, D3DTA_SPECULAR,
         D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_CURRENT, kDiffuse},
        // Not reading the texture, the stage is processed.
        {"NotRead", D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_TEXTURE, D3DTOP_SELECTARG1,
         D3DTA_TFACTOR, D3DTA_TEXTURE, kFactor},
    };
    std::vector<Rule> rules;
    for (const Row& r : rows) {
        rules.push_back({std::string("MissingTexture") + r.name,
                         kBoth,
                         [r](Scene& s) {
                             s.d->SetTexture(0, nullptr);
                             s.Render(D3DRS_TEXTUREFACTOR, kFactor);
                             s.ColorOp(r.colorOp, r.colorArg1, r.colorArg2);
                             s.AlphaOp(r.alphaOp, r.alphaArg1, r.alphaArg2);
                             EXPECT_EQ(s.Rect(10, 10, 20, 20, kDiffuse, kSpecular), D3D_OK);
                         },
                         {{15, 15, r.expected, 0, 0xFFFFFFFF}}});
    }
    return rules;
}

// Flat shading takes the colour of each triangle's first vertex: 3i in a list, i in a strip,
// i + 1 in a fan; Gouraud shading interpolates.
std::vector<Rule> ShadeRules() {
    constexpr D3DCOLOR r = 0xFFFF0000, g = 0xFF00FF00, b = 0xFF0000FF, y = 0xFFFFFF00;
    std::vector<Rule> rules;
    struct Shape {
        const char* name;
        DWORD mode;
        D3DPRIMITIVETYPE type;
        UINT count;
        std::vector<ScreenVertex> vertices;
        std::vector<Probe> expect;
    };
    const Shape shapes[] = {
        {"ShadeFlatList",
         D3DSHADE_FLAT,
         D3DPT_TRIANGLELIST,
         2,
         Untextured({{10, 10, g}, {40, 10, r}, {10, 40, b}, {60, 10, b}, {90, 10, g}, {60, 40, r}}),
         {{12, 12, g, 0}, {36, 12, g, 0}, {12, 36, g, 0}, {62, 12, b, 0}}},
        // The strip's triangles (0,1,2) and (1,2,3): the second is coloured by vertex 1.
        {"ShadeFlatStrip",
         D3DSHADE_FLAT,
         D3DPT_TRIANGLESTRIP,
         2,
         Untextured({{10, 10, r}, {40, 10, g}, {10, 40, b}, {40, 40, y}}),
         {{12, 12, r, 0}, {37, 37, g, 0}}},
        // The fan's triangles (0,1,2) and (0,2,3) are coloured by vertices 1 and 2.
        {"ShadeFlatFan",
         D3DSHADE_FLAT,
         D3DPT_TRIANGLEFAN,
         2,
         Untextured({{10, 10, r}, {40, 10, g}, {40, 40, b}, {10, 40, y}}),
         {{37, 12, g, 0}, {12, 37, b, 0}}},
        // A flat line is coloured by its first vertex, the last pixel too.
        {"ShadeFlatLine",
         D3DSHADE_FLAT,
         D3DPT_LINELIST,
         1,
         Untextured({{10, 50, r}, {30, 50, b}}),
         {{10, 50, r, 0}, {29, 50, r, 0}, {30, 50, r, 0}}},
        // Gouraud: red to blue over 30 pixels; at pixel 15 the colour is halfway.
        {"ShadeGouraud",
         D3DSHADE_GOURAUD,
         D3DPT_TRIANGLESTRIP,
         2,
         Untextured({{0, 10, r}, {30, 10, b}, {0, 20, r}, {30, 20, b}}),
         {{15, 15, D3DCOLOR_ARGB(255, 128, 0, 128)}}},
    };
    for (const Shape& shape : shapes) {
        rules.push_back({shape.name, kBoth,
                         [=](Scene& s) {
                             s.d->SetTexture(0, nullptr);
                             s.Render(D3DRS_SHADEMODE, shape.mode);
                             s.Draw(shape.type, shape.count, shape.vertices);
                         },
                         shape.expect});
    }
    return rules;
}

// Sampler states: the largest mip level, level-of-detail bias, filters, address modes.
std::vector<Rule> SamplerRules() {
    constexpr D3DCOLOR levelColor[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    auto levels = [=](Scene& s) {
        s.Texture(8, 8, 3, [=](UINT l, UINT, UINT) { return levelColor[l]; });
        s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    };
    std::vector<Rule> rules;
    // Which level is sampled: 8 texels drawn over `side` pixels (1:1 or 2:1), with a mip
    // filter, a level-of-detail bias and the largest level allowed.
    struct Mip {
        const char* name;
        DWORD filter;
        float bias;
        int side;
        DWORD largest;
        D3DCOLOR expected;
        int tolerance;
    };
    const Mip mips[] = {
        // At 1:1 without mipmapping the largest level is sampled: level 0 by default, the level
        // D3DSAMP_MAXMIPLEVEL names otherwise.
        {"SamplerMaxMipLevel0", D3DTEXF_NONE, 0, 8, 0, levelColor[0], 0},
        {"SamplerMaxMipLevel1", D3DTEXF_NONE, 0, 8, 1, levelColor[1], 0},
        {"SamplerMaxMipLevel2", D3DTEXF_NONE, 0, 8, 2, levelColor[2], 0},
        // At 2:1: level 1 with point mip filtering, level 2 with a bias of +1, level 0 without
        // a mip filter.
        {"SamplerMipFilterPoint", D3DTEXF_POINT, 0, 4, 0, levelColor[1], 0},
        {"SamplerMipMapLodBias", D3DTEXF_POINT, 1, 4, 0, levelColor[2], 0},
        {"SamplerMipFilterNone", D3DTEXF_NONE, 0, 4, 0, levelColor[0], 0},
        // Linear mip filtering halfway between levels 0 and 1 (a bias of 0.5 at 1:1).
        {"SamplerMipFilterLinear", D3DTEXF_LINEAR, 0.5f, 8, 0, D3DCOLOR_ARGB(255, 128, 128, 0), 2},
    };
    for (const Mip& m : mips) {
        rules.push_back({m.name,
                         kBoth,
                         [=](Scene& s) {
                             levels(s);
                             s.Sampler(D3DSAMP_MIPFILTER, m.filter);
                             DWORD bias;
                             std::memcpy(&bias, &m.bias, 4);
                             s.Sampler(D3DSAMP_MIPMAPLODBIAS, bias);
                             s.Sampler(D3DSAMP_MAXMIPLEVEL, m.largest);
                             s.Rect(10, 10, float(10 + m.side), float(10 + m.side), kWhite);
                         },
                         {{10 + m.side / 2, 10 + m.side / 2, m.expected, m.tolerance}}});
    }

    // A black and a white texel across 8 pixels: texel centres fall on the centres of pixels
    // 1.5 and 5.5, so pixel 3 takes 3/8 of the white one with linear filtering.
    auto pair = [](Scene& s) {
        s.Texture(2, 1, 1, [](UINT, UINT x, UINT) { return x ? kWhite : 0xFF000000u; });
        s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    };
    rules.push_back({"SamplerMagFilterPoint",
                     kBoth,
                     [=](Scene& s) {
                         pair(s);
                         s.Sampler(D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
                         s.Rect(10, 10, 18, 11, kWhite);
                     },
                     {{13, 10, 0xFF000000}, {14, 10, kWhite}}});
    // Anisotropic filtering compensates for distortion; a picture scaled alike in both
    // directions has none, and is filtered as linear filtering does.
    for (DWORD filter : {DWORD(D3DTEXF_LINEAR), DWORD(D3DTEXF_ANISOTROPIC)}) {
        rules.push_back(
            {filter == D3DTEXF_LINEAR ? "SamplerMagFilterLinear" : "SamplerMagFilterAnisotropic",
             kBoth,
             [=](Scene& s) {
                 pair(s);
                 s.Sampler(D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
                 s.Sampler(D3DSAMP_MAGFILTER, filter);
                 s.Sampler(D3DSAMP_MAXANISOTROPY, 4);
                 s.Rect(10, 10, 18, 14, kWhite);
             },
             {{13, 11, D3DCOLOR_ARGB(255, 96, 96, 96)}, {10, 11, 0xFF000000}, {17, 11, kWhite}}});
    }
    // Minified 2:1 with linear filtering, each pixel centre falls between four texels of a
    // checkerboard: their average.
    rules.push_back({"SamplerMinFilterLinear",
                     kBoth,
                     [](Scene& s) {
                         s.Texture(8, 8, 1, [](UINT, UINT x, UINT y) {
                             return (x + y) % 2 ? kWhite : 0xFF000000u;
                         });
                         s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                         s.Sampler(D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
                         s.Rect(10, 10, 14, 14, kWhite);
                     },
                     {{11, 11, 0xFF808080}, {13, 12, 0xFF808080}}});
    // Mapped texel for texel, anisotropic filtering gives the texels themselves.
    rules.push_back({"SamplerAnisotropicOneToOne",
                     kBoth,
                     [](Scene& s) {
                         s.Texture(8, 8, 1, [](UINT, UINT x, UINT y) {
                             return (x + y) % 2 ? kWhite : 0xFF000000u;
                         });
                         s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                         s.Sampler(D3DSAMP_MAGFILTER, D3DTEXF_ANISOTROPIC);
                         s.Sampler(D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);
                         s.Sampler(D3DSAMP_MAXANISOTROPY, 16);
                         s.Rect(10, 10, 18, 18, kWhite);
                     },
                     {{13, 13, 0xFF000000, 0}, {14, 13, kWhite, 0}, {17, 17, 0xFF000000, 0}}});
    // D3DTEXF_NONE as a magnification filter samples the nearest texel.
    rules.push_back({"SamplerMagFilterNone",
                     kBoth,
                     [=](Scene& s) {
                         pair(s);
                         s.Sampler(D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
                         s.Sampler(D3DSAMP_MAGFILTER, D3DTEXF_NONE);
                         s.Rect(10, 10, 18, 11, kWhite);
                     },
                     {{13, 10, 0xFF000000}, {14, 10, kWhite}}});
    // The pair drawn over u from -1 to 2, four pixels per unit, point filtered: each address
    // mode's pixels for u in (-1, 0), (0, 1) and (1, 2).
    struct Address {
        const char* name;
        DWORD mode;
        D3DCOLOR before[4], after[4];
    };
    constexpr D3DCOLOR k = 0xFF000000, w = kWhite, o = 0xFFFF8000;  // o: the border colour
    const Address modes[] = {
        {"Wrap", D3DTADDRESS_WRAP, {k, k, w, w}, {k, k, w, w}},
        {"Mirror", D3DTADDRESS_MIRROR, {w, w, k, k}, {w, w, k, k}},
        {"Clamp", D3DTADDRESS_CLAMP, {k, k, k, k}, {w, w, w, w}},
        {"Border", D3DTADDRESS_BORDER, {o, o, o, o}, {o, o, o, o}},
        {"MirrorOnce", D3DTADDRESS_MIRRORONCE, {w, w, k, k}, {w, w, w, w}},
    };
    // The same down the v direction, with a 1 x 2 texture.
    for (const Address& a : modes) {
        std::vector<Probe> expect;
        for (int i = 0; i < 4; ++i) {
            expect.push_back({10, 10 + i, a.before[i], 0});
            expect.push_back({10, 14 + i, i < 2 ? k : w, 0});
            expect.push_back({10, 18 + i, a.after[i], 0});
        }
        const DWORD mode = a.mode;
        rules.push_back({std::string("SamplerAddressV") + a.name, kBoth,
                         [=](Scene& s) {
                             s.Texture(1, 2, 1, [](UINT, UINT, UINT y) { return y ? w : k; });
                             s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                             s.Sampler(D3DSAMP_ADDRESSV, mode);
                             s.Sampler(D3DSAMP_BORDERCOLOR, o);
                             s.Rect(10, 10, 11, 22, kWhite, kWhite, 0, -1, 1, 2);
                         },
                         expect});
    }
    for (const Address& a : modes) {
        std::vector<Probe> expect;
        for (int i = 0; i < 4; ++i) {
            expect.push_back({10 + i, 10, a.before[i], 0});
            expect.push_back({14 + i, 10, i < 2 ? k : w, 0});
            expect.push_back({18 + i, 10, a.after[i], 0});
        }
        const DWORD mode = a.mode;
        rules.push_back({std::string("SamplerAddress") + a.name, kBoth,
                         [=](Scene& s) {
                             pair(s);
                             s.Sampler(D3DSAMP_ADDRESSU, mode);
                             s.Sampler(D3DSAMP_BORDERCOLOR, o);
                             s.Rect(10, 10, 22, 11, kWhite, kWhite, -1, 0, 2, 1);
                         },
                         expect});
    }
    return rules;
}

// The frame-buffer blender: source x source factor (op) destination x destination factor.
std::vector<Rule> BlendRules() {
    constexpr D3DCOLOR src = D3DCOLOR_ARGB(0x60, 0xA0, 0x20, 0x40);
    constexpr D3DCOLOR dst = D3DCOLOR_ARGB(0x80, 0x40, 0x80, 0xC0);
    constexpr D3DCOLOR factor = D3DCOLOR_ARGB(0x33, 0x66, 0x99, 0xCC);
    auto S = [](int c) { return Channel(src, c); };
    auto Dd = [](int c) { return Channel(dst, c); };
    auto B = [](int c) { return Channel(factor, c); };
    // Each blend factor per channel (0 alpha, 1 to 3 colour).
    struct Factor {
        const char* name;
        DWORD value;
        std::function<float(int)> f;
    };
    const float sat = std::fmin(S(0), 1 - Dd(0));
    const Factor factors[] = {
        {"Zero", D3DBLEND_ZERO, [](int) { return 0.0f; }},
        {"One", D3DBLEND_ONE, [](int) { return 1.0f; }},
        {"SrcColor", D3DBLEND_SRCCOLOR, S},
        {"InvSrcColor", D3DBLEND_INVSRCCOLOR, [=](int c) { return 1 - S(c); }},
        {"SrcAlpha", D3DBLEND_SRCALPHA, [=](int) { return S(0); }},
        {"InvSrcAlpha", D3DBLEND_INVSRCALPHA, [=](int) { return 1 - S(0); }},
        {"DestAlpha", D3DBLEND_DESTALPHA, [=](int) { return Dd(0); }},
        {"InvDestAlpha", D3DBLEND_INVDESTALPHA, [=](int) { return 1 - Dd(0); }},
        {"DestColor", D3DBLEND_DESTCOLOR, Dd},
        {"InvDestColor", D3DBLEND_INVDESTCOLOR, [=](int c) { return 1 - Dd(c); }},
        {"SrcAlphaSat", D3DBLEND_SRCALPHASAT, [=](int c) { return c == 0 ? 1.0f : sat; }},
        {"BlendFactor", D3DBLEND_BLENDFACTOR, B},
        {"InvBlendFactor", D3DBLEND_INVBLENDFACTOR, [=](int c) { return 1 - B(c); }},
    };
    auto scene = [=](std::function<void(Scene&)> blend) {
        return [=](Scene& s) {
            s.d->Clear(0, nullptr, D3DCLEAR_TARGET, dst, 1.0f, 0);
            s.ColorOp(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
            s.AlphaOp(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
            s.Render(D3DRS_BLENDFACTOR, factor);
            blend(s);
            s.Rect(10, 10, 20, 20, src);
        };
    };
    std::vector<Rule> rules;
    for (const Factor& f : factors) {
        const DWORD v = f.value;
        const auto fs = f.f;
        rules.push_back({std::string("BlendSource") + f.name,
                         kBoth,
                         scene([v](Scene& s) {
                             s.Render(D3DRS_ALPHABLENDENABLE, 1);
                             s.Render(D3DRS_SRCBLEND, v);
                             s.Render(D3DRS_DESTBLEND, D3DBLEND_ZERO);
                         }),
                         {{15, 15, Channels([=](int c) { return S(c) * fs(c); }), 1, 0xFFFFFFFF}}});
        rules.push_back(
            {std::string("BlendDest") + f.name,
             kBoth,
             scene([v](Scene& s) {
                 s.Render(D3DRS_ALPHABLENDENABLE, 1);
                 s.Render(D3DRS_SRCBLEND, D3DBLEND_ZERO);
                 s.Render(D3DRS_DESTBLEND, v);
             }),
             {{15, 15, Channels([=](int c) { return Dd(c) * fs(c); }), 1, 0xFFFFFFFF}}});
    }
    // The two obsolete source factors also set the destination factor.
    rules.push_back({"BlendBothSrcAlpha",
                     kBoth,
                     scene([](Scene& s) {
                         s.Render(D3DRS_ALPHABLENDENABLE, 1);
                         s.Render(D3DRS_SRCBLEND, D3DBLEND_BOTHSRCALPHA);
                     }),
                     {{15, 15, Channels([=](int c) { return S(c) * S(0) + Dd(c) * (1 - S(0)); }), 1,
                       0xFFFFFFFF}}});
    rules.push_back({"BlendBothInvSrcAlpha",
                     kBoth,
                     scene([](Scene& s) {
                         s.Render(D3DRS_ALPHABLENDENABLE, 1);
                         s.Render(D3DRS_SRCBLEND, D3DBLEND_BOTHINVSRCALPHA);
                     }),
                     {{15, 15, Channels([=](int c) { return S(c) * (1 - S(0)) + Dd(c) * S(0); }), 1,
                       0xFFFFFFFF}}});
    // Blend operations on source x one and destination x one; minimum and maximum per channel.
    struct Op {
        const char* name;
        DWORD op;
        std::function<float(int)> result;
    };
    const Op ops[] = {
        {"Add", D3DBLENDOP_ADD, [=](int c) { return S(c) + Dd(c); }},
        {"Subtract", D3DBLENDOP_SUBTRACT, [=](int c) { return S(c) - Dd(c); }},
        {"RevSubtract", D3DBLENDOP_REVSUBTRACT, [=](int c) { return Dd(c) - S(c); }},
        {"Min", D3DBLENDOP_MIN, [=](int c) { return std::fmin(S(c), Dd(c)); }},
        {"Max", D3DBLENDOP_MAX, [=](int c) { return std::fmax(S(c), Dd(c)); }},
    };
    for (const Op& o : ops) {
        const DWORD op = o.op;
        rules.push_back({std::string("BlendOp") + o.name,
                         kBoth,
                         scene([op](Scene& s) {
                             s.Render(D3DRS_ALPHABLENDENABLE, 1);
                             s.Render(D3DRS_SRCBLEND, D3DBLEND_ONE);
                             s.Render(D3DRS_DESTBLEND, D3DBLEND_ONE);
                             s.Render(D3DRS_BLENDOP, op);
                         }),
                         {{15, 15, Channels(o.result), 1, 0xFFFFFFFF}}});
    }
    // Separate alpha blending: colour by the colour factors, alpha by the alpha ones; off, the
    // alpha ones are ignored.
    rules.push_back({"BlendSeparateAlpha",
                     kBoth,
                     scene([](Scene& s) {
                         s.Render(D3DRS_ALPHABLENDENABLE, 1);
                         s.Render(D3DRS_SRCBLEND, D3DBLEND_ONE);
                         s.Render(D3DRS_DESTBLEND, D3DBLEND_ZERO);
                         s.Render(D3DRS_SEPARATEALPHABLENDENABLE, 1);
                         s.Render(D3DRS_SRCBLENDALPHA, D3DBLEND_ZERO);
                         s.Render(D3DRS_DESTBLENDALPHA, D3DBLEND_ONE);
                         s.Render(D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD);
                     }),
                     {{15, 15, (src & 0x00FFFFFF) | (dst & 0xFF000000), 1, 0xFFFFFFFF}}});
    rules.push_back(
        {"BlendSeparateAlphaOp",
         kBoth,
         scene([](Scene& s) {
             s.Render(D3DRS_ALPHABLENDENABLE, 1);
             s.Render(D3DRS_SRCBLEND, D3DBLEND_ONE);
             s.Render(D3DRS_DESTBLEND, D3DBLEND_ZERO);
             s.Render(D3DRS_SEPARATEALPHABLENDENABLE, 1);
             s.Render(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
             s.Render(D3DRS_DESTBLENDALPHA, D3DBLEND_ONE);
             s.Render(D3DRS_BLENDOPALPHA, D3DBLENDOP_REVSUBTRACT);
         }),
         {{15, 15, Channels([=](int c) { return c == 0 ? Dd(0) - S(0) : S(c); }), 1, 0xFFFFFFFF}}});
    rules.push_back({"BlendSeparateAlphaOff",
                     kBoth,
                     scene([](Scene& s) {
                         s.Render(D3DRS_ALPHABLENDENABLE, 1);
                         s.Render(D3DRS_SRCBLEND, D3DBLEND_ONE);
                         s.Render(D3DRS_DESTBLEND, D3DBLEND_ZERO);
                         s.Render(D3DRS_SRCBLENDALPHA, D3DBLEND_ZERO);
                         s.Render(D3DRS_DESTBLENDALPHA, D3DBLEND_ONE);
                     }),
                     {{15, 15, src, 1, 0xFFFFFFFF}}});
    // Blending off, the source replaces the destination, alpha included.
    rules.push_back({"BlendOff",
                     kBoth,
                     scene([](Scene& s) {
                         s.Render(D3DRS_ALPHABLENDENABLE, 0);
                         s.Render(D3DRS_SRCBLEND, D3DBLEND_ZERO);
                         s.Render(D3DRS_DESTBLEND, D3DBLEND_ONE);
                     }),
                     {{15, 15, src, 0, 0xFFFFFFFF}}});
    return rules;
}

// Alpha testing against a reference of 0x80, with pixels of alpha 0x7F, 0x80 and 0x81.
std::vector<Rule> AlphaTestRules() {
    struct Row {
        const char* name;
        DWORD func;
        bool below, equal, above;
    };
    const Row rows[] = {
        {"Never", D3DCMP_NEVER, false, false, false},
        {"Less", D3DCMP_LESS, true, false, false},
        {"Equal", D3DCMP_EQUAL, false, true, false},
        {"LessEqual", D3DCMP_LESSEQUAL, true, true, false},
        {"Greater", D3DCMP_GREATER, false, false, true},
        {"NotEqual", D3DCMP_NOTEQUAL, true, false, true},
        {"GreaterEqual", D3DCMP_GREATEREQUAL, false, true, true},
        {"Always", D3DCMP_ALWAYS, true, true, true},
    };
    auto draw = [](Scene& s) {
        s.d->SetTexture(0, nullptr);
        s.Rect(10, 10, 20, 20, D3DCOLOR_ARGB(0x7F, 255, 255, 255));
        s.Rect(30, 10, 40, 20, D3DCOLOR_ARGB(0x80, 255, 255, 255));
        s.Rect(50, 10, 60, 20, D3DCOLOR_ARGB(0x81, 255, 255, 255));
    };
    std::vector<Rule> rules;
    for (const Row& r : rows) {
        const DWORD func = r.func;
        rules.push_back({std::string("AlphaTest") + r.name,
                         kBoth,
                         [=](Scene& s) {
                             s.Render(D3DRS_ALPHATESTENABLE, 1);
                             s.Render(D3DRS_ALPHAREF, 0x80);
                             s.Render(D3DRS_ALPHAFUNC, func);
                             draw(s);
                         },
                         {{15, 15, r.below ? kWhite : kBlack, 0},
                          {35, 15, r.equal ? kWhite : kBlack, 0},
                          {55, 15, r.above ? kWhite : kBlack, 0}}});
    }
    rules.push_back({"AlphaTestOff",
                     kBoth,
                     [=](Scene& s) {
                         s.Render(D3DRS_ALPHATESTENABLE, 0);
                         s.Render(D3DRS_ALPHAFUNC, D3DCMP_NEVER);
                         draw(s);
                     },
                     {{15, 15, kWhite, 0}, {35, 15, kWhite, 0}}});
    return rules;
}

// Which channels a draw writes; clearing writes all of them.
std::vector<Rule> ColorWriteRules() {
    struct Row {
        const char* name;
        DWORD mask;
    };
    const Row rows[] = {{"Red", 1},   {"Green", 2}, {"Blue", 4},
                        {"Alpha", 8}, {"None", 0},  {"All", 15}};
    std::vector<Rule> rules;
    for (const Row& r : rows) {
        const DWORD mask = r.mask;
        D3DCOLOR expected = 0;
        for (int bit = 0; bit < 4; ++bit) {
            // Bits red, green, blue, alpha; drawn white with alpha 0x80 over 0x40404040.
            const int shift = bit == 3 ? 24 : 16 - 8 * bit;
            const D3DCOLOR written = bit == 3 ? 0x80 : 0xFF;
            expected |= ((mask >> bit) & 1 ? written : 0x40) << shift;
        }
        rules.push_back({std::string("ColorWrite") + r.name,
                         kBoth,
                         [=](Scene& s) {
                             s.d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x40404040, 1.0f, 0);
                             s.d->SetTexture(0, nullptr);
                             s.Render(D3DRS_COLORWRITEENABLE, mask);
                             s.Rect(10, 10, 20, 20, 0x80FFFFFF);
                         },
                         {{15, 15, expected, 0, 0xFFFFFFFF}}});
    }
    return rules;
}

// Culling and fill modes on one clockwise and one counter-clockwise triangle, and primitives.
std::vector<Rule> RasterRules() {
    constexpr D3DCOLOR red = 0xFFFF0000, green = 0xFF00FF00;
    auto pair = [](Scene& s) {
        s.d->SetTexture(0, nullptr);
        // On screen (y down): (10,10) (40,10) (10,40) turns clockwise.
        s.Draw(D3DPT_TRIANGLELIST, 1, Untextured({{10, 10, red}, {40, 10, red}, {10, 40, red}}));
        s.Draw(D3DPT_TRIANGLELIST, 1,
               Untextured({{60, 10, green}, {60, 40, green}, {90, 10, green}}));
    };
    std::vector<Rule> rules;
    // Direct3D's default culls counter-clockwise triangles.
    rules.push_back({"CullDefault", kDefaults, pair, {{15, 15, red, 0}, {65, 15, kBlack, 0}}});
    struct Cull {
        const char* name;
        DWORD mode;
        bool clockwise, counterClockwise;  // drawn
    };
    for (const Cull& c :
         {Cull{"CullCcw", D3DCULL_CCW, true, false}, Cull{"CullCw", D3DCULL_CW, false, true},
          Cull{"CullNone", D3DCULL_NONE, true, true}}) {
        const DWORD mode = c.mode;
        rules.push_back({c.name,
                         kBoth,
                         [=](Scene& s) {
                             s.Render(D3DRS_CULLMODE, mode);
                             pair(s);
                         },
                         {{15, 15, c.clockwise ? red : kBlack, 0},
                          {65, 15, c.counterClockwise ? green : kBlack, 0}}});
    }
    // Fill modes: solid fills, wireframe draws the edges, point the vertices.
    auto fill = [=](DWORD mode) {
        return [=](Scene& s) {
            s.Render(D3DRS_CULLMODE, D3DCULL_NONE);
            s.Render(D3DRS_FILLMODE, mode);
            pair(s);
        };
    };
    rules.push_back({"FillSolid",
                     kBoth,
                     fill(D3DFILL_SOLID),
                     {{15, 15, red, 0}, {25, 10, red, 0}, {10, 10, red, 0}}});
    rules.push_back(
        {"FillWireframe",
         kBoth,
         fill(D3DFILL_WIREFRAME),
         {{15, 15, kBlack, 0}, {25, 10, red, 0}, {10, 25, red, 0}, {65, 15, kBlack, 0}}});
    // Points of size 3 drawn first leave the point-filled vertices single pixels.
    rules.push_back(
        {"FillPointAfterSizedPoints",
         kBoth,
         [=](Scene& s) {
             s.d->SetTexture(0, nullptr);
             s.RenderFloat(D3DRS_POINTSIZE, 3.0f);
             s.Draw(D3DPT_POINTLIST, 1, Untextured({{100, 60, green}}));
             fill(D3DFILL_POINT)(s);
         },
         {{10, 10, red, 0}, {11, 10, kBlack, 0}, {10, 11, kBlack, 0}, {101, 60, green, 0}}});
    rules.push_back(
        {"FillPoint",
         kBoth,
         fill(D3DFILL_POINT),
         {{15, 15, kBlack, 0}, {25, 10, kBlack, 0}, {10, 10, red, 0}, {60, 10, green, 0}}});
    // Lines include their last pixel unless D3DRS_LASTPIXEL is off.
    for (DWORD last : {0u, 1u}) {
        rules.push_back({last ? "LastPixelOn" : "LastPixelOff",
                         kBoth,
                         [=](Scene& s) {
                             s.d->SetTexture(0, nullptr);
                             s.Render(D3DRS_LASTPIXEL, last);
                             s.Draw(D3DPT_LINESTRIP, 1, Untextured({{10, 60, red}, {30, 60, red}}));
                         },
                         {{10, 60, red, 0},
                          {29, 60, red, 0},
                          {30, 60, last ? red : kBlack, 0},
                          {9, 60, kBlack, 0}}});
    }
    // Each primitive type reads its vertices as documented.
    rules.push_back(
        {"PrimitivePointList",
         kBoth,
         [=](Scene& s) {
             s.d->SetTexture(0, nullptr);
             s.Draw(D3DPT_POINTLIST, 2, Untextured({{10, 70, red}, {20, 70, green}}));
         },
         {{10, 70, red, 0}, {20, 70, green, 0}, {11, 70, kBlack, 0}, {10, 71, kBlack, 0}}});
    rules.push_back(
        {"PrimitiveLineList",
         kBoth,
         [=](Scene& s) {
             s.d->SetTexture(0, nullptr);
             s.Draw(D3DPT_LINELIST, 2,
                    Untextured({{10, 70, red}, {20, 70, red}, {10, 80, green}, {10, 90, green}}));
         },
         {{15, 70, red, 0}, {10, 85, green, 0}, {15, 80, kBlack, 0}}});
    rules.push_back(
        {"PrimitiveTriangleFan",
         kBoth,
         [=](Scene& s) {
             s.d->SetTexture(0, nullptr);
             s.Draw(D3DPT_TRIANGLEFAN, 2,
                    Untextured({{10, 70, red}, {30, 70, red}, {30, 80, red}, {10, 80, red}}));
         },
         {{10, 70, red, 0}, {29, 79, red, 0}, {30, 75, kBlack, 0}, {20, 80, kBlack, 0}}});
    return rules;
}

// Point sizes (screen pixels, clamped to the minimum and maximum) and point sprites.
std::vector<Rule> PointRules() {
    constexpr D3DCOLOR red = 0xFFFF0000;
    auto point = [](Scene& s, float x, float y) {
        s.d->SetTexture(0, nullptr);
        s.Draw(D3DPT_POINTLIST, 1, {{x, y, 0.5f, 1, red, 0, 0.5f, 0.5f}});
    };
    std::vector<Rule> rules;
    // A point of size 3 at a pixel centre covers that pixel and its eight neighbours.
    rules.push_back(
        {"PointSize",
         kBoth,
         [=](Scene& s) {
             s.RenderFloat(D3DRS_POINTSIZE, 3.0f);
             point(s, 20, 20);
         },
         {{19, 19, red, 0}, {21, 21, red, 0}, {22, 20, kBlack, 0}, {20, 18, kBlack, 0}}});
    // Size 2 with its edges through pixel centres: the top-left rule takes the left and top.
    rules.push_back(
        {"PointSizeEven",
         kBoth,
         [=](Scene& s) {
             s.RenderFloat(D3DRS_POINTSIZE, 2.0f);
             point(s, 20, 20);
         },
         {{19, 19, red, 0}, {20, 20, red, 0}, {21, 20, kBlack, 0}, {20, 21, kBlack, 0}}});
    rules.push_back({"PointSizeMin",
                     kBoth,
                     [=](Scene& s) {
                         s.RenderFloat(D3DRS_POINTSIZE, 1.0f);
                         s.RenderFloat(D3DRS_POINTSIZE_MIN, 3.0f);
                         point(s, 20, 20);
                     },
                     {{19, 19, red, 0}, {21, 21, red, 0}, {22, 20, kBlack, 0}}});
    rules.push_back({"PointSizeMax",
                     kBoth,
                     [=](Scene& s) {
                         s.RenderFloat(D3DRS_POINTSIZE, 9.0f);
                         s.RenderFloat(D3DRS_POINTSIZE_MAX, 3.0f);
                         point(s, 20, 20);
                     },
                     {{21, 21, red, 0}, {22, 20, kBlack, 0}}});
    // A sprite of size 4 at (30.5, 30.5) covers pixels 29 to 32 and runs its texture from (0,0)
    // at the top left to (1,1) at the bottom right: each quarter shows one texel of a 2 x 2
    // texture.
    constexpr D3DCOLOR quarter[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
    rules.push_back(
        {"PointSprite",
         kBoth,
         [=](Scene& s) {
             s.Texture(2, 2, 1, [=](UINT, UINT x, UINT y) { return quarter[y * 2 + x]; });
             s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
             s.Render(D3DRS_POINTSPRITEENABLE, 1);
             s.RenderFloat(D3DRS_POINTSIZE, 4.0f);
             s.Draw(D3DPT_POINTLIST, 1, {{30.5f, 30.5f, 0.5f, 1, kWhite, 0, 0.9f, 0.9f}});
         },
         {{29, 29, quarter[0], 0},
          {32, 29, quarter[1], 0},
          {29, 32, quarter[2], 0},
          {32, 32, quarter[3], 0},
          {33, 30, kBlack, 0}}});
    // Without sprites a point takes the vertex's texture coordinates.
    rules.push_back(
        {"PointWithoutSprite",
         kBoth,
         [=](Scene& s) {
             s.Texture(2, 2, 1, [=](UINT, UINT x, UINT y) { return quarter[y * 2 + x]; });
             s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
             s.RenderFloat(D3DRS_POINTSIZE, 4.0f);
             s.Draw(D3DPT_POINTLIST, 1, {{30.5f, 30.5f, 0.5f, 1, kWhite, 0, 0.9f, 0.9f}});
         },
         {{29, 29, quarter[3], 0}, {32, 32, quarter[3], 0}}});
    // A point size in the vertex is not drawn.
    rules.push_back({"PointSizePerVertexRefused",
                     kBoth,
                     [](Scene& s) {
                         const float v[5] = {20, 20, 0.5f, 1, 4.0f};
                         EXPECT_EQ(s.Draw(D3DPT_POINTLIST, 1, v, sizeof v,
                                          D3DFVF_XYZRHW | D3DFVF_PSIZE, sizeof v),
                                   D3DERR_INVALIDCALL);
                     },
                     {{20, 20, kBlack, 0}}});
    return rules;
}

// Lighting without lights: ambient light x ambient source + emissive source, the diffuse
// source's alpha; the material is black; pre-transformed vertices are not lit.
std::vector<Rule> LightingRules() {
    auto lit = [](std::function<void(Scene&)> states) {
        return [=](Scene& s) {
            s.PixelTransforms();
            s.d->SetTexture(0, nullptr);
            s.ColorOp(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
            s.AlphaOp(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
            s.Render(D3DRS_LIGHTING, 1);
            states(s);
            EXPECT_EQ(DrawWorld(s, WorldRect(10, 10, 20, 20, kDiffuse, kSpecular)), D3D_OK);
        };
    };
    constexpr D3DCOLOR grey = 0xFF808080;
    auto Sp = [](int c) { return Channel(kSpecular, c); };
    std::vector<Rule> rules;
    rules.push_back({"LightingDefault",
                     kBoth,
                     lit([](Scene&) {}),
                     {{15, 15, kDiffuse & 0xFF000000, 0, 0xFFFFFFFF}}});
    rules.push_back({"LightingAmbientFromDiffuse",
                     kBoth,
                     lit([](Scene& s) {
                         s.Render(D3DRS_AMBIENT, grey);
                         s.Render(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
                     }),
                     {{15, 15, Channels([](int c) { return c ? D(c) * Channel(grey, c) : D(0); }),
                       1, 0xFFFFFFFF}}});
    rules.push_back(
        {"LightingEmissiveFromSpecular",
         kBoth,
         lit([](Scene& s) { s.Render(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR2); }),
         {{15, 15, (kSpecular & 0x00FFFFFF) | (kDiffuse & 0xFF000000), 1, 0xFFFFFFFF}}});
    rules.push_back(
        {"LightingAmbientPlusEmissive",
         kBoth,
         lit([](Scene& s) {
             s.Render(D3DRS_AMBIENT, grey);
             s.Render(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
             s.Render(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR2);
         }),
         {{15, 15, Channels([=](int c) { return c ? D(c) * Channel(grey, c) + Sp(c) : D(0); }), 1,
           0xFFFFFFFF}}});
    // Vertex colours off: every source is the (black) material.
    rules.push_back({"LightingWithoutVertexColors",
                     kBoth,
                     lit([](Scene& s) {
                         s.Render(D3DRS_COLORVERTEX, 0);
                         s.Render(D3DRS_AMBIENT, grey);
                         s.Render(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
                     }),
                     {{15, 15, 0, 0, 0xFFFFFFFF}}});
    rules.push_back({"LightingDiffuseFromMaterial",
                     kBoth,
                     lit([](Scene& s) {
                         s.Render(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
                         s.Render(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR1);
                     }),
                     {{15, 15, kDiffuse & 0x00FFFFFF, 0, 0xFFFFFFFF}}});
    rules.push_back({"LightingOff",
                     kBoth,
                     lit([](Scene& s) { s.Render(D3DRS_LIGHTING, 0); }),
                     {{15, 15, kDiffuse, 0, 0xFFFFFFFF}}});
    rules.push_back({"LightingLeavesTransformedVertices",
                     kBoth,
                     [](Scene& s) {
                         s.d->SetTexture(0, nullptr);
                         s.ColorOp(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
                         s.AlphaOp(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
                         s.Render(D3DRS_LIGHTING, 1);
                         s.Rect(10, 10, 20, 20, kDiffuse);
                     },
                     {{15, 15, kDiffuse, 0, 0xFFFFFFFF}}});
    // The specular colour of lit vertices comes from lights, which the device does not have.
    rules.push_back({"LightingSpecularArgumentRefused",
                     kBoth,
                     [](Scene& s) {
                         s.PixelTransforms();
                         s.d->SetTexture(0, nullptr);
                         s.Render(D3DRS_LIGHTING, 1);
                         s.ColorOp(D3DTOP_SELECTARG1, D3DTA_SPECULAR, D3DTA_CURRENT);
                         s.AlphaOp(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
                         EXPECT_EQ(DrawWorld(s, WorldRect(10, 10, 20, 20, kDiffuse, kSpecular)),
                                   D3DERR_INVALIDCALL);
                     },
                     {{15, 15, kBlack, 0}}});
    return rules;
}

// Untransformed vertices: row vectors times world, view and projection; positions with w or
// with blend weights; the texture coordinate set a stage reads.
std::vector<Rule> VertexRules() {
    constexpr D3DCOLOR red = 0xFFFF0000;
    auto plain = [](Scene& s) {
        s.Render(D3DRS_LIGHTING, 0);
        s.d->SetTexture(0, nullptr);
    };
    std::vector<Rule> rules;
    rules.push_back(
        {"TransformWorldThenView",
         kBoth,
         [=](Scene& s) {
             plain(s);
             D3DXMATRIX scale, move;
             D3DXMatrixScaling(&scale, 2, 2, 1);
             D3DXMatrixTranslation(&move, 30, 40, 0);
             // (0.25..5.25) scaled by 2, then moved: 30.5..40.5 across.
             s.PixelTransforms(scale, move);
             DrawWorld(s, WorldRect(0.75f, 0.75f, 5.75f, 5.75f, red, 0));
         },
         {{31, 41, red, 0}, {40, 50, red, 0}, {30, 41, kBlack, 0}, {41, 50, kBlack, 0}}});
    // Vertex formats whose extra parts change nothing here: (x, y, z, w) = (2x', 2y', z, 2)
    // lands at (x', y'); blend weights are skipped; normals light nothing without lights; a
    // point size is for points only. Each draws the rectangle over pixels 20..29.
    struct Format {
        const char* name;
        DWORD fvf;
        float scale;
        std::vector<float> rest;  // after x and y
        bool lit;
    };
    const Format formats[] = {
        {"PositionWithW", D3DFVF_XYZW | D3DFVF_DIFFUSE, 2, {0.5f, 2}, false},
        {"PositionWithBlendWeight", D3DFVF_XYZB1 | D3DFVF_DIFFUSE, 1, {0.5f, 7}, false},
        {"FormatWithNormal",
         D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE,
         1,
         {0.5f, 0, 0, -1},
         true},
        {"FormatWithPointSizeOnTriangles",
         D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE,
         1,
         {0.5f, 1, 9},
         false},
    };
    for (const Format& f : formats) {
        rules.push_back({f.name,
                         kBoth,
                         [=](Scene& s) {
                             plain(s);
                             s.PixelTransforms();
                             if (f.lit) {
                                 s.Render(D3DRS_LIGHTING, 1);
                                 s.Render(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR1);
                             }
                             EXPECT_EQ(FloatQuad(s, f.fvf, 20, 20, 30, 30, f.scale, f.rest, red),
                                       D3D_OK);
                         },
                         {{20, 20, red, 0}, {29, 29, red, 0}, {30, 29, kBlack, 0}}});
    }
    // One-float coordinates read v as 0; three-float ones use their first two.
    auto sized = [=](DWORD sizeBits, int floats) {
        return [=](Scene& s) {
            plain(s);
            s.Texture(2, 2, 1,
                      [](UINT, UINT x, UINT y) { return y ? kWhite : (x ? 0xFFFF0000u : kBlack); });
            s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            // x, y, z, rhw, then `floats` coordinates: u 0.75 and v (if any) 0.75.
            std::vector<float> v;
            const float corners[4][2] = {
                {19.5f, 19.5f}, {29.5f, 19.5f}, {19.5f, 29.5f}, {29.5f, 29.5f}};
            for (const auto& c : corners) {
                v.insert(v.end(), {c[0], c[1], 0.5f, 1});
                for (int i = 0; i < floats; ++i) v.push_back(i < 2 ? 0.75f : 0.25f);
            }
            const UINT stride = UINT(4 + floats) * 4;
            EXPECT_EQ(s.Draw(D3DPT_TRIANGLESTRIP, 2, v.data(), UINT(v.size() * 4),
                             D3DFVF_XYZRHW | D3DFVF_TEX1 | sizeBits, stride),
                      D3D_OK);
        };
    };
    rules.push_back(
        {"FormatOneFloatTexCoords", kBoth, sized(3u << 16, 1), {{25, 25, 0xFFFF0000, 0}}});
    rules.push_back(
        {"FormatThreeFloatTexCoords", kBoth, sized(1u << 16, 3), {{25, 25, kWhite, 0}}});
    // A 2 x 1 texture, black then white; set 0 runs left to right, set 1 right to left.
    auto sets = [](DWORD index) {
        return [=](Scene& s) {
            s.Render(D3DRS_LIGHTING, 0);
            s.PixelTransforms();
            s.Texture(2, 1, 1, [](UINT, UINT x, UINT) { return x ? kWhite : kBlack; });
            s.ColorOp(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
            s.Stage(D3DTSS_TEXCOORDINDEX, index);
            DrawWorld(s, WorldRect(10, 10, 20, 12, kWhite, 0));
        };
    };
    rules.push_back({"TexCoordIndex0", kBoth, sets(0), {{11, 10, kBlack, 0}, {18, 10, kWhite, 0}}});
    rules.push_back({"TexCoordIndex1", kBoth, sets(1), {{11, 10, kWhite, 0}, {18, 10, kBlack, 0}}});
    // A set the vertex lacks reads (0, 0): the first texel everywhere.
    rules.push_back(
        {"TexCoordIndexMissing", kBoth, sets(5), {{11, 10, kBlack, 0}, {18, 10, kBlack, 0}}});
    return rules;
}

// States that change nothing on this device: the standard scene comes out the same.
std::vector<Rule> NoEffectRules() {
    struct Row {
        const char* name;
        std::function<HRESULT(IDirect3DDevice9*)> set;
    };
    auto rs = [](D3DRENDERSTATETYPE state, DWORD value) {
        return [=](IDirect3DDevice9* d) { return d->SetRenderState(state, value); };
    };
    auto ts = [](DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
        return [=](IDirect3DDevice9* d) { return d->SetTextureStageState(stage, type, value); };
    };
    auto ss = [](DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
        return [=](IDirect3DDevice9* d) { return d->SetSamplerState(sampler, type, value); };
    };
    const D3DXMATRIX skew = [] {
        D3DXMATRIX m;
        D3DXMatrixScaling(&m, 3, 0.5f, 1);
        return m;
    }();
    const Row rows[] = {
        // No depth or stencil buffer.
        {"ZEnable", rs(D3DRS_ZENABLE, D3DZB_TRUE)},
        {"ZFuncNever", rs(D3DRS_ZFUNC, D3DCMP_NEVER)},
        {"ZWriteOff", rs(D3DRS_ZWRITEENABLE, 0)},
        {"StencilEnable", rs(D3DRS_STENCILENABLE, 1)},
        {"StencilFuncNever", rs(D3DRS_STENCILFUNC, D3DCMP_NEVER)},
        {"StencilFail", rs(D3DRS_STENCILFAIL, D3DSTENCILOP_DECR)},
        {"StencilRef", rs(D3DRS_STENCILREF, 5)},
        {"StencilZFail", rs(D3DRS_STENCILZFAIL, D3DSTENCILOP_DECR)},
        {"StencilPass", rs(D3DRS_STENCILPASS, D3DSTENCILOP_DECR)},
        {"StencilMask", rs(D3DRS_STENCILMASK, 0)},
        {"StencilWriteMask", rs(D3DRS_STENCILWRITEMASK, 0)},
        {"CcwStencilFail", rs(D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_DECR)},
        {"CcwStencilZFail", rs(D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_DECR)},
        {"CcwStencilPass", rs(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_DECR)},
        {"TwoSidedStencil", rs(D3DRS_TWOSIDEDSTENCILMODE, 1)},
        {"CcwStencilFuncNever", rs(D3DRS_CCW_STENCILFUNC, D3DCMP_NEVER)},
        {"DepthBias", rs(D3DRS_DEPTHBIAS, 0x3F800000)},
        {"SlopeScaleDepthBias", rs(D3DRS_SLOPESCALEDEPTHBIAS, 0x3F800000)},
        // Fog is off.
        {"FogColor", rs(D3DRS_FOGCOLOR, 0xFFFF0000)},
        {"FogTableMode", rs(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR)},
        {"FogVertexMode", rs(D3DRS_FOGVERTEXMODE, D3DFOG_EXP)},
        {"FogStart", rs(D3DRS_FOGSTART, 0x3F000000)},
        {"FogEnd", rs(D3DRS_FOGEND, 0x3F000000)},
        {"FogDensity", rs(D3DRS_FOGDENSITY, 0x3F000000)},
        {"RangeFog", rs(D3DRS_RANGEFOGENABLE, 1)},
        // 8 bits a channel, one sample, one render target, no lights, no patches.
        {"Dither", rs(D3DRS_DITHERENABLE, 1)},
        {"MultisampleOff", rs(D3DRS_MULTISAMPLEANTIALIAS, 0)},
        {"MultisampleMask", rs(D3DRS_MULTISAMPLEMASK, 0)},
        {"ColorWrite1", rs(D3DRS_COLORWRITEENABLE1, 0)},
        {"ColorWrite2", rs(D3DRS_COLORWRITEENABLE2, 0)},
        {"ColorWrite3", rs(D3DRS_COLORWRITEENABLE3, 0)},
        {"ClippingOff", rs(D3DRS_CLIPPING, 0)},
        {"ClipPlanes", rs(D3DRS_CLIPPLANEENABLE, 0x3F)},
        {"Scissor", rs(D3DRS_SCISSORTESTENABLE, 1)},
        {"LocalViewer", rs(D3DRS_LOCALVIEWER, 0)},
        {"NormalizeNormals", rs(D3DRS_NORMALIZENORMALS, 1)},
        {"PatchEdgeStyle", rs(D3DRS_PATCHEDGESTYLE, 1)},
        {"PositionDegree", rs(D3DRS_POSITIONDEGREE, D3DDEGREE_LINEAR)},
        {"NormalDegree", rs(D3DRS_NORMALDEGREE, D3DDEGREE_QUADRATIC)},
        {"MinTessellation", rs(D3DRS_MINTESSELLATIONLEVEL, 0x40000000)},
        {"MaxTessellation", rs(D3DRS_MAXTESSELLATIONLEVEL, 0x40000000)},
        {"AdaptiveTessX", rs(D3DRS_ADAPTIVETESS_X, 0x3F800000)},
        {"AdaptiveTessY", rs(D3DRS_ADAPTIVETESS_Y, 0x3F800000)},
        {"AdaptiveTessZ", rs(D3DRS_ADAPTIVETESS_Z, 0)},
        {"AdaptiveTessW", rs(D3DRS_ADAPTIVETESS_W, 0x3F800000)},
        {"AdaptiveTessellation", rs(D3DRS_ENABLEADAPTIVETESSELLATION, 1)},
        {"TweenFactor", rs(D3DRS_TWEENFACTOR, 0x3F000000)},
        {"IndexedVertexBlend", rs(D3DRS_INDEXEDVERTEXBLENDENABLE, 1)},
        {"PointScaleA", rs(D3DRS_POINTSCALE_A, 0x40000000)},
        {"PointScaleB", rs(D3DRS_POINTSCALE_B, 0x40000000)},
        {"PointScaleC", rs(D3DRS_POINTSCALE_C, 0x40000000)},
        // Points only: the scene is triangles.
        {"PointSizeOnTriangles", rs(D3DRS_POINTSIZE, 0x41000000)},
        {"PointSpriteOnTriangles", rs(D3DRS_POINTSPRITEENABLE, 1)},
        {"DebugMonitorToken", rs(D3DRS_DEBUGMONITORTOKEN, 1)},
        {"SpecularSource", rs(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL)},
        // Textures are sampled by stage 0 only; bump mapping is refused.
        {"BumpEnvMat", ts(0, D3DTSS_BUMPENVMAT00, 0x3F800000)},
        {"BumpEnvMat01", ts(0, D3DTEXTURESTAGESTATETYPE(D3DTSS_BUMPENVMAT00 + 1), 0x3F800000)},
        {"BumpEnvMat10", ts(0, D3DTEXTURESTAGESTATETYPE(D3DTSS_BUMPENVMAT00 + 2), 0x3F800000)},
        {"BumpEnvMat11", ts(0, D3DTSS_BUMPENVMAT11, 0x3F800000)},
        {"BumpEnvLScale", ts(0, D3DTSS_BUMPENVLSCALE, 0x3F800000)},
        {"BumpEnvLOffset", ts(0, D3DTSS_BUMPENVLOFFSET, 0x3F800000)},
        {"SecondStageArgument", ts(1, D3DTSS_COLORARG1, D3DTA_TFACTOR)},
        {"SecondStageAlphaOp", ts(1, D3DTSS_ALPHAOP, D3DTOP_ADD)},
        {"SecondStageResultTemp", ts(1, D3DTSS_RESULTARG, D3DTA_TEMP)},
        {"SecondStageTexCoords", ts(1, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_SPHEREMAP | 1)},
        {"SecondStageTransform", ts(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT1 + 1)},
        {"SecondSampler", ss(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR)},
        {"ElementIndex", ss(0, D3DSAMP_ELEMENTINDEX, 3)},
        {"DmapOffset", ss(0, D3DSAMP_DMAPOFFSET, 3)},
        {"AddressW", ss(0, D3DSAMP_ADDRESSW, D3DTADDRESS_BORDER)},
        {"SecondStageTexture",
         [](IDirect3DDevice9* d) {
             IDirect3DTexture9* t = nullptr;
             d->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr);
             const HRESULT hr = d->SetTexture(1, t);
             t->Release();
             return hr;
         }},
        // Texture transforms are off and vertex blending is refused.
        {"TextureTransform",
         [skew](IDirect3DDevice9* d) { return d->SetTransform(D3DTS_TEXTURE0, &skew); }},
        {"SecondWorldMatrix",
         [skew](IDirect3DDevice9* d) {
             return d->SetTransform(D3DTRANSFORMSTATETYPE(D3DTS_WORLD + 1), &skew);
         }},
    };
    // The standard scene: the texel modulated by the diffuse colour, alpha blended over grey.
    const D3DCOLOR grey = 0xFF404040;
    const D3DCOLOR expected = Channels([=](int c) {
        const float a = X(0) * D(0);
        return c ? X(c) * D(c) * a + Channel(grey, c) * (1 - a) : 0;
    });
    std::vector<Rule> rules;
    for (const Row& r : rows) {
        const auto set = r.set;
        rules.push_back({std::string("NoEffect") + r.name,
                         kBoth,
                         [=](Scene& s) {
                             EXPECT_EQ(set(s.d), D3D_OK);
                             s.d->Clear(0, nullptr, D3DCLEAR_TARGET, grey, 1.0f, 0);
                             s.Solid(kTexel);
                             s.ColorOp(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                             s.AlphaOp(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                             s.Render(D3DRS_ALPHABLENDENABLE, 1);
                             s.Render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
                             s.Render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
                             s.Rect(10, 10, 20, 20, kDiffuse);
                         },
                         {{15, 15, expected}, {9, 15, grey, 0}, {20, 15, grey, 0}}});
    }
    return rules;
}

std::vector<Rule> AllRules() {
    std::vector<Rule> all;
    for (auto table : {ColorOpRules, AlphaOpRules, ArgumentRules, MissingTextureRules, ShadeRules,
                       SamplerRules, BlendRules, AlphaTestRules, ColorWriteRules, RasterRules,
                       PointRules, LightingRules, VertexRules, NoEffectRules}) {
        for (Rule& r : table()) all.push_back(std::move(r));
    }
    return all;
}

const std::vector<Rule>& Rules() {
    static const std::vector<Rule> rules = AllRules();
    return rules;
}

struct Case {
    size_t rule;
    Base base;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (size_t i = 0; i < Rules().size(); ++i)
        for (Base b : {kDefaults, kEngine})
            if (Rules()[i].bases & b) cases.push_back({i, b});
    return cases;
}

// One device for the whole suite (a window and a device per rule would cost more than the
// rules), with a back buffer that keeps alpha so that the alpha a draw writes can be read back.
class SharedDevice : public ::testing::Environment {
public:
    static TestDevice& Get() {
        static TestDevice device;
        return device;
    }
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Get().Open(kWidth, kHeight));
        Get().pp.BackBufferFormat = D3DFMT_A8R8G8B8;
        ASSERT_EQ(Get().device->Reset(&Get().pp), D3D_OK);
    }
    void TearDown() override { Get().Close(); }
};
::testing::Environment* const kSharedDevice = ::testing::AddGlobalTestEnvironment(new SharedDevice);

// Each case starts from a reset device: every state at Direct3D's default.
template <class Param>
class OnSharedDevice : public ::testing::TestWithParam<Param> {
protected:
    void SetUp() override {
        ASSERT_NE(SharedDevice::Get().device, nullptr);
        device = SharedDevice::Get().device;
        ASSERT_EQ(device->Reset(&SharedDevice::Get().pp), D3D_OK);
    }
    IDirect3DDevice9* device = nullptr;
};

class Conformance : public OnSharedDevice<Case> {
protected:
    void SetUp() override {
        OnSharedDevice::SetUp();
        if (GetParam().base == kEngine) SetEngineStates(device, kWidth, kHeight);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    }
};

TEST_P(Conformance, DrawsWhatTheDocumentationImplies) {
    const Rule& rule = Rules()[GetParam().rule];
    {
        Scene scene(device);
        rule.draw(scene);
    }
    const auto f = SharedDevice::Get().Frame();
    for (const Probe& p : rule.expect) {
        const D3DCOLOR got = f[size_t(p.y) * kWidth + p.x];
        for (int c = 0; c < 4; ++c) {
            if (((p.mask >> (24 - 8 * c)) & 0xFF) == 0) continue;
            const int want = int((p.color >> (24 - 8 * c)) & 0xFF);
            const int have = int((got >> (24 - 8 * c)) & 0xFF);
            EXPECT_NEAR(have, want, p.tolerance)
                << "channel "
                << "ARGB"[c] << " at (" << p.x << ", " << p.y << ")";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, Conformance, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return Rules()[info.param.rule].name +
                                    (info.param.base == kDefaults ? "_Defaults" : "_Engine");
                         });

// ---- Refused states -------------------------------------------------------------------------

// A state value the device cannot draw as Direct3D does is refused with D3DERR_INVALIDCALL and
// the state keeps its value.
struct Refusal {
    const char* name;
    enum { kRender, kStage, kSampler } kind;
    DWORD stage, type, value;
};

const Refusal kRefusals[] = {
    {"BumpEnvMap", Refusal::kStage, 0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP},
    {"BumpEnvMapLuminance", Refusal::kStage, 0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAPLUMINANCE},
    {"ColorOnlyOpAsAlphaOp", Refusal::kStage, 0, D3DTSS_ALPHAOP, D3DTOP_MODULATEALPHA_ADDCOLOR},
    {"DotProductAsAlphaOp", Refusal::kStage, 0, D3DTSS_ALPHAOP, D3DTOP_DOTPRODUCT3},
    {"UnknownTextureOp", Refusal::kStage, 0, D3DTSS_COLOROP, 27},
    {"SecondStage", Refusal::kStage, 1, D3DTSS_COLOROP, D3DTOP_MODULATE},
    {"UnknownArgument", Refusal::kStage, 0, D3DTSS_COLORARG1, 7},
    {"ArgumentFlag", Refusal::kStage, 0, D3DTSS_COLORARG1, D3DTA_TEXTURE | 0x40},
    {"ResultToTemp", Refusal::kStage, 0, D3DTSS_RESULTARG, D3DTA_TEMP},
    {"GeneratedTexCoords", Refusal::kStage, 0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_SPHEREMAP},
    {"TexCoordSetNine", Refusal::kStage, 0, D3DTSS_TEXCOORDINDEX, 8},
    {"TextureTransform", Refusal::kStage, 0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT1 + 1},
    {"UnknownStageState", Refusal::kStage, 0, 13, 0},
    {"StageNine", Refusal::kStage, 8, D3DTSS_COLOROP, D3DTOP_DISABLE},
    {"ShadePhong", Refusal::kRender, 0, D3DRS_SHADEMODE, D3DSHADE_PHONG},
    {"FogOn", Refusal::kRender, 0, D3DRS_FOGENABLE, 1},
    {"SpecularOn", Refusal::kRender, 0, D3DRS_SPECULARENABLE, 1},
    {"Wrap0", Refusal::kRender, 0, D3DRS_WRAP0, 1},
    {"Wrap15", Refusal::kRender, 0, D3DRS_WRAP15, 3},
    {"VertexBlend", Refusal::kRender, 0, D3DRS_VERTEXBLEND, 1},
    {"PointScale", Refusal::kRender, 0, D3DRS_POINTSCALEENABLE, 1},
    {"AntialiasedLines", Refusal::kRender, 0, D3DRS_ANTIALIASEDLINEENABLE, 1},
    {"SrgbWrite", Refusal::kRender, 0, D3DRS_SRGBWRITEENABLE, 1},
    {"DestBlendBothSrcAlpha", Refusal::kRender, 0, D3DRS_DESTBLEND, D3DBLEND_BOTHSRCALPHA},
    {"BlendSrcColor2", Refusal::kRender, 0, D3DRS_SRCBLEND, D3DBLEND_SRCCOLOR2},
    {"UnknownBlendOp", Refusal::kRender, 0, D3DRS_BLENDOP, 6},
    {"UnknownCullMode", Refusal::kRender, 0, D3DRS_CULLMODE, 4},
    {"AlphaRefAbove255", Refusal::kRender, 0, D3DRS_ALPHAREF, 0x100},
    {"ColorWriteExtraBits", Refusal::kRender, 0, D3DRS_COLORWRITEENABLE, 0x1F},
    {"UnknownRenderState", Refusal::kRender, 0, 10, 0},
    {"RenderStatePastTheEnd", Refusal::kRender, 0, 210, 0},
    {"SrgbTexture", Refusal::kSampler, 0, D3DSAMP_SRGBTEXTURE, 1},
    {"PyramidalQuadFilter", Refusal::kSampler, 0, D3DSAMP_MINFILTER, D3DTEXF_PYRAMIDALQUAD},
    {"AnisotropicMipFilter", Refusal::kSampler, 0, D3DSAMP_MIPFILTER, D3DTEXF_ANISOTROPIC},
    {"UnknownAddressMode", Refusal::kSampler, 0, D3DSAMP_ADDRESSU, 6},
    {"UnknownSamplerState", Refusal::kSampler, 0, 14, 0},
};

class Refused : public OnSharedDevice<Refusal> {};

TEST_P(Refused, WithInvalidCallAndTheStateKeepsItsValue) {
    const Refusal& r = GetParam();
    DWORD before = 0xDEAD, after = 0xBEEF;
    HRESULT getBefore, set, getAfter;
    switch (r.kind) {
        case Refusal::kRender:
            getBefore = device->GetRenderState(D3DRENDERSTATETYPE(r.type), &before);
            set = device->SetRenderState(D3DRENDERSTATETYPE(r.type), r.value);
            getAfter = device->GetRenderState(D3DRENDERSTATETYPE(r.type), &after);
            break;
        case Refusal::kStage:
            getBefore =
                device->GetTextureStageState(r.stage, D3DTEXTURESTAGESTATETYPE(r.type), &before);
            set = device->SetTextureStageState(r.stage, D3DTEXTURESTAGESTATETYPE(r.type), r.value);
            getAfter =
                device->GetTextureStageState(r.stage, D3DTEXTURESTAGESTATETYPE(r.type), &after);
            break;
        default:
            getBefore = device->GetSamplerState(r.stage, D3DSAMPLERSTATETYPE(r.type), &before);
            set = device->SetSamplerState(r.stage, D3DSAMPLERSTATETYPE(r.type), r.value);
            getAfter = device->GetSamplerState(r.stage, D3DSAMPLERSTATETYPE(r.type), &after);
            break;
    }
    EXPECT_EQ(set, D3DERR_INVALIDCALL);
    EXPECT_EQ(getBefore, getAfter);
    if (SUCCEEDED(getBefore)) {
        EXPECT_EQ(before, after);
    }
}

INSTANTIATE_TEST_SUITE_P(States, Refused, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace hv::test
