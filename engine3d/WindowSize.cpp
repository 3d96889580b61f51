#include "engine3d/WindowSize.h"

#include <cmath>

namespace hv {

TWindowSize CalcWindowSize(int32_t desktopWidth, int32_t desktopHeight, int32_t configWidth,
                           int32_t configHeight) {
    TWindowSize size{1024, 768};
    if (desktopHeight != 0) {
        const double a = double(desktopWidth) / double(desktopHeight);
        if (std::fabs(a - 4.0 / 3.0) < 0.1 && desktopWidth > 1280) size = {1280, 1024};
        if (std::fabs(a - 16.0 / 9.0) < 0.1 && desktopWidth > 1366) size = {1366, 768};
        if (std::fabs(a - 1.6) < 0.1 && desktopWidth > 1280) size = {1280, 800};
    }
    if (configWidth != 0 && configHeight != 0) size = {configWidth, configHeight};
    return size;
}

}  // namespace hv
