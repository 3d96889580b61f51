#include "support/Base.h"

#include <clocale>
#include <typeinfo>
#include <utility>

namespace hv {
namespace {

std::string DefaultName(std::string_view className) {
    std::string name(className.empty() ? className : className.substr(1));
    name += "_Default";
    if (name.size() > TKavBaseObject::kMaxNameLength) name.resize(TKavBaseObject::kMaxNameLength);
    return name;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TKavBaseObject

TKavBaseObject::TKavBaseObject() : TKavBaseObject("TKavBaseObject") {}

TKavBaseObject::TKavBaseObject(std::string_view className) : name_(DefaultName(className)) {}

void TKavBaseObject::SetName(std::string_view value) {
    name_.assign(value.substr(0, kMaxNameLength));
}

std::unique_ptr<TKavBaseObject> TKavBaseObject::Create() const {
    return std::make_unique<TKavBaseObject>();
}

bool TKavBaseObject::Assign(const TKavBaseObject* source) {
    if (source == nullptr) return false;
    SetName(source->Name());
    return true;
}

bool TKavBaseObject::Initialize() {
    return true;
}

// ---------------------------------------------------------------------------------------------
// TKavStaticCollection

TKavStaticCollection::TKavStaticCollection() : TKavStaticCollection("TKavStaticCollection") {}

TKavStaticCollection::TKavStaticCollection(std::string_view className)
    : TKavBaseObject(className) {}

TKavStaticCollection::~TKavStaticCollection() {
    Clear();
}

std::unique_ptr<TKavBaseObject> TKavStaticCollection::Create() const {
    return std::make_unique<TKavStaticCollection>();
}

bool TKavStaticCollection::Assign(const TKavBaseObject* source) {
    if (!TKavBaseObject::Assign(source)) return false;
    const auto* collection = dynamic_cast<const TKavStaticCollection*>(source);
    if (collection == nullptr) return false;
    // The copies are made before the old slots go, so a source that is this collection or one of
    // its items is still whole while it is read.
    TKavBaseObjects copies;
    copies.reserve(collection->items_.size());
    for (const auto& item : collection->items_) {
        if (!item) {
            copies.push_back(nullptr);
            continue;
        }
        std::unique_ptr<TKavBaseObject> copy = item->Create();
        // A class that does not provide its own virtual constructor would be copied as one of
        // its bases; that is no copy, and it fails like an item that refuses to be assigned.
        if (!copy || typeid(*copy) != typeid(*item) || !copy->Assign(item.get())) {
            copies.clear();
            Clear();
            return false;
        }
        copies.push_back(std::move(copy));
    }
    Clear();
    items_ = std::move(copies);
    return true;
}

bool TKavStaticCollection::Initialize() {
    if (!TKavBaseObject::Initialize()) return false;
    return ForEach([](TKavStaticCollection&, std::unique_ptr<TKavBaseObject>& slot, void*, void*) {
        return slot->Initialize();
    });
}

void TKavStaticCollection::Clear() {
    // Emptied before the items are freed, so an item's destructor never sees a half-cleared
    // collection.
    TKavBaseObjects old = std::move(items_);
    items_.clear();
    old.clear();
}

int32_t TKavStaticCollection::Add(std::unique_ptr<TKavBaseObject> item) {
    items_.push_back(std::move(item));
    return Count() - 1;
}

TKavBaseObject* TKavStaticCollection::GetItem(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return items_[static_cast<size_t>(index)].get();
}

bool TKavStaticCollection::ForEach(const TKavForEachAction& action, void* data, void* context) {
    // The count is read afresh on each step: an action that frees items leaves the slots in
    // place, but one that broke the rules and shrank the collection must not lead past its end.
    for (size_t i = 0; i < items_.size(); ++i) {
        if (!items_[i]) continue;
        if (!action(*this, items_[i], data, context)) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The libraries

std::unique_ptr<TKavBaseObject> TKavMorphFuncLib::Create() const {
    return std::make_unique<TKavMorphFuncLib>();
}

std::unique_ptr<TKavBaseObject> TKavMorphLib::Create() const {
    return std::make_unique<TKavMorphLib>();
}

namespace {

// Members are destroyed in reverse order of declaration: the morph library goes first.
struct GlobalLibraries {
    TKavMorphFuncLib functions;
    TKavMorphLib morphs;

    GlobalLibraries() {
        functions.SetName("GlobalFunctionsLibrary");
        morphs.SetName("GlobalMorphsLibrary");
    }
};

GlobalLibraries& Libraries() {
    static GlobalLibraries libraries;
    return libraries;
}

}  // namespace

void SetUpProgramWideObjects() {
    // The C library's number formatting and reading, which the script engine uses, follow
    // LC_NUMERIC: with "C" a script's numbers read and print with "." whatever the environment
    // asks for.
    std::setlocale(LC_NUMERIC, "C");
    Libraries();
}

TKavMorphFuncLib& GlobalFunctionsLibrary() {
    return Libraries().functions;
}
TKavMorphLib& GlobalMorphsLibrary() {
    return Libraries().morphs;
}

}  // namespace hv
