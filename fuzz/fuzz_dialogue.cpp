// Fuzz target: a whole run of the program, the bytes as its standard input.
//
// Once per process: a private temporary folder is made with images/dem/
// below it holding three tiny models, and the process moves into it (so the
// corpus folders and -artifact_prefix given to libFuzzer must be absolute
// paths). Models:
//   tiny.asc                        ASCII grid, 6 lines x 7 columns
//   tiny_m2.raw + tiny_m2.txt       16-bit raw raster with its descriptor
//   tiny_m4.raw                     32-bit raw raster, 5 x 6, without descriptor
//
// Per input: the run reads its answers from the bytes; afterwards no private
// file of the run (temporary file, backup, journal, lock) may be left anywhere
// below images/ (the program removes them on every end), then images/ is emptied and the models
// are written again, so that every input starts from the same folder whatever
// the run created or replaced.
//
// Output: standard output goes to /dev/null. The program's error messages are
// written through the stream stderr, which points to /dev/null during a run
// and is restored afterwards; libFuzzer and the sanitizers keep writing their
// reports to file descriptor 2, which is never redirected.
//
// Answers that contain ".." are skipped: a folder or file name is typed by the
// user and may walk out of images/, and a fuzzed run must not write outside
// its temporary folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "dialogue/console.h"
#include "fuzz_input.h"
#include "dialogue/isolines_trace_4.h"

namespace {

namespace fs = std::filesystem;

std::FILE* g_null_stream = nullptr;
std::string g_folder;  // the private temporary folder, removed at exit

void remove_folder()
{
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
}

void write_model(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    out.close();
    FUZZ_CHECK(out.good());
}

std::string little_endian_samples(int count, int width, int32_t first, int32_t step)
{
    std::string bytes;
    for (int k = 0; k < count; ++k) {
        const auto v = static_cast<uint32_t>(first + step * ((k * 7) % 11));
        for (int b = 0; b < width; ++b) bytes.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
    }
    return bytes;
}

// The folder every run starts from.
void make_models()
{
    std::error_code ignored;
    fs::remove_all("images", ignored);
    fs::create_directories("images/dem");
    write_model("images/dem/tiny.asc",
                "ncols 7\nnrows 6\nxllcorner 0\nyllcorner 0\ncellsize 25\nNODATA_value -9999\n"
                "50 50 50 50 50 50 50\n50 40 30 30 30 40 50\n50 30 10 10 10 30 50\n"
                "50 30 10 -9999 10 30 50\n50 40 30 30 30 40 50\n50 50 50 50 50 50 60\n");
    write_model("images/dem/tiny_m2.raw", little_endian_samples(6 * 7, 2, 100, 37));
    write_model("images/dem/tiny_m2.txt", "6\n7\n2\n0\n0\n30\n");
    write_model("images/dem/tiny_m4.raw", little_endian_samples(5 * 6, 4, -200, 91));
}

// The private files of a run: ".it4-<this process id>-<n>" with ".tmp",
// ".bak" or ".jnl" (temporary files, backups, journal), and the lock
// ".it4~<result>". Every final name ends in "_tab.txt", ".txt", ".raw" or
// ".bmp", so a typed result name that merely looks private is not taken for
// a lock.
bool ends_with(const std::string& name, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    return name.size() >= n && name.compare(name.size() - n, n, suffix) == 0;
}

bool is_left_temporary(const fs::path& p)
{
    const std::string name = p.filename().string();
    const std::string own = ".it4-" + std::to_string(getpid()) + "-";
    if (name.rfind(own, 0) == 0) return ends_with(name, ".tmp") || ends_with(name, ".bak") || ends_with(name, ".jnl");
    if (name.rfind(".it4~", 0) == 0)
        return !ends_with(name, ".txt") && !ends_with(name, ".raw") && !ends_with(name, ".bmp");
    return false;
}

void check_no_temporary_left()
{
    for (const auto& entry : fs::recursive_directory_iterator("images"))
        FUZZ_CHECK(!is_left_temporary(entry.path()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "fuzz_dialogue-XXXXXX").string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    FUZZ_CHECK(chdir(pattern.c_str()) == 0);
    g_folder = pattern;
    std::atexit(remove_folder);
    FUZZ_CHECK(std::freopen("/dev/null", "w", stdout) != nullptr);
    g_null_stream = std::fopen("/dev/null", "w");
    FUZZ_CHECK(g_null_stream != nullptr);
    make_models();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view answers(reinterpret_cast<const char*>(data), size);
    if (answers.find("..") != std::string_view::npos) return -1;

    std::FILE* in = stream_of(data, size);
    if (in == nullptr) return 0;
    console::set_input(in);
    std::FILE* const saved_stderr = stderr;
    stderr = g_null_stream;
    const int status = isolines_trace_4();
    stderr = saved_stderr;
    console::set_input(nullptr);
    std::fclose(in);

    FUZZ_CHECK(status == 0 || status == 1);
    check_no_temporary_left();
    make_models();
    return 0;
}
