// The platform interface on POSIX systems.
#include "platform/platform.h"
#include "platform/signal_slots.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <pthread.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sched.h>
#include <sys/stat.h>
#include <termios.h>
#include <dlfcn.h>
#include <unistd.h>

namespace platform {

// ---- Files ----

namespace {

void fill_id(const struct stat& info, FileId& id)
{
    id.device = static_cast<uint64_t>(info.st_dev);
    id.inode = static_cast<uint64_t>(info.st_ino);
    id.regular = S_ISREG(info.st_mode);
    id.folder = S_ISDIR(info.st_mode);
}

// The failure of the call just made, by the code it left in errno.
Status last_error() { return Status::failure(errno); }

// A stream on an open descriptor, which the stream then owns; the descriptor
// is closed when no stream can be made.
Status stream_on(int fd, const char* mode, std::FILE*& stream)
{
    stream = fdopen(fd, mode);
    if (stream != nullptr) return {};
    const Status failed = last_error();
    close(fd);
    return failed;
}

// A descriptor opened without blocking, kept when it is a regular file (reads
// then go on in the ordinary mode: a regular file never blocks), closed when
// it is not.
Status keep_if_regular(int fd)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return Status::not_regular_file(S_ISDIR(info.st_mode));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return {};
}

// Forces a folder's entries to the disk; some file systems cannot sync a
// folder at all, and there is nothing more to do on them.
Status sync_folder_descriptor(int fd)
{
    if (fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP) return {};
    return last_error();
}

}  // namespace

Status identify(const std::string& path, FileId& id)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return last_error();
    fill_id(info, id);
    return {};
}

Status identify_descriptor(int fd, FileId& id)
{
    struct stat info {};
    if (fstat(fd, &info) != 0) return last_error();
    fill_id(info, id);
    return {};
}

bool same_name(const std::string& a, const std::string& b) { return a == b; }

Status open_regular(const std::string& path, const char* mode, std::FILE*& stream)
{
    stream = nullptr;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return last_error();
    const Status regular = keep_if_regular(fd);
    if (!regular) return regular;
    return stream_on(fd, mode, stream);
}

Status create_new(const std::string& path, std::FILE*& stream)
{
    stream = nullptr;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return last_error();
    const Status made = stream_on(fd, "wb", stream);
    if (!made) unlink(path.c_str());
    return made;
}

Status open_for_writing(const std::string& path, std::FILE*& stream)
{
    stream = std::fopen(path.c_str(), "wb");
    return stream != nullptr ? Status() : last_error();
}

Status sync_stream(std::FILE* stream)
{
    // The C library left the reason of the write that failed in errno.
    if (std::ferror(stream) != 0 || std::fflush(stream) != 0 || fsync(fileno(stream)) != 0) return last_error();
    return {};
}

void start_writeback(int fd)
{
#ifdef __linux__
    sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);  // errors come out at the sync
#else
    (void)fd;
#endif
}

Status sync_file(const std::string& path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return last_error();
    const Status synced = fsync(fd) == 0 ? Status() : last_error();
    close(fd);
    return synced;
}

Status sync_folder(const std::string& folder)
{
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return last_error();
    const Status synced = sync_folder_descriptor(fd);
    close(fd);
    return synced;
}

Status replace(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0 ? Status() : last_error();
}

Status remove_file(const std::string& path)
{
    return unlink(path.c_str()) == 0 || errno == ENOENT ? Status() : last_error();
}

bool exists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string folder_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string name_in_folder(const std::string& path) { return path.substr(folder_of(path).size()); }

bool is_plain_name(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

std::vector<std::string> folder_entries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
}


// ---- Reads and writes at offsets ----

Status read_at(int fd, void* data, size_t size, uint64_t offset, size_t& got)
{
    auto* at = static_cast<unsigned char*>(data);
    got = 0;
    while (got < size) {
        const ssize_t chunk = pread(fd, at + got, size - got, static_cast<off_t>(offset + got));
        if (chunk < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        if (chunk == 0) break;
        got += static_cast<size_t>(chunk);
    }
    return {};
}

Status write_at(int fd, const void* data, size_t size, uint64_t offset)
{
    const auto* at = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t put = pwrite(fd, at + done, size - done, static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        if (put == 0) return Status::failure(ENOSPC);
        done += static_cast<size_t>(put);
    }
    return {};
}

Status set_length(int fd, uint64_t length)
{
    while (ftruncate(fd, static_cast<off_t>(length)) != 0)
        if (errno != EINTR) return last_error();
    return {};
}

int64_t regular_length(int fd)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<int64_t>(info.st_size);
}

int descriptor_of(std::FILE* stream) { return fileno(stream); }

Status create_unnamed(const std::string& path, int& fd)
{
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return last_error();
    unlink(path.c_str());
    return {};
}

