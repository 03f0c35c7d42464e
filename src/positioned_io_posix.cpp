#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "positioned_io.h"

int64_t read_at(int fd, void* data, size_t size, uint64_t offset)
{
    auto* at = static_cast<unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, at + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

bool write_at(int fd, const void* data, size_t size, uint64_t offset)
{
    const auto* at = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t put = pwrite(fd, at + done, size - done, static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

bool set_file_length(int fd, uint64_t length)
{
    while (ftruncate(fd, static_cast<off_t>(length)) != 0)
        if (errno != EINTR) return false;
    return true;
}

int64_t regular_file_length(int fd)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<int64_t>(info.st_size);
}

int create_scratch_file(const std::string& folder)
{
    std::string pattern = folder + ".scratch-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return -1;
    // Unlinked at once: the data stays reachable through fd alone and is
    // released by the system however the process ends.
    unlink(pattern.c_str());
    return fd;
}

void close_file(int fd)
{
    if (fd >= 0) close(fd);
}
