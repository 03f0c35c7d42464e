// The end of every run, once its model, plan and result files are settled:
// the gray-tone table, the traced image, the files beside it, and the commit
// that puts them all in place together.
#ifndef RUN_RUN_H
#define RUN_RUN_H

#include <cstdint>
#include <functional>

#include "shared/levels.h"
#include "run/extraction.h"
#include "run/image_output.h"
#include "run/model.h"
#include "run/plan.h"
#include "run/results.h"

// What a front-end shows of the run as it goes; any may be empty.
struct RunHooks {
    std::function<void(const Level&)> on_level;               // before the level's table line
    std::function<void(int64_t done, int64_t total)> on_rows;  // result rows traced (from any thread)
    std::function<void()> on_saving;                          // every row traced, the image still to complete
    std::function<void(double share)> on_writing;             // the share of the image file copied
};

// Writes the table (one line per level of the plan), traces the image with
// `engine`, writes the descriptor, world file and projection the result set
// holds, then commits the set. The result files must have been created. A
// GeoTIFF with a `share` is written with the other processes of a shared
// run.
void trace_and_commit(const Model& model, const Plan& plan, Results& results, const ImageSettings& image,
                      const RunHooks& hooks, const ExtractionEngine& engine, TileShare* share = nullptr);

// The same for a model whose range the tracing measures (its rows read
// once): the image is traced with the levels of `unsettled`, a plan made
// before the range was known (plan_before_range), as they lie when none is
// on the model's highest altitude; then `settle()` gives the whole plan over
// the range, or ends the run. Should one of its levels lie on the highest
// altitude after all (its tone fills the summits, and levels every interval
// after it come half an interval lower), the image is traced again with
// them, its rows replacing the first ones. The table is written last.
void trace_once_and_commit(const Model& model, const Plan& unsettled, const std::function<Plan()>& settle,
                           Results& results, const ImageSettings& image, const RunHooks& hooks,
                           const ExtractionEngine& engine, TileShare* share = nullptr);

// The other processes of a run shared by several (run_group.h): each traces
// its part of the image into `part` (the plan settled as the first process
// settles it), then makes it final. The first process alone writes the
// table and the side files and commits the set.
void trace_part(const Model& model, const Plan& plan, ImageOutput& part, const ExtractionEngine& engine);
void trace_part_once(const Model& model, const Plan& unsettled, const std::function<Plan()>& settle,
                     ImageOutput& part, const ExtractionEngine& engine);

#endif
