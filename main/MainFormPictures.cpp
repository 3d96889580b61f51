// The form's picture loaders: catalogue pictures and whole atlases turned into engine surfaces
// and removed again, picture aliases, the texture list of the "Textures" folder, the splash
// pictures, and the Surfaces.txt dump. The loaders keep FLoading set while they run and may draw
// frames in between, so that the script's A_Loading shows the progress.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "engine3d/KavTextureEngine3D.h"
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "platform/convert.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/text.h"

namespace hv {

namespace {

// The splash pictures and the loose texture files live in these folders of the game folder,
// which is the current folder for the whole run (the engine reads them by the same paths).
const std::string kSplashFolder = "Splash";
const std::string kTexturesFolder = "Textures";

// A script list "a;b;c": every piece before a ";" is an item, empty ones included; the text
// after the last ";" is an item only when it is not empty.
std::vector<std::string> SplitText(std::string_view text) {
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t semi = text.find(';'); semi != std::string_view::npos;
         semi = text.find(';', start)) {
        items.emplace_back(text.substr(start, semi - start));
        start = semi + 1;
    }
    if (start < text.size()) items.emplace_back(text.substr(start));
    return items;
}

// Texture items may name the file ("bg01.png") or the atlas ("bg01"); both mean the atlas.
std::vector<std::string> TextureItems(std::string_view text) {
    std::vector<std::string> items = SplitText(text);
    for (std::string& item : items) {
        const size_t dot = item.find('.');
        if (dot != std::string::npos) item.erase(dot);
    }
    return items;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Characters of script text: a valid UTF-8 sequence counts once, any other byte once.
size_t CharacterCount(std::string_view text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); i = NextCharacter(text, i)) ++n;
    return n;
}

std::string LowerCase(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// 0 keeps each file's own texel format; the 16-bit format halves the video memory of a texture.
D3DFORMAT LoadFormat(bool sixteenBit) {
    return sixteenBit ? D3DFMT_A4R4G4B4 : D3DFMT_UNKNOWN;
}

// A load's progress, 0..100, after `done` of `total` steps.
int32_t Progress(size_t done, size_t total) {
    return int32_t(RoundHalfEven(double(done) * 100.0 / double(total)));
}

// Holds FLoading for the length of one load; it is cleared also when a progress frame fails, so
// that the frames after a failed load go back to A_Update.
class TLoadingScope {
public:
    explicit TLoadingScope(TMainForm& form) : form_(form) {
        form_.FLoading = true;
        form_.FLoadProgress = 0;
    }
    ~TLoadingScope() { form_.FLoading = false; }
    TLoadingScope(const TLoadingScope&) = delete;
    TLoadingScope& operator=(const TLoadingScope&) = delete;

private:
    TMainForm& form_;
};

// A progress frame: drawn only when the load's progress has moved.
void ShowLoadProgress(TMainForm& form, int32_t progress) {
    if (progress == form.FLoadProgress) return;
    form.FLoadProgress = progress;
    form.Draw();
}

// A picture described by a LoadPictures item that is not in the catalogue:
// "name|file|x|y|w|h|rotate". Missing parts stay empty / -1.
// The far edge of a described picture; held within 32 bits so that absurd numbers in a script's
// list make a useless rectangle rather than overflow.
LONG Edge(int32_t from, int32_t size) {
    const int64_t edge = int64_t(from) + size;
    return LONG(std::clamp<int64_t>(edge, INT32_MIN, INT32_MAX));
}

struct TPictureItem {
    std::string File;
    int32_t X = -1, Y = -1, W = -1, H = -1;
    bool Rotate = false;
};

// Reads the part after the name. Each of file, x, y, w and h is taken only when the "|" that
// ends it exists; whatever is left at the end is the rotate flag. A number that is not an
// integer throws EConvertError.
TPictureItem ReadPictureItem(std::string_view rest) {
    TPictureItem p;
    auto next = [&rest](std::string* out) {
        const size_t bar = rest.find('|');
        if (bar == std::string_view::npos) return false;
        *out = std::string(rest.substr(0, bar));
        rest.remove_prefix(bar + 1);
        return true;
    };
    std::string field;
    if (next(&field)) p.File = field;
    for (int32_t* number : {&p.X, &p.Y, &p.W, &p.H})
        if (next(&field)) *number = StrToInt(field);
    p.Rotate = LowerCase(rest) == "true";
    return p;
}

}  // namespace

