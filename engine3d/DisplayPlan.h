// The display plan: from the desktop, the size the game asked for, full screen or not, the
// configured window size, the display modes and the player's scaling choice, every size the
// host shows a game with. The game is always drawn into a back buffer of its own size (so that
// pictures and text land on the same game pixels whatever the screen), and that frame is shown
// in a rectangle of the window's client area: as large as fits with its shape kept, in whole
// steps, or stretched. Nothing here touches a window or a device; the surface engine applies
// a plan (TKavSurfaceEngine3D::ApplyDisplayPlan).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "engine3d/WindowSize.h"
#include "platform/d3d9/wintypes.h"

namespace hv {

// How the frame fills the client area when their sizes differ.
enum class TScaling {
    KeepShape,   // as large as fits with the game's shape kept; bars fill the rest
    WholeSteps,  // the largest whole-number scale that fits (sharp); smaller areas keep shape
    Stretch,     // the whole client area, shape or not
};

// "keep", "whole" or "stretch", in any letter case, blanks around allowed; none for other text.
std::optional<TScaling> ScalingFromText(std::string_view text);
const char* ScalingName(TScaling scaling);

// Where the frame lands in a client area of a given size.
struct TFrameLayout {
    TWindowSize Game;    // the frame: the back buffer's size
    TWindowSize Client;  // the client area, in the units window positions are given in
    RECT Dest{};         // the frame's rectangle in the client area; the rest is black bars
    double ScaleX = 1, ScaleY = 1;  // Dest's size over the frame's
};

// The frame of `game` pixels laid out in a client area of `client` by `scaling`, centred (the
// odd pixel of a bar goes right or below). An empty client area gives an empty rectangle.
TFrameLayout LayOutFrame(TWindowSize game, TWindowSize client, TScaling scaling);

struct TGamePoint {
    int32_t X = 0;
    int32_t Y = 0;
};

// The game pixel shown at client position (x, y): the frame pixel whose area holds the centre
// of the window pixel. Positions on the bars are held at the play area's nearest edge.
TGamePoint WindowToGame(const TFrameLayout& layout, int32_t x, int32_t y);

// The frame the host counts around a window's client area: 3-pixel borders and a 26-pixel
// caption, 6 wider and 32 taller.
constexpr TWindowSize kWindowFrame{6, 32};

// Largest side of a back buffer the host asks for.
constexpr int32_t kMaxGameSide = 16384;

struct TDisplayRequest {
    TWindowSize Desktop;    // the whole desktop
    RECT WorkArea{};        // the part of it windows may cover; empty: the whole desktop
    TWindowSize Requested;  // the size the game asked for
    bool FullScreen = false;
    TWindowSize Configured;          // window size from the command line; 0 x 0: none
    std::vector<TWindowSize> Modes;  // the display's modes
    TScaling Scaling = TScaling::KeepShape;
};

struct TDisplayPlan {
    bool FullScreen = false;
    TScaling Scaling = TScaling::KeepShape;
    // The game's coordinate space: the back buffer's size and the projection's, one unit one
    // back-buffer pixel. In a window it is the window size the host chooses for the desktop
    // (or the configured one); in full screen the size the game asked for.
    TWindowSize Game;
    // Asked for a size with a part outside 1 to kMaxGameSide: the desktop's size stood in.
    bool RequestedUnusable = false;
    TWindowSize Requested;   // the size asked for, or what stood in for it
    TWindowSize WindowSize;  // the game's size in a window, whichever mode is in force
    // What the script is told as the view size: the game's size in a window; in full screen
    // the size asked for when it is one of the display's modes, otherwise the desktop's.
    TWindowSize View;
    bool UseRequestedSize = false;  // full screen and the size asked for is no display mode
    TWindowSize WindowedView;       // the size splash pictures are stretched to in a window
    bool AllFilter = false;         // the size asked for is not the desktop's
    // The window's outer rectangle on the desktop: centred in the work area and never larger
    // than it (the frame kWindowFrame included) in a window, the whole desktop in full screen.
    RECT Window{};
    TFrameLayout Layout;  // the frame in the client area the window is planned with
};

TDisplayPlan PlanDisplay(const TDisplayRequest& request);

}  // namespace hv
