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
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
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

    // A raw 32-bit model `name`_m4 (with its descriptor) made of the sample
    // `sample`_m4 repeated `down` times down and `across` times across.
    void add_tiled_raw(const std::string& sample, const std::string& name, int down, int across) const
    {
        const fs::path models = fs::path(ISOLINES_TEST_DATA) / "models";
        std::istringstream descriptor(read_file(models / (sample + ".txt")));
        int lines = 0, columns = 0, width = 0, lowest = 0, highest = 0, pixel = 0;
        descriptor >> lines >> columns >> width >> lowest >> highest >> pixel;
        const std::string samples = read_file(models / (sample + ".raw"));
        const size_t row_bytes = static_cast<size_t>(columns) * 4;
        std::string tiled;
        for (int copy_down = 0; copy_down < down; ++copy_down)
            for (int i = 0; i < lines; ++i)
                for (int copy_across = 0; copy_across < across; ++copy_across)
                    tiled += samples.substr(static_cast<size_t>(i) * row_bytes, row_bytes);
        add_file(name + ".raw", tiled);
        add_file(name + ".txt", std::to_string(lines * down) + "\n" + std::to_string(columns * across) + "\n4\n" +
                                    std::to_string(lowest) + "\n" + std::to_string(highest) + "\n" +
                                    std::to_string(pixel) + "\n");
    }

    std::set<std::string> files() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(model_folder())) names.insert(entry.path().filename().string());
        return names;
    }

    // Runs the program with `answers` on standard input (never a terminal).
    // `shell_prefix` runs first in a shell (for example "ulimit -f 8;"); a
    // non-negative `as_user` runs the program under that user id; `args` are
    // its command-line arguments (none: the dialogue); `launcher` starts the
    // program (for example "mpirun -n 2").
    Run run(const std::string& answers, int timeout_seconds = 120, const std::string& shell_prefix = "",
            int as_user = -1, const std::vector<std::string>& args = {}, const std::string& launcher = "") const
    {
        std::vector<char*> argv{const_cast<char*>(ISOLINES_BINARY)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
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
            if (shell_prefix.empty() && launcher.empty()) {
                execv(ISOLINES_BINARY, argv.data());
            } else {
                std::string command = shell_prefix + " exec " + launcher + " '" + std::string(ISOLINES_BINARY) + "'";
                for (const std::string& arg : args) command += " '" + arg + "'";  // arguments hold no quote
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

    // Runs the program with command-line arguments, nothing on standard input.
    Run run_command(const std::vector<std::string>& args) const { return run("", 120, "", -1, args); }

private:
    std::string folder_;
    fs::path root_;
};

// The program run on a pseudo-terminal, driven step by step by the test.
struct TerminalRun {
    pid_t child = -1;
    int master = -1;  // what the program prints comes out here; keys go in here
    int slave = -1;   // the terminal's own side, to inspect its mode
    std::string seen;

    ~TerminalRun()
    {
        if (child > 0 && waitpid(child, nullptr, WNOHANG) == 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }

    // Starts the program in the workspace (no core file on a quit signal).
    explicit TerminalRun(const Workspace& ws)
    {
        child = forkpty(&master, nullptr, nullptr, nullptr);
        if (child == 0) {
            const rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            if (chdir(ws.root().c_str()) != 0) _exit(126);
            execl(ISOLINES_BINARY, ISOLINES_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
        if (child > 0) slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    }
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    bool type(const std::string& keys) const
    {
        return write(master, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
    }

    // Reads what the program prints until `text` has appeared or time runs out.
    bool read_until(const std::string& text, int timeout_ms = 20000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (seen.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) return seen.find(text) != std::string::npos;
            seen.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }

    // The terminal's mode once the key wait has switched echo off (or after a second).
    termios mode_during_key_wait() const
    {
        termios during{};
        for (int i = 0; i < 100; ++i) {
            tcgetattr(slave, &during);
            if ((during.c_lflag & ECHO) == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return during;
    }

    // The exit status (128 + signal for a signal), or -1 if still running after five seconds.
    int wait_for_end()
    {
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            if (waitpid(child, &status, WNOHANG) == child) {
                child = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
};

// The names of the program's private files (temporary files, backups,
// journals, locks) in the model folder.
inline std::set<std::string> private_files(const Workspace& ws)
{
    std::set<std::string> names;
    for (const std::string& name : ws.files())
        if (name.rfind(".it4", 0) == 0) names.insert(name);
    return names;
}

// Runs gdal_tool.py in the workspace's root and returns what it printed.
inline std::string gdal_tool(const Workspace& ws, const std::string& args)
{
    const fs::path out = ws.root() / ".tool";
    const std::string command = "cd '" + ws.root().string() + "' && /usr/bin/python3 '" +
                                std::string(ISOLINES_E2E_DIR) + "/gdal_tool.py' " + args + " > .tool 2>&1";
    const int status = std::system(command.c_str());
    const std::string printed = read_file(out);
    EXPECT_EQ(status, 0) << command << "\n" << printed;
    return printed;
}

// Whether the tests of GeoTIFF and PNG results can run: the program was built
// with GDAL, and Python has GDAL and Pillow to make models and read results.
inline bool gdal_tests_can_run()
{
#ifndef ISOLINES_WITH_GDAL
    return false;
#endif
    return std::system("/usr/bin/python3 -c 'import osgeo.gdal, PIL' > /dev/null 2>&1") == 0;
}

// The shell prefix that preloads the fault shim with one setting, e.g.
// "IT4_FAIL_RENAME=2" (see fault_shim.cpp).
inline std::string with_fault(const std::string& setting)
{
    return "export LD_PRELOAD='" + std::string(ISOLINES_FAULT_SHIM) + "' " + setting +
           " ASAN_OPTIONS=verify_asan_link_order=0;";
}

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
