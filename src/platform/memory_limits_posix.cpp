// Memory limits as Linux and other POSIX systems give them.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/memory_limits.h"

namespace {

std::string file_text(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The number at the start of a limit file; UINT64_MAX for "max" (no limit),
// an absent file or anything else.
uint64_t limit_in(const std::string& path)
{
    const std::string text = file_text(path);
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data()) return UINT64_MAX;
    return value;
}

// The smallest limit of the group `group` (a path such as /a/b) and of every
// group above it.
uint64_t smallest_limit_up_from(std::string group, const std::string& folder, const char* file)
{
    uint64_t smallest = UINT64_MAX;
    for (;;) {
        smallest = std::min(smallest, limit_in(folder + group + "/" + file));
        const size_t slash = group.rfind('/');
        if (slash == std::string::npos || group.empty()) break;
        group.erase(slash);
    }
    return smallest;
}

uint64_t multiply_or_max(uint64_t a, uint64_t b)
{
    uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

uint64_t physical_memory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return UINT64_MAX;
    return multiply_or_max(static_cast<uint64_t>(pages), static_cast<uint64_t>(page_size));
}

// The address space RLIMIT_AS still allows: the limit less what the process
// has already mapped (its program, libraries, stack and heap).
uint64_t address_space_left()
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
    const uint64_t allowed = static_cast<uint64_t>(limit.rlim_cur);
    uint64_t mapped_pages = 0;
    std::istringstream statm(file_text("/proc/self/statm"));
    if (!(statm >> mapped_pages)) return allowed;
    const uint64_t mapped = multiply_or_max(mapped_pages, static_cast<uint64_t>(sysconf(_SC_PAGESIZE)));
    return mapped < allowed ? allowed - mapped : 0;
}

// Whether the comma-separated `list` holds `item`.
bool lists(std::string_view list, std::string_view item)
{
    for (;;) {
        const size_t comma = list.find(',');
        if (list.substr(0, comma) == item) return true;
        if (comma == std::string_view::npos) return false;
        list.remove_prefix(comma + 1);
    }
}

void keep_smaller(MemoryLimit& limit, uint64_t bytes, const char* what)
{
    if (bytes < limit.bytes) limit = MemoryLimit{bytes, what};
}

}  // namespace

uint64_t cgroup_memory_limit(const std::string& proc_self_cgroup, const std::string& cgroup_root)
{
    // Lines "id:controllers:path": version 2 has the id 0 and no controllers;
    // version 1 lists "memory" among the controllers of its own hierarchy.
    uint64_t smallest = UINT64_MAX;
    std::istringstream lines(proc_self_cgroup);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string_view controllers(line.data() + first + 1, second - first - 1);
        std::string group = line.substr(second + 1);
        if (group == "/") group.clear();
        if (controllers.empty()) {
            // Mounted alone, or under "unified" beside the version 1 hierarchies.
            smallest = std::min(smallest, smallest_limit_up_from(group, cgroup_root, "memory.max"));
            smallest = std::min(smallest, smallest_limit_up_from(group, cgroup_root + "/unified", "memory.max"));
        }
        else if (lists(controllers, "memory"))
            smallest = std::min(smallest, smallest_limit_up_from(group, cgroup_root + "/memory", "memory.limit_in_bytes"));
    }
    return smallest;
}

MemoryLimit memory_available()
{
    MemoryLimit limit;
    keep_smaller(limit, physical_memory(), "the physical memory");
    keep_smaller(limit, cgroup_memory_limit(file_text("/proc/self/cgroup"), "/sys/fs/cgroup"),
                 "the memory limit of the process's control group");
    keep_smaller(limit, address_space_left(), "the address space left under the process's limit");
    return limit;
}
