#include "main/SettingsText.h"

#include <gtest/gtest.h>

using namespace hv;

TEST(FindSettingValue, ReadsUpToSemicolonAndLosesLastCharacterOfAnUnclosedPair) {
    EXPECT_EQ(FindSettingValue("fullscreen", "fullscreen=true;customcursor=false;"), "true");
    EXPECT_EQ(FindSettingValue("customcursor", "fullscreen=true;customcursor=false;"), "false");
    EXPECT_EQ(FindSettingValue("b", "a=1;b=22"), "2");
    EXPECT_EQ(FindSettingValue("missing", "a=1;"), "");
    EXPECT_EQ(FindSettingValue("a", "a"), "");
    EXPECT_EQ(FindSettingValue("a", "a="), "");
    EXPECT_EQ(FindSettingValue("", ""), "");
    // The first occurrence wins, also inside another key.
    EXPECT_EQ(FindSettingValue("mode", "xmode=1;mode=2;"), "1");
}

TEST(SettingsLines, DropsLeadingLineBreaksEmptyPiecesAndTheUnclosedRest) {
    EXPECT_EQ(SettingsLines("a=1;\r\nb=2;\t\n;  c=3;d=4"),
              (std::vector<std::string>{"a=1", "b=2", "  c=3"}));
    EXPECT_TRUE(SettingsLines("no semicolon").empty());
    EXPECT_TRUE(SettingsLines("").empty());
    EXPECT_EQ(SettingsLines("\r\n;x;"), (std::vector<std::string>{"x"}));
}

TEST(ProjectSettingsPairs, AppliesOnlyClosedPairsSplitAtTheFirstEquals) {
    using P = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(ProjectSettingsPairs("ProjectName=Demo;DetalizationMode=2"),
              (P{{"ProjectName", "Demo"}}));
    EXPECT_EQ(ProjectSettingsPairs("ProjectName=Demo;DetalizationMode=2;"),
              (P{{"ProjectName", "Demo"}, {"DetalizationMode", "2"}}));
    EXPECT_EQ(ProjectSettingsPairs("ProjectName=a=b;junk;;=v;"),
              (P{{"ProjectName", "a=b"}, {"", "v"}}));
}
