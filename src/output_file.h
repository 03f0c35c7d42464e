// A result file that replaces an earlier file of its name only once complete.
//
// The file is created under a temporary name in the folder of its final path
// and renamed into place by commit(). Until then an earlier file of that name
// stays untouched; if the run ends before the commit (a failure, the Exit
// choice, the end of input, or a signal that ends the process) the temporary
// file is removed.
#ifndef OUTPUT_FILE_H
#define OUTPUT_FILE_H

#include <cstdio>
#include <string>

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

    // Flushes and closes the stream, reporting any write error; the file keeps
    // its temporary name.
    void close();

    // Closes the stream if it is still open and renames the file into place.
    void commit();

private:
    [[noreturn]] void fail(const std::string& problem);

    std::string final_path_;
    std::string temp_path_;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

#endif
