#include <iostream>

#include "cli/command_line.h"
#include "dialogue/isolines_trace_4.h"
#include "platform/platform.h"
#ifdef ISOLINES_MPI
#include "cluster/mpi_job.h"
#endif

// Without arguments the program holds its dialogue; with them, it runs from
// its command line.
int main(int argc, char** argv)
{
    // Before any thread is made, so that every thread keeps the signals away
    // from all but the one that handles them.
    platform::install_signal_cleanup();
    if (argc <= 1) return isolines_trace_4();
    int status = 0;
    const std::optional<CommandLine> options = parse_command_line(argc, argv, std::cout, std::cerr, status);
    if (!options) return status;
#ifdef ISOLINES_MPI
    // Started by mpirun or srun, the job's processes share the run.
    return run_in_mpi_job(argc, argv, [&](RunGroup* group) { return run_command_line(*options, group); });
#else
    return run_command_line(*options);
#endif
}
