// Small helpers of the drawing and script functions: integer lists, point lists read from text,
// the point-in-rectangle test, the centre of a point list, and text forms of booleans and
// integers. None of them raises an error on bad text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

using TIntegers = std::vector<int32_t>;

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

using TPoints = std::vector<TPoint>;

// All four edges belong to the rectangle.
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
};

// True when Left <= X <= Right and Top <= Y <= Bottom.
bool PointInRect(const TRect& rect, const TPoint& point);

// True when some element equals `value`.
bool IntegersContain(int32_t value, const TIntegers& integers);
// Appends `value` at the end.
void IntegersAdd(TIntegers& integers, int32_t value);

// Reads "x,y": X from the text before the first ",", Y from the text after it, each read as by
// TextToIntLenient. Without a "," the whole text is X and Y is 0.
TPoint ParsePoint(std::string_view text);
// Replaces `points` by the groups "(" x "," y ")" of `text`, in order. Text outside the groups
// is ignored; a "(" without a ")" after it ends the list.
void ParsePoints(std::string_view text, TPoints& points);
// Appends `point` at the end.
void AddPoint(TPoints& points, const TPoint& point);
// The mean of the points, each coordinate rounded to the nearest integer with halves to the even
// neighbour; (0, 0) for an empty list.
TPoint CenterOfPoints(const TPoints& points);

// The integer at the start of `text` (blanks, sign, decimal or "$"/"0x" hexadecimal), 0 when the
// text does not start with a number; never raises an error.
int32_t TextToIntLenient(std::string_view text);
// "True" or "False".
std::string BoolToText(bool value);

}  // namespace hv
