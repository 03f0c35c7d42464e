#include "run/results.h"

#include "platform/platform.h"
#include "run_error.h"

namespace {

// The folder of a path, "." for a bare name.
std::string folder_or_here(const std::string& path)
{
    const std::string folder = platform::folder_of(path);
    return folder.empty() ? std::string(".") : folder;
}

}  // namespace

bool same_entry(const std::string& a, const std::string& b)
{
    if (!platform::same_name(platform::name_in_folder(a), platform::name_in_folder(b))) return false;
    platform::FileId folder_a, folder_b;
    return platform::identify(folder_or_here(a), folder_a) && platform::identify(folder_or_here(b), folder_b) &&
           platform::same_file(folder_a, folder_b);
}

Results::Results(const std::vector<std::string>& model_files) : model_(identify_model_files(model_files)) {}

void Results::refuse_model_file(const std::string& path) const { refuse_overwriting_model(path, model_); }

void Results::lock(const std::string& result_path)
{
    // One run at a time writes a result; what ended runs left in its folder
    // is cleaned up before anything of this one goes in place.
    locks_.push_back(std::make_unique<ResultLock>(result_path));
    clean_up_folder(*locks_.back());
}

OutputFile& Results::create(Role role, const std::string& path)
{
    for (const OutputFile* other : files())
        if (same_entry(other->final_path(), path))
            throw RunError("the results " + other->final_path() + " and " + path + " would be one file");
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

void Results::commit() { commit_together(files(), *locks_.front()); }
