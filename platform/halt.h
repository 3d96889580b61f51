// Ending the program. Every exit path of the host goes through Halt, so that the program-wide
// finalisation (the log footers among it) runs exactly once whichever way the program ends.
#pragma once

#include <functional>

namespace hv {

// Registers a step of the program-wide finalisation. Steps run in the reverse order of
// registration (last registered, first run), like the unit finalisation they stand for.
void AddFinalizer(std::function<void()> step);

// Runs the registered steps once; later calls do nothing. An exception from a step is
// swallowed so that the remaining steps still run.
void RunFinalizers();

// Ends the program at once with `exitCode`, after RunFinalizers.
[[noreturn]] void Halt(int exitCode);

}  // namespace hv
