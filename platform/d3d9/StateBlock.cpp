#include "platform/d3d9/StateBlock.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace hv {

namespace {

DWORD FloatState(float f) {
    return std::bit_cast<DWORD>(f);
}

bool InRange(DWORD value, DWORD low, DWORD high) {
    return value >= low && value <= high;
}

bool IsBlend(DWORD value) {
    return InRange(value, D3DBLEND_ZERO, D3DBLEND_INVBLENDFACTOR);
}

// A texture argument: one source, optionally complemented or with its alpha replicated.
bool IsArgument(DWORD value) {
    return (value & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 &&
           (value & D3DTA_SELECTMASK) <= D3DTA_CONSTANT;
}

bool IsTextureOp(DWORD value) {
    return InRange(value, D3DTOP_DISABLE, D3DTOP_LERP);
}

}  // namespace

float StateFloat(DWORD value) {
    return std::bit_cast<float>(value);
}

bool RenderStateAccepted(DWORD state, DWORD value) {
    switch (state) {
        // Drawn as Direct3D draws them.
        case D3DRS_FILLMODE:
            return InRange(value, D3DFILL_POINT, D3DFILL_SOLID);
        case D3DRS_SHADEMODE:
            return InRange(value, D3DSHADE_FLAT, D3DSHADE_GOURAUD);
        case D3DRS_ALPHATESTENABLE:
        case D3DRS_LASTPIXEL:
        case D3DRS_ALPHABLENDENABLE:
        case D3DRS_LIGHTING:
        case D3DRS_COLORVERTEX:
        case D3DRS_POINTSPRITEENABLE:
        case D3DRS_SEPARATEALPHABLENDENABLE:
            return true;
        case D3DRS_SRCBLEND:
        case D3DRS_SRCBLENDALPHA:
            return IsBlend(value);
        case D3DRS_DESTBLEND:
        case D3DRS_DESTBLENDALPHA:
            // The two obsolete "both" factors exist only as source factors.
            return IsBlend(value) && value != D3DBLEND_BOTHSRCALPHA &&
                   value != D3DBLEND_BOTHINVSRCALPHA;
        case D3DRS_CULLMODE:
            return InRange(value, D3DCULL_NONE, D3DCULL_CCW);
        case D3DRS_ALPHAREF:
            return value <= 0xFF;
        case D3DRS_ALPHAFUNC:
            return InRange(value, D3DCMP_NEVER, D3DCMP_ALWAYS);
        case D3DRS_TEXTUREFACTOR:
        case D3DRS_AMBIENT:
        case D3DRS_BLENDFACTOR:
            return true;
        case D3DRS_DIFFUSEMATERIALSOURCE:
        case D3DRS_SPECULARMATERIALSOURCE:
        case D3DRS_AMBIENTMATERIALSOURCE:
        case D3DRS_EMISSIVEMATERIALSOURCE:
            return value <= D3DMCS_COLOR2;
        case D3DRS_POINTSIZE:
        case D3DRS_POINTSIZE_MIN:
        case D3DRS_POINTSIZE_MAX:
            return StateFloat(value) >= 0.0f;
        case D3DRS_COLORWRITEENABLE:
            return value <= 0xF;
        case D3DRS_BLENDOP:
        case D3DRS_BLENDOPALPHA:
            return InRange(value, D3DBLENDOP_ADD, D3DBLENDOP_MAX);
        // No depth or stencil buffer: nothing to test or write.
        case D3DRS_ZENABLE:
            return value <= D3DZB_USEW;
        case D3DRS_ZFUNC:
        case D3DRS_STENCILFUNC:
        case D3DRS_CCW_STENCILFUNC:
            return InRange(value, D3DCMP_NEVER, D3DCMP_ALWAYS);
        case D3DRS_STENCILFAIL:
        case D3DRS_STENCILZFAIL:
        case D3DRS_STENCILPASS:
        case D3DRS_CCW_STENCILFAIL:
        case D3DRS_CCW_STENCILZFAIL:
        case D3DRS_CCW_STENCILPASS:
            return InRange(value, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR);
        case D3DRS_ZWRITEENABLE:
        case D3DRS_STENCILENABLE:
        case D3DRS_STENCILREF:
        case D3DRS_STENCILMASK:
        case D3DRS_STENCILWRITEMASK:
        case D3DRS_TWOSIDEDSTENCILMODE:
        case D3DRS_DEPTHBIAS:
        case D3DRS_SLOPESCALEDEPTHBIAS:
            return true;
        // Fog cannot be switched on, so its parameters change nothing.
        case D3DRS_FOGENABLE:
            return value == 0;
        case D3DRS_FOGTABLEMODE:
        case D3DRS_FOGVERTEXMODE:
            return value <= D3DFOG_LINEAR;
        case D3DRS_FOGCOLOR:
        case D3DRS_FOGSTART:
        case D3DRS_FOGEND:
        case D3DRS_FOGDENSITY:
        case D3DRS_RANGEFOGENABLE:
            return true;
        // Without lights, normals and the viewer's place light nothing; without user clip
        // planes (all zero: every point lies on their inside) enabling them clips nothing; the
        // back buffer is 8 bits a channel, where dithering changes nothing; one sample per
        // pixel; one render target; the scissor rectangle is the whole back buffer; clipping is
        // always done.
        case D3DRS_LOCALVIEWER:
        case D3DRS_NORMALIZENORMALS:
        case D3DRS_CLIPPLANEENABLE:
        case D3DRS_DITHERENABLE:
        case D3DRS_MULTISAMPLEANTIALIAS:
        case D3DRS_MULTISAMPLEMASK:
        case D3DRS_SCISSORTESTENABLE:
        case D3DRS_CLIPPING:
            return true;
        case D3DRS_COLORWRITEENABLE1:
        case D3DRS_COLORWRITEENABLE2:
        case D3DRS_COLORWRITEENABLE3:
            return value <= 0xF;
        // Patches, tweening and indexed blending need calls or vertex declarations the device
        // does not offer; the debug monitor exists only in the debug runtime.
        case D3DRS_PATCHEDGESTYLE:
            return value <= 1;
        case D3DRS_POSITIONDEGREE:
        case D3DRS_NORMALDEGREE:
            return value == D3DDEGREE_LINEAR || value == D3DDEGREE_QUADRATIC ||
                   value == D3DDEGREE_CUBIC || value == D3DDEGREE_QUINTIC;
        case D3DRS_MINTESSELLATIONLEVEL:
        case D3DRS_MAXTESSELLATIONLEVEL:
        case D3DRS_ADAPTIVETESS_X:
        case D3DRS_ADAPTIVETESS_Y:
        case D3DRS_ADAPTIVETESS_Z:
        case D3DRS_ADAPTIVETESS_W:
        case D3DRS_ENABLEADAPTIVETESSELLATION:
        case D3DRS_TWEENFACTOR:
        case D3DRS_INDEXEDVERTEXBLENDENABLE:
        case D3DRS_POINTSCALE_A:
        case D3DRS_POINTSCALE_B:
        case D3DRS_POINTSCALE_C:
        case D3DRS_DEBUGMONITORTOKEN:
            return true;
        // Features the device does not have: only their "off" value.
        case D3DRS_SPECULARENABLE:
        case D3DRS_VERTEXBLEND:
        case D3DRS_POINTSCALEENABLE:
        case D3DRS_ANTIALIASEDLINEENABLE:
        case D3DRS_SRGBWRITEENABLE:
            return value == 0;
        default:
            if (InRange(state, D3DRS_WRAP0, D3DRS_WRAP7) ||
                InRange(state, D3DRS_WRAP8, D3DRS_WRAP15))
                return value == 0;
            return false;
    }
}

bool StageStateAccepted(DWORD stage, DWORD type, DWORD value) {
    if (stage >= kTextureStageCount) return false;
    const bool first = stage == 0;
    switch (type) {
        case D3DTSS_COLOROP:
            // Only stage 0 draws; bump mapping needs a second stage.
            if (!first) return value == D3DTOP_DISABLE;
            return IsTextureOp(value) && value != D3DTOP_BUMPENVMAP &&
                   value != D3DTOP_BUMPENVMAPLUMINANCE;
        case D3DTSS_ALPHAOP:
            // The four combined operations and bump mapping are colour operations only; the dot
            // product is refused as an alpha operation (as a colour operation it sets alpha too).
            return IsTextureOp(value) &&
                   !InRange(value, D3DTOP_MODULATEALPHA_ADDCOLOR, D3DTOP_BUMPENVMAPLUMINANCE) &&
                   value != D3DTOP_DOTPRODUCT3;
        case D3DTSS_COLORARG0:
        case D3DTSS_COLORARG1:
        case D3DTSS_COLORARG2:
        case D3DTSS_ALPHAARG0:
        case D3DTSS_ALPHAARG1:
        case D3DTSS_ALPHAARG2:
            return IsArgument(value);
        case D3DTSS_RESULTARG:
            // The last stage that draws must write to the current colour.
            return value == D3DTA_CURRENT || (!first && value == D3DTA_TEMP);
        case D3DTSS_TEXCOORDINDEX:
            // A coordinate set of the vertex; generated coordinates only on stages that do not
            // draw.
            return (value & 0xFFFF) < 8 &&
                   (first ? (value >> 16) == 0 : (value >> 16) <= (D3DTSS_TCI_SPHEREMAP >> 16));
        case D3DTSS_TEXTURETRANSFORMFLAGS:
            if (first) return value == D3DTTFF_DISABLE;
            return (value & ~DWORD(D3DTTFF_PROJECTED)) <= D3DTTFF_COUNT4;
        case D3DTSS_CONSTANT:
            return true;
        default:
            // The bump-mapping matrix and luminance change nothing without bump mapping.
            return InRange(type, D3DTSS_BUMPENVMAT00, D3DTSS_BUMPENVMAT11) ||
                   type == D3DTSS_BUMPENVLSCALE || type == D3DTSS_BUMPENVLOFFSET;
    }
}

bool SamplerStateAccepted(DWORD type, DWORD value) {
    switch (type) {
        case D3DSAMP_ADDRESSU:
        case D3DSAMP_ADDRESSV:
        case D3DSAMP_ADDRESSW:
            return InRange(value, D3DTADDRESS_WRAP, D3DTADDRESS_MIRRORONCE);
        case D3DSAMP_MAGFILTER:
        case D3DSAMP_MINFILTER:
            // D3DTEXF_NONE filters as D3DTEXF_POINT (the engine's unfiltered pictures).
            return value <= D3DTEXF_ANISOTROPIC;
        case D3DSAMP_MIPFILTER:
            return value <= D3DTEXF_LINEAR;
        case D3DSAMP_SRGBTEXTURE:
            return value == 0;
        case D3DSAMP_BORDERCOLOR:
        case D3DSAMP_MIPMAPLODBIAS:
        case D3DSAMP_MAXMIPLEVEL:
        case D3DSAMP_MAXANISOTROPY:
        // Only for multi-element textures and displacement maps, which the device does not
        // make.
        case D3DSAMP_ELEMENTINDEX:
        case D3DSAMP_DMAPOFFSET:
            return true;
        default:
            return false;
    }
}

void D3DStateBlock::SetDefaults(bool depthBuffer) {
    std::fill(std::begin(Render), std::end(Render), 0);
    DWORD* rs = Render;
    rs[D3DRS_ZENABLE] = depthBuffer ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = 1;
    rs[D3DRS_LASTPIXEL] = 1;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGEND] = FloatState(1.0f);
    rs[D3DRS_FOGDENSITY] = FloatState(1.0f);
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = 1;
    rs[D3DRS_LIGHTING] = 1;
    rs[D3DRS_COLORVERTEX] = 1;
    rs[D3DRS_LOCALVIEWER] = 1;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_POINTSIZE] = FloatState(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = FloatState(1.0f);
    rs[D3DRS_POINTSIZE_MAX] = FloatState(64.0f);
    rs[D3DRS_POINTSCALE_A] = FloatState(1.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = 1;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_POSITIONDEGREE] = D3DDEGREE_CUBIC;
    rs[D3DRS_NORMALDEGREE] = D3DDEGREE_LINEAR;
    rs[D3DRS_COLORWRITEENABLE] = rs[D3DRS_COLORWRITEENABLE1] = rs[D3DRS_COLORWRITEENABLE2] =
        rs[D3DRS_COLORWRITEENABLE3] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_MINTESSELLATIONLEVEL] = rs[D3DRS_MAXTESSELLATIONLEVEL] = FloatState(1.0f);
    rs[D3DRS_ADAPTIVETESS_Z] = FloatState(1.0f);
    rs[D3DRS_CCW_STENCILFAIL] = rs[D3DRS_CCW_STENCILZFAIL] = rs[D3DRS_CCW_STENCILPASS] =
        D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
    for (UINT s = 0; s < kTextureStageCount; ++s) {
        DWORD* ts = Stage[s];
        std::fill(ts, ts + kTextureStageStateCount, 0);
        ts[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = s;
        ts[D3DTSS_COLORARG0] = ts[D3DTSS_ALPHAARG0] = ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        ts[D3DTSS_CONSTANT] = 0xFFFFFFFF;
        DWORD* ss = Sampler[s];
        std::fill(ss, ss + kSamplerStateCount, 0);
        ss[D3DSAMP_ADDRESSU] = ss[D3DSAMP_ADDRESSV] = ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
    }
}

