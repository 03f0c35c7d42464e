#include <cinttypes>
#include <cstdio>

#include "input/descriptor.h"

int read_descriptor(std::FILE* descriptor_file, int32_t* const values[6])
{
    for (int n = 0; n < 6; ++n) {
        long long v = 0;
        if (std::fscanf(descriptor_file, "%lld", &v) != 1) return n;
        if (v < INT32_MIN || v > INT32_MAX) return n;
        *values[n] = static_cast<int32_t>(v);
    }
    return 6;
}
