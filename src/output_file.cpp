#include "output_file.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "run_error.h"

namespace {

// Temporary files not yet committed, removed by the signal handler when the
// process is ended by a signal.
std::vector<const char*> g_pending_paths;
bool g_handlers_installed = false;

void remove_pending_and_reraise(int sig)
{
    for (const char* path : g_pending_paths) unlink(path);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void install_signal_handlers()
{
    if (g_handlers_installed) return;
    g_handlers_installed = true;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        if (std::signal(sig, remove_pending_and_reraise) == SIG_IGN) std::signal(sig, SIG_IGN);  // keep an ignore
    }
    // A file grown past the size limit should fail its write (reported with
    // the file's name) rather than kill the process without a word.
    std::signal(SIGXFSZ, SIG_IGN);
}

void forget_pending(const std::string& path)
{
    for (auto it = g_pending_paths.begin(); it != g_pending_paths.end(); ++it) {
        if (*it == path.c_str()) {
            g_pending_paths.erase(it);
            return;
        }
    }
}

std::string describe_errno() { return std::strerror(errno); }

}  // namespace

OutputFile::OutputFile(std::string final_path) : final_path_(std::move(final_path))
{
    install_signal_handlers();
    std::string pattern = final_path_ + ".tmp-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw RunError("cannot create " + final_path_ + ": " + describe_errno());
    temp_path_ = pattern;
    // mkstemp makes the file private; give it the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        ::close(fd);
        unlink(temp_path_.c_str());
        throw RunError("cannot create " + final_path_ + ": " + describe_errno());
    }
    g_pending_paths.push_back(temp_path_.c_str());
}

OutputFile::~OutputFile()
{
    if (stream_ != nullptr) std::fclose(stream_);
    if (!committed_) {
        forget_pending(temp_path_);
        unlink(temp_path_.c_str());
    }
}

void OutputFile::fail(const std::string& problem)
{
    throw RunError("cannot write " + final_path_ + ": " + problem);
}

void OutputFile::write(const void* data, size_t size)
{
    if (size != 0 && std::fwrite(data, 1, size, stream_) != size) fail(describe_errno());
}

void OutputFile::printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int written = std::vfprintf(stream_, format, args);
    va_end(args);
    if (written < 0) fail(describe_errno());
}

void OutputFile::close()
{
    if (stream_ == nullptr) return;
    std::FILE* stream = stream_;
    stream_ = nullptr;
    const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    const int flush_errno = errno;
    const bool closed = std::fclose(stream) == 0;
    if (!flushed) {
        errno = flush_errno;
        fail(describe_errno());
    }
    if (!closed) fail(describe_errno());
}

void OutputFile::commit()
{
    close();
    if (std::rename(temp_path_.c_str(), final_path_.c_str()) != 0) fail(describe_errno());
    committed_ = true;
    forget_pending(temp_path_);
}