int TMainForm::LoadPictures(lua_State* L) {
    TLoadingScope loading(*this);
    const std::string list = ArgString(L, 1);
    const std::vector<std::string> items = SplitText(list);
    LogEngine().AddHint("Length(Pics)=" + std::to_string(CharacterCount(list)));
    const bool showProgress = ArgBoolean(L, 2);
    const bool freeAfterLoad = ArgBoolean(L, 3);
    const D3DFORMAT format = LoadFormat(ArgBoolean(L, 4));
    if (showProgress) Draw();

    for (size_t k = 0; k < items.size(); ++k) {
        if (showProgress) ShowLoadProgress(*this, Progress(k, items.size()));
        const std::string& item = items[k];
        const size_t bar = item.find('|');
        const std::string name = item.substr(0, bar);

        TPictureItem p;
        const int c = FindCatalogueEntry(name);
        if (c >= 0) {
            tTexSurface& entry = PictureCatalogue[size_t(c)];
            p.File = entry.TextureName;
            p.X = entry.PosX, p.Y = entry.PosY, p.W = entry.Width, p.H = entry.Height;
            p.Rotate = entry.Rotate;
            entry.FreeAfterLoad = freeAfterLoad;
        } else if (bar != std::string::npos) {
            // A mistyped number spoils this picture only, not the game: it is reported and
            // skipped like any other picture that is not fully described.
            try {
                p = ReadPictureItem(std::string_view(item).substr(bar + 1));
            } catch (const EConvertError& e) {
                LogEngine().AddWarning("TMainForm.LoadPictures " + item + " " + e.Message());
                continue;
            }
        }
        if (Contains(name, ".png")) p.File += ".png";
        if (Contains(name, ".jpg")) p.File += ".jpg";

        if (p.File.empty() || p.X == -1 || p.Y == -1 || p.W == -1 || p.H == -1) continue;
        if (!KavSurfaceEngine3D) continue;
        KavSurfaceEngine3D->CreateSufaceFromTexture(name, p.File,
                                                    RECT{p.X, p.Y, Edge(p.X, p.W), Edge(p.Y, p.H)},
                                                    true, p.Rotate, format, freeAfterLoad);
    }
    return 0;
}

int TMainForm::ReLoadPictures(lua_State* L) {
    if (!KavSurfaceEngine3D) return 0;
    for (const std::string& item : SplitText(ArgString(L, 1)))
        KavSurfaceEngine3D->RemoveSurface(item);
    return 0;
}

int TMainForm::SaveCurrentSurfaces(lua_State*) {
    std::string text;
    auto line = [&text](const std::string& s) { text += s + "\r\n"; };
    size_t surfaces = 0, textures = 0;
    if (KavSurfaceEngine3D) {
        for (const TKavSurface& s : KavSurfaceEngine3D->Surfaces) {
            line(s.Name + "   " + s.TextureName);
            ++surfaces;
        }
    }
    line("count surfaces=" + std::to_string(surfaces));
    line("TEXTURES:");
    if (KavSurfaceEngine3D) {
        for (const TTexture& t : KavSurfaceEngine3D->Textures) {
            if (!t.Loaded) continue;
            line(t.Name + " " + std::to_string(t.Width) + "x" + std::to_string(t.Height));
            ++textures;
        }
    }
    line("count textures=" + std::to_string(textures));
    WriteFileAtomic("Surfaces.txt", text);
    return 0;
}

