// The text font: glyphs from the face fontconfig chooses, rendered by SDL2_ttf into glyph pages
// (textures of the device) and drawn as screen-space quads through the device's text target. A
// device may instead make fonts of its own (the recording device of the tests does).
#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/d3d9/Resources.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/text.h"

namespace hv {

namespace {

std::string Narrow(const wchar_t* w) {
    std::string s;
    for (; w && *w; ++w) s += *w < 0x80 ? char(*w) : '?';
    return s;
}

// Glyphs rendered once into pages, drawn as textured quads. Drawing a text it has drawn before
// allocates nothing: its buffers keep their capacity from call to call.
class PageFont final : public RefCounted<ID3DXFont> {
public:
    PageFont(IDirect3DDevice9* device, IDirect3DTextTarget* target, TTF_Font* font, INT lineHeight)
        : device_(device), target_(target), font_(font), lineHeight_(lineHeight) {
        device_->AddRef();
    }

    INT DrawTextA(ID3DXSprite*, const char* text, INT count, RECT* rect, DWORD format,
                  D3DCOLOR color) override;
    HRESULT OnLostDevice() override { return D3D_OK; }
    HRESULT OnResetDevice() override { return D3D_OK; }

protected:
    ~PageFont() override {
        for (IDirect3DTexture9* page : pages_) page->Release();
        TTF_CloseFont(font_);
        TTF_Quit();
        device_->Release();
    }

private:
    struct Glyph {
        int Page = -1;  // -1: nothing to draw (a space)
        int X = 0, Y = 0, W = 0, H = 0;
        int OffsetX = 0;  // where the picture starts relative to the pen
        int Advance = 0;
    };
    // A line of the text: characters [Begin, End) of chars_, Width pixels of advances.
    struct Line {
        size_t Begin = 0, End = 0;
        int Width = 0;
    };
    static constexpr int kPageSize = 512;

    const Glyph& GlyphOf(uint32_t cp);
    void EndUpdate();
    // Fills chars_ and lines_ from the text: lines break at "\n" ("\r" is dropped); a single
    // line takes a "\n" as a space.
    void SplitLines(const char* text, size_t length, bool singleLine);
    // Adds the quad of glyph `g` with its pen at x, y to its page's corners, clipped to `clip`
    // when given and left out when nothing of it lies on the back buffer.
    void AddQuad(const Glyph& g, int x, int y, const RECT* clip, int screenW, int screenH);

