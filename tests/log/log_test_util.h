// Helpers shared by the log tests: a private folder per test, a controllable clock, file reading.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "log/KavLogEngine.h"

namespace hvtest {

// A fresh folder for one test, removed afterwards. Path() ends in "/".
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() /
               ("hvlog-" + std::string(info ? info->name() : "x") + "-" + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Path() const { return dir_.string() + "/"; }

private:
    std::filesystem::path dir_;
};

// A clock the test moves by hand.
struct FakeClock {
    uint32_t ticks = 0;
    hv::LocalTime now{2026, 12, 6, 0, 20, 7, 23, 0};  // Sunday 6 Dec 2026 20:07:23
    hv::TLogClock Clock() {
        return hv::TLogClock{[this] { return ticks; }, [this] { return now; }};
    }
};

inline bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The file's lines, split at CR LF; a final CR LF adds no empty line.
inline std::vector<std::string> ReadLines(const std::string& path) {
    std::string all = ReadAll(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(all.substr(start));
            break;
        }
        lines.push_back(all.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace hvtest
