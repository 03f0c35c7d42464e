#include "results/output_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform/platform.h"
#include "results/run_lock.h"
#include "run_error.h"

namespace {

std::string describe_errno() { return std::strerror(errno); }

}  // namespace

OutputFile::OutputFile(std::string final_path) : final_path_(std::move(final_path))
{
    const std::string folder = platform::folder_of(final_path_);
    // The run's lock in the folder comes before its first private file there.
    if (!hold_run_lock(folder)) throw RunError("cannot create " + final_path_ + ": " + describe_errno());
    // A name of this run left by a run that had the same id before us is
    // skipped.
    for (;;) {
        temp_path_ = folder + private_name(".tmp");
        // Registered first: a signal between the creation and the
        // registration would otherwise leave the file behind.
        platform::remove_on_signal(temp_path_);
        stream_ = platform::create_new(temp_path_);
        if (stream_ != nullptr) return;
        const int error = errno;
        platform::forget_on_signal(temp_path_);
        errno = error;
        if (error != EEXIST) throw RunError("cannot create " + final_path_ + ": " + describe_errno());
    }
}

OutputFile::~OutputFile()
{
    if (stream_ != nullptr) std::fclose(stream_);
    if (!committed_) platform::remove_file(temp_path_);
    platform::forget_on_signal(temp_path_);
}

void OutputFile::fail(const std::string& problem) const
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
    const bool synced = std::ferror(stream) == 0 && platform::sync_stream(stream);
    const int sync_errno = errno;
    const bool closed = std::fclose(stream) == 0;
    if (!synced) {
        errno = sync_errno;
        fail(describe_errno());
    }
    if (!closed) fail(describe_errno());
    sealed_ = true;
}

void OutputFile::hand_over()
{
    if (stream_ == nullptr) return;
    std::fclose(stream_);
    stream_ = nullptr;
}

void OutputFile::seal()
{
    if (stream_ != nullptr) return close();
    if (sealed_) return;
    if (!platform::sync_file(temp_path_)) fail(describe_errno());
    sealed_ = true;
}

void OutputFile::commit()
{
    seal();
    if (!platform::replace(temp_path_, final_path_)) throw RunError("cannot put " + final_path_ + " in place: " + describe_errno());
    mark_committed();
    if (!platform::sync_folder(platform::folder_of(final_path_)))
        throw RunError("cannot write " + final_path_ + ": " + describe_errno());
}

void OutputFile::mark_committed()
{
    committed_ = true;
    platform::forget_on_signal(temp_path_);
}
