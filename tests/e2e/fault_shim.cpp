// Preloaded into the program by the end-to-end tests to make the Nth call of
// rename or fsync fail (IT4_FAIL_RENAME=N, IT4_FAIL_FSYNC=N, or a list such as
// N,M: EIO) or to end the
// process by SIGKILL just before it, as a power cut would (IT4_KILL_AT_RENAME=N,
// IT4_KILL_AT_FSYNC=N). Calls are counted from 1; other calls pass through.
#include <dlfcn.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

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

// True when this call is one to fail; ends the process when asked to.
bool fails_now(int& calls, const char* fail_name, const char* kill_name)
{
    ++calls;
    if (listed(kill_name, calls)) raise(SIGKILL);
    if (listed(fail_name, calls)) {
        errno = EIO;
        return true;
    }
    return false;
}

int g_renames = 0;
int g_fsyncs = 0;

}  // namespace

extern "C" int rename(const char* from, const char* to)
{
    using Rename = int (*)(const char*, const char*);
    static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
    if (fails_now(g_renames, "IT4_FAIL_RENAME", "IT4_KILL_AT_RENAME")) return -1;
    return real(from, to);
}

extern "C" int fsync(int fd)
{
    using Fsync = int (*)(int);
    static const auto real = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
    if (fails_now(g_fsyncs, "IT4_FAIL_FSYNC", "IT4_KILL_AT_FSYNC")) return -1;
    return real(fd);
}
