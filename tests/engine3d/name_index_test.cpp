// The name index behind FindSurface, FindTexture and the catalogue search: it must answer as a
// search from the start of the list would, through every way the lists change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine3d/NameIndex.h"

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
