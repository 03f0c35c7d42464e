// Runs the real program in a temporary working folder with answers piped on
// standard input, and compares what it printed and wrote with expected files.
//
// Expected files live in tests/e2e/cases/<case>/: stdout.txt, stderr.txt and
// one file per result. Setting UPDATE_EXPECTED=1 rewrites them from the run
// (they must then be checked by hand before they are committed).
#ifndef E2E_HARNESS_H
#define E2E_HARNESS_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

struct Run {
    std::string out;
    std::string err;
    int status = -1;       // exit status, or 128 + signal
    bool timed_out = false;
};

// A temporary working folder with images/<folder>/ below it.
class Workspace {
public:
    explicit Workspace(std::string folder = "dem") : folder_(std::move(folder))
    {
        std::string pattern = (fs::temp_directory_path() / "isolines-e2e-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
        fs::create_directories(model_folder());
    }
    ~Workspace()
    {
        std::error_code ignored;
        fs::permissions(model_folder(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root_, ignored);
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const fs::path& root() const { return root_; }
    fs::path model_folder() const { return root_ / "images" / folder_; }

    // Copies a sample model of tests/data/models into the model folder.
    void add_model(const std::string& sample, const std::string& name) const
    {
        fs::copy_file(fs::path(ISOLINES_TEST_DATA) / "models" / sample, model_folder() / name,
                      fs::copy_options::overwrite_existing);
    }
    void add_file(const std::string& name, const std::string& bytes) const { write_file(model_folder() / name, bytes); }

    std::set<std::string> files() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(model_folder())) names.insert(entry.path().filename().string());
        return names;
    }

    // Runs the program with `answers` on standard input (never a terminal).
    // `shell_prefix` runs first in a shell (for example "ulimit -f 8;"); a
    // non-negative `as_user` runs the program under that user id.
    Run run(const std::string& answers, int timeout_seconds = 120, const std::string& shell_prefix = "",
            int as_user = -1) const
    {
        const fs::path in = root_ / ".stdin", out = root_ / ".stdout", err = root_ / ".stderr";
        write_file(in, answers);
        const pid_t child = fork();
        if (child == 0) {
            if (chdir(root_.c_str()) != 0) _exit(126);
            const int fd_in = open(in.c_str(), O_RDONLY);
            const int fd_out = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int fd_err = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd_in, 0);
            dup2(fd_out, 1);
            dup2(fd_err, 2);
            if (as_user >= 0 && (setgid(static_cast<gid_t>(as_user)) != 0 || setuid(static_cast<uid_t>(as_user)) != 0))
                _exit(125);
            if (shell_prefix.empty()) {
                execl(ISOLINES_BINARY, ISOLINES_BINARY, static_cast<char*>(nullptr));
            } else {
                const std::string command = shell_prefix + " exec '" + std::string(ISOLINES_BINARY) + "'";
                execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        Run result;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
        int wstatus = 0;
        while (waitpid(child, &wstatus, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &wstatus, 0);
                result.timed_out = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        result.out = read_file(out);
        result.err = read_file(err);
        fs::remove(in);
        fs::remove(out);
        fs::remove(err);
        return result;
    }

private:
    std::string folder_;
    fs::path root_;
};

inline bool updating() { return std::getenv("UPDATE_EXPECTED") != nullptr; }

// Compares `actual` with the expected file tests/e2e/cases/<name>, byte for byte.
inline void expect_matches(const std::string& name, const std::string& actual)
{
    const fs::path expected_path = fs::path(ISOLINES_E2E_CASES) / name;
    if (updating()) {
        write_file(expected_path, actual);
        return;
    }
    ASSERT_TRUE(fs::exists(expected_path)) << "missing expected file " << expected_path;
    const std::string expected = read_file(expected_path);
    if (expected == actual) return;
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    ADD_FAILURE() << name << " differs from the expected file at byte " << at << " (expected " << expected.size()
                  << " bytes, got " << actual.size() << ")\n--- expected from there:\n"
                  << expected.substr(at, 200) << "\n--- got from there:\n"
                  << actual.substr(at, 200);
}

// Compares the transcript and the listed result files of a run with the
// expected files of case `name`.
inline void expect_case(const std::string& name, const Workspace& ws, const Run& run,
                        const std::vector<std::string>& results)
{
    EXPECT_FALSE(run.timed_out) << "the program did not end";
    expect_matches(name + "/stdout.txt", run.out);
    expect_matches(name + "/stderr.txt", run.err);
    for (const std::string& result : results) {
        ASSERT_TRUE(fs::exists(ws.model_folder() / result)) << result << " was not written";
        expect_matches(name + "/" + result, read_file(ws.model_folder() / result));
    }
}

}  // namespace e2e

#endif
