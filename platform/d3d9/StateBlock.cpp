#include "platform/d3d9/StateBlock.h"

#include <algorithm>
#include <iterator>

namespace hv {

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
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = 1;
    rs[D3DRS_LIGHTING] = 1;
    rs[D3DRS_COLORVERTEX] = 1;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
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
        DWORD* ss = Sampler[s];
        std::fill(ss, ss + kSamplerStateCount, 0);
        ss[D3DSAMP_ADDRESSU] = ss[D3DSAMP_ADDRESSV] = ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
    }
}

HRESULT D3DStateBlock::SetRender(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= kRenderStateCount) return D3DERR_INVALIDCALL;
    Render[state] = value;
    return D3D_OK;
}

HRESULT D3DStateBlock::GetRender(D3DRENDERSTATETYPE state, DWORD* value) const {
    if (state >= kRenderStateCount || !value) return D3DERR_INVALIDCALL;
    *value = Render[state];
    return D3D_OK;
}

HRESULT D3DStateBlock::SetStage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kTextureStageCount || type >= kTextureStageStateCount) return D3DERR_INVALIDCALL;
    Stage[stage][type] = value;
    return D3D_OK;
}

HRESULT D3DStateBlock::GetStage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const {
    if (stage >= kTextureStageCount || type >= kTextureStageStateCount || !value)
        return D3DERR_INVALIDCALL;
    *value = Stage[stage][type];
    return D3D_OK;
}

HRESULT D3DStateBlock::SetSampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (sampler >= kTextureStageCount || type >= kSamplerStateCount) return D3DERR_INVALIDCALL;
    Sampler[sampler][type] = value;
    return D3D_OK;
}

HRESULT D3DStateBlock::GetSampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) const {
    if (sampler >= kTextureStageCount || type >= kSamplerStateCount || !value)
        return D3DERR_INVALIDCALL;
    *value = Sampler[sampler][type];
    return D3D_OK;
}

}  // namespace hv
