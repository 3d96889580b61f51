// The vertices a recorded draw sent, in the engine's vertex layout.
#pragma once

#include <cstring>
#include <vector>

#include "engine3d/KavTextureEngine3D.h"
#include "tests/doubles/RecordingDevice.h"

namespace hv::test {

inline std::vector<TVertex> VerticesOf(const RecordedCall& c) {
    std::vector<TVertex> v(c.Vertices.size() / sizeof(TVertex));
    std::memcpy(v.data(), c.Vertices.data(), v.size() * sizeof(TVertex));
    return v;
}

}  // namespace hv::test
