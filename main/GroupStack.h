// The drawing groups of a frame: named records in first-opened order, the last one the top.
// Lookups by name go through an index, so a frame that opens many groups costs time in
// proportion to the groups it opens.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine3d/PictureDraw.h"

namespace hv {

// A named drawing group: the transform and opacity applied to everything drawn while it is the
// current group.
struct tGroup {
    std::string Name;
    TGroupTransform Transform;
    double Alpha = 1;
};

class TGroupStack {
public:
    // Replaces the record of the same name where it stands, or adds `group` on top. Returns the
    // record's position.
    size_t Open(const tGroup& group);
    // Removes the record named `name`; false when there is none. Records above it move down one.
    bool Close(const std::string& name);
    void clear();

    bool empty() const { return records_.empty(); }
    size_t size() const { return records_.size(); }
    const tGroup& back() const { return records_.back(); }
    const tGroup& operator[](size_t i) const { return records_[i]; }

private:
    std::vector<tGroup> records_;
    std::unordered_map<std::string, size_t> positions_;  // name -> position in records_
};

}  // namespace hv
