// The game's farewell link: "Link.url", a Windows Internet shortcut left in the game folder,
// opened with the desktop's browser when the game ends.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hv {

inline constexpr std::string_view kLinkFile = "Link.url";

// The URL of an Internet shortcut: the first "URL=" line of its "[InternetShortcut]" section
// (section and key names without regard to case, blanks around the value dropped; a UTF-8
// byte-order mark before the section is skipped). Nothing when the file has no such line.
std::optional<std::string> ReadInternetShortcutUrl(std::string_view fileText);

// True for an "http://" or "https://" URL (scheme in any case) with something after the "//"
// and no blanks or control characters: the only links the host hands to the browser.
bool IsWebUrl(std::string_view url);

// What opening a link file came to: the URL handed to the desktop's opener, or why not.
struct TLinkResult {
    bool Opened = false;
    std::string Url;     // the URL found, when there is one
    std::string Reason;  // why nothing was opened
};

// Reads the Internet shortcut `path` and, when it names a web URL, starts the desktop's opener
// "xdg-open" with it (no shell, not waited for). Never throws.
TLinkResult OpenLinkFile(std::string_view path);

}  // namespace hv
