// The picture loaders and the splash pictures on the recording device, with PNG files written
// into the test's game folder and decoded for real.
#include <stb/stb_image_write.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "RecordedForm.h"
#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/ProjectSettings.h"
#include "tests/doubles/RecordingDevice.h"

namespace hv {
namespace {

// The bytes of a w x h PNG of one opaque colour.
std::string SolidPng(int w, int h) {
    const std::vector<uint32_t> texels(size_t(w) * h, 0xFFC08020u);  // R, G, B, A in memory order
    std::string png;
    stbi_write_png_to_func(
        [](void* out, void* data, int size) {
            static_cast<std::string*>(out)->append(static_cast<const char*>(data), size_t(size));
        },
        &png, w, h, 4, texels.data(), w * 4);
    return png;
}

class PicturesTest : public test::RecordedFormTest {
protected:
    void SetUp() override {
        RecordedFormTest::SetUp();
        StartForm();
        ASSERT_EQ(Engine().InitD3D(nullptr, 800, 600), S_OK);
        Run("events = {} "
            "function A_Update(t) events[#events + 1] = 'update' end "
            "function A_Loading(t, p) events[#events + 1] = 'loading' .. p end");
    }
    std::string Events() {
        std::string s = Eval("table.concat(events, ' ')");
        Run("events = {}");
        return s;
    }
    void Catalogue(const std::vector<std::string>& entries) {
        std::vector<std::string> lines = {"-- START Textures.lua", "local t = {"};
        lines.insert(lines.end(), entries.begin(), entries.end());
        lines.push_back("-- END Textures.lua");
        form.ReadTexturesLua(lines);
    }
    const TKavSurface& Surface(const std::string& name) {
        const int i = Engine().FindSurface(name);
        EXPECT_GE(i, 0) << name;
        static const TKavSurface none;
        return i < 0 ? none : Engine().Surfaces[size_t(i)];
    }
    const TTexture& Texture(const std::string& name) {
        const int i = Engine().FindTexture(name);
        EXPECT_GE(i, 0) << name;
        static const TTexture none;
        return i < 0 ? none : Engine().Textures[size_t(i)];
    }
    static std::array<LONG, 4> Rect(const TKavSurface& s) {
        return {s.SourceRect.left, s.SourceRect.top, s.SourceRect.right, s.SourceRect.bottom};
    }
};

TEST_F(PicturesTest, LoadTexturesMakesTheListedAtlasesSurfacesWithProgressFrames) {
    Write("data/Textures/bg01.png", SolidPng(100, 50));
    Write("data/Textures/ui.png", SolidPng(64, 64));
    Catalogue({
        R"({Name="sky.png";Texture="bg01";PosX=0;PosY=0;Width=100;Height=30;Rotate=false;)",
        R"({Name="button.png";Texture="ui";PosX=4;PosY=8;Width=20;Height=10;Rotate=1;)",
        R"({Name="sea.png";Texture="bg01";PosX=0;PosY=30;Width=100;Height=20;Rotate=false;)",
        R"({Name="hero.png";Texture="chars";PosX=0;PosY=0;Width=8;Height=8;Rotate=false;)",
    });
    // The atlas named by its file and by itself; "ui" is not listed.
    Run("LoadTextures('bg01.png;bg01', true)");
    ASSERT_EQ(Engine().Surfaces.size(), 2u);
    EXPECT_EQ(Rect(Surface("sky.png")), (std::array<LONG, 4>{0, 0, 100, 30}));
    EXPECT_EQ(Rect(Surface("sea.png")), (std::array<LONG, 4>{0, 30, 100, 50}));
    EXPECT_EQ(Surface("sea.png").TextureName, "bg01.png");
    const TTexture& atlas = Texture("bg01.png");
    EXPECT_TRUE(atlas.Loaded);
    EXPECT_EQ(atlas.Width, 128);
    EXPECT_EQ(atlas.Height, 64);
    // Exactly two arguments: the second is also the free flag.
    EXPECT_FALSE(atlas.Stream.has_value());
    for (const tTexSurface& e : form.PictureCatalogue) EXPECT_TRUE(e.FreeAfterLoad) << e.Name;
    // A frame before the first entry, then one for each change of 0, 25, 50, 75.
    EXPECT_EQ(Events(), "loading0 loading25 loading50 loading75");
    EXPECT_FALSE(form.FLoading);
    form.Draw();
    EXPECT_EQ(Events(), "update");

    // Without progress: no frames; three arguments take the free flag from the third; the
    // fourth asks for 16-bit texels.
    Run("LoadTextures('ui', false, false, true)");
    EXPECT_EQ(Events(), "");
    EXPECT_TRUE(Surface("button.png").Rotated);
    EXPECT_EQ(Surface("button.png").Width, 20);
    EXPECT_TRUE(Texture("ui.png").Stream.has_value());
    D3DSURFACE_DESC desc{};
    ASSERT_TRUE(Texture("ui.png").Texture);
    ASSERT_EQ(Texture("ui.png").Texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_A4R4G4B4);

    // Unloading an atlas removes its surfaces and releases the texture; other atlases stay.
    Run("ReLoadTextures('bg01.png', 'ignored')");
    EXPECT_EQ(Engine().FindSurface("sky.png"), -1);
    EXPECT_EQ(Engine().FindSurface("sea.png"), -1);
    EXPECT_FALSE(Texture("bg01.png").Loaded);
    EXPECT_TRUE(Texture("ui.png").Loaded);
}

TEST_F(PicturesTest, AnEmptyCatalogueWithProgressDrawsOneFrameAndAFailingFrameEndsTheLoad) {
    Catalogue({});
    Run("n = select('#', LoadTextures('bg01', true))");
    EXPECT_EQ(Events(), "loading0");
    EXPECT_EQ(Eval("n"), "0");

    // A script error in the progress frame ends the load; later frames update the game again.
    Run("function A_Loading() error('no loading screen') end");
    EXPECT_THROW(form.ScriptEngine->RunString("LoadPictures('a', true)"), Exception);
    EXPECT_FALSE(form.FLoading);
}

TEST_F(PicturesTest, LoadPicturesTakesCatalogueNamesAndDescribedPictures) {
    Write("data/Textures/atlas.png", SolidPng(64, 64));
    Catalogue({
        R"({Name="coin.png";Texture="atlas";PosX=2;PosY=4;Width=6;Height=8;Rotate=false;)",
    });
    Run("LoadPictures('coin.png;pic.png|atlas|10|20|30|40|TRUE;short.png|atlas|10|20|30;"
        "bad.png|atlas|1|x|3|4|false;nowhere.png;;', true, true)");
    EXPECT_NE(Log().find("Length(Pics)=106"), std::string::npos);
    ASSERT_EQ(Engine().Surfaces.size(), 2u);
    EXPECT_EQ(Rect(Surface("coin.png")), (std::array<LONG, 4>{2, 4, 8, 12}));
    EXPECT_TRUE(form.PictureCatalogue[0].FreeAfterLoad);
    const TKavSurface& pic = Surface("pic.png");
    EXPECT_EQ(pic.TextureName, "atlas.png");
    EXPECT_TRUE(pic.Rotated);
    EXPECT_EQ(Rect(pic), (std::array<LONG, 4>{10, 20, 40, 60}));
    // A mistyped number skips that picture with a warning; the load goes on.
    EXPECT_NE(Log().find("TMainForm.LoadPictures bad.png|atlas|1|x|3|4|false"), std::string::npos);
    // Six items: a frame first, then one per change of 0, 17, 33, 50, 67, 83.
    EXPECT_EQ(Events(), "loading0 loading17 loading33 loading50 loading67 loading83");

    // Absurd numbers make a useless rectangle, not an overflow.
    Run("LoadPictures('huge.png|atlas|2000000000|0|2000000000|5|false')");
    EXPECT_EQ(Rect(Surface("huge.png"))[2], 2147483647);
    Run("ReLoadPictures('huge.png')");

    // Only the names themselves remove pictures.
    Run("ReLoadPictures('pic.png|atlas;coin.png')");
    EXPECT_EQ(Engine().FindSurface("coin.png"), -1);
    EXPECT_GE(Engine().FindSurface("pic.png"), 0);
    Run("ReLoadPictures('pic.png')");
    EXPECT_TRUE(Engine().Surfaces.empty());
    EXPECT_FALSE(Texture("atlas.png").Loaded);

    // The hint counts characters: an accented letter in UTF-8 once, a lone Windows-1252 byte once.
    Run("LoadPictures('\xC3\xA9.png;\xE9')");
    EXPECT_NE(Log().find("Length(Pics)=7"), std::string::npos);
}

TEST_F(PicturesTest, DublicateSurfaceAddsAnAliasOnceAndOnlyOfAnExistingPicture) {
    Catalogue({
        R"({Name="coin.png";Texture="atlas";PosX=2;PosY=4;Width=6;Height=8;Rotate=true;)",
    });
    Run("DublicateSurface('gold.png', 'coin.png')");
    Run("DublicateSurface('gold.png', 'coin.png') DublicateSurface('silver.png', 'tin.png') "
        "DublicateSurface('lead.png')");
    ASSERT_EQ(form.PictureCatalogue.size(), 2u);
    const tTexSurface& alias = form.PictureCatalogue[1];
    EXPECT_EQ(alias.Name, "gold.png");
    EXPECT_EQ(alias.LinkIndex, 0);
    EXPECT_EQ(alias.TextureName, "atlas");
    EXPECT_TRUE(alias.Rotate);
    EXPECT_EQ(alias.Width, 6);
    const std::string text = Log();
    EXPECT_NE(text.find("TMainForm.DublicateSurface surface gold.png alredy exist"),
              std::string::npos);
    EXPECT_NE(text.find("TMainForm.DublicateSurface surface tin.png not exist"), std::string::npos);
    EXPECT_NE(text.find("TMainForm.DublicateSurface surface  not exist"), std::string::npos);
}

TEST_F(PicturesTest, SurfacesTxtListsSurfacesAndLoadedTextures) {
    Write("data/Textures/a.png", SolidPng(513, 257));  // stretched over 1024 x 512
    Write("data/Textures/b.png", SolidPng(8, 8));
    Catalogue({
        R"({Name="one.png";Texture="a";PosX=0;PosY=0;Width=10;Height=10;Rotate=false;)",
        R"({Name="two.png";Texture="a";PosX=10;PosY=0;Width=10;Height=10;Rotate=false;)",
        R"({Name="three.png";Texture="b";PosX=0;PosY=0;Width=8;Height=8;Rotate=false;)",
    });
    Run("LoadTextures('a;b') ReLoadTextures('b') SaveCurrentSurfaces()");
    EXPECT_EQ(Read("Surfaces.txt"),
              "one.png   a.png\r\ntwo.png   a.png\r\ncount surfaces=2\r\nTEXTURES:\r\n"
              "a.png 1024x512\r\ncount textures=1\r\n");
}

TEST_F(PicturesTest, SplashPicturesComeFromTheSplashFolderAndGoAgain) {
    // Before any LoadSplash there is nothing to remove.
    Run("n = select('#', ReLoadSplash())");
    EXPECT_EQ(Eval("n"), "0");
    EXPECT_FALSE(form.SplashList.has_value());
    // No folder: no names and an empty list.
    Run("n = select('#', LoadSplash())");
    EXPECT_EQ(Eval("n"), "0");
    ASSERT_TRUE(form.SplashList.has_value());
    EXPECT_TRUE(form.SplashList->empty());

    Write("Splash/Title.PNG", SolidPng(300, 200));
    Write("Splash/x.png.bak", SolidPng(16, 16));
    Write("Splash/Readme.txt", "not a picture");
    Write("Splash/old.png/inside.png", SolidPng(4, 4));
    Run("names = {LoadSplash()} table.sort(names)");
    EXPECT_EQ(Eval("table.concat(names, ',')"), "Title.PNG,x.png.bak");
    ASSERT_TRUE(form.SplashList.has_value());
    std::vector<std::string> kept = *form.SplashList;
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"Title.PNG", "x.png.bak"}));
    // A splash picture covers its whole (power-of-two) texture.
    const TKavSurface& title = Surface("Title.PNG");
    EXPECT_EQ(title.Width, 512);
    EXPECT_EQ(title.Height, 256);
    EXPECT_EQ(Rect(title), (std::array<LONG, 4>{0, 0, 512, 256}));
    EXPECT_TRUE(Texture("Title.PNG").Stream.has_value());
    EXPECT_TRUE(Texture("x.png.bak").Loaded);

    Run("n = select('#', ReLoadSplash())");
    EXPECT_EQ(Eval("n"), "0");
    EXPECT_TRUE(Engine().Surfaces.empty());
    EXPECT_FALSE(form.SplashList.has_value());
}

