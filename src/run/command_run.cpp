#include "run/command_run.h"

#include <optional>

#include "input/model_size.h"
#include "platform/platform.h"
#include "results/model_files.h"
#include "results/run_lock.h"
#include "run/results.h"
#include "shared/run_error.h"
#include "shared/run_in_parallel.h"

namespace {

// What can be told before the model, which may take long to read, is
// opened: the results' folder must take files, and no result may be the
// model file itself or be named as the program's private files are.
void check_before_reading(const RunRequest& request)
{
    refuse_private_model_name(request.model.path);
    refuse_private_name(request.image);
    refuse_private_name(request.table);
    const platform::Status held = hold_run_lock(platform::folder_of(request.image));
    if (!held) throw RunError("cannot write " + request.image + ": " + held.reason());
    const ModelFiles model_file = identify_model_files({request.model.path});
    refuse_overwriting_model(request.image, model_file);
    refuse_overwriting_model(request.table, model_file);
}

}  // namespace

RunOutcome run_request(const RunRequest& request, const RequestHooks& hooks, RunGroup* group)
{
    if (request.threads > 0)
        chosen_engine_threads() = request.threads;
    else if (group != nullptr)
        chosen_engine_threads() = group->threads_per_process();
    if (group != nullptr && group->size() == 1) group = nullptr;  // the run of one process
    const bool first = group == nullptr || group->rank() == 0;
    // Only the first process takes the folder's lock and holds the results.
    if (first) check_before_reading(request);
    ModelRequest model_request = request.model;
    // Scratch files go where the results go: a folder the run may write.
    model_request.scratch_folder = platform::folder_of(request.image);
    model_request.range_first = request.range_first || plan_needs_range(request.plan);
    const Model model = open_model_for(model_request, hooks.on_reading);
    const auto planned = [&] {
        const Plan plan = plan_for(request.plan, model, request.format, request.image);
        if (hooks.on_planned) hooks.on_planned(model, plan);
        return plan;
    };
    // A PNG is one stream the first process writes: the others send it their
    // rows. A GeoTIFF's tiles are written by the process that owns them.
    const ExtractionEngine engine =
        group != nullptr ? shared_extraction(*group, request.format == ImageFormat::png) : extract_on_every_core;
    TileShare* const share =
        group != nullptr && request.format == ImageFormat::geotiff ? &group->tile_share(model.rows) : nullptr;
    std::optional<Results> results;
    // The results of the first process; the others write into its image.
    const auto image_for = [&](const ImageSettings& image) -> std::unique_ptr<ImageOutput> {
        if (first) results.emplace(create_result_set(request.image, request.format, request.table, model));
        if (group == nullptr) return nullptr;
        const std::string part_name = group->from_first(first ? image_part_name(*results->file(Results::Role::image)) : "");
        return first ? nullptr : open_image_part(part_name, request.image, image, share);
    };
    if (model.altitudes->range_known()) {
        if (hooks.on_read) hooks.on_read();
        const Plan plan = planned();
        check_plan_memory(model.columns, plan.level_count, model.path);
        const ImageSettings image = image_settings_for(model, plan, request.format, request.palette);
        const std::unique_ptr<ImageOutput> part = image_for(image);
        if (!first) {
            trace_part(model, plan, *part, engine);
            return {};
        }
        trace_and_commit(model, plan, *results, image, hooks.tracing, engine, share);
    } else {
        const Plan unsettled = plan_before_range(request.plan, model, request.format, request.image);
        check_plan_memory(model.columns, unsettled.level_count, model.path);
        const ImageSettings image = image_settings_for(model, unsettled, request.format, request.palette);
        const std::unique_ptr<ImageOutput> part = image_for(image);
        const auto settle = [&] {
            check_model_has_data(*model.altitudes, model.path);
            return planned();
        };
        if (!first) {
            trace_part_once(model, unsettled, settle, *part, engine);
            return {};
        }
        trace_once_and_commit(model, unsettled, settle, *results, image, hooks.tracing, engine, share);
    }
    RunOutcome outcome;
    for (const OutputFile* file : results->files()) outcome.written.push_back(file->final_path());
    if (!results->folder_still_at_its_path()) outcome.moved_folder = platform::folder_of(request.image);
    return outcome;
}