    IDirect3DDevice9* device_;
    IDirect3DTextTarget* target_;
    TTF_Font* font_;
    INT lineHeight_;
    std::unordered_map<uint32_t, Glyph> glyphs_;
    std::vector<IDirect3DTexture9*> pages_;
    int shelfX_ = 0, shelfY_ = 0, shelfH_ = 0;
    int lockedPage_ = -1;
    D3DLOCKED_RECT locked_{};
    // Scratch of DrawTextA, kept between calls.
    std::vector<uint32_t> chars_;
    std::vector<Line> lines_;
    std::vector<std::vector<ScreenQuadCorner>> corners_;  // per page
};

const PageFont::Glyph& PageFont::GlyphOf(uint32_t cp) {
    auto it = glyphs_.find(cp);
    if (it != glyphs_.end()) return it->second;
    Glyph g;
    int minx = 0, maxx = 0, miny = 0, maxy = 0, advance = 0;
    if (TTF_GlyphMetrics32(font_, cp, &minx, &maxx, &miny, &maxy, &advance) == 0)
        g.Advance = advance;
    SDL_Surface* rendered =
        (maxx > minx && cp != ' ')
            ? TTF_RenderGlyph32_Blended(font_, cp, SDL_Color{255, 255, 255, 255})
            : nullptr;
    SDL_Surface* argb =
        rendered ? SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
    if (rendered) SDL_FreeSurface(rendered);
    if (argb && argb->w > 0 && argb->h > 0 && argb->w < kPageSize && argb->h < kPageSize) {
        // The rendered picture starts at the pen, or left of it for a glyph that reaches back.
        g.OffsetX = std::min(0, minx);
        g.W = argb->w;
        g.H = argb->h;
        if (shelfX_ + g.W + 1 > kPageSize) {
            shelfX_ = 0;
            shelfY_ += shelfH_ + 1;
            shelfH_ = 0;
        }
        if (pages_.empty() || shelfY_ + g.H + 1 > kPageSize) {
            EndUpdate();
            IDirect3DTexture9* page = nullptr;
            if (SUCCEEDED(device_->CreateTexture(kPageSize, kPageSize, 1, 0, D3DFMT_A8R8G8B8,
                                                 D3DPOOL_MANAGED, &page, nullptr)))
                pages_.push_back(page);
            shelfX_ = shelfY_ = shelfH_ = 0;
        }
        const int page = int(pages_.size()) - 1;
        if (page >= 0 && (lockedPage_ == page || (EndUpdate(), SUCCEEDED(pages_[page]->LockRect(
                                                                   0, &locked_, nullptr, 0))))) {
            lockedPage_ = page;
            SDL_LockSurface(argb);
            for (int y = 0; y < g.H; ++y)
                std::memcpy(static_cast<uint8_t*>(locked_.pBits) +
                                size_t(shelfY_ + y) * size_t(locked_.Pitch) + size_t(shelfX_) * 4,
                            static_cast<const uint8_t*>(argb->pixels) + size_t(y) * argb->pitch,
                            size_t(g.W) * 4);
            SDL_UnlockSurface(argb);
            g.Page = page;
            g.X = shelfX_;
            g.Y = shelfY_;
            shelfX_ += g.W + 1;
            shelfH_ = std::max(shelfH_, g.H);
        }
    }
    if (argb) SDL_FreeSurface(argb);
    return glyphs_.emplace(cp, g).first->second;
}

void PageFont::EndUpdate() {
    if (lockedPage_ >= 0) pages_[lockedPage_]->UnlockRect(0);
    lockedPage_ = -1;
}

void PageFont::SplitLines(const char* text, size_t length, bool singleLine) {
    DecodeTextInto(std::string_view(text, length), chars_);
    lines_.clear();
    lines_.push_back(Line{});
    size_t kept = 0;  // characters are compacted in place as "\r" and line breaks drop out
    for (uint32_t c : chars_) {
        if (c == '\r') continue;
        if (c == '\n' && !singleLine) {
            lines_.back().End = kept;
            lines_.push_back(Line{kept, kept, 0});
            continue;
        }
        chars_[kept++] = c == '\n' ? ' ' : c;
    }
    lines_.back().End = kept;
    chars_.resize(kept);
}

void PageFont::AddQuad(const Glyph& g, int x, int y, const RECT* clip, int screenW, int screenH) {
    // Pixels x0..x1-1, y0..y1-1 of the screen; texels alike in the page.
    int x0 = x + g.OffsetX, y0 = y, x1 = x0 + g.W, y1 = y0 + g.H;
    int tx = g.X, ty = g.Y;
    if (clip) {
        const int cx0 = std::max(x0, int(clip->left)), cy0 = std::max(y0, int(clip->top));
        const int cx1 = std::min(x1, int(clip->right)), cy1 = std::min(y1, int(clip->bottom));
        tx += cx0 - x0;
        ty += cy0 - y0;
        x0 = cx0, y0 = cy0, x1 = cx1, y1 = cy1;
    }
    // Glyphs wholly outside the back buffer change no pixel: a line far wider than the screen
    // (a megabyte of text) costs its advances, not millions of vertices.
    const bool onScreen = x1 > 0 && y1 > 0 && x0 < screenW && y0 < screenH;
    if (x1 <= x0 || y1 <= y0 || !onScreen) return;
    const float page = float(kPageSize);
    const float u0 = float(tx) / page, v0 = float(ty) / page;
    const float u1 = float(tx + x1 - x0) / page, v1 = float(ty + y1 - y0) / page;
    // Corners half a pixel out from the pixel centres: texels land 1:1.
    const float fx0 = float(x0) - 0.5f, fy0 = float(y0) - 0.5f;
    const float fx1 = float(x1) - 0.5f, fy1 = float(y1) - 0.5f;
    auto& corners = corners_[size_t(g.Page)];
    corners.push_back({fx0, fy0, u0, v0});
    corners.push_back({fx0, fy1, u0, v1});
    corners.push_back({fx1, fy0, u1, v0});
    corners.push_back({fx1, fy1, u1, v1});
}

INT PageFont::DrawTextA(ID3DXSprite*, const char* text, INT count, RECT* rect, DWORD format,
                        D3DCOLOR color) {
    if (!text || !rect) return 0;
    SplitLines(text, count < 0 ? std::strlen(text) : size_t(count), format & DT_SINGLELINE);
    int widest = 0;
    for (Line& line : lines_) {
        for (size_t i = line.Begin; i < line.End; ++i) line.Width += GlyphOf(chars_[i]).Advance;
        widest = std::max(widest, line.Width);
    }
    EndUpdate();
    const INT height = INT(lines_.size()) * lineHeight_;
    if (format & DT_CALCRECT) {
        rect->right = rect->left + widest;
        rect->bottom = rect->top + height;
        return height;
    }
    int y = rect->top;
    if (format & DT_BOTTOM)
        y = rect->bottom - height;
    else if (format & DT_VCENTER)
        y = rect->top + (rect->bottom - rect->top - height) / 2;
    const RECT* clip = (format & DT_NOCLIP) ? nullptr : rect;

    if (corners_.size() < pages_.size()) corners_.resize(pages_.size());
    for (auto& corners : corners_) corners.clear();
    UINT screenW = 0, screenH = 0;
    target_->GetBackBufferSize(screenW, screenH);
    for (const Line& line : lines_) {
        int x = rect->left;
        if (format & DT_RIGHT)
            x = rect->right - line.Width;
        else if (format & DT_CENTER)
            x = rect->left + (rect->right - rect->left - line.Width) / 2;
        for (size_t i = line.Begin; i < line.End; ++i) {
            const Glyph& g = GlyphOf(chars_[i]);
            if (g.Page >= 0) AddQuad(g, x, y, clip, int(screenW), int(screenH));
            x += g.Advance;
        }
        y += lineHeight_;
    }
    EndUpdate();
    for (size_t p = 0; p < pages_.size(); ++p) {
        const auto& corners = corners_[p];
        if (!corners.empty())
            target_->DrawScreenQuads(pages_[p], corners.data(), corners.size() / 4, color);
    }
    return height;
}

// The font configuration of the process, read once, on a thread of its own.
struct FontConfiguration {
    std::once_flag started;
    std::shared_future<bool> read;  // true when it was read
};

FontConfiguration& TheFontConfiguration() {
    static FontConfiguration c;
    return c;
}

// The file and face index fontconfig chooses for the family, weight and slant.
bool FindFace(const std::string& family, bool bold, bool italic, std::string& file, int& index) {
    PrepareFonts();
    if (!TheFontConfiguration().read.get()) return false;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(
        pattern, FC_FAMILY,
        reinterpret_cast<const FcChar8*>(family.empty() ? "sans-serif" : family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    bool found = false;
    if (match) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
            file = reinterpret_cast<const char*>(path);
            index = 0;
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            found = true;
        }
        FcPatternDestroy(match);
    }
    return found;
}

}  // namespace

void PrepareFonts() {
    FontConfiguration& c = TheFontConfiguration();
    std::call_once(c.started, [&c] {
        c.read = std::async(std::launch::async, [] { return FcInit() == FcTrue; }).share();
    });
}

HRESULT D3DXCreateFontW(IDirect3DDevice9* pDevice, INT Height, UINT, UINT Weight, UINT, BOOL Italic,
                        DWORD, DWORD, DWORD, DWORD, const wchar_t* pFaceName, ID3DXFont** ppFont) {
    if (!ppFont) return D3DERR_INVALIDCALL;
    *ppFont = nullptr;
    if (!pDevice) return D3DERR_INVALIDCALL;
    IDirect3DTextTarget* target = pDevice->TextTarget();
    if (!target) return D3DERR_INVALIDCALL;
    if (ID3DXFont* own = target->CreateOwnFont(Height, Weight)) {
        *ppFont = own;
        return D3D_OK;
    }
    std::string file;
    int index = 0;
    if (!FindFace(Narrow(pFaceName), Weight >= 600, Italic != 0, file, index))
        return D3DERR_NOTAVAILABLE;
    if (TTF_Init() != 0) return D3DERR_NOTAVAILABLE;
    // Height > 0 is the cell height (ascent plus descent): take the largest size whose cell
    // fits. Height < 0 is the em height.
    const int cell = Height > 0 ? Height : Height < 0 ? -Height : 16;
    TTF_Font* font = TTF_OpenFontIndex(file.c_str(), cell, index);
    if (!font) {
        TTF_Quit();
        return D3DERR_NOTAVAILABLE;
    }
    INT lineHeight = TTF_FontHeight(font);
    if (Height > 0) {
        int size = std::max(1, int(std::lround(double(cell) * cell / std::max(1, lineHeight))));
        TTF_SetFontSize(font, size);
        while (TTF_FontHeight(font) > cell && size > 1) TTF_SetFontSize(font, --size);
        while (TTF_SetFontSize(font, size + 1) == 0 && TTF_FontHeight(font) <= cell) ++size;
        TTF_SetFontSize(font, size);
        lineHeight = cell;
    }
    *ppFont = new PageFont(pDevice, target, font, lineHeight);
    return D3D_OK;
}

}  // namespace hv
