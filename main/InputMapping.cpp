#include "main/InputMapping.h"

namespace hv {

bool IsScriptVirtualKey(uint32_t key) {
    switch (key) {
        case 8:   // Backspace
        case 13:  // Enter
        case 27:  // Escape
        case 35:  // End
        case 36:  // Home
        case 37:  // Left
        case 38:  // Up
        case 39:  // Right
        case 40:  // Down
        case 45:  // Insert
        case 46:  // Delete
            return true;
        default:
            return false;
    }
}

}  // namespace hv
