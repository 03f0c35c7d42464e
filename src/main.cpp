#include <iostream>
#include <sstream>

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
#ifdef ISOLINES_MPI
    // In a job, the dialogue and what the command line says before its run
    // (help, version, a wrong option) belong to the first process: the
    // others would repeat them, and have no answers to give the dialogue.
    const bool quiet = later_process_of_job();
#else
    const bool quiet = false;
#endif
    if (argc <= 1) return quiet ? 0 : isolines_trace_4();
    int status = 0;
    std::ostringstream unsaid;
    const std::optional<CommandLine> options =
        parse_command_line(argc, argv, quiet ? unsaid : std::cout, quiet ? unsaid : std::cerr, status);
    if (!options) return status;
#ifdef ISOLINES_MPI
    // Started by mpirun or srun, the job's processes share the run.
    return run_in_mpi_job(argc, argv, [&](RunGroup* group) { return run_command_line(*options, group); });
#else
    return run_command_line(*options);
#endif
}
