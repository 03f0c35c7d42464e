#include "results/result_lock.h"

#include "shared/private_names.h"
#include "shared/run_error.h"

ResultLock::ResultLock(const std::string& result_path)
    : name_(lock_file_prefix + platform::name_in_folder(result_path))
{
    const std::string folder = platform::folder_of(result_path);
    const platform::Status opened = folder_.open(folder);
    if (!opened) throw RunError("cannot write " + result_path + ": " + opened.reason());
    const std::string path = folder + name_;
    platform::remove_on_signal(path);
    const platform::Status locked = folder_.take_lock(name_, lock_);
    if (locked) {
        // The lock names the run that holds it, so that a later run may tell
        // one that a killed run left from any other file. A lock left empty
        // counts as one too (see clean_up_folder).
        const std::string holder = run_lock_name(run_id());
        (void)platform::write_at(lock_.handle, holder.data(), holder.size(), 0);
        return;
    }
    platform::forget_on_signal(path);
    if (locked.busy())
        throw RunError(result_path + ": another run is writing this result now; try again once it has ended");
    throw RunError("cannot write " + result_path + ": " + locked.reason());
}

ResultLock::~ResultLock()
{
    folder_.unlock_and_remove(name_, lock_);
    platform::forget_on_signal(folder_.path() + name_);
}
