#include "support/SFunctions.h"

#include <algorithm>

#include "platform/convert.h"

namespace hv {

bool PointInRect(const TRect& rect, const TPoint& point) {
    return rect.Left <= point.X && point.X <= rect.Right && rect.Top <= point.Y &&
           point.Y <= rect.Bottom;
}

bool IntegersContain(int32_t value, const TIntegers& integers) {
    return std::find(integers.begin(), integers.end(), value) != integers.end();
}

void IntegersAdd(TIntegers& integers, int32_t value) {
    integers.push_back(value);
}

TPoint ParsePoint(std::string_view text) {
    size_t comma = text.find(',');
    if (comma == std::string_view::npos) return {TextToIntLenient(text), 0};
    return {TextToIntLenient(text.substr(0, comma)), TextToIntLenient(text.substr(comma + 1))};
}

void ParsePoints(std::string_view text, TPoints& points) {
    points.clear();
    size_t from = 0;
    for (;;) {
        size_t open = text.find('(', from);
        if (open == std::string_view::npos) return;
        // The closing ")" is looked for after the "(": a stray ")" before it is text between
        // groups, and a "(" that is never closed is no group.
        size_t close = text.find(')', open + 1);
        if (close == std::string_view::npos) return;
        AddPoint(points, ParsePoint(text.substr(open + 1, close - open - 1)));
        from = close + 1;
    }
}

void AddPoint(TPoints& points, const TPoint& point) {
    points.push_back(point);
}

TPoint CenterOfPoints(const TPoints& points) {
    if (points.empty()) return {};
    // 64-bit sums: a long list of large coordinates must not wrap.
    int64_t sumX = 0;
    int64_t sumY = 0;
    for (const TPoint& p : points) {
        sumX += p.X;
        sumY += p.Y;
    }
    const double n = static_cast<double>(points.size());
    return {static_cast<int32_t>(RoundHalfEven(static_cast<double>(sumX) / n)),
            static_cast<int32_t>(RoundHalfEven(static_cast<double>(sumY) / n))};
}

int32_t TextToIntLenient(std::string_view text) {
    return StrToIntLenient(text);
}

std::string BoolToText(bool value) {
    return BoolToStr(value);
}

}  // namespace hv
