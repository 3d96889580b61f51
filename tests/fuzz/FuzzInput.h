// Shared by the fuzz targets: the input as text and as lines, and a scratch folder for readers
// that take a file name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hv::fuzz {

inline std::string_view Text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at LF, CR LF or CR, as the host's text readers cut files.
std::vector<std::string> Lines(std::string_view text);

// Writes `bytes` to `name` in a scratch folder of this process (made the current folder on first
// use, so host paths relative to the game folder land there) and returns the name.
std::string WriteScratchFile(const std::string& name, std::string_view bytes);

}  // namespace hv::fuzz
