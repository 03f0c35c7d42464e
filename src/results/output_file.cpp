#include "results/output_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform/platform.h"
#include "results/run_lock.h"
#include "shared/run_error.h"

OutputFile::OutputFile(std::string final_path) : final_path_(std::move(final_path))
{
    const std::string folder = platform::folder_of(final_path_);
    // The run's lock in the folder comes before its first private file there.
    const platform::Status locked = hold_run_lock(folder);
    if (!locked) throw RunError("cannot create " + final_path_ + ": " + locked.reason());
    // A name of this run left by a run that had the same id before us is
    // skipped.
    for (;;) {
        temp_path_ = folder + private_name(".tmp");
        // Registered first: a signal between the creation and the
        // registration would otherwise leave the file behind.
        platform::remove_on_signal(temp_path_);
        const platform::Status created = platform::create_new(temp_path_, stream_);
        if (created) return;
        platform::forget_on_signal(temp_path_);
        if (!created.already_exists()) throw RunError("cannot create " + final_path_ + ": " + created.reason());
    }
}

OutputFile::~OutputFile()
{
    if (stream_ != nullptr) std::fclose(stream_);
    if (!committed_) (void)platform::remove_file(temp_path_);  // a later run removes what is left
    platform::forget_on_signal(temp_path_);
}

void OutputFile::fail(const std::string& problem) const
{
    throw RunError("cannot write " + final_path_ + ": " + problem);
}

void OutputFile::write(const void* data, size_t size)
{
    if (size != 0 && std::fwrite(data, 1, size, stream_) != size) fail(std::strerror(errno));
}

void OutputFile::printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int written = std::vfprintf(stream_, format, args);
    va_end(args);
    if (written < 0) fail(std::strerror(errno));
}

void OutputFile::close()
{
    if (stream_ == nullptr) return;
    std::FILE* stream = stream_;
    stream_ = nullptr;
    const platform::Status synced = platform::sync_stream(stream);
    const bool closed = std::fclose(stream) == 0;
    if (!synced) fail(synced.reason());
    if (!closed) fail(std::strerror(errno));
    sealed_ = true;
}

void OutputFile::hand_over()
{
    if (stream_ == nullptr) return;
    const platform::Status known = platform::identify_descriptor(platform::descriptor_of(stream_), created_);
    std::fclose(stream_);
    stream_ = nullptr;
    if (!known) fail(known.reason());
    handed_over_ = true;
}

void OutputFile::check_still_in_place() const
{
    platform::FileId found;
    if (handed_over_ && (!platform::identify(temp_path_, found) || !platform::same_file(found, created_)))
        fail("its temporary file " + temp_path_ + " was replaced by another file while the run wrote it");
}

void OutputFile::seal()
{
    if (stream_ != nullptr) return close();
    if (sealed_) return;
    check_still_in_place();
    const platform::Status synced = platform::sync_file(temp_path_);
    if (!synced) fail(synced.reason());
    sealed_ = true;
}

void OutputFile::commit()
{
    seal();
    const platform::Status replaced = platform::replace(temp_path_, final_path_);
    if (!replaced) throw RunError("cannot put " + final_path_ + " in place: " + replaced.reason());
    mark_committed();
    const platform::Status synced = platform::sync_folder(platform::folder_of(final_path_));
    if (!synced) throw RunError("cannot write " + final_path_ + ": " + synced.reason());
}

void OutputFile::mark_committed()
{
    committed_ = true;
    platform::forget_on_signal(temp_path_);
}
