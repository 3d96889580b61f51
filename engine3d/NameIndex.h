// Finds the first entry of a given name in a list of named entries (anything with a `Name`
// string) in constant time, for the lists searched on every drawing call.
//
// Contract with the list's owner: entries get their name before they join the list, and the
// list changes only by appending, removing (the last entry may take a removed one's place) and
// clearing, never by renaming an entry in place. The index sees such a change by the list's
// size or storage and rebuilds itself at the next search, so every change that goes through a
// search first (as adding a name that must not exist yet does) keeps it right.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hv {

template <class TEntry>
class TNameIndex {
public:
    // Position of the first entry named `name` (exact, case-sensitive), or -1.
    int Find(const std::vector<TEntry>& list, std::string_view name) const {
        if (list.size() != size_ || list.data() != data_) Rebuild(list);
        // A script asks for the same name many times in a row (a hit test in a loop).
        if (last_ < list.size() && list[last_].Name == name) return int(last_);
        auto it = positions_.find(name);
        if (it == positions_.end()) return -1;
        // An entry that is not where it was means the list changed behind the index's back.
        if (list[it->second].Name != name) {
            Rebuild(list);
            it = positions_.find(name);
            if (it == positions_.end()) return -1;
        }
        last_ = it->second;
        return int(it->second);
    }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };

    void Rebuild(const std::vector<TEntry>& list) const {
        positions_.clear();
        for (size_t i = 0; i < list.size(); ++i) positions_.try_emplace(list[i].Name, i);
        size_ = list.size();
        data_ = list.data();
        last_ = size_t(-1);
    }

    mutable std::unordered_map<std::string, size_t, Hash, std::equal_to<>> positions_;
    mutable size_t size_ = size_t(-1);
    mutable const TEntry* data_ = nullptr;
    mutable size_t last_ = size_t(-1);  // the position found last (the first of its name)
};

}  // namespace hv
