// The ordered text key-value store behind the game's settings ("GameParams.txt") and the
// player's profile ("Profile.txt"), with its one-pair-per-line file form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hv {

struct TAssPair {
    std::string Key;
    std::string Value;
};

// Pairs in insertion order. Keys loaded from a file may repeat; searches take the first match.
// Keys and values are kept byte for byte (no trimming, no case folding).
class tAssArray {
public:
    tAssArray() = default;
    virtual ~tAssArray() = default;

    std::vector<TAssPair> Items;

    void Clear() { Items.clear(); }
    int Count() const { return int(Items.size()); }

    // Index of the first pair whose key equals `key` exactly, or -1.
    int IndexOf(std::string_view key) const;

    // Appends the pair unless the key is present already (then the old value stays).
    virtual void Add(const std::string& key, const std::string& value);
    // "key=value": Add of the text before the first "=" and the text after it. Lines without
    // "=" are ignored.
    virtual void AddLine(const std::string& line);
    // Replaces the value of an existing key; a missing key adds nothing.
    virtual void SetValue(std::string_view key, const std::string& value);
    // Replaces the value at `index` when 0 <= index < Count(); otherwise nothing.
    virtual void SetValueAt(int index, const std::string& value);

    // A missing file changes nothing. Otherwise the store takes as many pairs as the file has
    // lines (pairs kept below that count, dropped beyond it, new ones empty) and line i, when it
    // holds "=", becomes pair i; a line without "=" leaves pair i as it was. Line ends: CR, LF or
    // CR LF. Throws EInOutError, the store unchanged, when the file cannot be read or cannot be
    // told to be missing (an unreadable folder, a loop of links): a profile out of reach must
    // not pass for an empty one that the next save would write over it.
    void LoadFromFile(std::string_view path);

    // The file form: key "=" value CR LF per pair, in order; empty for an empty store. It reads
    // back as the same pairs unless a key holds "=", a key or value holds a line break, or the
    // first key begins with a UTF-8 byte-order mark (taken for an editor's mark when read).
    std::string Text() const;

    // Replaces the file with Text(). The old file is replaced whole or not at all: the new
    // content goes to a temporary file in the same folder, is synced and then renamed over the
    // old one, so a crash mid-save can never leave a half-written profile. Throws EInOutError
    // (the old file untouched) when the file cannot be written.
    void SaveToFile(std::string_view path) const;
};

}  // namespace hv
