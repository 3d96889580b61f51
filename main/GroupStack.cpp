#include "main/GroupStack.h"

namespace hv {

size_t TGroupStack::Open(const tGroup& group) {
    const auto [at, added] = positions_.try_emplace(group.Name, records_.size());
    if (added)
        records_.push_back(group);
    else
        records_[at->second] = group;
    return at->second;
}

bool TGroupStack::Close(const std::string& name) {
    const auto at = positions_.find(name);
    if (at == positions_.end()) return false;
    const size_t position = at->second;
    positions_.erase(at);
    records_.erase(records_.begin() + std::ptrdiff_t(position));
    // Closing the top, as scripts do, moves nothing.
    for (size_t i = position; i < records_.size(); ++i) positions_[records_[i].Name] = i;
    return true;
}

void TGroupStack::clear() {
    records_.clear();
    positions_.clear();
}

}  // namespace hv
