// The program as one process of an MPI job (started by mpirun, mpiexec or
// Slurm's srun): the processes share one command-line run (run/run_group.h).
#ifndef CLUSTER_MPI_JOB_H
#define CLUSTER_MPI_JOB_H

#include <functional>

#include "run/run_group.h"

// Runs `body` with the job's group when this process was started as one of
// an MPI job, else with none, as the ordinary program. A process whose body
// fails (a status other than 0) ends the whole job with that status: the
// first process's results are then never committed.
int run_in_mpi_job(int& argc, char**& argv, const std::function<int(RunGroup*)>& body);

// Whether this process is one of an MPI job but not its first, as its
// launcher's environment says before MPI starts.
bool later_process_of_job();

#endif
