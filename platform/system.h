// The host's view of the running system: time, environment and its well-known folders.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hv {

// Milliseconds from a fixed point in the past, monotonic, wrapping at 2^32 like the Windows
// tick count. Differences taken as uint32 stay right across the wrap.
uint32_t GetTickCount();

// The value of an environment variable; nothing when it is not set.
std::optional<std::string> GetEnv(const char* name);

// Whether frames wait for the display's refresh: true unless HALVARDINE_VSYNC is "0" (set for
// benchmarks, which measure the work alone). Read at the first call.
bool WaitForDisplay();

// The program's folder: the current folder at start-up (the game folder), with a trailing "/".
// The first call fixes it; call once early in main().
const std::string& ExeDir();

// The folder that plays the part of Windows' APPDATA: $APPDATA when set and not empty, else
// $XDG_DATA_HOME, else $HOME/.local/share. Empty when none of these is known. No trailing "/".
std::string AppDataDir();

// The command line as the program received it. SetCommandLine is called once by main();
// ParamStr(0) is the program, ParamStr(1..ParamCount()) the arguments; an index outside that
// range gives "".
void SetCommandLine(int argc, const char* const* argv);
int ParamCount();
std::string ParamStr(int index);

// Makes the C library's allocator hand every block of a megabyte or more straight back to the
// system when it is freed. Left alone, the allocator raises that threshold to the largest block
// freed so far (a decoded picture of tens of megabytes); from then on the driver's streamed
// buffers of a few megabytes come from the heap and, freed in another order each time, scatter
// free space over it, so that resident memory creeps up frame after frame. Call once at start.
void KeepLargeBlocksOutOfTheHeap();

// The executable's own file name ("halvardine"), for reports that name the module.
std::string ModuleName();

}  // namespace hv
