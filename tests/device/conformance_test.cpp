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

    IDirect3DDevice9* d;

private:
    std::vector<IUnknown*> owned_;
};

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
// and the documented result per channel.
struct OpRow {
    const char* name;
    DWORD op;
    std::function<float(int)> result;
};

std::vector<Rule> ColorOpRules() {
    auto blend = [](float alpha) {
        return [alpha](int c) { return X(c) * alpha + D(c) * (1 - alpha); };
    };
    const OpRow rows[] = {
        {"Disable", D3DTOP_DISABLE, D},
        {"SelectArg1", D3DTOP_SELECTARG1, X},
        {"SelectArg2", D3DTOP_SELECTARG2, D},
        {"Modulate", D3DTOP_MODULATE, [](int c) { return X(c) * D(c); }},
        {"Modulate2x", D3DTOP_MODULATE2X, [](int c) { return 2 * X(c) * D(c); }},
        {"Modulate4x", D3DTOP_MODULATE4X, [](int c) { return 4 * X(c) * D(c); }},
        {"Add", D3DTOP_ADD, [](int c) { return X(c) + D(c); }},
        {"AddSigned", D3DTOP_ADDSIGNED, [](int c) { return X(c) + D(c) - 0.5f; }},
        {"AddSigned2x", D3DTOP_ADDSIGNED2X, [](int c) { return 2 * (X(c) + D(c) - 0.5f); }},
        {"Subtract", D3DTOP_SUBTRACT, [](int c) { return X(c) - D(c); }},
        {"AddSmooth", D3DTOP_ADDSMOOTH, [](int c) { return X(c) + D(c) * (1 - X(c)); }},
        {"BlendDiffuseAlpha", D3DTOP_BLENDDIFFUSEALPHA, blend(D(0))},
        {"BlendTextureAlpha", D3DTOP_BLENDTEXTUREALPHA, blend(X(0))},
        {"BlendFactorAlpha", D3DTOP_BLENDFACTORALPHA, blend(F(0))},
        {"BlendTextureAlphaPm", D3DTOP_BLENDTEXTUREALPHAPM,
         [](int c) { return X(c) + D(c) * (1 - X(0)); }},
        // At stage 0 the current alpha is the diffuse alpha.
        {"BlendCurrentAlpha", D3DTOP_BLENDCURRENTALPHA, blend(D(0))},
        // With no stage after it, the stage's output is its first argument.
        {"Premodulate", D3DTOP_PREMODULATE, X},
        {"ModulateAlphaAddColor", D3DTOP_MODULATEALPHA_ADDCOLOR,
         [](int c) { return X(c) + X(0) * D(c); }},
        {"ModulateColorAddAlpha", D3DTOP_MODULATECOLOR_ADDALPHA,
         [](int c) { return X(c) * D(c) + X(0); }},
        {"ModulateInvAlphaAddColor", D3DTOP_MODULATEINVALPHA_ADDCOLOR,
         [](int c) { return (1 - X(0)) * D(c) + X(c); }},
        {"ModulateInvColorAddAlpha", D3DTOP_MODULATEINVCOLOR_ADDALPHA,
         [](int c) { return (1 - X(c)) * D(c) + X(0); }},
        // Argument 0 is the third operand: arg0 + arg1 x arg2, arg0 x arg1 + (1 - arg0) x arg2.
        {"MultiplyAdd", D3DTOP_MULTIPLYADD, [](int c) { return F(c) + X(c) * D(c); }},
        {"Lerp", D3DTOP_LERP, [](int c) { return F(c) * X(c) + (1 - F(c)) * D(c); }},
    };
    std::vector<Rule> rules;
    for (const OpRow& row : rows) {
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
    auto blend = [](float alpha) {
        return [alpha](int) { return X(0) * alpha + D(0) * (1 - alpha); };
    };
    const OpRow rows[] = {
        {"SelectArg1", D3DTOP_SELECTARG1, X},
        {"SelectArg2", D3DTOP_SELECTARG2, D},
        {"Modulate", D3DTOP_MODULATE, [](int c) { return X(c) * D(c); }},
        {"Modulate2x", D3DTOP_MODULATE2X, [](int c) { return 2 * X(c) * D(c); }},
        {"Modulate4x", D3DTOP_MODULATE4X, [](int c) { return 4 * X(c) * D(c); }},
        {"Add", D3DTOP_ADD, [](int c) { return X(c) + D(c); }},
        {"AddSigned", D3DTOP_ADDSIGNED, [](int c) { return X(c) + D(c) - 0.5f; }},
        {"AddSigned2x", D3DTOP_ADDSIGNED2X, [](int c) { return 2 * (X(c) + D(c) - 0.5f); }},
        {"Subtract", D3DTOP_SUBTRACT, [](int c) { return X(c) - D(c); }},
        {"AddSmooth", D3DTOP_ADDSMOOTH, [](int c) { return X(c) + D(c) * (1 - X(c)); }},
        {"BlendDiffuseAlpha", D3DTOP_BLENDDIFFUSEALPHA, blend(D(0))},
        {"BlendTextureAlpha", D3DTOP_BLENDTEXTUREALPHA, blend(X(0))},
        {"BlendFactorAlpha", D3DTOP_BLENDFACTORALPHA, blend(F(0))},
        {"BlendTextureAlphaPm", D3DTOP_BLENDTEXTUREALPHAPM,
         [](int) { return X(0) + D(0) * (1 - X(0)); }},
        {"BlendCurrentAlpha", D3DTOP_BLENDCURRENTALPHA, blend(D(0))},
        {"Premodulate", D3DTOP_PREMODULATE, X},
        {"MultiplyAdd", D3DTOP_MULTIPLYADD, [](int c) { return F(c) + X(c) * D(c); }},
        {"Lerp", D3DTOP_LERP, [](int c) { return F(c) * X(c) + (1 - F(c)) * D(c); }},
    };
    std::vector<Rule> rules;
    for (const OpRow& row : rows) {
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
    auto flat = [](Scene& s) {
        s.d->SetTexture(0, nullptr);
        s.Render(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    };
    rules.push_back({"ShadeFlatList",
                     kBoth,
                     [=](Scene& s) {
                         flat(s);
                         s.Draw(D3DPT_TRIANGLELIST, 2,
                                {{10, 10, 0.5f, 1, g, 0, 0, 0},
                                 {40, 10, 0.5f, 1, r, 0, 0, 0},
                                 {10, 40, 0.5f, 1, b, 0, 0, 0},
                                 {60, 10, 0.5f, 1, b, 0, 0, 0},
                                 {90, 10, 0.5f, 1, g, 0, 0, 0},
                                 {60, 40, 0.5f, 1, r, 0, 0, 0}});
                     },
                     {{12, 12, g, 0}, {36, 12, g, 0}, {12, 36, g, 0}, {62, 12, b, 0}}});
    // The strip's triangles (0,1,2) and (1,2,3): the second is coloured by vertex 1.
    rules.push_back({"ShadeFlatStrip",
                     kBoth,
                     [=](Scene& s) {
                         flat(s);
                         s.Draw(D3DPT_TRIANGLESTRIP, 2,
                                {{10, 10, 0.5f, 1, r, 0, 0, 0},
                                 {40, 10, 0.5f, 1, g, 0, 0, 0},
                                 {10, 40, 0.5f, 1, b, 0, 0, 0},
                                 {40, 40, 0.5f, 1, y, 0, 0, 0}});
                     },
                     {{12, 12, r, 0}, {37, 37, g, 0}}});
    // The fan's triangles (0,1,2) and (0,2,3) are coloured by vertices 1 and 2.
    rules.push_back({"ShadeFlatFan",
                     kBoth,
                     [=](Scene& s) {
                         flat(s);
                         s.Draw(D3DPT_TRIANGLEFAN, 2,
                                {{10, 10, 0.5f, 1, r, 0, 0, 0},
                                 {40, 10, 0.5f, 1, g, 0, 0, 0},
                                 {40, 40, 0.5f, 1, b, 0, 0, 0},
                                 {10, 40, 0.5f, 1, y, 0, 0, 0}});
                     },
                     {{37, 12, g, 0}, {12, 37, b, 0}}});
    // A flat line is coloured by its first vertex, the last pixel too.
    rules.push_back({"ShadeFlatLine",
                     kBoth,
                     [=](Scene& s) {
                         flat(s);
                         s.Draw(D3DPT_LINELIST, 1,
                                {{10, 50, 0.5f, 1, r, 0, 0, 0}, {30, 50, 0.5f, 1, b, 0, 0, 0}});
                     },
                     {{10, 50, r, 0}, {29, 50, r, 0}, {30, 50, r, 0}}});
    // Gouraud: red to blue over 30 pixels; at pixel 15 the colour is halfway.
    rules.push_back({"ShadeGouraud",
                     kBoth,
                     [=](Scene& s) {
                         s.d->SetTexture(0, nullptr);
                         s.Render(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
                         s.Draw(D3DPT_TRIANGLESTRIP, 2,
                                {{0, 10, 0.5f, 1, r, 0, 0, 0},
                                 {30, 10, 0.5f, 1, b, 0, 0, 0},
                                 {0, 20, 0.5f, 1, r, 0, 0, 0},
                                 {30, 20, 0.5f, 1, b, 0, 0, 0}});
                     },
                     {{15, 15, D3DCOLOR_ARGB(255, 128, 0, 128)}}});
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
    // Drawn 1:1 (level of detail 0) without mipmapping the largest level is sampled: level 0
    // by default, the level D3DSAMP_MAXMIPLEVEL names otherwise.
    for (DWORD level : {0u, 1u, 2u}) {
        rules.push_back({"SamplerMaxMipLevel" + std::to_string(level),
                         kBoth,
                         [=](Scene& s) {
                             levels(s);
                             s.Sampler(D3DSAMP_MAXMIPLEVEL, level);
                             s.Rect(10, 10, 18, 18, kWhite);
                         },
                         {{13, 13, levelColor[level], 0}}});
    }
    // Minified 2:1 with point mip filtering: level 1; a bias of +1 moves to level 2; no mip
    // filter samples level 0.
    rules.push_back({"SamplerMipFilterPoint",
                     kBoth,
                     [=](Scene& s) {
                         levels(s);
                         s.Sampler(D3DSAMP_MIPFILTER, D3DTEXF_POINT);
                         s.Rect(10, 10, 14, 14, kWhite);
                     },
                     {{12, 12, levelColor[1], 0}}});
    rules.push_back({"SamplerMipMapLodBias",
                     kBoth,
                     [=](Scene& s) {
                         levels(s);
                         s.Sampler(D3DSAMP_MIPFILTER, D3DTEXF_POINT);
                         const float bias = 1.0f;
                         DWORD bits;
                         std::memcpy(&bits, &bias, 4);
                         s.Sampler(D3DSAMP_MIPMAPLODBIAS, bits);
                         s.Rect(10, 10, 14, 14, kWhite);
                     },
                     {{12, 12, levelColor[2], 0}}});
    rules.push_back({"SamplerMipFilterNone",
                     kBoth,
                     [=](Scene& s) {
                         levels(s);
                         s.Rect(10, 10, 14, 14, kWhite);
                     },
                     {{12, 12, levelColor[0], 0}}});
    // Linear mip filtering halfway between levels 0 and 1 (a bias of 0.5 at 1:1).
    rules.push_back({"SamplerMipFilterLinear",
                     kBoth,
                     [=](Scene& s) {
                         levels(s);
                         s.Sampler(D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
                         const float bias = 0.5f;
                         DWORD bits;
                         std::memcpy(&bits, &bias, 4);
                         s.Sampler(D3DSAMP_MIPMAPLODBIAS, bits);
                         s.Rect(10, 10, 18, 18, kWhite);
                     },
                     {{13, 13, D3DCOLOR_ARGB(255, 128, 128, 0), 2}}});

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

std::vector<Rule> AllRules() {
    std::vector<Rule> all;
    for (auto table : {ColorOpRules, AlphaOpRules, ArgumentRules, MissingTextureRules, ShadeRules,
                       SamplerRules}) {
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

class Conformance : public DeviceTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        // A back buffer with alpha, so that the alpha a draw writes can be read back; Reset
        // returns every state to Direct3D's default.
        pp.BackBufferFormat = D3DFMT_A8R8G8B8;
        ASSERT_EQ(device->Reset(&pp), D3D_OK);
        if (GetParam().base == kEngine) SetEngineStates();
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    }
};

TEST_P(Conformance, DrawsWhatTheDocumentationImplies) {
    const Rule& rule = Rules()[GetParam().rule];
    {
        Scene scene(device);
        rule.draw(scene);
    }
    const auto f = Frame();
    for (const Probe& p : rule.expect) {
        const D3DCOLOR got = At(f, p.x, p.y);
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

class Refused : public DeviceTest, public ::testing::WithParamInterface<Refusal> {};

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