HRESULT D3DStateBlock::SetRender(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= kRenderStateCount || !RenderStateAccepted(state, value)) return D3DERR_INVALIDCALL;
    Render[state] = value;
    return D3D_OK;
}

HRESULT D3DStateBlock::GetRender(D3DRENDERSTATETYPE state, DWORD* value) const {
    if (state >= kRenderStateCount || !value || !RenderStateAccepted(state, Render[state]))
        return D3DERR_INVALIDCALL;
    *value = Render[state];
    return D3D_OK;
}

HRESULT D3DStateBlock::SetStage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (type >= kTextureStageStateCount || !StageStateAccepted(stage, type, value))
        return D3DERR_INVALIDCALL;
    Stage[stage][type] = value;
    return D3D_OK;
}

HRESULT D3DStateBlock::GetStage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const {
    if (stage >= kTextureStageCount || type >= kTextureStageStateCount || !value ||
        !StageStateAccepted(stage, type, Stage[stage][type]))
        return D3DERR_INVALIDCALL;
    *value = Stage[stage][type];
    return D3D_OK;
}

HRESULT D3DStateBlock::SetSampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (sampler >= kTextureStageCount || type >= kSamplerStateCount ||
        !SamplerStateAccepted(type, value))
        return D3DERR_INVALIDCALL;
    Sampler[sampler][type] = value;
    return D3D_OK;
}

HRESULT D3DStateBlock::GetSampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) const {
    if (sampler >= kTextureStageCount || type >= kSamplerStateCount || !value ||
        !SamplerStateAccepted(type, Sampler[sampler][type]))
        return D3DERR_INVALIDCALL;
    *value = Sampler[sampler][type];
    return D3D_OK;
}

}  // namespace hv
