// A whole run asked for at once, as the command line asks for it: a model by
// its path, a plan, an image and its table. The run decides the rest (the
// plan's defaults, the result set and its side files, the palette), checks
// what it can before the model is read, and reports through hooks; a front-end
// only shows what it is told.
#ifndef RUN_COMMAND_RUN_H
#define RUN_COMMAND_RUN_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/image_format.h"
#include "run/image_output.h"
#include "run/model.h"
#include "run/plan.h"
#include "run/plan_request.h"
#include "run/run.h"
#include "run/run_group.h"

struct RunRequest {
    ModelRequest model;       // its scratch folder is filled by the run (the image's folder)
    PlanRequest plan;
    std::string image;        // the image's path; its format follows
    ImageFormat format = ImageFormat::bmp;
    std::string table;        // the table's path
    PaletteRequest palette;
    unsigned threads = 0;     // that read and trace; 0: one per core
    // The model's range measured in a pass of its own before the tracing
    // even when the plan needs none, as when its defaults do (the model is
    // then read twice, and the report comes before the tracing).
    bool range_first = false;
};

// A model whose range the plan needs is read for it first, then planned, then
// traced; a raw model or a large raster read through GDAL is otherwise read
// once, traced first and planned after (the plan then checked over its range).
struct RequestHooks {
    std::function<void(int64_t done, int64_t total)> on_reading;    // the model as it is read for its range
    std::function<void()> on_read;                                  // the model read for its range
    std::function<void(const Model&, const Plan&)> on_planned;      // the plan over the model's range
    RunHooks tracing;                                               // the run's own
};

// What the run put in place.
struct RunOutcome {
    std::vector<std::string> written;  // every file of the set, in the order they went in place
    std::string moved_folder;          // the image folder's path, when it led elsewhere once they were
};

// Runs the request whole; a failure ends it (RunError), any earlier result
// set left as it was. With a group of several processes (run_group.h), each
// runs it: the first as a run of its own would, the others tracing their
// bands into its image and returning nothing.
RunOutcome run_request(const RunRequest& request, const RequestHooks& hooks, RunGroup* group = nullptr);

#endif
