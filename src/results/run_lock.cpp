#include "results/run_lock.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>

#include "platform/platform.h"

namespace {

constexpr const char* kRunLockSuffix = ".run";

// The locks this run holds, by folder; given up and removed at a normal end.
struct RunLocks {
    std::mutex guard;
    std::map<std::string, platform::Lock> held;
    ~RunLocks() { release(); }
    void release()
    {
        for (auto& [folder, lock] : held) {
            const std::string path = folder + run_lock_name(run_id());
            platform::unlock_and_remove(path, lock);
            platform::forget_on_signal(path);
        }
        held.clear();
    }
};

RunLocks& run_locks()
{
    static RunLocks locks;
    return locks;
}

}  // namespace

const std::string& run_id()
{
    static const std::string id = [] {
        char random[9];
        std::snprintf(random, sizeof random, "%08x", static_cast<unsigned>(std::random_device{}()));
        return std::to_string(platform::process_id()) + "r" + random;
    }();
    return id;
}

std::string private_name(const std::string& suffix)
{
    static std::atomic<unsigned long> counter{0};
    return kPrivatePrefix + run_id() + "-" + std::to_string(counter++) + suffix;
}

std::string run_of(const std::string& name)
{
    const std::string prefix = kPrivatePrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return "";
    const size_t end = name.find_first_of("-.", prefix.size());
    if (end == std::string::npos || end == prefix.size()) return "";
    return name.substr(prefix.size(), end - prefix.size());
}

std::string run_lock_name(const std::string& run) { return kPrivatePrefix + run + kRunLockSuffix; }

void release_run_locks()
{
    RunLocks& locks = run_locks();
    const std::lock_guard<std::mutex> guard(locks.guard);
    locks.release();
}

bool hold_run_lock(const std::string& folder)
{
    RunLocks& locks = run_locks();
    const std::lock_guard<std::mutex> guard(locks.guard);
    if (locks.held.count(folder) != 0) return true;
    const std::string path = folder + run_lock_name(run_id());
    platform::remove_on_signal(path);
    platform::Lock lock;
    bool busy = false;
    if (!platform::take_lock(path, lock, busy)) {
        platform::forget_on_signal(path);
        return false;
    }
    locks.held.emplace(folder, lock);
    return true;
}
