#include "platform/convert.h"

#include <gtest/gtest.h>

#include <clocale>

#include "platform/exceptions.h"

using namespace hv;

TEST(StrToInt, AcceptsDecimalHexAndSigns) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("  -17"), -17);
    EXPECT_EQ(StrToInt("+5"), 5);
    EXPECT_EQ(StrToInt("$ff"), 255);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("-$10"), -16);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt("2147483647"), INT32_MAX);
}

TEST(StrToInt, RejectsWithTheHostMessage) {
    for (const char* bad : {"", " ", "12a", "1 2", "2147483648", "abc", "-", "$", "100,20", "0x"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
            EXPECT_STREQ(e.ClassName(), "EConvertError");
        }
    }
    int32_t v = 7;
    EXPECT_FALSE(TryStrToInt("x", v));
    EXPECT_EQ(v, 7);
}

TEST(StrToIntLenient, NeverThrowsAndReadsThePrefix) {
    EXPECT_EQ(StrToIntLenient(" 12"), 12);
    EXPECT_EQ(StrToIntLenient("12px"), 12);
    EXPECT_EQ(StrToIntLenient("-3;"), -3);
    EXPECT_EQ(StrToIntLenient("$1F"), 31);
    EXPECT_EQ(StrToIntLenient("abc"), 0);
    EXPECT_EQ(StrToIntLenient(""), 0);
    EXPECT_EQ(StrToIntLenient("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(StrToIntLenient("-99999999999999999999"), INT32_MIN);
}

TEST(StrToBool, WordsAndNumbers) {
    EXPECT_TRUE(StrToBool("True"));
    EXPECT_TRUE(StrToBool("TRUE"));
    EXPECT_FALSE(StrToBool("false"));
    EXPECT_FALSE(StrToBool("0"));
    EXPECT_TRUE(StrToBool("1"));
    EXPECT_TRUE(StrToBool("-2.5"));
    EXPECT_THROW(StrToBool("yes"), EConvertError);
    EXPECT_THROW(StrToBool(""), EConvertError);
    EXPECT_STREQ(BoolToStr(true), "True");
    EXPECT_STREQ(BoolToStr(false), "False");
}

TEST(FloatToStr, UsesDotWhateverTheLocale) {
    // A locale with a decimal comma must not change the host's number text.
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(FloatToStr(-0.25), "-0.25");
    EXPECT_EQ(FloatToStr(100), "100");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1e20), "1E20");
    EXPECT_EQ(FloatToStr(0.00001), "1E-5");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    double v = 0;
    EXPECT_TRUE(TryStrToFloat(" 2.75 ", v));
    EXPECT_DOUBLE_EQ(v, 2.75);
    EXPECT_FALSE(TryStrToFloat("2,75", v));
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(2.5001), 3);
}

TEST(StrToInt64, ReadsTheFullRangeAndRejectsTheRest) {
    EXPECT_EQ(StrToInt64("12"), 12);
    EXPECT_EQ(StrToInt64(" -9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(StrToInt64("4294967296"), 4294967296LL);
    for (const char* bad : {"", "9223372036854775808", "1;", "$10000000000000000", "x"})
        EXPECT_THROW(StrToInt64(bad), EConvertError) << bad;
}