void close_descriptor(int fd)
{
    if (fd >= 0) close(fd);
}

Status open_existing_for_writing(const std::string& path, int& fd)
{
    // Never waits on a FIFO nor follows a link planted in place of the file.
    fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return last_error();
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return {};
    close(fd);
    fd = -1;
    return Status::not_regular_file(S_ISDIR(st.st_mode));
}

Status sync_descriptor(int fd) { return fdatasync(fd) == 0 ? Status() : last_error(); }

// ---- Processes ----

long process_id() { return static_cast<long>(getpid()); }

unsigned cores_of_this_process()
{
#ifdef __linux__
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (sched_getaffinity(0, sizeof cores, &cores) == 0) return static_cast<unsigned>(CPU_COUNT(&cores));
#endif
    return 0;
}

// ---- Locks ----

namespace {

// The exclusive lock of an open file without waiting; the descriptor is
// closed when it cannot be taken.
Status lock_or_close(int fd)
{
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return {};
    const Status failed = errno == EWOULDBLOCK ? Status::lock_held() : last_error();
    close(fd);
    return failed;
}

}  // namespace

Status take_lock(const std::string& path, Lock& lock)
{
    for (;;) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return last_error();
        const Status taken = lock_or_close(fd);
        if (!taken) return taken;
        // The holder before us may have removed the file between our open and
        // our lock: then the lock guards nothing, and the path is tried again.
        struct stat locked {}, named {};
        if (fstat(fd, &locked) == 0 && stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino) {
            lock.handle = fd;
            return {};
        }
        close(fd);
    }
}

void unlock_and_remove(const std::string& path, Lock& lock)
{
    if (lock.handle < 0) return;
    unlink(path.c_str());  // while still held, so nobody locks a file about to vanish
    close(lock.handle);
    lock.handle = -1;
}

// ---- A folder held open ----

Folder::~Folder()
{
    if (fd_ >= 0) close(fd_);
}

Status Folder::open(const std::string& folder)
{
    path_ = folder;
    fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return last_error();
    struct stat info {};
    if (fstat(fd_, &info) != 0) return last_error();
    fill_id(info, id_);
    return {};
}

bool Folder::still_at_its_path() const
{
    FileId now;
    return identify(path_.empty() ? "." : path_, now) && same_file(now, id_);
}

bool Folder::exists(const std::string& name) const
{
    struct stat info {};
    return fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

Status Folder::replace(const std::string& from, const std::string& to) const
{
    return renameat(fd_, from.c_str(), fd_, to.c_str()) == 0 ? Status() : last_error();
}

Status Folder::remove(const std::string& name) const
{
    return unlinkat(fd_, name.c_str(), 0) == 0 || errno == ENOENT ? Status() : last_error();
}

Status Folder::sync() const { return sync_folder_descriptor(fd_); }

std::vector<std::string> Folder::entries() const
{
    std::vector<std::string> names;
    const int fd = openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return names;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
}

Status Folder::create_new(const std::string& name, std::FILE*& stream) const
{
    stream = nullptr;
    const int fd = openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return last_error();
    return stream_on(fd, "wb", stream);
}

Status Folder::open_regular(const std::string& name, std::FILE*& stream) const
{
    stream = nullptr;
    const int fd = openat(fd_, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return last_error();
    const Status regular = keep_if_regular(fd);
    if (!regular) return regular;
    return stream_on(fd, "rb", stream);
}

Status Folder::take_lock(const std::string& name, Lock& lock) const
{
    for (;;) {
        const int fd = openat(fd_, name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) return last_error();
        const Status taken = lock_or_close(fd);
        if (!taken) return taken;
        // The holder before us may have removed the file between our open and
        // our lock: then the lock guards nothing, and the name is tried again.
        struct stat locked {}, named {};
        if (fstat(fd, &locked) == 0 && fstatat(fd_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            lock.handle = fd;
            return {};
        }
        close(fd);
    }
}

void Folder::unlock_and_remove(const std::string& name, Lock& lock) const
{
    if (lock.handle < 0) return;
    unlinkat(fd_, name.c_str(), 0);  // while still held, so nobody locks a file about to vanish
    close(lock.handle);
    lock.handle = -1;
}

void unlock(Lock& lock)
{
    if (lock.handle < 0) return;
    close(lock.handle);
    lock.handle = -1;
}

// ---- Ending by a signal ----
//
// Every thread blocks the ending signals but one, made at the start, which
// waits for them (sigwait) and handles each as an ordinary thread: no signal
// handler runs on a thread that was in the middle of a rename, and GDAL's
// worker threads, made later, inherit the block. A broken pipe is sent to the
// thread that wrote, so it keeps a handler of its own.

namespace {

SignalSlots<PATH_MAX> g_slots;

struct termios g_saved_mode;
std::atomic<int> g_mode_changed{0};  // read by the signal thread and the broken pipe's handler

const int kEndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGXCPU, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF};
bool g_installed = false;
sigset_t g_waited;  // the ending signals the signal thread waits for

// What the signal thread may do, under g_state.
std::mutex g_state;
std::condition_variable g_state_changed;
bool g_holding = false;      // results are being renamed into place
bool g_in_place = false;     // the results are in place: the run ends on its own
bool g_final_wait = false;   // the dialogue waits for its last key
int g_pending = 0;           // a signal that came once the results were in place

void restore_terminal_mode()
{
    if (g_mode_changed) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_mode);
        g_mode_changed = 0;
    }
}

// Restores the terminal, removes the registered paths, then ends the process
// by `sig`: its default action, raised on this thread with the signal let
// through. Only async-signal-safe calls, so that the broken pipe's handler
// may use it too.
void end_by(int sig)
{
    restore_terminal_mode();
    g_slots.remove_all([](const char* path) { unlink(path); });
    signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(sig);
    _exit(128 + sig);
}

void end_by_broken_pipe(int sig) { end_by(sig); }

void wait_for_signals()
{
    for (;;) {
        int sig = 0;
        if (sigwait(&g_waited, &sig) != 0) continue;
        std::unique_lock<std::mutex> lock(g_state);
        g_state_changed.wait(lock, [] { return !g_holding; });
        if (g_in_place && !g_final_wait) {
            if (g_pending == 0) g_pending = sig;
            continue;
        }
        end_by(sig);
    }
}

}  // namespace

