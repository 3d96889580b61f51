// The placeholder language of log templates, the width rule and the date-time notation.
#include <gtest/gtest.h>

#include <cstdlib>

#include "log/KavLogEngine.h"
#include "log_test_util.h"

using namespace hv;

namespace {

// A file registered with an engine, so it carries the thirteen constants; nothing is written.
struct TemplateFixture : ::testing::Test {
    hvtest::TempDir dir;
    hvtest::FakeClock clock;
    TKavLogEngine engine{dir.Path() + "Default.log", clock.Clock()};
    TLogFile* file = nullptr;
    void SetUp() override {
        ::setenv("LC_ALL", "C", 1);
        file = engine.AddLogFile(dir.Path() + "T.log");
    }
    std::string X(const std::string& t) { return file->ExpandTemplate(t); }
};

}  // namespace

TEST_F(TemplateFixture, ScanningFieldsAndUnregisteredNames) {
    EXPECT_EQ(X("x%"), "x%");                         // a final % stays
    EXPECT_EQ(X("%;x"), "x");                         // an empty placeholder vanishes
    EXPECT_EQ(X("100% done"), "100% done");           // unregistered name " done" written back
    EXPECT_EQ(X("50% done; next"), "50% done next");  // the ; closes the placeholder
    EXPECT_EQ(X("a %Foo|3|x; b"), "a %Foo|3|x b");
    EXPECT_EQ(X("%Foo||x;"), "%Foo|x");             // the empty width is not written back
    EXPECT_EQ(X("%Foo|1|2|3|4|5;"), "%Foo|1|2|3");  // fields after the fourth are dropped
    EXPECT_EQ(X(""), "");
    EXPECT_EQ(X("%%;"), "%%");  // name "%" is not registered: written back
    // Names compare case-sensitively; a registered name answers, a differently cased one not.
    EXPECT_EQ(X("[%LogVersion;]"), "[1.50]");
    EXPECT_EQ(X("[%logversion;]"), "[%logversion]");
    // The four system texts ignore width and extras.
    file->Constants[1].Value = "CPU";
    EXPECT_EQ(X("%Processor|1|a|b;"), "CPU");
}

TEST_F(TemplateFixture, WidthRuleCutsAndPads) {
    EXPECT_EQ(TLogFile::PadText("abc", ' ', 5, true), "abc  ");
    EXPECT_EQ(TLogFile::PadText("abc", ' ', 5, false), "  abc");
    EXPECT_EQ(TLogFile::PadText("abcdef", ' ', 4, true), "abcd");   // keeps the beginning
    EXPECT_EQ(TLogFile::PadText("abcdef", ' ', 4, false), "cdef");  // keeps the end
    EXPECT_EQ(TLogFile::PadText("abc", ' ', 0, false), "");
    EXPECT_EQ(TLogFile::PadText("abc", ' ', -3, true), "");
    // Widths count characters, not bytes: a UTF-8 name is padded and cut whole.
    EXPECT_EQ(TLogFile::PadText("d\xC3\xA9"
                                "c",
                                '.', 5, false),
              "..d\xC3\xA9"
              "c");
    EXPECT_EQ(TLogFile::PadText("\xC3\xA9\xC3\xA9\xC3\xA9", ' ', 2, false), "\xC3\xA9\xC3\xA9");

    EXPECT_EQ(X("%LogVersion|5;|"), "1.50 |");
    EXPECT_EQ(X("%LogVersion|2;"), "1.");
    EXPECT_EQ(X("%LogVersion|0;|"), "|");
    file->ErrorsCount = 12345;
    EXPECT_EQ(X("%ErrorsCount|3;"), "345");
    EXPECT_EQ(X("%ErrorsCount|7;"), "  12345");
    // A width that is not a number counts as none; a huge one is bounded.
    EXPECT_EQ(X("%ErrorsCount|abc;"), "12345");
    EXPECT_LE(X("%ErrorsCount|2000000000;").size(), 1000u);
}