TEST_F(PicturesTest, LoadAllTexturesRegistersTheTexturesFolderAndPreLoadIsSwitchable) {
    Write("data/Textures/a.png", SolidPng(8, 8));
    Catalogue({
        R"({Name="one.png";Texture="a";PosX=0;PosY=0;Width=8;Height=8;Rotate=false;)",
    });
    Run("LoadTextures('a') LoadAllTextures()");  // no "Textures" folder: nothing changes
    EXPECT_TRUE(Texture("a.png").Loaded);

    Write("Textures/loose.png", SolidPng(4, 4));
    Write("Textures/more/deep.png", SolidPng(4, 4));
    Run("LoadAllTextures()");
    std::vector<std::string> names;
    for (const TTexture& t : Engine().Textures) names.push_back(t.Name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"loose.png", "more"}));
    EXPECT_EQ(Texture("loose.png").Stream->size(), SolidPng(4, 4).size());
    EXPECT_FALSE(Texture("loose.png").Loaded);

    Run("SetPreLoadInMemory(false)");
    EXPECT_FALSE(Engine().PreLoadInMemory);
    Run("SetPreLoadInMemory()");  // no argument: unchanged
    EXPECT_FALSE(Engine().PreLoadInMemory);
    Run("SetPreLoadInMemory(1)");
    EXPECT_TRUE(Engine().PreLoadInMemory);
}

}  // namespace
}  // namespace hv
