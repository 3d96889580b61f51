// The viewer configuration: "KavViewer.config" and the viewer command line.
#include "log/KavLogEngine.h"
#include "main/MainForm.h"
#include "main/SettingsText.h"
#include "platform/convert.h"
#include "platform/files.h"
#include "platform/system.h"
#include "support/KavParser.h"

namespace hv {

namespace {

constexpr const char* kConfigFile = "KavViewer.config";

std::string Trimmed(std::string_view text) {
    return std::string(KavTrim(text));
}

// A data folder as the host writes it: with its trailing backslash. An empty name keeps the
// folder in force, since "" + "\" would name the root.
void SetDataFolder(std::string& dataPath, const std::string& folder) {
    if (folder.empty()) return;
    dataPath = folder;
    if (dataPath.back() != '\\') dataPath += '\\';
}

// "true" or "false" (already trimmed and lower-cased) sets the flag; other text leaves it.
void SetFlagFromText(bool& flag, const std::string& text) {
    if (text == "true") flag = true;
    if (text == "false") flag = false;
}

int32_t IntegerAttribute(const TKavXMLTag& tag, std::string_view name) {
    const TKavParserAttribute* a = tag.FindAttribute(name);
    return a ? StrToInt(a->Value) : 0;
}

}  // namespace

void TMainForm::ReadScalingSetting() {
    std::string text, source;
    if (const auto variable = GetEnv("HALVARDINE_SCALING")) {
        text = *variable;
        source = "HALVARDINE_SCALING";
    } else if (FileExists(kConfigFile)) {
        TKavParser parser;
        parser.LoadFromFile(kConfigFile);
        const TKavXMLTag* top = parser.FindChild("KavViewerConfigFile");
        const TKavXMLTag* scaling = top ? top->FindChild("Scaling") : nullptr;
        if (!scaling) return;
        text = scaling->Value();
        source = kConfigFile;
    } else {
        return;
    }
    if (const std::optional<TScaling> chosen = ScalingFromText(text)) {
        DisplayScaling = *chosen;
        LogEngine().AddHint("TMainForm.ReadScalingSetting " + source + ": " +
                            ScalingName(DisplayScaling));
    } else {
        LogEngine().AddWarning("TMainForm.ReadScalingSetting " + source + " says '" + text +
                               "'; expected keep, whole or stretch; the shape is kept");
    }
}

int TMainForm::ParseParameters(lua_State*) {
    if (FileExists(kConfigFile)) ParseParametersFromConfig();
    ParseParametersFromParamStr();
    return 0;
}

void TMainForm::ParseParametersFromConfig() {
    TKavParser parser;
    parser.LoadFromFile(kConfigFile);
    // The top element is a child of the root ("root", or "xml" after an XML head).
    const TKavXMLTag* top = parser.FindChild("KavViewerConfigFile");
    if (!top) return;

    if (const TKavXMLTag* mode = top->FindChild("Mode")) {
        std::string text = LowerCaseAscii(Trimmed(mode->Value()));
        if (text == "effectviewer") ViewerMode = kViewerEffects;
        if (text == "interfaceviewer") ViewerMode = kViewerInterface;
        if (text == "testing") ViewerMode = kViewerTesting;
    }
    if (const TKavXMLTag* back = top->FindChild("Background")) {
        HasBackground = true;
        if (const TKavParserAttribute* redraw = back->FindAttribute("Redraw"))
            SetFlagFromText(BackgroundRedraw, LowerCaseAscii(Trimmed(redraw->Value)));
        BackgroundName = Trimmed(back->Value());
    }
    if (const TKavXMLTag* path = top->FindChild("Path")) {
        if (const TKavParserAttribute* from = path->FindAttribute("FromFileFolder"))
            SetFlagFromText(FromFileFolder, LowerCaseAscii(Trimmed(from->Value)));
        SetDataFolder(DataPath, Trimmed(path->Value()));
    }
    if (const TKavXMLTag* effects = top->FindChild("Effects")) {
        for (const auto& child : effects->Children()) {
            if (child->Name() != "Effect") continue;
            TEffectDesc e;
            e.Name = Trimmed(child->Value());
            e.X = IntegerAttribute(*child, "X");
            e.Y = IntegerAttribute(*child, "Y");
            ViewerEffects.push_back(std::move(e));
        }
    }
}

void TMainForm::ParseParametersFromParamStr() {
    const int n = ParamCount();
    int next = 1;  // the first argument not consumed by the switch
    const std::string first = ParamStr(1);
    if (n >= 1 && first.size() >= 2 && first[0] == '-') {
        switch (first[1]) {
            case 't':
                ViewerMode = kViewerTesting;
                break;
            case 'i':
                ViewerMode = kViewerInterface;
                break;
            case 'e':
                next = 2;
                for (size_t i = 2; i < first.size(); ++i) {
                    if (next > n) continue;  // a letter without an argument left does nothing
                    const char letter = first[i];
                    if (letter != 'B' && letter != 'b' && letter != 'P' && letter != 'p') continue;
                    const std::string arg = ParamStr(next++);
                    switch (letter) {
                        case 'B':
                        case 'b':
                            HasBackground = true;
                            BackgroundRedraw = letter == 'b';
                            BackgroundName = arg;
                            break;
                        case 'P':
                            FromFileFolder = true;
                            DataPath = arg;
                            break;
                        case 'p':
                            FromFileFolder = false;
                            SetDataFolder(DataPath, arg);
                            break;
                    }
                }
                ViewerMode = kViewerEffects;
                break;
            default:
                break;
        }
    }
    for (int i = next; i <= n; ++i) ViewerEffects.push_back(TEffectDesc{ParamStr(i), 0, 0});
}

}  // namespace hv
