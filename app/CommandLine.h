// The program's own command line: windowed start, the window size, the effect list and the
// start name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hv {

struct TCommandLine {
    bool Windowed = false;    // "-w" anywhere
    int32_t ConfigWidth = 0;  // "[w,h]" anywhere; the last one wins; 0 (both): none
    int32_t ConfigHeight = 0;
    // "-e" as the first argument: every argument but "-e", "-w" and window sizes, each followed
    // by ";". Unset when the mode is not used.
    std::optional<std::string> EffectsParam;
    // "-s NAME" as the first arguments: NAME cut before its first ".". Unset when not used.
    std::optional<std::string> StartNameParam;
    // "-s" with no name: the program ends at once with exit code 0, before any window exists.
    bool EndAtOnce = false;
};

// Options of the program itself, as opposed to the game's. They are read only at the front of
// the command line, before the first argument that is not one of them, and "--" ends them; so
// no argument a game gets (an effect list, a start name) is ever taken for one.
//   --version           print the program's name and version and end
//   --help              print the usage and end
//   --game DIR          run the game in folder DIR (also --game=DIR)
// The environment variable HALVARDINE_GAME_DIR names the game folder when --game is not given.
struct THostOptions {
    bool Version = false;
    bool Help = false;
    std::optional<std::string> GameFolder;  // unset: the current folder is the game folder
    size_t GameArgsFrom = 0;                // index of the game's first argument
    std::string Error;                      // not empty: the options cannot be used
};
THostOptions ReadHostOptions(const std::vector<std::string>& args,
                             const std::optional<std::string>& gameFolderVariable);

// Reads the arguments (without the program name). All comparisons are exact. A window size
// whose parts are not integers ("[100,20", "[a,b]") throws EConvertError; one whose width or
// height is outside 1 to 16384 (other than [0,0], no size) throws ERangeError naming the
// argument and the limits.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace hv
