// Counts the blocks the grid allocators (NRUTIL) obtain and give back while
// an instance lives, and can make the n-th request fail.
#ifndef TEST_SUPPORT_COUNTING_BLOCKS_H
#define TEST_SUPPORT_COUNTING_BLOCKS_H

#include <cstdlib>

#include "NRUTIL.h"

class CountingBlocks {
public:
    // `fail_at`: the request (counting from 1) that gets no block; 0: none.
    explicit CountingBlocks(int fail_at = 0)
    {
        obtained = given_back = 0;
        fail_at_ = fail_at;
        nrutil_set_block_functions(counting_calloc, counting_free);
    }
    ~CountingBlocks() { nrutil_set_block_functions(nullptr, nullptr); }
    CountingBlocks(const CountingBlocks&) = delete;
    CountingBlocks& operator=(const CountingBlocks&) = delete;

    static inline int obtained = 0;    // requests made, the failed one included
    static inline int given_back = 0;  // blocks released

private:
    static void* counting_calloc(size_t count, size_t size)
    {
        if (++obtained == fail_at_) return nullptr;
        return std::calloc(count, size);
    }
    static void counting_free(void* block)
    {
        if (block != nullptr) ++given_back;
        std::free(block);
    }
    static inline int fail_at_ = 0;
};

#endif
