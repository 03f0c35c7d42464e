// The files to remove when a signal (or, on Windows, a console event) ends
// the run: a fixed table that the handler walks without allocating or
// locking, shared by both platform files.
#ifndef PLATFORM_SIGNAL_SLOTS_H
#define PLATFORM_SIGNAL_SLOTS_H

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <string>

template <size_t PathBytes>
class SignalSlots {
public:
    // Keeps `path` until forget; false when it is too long or the table is full.
    bool add(const std::string& path)
    {
        if (path.size() >= PathBytes) return false;
        for (Slot& slot : slots_) {
            if (slot.used) continue;
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            // The path is whole before the slot counts, for a handler on this
            // thread or (a console event) on another.
            std::atomic_thread_fence(std::memory_order_seq_cst);
            slot.used = 1;
            return true;
        }
        return false;
    }

    void forget(const std::string& path)
    {
        for (Slot& slot : slots_) {
            if (slot.used && path == slot.path) {
                slot.used = 0;
                return;
            }
        }
    }

    // Calls remove(path) for every path kept: from the handler.
    template <typename Remove>
    void remove_all(Remove remove) const
    {
        for (const Slot& slot : slots_)
            if (slot.used) remove(slot.path);
    }

private:
    struct Slot {
        volatile std::sig_atomic_t used;
        char path[PathBytes];
    };
    Slot slots_[16]{};
};

#endif
