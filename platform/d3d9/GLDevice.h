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

// Copies the window's pixels as the last Present left them, rows top first, in the drawable's
// pixels. Only where the window's buffer keeps its pixels after the swap (the off-screen video
// driver's window does; an X11 window's back buffer need not). D3DERR_INVALIDCALL for a device
// that is not the OpenGL one.
HRESULT ReadPresentedFrame(IDirect3DDevice9* device, std::vector<D3DCOLOR>& pixels, UINT& width,
                           UINT& height);

// Merging of consecutive draws with identical state into one OpenGL draw call (on by default;
// the environment variable HV_D3D_NO_BATCHING=1 turns it off for a new device). With it off,
// every DrawPrimitive is one OpenGL draw call.
void SetBatching(IDirect3DDevice9* device, bool on);

// Pixel centres: a new device asks the driver which way round its rule for centres lying on
// edges is Direct3D's top-left rule, and draws that way. The environment variable
// HV_D3D_OFFSET_SAMPLES=1 skips the question and samples a fraction of a pixel off the centre
// instead, as it does for drivers whose rule matches neither way (attributes are still taken
// at the centre).

// OpenGL draw calls the device has issued since it was created.
uint64_t GLDrawCallCount(IDirect3DDevice9* device);

// Whether the frame being drawn goes straight into the window's own back buffer: the back
// buffer has the window's size, a format without alpha and a swap effect other than
// D3DSWAPEFFECT_COPY, and the driver fills the window exactly like Direct3D. Otherwise the
// device draws into an off-screen buffer that Present copies into the window. The environment
// variable HV_D3D_WINDOW_TARGET=0 always draws off-screen (for a new device).
bool DrawsIntoWindow(IDirect3DDevice9* device);

}  // namespace hv
