// How much memory this process may take, from every limit that applies.
#ifndef PLATFORM_MEMORY_LIMITS_H
#define PLATFORM_MEMORY_LIMITS_H

#include <cstdint>
#include <string>

struct MemoryLimit {
    uint64_t bytes = UINT64_MAX;  // UINT64_MAX: no limit could be found
    std::string what;             // which limit it is, for messages
};

// The smallest of: the physical memory, the memory limit of the process's
// control group (and of the groups above it), and the address space left
// under its address-space limit (RLIMIT_AS).
MemoryLimit memory_available();

// The smallest "memory.max" (version 2) or "memory.limit_in_bytes" (version 1)
// of the control groups listed in `proc_self_cgroup` (the text of
// /proc/self/cgroup) and of every group above them, looked up below
// `cgroup_root` (normally /sys/fs/cgroup); UINT64_MAX when none is set.
uint64_t cgroup_memory_limit(const std::string& proc_self_cgroup, const std::string& cgroup_root);

#endif
