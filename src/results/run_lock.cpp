#include "results/run_lock.h"

#include <map>
#include <mutex>

#include "platform/platform.h"
#include "shared/private_names.h"

namespace {

// A lock this run holds in a folder, and the path it was taken by.
struct HeldLock {
    std::string path;
    platform::Lock lock;
};

// The locks this run holds, by the identity of their folder; given up and
// removed at a normal end.
struct RunLocks {
    std::mutex guard;
    std::map<std::pair<uint64_t, uint64_t>, HeldLock> held;
    ~RunLocks() { release(); }
    void release()
    {
        for (auto& [folder, held_lock] : held) {
            platform::unlock_and_remove(held_lock.path, held_lock.lock);
            platform::forget_on_signal(held_lock.path);
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

void release_run_locks()
{
    RunLocks& locks = run_locks();
    const std::lock_guard<std::mutex> guard(locks.guard);
    locks.release();
}

platform::Status hold_run_lock(const std::string& folder)
{
    RunLocks& locks = run_locks();
    const std::lock_guard<std::mutex> guard(locks.guard);
    platform::FileId id;
    const platform::Status found = platform::identify(folder.empty() ? "." : folder, id);
    if (!found) return found;
    const std::pair<uint64_t, uint64_t> key{id.device, id.inode};
    if (locks.held.count(key) != 0) return {};
    const std::string path = folder + run_lock_name(run_id());
    platform::remove_on_signal(path);
    platform::Lock lock;
    const platform::Status locked = platform::take_lock(path, lock);
    if (!locked) {
        platform::forget_on_signal(path);
        return locked;
    }
    locks.held.emplace(key, HeldLock{path, lock});
    return {};
}
