// The lock of this run in a result folder. Every private file a run leaves in
// a folder carries the run's id (private_names.h), and the run holds
// ".it4-<run>.run" there for as long as it lives: a later run that can take
// that lock knows the run is gone, whatever its process id or the process ids
// of the machine it ran on (another container sharing the folder, an id used
// again).
#ifndef RESULTS_RUN_LOCK_H
#define RESULTS_RUN_LOCK_H

#include <string>

#include "platform/status.h"
#include "shared/private_names.h"

// Takes this run's lock in `folder` (once per folder, however its path is
// spelled: folders are told apart by identity; held until the process ends,
// removed at a normal end and by a signal that ends it); fails when it
// cannot be made.
platform::Status hold_run_lock(const std::string& folder);

// Gives up and removes every run lock this run holds, as a normal end does:
// for a process that goes on once it is done with its result folders (a
// folder whose lock is open cannot be removed on Windows).
void release_run_locks();

#endif
