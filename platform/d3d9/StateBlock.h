// The states a Direct3D 9 device keeps for its caller: render, texture-stage and sampler states,
// with Direct3D's values after creation and Reset, and the range checks the device interface
// answers with D3DERR_INVALIDCALL. Every device of this layer keeps its states here.
#pragma once

#include "platform/d3d9/d3d9.h"

namespace hv {

struct D3DStateBlock {
    DWORD Render[kRenderStateCount] = {};
    DWORD Stage[kTextureStageCount][kTextureStageStateCount] = {};
    DWORD Sampler[kTextureStageCount][kSamplerStateCount] = {};

    // Direct3D's defaults; `depthBuffer`: the device was made with an automatic depth buffer.
    void SetDefaults(bool depthBuffer);

    HRESULT SetRender(D3DRENDERSTATETYPE state, DWORD value);
    HRESULT GetRender(D3DRENDERSTATETYPE state, DWORD* value) const;
    HRESULT SetStage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
    HRESULT GetStage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const;
    HRESULT SetSampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
    HRESULT GetSampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) const;
};

}  // namespace hv
