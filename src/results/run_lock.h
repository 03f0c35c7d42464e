// The lock of this run in a result folder. Every private file a run leaves in
// a folder (".it4-<run>-<n>.tmp", ".bak", ".jnl") carries the run's id, and the
// run holds ".it4-<run>.run" there for as long as it lives: a later run that
// can take that lock knows the run is gone, whatever its process id or the
// process ids of the machine it ran on (another container sharing the
// folder, an id used again).
#ifndef RESULTS_RUN_LOCK_H
#define RESULTS_RUN_LOCK_H

#include <string>

#include "platform/status.h"

// The start of the name of every private file of a run in a result folder.
inline constexpr const char* kPrivatePrefix = ".it4-";

// This run's id: its process id and a random number.
const std::string& run_id();

// A new private file name of this run (without its folder):
// ".it4-<run>-<n><suffix>".
std::string private_name(const std::string& suffix);

// The run id of a name made exactly as a run makes its private files
// (".it4-<run>-<n>.tmp", ".bak" or ".jnl", or ".it4-<run>.run", where <run>
// is a process id, "r" and 8 hexadecimal digits, and <n> a number); empty for
// any other name, which no clean-up ever touches.
std::string run_of(const std::string& name);

// Whether a name begins as the program's own files do (".it4-", ".it4~"):
// such a name is refused as a model or a result, so that a user's file never
// looks like a file a clean-up may take.
bool named_like_private(const std::string& name);

// The name of the lock of run `run` in a folder.
std::string run_lock_name(const std::string& run);

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
