// Refusal of model sizes that cannot be held, before anything is allocated.
#ifndef INPUT_MODEL_SIZE_H
#define INPUT_MODEL_SIZE_H

#include <cstdint>
#include <string>

#include "shared/levels.h"

// "the model size <lines> lines x <columns> columns", for messages.
std::string size_text(int64_t row_count, int64_t column_count);

// Refuses a size that is negative, empty or beyond 2^31 - 1 lines or columns,
// with a RunError naming `path`.
void check_model_shape(int64_t row_count, int64_t column_count, const std::string& path);

// Refuses, besides the shapes above, a model too wide for the memory this
// process may take: a run streams the model's rows, so it needs memory in
// proportion to the width alone (run_memory_needed). The RunError names
// `path`, the sizes, the bytes needed and the bytes available (the smallest
// memory limit, memory_available).
void check_model_size(int64_t row_count, int64_t column_count, const std::string& path);

// What a run on a model of column_count columns needs at least, whatever its number
// of rows: the contour engine on one stripe (a run takes more stripes and
// threads only where they fit the memory available), for a plan of up to
// max_levels levels or of `level_count` levels when it has more.
uint64_t run_memory_needed(int64_t column_count, int level_count = max_levels);

// Refuses a plan of more than max_levels levels whose engine needs more
// memory than is available on a model of that width (the engine grows with
// the levels), with a RunError naming `path` and the bytes as above.
void check_plan_memory(int64_t column_count, int level_count, const std::string& path);

#endif
