// The names of a run's private files: ".it4-<run>-<n>.tmp" (a result being
// written, or an unnamed scratch file while it is made), ".bak" (an earlier
// result kept while the new set goes in place), ".jnl" (the journal of that
// replacement) and ".it4-<run>.run" (the run's lock), where <run> is the
// process id, "r" and 8 hexadecimal digits. A run makes them, a later run
// recognizes them exactly, and a user's file never passes for one.
#ifndef SHARED_PRIVATE_NAMES_H
#define SHARED_PRIVATE_NAMES_H

#include <string>

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

#endif
