// Finds a cached line, rectangle or triangle by its exact key in constant time. The cache (a
// vector of shapes, at most `Capacity` of them) holds the keys; the table holds only positions
// in it, in a fixed array with open addressing, so that a frame of moving shapes neither scans
// the whole cache per shape nor allocates.
//
// The table keeps count of what it holds; when the cache's size differs (the cache was emptied
// or changed behind its back) it rebuilds itself from the cache at the next search.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hv {

template <class TShape, size_t Capacity>
class TShapeTable {
public:
    // Position of the shape for which `matches(shape)` holds, or -1. `hash` is the key's hash
    // and must equal hashOf(shape) of that shape.
    template <class HashOf, class Matches>
    int Find(const std::vector<TShape>& cache, uint64_t hash, HashOf hashOf,
             Matches matches) const {
        if (count_ != cache.size()) Rebuild(cache, hashOf);
        for (size_t slot = Home(hash);; slot = Next(slot)) {
            const int32_t at = slots_[slot];
            if (at == kEmpty) return -1;
            if (matches(cache[size_t(at)])) return at;
        }
    }

    // Records that cache[position] (already there) now holds a shape whose key hashes to
    // `hash`. The cache holds one more shape than before, or the same number when the shape
    // took the place of one removed with Erase.
    template <class HashOf>
    void Insert(const std::vector<TShape>& cache, int32_t position, uint64_t hash, HashOf hashOf) {
        if (count_ + 1 != cache.size()) {
            Rebuild(cache, hashOf);
            return;
        }
        size_t slot = Home(hash);
        while (slots_[slot] != kEmpty) slot = Next(slot);
        slots_[slot] = position;
        count_ = cache.size();
    }

    // Forgets cache[position], whose key hashes to `hash`, before the shape there is replaced.
    // Later entries of the same run move back so that no search stops short.
    template <class HashOf>
    void Erase(const std::vector<TShape>& cache, int32_t position, uint64_t hash, HashOf hashOf) {
        if (count_ != cache.size()) Rebuild(cache, hashOf);
        size_t hole = Home(hash);
        while (slots_[hole] != position) {
            if (slots_[hole] == kEmpty) return;
            hole = Next(hole);
        }
        slots_[hole] = kEmpty;
        for (size_t slot = Next(hole); slots_[slot] != kEmpty; slot = Next(slot)) {
            const size_t home = Home(hashOf(cache[size_t(slots_[slot])]));
            // The entry may fill the hole when its home does not lie in (hole, slot].
            const bool between =
                hole < slot ? (home > hole && home <= slot) : (home > hole || home <= slot);
            if (!between) {
                slots_[hole] = slots_[slot];
                slots_[slot] = kEmpty;
                hole = slot;
            }
        }
        --count_;
    }

    // Makes the next search rebuild the table from the cache (after a change it was not told).
    void Forget() { count_ = size_t(-1); }

private:
    static constexpr int32_t kEmpty = -1;
    // Twice the cache's most, rounded up to a power of two: runs stay short.
    static constexpr size_t kSlots = [] {
        size_t n = 1;
        while (n < 2 * Capacity) n *= 2;
        return n;
    }();

    static size_t Home(uint64_t hash) {
        return size_t(hash * 0x9E3779B97F4A7C15ull >> 20) & (kSlots - 1);
    }
    static size_t Next(size_t slot) { return (slot + 1) & (kSlots - 1); }

    template <class HashOf>
    void Rebuild(const std::vector<TShape>& cache, HashOf hashOf) const {
        slots_.fill(kEmpty);
        // At most kSlots / 2 entries are indexed: a cache grown past its bound behind the
        // table's back is only partly found, never searched without end.
        const size_t n = cache.size() < kSlots / 2 ? cache.size() : kSlots / 2;
        for (size_t i = 0; i < n; ++i) {
            size_t slot = Home(hashOf(cache[i]));
            while (slots_[slot] != kEmpty) slot = Next(slot);
            slots_[slot] = int32_t(i);
        }
        count_ = cache.size();
    }

    mutable std::array<int32_t, kSlots> slots_ = [] {
        std::array<int32_t, kSlots> a{};
        a.fill(kEmpty);
        return a;
    }();
    mutable size_t count_ = 0;
};

}  // namespace hv
