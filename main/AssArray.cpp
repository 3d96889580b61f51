#include "main/AssArray.h"

#include "platform/files.h"

namespace hv {

int tAssArray::IndexOf(std::string_view key) const {
    for (size_t i = 0; i < Items.size(); ++i)
        if (Items[i].Key == key) return int(i);
    return -1;
}

void tAssArray::Add(const std::string& key, const std::string& value) {
    if (IndexOf(key) == -1) Items.push_back({key, value});
}

void tAssArray::AddLine(const std::string& line) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) return;
    Add(line.substr(0, eq), line.substr(eq + 1));
}

void tAssArray::SetValue(std::string_view key, const std::string& value) {
    int i = IndexOf(key);
    if (i >= 0) Items[size_t(i)].Value = value;
}

void tAssArray::SetValueAt(int index, const std::string& value) {
    if (index >= 0 && index < Count()) Items[size_t(index)].Value = value;
}

void tAssArray::LoadFromFile(std::string_view path) {
    if (!FilePresent(path)) return;
    std::vector<std::string> lines = ReadFileLines(path);
    Items.resize(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        Items[i].Key = line.substr(0, eq);
        Items[i].Value = line.substr(eq + 1);
    }
}

std::string tAssArray::Text() const {
    std::string text;
    for (const TAssPair& p : Items) {
        text += p.Key;
        text += '=';
        text += p.Value;
        text += "\r\n";
    }
    return text;
}

void tAssArray::SaveToFile(std::string_view path) const {
    WriteFileAtomic(path, Text());
}

}  // namespace hv
