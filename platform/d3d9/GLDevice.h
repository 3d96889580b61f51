// Extras of the OpenGL device for tests, benchmarks and screenshots. No SDL or OpenGL here.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace hv {

// True when `device` is the OpenGL implementation.
bool IsGLDevice(IDirect3DDevice9* device);

// Copies the back buffer as 0xAARRGGBB values, rows top first. Draws still waiting in the
// device's batch are drawn first. D3DERR_INVALIDCALL for a device that is not the OpenGL one.
HRESULT ReadBackBuffer(IDirect3DDevice9* device, std::vector<D3DCOLOR>& pixels, UINT& width,
                       UINT& height);

// Merging of consecutive draws with identical state into one OpenGL draw call (on by default;
// the environment variable HV_D3D_NO_BATCHING=1 turns it off for a new device). With it off,
// every DrawPrimitive is one OpenGL draw call.
void SetBatching(IDirect3DDevice9* device, bool on);

// OpenGL draw calls the device has issued since it was created.
uint64_t GLDrawCallCount(IDirect3DDevice9* device);

}  // namespace hv
