// The final key wait on a real terminal (a pseudo-terminal): one key ends it,
// the whole sequence of a cursor key is taken, and the terminal gets its echo
// and line editing back.
#include "harness.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>

namespace {

using e2e::Workspace;

const char* kBlockModel =
    "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 25\n"
    "10 20 30 40\n10 20 30 40\n10 20 30 40\n";

// Reads what the program prints until `text` has appeared or time runs out.
bool read_until(int master, std::string& seen, const std::string& text, int timeout_ms)
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

TEST(Terminal, CursorKeyEndsTheWaitAndTheModeIsRestored)
{
    Workspace ws;
    ws.add_file("ramp.asc", kBlockModel);
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(ws.root().c_str()) != 0) _exit(126);
        execl(ISOLINES_BINARY, ISOLINES_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    // Keep a handle on the terminal's own side to inspect it after the run.
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);

    const std::string answers = "dem\rramp\r1\riso\r0\r15\r1\r10\r25\r1\r";
    ASSERT_EQ(write(master, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
    std::string seen;
    ASSERT_TRUE(read_until(master, seen, "Hit any key to exit the program", 20000)) << seen;

    struct termios during {};
    for (int i = 0; i < 100; ++i) {  // the wait switches echo off once it starts
        tcgetattr(slave, &during);
        if ((during.c_lflag & ECHO) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(during.c_lflag & (ECHO | ICANON), 0u);

    const std::string cursor_up = "\x1b[A";
    ASSERT_EQ(write(master, cursor_up.data(), cursor_up.size()), 3);
    int status = 0;
    for (int i = 0; i < 500 && waitpid(child, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(WIFEXITED(status)) << "the program did not end after one key";
    EXPECT_EQ(WEXITSTATUS(status), 0);

    struct termios after {};
    tcgetattr(slave, &after);
    EXPECT_NE(after.c_lflag & ECHO, 0u);
    EXPECT_NE(after.c_lflag & ICANON, 0u);

    // Nothing of the key sequence is left for the shell.
    struct termios raw = after;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(slave, TCSANOW, &raw);
    char rest[8];
    EXPECT_LE(read(slave, rest, sizeof rest), 0);
    close(slave);
    close(master);
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "1\t15\n2\t25\n");
}

}  // namespace
