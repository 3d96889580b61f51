#include "main/SettingsText.h"

namespace hv {

std::string FindSettingValue(std::string_view name, std::string_view text) {
    size_t at = text.find(name);
    if (at == std::string_view::npos) return {};
    size_t start = at + name.size() + 1;
    size_t end = text.size() - 1;  // text is not empty here unless name is empty
    if (text.empty() || start >= end) return {};
    std::string_view value = text.substr(start, end - start);
    size_t semi = value.find(';');
    if (semi != std::string_view::npos) value = value.substr(0, semi);
    return std::string(value);
}

std::vector<std::string> SettingsLines(std::string_view text) {
    std::vector<std::string> lines;
    for (;;) {
        size_t semi = text.find(';');
        if (semi == std::string_view::npos) break;
        size_t start = text.find_first_not_of("\t\r\n");
        // The blanks stand before a ";", so `start` is at most `semi`.
        std::string_view piece = text.substr(start, semi - start);
        if (!piece.empty()) lines.emplace_back(piece);
        text.remove_prefix(semi + 1);
    }
    return lines;
}

std::vector<std::pair<std::string, std::string>> ProjectSettingsPairs(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (;;) {
        size_t semi = text.find(';');
        if (semi == std::string_view::npos) break;
        std::string_view pair = text.substr(0, semi);
        size_t eq = pair.find('=');
        if (eq != std::string_view::npos)
            pairs.emplace_back(std::string(pair.substr(0, eq)), std::string(pair.substr(eq + 1)));
        text.remove_prefix(semi + 1);
    }
    return pairs;
}

std::string LowerCaseAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return lower;
}

}  // namespace hv
