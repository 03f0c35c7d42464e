// The extraction phase of a run: the plan, the gray-tone table, the contour
// engine fed from the model's rows, the result image written row by row.
#include <vector>

#include "console.h"
#include "contours/extraction.h"
#include "contours/levels.h"
#include "contours/stripes.h"
#include "engine_threads.h"
#include "input/model_readers.h"
#include "isolines_trace_4.h"
#include "output/result_writers.h"
#include "plan/plan.h"

namespace {

// The pass-by-pass reference engine, on whole grids: the model's rows are
// gathered into dtab1 and tab3 is written out once complete.
void extract_rows_reference(const LoadedModel& s, const std::vector<Level>& levels, const Plan& plan,
                            double max_dyn, RowSink& sink)
{
    check_grid_size(s.nb_lig1, s.nb_col1, s.nomim1);
    Grid<double> dtab1 = make_grid<double>(s.nb_col1, s.nb_lig1, "altitude grid");
    std::vector<double> buffer(static_cast<size_t>(s.nb_col1));
    for (int32_t i = 0; i < s.nb_lig1; ++i) {
        const std::span<const double> row = s.rows->read_row(i, buffer);
        std::copy(row.begin(), row.end(), dtab1[i]);
    }
    Grid<unsigned char> tab3 = make_grid<unsigned char>(s.nb_col1, s.nb_lig1, "result grid");
    const ExtractionInput input{dtab1.rows(), s.nb_lig1, s.nb_col1, &levels, plan.first_GT, plan.num_CL, max_dyn};
    extract_contours_reference(input, tab3.rows());
    for (int32_t i = 0; i < s.nb_lig1; ++i)
        sink.write_row(i, std::span<const unsigned char>(tab3[i], static_cast<size_t>(s.nb_col1)));
}

// Puts every result file in place together, now that all of them are complete.
void commit_results(ResultFiles& results)
{
    std::vector<OutputFile*> files{results.f2.get()};
    if (results.f2d) files.push_back(results.f2d.get());
    files.push_back(results.ftab.get());
    commit_together(files, *results.result_lock);
}

}  // namespace

void treatment(const LoadedModel& model, ResultFiles& results, bool reference_engine)
{
    const AltitudeRange range = model.rows->range();
    const Plan plan = ask_plan(range.min_dyn, range.max_dyn);

    const std::vector<Level> levels =
        level_sequence(plan.dmin_alt, plan.int_hypso, plan.first_GT, plan.num_CL, range.max_dyn);
    for (const Level& level : levels) {
        console::print("\t\tGray tone %d Altitude %lf         \r", level.tone, level.alti);
        write_table_line(*results.ftab, level, plan.scale);
    }

    const std::unique_ptr<RowSink> sink = make_image_sink(results.type_image, *results.f2, model.nb_lig1, model.nb_col1);
    if (reference_engine) {
        extract_rows_reference(model, levels, plan, range.max_dyn, *sink);
    } else {
        // Rows stream from the model through the engine's stripes to the sink.
        const PreparedPlan prepared(&levels, plan.first_GT, plan.num_CL, range.max_dyn);
        const StripeOptions options = run_stripe_options(prepared, *model.rows);
        extract_in_stripes(prepared, model.nb_lig1, model.nb_col1, *model.rows, *sink, options);
    }

    if (results.type_image == 0) {
        console::print("\n\n\tsaving raster image %s ", results.nomim2.c_str());
        results.f2->close();
        write_result_descriptor(*results.f2d, model.nb_lig1, model.nb_col1, plan.num_CL, model.pix_size);
        results.f2d->close();
    } else {
        console::print("\n\n\tsaving bitmap %s ", results.nomim2.c_str());
        results.f2->close();
    }
    commit_results(results);
}
