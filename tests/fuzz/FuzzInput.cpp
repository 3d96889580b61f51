#include "tests/fuzz/FuzzInput.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace hv::fuzz {

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string WriteScratchFile(const std::string& name, std::string_view bytes) {
    static const bool inScratch = [] {
        // In memory where the system offers it: on a disk, replacing a file by truncating it
        // starts a write-back on every run and slows the fuzzing a hundredfold.
        std::error_code ec;
        const auto base = std::filesystem::is_directory("/dev/shm", ec)
                              ? std::filesystem::path("/dev/shm")
                              : std::filesystem::temp_directory_path();
        const auto folder = base / ("halvardine-fuzz-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        static std::filesystem::path scratch = folder;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratch, ignored);
        });
        return true;
    }();
    (void)inScratch;
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
    return name;
}

}  // namespace hv::fuzz
