#include "results/run_lock.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <string_view>

#include "platform/platform.h"

namespace {

constexpr const char* kRunLockSuffix = ".run";

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

namespace {

// Drops the characters at the front of `text` that `accepted` takes; returns
// how many there were.
template <typename Accepted>
size_t skip(std::string_view& text, Accepted accepted)
{
    size_t count = 0;
    while (count < text.size() && accepted(static_cast<unsigned char>(text[count]))) ++count;
    text.remove_prefix(count);
    return count;
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(unsigned char c) { return is_digit(c) || (c >= 'a' && c <= 'f'); }

// Drops `prefix` from the front of `text`; false when it is not there.
bool skip_text(std::string_view& text, std::string_view prefix)
{
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

}  // namespace

std::string run_of(const std::string& name)
{
    std::string_view rest = name;
    if (!skip_text(rest, kPrivatePrefix)) return "";
    const std::string_view run = rest;
    if (skip(rest, is_digit) == 0 || !skip_text(rest, "r") || skip(rest, is_hex_digit) != 8) return "";
    const std::string id(run.substr(0, run.size() - rest.size()));
    if (rest == kRunLockSuffix) return id;
    if (!skip_text(rest, "-") || skip(rest, is_digit) == 0) return "";
    return rest == ".tmp" || rest == ".bak" || rest == ".jnl" ? id : "";
}

bool named_like_private(const std::string& name) { return name.rfind(".it4-", 0) == 0 || name.rfind(".it4~", 0) == 0; }

std::string run_lock_name(const std::string& run) { return kPrivatePrefix + run + kRunLockSuffix; }

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
