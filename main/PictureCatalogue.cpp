#include "main/PictureCatalogue.h"

#include "log/KavLogEngine.h"
#include "platform/convert.h"
#include "platform/exceptions.h"
#include "support/SFunctions.h"

namespace hv {
namespace {

constexpr std::string_view kSectionStart = "-- START Textures.lua";
constexpr std::string_view kSectionEnd = "-- END Textures.lua";

// Walks the ";"-ended fields of one catalogue line. Each field takes the next ";" that no earlier
// field has taken; its value is whatever stands between the field's key (found anywhere in the
// line) and that ";".
class FieldReader {
public:
    explicit FieldReader(std::string_view line) : line_(line) {}

    // Position of the next free ";", or npos when every ";" is taken.
    size_t NextSeparator() const { return line_.find(';', next_); }
    void Take(size_t separator) { next_ = separator + 1; }

    // Reads the field `key`. `found` reports whether the key occurs; the value is empty when it
    // does not or when it stands after the separator. Returns false when no ";" is left, in
    // which case nothing is read and nothing is taken.
    bool Read(std::string_view key, bool takeWhenMissing, std::string& value, bool& found) {
        size_t sep = NextSeparator();
        if (sep == std::string_view::npos) return false;
        size_t k = line_.find(key);
        found = k != std::string_view::npos;
        value.clear();
        if (found) {
            size_t start = k + key.size();
            if (start < sep) value.assign(line_.substr(start, sep - start));
        }
        if (found || takeWhenMissing) Take(sep);
        return true;
    }

private:
    std::string_view line_;
    size_t next_ = 0;
};

bool CatalogueBool(const std::string& text, int lineNumber) {
    try {
        return StrToBool(text);
    } catch (const EConvertError& e) {
        throw EConvertError("Textures.lua line " + std::to_string(lineNumber) + ": " + e.Message());
    }
}

}  // namespace

tTexSurface ReadCatalogueLine(std::string_view line, int lineNumber) {
    tTexSurface entry;
    FieldReader fields(line);

    // Name: after "{", a four-letter key, "=" and the opening quote; up to the closing quote
    // that stands right before the first ";".
    size_t sep = fields.NextSeparator();
    if (sep == std::string_view::npos) return entry;
    if (sep >= 8) entry.Name.assign(line.substr(7, sep - 8));
    fields.Take(sep);

    std::string value;
    bool found = false;
    if (!fields.Read("Texture=", true, value, found)) return entry;
    // Drop the quotes around the texture name.
    if (value.size() >= 2) entry.TextureName = value.substr(1, value.size() - 2);

    int* numbers[] = {&entry.PosX, &entry.PosY, &entry.Width, &entry.Height};
    const std::string_view numberKeys[] = {"PosX=", "PosY=", "Width=", "Height="};
    for (int i = 0; i < 4; ++i) {
        if (!fields.Read(numberKeys[i], true, value, found)) return entry;
        if (found) *numbers[i] = TextToIntLenient(value);
    }
    // A line without "Rotate=" leaves its ";" to Compress.
    if (!fields.Read("Rotate=", false, value, found)) return entry;
    if (found) entry.Rotate = CatalogueBool(value, lineNumber);
    if (!fields.Read("Compress=", true, value, found)) return entry;
    if (found) entry.Compress = CatalogueBool(value, lineNumber);
    return entry;
}

std::string CatalogueLineProblem(std::string_view line) {
    const size_t brace = line.find_first_not_of(" \t");
    if (brace == std::string_view::npos || line[brace] != '{') return {};
    if (brace > 0) return "it starts with a blank, so it is not an entry";
    const size_t sep = line.find(';');
    if (sep == std::string_view::npos) return "its fields are not ended by \";\"";
    if (sep < 8 || line[5] != '=' || line[6] != '"' || line[sep - 1] != '"')
        return "its name is not written as {name=\"...\"; right at the start";
    const std::string_view keys[] = {"Texture", "PosX", "PosY", "Width", "Height"};
    for (std::string_view key : keys)
        if (line.find(std::string(key) + "=") == std::string_view::npos)
            return "it has no " + std::string(key) + "=";
    // Optional fields, but a written one must be readable.
    for (std::string_view key : {"Rotate", "Compress"})
        if (line.find(key) != std::string_view::npos &&
            line.find(std::string(key) + "=") == std::string_view::npos)
            return "its " + std::string(key) + " is not followed by \"=\"";
    const size_t texture = line.find("Texture=") + 8;
    if (texture >= line.size() || line[texture] != '"')
        return "its Texture= is not followed by a quoted name";
    return {};
}

void ReadTexturesLua(const std::vector<std::string>& lines, TPictureCatalogue& catalogue) {
    catalogue.clear();
    size_t i = 0;
    while (i < lines.size() && lines[i] != kSectionStart) ++i;
    if (i == lines.size()) return;
    // The line right after the start marker is the section's own header and is not read.
    for (i += 2; i < lines.size() && lines[i] != kSectionEnd; ++i) {
        const std::string& line = lines[i];
        const std::string problem = CatalogueLineProblem(line);
        if (!problem.empty())
            LogEngine().AddWarning(
                "TMainForm.ReadTexturesLua line " + std::to_string(i + 1) +
                " looks like a picture but " + problem +
                " (write it as {name=\"a.png\"; Texture=\"atlas\"; PosX=0; "
                "PosY=0; Width=64; Height=64; Rotate=false; Compress=false;}): " +
                line);
        if (line.empty() || line[0] != '{') continue;
        catalogue.push_back(ReadCatalogueLine(line, int(i) + 1));
    }
}

int FindCatalogueEntry(const TPictureCatalogue& catalogue, std::string_view name) {
    for (size_t i = 0; i < catalogue.size(); ++i)
        if (catalogue[i].Name == name) return int(i);
    return -1;
}

std::string CatalogueTextureFile(const tTexSurface& entry) {
    std::string file = entry.TextureName;
    if (entry.Name.find(".png") != std::string::npos) file += ".png";
    if (entry.Name.find(".jpg") != std::string::npos) file += ".jpg";
    return file;
}

}  // namespace hv
