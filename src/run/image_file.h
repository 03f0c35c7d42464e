// The result image's temporary file, opened again by its path once GDAL or
// another process made it: a regular file, no link followed, and the very
// file the run created (its device and inode), else refused: whoever can
// write in the result folder could have put another file under that name,
// which the run must not write into.
#ifndef RUN_IMAGE_FILE_H
#define RUN_IMAGE_FILE_H

#include <cstdint>
#include <string>

#include "gdal/image_file_access.h"
#include "platform/platform.h"

// The descriptor of `temp_path`, open for reading and writing, checked to be
// `created`; RunError naming `shown_path` otherwise.
int open_run_file(const std::string& temp_path, const platform::FileId& created, const std::string& shown_path);

class ImageFile final : public ImageFileAccess {
public:
    ImageFile(std::string temp_path, const platform::FileId& created, std::string shown_path)
        : temp_path_(std::move(temp_path)), created_(created), shown_path_(std::move(shown_path))
    {
    }
    ~ImageFile() override { platform::close_descriptor(fd_); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    void open() override;
    void write_at(const unsigned char* data, size_t size, uint64_t offset) override;
    void read_at(unsigned char* data, size_t size, uint64_t offset) override;
    uint64_t length() override;
    void sync() override;

private:
    void check(const platform::Status& done) const;

    std::string temp_path_;
    platform::FileId created_;
    std::string shown_path_;
    int fd_ = -1;
};

#endif
