// TKavSurfaceEngine3D: the whole renderer of the host. It owns the Direct3D object and device,
// the texture files, the named surfaces (rectangles of textures), the caches of untextured lines,
// rectangles and triangles, and the text font. Everything is drawn in a two-dimensional pixel
// space of the game: origin at the top-left corner of the drawing area, y growing downward, one
// unit one pixel whatever the real back-buffer size is.
//
// The main form owns one engine and replaces it when the resolution changes. The frame loop
// clears, begins and ends the scene and presents; the engine only issues the drawing calls.
// Texture files are read by host paths relative to the current folder: "data\Textures\",
// "Splash\" and "Textures\" (case-insensitive lookup).
//
// Everything runs on the main thread; nothing is locked.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine3d/DisplayPlan.h"
#include "engine3d/NameIndex.h"
#include "engine3d/PictureDraw.h"
#include "engine3d/ShapeTable.h"
#include "engine3d/WindowSize.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/files.h"
#include "platform/handles.h"

namespace hv {

// A counted reference to a Direct3D object: copying adds a reference, destruction or Reset
// releases one.
template <class T>
class TComRef {
public:
    TComRef() = default;
    TComRef(const TComRef& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    TComRef(TComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    TComRef& operator=(TComRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~TComRef() { Reset(); }

    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // Releases the current object and gives the slot to a creation call's out parameter; the
    // reference the call returns is then owned here.
    T** Put() {
        Reset();
        return &p_;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// The engine's one vertex layout, 24 bytes: position in pixels (z always 1), the colour as
// blue, green, red, alpha bytes, and the texture coordinates.
struct TVertex {
    float X = 0, Y = 0, Z = 1;
    D3DCOLOR Color = 0;
    float U = 0, V = 0;
};
static_assert(sizeof(TVertex) == 24);

// D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1: every vertex buffer has it, bound with stride 24.
constexpr DWORD VertexFormat = 0x142;

// One named picture: a rectangle of a texture with its own four-vertex buffer.
struct TKavSurface {
    std::string Name;
    uint8_t Alpha = 255;                      // opacity written into the vertices
    uint8_t ColorBytes[3] = {255, 255, 255};  // low, middle, high byte of Color: red, green, blue
    std::string TextureName;                  // file name of the texture the picture lies in
    int32_t TextureIndex = -1;                // index of that texture in Textures
    RECT SourceRect{};                        // the picture in the texture, in texels
    int32_t Width = 0, Height = 0;            // picture size in pixels
    TComRef<IDirect3DVertexBuffer9> VB;       // four vertices, managed pool
    uint8_t ColorPower = 0;                   // flat-colour overlay strength; 0 = none
    uint32_t Color = 0xFFFFFF;                // red in the low byte, green middle, blue high
    bool VBReady = false;                     // the vertex buffer has been filled
    bool Rotated = false;                     // stored a quarter turn clockwise in its texture
    double ScaleX = 0, ScaleY = 0;            // group scale of the last draw
};

// The opacity of a texture's level-0 texels, for hit tests. Hit tests nearly always ask with
// the usual threshold, so that answer is kept for every texture from the moment it is made, at
// one bit a texel; the opacity itself (a byte a texel) is read only when a hit test asks with
// another threshold.
struct TOpacityMap {
    bool Read = false;      // Width, Height, Readable and Above are filled from the texture
    bool Readable = false;  // the texture's format carries an opacity the engine can read
    int32_t Width = 0, Height = 0;
    // Bit (x % 64) of word y * WordsPerRow + x / 64 is set when texel (x, y) has an opacity
    // above kHitThreshold.
    size_t WordsPerRow = 0;
    std::vector<uint64_t> Above;
    bool TexelsRead = false;      // Texels is filled
    std::vector<uint8_t> Texels;  // the opacity (0..255) of every texel, row by row
};

// One texture file: its optional memory copy and its Direct3D texture.
struct TTexture {
    std::string Name;                    // file name
    TComRef<IDirect3DTexture9> Texture;  // none while absent
    std::optional<std::string> Stream;   // the file's bytes, or none
    bool Loaded = false;                 // Texture exists
    int32_t Width = 1, Height = 1;       // level-0 size in texels; 1 x 1 while absent
    // A draw that found the texture absent tried to make it and failed: the stamp of the file it
    // read then. Draws do not try again until the file changes (a broken picture is not decoded
    // again every frame); loads the script asks for always try.
    std::optional<TFileStamp> FailedFile;
    int FailedDrawLoads = 0;  // draws that tried to make the texture and failed
    TOpacityMap Opacity;      // read from Texture when it is made; emptied when it is released
};

// What a hit test found near a point of a picture.
enum class TPictureHit {
    Clear,       // no texel near the point is opaque enough (or there is no such picture)
    Opaque,      // some texel near the point is
    Unreadable,  // the picture's texels cannot be read
};

// A cached line (two vertices) or axis-aligned filled rectangle (four vertices).
struct TLine {
    std::string Name;
    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    uint8_t Alpha = 0;
    uint32_t Color = 0;  // red in the low byte
    TComRef<IDirect3DVertexBuffer9> VB;
    bool Filled = false;
};

// The most lines (and rectangles) and the most triangles the engine keeps: a shape that moves
// every frame would otherwise add a buffer per frame for as long as the device lives. When the
// cache is full, the oldest shape gives its place (and its buffer) to the new one; a dropped
// shape is simply made again when it is drawn again.
constexpr size_t kMaxCachedShapes = 2048;

// A cached triangle (three vertices).
struct TTriangle {
    std::string Name;
    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, X3 = 0, Y3 = 0;
    uint8_t Alpha = 0;
    uint32_t Color = 0;
    TComRef<IDirect3DVertexBuffer9> VB;
    bool Filled = false;
};

struct TSurfaceSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The desktop's current size in pixels. The window layer's screen metrics by default; tests
// install their own query (an empty function restores the default).
TWindowSize DesktopSize();
void SetDesktopSizeQuery(std::function<TWindowSize()> query);
// The part of the desktop windows may cover, in screen coordinates: the window layer's work
// area by default, the whole desktop while a test's desktop query is installed, or a test's own
// query.
RECT DesktopWorkArea();
void SetDesktopWorkAreaQuery(std::function<RECT()> query);

// Exit code of the program when the device cannot be reset or created. Not 0: the game did not
// end in order, and whoever started it must be able to tell (the error is logged first).
constexpr int kDeviceFailureExitCode = 1;

class TKavSurfaceEngine3D {
public:
    // Create: configuration only; no Direct3D call is made. The window size follows from the
    // desktop's shape, or from the configured size when both parts are non-zero.
    TKavSurfaceEngine3D(int32_t width, int32_t height, bool fullScreen, int32_t configWidth,
                        int32_t configHeight);
    // Releases everything Destroy releases, and the font and the shape caches.
    ~TKavSurfaceEngine3D();
    TKavSurfaceEngine3D(const TKavSurfaceEngine3D&) = delete;
    TKavSurfaceEngine3D& operator=(const TKavSurfaceEngine3D&) = delete;

    // ---- Fields, in the order the host's code knows them ----
    bool UseRequestedSize = false;  // full screen: project RequestedWidth x RequestedHeight
    int32_t ConfigWidth = 0, ConfigHeight = 0;              // 0: none configured
    int32_t WindowWidth = 0, WindowHeight = 0;              // client size in windowed mode
    TSurfaceSize FullScreenSize;                            // 0 x 0 until the first InitD3D
    int32_t WindowedViewWidth = 0, WindowedViewHeight = 0;  // splash stretch size, windowed
    int32_t RequestedWidth = 0, RequestedHeight = 0;  // size asked for; splash size full screen
    std::vector<TTriangle> Triangles;
    std::vector<TLine> Lines;
    std::vector<TKavSurface> Surfaces;
    std::vector<TTexture> Textures;
    int32_t ViewWidth = 0, ViewHeight = 0;      // drawing area chosen by the last InitD3D
    int32_t CreateWidth = 0, CreateHeight = 0;  // as given to the constructor; kept for the owner
    TComRef<IDirect3D9> D3D;
    TComRef<IDirect3DDevice9> Device;
    D3DDISPLAYMODE DisplayMode{};
    std::vector<D3DDISPLAYMODE> DisplayModes;  // usable modes of adapter 0, desktop format
    D3DPRESENT_PARAMETERS PresentParams{};
    HWND WindowHandle = nullptr;
    bool FullScreen = false;
    TComRef<ID3DXFont> Font;
    int32_t FilterMode = 0;  // default filter: 0 none, 1 point, 2 linear, 3 anisotropic
    int32_t MaxAnisotropy = 1;
    bool PreLoadInMemory = true;  // keep texture files in memory
    uint32_t VidMem = 0;          // total local video memory in bytes, measured by InitD3D
    // Set by every InitD3D to a number no earlier InitD3D of any engine gave: a caller that kept
    // the device across a script call tells by it whether the device is still the same one.
    uint64_t DeviceSerial = 0;
    bool AllFilter = false;                         // linear filtering for every picture
    double ScaleToScreenX = 0, ScaleToScreenY = 0;  // drawing-area size / desktop size
    TScaling DisplayScaling = TScaling::KeepShape;  // the player's choice; set by the owner
    TDisplayPlan Plan;  // the display in force: made by InitD3D, applied by ApplyDisplayPlan

    // ---- Device set-up ----
    // Releases every surface's vertex buffer and every texture, empties both lists and
    // releases the device and the Direct3D object.
    void Destroy();
    // WindowWidth x WindowHeight from the desktop's shape and the configured size.
    void CalcWindowSize();
    // Makes a new Direct3D object and its list of modes, plans the display for a game that asks
    // for width x height in the engine's mode (windowed: the window size is the game's; then
    // windowedSizeUsed is true) and applies the plan. E_FAIL when there is no Direct3D object;
    // the size fields are those of the plan even then. A device that cannot be reset or created
    // ends the program.
    HRESULT InitD3D(HWND windowHandle, int32_t width, int32_t height, bool& windowedSizeUsed);
    HRESULT InitD3D(HWND windowHandle, int32_t width, int32_t height);
    // The plan for a game asking for width x height, full screen or in a window, on the current
    // desktop, with the modes of the last BuildDeviceList and the engine's DisplayScaling.
    TDisplayPlan PlanFor(int32_t width, int32_t height, bool fullScreen) const;
    // The one way sizes reach the engine and its device: every size field follows `plan` (the
    // filtering choice AllFilter stays the owner's); the device is reset when there is one and
    // made anew, with a back buffer of the game's size presented into a window (the frame goes
    // to the plan's rectangle of the client area), and the projection is set. E_FAIL without a
    // Direct3D object; the error of Reset or CreateDevice when those fail (the program goes
    // on: the caller decides).
    HRESULT ApplyDisplayPlan(HWND windowHandle, const TDisplayPlan& plan);
    // Applies `next`. When it cannot be shown, the error is logged with both displays, the plan
    // in force before is applied again and the failure returned; when that cannot be shown
    // either, the program ends as for a device that cannot be made.
    HRESULT SwitchDisplay(HWND windowHandle, const TDisplayPlan& next);
    // The frame's rectangle in the window's client area as it is now (the plan's client area
    // while the window cannot tell its own).
    TFrameLayout FrameLayout() const;
    // Fixed render states, identity world and view, and the projection that maps the game's
    // coordinate space onto the back buffer.
    void SetDeviceParams();
    // DisplayModes := the modes of adapter 0 in the desktop format, at least 640 x 400, each
    // size once, with refresh rate 0.
    void BuildDeviceList();

    // ---- Textures and surfaces ----
    // Index in Surfaces / Textures of the first exact (case-sensitive) match, or -1.
    int FindSurface(std::string_view name) const;
    int FindTexture(std::string_view name) const;
    // The surface's size; the outputs stay untouched for an unknown name.
    void GetSurfaceSize(std::string_view name, int32_t& width, int32_t& height) const;
    // Registers "Textures\" + fileName (its bytes when the file exists) without creating it.
    void AddTextureFile(const std::string& fileName);
    // Adds the surface `surfaceName` = `rect` of the texture file `textureFile` unless a
    // surface of that name exists. The file is looked for in "data\Textures\", then "Splash\"
    // (a splash surface covers its whole texture). loadNow creates the texture at once;
    // `format` 0 keeps the file's format, D3DFMT_A4R4G4B4 saves video memory; freeAfterLoad
    // drops the memory copy once the texture exists.
    void CreateSufaceFromTexture(const std::string& surfaceName, const std::string& textureFile,
                                 const RECT& rect, bool loadNow, bool rotate, D3DFORMAT format,
                                 bool freeAfterLoad);
    // Fills the surface's four vertices for the whole picture, or for `subRect` (left, top,
    // right, bottom in the picture's own pixels). False when the buffer could not be locked or
    // unlocked.
    bool SetVBForSurfaces(TKavSurface& surface, const RECT* subRect);
    // Removes the surface (the last surface takes its place); its texture is released when no
    // other surface uses it.
    void RemoveSurface(std::string_view name);
    // Releases every texture and empties Textures (the main form rebuilds the list).
    void ClearTextures();

    // ---- Hit tests ----
    // The opacity a texel must exceed to count as hit when the script names no threshold.
    static constexpr int32_t kHitThreshold = 102;
    // Whether some texel of the picture `name` in the square of `radius` texels around (x, y),
    // counted from the picture's top-left as shown on screen (a picture stored turned is turned
    // back), has an opacity (0..255) above `threshold`. Clear for an unknown picture, one whose
    // texture is absent, or a point farther than `radius` from it; Unreadable when the texture
    // cannot be read over the picture's rectangle.
    TPictureHit PictureHit(std::string_view name, int64_t x, int64_t y, int64_t radius,
                           int64_t threshold);

    // ---- Drawing (inside a scene the frame loop has begun) ----
    // Draws the surface `name` as `how` describes it. Unknown names and textures that cannot be
    // made are logged.
    void Draw(std::string_view name, const TPictureDraw& how);
    // The group transform `group` with its scale replaced by the one that stretches the texture
    // of the splash picture `name` over the splash area; `group` as it is for an unknown texture.
    TGroupTransform SplashStretch(std::string_view name, TGroupTransform group) const;
    // A one-pixel line from (x1, y1) to (x2, y2), or the filled rectangle with those corners.
    // Returns the result of the last device call.
    HRESULT DrawLineShape(uint8_t alpha, uint32_t color, double x1, double y1, double x2, double y2,
                          bool filled);
    // A filled triangle; unfilled, only the edge from the first point to the second.
    HRESULT DrawTriangleShape(uint8_t alpha, uint32_t color, bool filled, double x1, double y1,
                              double x2, double y2, double x3, double y3);
    // Cache look-ups (-1: none) and creations (the new index; -1 when no buffer could be made).
    int FindLine(uint8_t alpha, uint32_t color, double x1, double y1, double x2, double y2,
                 bool filled) const;
    int CreateLine(uint8_t alpha, uint32_t color, double x1, double y1, double x2, double y2,
                   bool filled);
    int FindTriangle(uint8_t alpha, uint32_t color, bool filled, double x1, double y1, double x2,
                     double y2, double x3, double y3) const;
    int CreateTriangle(uint8_t alpha, uint32_t color, bool filled, double x1, double y1, double x2,
                       double y2, double x3, double y3);
    // Text in the engine font, in back-buffer pixels from (x, y), unclipped; `color` is
    // 0xAARRGGBB. Nothing without a font.
    void OutText(std::string_view text, D3DCOLOR color, int32_t x, int32_t y);

private:
    // The drawing step of Draw for a surface whose texture exists.
    void DrawSurface(const TKavSurface& surface, const TPictureDraw& how);
    // Creates the texture of record `t` from its memory copy (format 0: the file's format).
    bool CreateTextureFromStream(TTexture& t, D3DFORMAT format);
    // What every texture made for record `t` sets: loaded, no failure, its size, and its
    // opacity read afresh.
    void TextureMade(TTexture& t);
    // Creates the texture of record `t` from a file.
    bool CreateTextureFromFile(TTexture& t, const std::string& hostPath);
    // The file a texture is made from: "data\Textures\" while texture files are kept in
    // memory, else "Textures\" (where the list of the "Textures" folder found it).
    std::string TextureFilePath(const TTexture& t) const;
    // The one way a texture is made, for draws and loads alike: from its memory copy (read from
    // its file first while files are kept in memory), or else, while they are not, from its
    // file. freeAfterLoad drops the memory copy once the texture exists (only while files are
    // kept in memory). False when it could not be made.
    bool MakeTexture(TTexture& t, D3DFORMAT format, bool freeAfterLoad);
    // True when a draw already failed to make the texture and its file has not changed since;
    // forgets the failure (and the stale memory copy) when it has.
    bool StillFailing(TTexture& t) const;
    // Fills t.Opacity from its texture, with the texels' opacity too when `texels`; false when
    // the texture cannot be locked.
    bool ReadOpacity(TTexture& t, bool texels);
    // The texture record of a surface, or null when its index does not name it.
    TTexture* TextureOf(TKavSurface& surface);
    void ReleaseDeviceObjects();

    TNameIndex<TKavSurface> surfaceIndex_;
    TNameIndex<TTexture> textureIndex_;
    TShapeTable<TLine, kMaxCachedShapes> lineTable_;
    TShapeTable<TTriangle, kMaxCachedShapes> triangleTable_;
    size_t nextLine_ = 0, nextTriangle_ = 0;  // the cache entries a full cache replaces next
};

}  // namespace hv
