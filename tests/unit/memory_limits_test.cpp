// The memory limit of a control group, read from the group and the groups
// above it.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/memory_limits.h"

namespace {

namespace fs = std::filesystem;

TEST(CgroupMemoryLimit, SmallestLimitOfTheGroupAndTheGroupsAboveIt)
{
    const fs::path root = fs::temp_directory_path() / ("cgroups_" + std::to_string(getpid()));
    const auto limit_file = [&](const std::string& folder, const std::string& file, const std::string& text) {
        fs::create_directories(root / folder);
        std::FILE* f = std::fopen((root / folder / file).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    };
    limit_file("a", "memory.max", "5000000\n");
    limit_file("a/b", "memory.max", "max\n");                 // none of its own: the parent's holds
    limit_file("unified/c", "memory.max", "7000000\n");       // version 2 beside version 1
    limit_file("memory/d", "memory.limit_in_bytes", "9223372036854771712\n");  // version 1, none
    limit_file("memory/d/e", "memory.limit_in_bytes", "3000000\n");
    const std::string r = root.string();
    EXPECT_EQ(cgroup_memory_limit("0::/a/b\n", r), 5000000u);
    EXPECT_EQ(cgroup_memory_limit("0::/c\n", r), 7000000u);
    EXPECT_EQ(cgroup_memory_limit("4:memory:/d\n0::/\n", r), 9223372036854771712u);
    EXPECT_EQ(cgroup_memory_limit("9:name=systemd:/\n4:cpu,memory:/d/e\n0::/a\n", r), 3000000u);
    EXPECT_EQ(cgroup_memory_limit("4:cpu:/d/e\n0::/nowhere\n", r), UINT64_MAX);  // no memory limit anywhere
    EXPECT_EQ(cgroup_memory_limit("garbage", r), UINT64_MAX);
    fs::remove_all(root);
}

}  // namespace
#endif
