// An open stream that closes itself, so that no failure path has to.
#ifndef SHARED_FILE_HANDLE_H
#define SHARED_FILE_HANDLE_H

#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

#endif
