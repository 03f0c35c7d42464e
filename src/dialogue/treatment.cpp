// The extraction phase of the dialogue: the plan agreed, then the rest of the
// run, its progress shown on the console.
#include "dialogue/console.h"
#include "dialogue/isolines_trace_4.h"
#include "dialogue/plan_dialogue.h"
#include "run/run.h"

void treatment(OpenedRun& run, const ExtractionEngine& engine)
{
    const AltitudeRange range = run.model.altitudes->range();
    const Plan plan = ask_plan(range.lowest, range.highest);

    const ImageSettings image = image_settings_for(run.model, plan, run.format);
    const std::string nomim2 = run.results.file(Results::Role::image)->final_path();
    RunHooks hooks;
    hooks.on_level = [](const Level& level) {
        console::print("\t\tGray tone %d Altitude %lf         \r", level.tone, level.altitude);
    };
    hooks.on_saving = [&] {
        if (run.format == ImageFormat::raw)
            console::print("\n\n\tsaving raster image %s ", nomim2.c_str());
        else
            console::print("\n\n\tsaving bitmap %s ", nomim2.c_str());
    };
    trace_and_commit(run.model, plan, run.results, image, hooks, engine);
}
