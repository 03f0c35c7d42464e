#include "results/result_lock.h"

#include <cerrno>
#include <cstring>

#include "run_error.h"

ResultLock::ResultLock(const std::string& result_path)
    : folder_(platform::folder_of(result_path)), name_(lock_file_prefix + platform::name_in_folder(result_path))
{
    const std::string path = folder_ + name_;
    platform::remove_on_signal(path);
    bool busy = false;
    if (platform::take_lock(path, lock_, busy)) return;
    const int error = errno;
    platform::forget_on_signal(path);
    if (busy)
        throw RunError(result_path + ": another run is writing this result now; try again once it has ended");
    errno = error;
    throw RunError("cannot write " + result_path + ": " + std::strerror(errno));
}

ResultLock::~ResultLock()
{
    platform::unlock_and_remove(folder_ + name_, lock_);
    platform::forget_on_signal(folder_ + name_);
}
