#include "platform/halt.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace hv {
namespace {

std::vector<std::function<void()>>& Steps() {
    static std::vector<std::function<void()>> steps;
    return steps;
}

}  // namespace

void AddFinalizer(std::function<void()> step) {
    Steps().push_back(std::move(step));
}

void RunFinalizers() {
    auto& steps = Steps();
    while (!steps.empty()) {
        auto step = std::move(steps.back());
        steps.pop_back();
        try {
            step();
        } catch (...) {
        }
    }
}

void Halt(int exitCode) {
    RunFinalizers();
    std::fflush(nullptr);
    std::exit(exitCode);
}

}  // namespace hv
