// A result file that replaces an earlier file of its name only once complete.
//
// The file is created under a short private name in the folder of its final
// path, ".it4-<run>-<n>.tmp" (private_names.h), short so that every valid final
// name works, and recognisable so that a later run can remove it once its run
// is gone (see result_set.h). close() writes it completely and forces it to
// the disk; commit() renames it into place. Until then an earlier file of that
// name stays untouched; if the run ends before the commit (a failure, the Exit
// choice, the end of input, or a signal that ends the process) the temporary
// file is removed.
#ifndef RESULTS_OUTPUT_FILE_H
#define RESULTS_OUTPUT_FILE_H

#include <cstdio>
#include <string>

#include "platform/platform.h"

class OutputFile {
public:
    // Creates the temporary file, open for writing; a file that cannot be
    // created ends the run with a RunError naming final_path.
    explicit OutputFile(std::string final_path);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    std::FILE* stream() const { return stream_; }
    const std::string& final_path() const { return final_path_; }
    const std::string& temp_path() const { return temp_path_; }

    // Writes bytes; a short write (a full disk) ends the run with a RunError.
    void write(const void* data, size_t size);
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Flushes the stream, forces the file to the disk and closes it, reporting
    // any failure with the system's reason; the file keeps its temporary name.
    void close();

    // Closes the stream without writing anything, so that another writer may
    // fill the temporary file by its path; seal() then forces that to disk,
    // once it has found the file under that path still the one it created
    // (whoever can write in the folder could have put another in its place,
    // which the commit would put in place as the result).
    void hand_over();
    void seal();
    // Throws that message when the file handed over is no longer under its
    // temporary name: a failure of its writer may be no more than that.
    void check_still_in_place() const;

    // Closes and seals the file if needed, renames it into place and forces
    // the folder's entry to the disk. For a file that is the run's only result
    // of its kind (the model's new descriptor); a set of results goes into
    // place together (result_set.h).
    void commit();

    // The file is in place under its final name (by commit or by a set), or
    // is left for the next run to settle: it is no longer removed.
    void mark_committed();

private:
    [[noreturn]] void fail(const std::string& problem) const;

    std::string final_path_;
    std::string temp_path_;
    std::FILE* stream_ = nullptr;
    bool handed_over_ = false;
    platform::FileId created_;  // the temporary file, once handed over
    bool sealed_ = false;
    bool committed_ = false;
};

#endif
