// The lookups of the drawing calls (the name index behind FindSurface, FindTexture and the
// catalogue search; the shape cache's table): each must answer as a
// search from the start of the list would, through every way the lists change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine3d/NameIndex.h"
#include "engine3d/ShapeTable.h"

namespace hv {
namespace {

struct TNamed {
    std::string Name;
};

int Scan(const std::vector<TNamed>& list, const std::string& name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].Name == name) return int(i);
    return -1;
}

TEST(NameIndex, AnswersAsASearchFromTheStartThroughAppendsRemovalsAndClearing) {
    std::vector<TNamed> list{{"a.png"}, {"b.png"}, {"a.png"}, {"c.png"}};
    TNameIndex<TNamed> index;
    const std::vector<std::string> names{"a.png", "b.png", "c.png", "d.png", "A.png", ""};
    auto check = [&](const char* step) {
        for (const std::string& n : names)
            EXPECT_EQ(index.Find(list, n), Scan(list, n)) << step << " " << n;
    };
    check("start");  // a repeated name: the first one wins
    list.push_back({"d.png"});
    check("appended");
    // Removal as the engine does it: the last entry takes the removed one's place.
    list[1] = std::move(list.back());
    list.pop_back();
    check("removed");
    list.erase(list.begin());
    check("erased at the front");
    list.clear();
    check("cleared");
    for (int i = 0; i < 100; ++i) list.push_back({std::to_string(i) + ".png"});
    EXPECT_EQ(index.Find(list, "77.png"), 77);
}

TEST(NameIndex, AnEntryMovedWithoutChangingTheSizeIsFoundWhereItIsNow) {
    std::vector<TNamed> list{{"x"}, {"y"}, {"z"}};
    TNameIndex<TNamed> index;
    EXPECT_EQ(index.Find(list, "z"), 2);
    std::swap(list[0], list[2]);
    EXPECT_EQ(index.Find(list, "z"), 0);
    EXPECT_EQ(index.Find(list, "x"), 2);
}

}  // namespace
}  // namespace hv

namespace hv {
namespace {

// The shape cache's table: as the engine uses it, a ring of at most 64 shapes whose oldest
// gives its place to the next new one, with keys that collide often (small hash range).
struct TKeyed {
    int Key;
};

TEST(ShapeTable, AnswersAsAScanThroughARingOfReplacedShapes) {
    TShapeTable<TKeyed, 64> table;
    std::vector<TKeyed> cache;
    auto hashOf = [](const TKeyed& s) { return uint64_t(s.Key % 7); };  // many collisions
    auto find = [&](int key) {
        return table.Find(cache, uint64_t(key % 7), hashOf,
                          [&](const TKeyed& s) { return s.Key == key; });
    };
    auto scan = [&](int key) {
        for (size_t i = 0; i < cache.size(); ++i)
            if (cache[i].Key == key) return int(i);
        return -1;
    };
    size_t next = 0;
    uint32_t seed = 12345;
    for (int step = 0; step < 3000; ++step) {
        seed = seed * 1103515245u + 12345u;
        const int key = int(seed >> 16) % 300;
        if (find(key) >= 0) continue;
        if (cache.size() < 64) {
            cache.push_back({key});
            table.Insert(cache, int32_t(cache.size() - 1), hashOf(cache.back()), hashOf);
        } else {
            const size_t at = next++ % cache.size();
            table.Erase(cache, int32_t(at), hashOf(cache[at]), hashOf);
            cache[at] = {key};
            table.Insert(cache, int32_t(at), hashOf(cache[at]), hashOf);
        }
        for (int k = 0; k < 300; k += 7) ASSERT_EQ(find(k), scan(k)) << "step " << step;
        ASSERT_EQ(find(key), scan(key)) << "step " << step;
    }
    // Emptied behind the table's back, then refilled: the table follows.
    cache.clear();
    EXPECT_EQ(find(5), -1);
    cache.push_back({5});
    EXPECT_EQ(find(5), 0);
}

}  // namespace
}  // namespace hv
