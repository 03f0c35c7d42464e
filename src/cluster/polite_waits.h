// Waits for MPI messages and collectives without spinning on a core. MPI's
// own waits poll without pause; a process waiting for its neighbours (or
// for the rows of the others) would take its core from a process of the same
// machine that is still tracing, or from its own tracing threads.
#ifndef CLUSTER_POLITE_WAITS_H
#define CLUSTER_POLITE_WAITS_H

#include <mpi.h>

// Until `request` completes.
void wait_politely(MPI_Request& request);

// Until a message from `source` with `tag` (or any) can be received; its
// status says which.
void probe_politely(MPI_Comm comm, int source, int tag, MPI_Status& status);

#endif
