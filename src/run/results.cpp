#include "run/results.h"

Results::Results(const std::vector<std::string>& model_files) : model_(identify_model_files(model_files)) {}

void Results::refuse_model_file(const std::string& path) const { refuse_overwriting_model(path, model_); }

void Results::lock(const std::string& result_path)
{
    // One run at a time writes a result; what ended runs left in its folder
    // is cleaned up before anything of this one goes in place.
    lock_ = std::make_unique<ResultLock>(result_path);
    clean_up_folder(*lock_);
}

OutputFile& Results::create(Role role, const std::string& path)
{
    std::unique_ptr<OutputFile>& file = files_[static_cast<size_t>(role)];
    file = std::make_unique<OutputFile>(path);
    return *file;
}

std::vector<OutputFile*> Results::files() const
{
    std::vector<OutputFile*> all;
    for (const std::unique_ptr<OutputFile>& file : files_)
        if (file) all.push_back(file.get());
    return all;
}

void Results::commit() { commit_together(files(), *lock_); }
