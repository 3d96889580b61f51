// Picture files on any bytes: decoding and conversion into a texture as the engine asks for it
// (full mip chain, power-of-two size, the default filter) and at the file's own size, on the
// recording device, which keeps every texel in memory.
#include "platform/d3dx9/d3dx9.h"
#include "tests/doubles/RecordingDevice.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace hv;
    static RecordingDevice* device = [] {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 64;
        return new RecordingDevice(pp);
    }();
    for (const D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}) {
        IDirect3DTexture9* texture = nullptr;
        D3DXIMAGE_INFO info{};
        if (SUCCEEDED(D3DXCreateTextureFromFileInMemoryEx(
                device, data, UINT(size), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, format,
                D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr, &texture))) {
            // The smallest level, which is made from the ones above it when first read.
            D3DLOCKED_RECT locked;
            const UINT last = texture->GetLevelCount() - 1;
            if (SUCCEEDED(texture->LockRect(last, &locked, nullptr, D3DLOCK_READONLY)))
                texture->UnlockRect(last);
            texture->Release();
        }
    }
    IDirect3DTexture9* texture = nullptr;
    if (SUCCEEDED(D3DXCreateTextureFromFileInMemoryEx(
            device, data, UINT(size), D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
            D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0xFF000000,
            nullptr, nullptr, &texture)))
        texture->Release();
    return 0;
}
