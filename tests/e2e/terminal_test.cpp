// The program on a real terminal (a pseudo-terminal): one key ends the final
// wait, the whole sequence of a cursor key is taken, and the terminal gets its
// echo and line editing back, also when a signal ends the program; a signal
// never leaves a private file behind nor harms an earlier result.
#include "harness.h"

namespace {

using e2e::Workspace;

const char* kBlockModel =
    "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 25\n"
    "10 20 30 40\n10 20 30 40\n10 20 30 40\n";

TEST(Terminal, CursorKeyEndsTheWaitAndTheModeIsRestored)
{
    Workspace ws;
    ws.add_file("ramp.asc", kBlockModel);
    e2e::TerminalRun term(ws);
    ASSERT_GE(term.child, 0);
    ASSERT_GE(term.slave, 0);
    ASSERT_TRUE(term.type("dem\rramp\r1\riso\r0\r15\r1\r10\r25\r1\r"));
    ASSERT_TRUE(term.read_until("Hit any key to exit the program")) << term.seen;
    EXPECT_EQ(term.mode_during_key_wait().c_lflag & (ECHO | ICANON), 0u);

    ASSERT_TRUE(term.type("\x1b[A"));  // cursor up
    EXPECT_EQ(term.wait_for_end(), 0) << "the program did not end after one key";

    struct termios after {};
    tcgetattr(term.slave, &after);
    EXPECT_NE(after.c_lflag & ECHO, 0u);
    EXPECT_NE(after.c_lflag & ICANON, 0u);

    // Nothing of the key sequence is left for the shell.
    struct termios raw = after;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(term.slave, TCSANOW, &raw);
    char rest[8];
    EXPECT_LE(read(term.slave, rest, sizeof rest), 0);
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "1\t15\n2\t25\n");
}

// Each signal that ends the program, sent while the dialogue waits with the
// table's temporary file and the lock in place, then during the key wait.
TEST(Terminal, EndingSignalsRestoreTheModeAndLeaveNoPrivateFile)
{
    for (const int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGUSR1, SIGALRM}) {
        SCOPED_TRACE(strsignal(sig));
        Workspace ws;
        ws.add_file("ramp.asc", kBlockModel);
        ws.add_file("iso_tab.txt", "earlier table");
        {
            e2e::TerminalRun term(ws);
            ASSERT_TRUE(term.type("dem\rramp\r1\riso\r"));
            ASSERT_TRUE(term.read_until("Image type")) << term.seen;
            ASSERT_EQ(e2e::private_files(ws).size(), 3u);  // the table's temporary file, the run's lock, the result's
            kill(term.child, sig);
            EXPECT_EQ(term.wait_for_end(), 128 + sig);
            EXPECT_EQ(e2e::private_files(ws), std::set<std::string>{});
            EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "earlier table");
        }
        e2e::TerminalRun term(ws);
        ASSERT_TRUE(term.type("dem\rramp\r1\riso\r0\r15\r1\r10\r25\r1\r"));
        ASSERT_TRUE(term.read_until("Hit any key to exit the program")) << term.seen;
        ASSERT_EQ(term.mode_during_key_wait().c_lflag & ECHO, 0u);
        kill(term.child, sig);
        EXPECT_EQ(term.wait_for_end(), 128 + sig);
        struct termios after {};
        tcgetattr(term.slave, &after);
        EXPECT_NE(after.c_lflag & ECHO, 0u);
        EXPECT_NE(after.c_lflag & ICANON, 0u);
        EXPECT_EQ(e2e::private_files(ws), std::set<std::string>{});
        EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "1\t15\n2\t25\n");
    }
}

}  // namespace
