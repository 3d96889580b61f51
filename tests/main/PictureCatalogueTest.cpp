#include "main/PictureCatalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "log/KavLogEngine.h"
#include "platform/exceptions.h"

using namespace hv;

namespace {

std::vector<std::string> Section(std::vector<std::string> entries) {
    std::vector<std::string> lines{"A_Init = nil", "-- START Textures.lua", "{Skipped=\"x\";"};
    lines.insert(lines.end(), entries.begin(), entries.end());
    lines.push_back("-- END Textures.lua");
    lines.push_back("{Name=\"after.png\";Texture=\"t\";");
    return lines;
}

TEST(ReadTexturesLua, ReadsEntriesOfTheSectionOnly) {
    TPictureCatalogue cat{tTexSurface{}};
    ReadTexturesLua(
        Section({"{Name=\"hero.png\";Texture=\"atlas01\";PosX=10;PosY=20;Width=64;Height=32;"
                 "Rotate=true;Compress=0;",
                 "", " {Name=\"indented.png\";Texture=\"t\";", "-- a comment",
                 "{name=\"bg.jpg\";Texture=\"back\";PosX=$10;PosY= 7px;Width=x;Height=-3;"
                 "Rotate=False;Compress=1;"}),
        cat);
    ASSERT_EQ(cat.size(), 2u);
    const tTexSurface& a = cat[0];
    EXPECT_EQ(a.Name, "hero.png");
    EXPECT_EQ(a.TextureName, "atlas01");
    EXPECT_EQ(a.PosX, 10);
    EXPECT_EQ(a.PosY, 20);
    EXPECT_EQ(a.Width, 64);
    EXPECT_EQ(a.Height, 32);
    EXPECT_TRUE(a.Rotate);
    EXPECT_FALSE(a.Compress);
    EXPECT_FALSE(a.FreeAfterLoad);
    EXPECT_EQ(a.LinkIndex, -1);
    EXPECT_EQ(CatalogueTextureFile(a), "atlas01.png");
    // The name's key is not checked; numbers are read leniently.
    const tTexSurface& b = cat[1];
    EXPECT_EQ(b.Name, "bg.jpg");
    EXPECT_EQ(b.PosX, 16);
    EXPECT_EQ(b.PosY, 7);
    EXPECT_EQ(b.Width, 0);
    EXPECT_EQ(b.Height, -3);
    EXPECT_FALSE(b.Rotate);
    EXPECT_TRUE(b.Compress);
    EXPECT_EQ(CatalogueTextureFile(b), "back.jpg");

    EXPECT_EQ(FindCatalogueEntry(cat, "bg.jpg"), 1);
    EXPECT_EQ(FindCatalogueEntry(cat, "BG.jpg"), -1);

    ReadTexturesLua({"no section here", "{Name=\"x\";"}, cat);
    EXPECT_TRUE(cat.empty());
}

TEST(ReadCatalogueLine, MissingFieldsTakeTheirSeparatorButRotateOnlyWhenPresent) {
    // Without "Rotate=" its ";" is left to Compress.
    tTexSurface e = ReadCatalogueLine(
        "{Name=\"a.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;Height=4;Compress=1;");
    EXPECT_FALSE(e.Rotate);
    EXPECT_TRUE(e.Compress);
    EXPECT_EQ(e.Height, 4);

    // A missing PosX takes the ";" that PosX's place holds; the rest reads on normally.
    e = ReadCatalogueLine("{Name=\"a.png\";Texture=\"t\";X=9;PosY=2;Width=3;Height=4;");
    EXPECT_EQ(e.PosX, 0);
    EXPECT_EQ(e.PosY, 2);
    EXPECT_EQ(e.Height, 4);

    // Running out of ";" leaves the remaining fields at their defaults.
    e = ReadCatalogueLine("{Name=\"short.png\";Texture=\"t\";PosX=5");
    EXPECT_EQ(e.Name, "short.png");
    EXPECT_EQ(e.TextureName, "t");
    EXPECT_EQ(e.PosX, 0);
    e = ReadCatalogueLine("{Name=\"nosemicolon\"");
    EXPECT_EQ(e.Name, "");
    e = ReadCatalogueLine("{N;");
    EXPECT_EQ(e.Name, "");
    EXPECT_EQ(e.TextureName, "");
}

TEST(CatalogueLineProblem, LinesThatLookLikeEntriesButDoNotReadAsWrittenAreNamed) {
    const char* good[] = {
        "{name=\"sky.png\"; Texture=\"sky\"; PosX=0; PosY=0; Width=256; Height=256; "
        "Rotate=false; Compress=false;},",
        "{Name=\"a.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;Height=4;",  // no Rotate, Compress
        "-- {name = \"a comment\"}",
        "",
        "   ",
        "}",
        "Textures = {"};
    for (const char* line : good) EXPECT_EQ(CatalogueLineProblem(line), "") << line;

    const std::pair<const char*, const char*> bad[] = {
        {" {name=\"a.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;Height=4;", "starts with a blank"},
        {"\t{name=\"a.png\";", "starts with a blank"},
        {"{name = \"a.png\"; Texture=\"t\"; PosX=1; PosY=2; Width=3; Height=4;", "its name"},
        {"{pic=\"a.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;Height=4;", "its name"},
        {"{name=\"a.png\", Texture=\"t\", PosX=1, PosY=2}", "not ended by \";\""},
        {"{name=\"a.png\"; Texture = \"t\"; PosX=1; PosY=2; Width=3; Height=4;", "no Texture="},
        {"{name=\"a.png\"; Texture=\"t\"; PosX =1; PosY=2; Width=3; Height=4;", "no PosX="},
        {"{name=\"a.png\"; Texture=\"t\"; PosX=1; PosY=2; Width=3;", "no Height="},
        {"{name=\"a.png\"; Texture=\"t\"; PosX=1; PosY=2; Width=3; Height=4; Rotate = true;",
         "Rotate is not followed"},
        {"{name=\"a.png\"; Texture=t; PosX=1; PosY=2; Width=3; Height=4;", "quoted name"},
    };
    for (auto [line, reason] : bad)
        EXPECT_NE(CatalogueLineProblem(line).find(reason), std::string::npos)
            << line << " -> " << CatalogueLineProblem(line);
}

TEST(ReadTexturesLua, WarnsAboutEachUnreadableLineByItsScriptLine) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("hv_catalogue_" + std::to_string(std::random_device{}()) + ".log");
    TLogFile* log = LogEngine().AddLogFile(path.string());
    TLogFile* previous = LogEngine().DefaultLogFile;
    LogEngine().DefaultLogFile = log;
    TPictureCatalogue cat;
    ReadTexturesLua(Section({"{name=\"ok.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;Height=4;",
                             " {name=\"indented.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;",
                             "{name=\"spaced.png\"; Texture = \"t\"; PosX=1;"}),
                    cat);
    LogEngine().DefaultLogFile = previous;
    log->Disabled = true;
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    std::filesystem::remove(path);
    // The section's lines 4 to 6: the first reads; the indented one is skipped as the host has
    // always done, the spaced one read with an empty texture; both are named.
    ASSERT_EQ(cat.size(), 2u);
    EXPECT_EQ(text.str().find("line 4 "), std::string::npos);
    EXPECT_NE(text.str().find("TMainForm.ReadTexturesLua line 5 looks like a picture but it "
                              "starts with a blank"),
              std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("line 6 looks like a picture but it has no Texture="),
              std::string::npos);
}

TEST(ReadCatalogueLine, BadBooleanIsAClearConversionError) {
    try {
        ReadTexturesLua(Section({"{Name=\"a.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;Height=4;"
                                 "Rotate=maybe;Compress=0;"}),
                        *std::make_unique<TPictureCatalogue>());
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_NE(e.Message().find("line 4"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("maybe"), std::string::npos) << e.Message();
    }
}

}  // namespace