TEST_F(TemplateFixture, DetailModeCountsAndMessageColumns) {
    file->DetalizationMode = 0;
    EXPECT_EQ(X("%DetalizationMode|25|[|];"), "[]" + std::string(23, ' '));
    file->DetalizationMode = 2;
    EXPECT_EQ(X("%DetalizationMode||<|>;"), "<Errors, Warnings>");
    file->DetalizationMode = 9;
    EXPECT_EQ(X("%DetalizationMode;"), "");

    file->LastMessage.Count = 0;
    EXPECT_EQ(X("%MessagesCount|3|*;"), "    ");  // W + length of the extras
    EXPECT_EQ(X("%MessagesCount||*;"), "");
    file->LastMessage.Count = 1;
    EXPECT_EQ(X("%MessagesCount|3|*;"), "    ");
    file->LastMessage.Count = 12;
    EXPECT_EQ(X("%MessagesCount|3|*;"), "* 12");
    EXPECT_EQ(X("%MessagesCount||*|!;"), "*12!");

    file->LastMessage = {"t", lmWarning, 0};
    EXPECT_EQ(X("%MessageType||.;"), ".Warning!");
    file->LastMessage.Count = 4;
    EXPECT_EQ(X("%MessageType||..;"), "  Warning!");
    file->LastMessage = {"t", lmHint, 0};
    file->HintMarker = "H";
    EXPECT_EQ(X("%MessageType||.;"), "H");  // no lead-in for hints
    file->LastMessage = {"t", lmMessage, 0};
    EXPECT_EQ(X("%MessageType||.;"), "");

    // A message text is expanded like its template.
    file->ErrorsCount = 2;
    file->WarningsCount = 1;
    file->HintsCount = 17;
    const std::string& footer = file->FooterTemplate;
    EXPECT_EQ(X(footer.substr(82, footer.find("\r\n", 82) - 82)),
              "[ Errors : 2 ,  Warnings : 1 ,  Hints : 17 ]");
}

TEST_F(TemplateFixture, DateTimeAndElapsedTime) {
    EXPECT_EQ(X("%DateTime;"), "Sunday  6-Dec-2026  20:07:23");
    EXPECT_EQ(X("%DateTime|8;"), "20:07:23");
    EXPECT_EQ(X("%DateTime|30;"), "  Sunday  6-Dec-2026  20:07:23");
    // A 50-character date in a 45-wide field keeps its last 45 characters.
    std::string fifty = X("%DateTime||dddd dddd dddd dddd dddd dddd dddd'xy';");
    ASSERT_EQ(fifty.size(), 50u);
    EXPECT_EQ(X("%DateTime|45|dddd dddd dddd dddd dddd dddd dddd'xy';"), fifty.substr(5));

    clock.now = LocalTime{2027, 1, 3, 0, 4, 5, 6, 7};
    EXPECT_EQ(X("%DateTime||yyyy-mm-dd hh:mm:ss.zzz;"), "2027-01-03 04:05:06.007");
    EXPECT_EQ(X("%DateTime||d/m/yy h:n:s z ddd mmmm;"), "3/1/27 4:5:6 7 Sun January");

    // Elapsed time shows as a time of day: hours wrap at 24.
    clock.ticks = engine.StartTick + 25u * 3600000u + 61001u;
    EXPECT_EQ(X("%TimeFromStart;"), "01:01:01:001");
    EXPECT_EQ(X("%TimeFromStart|5|ss:zzz;"), "1:001");
    LocalTime zero = ElapsedAsDateTime(0);
    EXPECT_EQ(FormatLogDateTime("dddd d-mmm-yyyy", zero), "Saturday 30-Dec-1899");
    EXPECT_EQ(FormatLogDateTime("d-mmm-yyyy", ElapsedAsDateTime(3u * 86400000u)), "2-Jan-1900");
}

TEST(LogLocale, DayAndMonthNamesFollowTheTimeLocale) {
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(LocaleDayName(0, false), "Sunday");
    EXPECT_EQ(LocaleMonthName(12, true), "Dec");
    EXPECT_EQ(LocaleMonthName(13, true), "");
    ::setenv("LC_ALL", "hv-no-such-locale", 1);
    EXPECT_EQ(LocaleDayName(6, true), "Sat");  // an unknown locale falls back to English
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    std::string de = LocaleDayName(0, false);
    ::setenv("LC_ALL", "C", 1);
    if (de == "Sunday") GTEST_SKIP() << "no German locale installed";
    EXPECT_EQ(de, "Sonntag");
}

TEST(LogText, CharactersOfUtf8AndOtherBytes) {
    EXPECT_EQ(LogTextLength("abc"), 3u);
    EXPECT_EQ(LogTextLength("\xC3\xA9t\xE2\x82\xAC"), 3u);  // é t €
    EXPECT_EQ(LogTextLength("\xE9t\xC3"), 3u);              // bytes outside UTF-8 count one each
    EXPECT_EQ(LogTextPrefix("\xC3\xA9t\xE2\x82\xAC", 2), "\xC3\xA9t");
    EXPECT_EQ(LogTextPrefix("ab", 5), "ab");
}
