// Reading the settings strings that the script hands to the host: "key=value;" pairs, as used
// for the game parameters, the player's profile and the project settings.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hv {

// The value of `name` in a settings string, found the simple way the game scripts rely on:
// empty when `name` does not occur in `text`; otherwise, from the first occurrence (which may
// sit inside another key or value), the text one character after the end of `name` (skipping
// its "=") up to, not including, the last character of `text`, cut before its first ";".
// For "a=1;b=2;" and "b" this gives "2"; for a last pair without closing ";" the value loses
// its last character ("a=1;b=22" gives "2").
std::string FindSettingValue(std::string_view name, std::string_view text);

// The pieces of a settings string that end with ";", in order, each with leading TAB, CR and LF
// removed; empty pieces are left out, and text after the last ";" is not a piece.
// "a=1;\r\nb=2;c" gives "a=1", "b=2".
std::vector<std::string> SettingsLines(std::string_view text);

// The pairs of a project settings string that are applied: each piece ended by ";" that holds
// "=", split at its first "=" into name and value. A last pair without closing ";" is not
// among them. "ProjectName=a=b;X;DetalizationMode=2" gives (ProjectName, a=b).
std::vector<std::pair<std::string, std::string>> ProjectSettingsPairs(std::string_view text);

// ASCII lower case; other bytes unchanged.
std::string LowerCaseAscii(std::string_view text);

}  // namespace hv
