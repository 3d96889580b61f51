// The script bundle: the game's whole Lua text, shipped as "data\AllLua.lua" or in its stored
// form "data\AllLua.luac" (the text under a keyed, self-inverse byte transform), and the
// rebuilding of the bundle from the separate script files of the game folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

// The key of the stored form, built into the program and used in both directions.
inline constexpr std::string_view kBundleKey = "tavrin";
inline constexpr std::string_view kBundlePlainFile = "data\\AllLua.lua";
inline constexpr std::string_view kBundleStoredFile = "data\\AllLua.luac";
// Always read first by ReLoadLua, whatever the folder listing says.
inline constexpr std::string_view kInterfaceTemplatesFile = "KavInterfaceTemplatesEngine.lua";

// Turns the plain text into the stored form and the stored form back into the text: the source
// is taken in blocks of 8 bytes; byte i of a block is XORed with byte i of the key block, whose
// byte i is byte (i mod L) of the key of length L (an empty key counts as "1"). The result has
// the length of the source; applying the transform twice with one key gives the source back.
std::string TransformScriptStream(std::string_view source, std::string_view key);

// The bundle's text: the lines joined, each followed by CR LF.
std::string BundleText(const std::vector<std::string>& lines);

// Reads the bundle of the current folder: the plain text when "data\AllLua.lua" exists (and
// rewrites "data\AllLua.luac" from it where it differs, so that the stored form always follows
// the text; when
// that write fails, as in a read-only game folder, a warning is logged and the text runs all
// the same); otherwise the stored form decoded. Nothing when neither exists; the caller logs and
// ends. Throws EInOutError when a bundle file cannot be read or cannot be told to be missing.
std::optional<std::vector<std::string>> ReadScriptBundle();
// ReadScriptBundle, logging the hint "data\AllLua.lua not exist " when there is no bundle.
std::optional<std::vector<std::string>> LoadScriptBundle();

// The files ReLoadLua joins, in order: "KavInterfaceTemplatesEngine.lua" first, then every
// "*.lua" of the current folder in listing order, without folders, "AllLua.lua", "AllLua.luac"
// and names already listed (compared without regard to case, since the game folder is looked
// up that way).
std::vector<std::string> ReLoadLuaFileNames();

}  // namespace hv
