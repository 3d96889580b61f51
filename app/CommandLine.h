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

// Reads the arguments (without the program name). All comparisons are exact. A window size
// whose parts are not integers ("[100,20", "[a,b]") throws EConvertError; one whose width or
// height is outside 1 to 16384 (other than [0,0], no size) throws ERangeError naming the
// argument and the limits.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace hv
