// One writer per result, the whole set of result files replaced at once, and
// the cleanup of what an interrupted run left behind.
//
// Every private file lies in the result folder and begins with ".it4-":
//   .it4-<run>-<n>.tmp   a result being written (output_file.h)
//   .it4-<run>-<n>.bak   an earlier result kept while the new set goes in place
//   .it4-<run>-<n>.jnl   the journal of that replacement
//   .it4-<run>.run       the lock of run <run>, held while it lives (run_lock.h)
//   .it4~<result>        the lock of the run writing <result>
//
// The replacement (commit_together): every new file is complete and synced to
// the disk; the journal lists, for each file, its temporary name, its backup
// name, its final name and whether an earlier file existed, and is synced with
// the folder (names are kept whatever bytes they hold, the line end included);
// then each earlier file is renamed to its backup and the new one
// to the final name; the folder is synced; then the journal and the backups
// are removed. Catchable signals are held back meanwhile. A failure in the
// middle renames the backups back, so the earlier set is whole again.
//
// What a power cut (or SIGKILL) can leave, and what the next run in the folder
// (clean_up_folder, run by every run once it holds its result's lock) does
// with the files of a run whose lock it can take (the run is gone):
//   - temporary files, backups, no journal: the journal was not complete, so
//     nothing was renamed yet, or the replacement had finished; they are
//     removed.
//   - a journal: the replacement was cut. If every new file arrived, the new
//     set stays; otherwise every backup goes back to its final name and every
//     new file that had no earlier one is removed, so the earlier set is whole
//     again; only a run that holds (or can take) the journal's result lock
//     settles it, so that no two runs settle it at once. Then the journal
//     and the private files of that run go.
//   - a lock file nobody holds: removed.
// Files of a run that still holds its lock are never touched, whatever its
// process id (another container sharing the folder, an id used again).
#ifndef RESULTS_RESULT_SET_H
#define RESULTS_RESULT_SET_H

#include <string>
#include <utility>
#include <vector>

#include "results/output_file.h"
#include "results/result_lock.h"

// Puts the complete files in place together, under `lock`, in the way
// described above. A failure ends the run with a RunError naming the file and
// the system's reason, the earlier set restored.
void commit_together(const std::vector<OutputFile*>& files, const ResultLock& lock);

// Removes, finishes or undoes what runs that have ended left in the lock's
// folder (see above).
void clean_up_folder(const ResultLock& lock);

#endif
