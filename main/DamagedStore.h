// Telling a store file that the game cannot have saved (a file filled with zero bytes after a
// crash, a binary file put in its place) from the player's settings, so that a damaged file is
// set aside instead of ending every start or being handed to the script as settings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hv {

// Why `bytes`, the file of a store that loaded as `pairs` pairs, cannot be a store the game
// saved; empty when it can. A saved store is text, so it never holds a zero byte; and it never
// holds more than `maxPairs` pairs when the script cannot receive more.
std::string StoreDamage(std::string_view bytes, size_t pairs, size_t maxPairs);

// The name a damaged store's file is kept under beside it: "GameParams.txt.damaged".
std::string DamagedStoreName(std::string_view fileName);

}  // namespace hv
