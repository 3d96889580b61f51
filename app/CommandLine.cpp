#include "app/CommandLine.h"

#include "platform/convert.h"
#include "platform/exceptions.h"

namespace hv {

namespace {

// The largest client size a window can be asked for, in pixels, either way.
constexpr int32_t kMaxWindowSide = 16384;

// "[w,h]": w is the text between "[" and the first ","; h the text between that "," and the
// first "]" after it. A missing "," or "]" leaves an empty part, which is not an integer.
void ReadWindowSize(const std::string& arg, int32_t& width, int32_t& height) {
    const size_t comma = arg.find(',');
    const std::string w = comma == std::string::npos ? "" : arg.substr(1, comma - 1);
    width = StrToInt(w);
    const std::string rest = arg.substr(comma + 1);
    const size_t bracket = rest.find(']');
    height = StrToInt(bracket == std::string::npos ? "" : rest.substr(0, bracket));
    // Sizes no window can have would only fail later, as a device error that names nothing.
    const auto fits = [](int32_t side) { return side >= 1 && side <= kMaxWindowSide; };
    if ((width != 0 || height != 0) && !(fits(width) && fits(height)))
        throw ERangeError("The window size " + arg + " is no window's size: width and height " +
                          "must each be 1 to " + std::to_string(kMaxWindowSide) +
                          " pixels ([0,0] leaves the size to the game)");
}

}  // namespace

THostOptions ReadHostOptions(const std::vector<std::string>& args,
                             const std::optional<std::string>& gameFolderVariable) {
    THostOptions o;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--version") {
            o.Version = true;
        } else if (arg == "--help") {
            o.Help = true;
        } else if (arg == "--game" || arg.starts_with("--game=")) {
            if (arg == "--game") {
                if (++i == args.size()) {
                    o.Error = "--game needs a folder";
                    break;
                }
                o.GameFolder = args[i];
            } else {
                o.GameFolder = arg.substr(7);
            }
            if (o.GameFolder->empty()) o.Error = "--game needs a folder";
        } else {
            break;
        }
    }
    o.GameArgsFrom = i;
    if (!o.GameFolder && gameFolderVariable && !gameFolderVariable->empty())
        o.GameFolder = gameFolderVariable;
    return o;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine c;
    for (const std::string& arg : args) {
        if (arg == "-w") c.Windowed = true;
        if (!arg.empty() && arg[0] == '[') ReadWindowSize(arg, c.ConfigWidth, c.ConfigHeight);
    }
    if (!args.empty() && args[0] == "-e") {
        std::string list;
        for (const std::string& arg : args)
            if (arg != "-e" && arg != "-w" && arg.find('[') == std::string::npos) list += arg + ";";
        c.EffectsParam = list;
    }
    if (!args.empty() && args[0] == "-s") {
        c.EffectsParam = "";
        if (args.size() == 1) {
            c.EndAtOnce = true;
        } else {
            const std::string& name = args[1];
            c.StartNameParam = name.substr(0, name.find('.'));
        }
    }
    return c;
}

}  // namespace hv
