// The font of the recording device: it keeps every DrawTextA call (text, rectangle, format and
// colour) on its device and draws nothing. Every character measures half the height wide, so
// that tests of layout know the extent of a text without a real face.
#pragma once

#include "platform/d3d9/Resources.h"
#include "platform/d3dx9/d3dx9.h"

namespace hv {

class RecordingDevice;

class RecordingFont final : public RefCounted<ID3DXFont> {
public:
    // `height` as D3DXCreateFontW was given it (negative: the em height; 0: 16 pixels).
    RecordingFont(RecordingDevice* device, INT height);

    INT DrawTextA(ID3DXSprite*, const char* text, INT count, RECT* rect, DWORD format,
                  D3DCOLOR color) override;
    HRESULT OnLostDevice() override { return D3D_OK; }
    HRESULT OnResetDevice() override { return D3D_OK; }

protected:
    ~RecordingFont() override;

private:
    RecordingDevice* device_;
    INT height_;
};

}  // namespace hv
