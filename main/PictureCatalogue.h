// The picture catalogue: every picture of the game described once (its atlas texture, its
// rectangle there, whether it is stored turned), read from the Textures.lua section that the
// script bundle carries between the lines "-- START Textures.lua" and "-- END Textures.lua".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hv {

struct tTexSurface {
    std::string Name;         // picture (surface) name; ".png"/".jpg" in it names the file type
    std::string TextureName;  // atlas texture file name without extension
    int PosX = 0, PosY = 0;   // top-left corner in the texture, texels
    int Width = 0, Height = 0;
    bool Compress = false;       // carried along; nothing uses it
    bool Rotate = false;         // the picture is stored turned
    bool FreeAfterLoad = false;  // drop the file's memory copy once the texture exists
    int LinkIndex = -1;          // entry this one is an alias of, -1 for none
};

using TPictureCatalogue = std::vector<tTexSurface>;

// Empties `catalogue`, then appends one entry per entry line of the Textures.lua section of
// `lines` (a line whose first character is "{"). A catalogue line looks like
//   {Name="hero.png";Texture="atlas01";PosX=0;PosY=0;Width=64;Height=64;Rotate=false;Compress=0;
// Numbers are read leniently (never an error); Rotate and Compress must be "True"/"False" in any
// case or a number, otherwise EConvertError names the offending line. A line of the section
// that looks like an entry but cannot be read as one is read (or skipped) as before, and a
// warning names its script line and what is wrong with it.
void ReadTexturesLua(const std::vector<std::string>& lines, TPictureCatalogue& catalogue);

// Why a line of the section that looks like a picture entry (its first non-blank character is
// "{") does not give the picture its author meant: empty when it reads as written.
std::string CatalogueLineProblem(std::string_view line);

// Reads one entry line into a fresh entry. `lineNumber` (1-based, in the script) only serves
// the error message.
tTexSurface ReadCatalogueLine(std::string_view line, int lineNumber = 0);

// Index of the first entry whose Name equals `name` exactly, or -1.
int FindCatalogueEntry(const TPictureCatalogue& catalogue, std::string_view name);

// The texture file of an entry: TextureName plus ".png" when Name contains ".png", plus ".jpg"
// when Name contains ".jpg".
std::string CatalogueTextureFile(const tTexSurface& entry);

}  // namespace hv
