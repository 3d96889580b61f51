#include "main/LinkFile.h"

#include "main/SettingsText.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/shell/shell.h"

namespace hv {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

}  // namespace

std::optional<std::string> ReadInternetShortcutUrl(std::string_view fileText) {
    bool inSection = false;
    for (const std::string& raw : SplitLines(SkipByteOrderMark(fileText))) {
        std::string_view line = TrimBlanks(raw);
        if (!line.empty() && line.front() == '[') {
            inSection = LowerCaseAscii(line) == "[internetshortcut]";
            continue;
        }
        if (!inSection) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (LowerCaseAscii(TrimBlanks(line.substr(0, eq))) != "url") continue;
        return std::string(TrimBlanks(line.substr(eq + 1)));
    }
    return std::nullopt;
}

bool IsWebUrl(std::string_view url) {
    std::string lower = LowerCaseAscii(url.substr(0, 8));
    size_t rest;
    if (lower.starts_with("http://"))
        rest = 7;
    else if (lower.starts_with("https://"))
        rest = 8;
    else
        return false;
    if (url.size() <= rest) return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7f) return false;
    return true;
}

TLinkResult OpenLinkFile(std::string_view path) {
    TLinkResult result;
    std::string text;
    try {
        text = ReadFileBytes(path);
    } catch (const Exception& e) {
        result.Reason = e.Message();
        return result;
    }
    std::optional<std::string> url = ReadInternetShortcutUrl(text);
    if (!url) {
        result.Reason = "no URL= line in an [InternetShortcut] section";
        return result;
    }
    result.Url = *url;
    if (!IsWebUrl(*url)) {
        result.Reason = "not an http or https URL";
        return result;
    }
    std::string error;
    if (!SpawnDetached("xdg-open", {*url}, &error)) {
        result.Reason = "cannot start " + error;
        return result;
    }
    result.Opened = true;
    return result;
}

}  // namespace hv
