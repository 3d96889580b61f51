#include "tests/doubles/RecordingFont.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/text.h"
#include "tests/doubles/RecordingDevice.h"

namespace hv {

RecordingFont::RecordingFont(RecordingDevice* device, INT height)
    : device_(device),
      height_(height > 0   ? height
              : height < 0 ? -height
                           : 16) {
    device_->AddRef();
}

RecordingFont::~RecordingFont() {
    device_->Release();
}

INT RecordingFont::DrawTextA(ID3DXSprite*, const char* text, INT count, RECT* rect, DWORD format,
                             D3DCOLOR color) {
    if (!text || !rect) return 0;
    const size_t n = count < 0 ? std::strlen(text) : size_t(count);
    const std::string s(text, n);
    char c[16];
    std::snprintf(c, sizeof c, "0x%08X", color);
    RecordedCall& call = device_->Record(
        "ID3DXFont::DrawTextA",
        "ID3DXFont::DrawTextA(\"" + s + "\", " + std::to_string(rect->left) + ", " +
            std::to_string(rect->top) + ", " + std::to_string(rect->right) + ", " +
            std::to_string(rect->bottom) + ", " + std::to_string(format) + ", " + c + ")",
        {uint32_t(rect->left), uint32_t(rect->top), uint32_t(rect->right), uint32_t(rect->bottom),
         format, color},
        this);
    call.String = s;
    call.Rect = *rect;
    // Lines break at "\n" unless the text is a single line; "\r" takes no room.
    size_t lines = 1, longest = 0, length = 0;
    for (uint32_t ch : DecodeText(s)) {
        if (ch == '\r') continue;
        if (ch == '\n' && !(format & DT_SINGLELINE)) {
            ++lines;
            length = 0;
            continue;
        }
        longest = std::max(longest, ++length);
    }
    const INT height = INT(lines) * height_;
    if (format & DT_CALCRECT) {
        rect->right = rect->left + INT(longest) * (height_ / 2);
        rect->bottom = rect->top + height;
    }
    return height;
}

}  // namespace hv
