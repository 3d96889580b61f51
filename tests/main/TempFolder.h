// A fresh, empty folder per test that is also the current folder while the test runs, as the
// game folder is for the host.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace hv::test {

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = std::filesystem::temp_directory_path() /
               ("hv_main_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        std::filesystem::current_path(root);
    }
    void TearDown() override {
        std::filesystem::current_path(std::filesystem::temp_directory_path());
        std::filesystem::remove_all(root);
    }
    void Write(const std::filesystem::path& p, const std::string& bytes) {
        std::filesystem::path full = root / p;
        if (full.has_parent_path()) std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << bytes;
    }
    std::string Read(const std::filesystem::path& p) {
        std::ifstream in(root / p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path root;
};

}  // namespace hv::test
