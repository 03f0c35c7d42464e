// The few operating-system calls the program needs beyond the standard
// library, behind one small interface: file identity, opening a file without
// blocking, syncing files and folders, advisory locks, process liveness, and
// the cleanup done when a signal ends the process. One source file per
// platform implements it.
//
// Functions that can fail return a Status (status.h): success, or the
// system's reason; what they make (a stream, a descriptor, an identity) comes
// back through a parameter.
#ifndef PLATFORM_PLATFORM_H
#define PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/status.h"

namespace platform {

// ---- Files ----

// What the file system says a path leads to (links followed).
struct FileId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool regular = false;  // a plain file (not a folder, FIFO, device or socket)
    bool folder = false;
};

// The identity of the file `path` leads to; fails when it cannot be found
// (not_found) or examined.
Status identify(const std::string& path, FileId& id);

// The identity of an open file.
Status identify_descriptor(int fd, FileId& id);

inline bool same_file(const FileId& a, const FileId& b) { return a.device == b.device && a.inode == b.inode; }

// Whether two names in one folder name the same entry: the same bytes on
// POSIX systems; on Windows, whose file names ignore case, the same letters.
bool same_name(const std::string& a, const std::string& b);

// Opens an existing file for reading as a stream without ever blocking (a FIFO
// with no writer, a device): a file that is not a regular file is closed again
// at once (not_regular, is_folder for a folder). `stream` is null unless it
// succeeds.
Status open_regular(const std::string& path, const char* mode, std::FILE*& stream);

// Creates `path` exclusively (it must not exist) for writing.
Status create_new(const std::string& path, std::FILE*& stream);

// Opens `path` for writing from its start, creating or emptying it (a writer
// that takes a path, such as the bitmap writer).
Status open_for_writing(const std::string& path, std::FILE*& stream);

// Forces the data of an open stream, or of the file at `path`, to the disk. A
// stream that a write failed on already fails with that write's reason.
Status sync_stream(std::FILE* stream);
Status sync_file(const std::string& path);

// Starts writing the file's changed data to the disk without waiting for it,
// so that the sync before it replaces another has less left to wait for. A
// hint only: where the system has no such call it does nothing.
void start_writeback(int fd);

// Forces the folder's entries (renames, new and removed names) to the disk.
Status sync_folder(const std::string& folder);

// Replaces `to` by `from` in one step (the same folder).
Status replace(const std::string& from, const std::string& to);

// Removes a file; a file already gone counts as removed.
Status remove_file(const std::string& path);

bool exists(const std::string& path);

// The folder part of a path (up to and including its last separator; empty
// for a bare name) and the name after it.
std::string folder_of(const std::string& path);
std::string name_in_folder(const std::string& path);

// Whether `name` is a plain name of an entry of a folder: not empty, not
// "." or "..", and without a separator (nor, on Windows, a drive).
bool is_plain_name(const std::string& name);

// The names in a folder (without "." and ".."); empty when it cannot be read.
std::vector<std::string> folder_entries(const std::string& folder);

// ---- Reads and writes at offsets ----
//
// Several threads may share one open file through these: none uses or moves
// a shared file position.

// Reads up to `size` bytes at `offset`, retrying after interruptions and
// partial reads; `got` tells how many were read (fewer than `size` only at
// the end of the file).
Status read_at(int fd, void* data, size_t size, uint64_t offset, size_t& got);

// Writes all `size` bytes at `offset`.
Status write_at(int fd, const void* data, size_t size, uint64_t offset);

// Sets the length of an open file; bytes added at the end read as 0.
Status set_length(int fd, uint64_t length);

// Length of an open regular file, or -1 when it is not one.
int64_t regular_length(int fd);

// The descriptor of an open stream.
int descriptor_of(std::FILE* stream);

// Creates `path` exclusively (it must not exist), open for reading and
// writing, and removes its name at once: the file has no name left that
// another process could find, and the system frees it when it is closed or
// the process ends, however. `fd` is its descriptor, or -1 when it fails.
Status create_unnamed(const std::string& path, int& fd);

void close_descriptor(int fd);

// Opens an existing regular file for writing (and reading back) at offsets,
// as another process of the same run or a library created it (nothing else:
// not_regular otherwise), no link followed. `fd` is its descriptor, or -1
// when it fails.
Status open_existing_for_writing(const std::string& path, int& fd);

// Forces an open file's data to the disk.
Status sync_descriptor(int fd);

// ---- Modules ----

