// The lock of a result: one run at a time writes a result of a given name.
// The lock file ".it4~<result>" lies beside the result and holds the name of
// the lock of the run that holds it (".it4-<run>.run"); that run removes it
// as it ends, and the next run in the folder removes one that a killed run
// left.
#ifndef RESULTS_RESULT_LOCK_H
#define RESULTS_RESULT_LOCK_H

#include <string>

#include "platform/platform.h"

// The start of every lock file's name.
inline constexpr const char* lock_file_prefix = ".it4~";

class ResultLock {
public:
    // Takes the lock of the result whose path (folder and typed name, no
    // suffix) is `result_path`, in its folder held open from now on. Another
    // run holding it ends this run at once with a RunError; so does a lock
    // file that cannot be made.
    explicit ResultLock(const std::string& result_path);
    ResultLock(const ResultLock&) = delete;
    ResultLock& operator=(const ResultLock&) = delete;
    ~ResultLock();

    // The result folder, as it was when the lock was taken.
    const platform::Folder& folder() const { return folder_; }
    const std::string& name() const { return name_; }  // the lock file's name in the folder

private:
    platform::Folder folder_;
    std::string name_;
    platform::Lock lock_;
};

#endif
