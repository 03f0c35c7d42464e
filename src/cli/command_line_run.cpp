// The command-line run: the options name the model, the plan and the
// results; the run (run/) opens the model, traces it and commits the results,
// with the progress shown on standard error.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "cli/command_line.h"
#include "cli/progress.h"
#include "file_names.h"
#include "input/model_size.h"
#include "number_text.h"
#include "output/palette.h"
#include "output/result_writers.h"
#include "output/world_file.h"
#include "platform/platform.h"
#include "run/failure.h"
#include "run/model.h"
#include "run/plan.h"
#include "run/results.h"
#include "run/run.h"
#include "results/model_files.h"
#include "results/run_lock.h"
#include "run_error.h"
#include "run_in_parallel.h"

namespace {

// A model file that must exist.
FileHandle open_existing(const std::string& path)
{
    FileHandle f = open_model_file(path);
    if (!f) throw RunError(path + ": " + std::strerror(ENOENT));
    return f;
}

// A raw raster: its descriptor <name>.txt beside it gives the size, the bytes
// per sample and the pixel size.
Model read_raw_model(const CommandLine& options)
{
    const std::string descriptor = stem_of(options.input) + ".txt";
    const RawLayout layout = read_raw_layout(open_existing(descriptor), descriptor);
    return open_raw_model(open_existing(options.input), options.input, descriptor, layout,
                          [&](const RawRange&) { return options.sample_factor; });
}

// An ASCII grid, with the projection of the .prj beside it when there is one.
Model read_ascii_model(const CommandLine& options, const std::string& scratch_folder, Progress& progress)
{
    if (options.sample_factor != 1)
        throw RunError(options.input + ": the values of an ASCII grid are read as they stand; leave out --scale");
    if (options.no_data)
        throw RunError(options.input + ": an ASCII grid names its own NODATA_value; leave out --snodata");
    const std::optional<Projection> projection = projection_beside(options.input);
    FileHandle f1 = open_existing(options.input);
    // The grid's lines are not known before its header is read: the progress
    // is the share of the file's bytes read so far.
    std::FILE* const stream = f1.get();
    const int64_t bytes = platform::regular_length(platform::descriptor_of(stream));
    Model model = open_ascii_model(std::move(f1), options.input, scratch_folder,
                                   [&](int32_t) { progress.report("reading", std::ftell(stream), bytes); });
    if (projection) attach_projection(model, *projection);
    return model;
}

Model read_model(const CommandLine& options, Progress& progress)
{
    // Scratch files go where the results go: a folder the run may write.
    const std::string scratch_folder = platform::folder_of(options.output);
    const ModelKind kind = model_kind(options.input);
    if (kind == ModelKind::raster) {
        return open_raster_model(options.input, options.band, options.sample_factor, options.no_data, scratch_folder,
                                 [&](int32_t read, int32_t total) { progress.report("reading", read, total); });
    }
    if (options.band != 1)
        throw RunError(options.input + ": a " + extension_of(options.input) + " model has only band 1");
    if (kind == ModelKind::raw && options.no_data)
        throw RunError(options.input + ": a raw model has no cells without data; leave out --snodata");
    return kind == ModelKind::raw ? read_raw_model(options) : read_ascii_model(options, scratch_folder, progress);
}

// The smallest interval of the form 1, 2, 2.5 or 5 times a power of ten that
// is at least `at_least` (1 when there is nothing to measure).
double round_interval(double at_least)
{
    if (!(at_least > 0) || !std::isfinite(at_least)) return 1;
    double power = std::pow(10.0, std::floor(std::log10(at_least)));
    for (;; power *= 10)
        for (double step : {1.0, 2.0, 2.5, 5.0})
            if (step * power >= at_least) return std::isfinite(step * power) ? step * power : at_least;
}

// The smallest multiple of the interval at or above the altitude; not finite
// when the interval is too small for the multiples of the altitude to be
// counted in a double.
double first_multiple_at_or_above(double altitude, double interval)
{
    double multiple = std::ceil(altitude / interval) * interval;
    if (multiple < altitude) multiple += interval;
    return multiple + 0.0;  // never -0, which would print as "-0.000000"
}

// The interval that gives at most `levels` levels from `low` to `high`,
// rounded up to a readable one.
double interval_for(double low, double high, int levels)
{
    return round_interval(static_cast<double>((static_cast<long double>(high) - low) / (levels - 1)));
}

// The unit of a model's altitudes as the report and the legend name it: the
// one asked for; meters when the samples are scaled; else the unit the band
// names (GDAL's spellings of the meter and the foot shortened), or meters.
std::string unit_of(const CommandLine& options, const Model& model)
{
    if (options.unit) return *options.unit;
    if (options.sample_factor != 1 || model.unit.empty()) return "m";
    for (const char* meter : {"m", "metre", "meter", "metres", "meters"})
        if (model.unit == meter) return "m";
    for (const char* foot : {"ft", "foot", "feet", "US survey foot", "ftUS", "foot_us", "international foot"})
        if (model.unit == foot) return "ft";
    return model.unit;
}

// The most levels a result in the options' format holds: a PNG or GeoTIFF
// takes tones of 16 bits, a raw image or a bitmap 8 only.
int most_levels(const CommandLine& options)
{
    return holds_wide_tones(options.format) ? max_wide_levels : max_levels;
}

// Why a plan of `count` levels, more than the result holds, is refused: the
// plan, the bound, and what to do (`fewer`: how to ask for fewer levels).
std::string too_many_levels(const std::string& plan, int64_t count, const CommandLine& options,
                            const std::string& fewer)
{
    const std::string levels = count == std::numeric_limits<int64_t>::max()
                                   ? "more levels than can be counted"
                                   : std::to_string(count) + " levels, more than " + std::to_string(most_levels(options));
    const std::string text = plan + " has " + levels;
    if (!holds_wide_tones(options.format) && count <= max_wide_levels)
        return text + " (a " + extension_of(options.output) +
               " result holds tones of 8 bits); write a .tif or .png, which hold 16 bits, or " + fewer;
    return text + "; " + fewer;
}

// A plan of a fixed list of altitudes: ascending, each once, at least one of
// them within the model's altitudes.
Plan listed_plan(const CommandLine& options, const AltitudeRange& range, const std::string& in_unit)
{
    Plan plan;
    plan.first_GT = options.first_GT;
    plan.listed = options.levels;
    std::sort(plan.listed.begin(), plan.listed.end());
    plan.listed.erase(std::unique(plan.listed.begin(), plan.listed.end()), plan.listed.end());
    const auto count = static_cast<int64_t>(plan.listed.size());
    if (count > most_levels(options))
        throw RunError(too_many_levels("the list of levels", count, options, "list fewer levels"));
    plan.num_CL = static_cast<int>(plan.listed.size());
    plan.dmin_alt = plan.listed.front();
    plan.dmax_alt = plan.listed.back();
    const bool any_within = std::any_of(plan.listed.begin(), plan.listed.end(), [&](double level) {
        return level >= range.min_dyn && level <= range.max_dyn;
    });
    if (!any_within) {
        const std::string listed = count == 1 ? "the level " + readable_text(plan.dmin_alt)
                                              : "the list of levels from " + readable_text(plan.dmin_alt) + " to " +
                                                    readable_text(plan.dmax_alt);
        throw RunError(listed + in_unit + " has no level within the model's altitudes (" +
                       readable_text(range.min_dyn) + " to " + readable_text(range.max_dyn) + in_unit + ")");
    }
    return plan;
}

// A plan of levels every interval.
Plan interval_plan(const CommandLine& options, const AltitudeRange& range, const std::string& in_unit)
{
    Plan plan;
    plan.first_GT = options.first_GT;
    plan.int_hypso = options.int_hypso;
    plan.dmin_alt = options.dmin_alt ? *options.dmin_alt : first_multiple_at_or_above(range.min_dyn, plan.int_hypso);
    plan.dmax_alt = options.dmax_alt ? *options.dmax_alt : range.max_dyn;
    // An interval too small for the altitudes' multiples to be counted gives
    // more levels than any plan holds.
    const bool countless = !std::isfinite(plan.dmin_alt);
    const int64_t count = countless ? std::numeric_limits<int64_t>::max() : plan_level_count(plan);
    const double from = countless ? range.min_dyn : plan.dmin_alt;
    const std::string described = "the plan from " + readable_text(from) + " to " + readable_text(plan.dmax_alt) +
                                  in_unit + " every " + readable_text(plan.int_hypso) + in_unit;
    if (count > most_levels(options))
        throw RunError(too_many_levels(described, count, options,
                                       "try -i " + readable_text(interval_for(from, plan.dmax_alt, most_levels(options)))));
    if (count < 1) {
        const std::string hint = plan.dmin_alt > plan.dmax_alt && (options.dmin_alt || options.dmax_alt)
                                     ? "; check --min and --max (the model's altitudes run from " +
                                           readable_text(range.min_dyn) + " to " + readable_text(range.max_dyn) +
                                           in_unit + ")"
                                     : "; try -i " + readable_text(interval_for(range.min_dyn, range.max_dyn, 21));
        throw RunError(described + " has no level" + hint);
    }
    plan.num_CL = static_cast<int>(count);
    return plan;
}

// The table's unit: the one asked for, when it holds every level; else whole
// units when every level is whole, decimals that read back exactly when not.
int table_unit_of(const CommandLine& options, const std::vector<Level>& levels, const std::string& in_unit)
{
    constexpr long double whole_limit = 9223372036854775807.0L;  // the largest whole value a table line holds
    if (options.table_unit) {
        for (const Level& level : levels) {
            const int64_t value = table_altitude(level.alti, *options.table_unit);
            if (*options.table_unit != 0 && (value == std::numeric_limits<int64_t>::max() ||
                                             value == std::numeric_limits<int64_t>::min()))
                throw RunError("the table unit " + std::to_string(*options.table_unit) + " cannot hold the altitude " +
                               readable_text(level.alti) + in_unit + "; leave out --table-unit for exact decimals");
        }
        return *options.table_unit;
    }
    const bool whole = std::all_of(levels.begin(), levels.end(), [&](const Level& level) {
        return level.alti == std::trunc(level.alti) && std::fabs(static_cast<long double>(level.alti)) < whole_limit;
    });
    return whole ? 1 : table_unit_exact;
}

// The plan the options give over the model's range: a list of levels, or
// every level from the minimum (by default the first multiple of the
// interval in the range) up to the maximum (by default the model's highest
// altitude). A plan of no level or of more than the result holds ends the
// run with a hint.
Plan make_plan(const CommandLine& options, const AltitudeRange& range, const std::string& unit)
{
    const std::string in_unit = " " + unit;
    Plan plan = options.levels.empty() ? interval_plan(options, range, in_unit) : listed_plan(options, range, in_unit);
    plan.unit = unit;
    plan.table_unit = table_unit_of(options, plan_levels(plan, range.max_dyn), in_unit);
    return plan;
}

ImageSettings image_of(const CommandLine& options, const Model& model, const Plan& plan)
{
    ImageSettings image;
    image.format = options.format;
    image.nb_lig1 = model.nb_lig1;
    image.nb_col1 = model.nb_col1;
    image.tone_bytes = tone_bytes_for(plan.num_CL);
    // Index levels are marked in the image's own colours: a gray image too
    // then holds its palette.
    image.gray = !options.distinct && options.index_every == 0;
    image.palette = options.distinct ? distinct_palette(plan.first_GT, plan.num_CL, image.tone_bytes)
                                     : gray_palette(image.tone_bytes);
    if (options.index_every > 0) mark_index_levels(image.palette, plan.first_GT, plan.num_CL, options.index_every);
    image.georeference = model.georeference;
    return image;
}

void report(const CommandLine& options, const Model& model, const Plan& plan)
{
    const AltitudeRange range = model.rows->range();
    const char* unit = plan.unit.c_str();
    std::printf("%s: %d lines x %d columns, altitudes %s to %s %s", options.input.c_str(), model.nb_lig1,
                model.nb_col1, readable_text(range.min_dyn).c_str(), readable_text(range.max_dyn).c_str(), unit);
    if (range.no_data_cells > 0 || options.no_data)
        std::printf(", %lld cells without data", static_cast<long long>(range.no_data_cells));
    // The value given wins over the band's own.
    if (options.no_data) {
        std::printf(" (--snodata %s", readable_text(*options.no_data).c_str());
        if (model.band_no_data && !(*model.band_no_data == *options.no_data))
            std::printf(", in place of the band's %s", readable_text(*model.band_no_data).c_str());
        std::printf(")");
    }
    if (model.value_scale != 1 || model.value_offset != 0)
        std::printf(" (the band's values x %s + %s)", readable_text(model.value_scale).c_str(),
                    readable_text(model.value_offset).c_str());
    if (plan.listed.empty()) {
        std::printf("\n%d levels from %s %s every %s %s", plan.num_CL, readable_text(plan.dmin_alt).c_str(), unit,
                    readable_text(plan.int_hypso).c_str(), unit);
    } else {
        std::printf("\n%d levels at", plan.num_CL);
        for (size_t k = 0; k < plan.listed.size(); ++k)
            std::printf("%s %s", k == 0 ? "" : ",", readable_text(plan.listed[k]).c_str());
        std::printf(" %s", unit);
    }
    std::printf(", tones %d to %d\n", plan.first_GT, plan.first_GT + plan.num_CL - 1);
    std::fflush(stdout);
}

void run(const CommandLine& options)
{
    if (options.threads > 0) chosen_engine_threads() = options.threads;
    // What can be told before the model, which may take long to read, is
    // opened: the results' folder must take files, and no result may be the
    // model file itself.
    refuse_private_model_name(options.input);
    refuse_private_name(options.output);
    refuse_private_name(options.table);
    const platform::Status locked = hold_run_lock(platform::folder_of(options.output));
    if (!locked) throw RunError("cannot write " + options.output + ": " + locked.reason());
    const ModelFiles model_file = identify_model_files({options.input});
    refuse_overwriting_model(options.output, model_file);
    refuse_overwriting_model(options.table, model_file);
    Progress progress(options.quiet);
    const Model model = read_model(options, progress);
    progress.finish("reading");
    const Plan plan = make_plan(options, model.rows->range(), unit_of(options, model));
    check_plan_memory(model.nb_col1, plan.num_CL, options.input);
    if (!options.quiet) report(options, model, plan);
    Results results = create_result_set(options.output, options.format, options.table, model);

    RunHooks hooks;
    hooks.on_rows = [&](int64_t done, int64_t total) { progress.report("tracing", done, total); };
    hooks.on_saving = [&] { progress.finish("tracing"); };
    hooks.on_writing = [&](double share) { progress.report("writing", std::llround(share * 1000), 1000); };
    trace_and_commit(model, plan, results, image_of(options, model, plan), hooks, extract_on_every_core);
    progress.finish("writing");
    if (!options.quiet) {
        std::printf("written:");
        for (const OutputFile* file : results.files()) std::printf(" %s", file->final_path().c_str());
        if (!results.folder_still_at_its_path())
            std::printf(" (in the folder %s led to when the run began; it now leads to another)",
                        platform::folder_of(options.output).c_str());
        std::printf("\n");
    }
}

constexpr const char* kErrorLead = "";

}  // namespace

int run_command_line(const CommandLine& options)
{
    return report_failures(kErrorLead, [&] {
        run(options);
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            throw RunError(std::string("cannot write the report to standard output: ") + std::strerror(errno));
        return 0;
    });
}
