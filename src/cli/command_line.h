// The program run from its command line, without the dialogue:
//   isolines_trace_4 [options] INPUT OUTPUT
#ifndef CLI_COMMAND_LINE_H
#define CLI_COMMAND_LINE_H

#include <optional>
#include <ostream>

#include "run/command_run.h"

// What the arguments ask for: the run, and whether it is quiet.
struct CommandLine {
    RunRequest request;
    bool quiet = false;  // -q: no report, no progress
};

// Usage errors exit with this status.
inline constexpr int kUsageStatus = 2;

// Reads the arguments. Returns the command line to run, or nothing with
// `status` set when the run ends here: 0 after --help or --version (printed on
// `out`), kUsageStatus after a usage error (its message on `err`).
std::optional<CommandLine> parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                              std::ostream& err, int& status);

// Runs the command line; returns the exit status (1 for a failure, its
// message on standard error). With a group of several processes
// (run/run_group.h) each calls this: the first reports, the others print
// nothing but their failures.
int run_command_line(const CommandLine& command_line, RunGroup* group = nullptr);

#endif
