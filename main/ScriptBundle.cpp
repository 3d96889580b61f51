#include "main/ScriptBundle.h"

#include <algorithm>

#include "log/KavLogEngine.h"
#include "main/SettingsText.h"
#include "platform/exceptions.h"
#include "platform/files.h"

namespace hv {

std::string TransformScriptStream(std::string_view source, std::string_view key) {
    if (key.empty()) key = "1";
    unsigned char keyBlock[8];
    for (size_t i = 0; i < 8; ++i) keyBlock[i] = (unsigned char)key[i % key.size()];

    std::string destination;
    destination.reserve(source.size());
    size_t pos = 0;
    for (;;) {
        unsigned char block[8] = {};
        size_t r = std::min<size_t>(8, source.size() - pos);
        for (size_t i = 0; i < r; ++i) block[i] = (unsigned char)source[pos + i];
        pos += r;
        for (size_t i = 0; i < 8; ++i) block[i] ^= keyBlock[i];
        destination.append(reinterpret_cast<const char*>(block), r);
        if (r < 8) break;
    }
    return destination;
}

std::string BundleText(const std::vector<std::string>& lines) {
    std::string text;
    size_t size = 0;
    for (const std::string& line : lines) size += line.size() + 2;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

namespace {

// True when the stored form on disk is exactly `stored`: then it need not be written again, and
// a start from an unchanged text spends no durable write (a flush to the disk) on it.
bool StoredFormIs(const std::string& stored) {
    try {
        return FilePresent(kBundleStoredFile) &&
               ReadFileBytes(kBundleStoredFile, stored.size() + 1) == stored;
    } catch (const EInOutError&) {
        return false;  // unreadable or larger: written again
    }
}

}  // namespace

std::optional<std::vector<std::string>> ReadScriptBundle() {
    if (FilePresent(kBundlePlainFile)) {
        std::vector<std::string> lines = ReadFileLines(kBundlePlainFile);
        // The stored form is only a copy: a game installed read-only still runs from its text.
        try {
            const std::string stored = TransformScriptStream(BundleText(lines), kBundleKey);
            if (!StoredFormIs(stored)) WriteFileAtomic(kBundleStoredFile, stored);
        } catch (const EInOutError& e) {
            LogEngine().AddWarning(
                "data\\AllLua.luac not written, the game runs from "
                "data\\AllLua.lua: " +
                e.Message());
        }
        return lines;
    }
    if (FilePresent(kBundleStoredFile))
        return SplitLines(
            SkipByteOrderMark(TransformScriptStream(ReadFileBytes(kBundleStoredFile), kBundleKey)));
    return std::nullopt;
}

std::optional<std::vector<std::string>> LoadScriptBundle() {
    auto bundle = ReadScriptBundle();
    if (!bundle) LogEngine().AddHint("data\\AllLua.lua not exist ");
    return bundle;
}

std::vector<std::string> ReLoadLuaFileNames() {
    std::vector<std::string> names{std::string(kInterfaceTemplatesFile)};
    auto listed = [&](const std::string& name) {
        std::string lower = LowerCaseAscii(name);
        for (const std::string& n : names)
            if (LowerCaseAscii(n) == lower) return true;
        return false;
    };
    for (const FindEntry& e : FindFiles("*.lua")) {
        if (e.Attr == kAttrDirectory || e.Attr == 0) continue;
        if (e.Name == "." || e.Name == ".." || e.Name == "AllLua.lua" || e.Name == "AllLua.luac")
            continue;
        if (listed(e.Name)) continue;
        names.push_back(e.Name);
    }
    return names;
}

}  // namespace hv
