// Which keys reach the script as virtual keys.
#pragma once

#include <cstdint>

namespace hv {

// The keys whose WM_KEYDOWN reaches the script (and whose codes WM_CHAR therefore never passes
// on): Backspace, Enter, Escape, End, Home, the four arrows, Insert, Delete.
bool IsScriptVirtualKey(uint32_t virtualKey);

}  // namespace hv
