#include "run/image_file.h"

#include "shared/run_error.h"

int open_run_file(const std::string& temp_path, const platform::FileId& created, const std::string& shown_path)
{
    int fd = -1;
    const platform::Status opened = platform::open_existing_for_writing(temp_path, fd);
    if (!opened) throw RunError("cannot write " + shown_path + ": " + opened.reason());
    platform::FileId found;
    const platform::Status known = platform::identify_descriptor(fd, found);
    if (!known || !platform::same_file(found, created)) {
        platform::close_descriptor(fd);
        if (!known) throw RunError("cannot write " + shown_path + ": " + known.reason());
        throw RunError("cannot write " + shown_path + ": its temporary file " + temp_path +
                       " was replaced by another file while the run wrote it");
    }
    return fd;
}

void ImageFile::open()
{
    if (fd_ < 0) fd_ = open_run_file(temp_path_, created_, shown_path_);
}

void ImageFile::check(const platform::Status& done) const
{
    if (!done) throw RunError("cannot write " + shown_path_ + ": " + done.reason());
}

void ImageFile::write_at(const unsigned char* data, size_t size, uint64_t offset)
{
    check(platform::write_at(fd_, data, size, offset));
}

void ImageFile::read_at(unsigned char* data, size_t size, uint64_t offset)
{
    size_t got = 0;
    check(platform::read_at(fd_, data, size, offset, got));
    if (got != size) throw RunError("cannot write " + shown_path_ + ": it ends before the bytes it wrote");
}

uint64_t ImageFile::length()
{
    const int64_t length = platform::regular_length(fd_);
    if (length < 0) throw RunError("cannot write " + shown_path_ + ": it is no longer a regular file");
    return static_cast<uint64_t>(length);
}

void ImageFile::sync() { check(platform::sync_descriptor(fd_)); }
