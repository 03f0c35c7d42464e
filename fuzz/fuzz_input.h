// Helpers shared by the fuzz targets: the fuzzer's bytes as a stream, and the
// check that ends the process when an invariant does not hold.
#ifndef FUZZ_INPUT_H
#define FUZZ_INPUT_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The bytes as a read-only stream backed by an anonymous in-memory file, so
// that fread, fstat and ftello all behave as on a regular file of that size.
// Null when the file cannot be made (the input is then skipped).
inline std::FILE* stream_of(const void* data, size_t size)
{
    const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, bytes + written, size - written);
        if (n <= 0) {
            close(fd);
            return nullptr;
        }
        written += static_cast<size_t>(n);
    }
    if (lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE* f = fdopen(fd, "rb");
    if (f == nullptr) close(fd);
    return f;
}

// An invariant of the code under test: a failure is a finding, so the process
// ends at once with a message on file descriptor 2 (whatever the stream
// stderr points to) and libFuzzer records the input that did it.
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            dprintf(STDERR_FILENO, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);   \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

#endif
