// Preloaded into the program by the end-to-end tests to make the Nth call of
// rename (or renameat) or fsync fail (IT4_FAIL_RENAME=N, IT4_FAIL_FSYNC=N, or a list such as
// N,M: EIO) or to end the process by SIGKILL just before it, as a power cut
// would (IT4_KILL_AT_RENAME=N, IT4_KILL_AT_FSYNC=N); to send the process a
// SIGTERM from another thread just before the Nth rename, and give it time
// to act on it (IT4_TERM_AT_RENAME=N); or to lose the last bytes of a PNG as
// it is closed while the close reports nothing, as a full disk can make a
// library lose them (IT4_CUT_PNG_AT_CLOSE=1); or to put the link
// IT4_SWAP_FROM in the place of IT4_SWAP_TO just before the Nth rename or
// fsync (IT4_SWAP_AT_RENAME=N, IT4_SWAP_AT_FSYNC=N), as another program
// swapping a result folder's link would, or before the Nth opening of
// IT4_SWAP_TO (IT4_SWAP_AT_OPEN=N), as a model replaced while it is read; or
// to end the process by SIGKILL before its Nth fdatasync
// (IT4_KILL_AT_DATASYNC=N). Calls are counted from 1; other calls pass
// through. With IT4_ONLY_RANK=k only the process of rank k of an MPI job
// acts on these settings.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// Whether `call` is among the comma-separated numbers of the variable `name`.
bool listed(const char* name, int call)
{
    const char* value = std::getenv(name);
    while (value != nullptr && *value != '\0') {
        char* end = nullptr;
        if (std::strtol(value, &end, 10) == call) return true;
        value = *end == ',' ? end + 1 : nullptr;
    }
    return false;
}

// True when this call is one to fail; ends the process, or swaps a link,
// when asked to.
bool fails_now(int& calls, const char* fail_name, const char* kill_name, const char* swap_name)
{
    const char* only_rank = std::getenv("IT4_ONLY_RANK");
    const char* rank = std::getenv("OMPI_COMM_WORLD_RANK");
    if (only_rank != nullptr && (rank == nullptr || std::strcmp(rank, only_rank) != 0)) return false;
    ++calls;
    if (listed(swap_name, calls)) {
        using Rename = int (*)(const char*, const char*);
        static const auto real_rename = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
        real_rename(std::getenv("IT4_SWAP_FROM"), std::getenv("IT4_SWAP_TO"));
    }
    if (listed(kill_name, calls)) raise(SIGKILL);
    if (listed(fail_name, calls)) {
        errno = EIO;
        return true;
    }
    return false;
}

int g_renames = 0;
int g_fsyncs = 0;
int g_datasyncs = 0;

}  // namespace

namespace {

// Whether this rename is one to fail (then errno is set), after any end or
// signal it was asked for.
bool rename_fails_now()
{
    if (fails_now(g_renames, "IT4_FAIL_RENAME", "IT4_KILL_AT_RENAME", "IT4_SWAP_AT_RENAME")) return true;
    if (listed("IT4_TERM_AT_RENAME", g_renames)) {
        std::thread([] { kill(getpid(), SIGTERM); }).join();
        usleep(200000);
    }
    return false;
}

}  // namespace

// Renames by path and within an open folder count as one sequence.
extern "C" int rename(const char* from, const char* to)
{
    using Rename = int (*)(const char*, const char*);
    static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
    return rename_fails_now() ? -1 : real(from, to);
}

extern "C" int renameat(int from_folder, const char* from, int to_folder, const char* to)
{
    using Renameat = int (*)(int, const char*, int, const char*);
    static const auto real = reinterpret_cast<Renameat>(dlsym(RTLD_NEXT, "renameat"));
    return rename_fails_now() ? -1 : real(from_folder, from, to_folder, to);
}

namespace {

// Whether the file open as `fd` starts as a PNG (read through a descriptor of
// its own: a stream opened for writing cannot be read).
bool is_png(int fd)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    const int reader = open(path, O_RDONLY);
    if (reader < 0) return false;
    unsigned char head[8] = {};
    const bool png = pread(reader, head, sizeof head, 0) == sizeof head && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0;
    close(reader);
    return png;
}

}  // namespace

extern "C" int fclose(std::FILE* stream)
{
    using Fclose = int (*)(std::FILE*);
    static const auto real = reinterpret_cast<Fclose>(dlsym(RTLD_NEXT, "fclose"));
    if (std::getenv("IT4_CUT_PNG_AT_CLOSE") != nullptr && stream != nullptr) {
        std::fflush(stream);
        const int fd = fileno(stream);
        const off_t length = lseek(fd, 0, SEEK_END);
        if (length > 100 && is_png(fd) && ftruncate(fd, length - 100) == 0) {
            real(stream);
            return 0;
        }
    }
    return real(stream);
}

// GDAL opens a raster's files with fopen64: the swap may come just before
// the Nth opening of the file the link IT4_SWAP_TO names
// (IT4_SWAP_AT_OPEN=N), as a model replaced while a run reads it.
extern "C" std::FILE* fopen64(const char* path, const char* mode)
{
    using Fopen = std::FILE* (*)(const char*, const char*);
    static const auto real = reinterpret_cast<Fopen>(dlsym(RTLD_NEXT, "fopen64"));
    static int opens = 0;
    const char* target = std::getenv("IT4_SWAP_TO");
    if (target != nullptr && std::strcmp(path, target) == 0) fails_now(opens, "", "", "IT4_SWAP_AT_OPEN");
    return real(path, mode);
}

extern "C" int fsync(int fd)
{
    using Fsync = int (*)(int);
    static const auto real = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
    if (fails_now(g_fsyncs, "IT4_FAIL_FSYNC", "IT4_KILL_AT_FSYNC", "IT4_SWAP_AT_FSYNC")) return -1;
    return real(fd);
}

extern "C" int fdatasync(int fd)
{
    using Fdatasync = int (*)(int);
    static const auto real = reinterpret_cast<Fdatasync>(dlsym(RTLD_NEXT, "fdatasync"));
    if (fails_now(g_datasyncs, "IT4_FAIL_DATASYNC", "IT4_KILL_AT_DATASYNC", "IT4_SWAP_AT_DATASYNC")) return -1;
    return real(fd);
}