// The folder of the running program's file, ending in its separator (empty
// when it cannot be found).
std::string program_folder();

// Loads the shared module at `path` (once) and gives the address of its
// `symbol`; null, with the loader's own words as the reason, when either
// fails.
Status module_symbol(const std::string& path, const char* symbol, void*& address);

// ---- Processes ----

long process_id();

// The cores this process may run on (a launcher may have bound it to some),
// 0 when the system does not say.
unsigned cores_of_this_process();

// ---- Locks ----

// An exclusive advisory lock held on the file at `path`, created when needed.
// A lock another process holds fails as busy. The lock is given up, and the
// file removed, by unlock(); a lock file found empty of holders may be
// removed by anyone who takes it, so take() makes sure the file it locked is
// still the one the path names.
struct Lock {
    int handle = -1;
};
Status take_lock(const std::string& path, Lock& lock);
void unlock_and_remove(const std::string& path, Lock& lock);
// Gives the lock up and leaves its file.
void unlock(Lock& lock);

// ---- A folder held open ----

// A folder opened once, in which names are then made, renamed, removed and
// locked: whatever its path leads to later (a link swapped for another, the
// folder moved), every name is taken in the folder that was opened, so that a
// set of results cannot be split between two folders. On systems without
// such calls the names are joined to the path.
class Folder {
public:
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    // Opens the folder of a path as folder_of gives it ("" for the current
    // folder).
    Status open(const std::string& folder);

    // The path it was opened by, and the identity it had then.
    const std::string& path() const { return path_; }
    const FileId& id() const { return id_; }

    // Whether its path still leads to this folder.
    bool still_at_its_path() const;

    bool exists(const std::string& name) const;
    Status replace(const std::string& from, const std::string& to) const;
    Status remove(const std::string& name) const;  // a name already gone counts as removed
    Status sync() const;
    std::vector<std::string> entries() const;  // empty when it cannot be read

    // Creates `name` exclusively for writing; opens `name` for reading when
    // it is a regular file (never waiting on a FIFO or device: not_regular
    // for another kind of file).
    Status create_new(const std::string& name, std::FILE*& stream) const;
    Status open_regular(const std::string& name, std::FILE*& stream) const;

    // The lock on the file `name` (see take_lock above).
    Status take_lock(const std::string& name, Lock& lock) const;
    void unlock_and_remove(const std::string& name, Lock& lock) const;

private:
    int fd_ = -1;
    std::string path_;
    FileId id_;
};

// ---- Ending by a signal ----

// Paths removed when a signal ends the process (temporary files, the lock
// file). The table has a fixed number of slots of fixed size, so that the
// signal handler reads nothing that may be changing under it. Returns false
// when the table is full or the path too long (the path is then simply not
// removed by a signal; a later run removes it).
bool remove_on_signal(const std::string& path);
void forget_on_signal(const std::string& path);

// Takes over the signals that end the process (interrupt, quit, terminate,
// hang-up, CPU-time limit, the user and alarm signals; a broken pipe on the
// thread that writes): whatever thread they are sent to, they are handled
// in one place, which restores the terminal mode if the key wait changed it,
// removes the registered paths, then ends the process by the same signal. A
// file grown beyond the size limit fails its write instead of ending the
// process. Called at the start of the program, before any thread is made
// (every thread made later, GDAL's too, keeps the signals away); later calls
// do nothing.
void install_signal_cleanup();

// While a set of results is renamed into place, a signal waits, so that the
// renames are never cut in the middle; release_signals tells whether the set
// is now in place. Once it is, a signal no longer ends the run: the run ends
// on its own (its report included), except in the final key wait, which the
// signal ends as before.
void hold_signals();
void release_signals(bool results_in_place);

// The final key wait of the dialogue begins or ends (a signal that came after
// the results were put in place ends the program as the wait begins).
void final_wait(bool waiting);

// ---- Terminal ----

// Whether standard input is a terminal.
bool input_is_terminal();

// Whether standard error is a terminal (progress is shown only there).
bool error_is_terminal();

// Waits for one key on the terminal: no echo, no Enter needed, the whole key
// sequence of a cursor or function key swallowed. The previous mode is
// restored afterwards, and by the signal handler if a signal ends the wait.
void wait_terminal_key();

// ---- Standard streams ----

// Standard input, output and error pass bytes through unchanged (no "\r"
// added before "\n" on Windows), so that transcripts are the same bytes on
// every system. Called once at the start of a run.
void prepare_standard_streams();

}  // namespace platform

#endif
