// Named base objects and an owning collection of them with deep copy and a cascading
// initialisation pass, plus the two program-wide (and, in this host, always empty) libraries.
//
// Every class in this family names its own class (ClassName) and provides a virtual constructor
// (Create) that makes a fresh object of the same class; collections rely on both to copy their
// items. A class derived from these must override both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

class TKavBaseObject {
public:
    // Names are stored as at most this many bytes; longer names are cut.
    static constexpr size_t kMaxNameLength = 32;

    // Named "KavBaseObject_Default".
    TKavBaseObject();
    virtual ~TKavBaseObject() = default;

    TKavBaseObject(const TKavBaseObject&) = delete;
    TKavBaseObject& operator=(const TKavBaseObject&) = delete;

    virtual const char* ClassName() const { return "TKavBaseObject"; }
    const std::string& Name() const { return name_; }

    // Name := value cut to kMaxNameLength bytes.
    virtual void SetName(std::string_view value);
    // The virtual constructor: a new object of this object's class, as its constructor makes it.
    virtual std::unique_ptr<TKavBaseObject> Create() const;
    // Copies the source's name; false (and nothing changed) when there is no source.
    virtual bool Assign(const TKavBaseObject* source);
    // Prepares the object for use; true when it is ready.
    virtual bool Initialize();

protected:
    // For derived classes: the default name is the class name without its first letter,
    // followed by "_Default" ("TKavMorphLib" -> "KavMorphLib_Default"), cut to the name length.
    explicit TKavBaseObject(std::string_view className);

private:
    std::string name_;
};

// A growable array of owned objects; a slot may be empty.
using TKavBaseObjects = std::vector<std::unique_ptr<TKavBaseObject>>;

class TKavStaticCollection;

// Called by ForEach for every filled slot: the collection, the slot itself (so the action may
// replace or free the item), and the caller's data and context. Returning false ends the visit.
// The action must not add slots to, or clear, the collection it is visiting.
using TKavForEachAction =
    std::function<bool(TKavStaticCollection& collection, std::unique_ptr<TKavBaseObject>& slot,
                       void* data, void* context)>;

class TKavStaticCollection : public TKavBaseObject {
public:
    // Named "KavStaticCollection_Default", no slots.
    TKavStaticCollection();
    ~TKavStaticCollection() override;

    const char* ClassName() const override { return "TKavStaticCollection"; }
    std::unique_ptr<TKavBaseObject> Create() const override;

    // Copies the source's name, then, when the source is a collection, replaces the slots by
    // copies of the source's: empty slots stay empty, each item is copied into a new object of
    // its own class (its Create, then its Assign). When an item cannot be copied the collection
    // is left empty and the result is false. A source that is no collection has its name copied
    // and gives false, the slots untouched. The source may be this collection or lie inside it.
    bool Assign(const TKavBaseObject* source) override;
    // True when every item initialises; the pass stops at the first item that does not.
    bool Initialize() override;

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    const TKavBaseObjects& Items() const { return items_; }

    // Frees every item and removes every slot.
    void Clear();
    // Appends `item` (which may be null, an empty slot) as the new last slot; returns its index.
    int32_t Add(std::unique_ptr<TKavBaseObject> item);
    // The item in slot `index`; null for an empty slot and for an index outside 0..Count-1.
    TKavBaseObject* GetItem(int32_t index) const;
    // Visits the filled slots from first to last (see TKavForEachAction). True when the visit
    // ran to the end, false when an action stopped it.
    bool ForEach(const TKavForEachAction& action, void* data = nullptr, void* context = nullptr);

protected:
    explicit TKavStaticCollection(std::string_view className);

private:
    TKavBaseObjects items_;
};

// The library of morph functions.
class TKavMorphFuncLib : public TKavStaticCollection {
public:
    TKavMorphFuncLib() : TKavStaticCollection("TKavMorphFuncLib") {}
    const char* ClassName() const override { return "TKavMorphFuncLib"; }
    std::unique_ptr<TKavBaseObject> Create() const override;
};

// The library of morphs.
class TKavMorphLib : public TKavStaticCollection {
public:
    TKavMorphLib() : TKavStaticCollection("TKavMorphLib") {}
    const char* ClassName() const override { return "TKavMorphLib"; }
    std::unique_ptr<TKavBaseObject> Create() const override;
};

// The program-wide libraries, named "GlobalFunctionsLibrary" and "GlobalMorphsLibrary". Both are
// created by SetUpProgramWideObjects (or on first use) and freed when the program ends, after
// main returns or Halt exits: the morph library first, then the function library. Nothing in the
// host adds items to them.
TKavMorphFuncLib& GlobalFunctionsLibrary();
TKavMorphLib& GlobalMorphsLibrary();

// What the whole program shares, set up first thing at start: the two libraries, and numbers
// written and read with "." whatever locale the environment names (LC_NUMERIC is "C"). Calling
// it again changes nothing.
void SetUpProgramWideObjects();

}  // namespace hv
