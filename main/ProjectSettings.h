// Program-wide names and folders of the running game: the project name, and the per-user folder
// that holds the log file, "GameParams.txt" and "Profile.txt".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hv {

// The game's project name; names the per-user folder and the log file.
inline std::string ProjectName = "Halvardine";
// The per-user folder, with a trailing "/"; empty (the current folder) until SetUpUserDataDir
// runs.
inline std::string UserDataDir;
// The game's settings and the player's profile, in the per-user folder.
inline constexpr char kGameParamsFile[] = "GameParams.txt";
inline constexpr char kProfileFile[] = "Profile.txt";

// 1 when the game runs full screen, 0 in a window; fixed by the application before the form
// starts.
inline int32_t FullScreenFlag = 0;
// Tick count taken when the form started; every time given to the script is ElapsedMs().
inline uint32_t StartTickCount = 0;
// Milliseconds since StartTickCount as a 32-bit value (right across the tick count's wrap).
int32_t ElapsedMs();

// Points UserDataDir at <application data>/My Games/Orvandel/<ProjectName>/, creating it with
// its parents (a failure to create is ignored), or at the program's folder when no application
// data folder is known.
void SetUpUserDataDir();

// Applies a project settings string: each "name=value;" pair in order, "ProjectName" setting
// the project name and "DetalizationMode" the detail level of the current default log file; a
// last pair without ";" is not applied. Then the per-user folder and the log file
// <UserDataDir><ProjectName>.log are derived again from the (new) project name, and that log
// file becomes the default one. A "DetalizationMode" that is not an integer throws
// EConvertError; the pairs after it are not applied and the folders stay as they were.
void ApplyProjectSettings(std::string_view settings);

}  // namespace hv
