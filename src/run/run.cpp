#include "run/run.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <string>
#include <vector>

#include "gdal/gdal_formats.h"
#include "output/aux_xml.h"
#include "output/qgis_style.h"
#include "output/result_writers.h"
#include "output/world_file.h"

namespace {

// Hands the result rows on, counting them for the progress.
class CountingSink final : public ResultRowSink {
public:
    CountingSink(ResultRowSink& sink, int32_t row_count, const std::function<void(int64_t, int64_t)>& on_rows)
        : sink_(sink), row_count_(row_count), on_rows_(on_rows)
    {
    }
    void write_row(int32_t i, ToneRow row) override { write_rows(i, 1, row.size(), row.data()); }
    void write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows) override
    {
        sink_.write_rows(first, count, width, rows);
        // A repaired row comes twice: the count may pass the rows, not 100%.
        if (on_rows_) on_rows_(std::min<int64_t>(written_ += count, row_count_), row_count_);
    }
    uint64_t bytes_held() const override { return sink_.bytes_held(); }
    void settle() override { sink_.settle(); }

private:
    ResultRowSink& sink_;
    int32_t row_count_;
    const std::function<void(int64_t, int64_t)>& on_rows_;
    std::atomic<int64_t> written_{0};
};

void write_table(const std::vector<Level>& levels, const Plan& plan, OutputFile& table, const RunHooks& hooks)
{
    for (const Level& level : levels) {
        if (hooks.on_level) hooks.on_level(level);
        write_table_line(table, level, plan.table_unit);
    }
}

// The files beside the image: the raw image's descriptor, the world file and
// the projection of a georeferenced PNG or BMP, the .aux.xml GDAL reads and
// the QGIS style.
void write_side_files(const Model& model, const Plan& plan, const std::vector<Level>& levels, const ImageSettings& image,
                      const Results& results)
{
    Legend legend;
    legend.levels = levels;
    legend.unit = plan.unit;
    legend.colours = image.palette;
    legend.background_tone = background_of(image.tone_bytes);
    if (OutputFile* aux = results.file(Results::Role::aux_xml)) {
        const bool with_place = image.format != ImageFormat::geotiff;
        const std::string& wkt = model.georeference.projection_wkt;
        const std::string axis_mapping = with_place && !wkt.empty() ? axis_mapping_of(model.path, wkt) : "";
        const std::string xml = aux_xml_text(legend, model.georeference, with_place, axis_mapping);
        aux->write(xml.data(), xml.size());
        aux->close();
    }
    if (OutputFile* style = results.file(Results::Role::style)) {
        const std::string qml = qgis_style_text(legend);
        style->write(qml.data(), qml.size());
        style->close();
    }
    if (OutputFile* descriptor = results.file(Results::Role::descriptor)) {
        write_result_descriptor(*descriptor, model.rows, model.columns, plan.level_count, model.pixel_size);
        descriptor->close();
    }
    if (OutputFile* world_file = results.file(Results::Role::world_file)) {
        write_world_file(*world_file, model.georeference);
        world_file->close();
    }
    if (OutputFile* projection = results.file(Results::Role::projection)) {
        const std::string prj = prj_text_of(model.path, model.georeference.projection_wkt);
        projection->write(prj.data(), prj.size());
        projection->close();
    }
}

// Traces the levels over the model's rows into the image.
void trace(const Model& model, const std::vector<Level>& levels, const Plan& plan, ImageOutput& output,
           const RunHooks& hooks, const ExtractionEngine& engine)
{
    CountingSink counting(output.rows(), model.rows, hooks.on_rows);
    engine(model, levels, plan, counting);
}

// Completes the image, writes the files beside it and commits the set.
void complete_and_commit(const Model& model, const Plan& plan, const std::vector<Level>& levels,
                         const ImageSettings& image, ImageOutput& output, Results& results, const RunHooks& hooks)
{
    if (hooks.on_saving) hooks.on_saving();
    output.finish(hooks.on_writing ? hooks.on_writing : [](double) {});
    write_side_files(model, plan, levels, image, results);
    results.commit();
}

// The levels a plan gives over the model's range and the plan they come
// from, once traced.
struct Traced {
    Plan plan;
    std::vector<Level> levels;
};

// Traces the image with the levels of `unsettled` as they lie when none is
// on the highest altitude, then settles the plan over the range the tracing
// measured, and traces again should a level lie on it.
Traced trace_once(const Model& model, const Plan& unsettled, const std::function<Plan()>& settle,
                  ImageOutput& output, const RunHooks& hooks, const ExtractionEngine& engine)
{
    // No altitude equals NaN: no level is the top one.
    const std::vector<Level> untopped = plan_levels(unsettled, std::numeric_limits<double>::quiet_NaN());
    trace(model, untopped, unsettled, output, hooks, engine);

    Traced traced{settle(), {}};
    traced.levels = plan_levels(traced.plan, model.altitudes->range().highest);
    // Until a level is the top one the levels are those traced.
    const bool topped = std::any_of(traced.levels.begin(), traced.levels.end(), [](const Level& level) { return level.top; });
    if (topped) trace(model, traced.levels, traced.plan, output, hooks, engine);
    return traced;
}

}  // namespace

void trace_and_commit(const Model& model, const Plan& plan, Results& results, const ImageSettings& image,
                      const RunHooks& hooks, const ExtractionEngine& engine, TileShare* share)
{
    const std::vector<Level> levels = plan_levels(plan, model.altitudes->range().highest);
    write_table(levels, plan, *results.file(Results::Role::table), hooks);

    const std::unique_ptr<ImageOutput> output = open_image_output(*results.file(Results::Role::image), image, share);
    trace(model, levels, plan, *output, hooks, engine);
    complete_and_commit(model, plan, levels, image, *output, results, hooks);
}

void trace_once_and_commit(const Model& model, const Plan& unsettled, const std::function<Plan()>& settle,
                           Results& results, const ImageSettings& image, const RunHooks& hooks,
                           const ExtractionEngine& engine, TileShare* share)
{
    const std::unique_ptr<ImageOutput> output = open_image_output(*results.file(Results::Role::image), image, share);
    const Traced traced = trace_once(model, unsettled, settle, *output, hooks, engine);
    write_table(traced.levels, traced.plan, *results.file(Results::Role::table), hooks);
    complete_and_commit(model, traced.plan, traced.levels, image, *output, results, hooks);
}

void trace_part(const Model& model, const Plan& plan, ImageOutput& part, const ExtractionEngine& engine)
{
    trace(model, plan_levels(plan, model.altitudes->range().highest), plan, part, {}, engine);
    part.finish([](double) {});
}

void trace_part_once(const Model& model, const Plan& unsettled, const std::function<Plan()>& settle,
                     ImageOutput& part, const ExtractionEngine& engine)
{
    trace_once(model, unsettled, settle, part, {}, engine);
    part.finish([](double) {});
}
