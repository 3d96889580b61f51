// The form's script functions that draw (pictures, lines, polygons, triangles, text) and that
// answer hit questions (point in rectangle, point on a picture's opaque texels), and the few
// small helpers of the game's dialogs and backgrounds.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "main/SettingsText.h"
#include "platform/convert.h"
#include "platform/files.h"
#include "platform/system.h"
#include "support/SFunctions.h"

namespace hv {

namespace {

// The low 8 bits of a script number rounded to the nearest integer (halves to even).
uint8_t RoundedByte(double value) {
    return uint8_t(uint64_t(RoundHalfEven(value)) & 0xFF);
}

// A script colour given as a number: rounded, then its low 32 bits.
uint32_t RoundedColor(double value) {
    return uint32_t(uint64_t(RoundHalfEven(value)) & 0xFFFFFFFF);
}

// A DrawPicture key as the script wrote it, without copying: the text of argument `index` (a
// number reads as its text), "" for anything else. Held by the Lua stack.
std::string_view ArgKey(lua_State* L, int index) {
    const char* text = lua_tostring(L, index);
    return text ? std::string_view(text) : std::string_view();
}

// True when `key` is `lowerName` in any letter case (ASCII letters only, as the keys are).
bool KeyIs(std::string_view key, std::string_view lowerName) {
    if (key.size() != lowerName.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        const char c = key[i] >= 'A' && key[i] <= 'Z' ? char(key[i] - 'A' + 'a') : key[i];
        if (c != lowerName[i]) return false;
    }
    return true;
}

int32_t ClampToInt32(int64_t value) {
    return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

// Integer arguments of the shape functions: colour and opacity as the script's integers.
uint32_t ArgColor(lua_State* L, int index) {
    return uint32_t(ArgInteger(L, index));
}
uint8_t ArgByte(lua_State* L, int index) {
    return uint8_t(uint64_t(ArgInteger(L, index)) & 0xFF);
}

}  // namespace

// ---- Pictures ----

int TMainForm::DrawPicture(lua_State* L) {
    if (FirstPictureTime == 0) {
        FirstPictureTime = ElapsedMs();
        LogEngine().AddHint("ShowTitleTime start");
    }

    std::string_view src;  // held by the Lua stack (or the catalogue) for the whole call
    TPictureDraw how;
    bool splash = false;

    const int n = lua_gettop(L);
    int k = 1;
    do {
        const std::string_view key = ArgKey(L, k);
        const int v = k + 1;
        k += 2;
        if (KeyIs(key, "src")) {
            src = ArgKey(L, v);
        } else if (KeyIs(key, "x")) {
            how.At.X = ArgNumber(L, v);
        } else if (KeyIs(key, "y")) {
            how.At.Y = ArgNumber(L, v);
        } else if (KeyIs(key, "alpha")) {
            how.Alpha = RoundedByte(ArgNumber(L, v));
        } else if (KeyIs(key, "color")) {
            how.Color = RoundedColor(ArgNumber(L, v));
        } else if (KeyIs(key, "colorpower")) {
            how.ColorPower = RoundedByte(ArgNumber(L, v));
        } else if (KeyIs(key, "outputmode")) {
            how.OutputMode = RoundedByte(ArgNumber(L, v));
        } else if (KeyIs(key, "angle")) {
            how.Angle = ArgNumber(L, v) * 180 / std::numbers::pi;
        } else if (KeyIs(key, "scalex")) {
            how.ScaleX = ArgNumber(L, v);
        } else if (KeyIs(key, "scaley")) {
            how.ScaleY = ArgNumber(L, v);
        } else if (KeyIs(key, "transx")) {
            how.PivotX = ArgNumber(L, v);
        } else if (KeyIs(key, "transy")) {
            how.PivotY = ArgNumber(L, v);
        } else if (KeyIs(key, "filter")) {
            how.Filter = ArgBoolean(L, v);
        } else if (KeyIs(key, "splash")) {
            splash = ArgBoolean(L, v);
        } else if (KeyIs(key, "rect")) {
            // Four values; the next key follows them.
            how.Part = RECT{ArgRounded(L, v), ArgRounded(L, v + 1), ArgRounded(L, v + 2),
                            ArgRounded(L, v + 3)};
            k += 3;
        }
        // "dest", "bump" and unknown keys are accepted and change nothing.
    } while (k <= n);

    if (how.Alpha == 0 || src.empty() || !KavSurfaceEngine3D) return 0;
    TKavSurfaceEngine3D& engine = *KavSurfaceEngine3D;

    // A catalogue alias draws the picture it stands for.
    const int entry = FindCatalogueEntry(src);
    if (entry >= 0) {
        const int link = PictureCatalogue[size_t(entry)].LinkIndex;
        if (link >= 0 && size_t(link) < PictureCatalogue.size())
            src = PictureCatalogue[size_t(link)].Name;  // the catalogue outlives the call
    }

    // A splash picture covers the whole screen whatever its texture's size.
    how.Group = splash ? engine.SplashStretch(src, GroupTransform) : GroupTransform;
    // The group's opacity scales the picture's; a product outside 0..255 is held at the nearer
    // end rather than wrapped, so a group alpha above 1 never makes a picture fainter.
    how.Alpha = uint8_t(std::clamp<int64_t>(RoundHalfEven(double(how.Alpha) * Alpha), 0, 255));
    engine.Draw(src, how);
    return 0;
}

int TMainForm::GetPictureSize(lua_State* L) {
    int32_t width = 0, height = 0;
    if (KavSurfaceEngine3D) KavSurfaceEngine3D->GetSurfaceSize(ArgString(L, 1), width, height);
    lua_pushinteger(L, width);
    lua_pushinteger(L, height);
    return 2;
}

int TMainForm::SetCurrentBack(lua_State* L) {
    if (lua_gettop(L) >= 1) CurrentBack = ArgString(L, 1);
    return 0;
}

int TMainForm::CopyAlphaChannel(lua_State*) {
    return 0;
}

int TMainForm::ConvertSurfaceToNormalMap(lua_State*) {
    return 0;
}

// ---- Shapes and text ----

int TMainForm::DrawLine(lua_State* L) {
    const TPosition from = GroupTransform.Apply({ArgNumber(L, 1), ArgNumber(L, 2)});
    const TPosition to = GroupTransform.Apply({ArgNumber(L, 3), ArgNumber(L, 4)});
    const uint32_t color = ArgOr(L, 5, ArgColor, 255);
    const uint8_t alpha = ArgOr(L, 6, ArgByte, 255);
    const bool filled = ArgOr(L, 7, ArgBoolean, false);
    if (!KavSurfaceEngine3D) return 0;
    KavSurfaceEngine3D->DrawLineShape(alpha, color, from.X, from.Y, to.X, to.Y, filled);
    return 0;
}

int TMainForm::DrawPoligon(lua_State* L) {
    TPoints points;
    ParsePoints(ArgString(L, 1), points);
    const uint32_t color = ArgOr(L, 2, ArgColor, 255);
    if (points.size() < 2 || !KavSurfaceEngine3D) return 0;
    TKavSurfaceEngine3D& engine = *KavSurfaceEngine3D;
    auto edge = [&](const TPoint& a, const TPoint& b) {
        const TPosition from = GroupTransform.Apply({double(a.X), double(a.Y)});
        const TPosition to = GroupTransform.Apply({double(b.X), double(b.Y)});
        engine.DrawLineShape(255, color, from.X, from.Y, to.X, to.Y, false);
    };
    for (size_t i = 0; i + 1 < points.size(); ++i) edge(points[i], points[i + 1]);
    // The closing edge runs from the first point to the last.
    edge(points.front(), points.back());
    return 0;
}

int TMainForm::DrawTriangle(lua_State* L) {
    TPosition c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = GroupTransform.Apply({ArgNumber(L, 2 * i + 1), ArgNumber(L, 2 * i + 2)});
    const uint32_t color = ArgOr(L, 7, ArgColor, 255);
    const uint8_t alpha = ArgOr(L, 8, ArgByte, 255);
    const bool filled = ArgOr(L, 9, ArgBoolean, false);
    if (!KavSurfaceEngine3D) return 0;
    KavSurfaceEngine3D->DrawTriangleShape(alpha, color, filled, c[0].X, c[0].Y, c[1].X, c[1].Y,
                                          c[2].X, c[2].Y);
    return 0;
}

int TMainForm::OutTextXY(lua_State* L) {
    const std::string_view text = ArgText(L, 1);
    const int32_t x = int32_t(ArgInteger(L, 2)), y = int32_t(ArgInteger(L, 3));
    if (KavSurfaceEngine3D) KavSurfaceEngine3D->OutText(text, 0xFFFFFFFF, x, y);
    return 0;
}

int TMainForm::GetMassCenter(lua_State* L) {
    TPoints points;
    ParsePoints(ArgString(L, 1), points);
    const TPoint centre = CenterOfPoints(points);
    lua_pushinteger(L, centre.X);
    lua_pushinteger(L, centre.Y);
    return 2;
}

// ---- Hit tests ----

int TMainForm::InsideRect(lua_State* L) {
    const int64_t px = ArgInteger(L, 1), py = ArgInteger(L, 2);
    const int64_t rx = ArgInteger(L, 3), ry = ArgInteger(L, 4);
    const int64_t rw = ArgInteger(L, 5), rh = ArgInteger(L, 6);
    // The far edges are summed wide; held to the 32-bit range they still compare the same
    // against any 32-bit point.
    const TRect r{int32_t(rx), int32_t(ry), ClampToInt32(rx + rw), ClampToInt32(ry + rh)};
    lua_pushboolean(L, PointInRect(r, TPoint{int32_t(px), int32_t(py)}));
    return 1;
}

int TMainForm::InsidePicture(lua_State* L) {
    const std::string_view name = ArgKey(L, 1);  // held by the Lua stack for the call
    const int64_t picX = ArgInteger(L, 2), picY = ArgInteger(L, 3);
    const int64_t ptX = ArgInteger(L, 4), ptY = ArgInteger(L, 5);
    const int64_t radius = ArgOr(L, 6, ArgRounded, 10);
    const int64_t threshold = ArgOr(L, 7, ArgRounded, TKavSurfaceEngine3D::kHitThreshold);
    lua_pushboolean(L, GetAlphaFromSurf(name, ptX - picX, ptY - picY, radius, threshold));
    return 1;
}

bool TMainForm::GetAlphaFromSurf(std::string_view name, int64_t x, int64_t y, int64_t radius,
                                 int64_t threshold) {
    if (!KavSurfaceEngine3D) return false;
    switch (KavSurfaceEngine3D->PictureHit(name, x, y, radius, threshold)) {
        case TPictureHit::Opaque:
            return true;
        case TPictureHit::Unreadable:
            LogEngine().AddError("TGame.GetAlphaFromSurf(" + std::string(name) + ", " +
                                 std::to_string(x) + ", " + std::to_string(y) + ")");
            return true;
        case TPictureHit::Clear:
            break;
    }
    return false;
}

// ---- Dialog folders ----

int TMainForm::GetDialogList(lua_State* L) {
    std::string list;
    for (const FindEntry& e : FindFiles(ExeDir() + "History\\*.*")) {
        if ((e.Attr & ~kAttrDirectory) != 0 || e.Name == "." || e.Name == "..") continue;
        list += e.Name + ";";
    }
    lua_pushlstring(L, list.data(), list.size());
    return 1;
}

}  // namespace hv
