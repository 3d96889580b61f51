// Starting another program the way the desktop expects: directly, never through a shell, so no
// text handed over can be read as a command.
#pragma once

#include <string>
#include <vector>

namespace hv {

// Starts `program` (searched in PATH when it has no "/") with `args` as its arguments, in a
// session of its own so that it outlives the game and does not share its terminal, and returns
// at once without waiting for it. False, with the reason in `error`, when it could not be
// started (for example when the program does not exist).
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args,
                   std::string* error = nullptr);

}  // namespace hv
