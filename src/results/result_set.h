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
// name, its final name and whether an earlier file existed (or, for an
// earlier file the new set lacks, that it is taken away), and is synced with
// the folder (names are kept whatever bytes they hold, the line end
// included); then each earlier file is renamed to its backup and the new one
// to the final name; the folder is synced; then the journal and the backups
// are removed. Catchable signals are held back meanwhile. A failure in the
// middle renames the backups back, so the earlier set is whole again. Every
// step is taken in the folder the result's lock was taken in, held open: a
// path that leads elsewhere meanwhile cannot split the set, and a folder
// whose path no longer leads to it is left as it was.
//
// What a power cut (or SIGKILL) can leave, and what the next run in the folder
// (clean_up_folder, run by every run once it holds its result's lock) does
// with the files of a run whose lock it takes (the run is gone):
//   - temporary files, backups, no journal: the journal was not complete, so
//     nothing was renamed yet, or the replacement had finished; they are
//     removed.
//   - a journal: the replacement was cut. If every new file arrived, the new
//     set stays; otherwise every backup goes back to its final name and every
//     new file that had no earlier one is removed, so the earlier set is whole
//     again; only a run that holds (or can take) the journal's result lock
//     settles it, so that no two runs settle it at once. Then the journal
//     and the private files of that run go. A journal that names anything but
//     that run's own private files and plain names of its folder was not
//     written by a run: it is left, with every file of its run.
// Only names made exactly as a run makes them are ever touched, and only
// once their run's lock is held: files of a run that still holds its lock
// are never touched, whatever its process id (another container sharing the
// folder, an id used again), nor is any other name.
#ifndef RESULTS_RESULT_SET_H
#define RESULTS_RESULT_SET_H

#include <string>
#include <utility>
#include <vector>

#include "results/output_file.h"
#include "results/result_lock.h"

// Puts the complete files in place together, under `lock`, and takes away
// with them the earlier files of `dropped` (paths in the same folder) that
// the new set lacks, in the way described above. A failure ends the run with
// a RunError naming the file and the system's reason, the earlier set
// restored.
void commit_together(const std::vector<OutputFile*>& files, const std::vector<std::string>& dropped,
                     const ResultLock& lock);

// Removes, finishes or undoes what runs that have ended left in the lock's
// folder (see above).
void clean_up_folder(const ResultLock& lock);

// A folder as messages name it: its path, or "the current folder".
std::string shown_folder(const std::string& folder);

#endif
