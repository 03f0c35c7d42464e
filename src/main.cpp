#include <iostream>

#include "cli/command_line.h"
#include "dialogue/isolines_trace_4.h"

// Without arguments the program holds its dialogue; with them, it runs from
// its command line.
int main(int argc, char** argv)
{
    if (argc <= 1) return isolines_trace_4();
    int status = 0;
    const std::optional<CommandLine> options = parse_command_line(argc, argv, std::cout, std::cerr, status);
    if (!options) return status;
    return run_command_line(*options);
}
