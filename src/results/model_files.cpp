#include "results/model_files.h"

#include "shared/run_error.h"

ModelFiles identify_model_files(const std::vector<std::string>& paths)
{
    ModelFiles files;
    for (const std::string& path : paths) {
        platform::FileId id;
        if (!path.empty() && platform::identify(path, id)) files.emplace_back(path, id);
    }
    return files;
}

bool is_one_of_model_files(const std::string& path, const ModelFiles& model)
{
    platform::FileId id;
    if (!platform::identify(path, id)) return false;
    for (const auto& [model_path, model_id] : model)
        if (platform::same_file(id, model_id)) return true;
    return false;
}

void refuse_overwriting_model(const std::string& result, const ModelFiles& model)
{
    platform::FileId id;
    const platform::Status found = platform::identify(result, id);
    if (!found) {
        if (found.not_found()) return;  // a file still to be made is none of the model's
        throw RunError("cannot create " + result + ": " + found.reason());
    }
    for (const auto& [path, model_id] : model)
        if (platform::same_file(id, model_id))
            throw RunError("the result " + result + " is the model file " + path +
                           (result == path ? "" : " under another name") + "; choose another result name");
    if (!id.regular) throw RunError("the result " + result + " exists and is not a plain file; choose another result name");
}
