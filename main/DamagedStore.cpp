#include "main/DamagedStore.h"

namespace hv {

std::string StoreDamage(std::string_view bytes, size_t pairs, size_t maxPairs) {
    if (bytes.find('\0') != std::string_view::npos) return "it holds zero bytes, it is no text";
    if (pairs > maxPairs)
        return "it holds " + std::to_string(pairs) + " pairs, more than the " +
               std::to_string(maxPairs) + " the script can receive";
    return {};
}

std::string DamagedStoreName(std::string_view fileName) {
    return std::string(fileName) + ".damaged";
}

}  // namespace hv
