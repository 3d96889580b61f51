// Helpers of the surface-engine tests: a game folder of their own as the current folder, picture
// files written there, and the log lines the engine wrote.
#pragma once

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "log/KavLogEngine.h"

namespace hv::test {

// A fresh folder made the current folder for one test, with its own log file; the previous
// current folder comes back afterwards.
class GameFolder {
public:
    GameFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::random_device rd;
        const std::string name =
            std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(rd());
        previous_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() / ("hv_engine3d_" + name);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        logPath_ = (dir_ / (name + ".log")).string();
        log_ = LogEngine().AddLogFile(logPath_);
        LogEngine().DefaultLogFile = log_;
    }
    ~GameFolder() {
        // The folder goes with the test: its log file must not get a footer at program end.
        log_->Disabled = true;
        LogEngine().DefaultLogFile = nullptr;
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Everything logged so far.
    std::string Log() const {
        std::ifstream in(logPath_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }

    // Writes a w x h PNG at `relPath` (folders made), texels 0xAARRGGBB from texel(x, y).
    void Picture(const std::string& relPath, int w, int h,
                 const std::function<uint32_t(int, int)>& texel) const {
        const std::filesystem::path p = dir_ / relPath;
        std::filesystem::create_directories(p.parent_path());
        std::vector<uint8_t> rgba(size_t(w) * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t c = texel(x, y);
                uint8_t* o = &rgba[(size_t(y) * w + x) * 4];
                o[0] = uint8_t(c >> 16);
                o[1] = uint8_t(c >> 8);
                o[2] = uint8_t(c);
                o[3] = uint8_t(c >> 24);
            }
        ASSERT_NE(stbi_write_png(p.string().c_str(), w, h, 4, rgba.data(), w * 4), 0);
    }
    void Solid(const std::string& relPath, int w, int h, uint32_t color) const {
        Picture(relPath, w, h, [color](int, int) { return color; });
    }
    void Bytes(const std::string& relPath, const std::string& bytes) const {
        const std::filesystem::path p = dir_ / relPath;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }

private:
    std::filesystem::path previous_, dir_;
    std::string logPath_;
    TLogFile* log_ = nullptr;
};

}  // namespace hv::test
