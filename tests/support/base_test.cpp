#include "support/Base.h"

#include <gtest/gtest.h>

using namespace hv;

namespace {

// An item with state of its own, a copy rule, and a switch that makes it fail.
class TTestItem : public TKavBaseObject {
public:
    TTestItem() : TKavBaseObject("TTestItem") {}
    const char* ClassName() const override { return "TTestItem"; }
    std::unique_ptr<TKavBaseObject> Create() const override {
        return std::make_unique<TTestItem>();
    }
    bool Assign(const TKavBaseObject* source) override {
        const auto* item = dynamic_cast<const TTestItem*>(source);
        if (item == nullptr || item->refuseCopy) return false;
        payload = item->payload;
        return TKavBaseObject::Assign(source);
    }
    bool Initialize() override {
        ++initialized;
        return !refuseInit;
    }
    int payload = 0;
    bool refuseCopy = false;
    bool refuseInit = false;
    int initialized = 0;
};

// A class that forgets its virtual constructor: copies of it would be mere base objects.
class TNoCreate : public TKavBaseObject {
public:
    const char* ClassName() const override { return "TNoCreate"; }
};

std::unique_ptr<TTestItem> Item(std::string_view name, int payload = 0) {
    auto item = std::make_unique<TTestItem>();
    item->SetName(name);
    item->payload = payload;
    return item;
}

TTestItem* TestItem(const TKavStaticCollection& c, int32_t index) {
    return dynamic_cast<TTestItem*>(c.GetItem(index));
}

}  // namespace

TEST(BaseTest, NamesDefaultToTheClassAndAreCutTo32Bytes) {
    EXPECT_EQ(TKavBaseObject().Name(), "KavBaseObject_Default");
    EXPECT_EQ(TKavStaticCollection().Name(), "KavStaticCollection_Default");
    EXPECT_EQ(TKavMorphFuncLib().Name(), "KavMorphFuncLib_Default");
    EXPECT_EQ(TKavMorphLib().Name(), "KavMorphLib_Default");
    EXPECT_EQ(TKavMorphLib().Create()->ClassName(), std::string("TKavMorphLib"));
    EXPECT_EQ(TKavMorphFuncLib().Create()->Name(), "KavMorphFuncLib_Default");

    TKavBaseObject object;
    object.SetName("0123456789012345678901234567890123456789");
    EXPECT_EQ(object.Name(), "01234567890123456789012345678901");
    object.SetName("");
    EXPECT_EQ(object.Name(), "");
    EXPECT_FALSE(object.Assign(nullptr));
    EXPECT_TRUE(object.Initialize());
}

TEST(BaseTest, SlotsAreAddedInOrderAndOutOfRangeGivesNothing) {
    TKavStaticCollection c;
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.Add(Item("a")), 0);
    EXPECT_EQ(c.Add(nullptr), 1);
    EXPECT_EQ(c.Add(Item("c")), 2);
    EXPECT_EQ(c.Count(), 3);
    EXPECT_EQ(c.GetItem(0)->Name(), "a");
    EXPECT_EQ(c.GetItem(1), nullptr);
    EXPECT_EQ(c.GetItem(-1), nullptr);
    EXPECT_EQ(c.GetItem(3), nullptr);
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.GetItem(0), nullptr);
}

TEST(BaseTest, AssignCopiesSlotsIntoNewObjectsOfTheSameClasses) {
    TKavStaticCollection source;
    source.SetName("source");
    source.Add(Item("first", 7));
    source.Add(nullptr);
    auto inner = std::make_unique<TKavMorphLib>();
    inner->SetName("inner");
    inner->Add(Item("deep", 9));
    source.Add(std::move(inner));

    TKavMorphFuncLib target;
    target.Add(Item("old"));
    ASSERT_TRUE(target.Assign(&source));
    EXPECT_EQ(target.Name(), "source");
    ASSERT_EQ(target.Count(), 3);
    ASSERT_NE(TestItem(target, 0), nullptr);
    EXPECT_NE(target.GetItem(0), source.GetItem(0));
    EXPECT_EQ(TestItem(target, 0)->Name(), "first");
    EXPECT_EQ(TestItem(target, 0)->payload, 7);
    EXPECT_EQ(target.GetItem(1), nullptr);
    auto* copiedInner = dynamic_cast<TKavMorphLib*>(target.GetItem(2));
    ASSERT_NE(copiedInner, nullptr);
    EXPECT_EQ(copiedInner->Name(), "inner");
    ASSERT_EQ(copiedInner->Count(), 1);
    EXPECT_EQ(TestItem(*copiedInner, 0)->payload, 9);
    EXPECT_NE(copiedInner->GetItem(0),
              static_cast<TKavStaticCollection*>(source.GetItem(2))->GetItem(0));

    // The source may be the collection itself or one of its own items.
    ASSERT_TRUE(target.Assign(&target));
    EXPECT_EQ(target.Count(), 3);
    EXPECT_EQ(TestItem(target, 0)->payload, 7);
    ASSERT_TRUE(target.Assign(target.GetItem(2)));
    EXPECT_EQ(target.Name(), "inner");
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(TestItem(target, 0)->Name(), "deep");
}

