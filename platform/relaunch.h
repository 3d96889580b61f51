// Starting the program over in another folder, so that a game can be run from anywhere: the
// game folder is the current folder at start-up, and everything derived from it at load time
// (the program's folder, the default log) is derived afresh.
#pragma once

#include <string>
#include <vector>

namespace hv {

// Makes `folder` the current folder, removes the environment variable `dropVariable` (so the
// new start does not move again), and replaces the running process by the same executable
// with `args` (args[0] is the program's name). Returns only when that failed, with the reason,
// for example "cannot enter /no/such: No such file or directory".
std::string RestartInFolder(const std::string& folder, const std::vector<std::string>& args,
                            const char* dropVariable);

}  // namespace hv
