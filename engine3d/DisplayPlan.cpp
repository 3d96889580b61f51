#include "engine3d/DisplayPlan.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace hv {

namespace {

bool Positive(TWindowSize s) {
    return s.Width > 0 && s.Height > 0;
}

bool Usable(TWindowSize s) {
    return Positive(s) && s.Width <= kMaxGameSide && s.Height <= kMaxGameSide;
}

bool Same(TWindowSize a, TWindowSize b) {
    return a.Width == b.Width && a.Height == b.Height;
}

// Floor of n / d for d > 0, also for negative n.
int64_t FloorDiv(int64_t n, int64_t d) {
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}

// The largest size of `game`'s shape within `area`, each part rounded to the nearest pixel and
// at least 1.
TWindowSize FitKeepingShape(TWindowSize game, TWindowSize area) {
    const int64_t gw = game.Width, gh = game.Height, aw = area.Width, ah = area.Height;
    int64_t w, h;
    if (aw * gh <= ah * gw) {  // the width limits
        w = aw;
        h = std::min(ah, (2 * gh * aw + gw) / (2 * gw));
    } else {
        h = ah;
        w = std::min(aw, (2 * gw * ah + gh) / (2 * gh));
    }
    return {int32_t(std::max<int64_t>(w, 1)), int32_t(std::max<int64_t>(h, 1))};
}

// The game pixel on one axis: the frame pixel holding the centre of window pixel `pos`.
int32_t AxisToGame(int32_t pos, int32_t destStart, int32_t destExtent, int32_t game) {
    if (destExtent <= 0 || game <= 0) return 0;
    const int64_t g =
        FloorDiv((2 * (int64_t(pos) - destStart) + 1) * game, 2 * int64_t(destExtent));
    return int32_t(std::clamp<int64_t>(g, 0, game - 1));
}

}  // namespace

std::optional<TScaling> ScalingFromText(std::string_view text) {
    std::string t;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            t += char(std::tolower(static_cast<unsigned char>(c)));
    if (t == "keep") return TScaling::KeepShape;
    if (t == "whole") return TScaling::WholeSteps;
    if (t == "stretch") return TScaling::Stretch;
    return std::nullopt;
}

const char* ScalingName(TScaling scaling) {
    switch (scaling) {
        case TScaling::WholeSteps:
            return "whole";
        case TScaling::Stretch:
            return "stretch";
        default:
            return "keep";
    }
}

TFrameLayout LayOutFrame(TWindowSize game, TWindowSize client, TScaling scaling) {
    TFrameLayout layout;
    layout.Game = game;
    layout.Client = client;
    if (!Positive(game) || !Positive(client)) {
        layout.ScaleX = layout.ScaleY = 0;
        return layout;
    }
    TWindowSize dest = client;
    if (scaling != TScaling::Stretch) {
        const int32_t steps = std::min(client.Width / game.Width, client.Height / game.Height);
        if (scaling == TScaling::WholeSteps && steps >= 1)
            dest = {game.Width * steps, game.Height * steps};
        else
            dest = FitKeepingShape(game, client);
    }
    const int32_t left = (client.Width - dest.Width) / 2;
    const int32_t top = (client.Height - dest.Height) / 2;
    layout.Dest = RECT{left, top, left + dest.Width, top + dest.Height};
    layout.ScaleX = double(dest.Width) / game.Width;
    layout.ScaleY = double(dest.Height) / game.Height;
    return layout;
}

TGamePoint WindowToGame(const TFrameLayout& layout, int32_t x, int32_t y) {
    const RECT& d = layout.Dest;
    return {AxisToGame(x, d.left, d.right - d.left, layout.Game.Width),
            AxisToGame(y, d.top, d.bottom - d.top, layout.Game.Height)};
}

TDisplayPlan PlanDisplay(const TDisplayRequest& r) {
    TDisplayPlan plan;
    plan.FullScreen = r.FullScreen;
    plan.Scaling = r.Scaling;
    const TWindowSize desktop = Positive(r.Desktop) ? r.Desktop : TWindowSize{1024, 768};

    plan.Requested = r.Requested;
    if (!Usable(r.Requested)) {
        plan.RequestedUnusable = true;
        plan.Requested = Usable(desktop) ? desktop : TWindowSize{1024, 768};
    }
    plan.WindowSize =
        CalcWindowSize(desktop.Width, desktop.Height, r.Configured.Width, r.Configured.Height);
    plan.AllFilter = !Same(plan.Requested, r.Desktop);

    const bool isMode = std::any_of(r.Modes.begin(), r.Modes.end(),
                                    [&](TWindowSize m) { return Same(m, plan.Requested); });
    TWindowSize client;
    if (r.FullScreen) {
        plan.Game = plan.Requested;
        plan.UseRequestedSize = !isMode;
        plan.View = isMode ? plan.Requested : desktop;
        plan.WindowedView = isMode ? plan.WindowSize : plan.Requested;
        plan.Window = RECT{0, 0, desktop.Width, desktop.Height};
        client = desktop;
    } else {
        plan.Game = plan.WindowSize;
        plan.View = plan.WindowSize;
        plan.WindowedView = plan.WindowSize;

        RECT work = r.WorkArea;
        if (work.right <= work.left || work.bottom <= work.top)
            work = RECT{0, 0, desktop.Width, desktop.Height};
        const int32_t workW = work.right - work.left, workH = work.bottom - work.top;
        const TWindowSize room{std::max(1, workW - kWindowFrame.Width),
                               std::max(1, workH - kWindowFrame.Height)};
        client = plan.Game;
        if (client.Width > room.Width || client.Height > room.Height)
            client = FitKeepingShape(plan.Game, room);
        const int32_t outerW = client.Width + kWindowFrame.Width;
        const int32_t outerH = client.Height + kWindowFrame.Height;
        // Centred as the host always centred its window, by the client size; then moved back
        // inside the work area where the frame would leave it.
        int32_t left = work.left + (workW - client.Width) / 2;
        int32_t top = work.top + (workH - client.Height) / 2;
        left = std::max<int32_t>(work.left, std::min<int32_t>(left, work.right - outerW));
        top = std::max<int32_t>(work.top, std::min<int32_t>(top, work.bottom - outerH));
        plan.Window = RECT{left, top, left + outerW, top + outerH};
    }
    plan.Layout = LayOutFrame(plan.Game, client, r.Scaling);
    return plan;
}

}  // namespace hv
