// The files a model is made of, by identity (device and inode), which no
// result may replace however its path is spelled.
#ifndef RESULTS_MODEL_FILES_H
#define RESULTS_MODEL_FILES_H

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

// The files a run reads, by path and identity, which no result may replace.
using ModelFiles = std::vector<std::pair<std::string, platform::FileId>>;

// The identities of those of `paths` that exist (empty paths are skipped).
ModelFiles identify_model_files(const std::vector<std::string>& paths);

// Whether `path` leads to one of the model's files, however it is spelled.
bool is_one_of_model_files(const std::string& path, const ModelFiles& model);

// Refuses a result path that leads to one of the model's files, however it is
// spelled (another relative path, a linked folder), or to something that is
// not a plain file: the run would replace the user's data with its result.
void refuse_overwriting_model(const std::string& result, const ModelFiles& model);

#endif
