// Keyboard translation of the window layer: SDL keys to Windows virtual-key codes, and
// the characters Windows makes of keys that SDL gives no text for.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/win32/win32.h"

namespace hv {

// The virtual-key code of a key, 0 when it has none. Letters follow the keyboard layout (the
// key that types "a" is 'A'); digits, punctuation and the keypad follow the key's position, as
// Windows reports them on a US layout.
UINT VirtualKeyFromSdl(SDL_Keycode key, SDL_Scancode scancode);

// Keys whose Windows key messages carry the extended-key bit (arrows, Insert, Delete, Home, End,
// the page keys, right Ctrl and Alt, keypad Enter and divide).
bool IsExtendedKey(SDL_Scancode scancode);

// The character TranslateMessage makes of a key press that gives no text input: Backspace 8
// (127 with Ctrl), Tab 9 (none with Ctrl or Alt), Enter 13 (10 with Ctrl), Escape 27, Ctrl+letter
// 1 to 26. -1 for every other key and for Ctrl+Alt, which types through the layout instead.
int ControlCharFor(UINT virtualKey, bool ctrl, bool alt);

}  // namespace hv
