// Reads and writes at given offsets of an open file, so that several threads
// can share one file without a shared file position; and a hidden scratch
// file that disappears with the process.
//
// Every function reports a failure through its result and leaves errno set;
// the callers turn it into a message naming their file.
#ifndef POSITIONED_IO_H
#define POSITIONED_IO_H

#include <cstddef>
#include <cstdint>
#include <string>

// Reads up to `size` bytes at `offset` into `data`, retrying after
// interruptions and partial reads. Returns the bytes read (fewer than `size`
// only at the end of the file), or -1 on a read error.
int64_t read_at(int fd, void* data, size_t size, uint64_t offset);

// Writes all `size` bytes at `offset`; false on an error (errno set).
bool write_at(int fd, const void* data, size_t size, uint64_t offset);

// Sets the length of the file; bytes added at the end read as 0.
bool set_file_length(int fd, uint64_t length);

// Length of an open regular file, or -1 when it is not one.
int64_t regular_file_length(int fd);

// Creates a scratch file in `folder` (a path ending in its separator) that no
// other process can find and that the system removes when it is closed or the
// process ends. Returns its descriptor, or -1 (errno set).
int create_scratch_file(const std::string& folder);

// Closes a descriptor (errors are ignored: nothing was written that matters).
void close_file(int fd);

#endif