TEST(BaseTest, AssignFailsCleanlyOnWhatCannotBeCopied) {
    TKavStaticCollection target;
    target.Add(Item("kept"));
    // A plain object: the name is copied, the slots stay.
    TKavBaseObject plain;
    plain.SetName("plain");
    EXPECT_FALSE(target.Assign(&plain));
    EXPECT_EQ(target.Name(), "plain");
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.GetItem(0)->Name(), "kept");
    EXPECT_FALSE(target.Assign(nullptr));
    EXPECT_EQ(target.Count(), 1);

    // An item that refuses to be copied empties the collection.
    TKavStaticCollection source;
    source.Add(Item("good"));
    auto bad = Item("bad");
    bad->refuseCopy = true;
    source.Add(std::move(bad));
    source.Add(Item("never reached"));
    EXPECT_FALSE(target.Assign(&source));
    EXPECT_EQ(target.Count(), 0);

    // So does an item whose class would be copied as one of its bases.
    TKavStaticCollection sliced;
    sliced.Add(std::make_unique<TNoCreate>());
    target.Add(Item("x"));
    EXPECT_FALSE(target.Assign(&sliced));
    EXPECT_EQ(target.Count(), 0);
}

TEST(BaseTest, InitializeCascadesAndStopsAtTheFirstFailure) {
    TKavStaticCollection empty;
    EXPECT_TRUE(empty.Initialize());

    TKavStaticCollection c;
    c.Add(Item("a"));
    c.Add(nullptr);
    auto nested = std::make_unique<TKavStaticCollection>();
    nested->Add(Item("n"));
    c.Add(std::move(nested));
    c.Add(Item("b"));
    EXPECT_TRUE(c.Initialize());
    EXPECT_EQ(TestItem(c, 0)->initialized, 1);
    EXPECT_EQ(TestItem(*static_cast<TKavStaticCollection*>(c.GetItem(2)), 0)->initialized, 1);

    TestItem(c, 0)->refuseInit = true;
    EXPECT_FALSE(c.Initialize());
    EXPECT_EQ(TestItem(c, 0)->initialized, 2);
    EXPECT_EQ(TestItem(c, 3)->initialized, 1);  // not reached
}

TEST(BaseTest, ForEachVisitsFilledSlotsAndMayReplaceOrFreeThem) {
    TKavStaticCollection c;
    c.Add(Item("a", 1));
    c.Add(nullptr);
    c.Add(Item("b", 2));
    c.Add(Item("c", 3));
    int data = 0;
    std::vector<std::string> seen;
    EXPECT_TRUE(c.ForEach(
        [&seen](TKavStaticCollection& owner, std::unique_ptr<TKavBaseObject>& slot, void* d,
                void* context) {
            EXPECT_EQ(context, &owner);
            seen.push_back(slot->Name());
            *static_cast<int*>(d) += static_cast<TTestItem*>(slot.get())->payload;
            if (slot->Name() == "a") slot = Item("replaced");
            if (slot->Name() == "b") slot.reset();
            return true;
        },
        &data, &c));
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(data, 6);
    EXPECT_EQ(c.Count(), 4);
    EXPECT_EQ(c.GetItem(0)->Name(), "replaced");
    EXPECT_EQ(c.GetItem(2), nullptr);

    int visits = 0;
    EXPECT_FALSE(c.ForEach([&visits](TKavStaticCollection&, std::unique_ptr<TKavBaseObject>&, void*,
                                     void*) { return ++visits < 1; }));
    EXPECT_EQ(visits, 1);
}

TEST(BaseTest, ProgramWideLibrariesExistEmptyAndNamed) {
    EXPECT_EQ(GlobalFunctionsLibrary().Name(), "GlobalFunctionsLibrary");
    EXPECT_EQ(GlobalMorphsLibrary().Name(), "GlobalMorphsLibrary");
    EXPECT_STREQ(GlobalFunctionsLibrary().ClassName(), "TKavMorphFuncLib");
    EXPECT_STREQ(GlobalMorphsLibrary().ClassName(), "TKavMorphLib");
    EXPECT_EQ(GlobalFunctionsLibrary().Count(), 0);
    EXPECT_EQ(GlobalMorphsLibrary().Count(), 0);
    EXPECT_TRUE(GlobalMorphsLibrary().Initialize());
}
