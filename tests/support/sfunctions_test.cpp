#include "support/SFunctions.h"

#include <gtest/gtest.h>

#include <limits>

using namespace hv;

namespace {

TPoints Parse(std::string_view text) {
    TPoints points{{99, 99}};  // replaced, never appended to
    ParsePoints(text, points);
    return points;
}

}  // namespace

TEST(SFunctionsTest, RectangleEdgesAndCornersAreInside) {
    const TRect r{10, 20, 30, 40};
    for (TPoint p : {TPoint{10, 20}, TPoint{30, 20}, TPoint{10, 40}, TPoint{30, 40}, TPoint{10, 30},
                     TPoint{30, 30}, TPoint{20, 20}, TPoint{20, 40}})
        EXPECT_TRUE(PointInRect(r, p)) << p.X << "," << p.Y;
    for (TPoint p : {TPoint{9, 30}, TPoint{31, 30}, TPoint{20, 19}, TPoint{20, 41}})
        EXPECT_FALSE(PointInRect(r, p)) << p.X << "," << p.Y;
    EXPECT_FALSE(PointInRect({5, 5, 4, 4}, {5, 5}));  // an inverted rectangle holds nothing
}

TEST(SFunctionsTest, PointListsReadGroupsAndIgnoreTheRest) {
    EXPECT_EQ(Parse("(1,2)(3,4)"), (TPoints{{1, 2}, {3, 4}}));
    EXPECT_EQ(Parse("(1,2) x (3,4)"), (TPoints{{1, 2}, {3, 4}}));
    EXPECT_EQ(Parse(""), TPoints{});
    EXPECT_EQ(Parse("1,2"), TPoints{});
    EXPECT_EQ(Parse("(1,2"), TPoints{});
    EXPECT_EQ(Parse("1,2)"), TPoints{});
    // Blanks, signs and hexadecimal forms read as integers; text that is no number reads as 0.
    EXPECT_EQ(Parse("( -7 , +8 )($10,0x20)(a,b)(5)(,6)"),
              (TPoints{{-7, 8}, {16, 32}, {0, 0}, {5, 0}, {0, 6}}));
    // A stray ")" before a group and an unclosed "(" after the last one add nothing.
    EXPECT_EQ(Parse(")junk)(5,6)(7,8"), (TPoints{{5, 6}}));
    EXPECT_EQ(Parse("((1,2))"), (TPoints{{0, 2}}));
    EXPECT_EQ(ParsePoint("12,34,56"), (TPoint{12, 34}));
}

TEST(SFunctionsTest, CentreRoundsHalvesToEven) {
    EXPECT_EQ(CenterOfPoints({}), (TPoint{0, 0}));
    EXPECT_EQ(CenterOfPoints({{0, 0}, {3, 0}}), (TPoint{2, 0}));
    EXPECT_EQ(CenterOfPoints({{0, 0}, {1, 0}}), (TPoint{0, 0}));
    EXPECT_EQ(CenterOfPoints({{0, 5}, {-3, 0}}), (TPoint{-2, 2}));
    EXPECT_EQ(CenterOfPoints({{-1, 0}, {0, 7}}), (TPoint{0, 4}));
    EXPECT_EQ(CenterOfPoints({{0, 0}, {1, 1}, {1, 1}}), (TPoint{1, 1}));
    constexpr int32_t big = std::numeric_limits<int32_t>::max();
    constexpr int32_t low = std::numeric_limits<int32_t>::min();
    EXPECT_EQ(CenterOfPoints({{big, low}, {big, low}, {big, low}}), (TPoint{big, low}));
}

TEST(SFunctionsTest, ListsAndTextForms) {
    TIntegers list;
    EXPECT_FALSE(IntegersContain(0, list));
    IntegersAdd(list, 5);
    IntegersAdd(list, -3);
    EXPECT_TRUE(IntegersContain(-3, list));
    EXPECT_FALSE(IntegersContain(3, list));
    EXPECT_EQ(TextToIntLenient("  -12abc"), -12);
    EXPECT_EQ(TextToIntLenient(std::string_view("\xff\0x", 3)), 0);
    EXPECT_EQ(BoolToText(true), "True");
    EXPECT_EQ(BoolToText(false), "False");
}
