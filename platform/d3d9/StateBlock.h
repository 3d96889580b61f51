// The states a Direct3D 9 device keeps for its caller: render, texture-stage and sampler states,
// with Direct3D's values after creation and Reset, and the checks the device interface answers
// with D3DERR_INVALIDCALL. Every device of this layer keeps its states here.
//
// A state is accepted only with a value the OpenGL device draws as Direct3D does: unknown state
// numbers, values outside a state's documented set, and values of features the device does not
// have (fog, vertex blending, texture wrapping, sRGB, antialiased lines, point scaling, texture
// transforms, generated texture coordinates, bump mapping, further texture stages) are refused
// and leave the state as it was. States that only matter to hardware the device never has (a
// depth or stencil buffer, multisampling, lights, patches, several render targets) accept their
// documented values and change nothing.
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

// Whether render state `state` is one of Direct3D's and takes `value`.
bool RenderStateAccepted(DWORD state, DWORD value);
// Whether texture-stage state `type` of `stage` takes `value`.
bool StageStateAccepted(DWORD stage, DWORD type, DWORD value);
// Whether sampler state `type` takes `value`.
bool SamplerStateAccepted(DWORD type, DWORD value);

// The float a render or sampler state holds in its DWORD.
float StateFloat(DWORD value);

}  // namespace hv