bool remove_on_signal(const std::string& path) { return g_slots.add(path); }

void forget_on_signal(const std::string& path) { g_slots.forget(path); }

void install_signal_cleanup()
{
    if (g_installed) return;
    g_installed = true;
    sigemptyset(&g_waited);
    for (int sig : kEndingSignals) {
        struct sigaction old {};
        sigaction(sig, nullptr, &old);
        if (old.sa_handler == SIG_IGN) continue;  // a signal ignored by whoever started us stays ignored
        sigaddset(&g_waited, sig);
    }
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &g_waited, &before);
    try {
        std::thread(wait_for_signals).detach();
    } catch (const std::system_error&) {
        pthread_sigmask(SIG_SETMASK, &before, nullptr);  // no thread: the signals end the process unhandled
    }
    struct sigaction old {};
    sigaction(SIGPIPE, nullptr, &old);
    if (old.sa_handler != SIG_IGN) {
        struct sigaction action {};
        action.sa_handler = end_by_broken_pipe;
        sigfillset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(SIGPIPE, &action, nullptr);
    }
    // A file grown past the size limit should fail its write (reported with
    // the file's name) rather than kill the process without a word.
    std::signal(SIGXFSZ, SIG_IGN);
}

void hold_signals()
{
    const std::lock_guard<std::mutex> lock(g_state);
    g_holding = true;
}

void release_signals(bool results_in_place)
{
    {
        const std::lock_guard<std::mutex> lock(g_state);
        g_holding = false;
        g_in_place = g_in_place || results_in_place;
    }
    g_state_changed.notify_all();
}

void final_wait(bool waiting)
{
    const std::lock_guard<std::mutex> lock(g_state);
    g_final_wait = waiting;
    if (waiting && g_pending != 0) end_by(g_pending);
}

// ---- Modules ----

std::string program_folder()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "";
    return folder_of(std::string(path, static_cast<size_t>(length)));
}

Status module_symbol(const std::string& path, const char* symbol, void*& address)
{
    address = nullptr;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return Status::in_words(dlerror());
    address = dlsym(module, symbol);
    return address != nullptr ? Status() : Status::in_words(dlerror());
}

// ---- Terminal ----

bool input_is_terminal() { return isatty(STDIN_FILENO) != 0; }

bool error_is_terminal() { return isatty(STDERR_FILENO) != 0; }

void wait_terminal_key()
{
    const int fd = STDIN_FILENO;
    if (tcgetattr(fd, &g_saved_mode) != 0) return;
    struct termios raw = g_saved_mode;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    g_mode_changed = 1;  // before the change: a signal arriving during it still restores the mode
    if (tcsetattr(fd, TCSANOW, &raw) != 0) {
        g_mode_changed = 0;
        return;
    }
    unsigned char key = 0;
    if (read(fd, &key, 1) == 1) {
        // Cursor and function keys send several bytes at once: take the rest
        // of the sequence too, so that nothing spills into the shell.
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 1;  // tenths of a second
        tcsetattr(fd, TCSANOW, &raw);
        unsigned char rest[32];
        while (read(fd, rest, sizeof rest) > 0) {
        }
    }
    restore_terminal_mode();
}

// ---- Standard streams ----

void prepare_standard_streams() {}

}  // namespace platform