int TMainForm::LoadTextures(lua_State* L) {
    TLoadingScope loading(*this);
    const int arguments = lua_gettop(L);
    const bool showProgress = ArgBoolean(L, 2);
    if (arguments >= 2) {
        // A free flag given by the script overrides what the catalogue says of every picture.
        const bool freeFlag = ArgBoolean(L, arguments >= 3 ? 3 : 2);
        for (tTexSurface& entry : PictureCatalogue) entry.FreeAfterLoad = freeFlag;
    }
    const D3DFORMAT format = LoadFormat(ArgBoolean(L, 4));
    const std::vector<std::string> items = TextureItems(ArgString(L, 1));
    if (showProgress) Draw();

    // The catalogue is indexed, not iterated: a progress frame runs script code, which may add
    // aliases to it.
    const size_t count = PictureCatalogue.size();
    for (size_t i = 0; i < count && i < PictureCatalogue.size(); ++i) {
        if (showProgress) ShowLoadProgress(*this, Progress(i, count));
        const tTexSurface entry = PictureCatalogue[i];
        for (const std::string& item : items) {
            if (item != entry.TextureName) continue;
            if (KavSurfaceEngine3D)
                KavSurfaceEngine3D->CreateSufaceFromTexture(
                    entry.Name, CatalogueTextureFile(entry),
                    RECT{entry.PosX, entry.PosY, entry.PosX + entry.Width,
                         entry.PosY + entry.Height},
                    true, entry.Rotate, format, entry.FreeAfterLoad);
            break;
        }
    }
    return 0;
}

int TMainForm::ReLoadTextures(lua_State* L) {
    if (!KavSurfaceEngine3D) return 0;
    const std::vector<std::string> items = TextureItems(ArgString(L, 1));
    for (const tTexSurface& entry : PictureCatalogue)
        for (const std::string& item : items)
            if (item == entry.TextureName) KavSurfaceEngine3D->RemoveSurface(entry.Name);
    return 0;
}

int TMainForm::LoadAllTextures(lua_State*) {
    if (!KavSurfaceEngine3D || !DirectoryExists(kTexturesFolder)) return 0;
    KavSurfaceEngine3D->ClearTextures();
    for (const FindEntry& e : FindFiles(kTexturesFolder + "\\*.*")) {
        if (e.Name == "." || e.Name == "..") continue;
        KavSurfaceEngine3D->AddTextureFile(e.Name);
    }
    return 0;
}

int TMainForm::DublicateSurface(lua_State* L) {
    const std::string name = ArgString(L, 1);
    const std::string source = ArgString(L, 2);
    if (FindCatalogueEntry(name) >= 0) {
        LogEngine().AddWarning("TMainForm.DublicateSurface surface " + name + " alredy exist");
        return 0;
    }
    const int c = FindCatalogueEntry(source);
    if (c < 0) {
        LogEngine().AddWarning("TMainForm.DublicateSurface surface " + source + " not exist");
        return 0;
    }
    tTexSurface alias = PictureCatalogue[size_t(c)];
    alias.LinkIndex = c;
    alias.Name = name;
    PictureCatalogue.push_back(std::move(alias));
    return 0;
}

int TMainForm::SetPreLoadInMemory(lua_State* L) {
    if (lua_gettop(L) >= 1 && KavSurfaceEngine3D)
        KavSurfaceEngine3D->PreLoadInMemory = ArgBoolean(L, 1);
    return 0;
}

int TMainForm::LoadSplash(lua_State* L) {
    SplashList.emplace();
    if (!DirectoryExists(kSplashFolder)) return 0;
    std::vector<std::string> names;
    for (const FindEntry& e : FindFiles(kSplashFolder + "\\*.*")) {
        if (e.Attr == kAttrDirectory || e.Name == "." || e.Name == "..") continue;
        const std::string lower = LowerCase(e.Name);
        if (Contains(lower, ".png") || Contains(lower, ".jpg")) names.push_back(e.Name);
    }
    // A C function is only promised 20 free stack slots; a large splash folder needs more.
    if (!names.empty() && !lua_checkstack(L, int(names.size())))
        throw ERangeError("TMainForm.LoadSplash: " + std::to_string(names.size()) +
                          " splash pictures do not fit on the script's stack");
    for (const std::string& name : names) {
        lua_pushlstring(L, name.data(), name.size());
        if (KavSurfaceEngine3D)
            KavSurfaceEngine3D->CreateSufaceFromTexture(name, name, RECT{}, true, false,
                                                        D3DFMT_UNKNOWN, false);
        SplashList->push_back(name);
    }
    return int(names.size());
}

int TMainForm::ReLoadSplash(lua_State*) {
    if (!SplashList) return 0;
    if (KavSurfaceEngine3D)
        for (const std::string& name : *SplashList) KavSurfaceEngine3D->RemoveSurface(name);
    SplashList.reset();
    return 0;
}

}  // namespace hv
