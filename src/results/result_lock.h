// The lock of a result: one run at a time writes a result of a given name.
// The lock file ".it4~<result>" lies beside the result; a lock nobody holds
// any longer is removed by the next run in the folder.
#ifndef RESULTS_RESULT_LOCK_H
#define RESULTS_RESULT_LOCK_H

#include <string>

#include "platform/platform.h"

// The start of every lock file's name.
inline constexpr const char* lock_file_prefix = ".it4~";

class ResultLock {
public:
    // Takes the lock of the result whose path (folder and typed name, no
    // suffix) is `result_path`. Another run holding it ends this run at once
    // with a RunError; so does a lock file that cannot be made.
    explicit ResultLock(const std::string& result_path);
    ResultLock(const ResultLock&) = delete;
    ResultLock& operator=(const ResultLock&) = delete;
    ~ResultLock();

    const std::string& folder() const { return folder_; }
    const std::string& name() const { return name_; }  // the lock file's name in the folder

private:
    std::string folder_;
    std::string name_;
    platform::Lock lock_;
};

#endif
