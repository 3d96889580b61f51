// From Direct3D's texture-stage and lighting states to what the OpenGL device draws: stage 0 in
// the canonical form its fragment programs are keyed by, and the colours of lit vertices.
#include <algorithm>

#include "platform/d3d9/GLDeviceImpl.h"

namespace hv {

namespace {

// The arguments operation `op` reads: bit 0 argument 0, bit 1 argument 1, bit 2 argument 2.
unsigned ArgumentsRead(uint32_t op) {
    switch (op) {
        case D3DTOP_DISABLE:
            return 0;
        case D3DTOP_SELECTARG1:
        case D3DTOP_PREMODULATE:
            return 2;
        case D3DTOP_SELECTARG2:
            return 4;
        case D3DTOP_MULTIPLYADD:
        case D3DTOP_LERP:
            return 7;
        default:
            return 6;
    }
}

bool IsSource(uint32_t argument, DWORD source) {
    return (argument & D3DTA_SELECTMASK) == source;
}

// Whether operation `op` on `args` (arguments 0, 1, 2) reads `source`.
bool Reads(uint32_t op, const uint32_t (&args)[3], DWORD source) {
    const unsigned read = ArgumentsRead(op);
    for (int i = 0; i < 3; ++i)
        if ((read >> i) & 1 && IsSource(args[i], source)) return true;
    if (source == D3DTA_TEXTURE)
        return op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM;
    if (source == D3DTA_TFACTOR) return op == D3DTOP_BLENDFACTORALPHA;
    return false;
}

// Unread arguments become 0, so that set-ups that draw alike share a key.
void DropUnread(uint32_t op, uint32_t (&args)[3]) {
    const unsigned read = ArgumentsRead(op);
    for (int i = 0; i < 3; ++i)
        if (!((read >> i) & 1)) args[i] = 0;
}

float Channel(D3DCOLOR c, int shift) {
    return float((c >> shift) & 0xFF) / 255.0f;
}

// One material colour as lighting reads it: from the vertex when its source names a colour the
// vertex has and vertex colours are on, otherwise from the material, which is black.
D3DCOLOR MaterialColor(DWORD source, const LightingSetup& l, D3DCOLOR diffuse, D3DCOLOR specular) {
    if (!l.vertexColors) return 0;
    if (source == D3DMCS_COLOR1 && l.hasDiffuse) return diffuse;
    if (source == D3DMCS_COLOR2 && l.hasSpecular) return specular;
    return 0;
}

}  // namespace

void StageKey(const DWORD* ts, bool hasTexture, DrawKey& k) {
    uint32_t color[3] = {ts[D3DTSS_COLORARG0], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2]};
    uint32_t alpha[3] = {ts[D3DTSS_ALPHAARG0], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2]};
    uint32_t colorOp = ts[D3DTSS_COLOROP], alphaOp = ts[D3DTSS_ALPHAOP];
    // A disabled colour operation disables the stage, alpha included. A stage that reads its
    // texture while none is set is not processed. Either way the diffuse colour and alpha go
    // through. An alpha operation disabled under an enabled colour operation is undefined;
    // the diffuse (current) alpha goes through.
    const bool skipped =
        colorOp == D3DTOP_DISABLE || (!hasTexture && (Reads(colorOp, color, D3DTA_TEXTURE) ||
                                                      Reads(alphaOp, alpha, D3DTA_TEXTURE)));
    if (skipped) {
        colorOp = alphaOp = D3DTOP_SELECTARG1;
        color[1] = alpha[1] = D3DTA_DIFFUSE;
    } else if (alphaOp == D3DTOP_DISABLE || colorOp == D3DTOP_DOTPRODUCT3) {
        // The dot product writes alpha itself.
        alphaOp = D3DTOP_SELECTARG1;
        alpha[1] = D3DTA_DIFFUSE;
    }
    DropUnread(colorOp, color);
    DropUnread(alphaOp, alpha);
    k.colorOp = colorOp;
    k.colorArg0 = color[0];
    k.colorArg1 = color[1];
    k.colorArg2 = color[2];
    k.alphaOp = alphaOp;
    k.alphaArg0 = alpha[0];
    k.alphaArg1 = alpha[1];
    k.alphaArg2 = alpha[2];
}

bool StageReads(const DrawKey& k, DWORD source) {
    const uint32_t color[3] = {k.colorArg0, k.colorArg1, k.colorArg2};
    const uint32_t alpha[3] = {k.alphaArg0, k.alphaArg1, k.alphaArg2};
    return Reads(k.colorOp, color, source) || Reads(k.alphaOp, alpha, source);
}

LightingSetup LightingFor(const DWORD* rs, const FvfLayout& layout) {
    LightingSetup l;
    l.on = rs[D3DRS_LIGHTING] != 0 && !layout.Transformed;
    l.vertexColors = rs[D3DRS_COLORVERTEX] != 0;
    l.hasDiffuse = layout.Diffuse >= 0;
    l.hasSpecular = layout.Specular >= 0;
    l.ambientLight = rs[D3DRS_AMBIENT];
    l.diffuseSource = rs[D3DRS_DIFFUSEMATERIALSOURCE];
    l.ambientSource = rs[D3DRS_AMBIENTMATERIALSOURCE];
    l.emissiveSource = rs[D3DRS_EMISSIVEMATERIALSOURCE];
    return l;
}

D3DCOLOR LitDiffuse(const LightingSetup& l, D3DCOLOR diffuse, D3DCOLOR specular) {
    const D3DCOLOR ambient = MaterialColor(l.ambientSource, l, diffuse, specular);
    const D3DCOLOR emissive = MaterialColor(l.emissiveSource, l, diffuse, specular);
    const D3DCOLOR material = MaterialColor(l.diffuseSource, l, diffuse, specular);
    D3DCOLOR out = material & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const float c =
            Channel(l.ambientLight, shift) * Channel(ambient, shift) + Channel(emissive, shift);
        out |= D3DCOLOR(std::clamp(c, 0.0f, 1.0f) * 255.0f + 0.5f) << shift;
    }
    return out;
}

}  // namespace hv
