// A folder of its own for each test, removed afterwards, with small helpers to
// put files in it.
#ifndef TEST_SUPPORT_TEMP_FOLDER_H
#define TEST_SUPPORT_TEMP_FOLDER_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string(info->test_suite_name()) + "_" + std::to_string(getpid()) + "_" + info->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // The folder as a path prefix ending in its separator.
    std::string folder() const { return dir_.string() + "/"; }
    std::string path_of(const std::string& name) const { return (dir_ / name).string(); }

    // Writes a file of the folder; returns its path.
    std::string write_file(const std::string& name, const std::vector<unsigned char>& bytes) const
    {
        return write_text_file(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string write_text_file(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(path_of(name), std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path_of(name);
    }

    std::vector<unsigned char> read_bytes(const std::string& path) const
    {
        std::ifstream in(path, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    size_t file_count() const
    {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir_),
                                                 std::filesystem::directory_iterator()));
    }

    std::filesystem::path dir_;
};

#endif
