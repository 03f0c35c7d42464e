// The command-line run: the model's rows served by a row source of its kind,
// the plan worked out from the options with the dialogue's level arithmetic,
// the rows streamed through the same engine to the image's sink, and the
// results replaced all together under the result's lock.
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "../../LIB/IMAGE.h"
#include "../contours/stripes.h"
#include "../engine_threads.h"
#include "../gdal_formats.h"
#include "../input/model_readers.h"
#include "../input/row_source.h"
#include "../output/palette.h"
#include "../output/result_writers.h"
#include "../output/row_sink.h"
#include "../platform.h"
#include "../result_set.h"
#include "../run_error.h"
#include "command_line.h"
#include "progress.h"

namespace {

constexpr int kMaxLevels = 250;

struct Model {
    std::unique_ptr<RowSource> rows;  // the altitudes in meters
    int32_t nb_lig1 = 0;
    int32_t nb_col1 = 0;
    int32_t pix_size = 0;             // whole meters, 0 when unknown
    Georeference georeference;
    std::string prj_file;            // the .prj beside an ASCII grid, when there is one
    std::vector<std::string> files;  // the model's own files, which no result may replace
    AltitudeRange range;             // of the cells that have an altitude
    int64_t no_data = 0;             // cells without an altitude (NaN)
};

std::FILE* open_input(const std::string& path)
{
    bool not_regular = false, is_folder = false;
    std::FILE* f = platform::open_regular(path, "rb", not_regular, is_folder);
    if (f != nullptr) return f;
    if (is_folder) throw RunError(path + " is a folder, not a model file");
    if (not_regular) throw RunError(path + " is not a regular file (a FIFO, device or socket), not a model file");
    throw RunError(path + ": " + std::strerror(errno));
}

// A raw raster: its descriptor <name>.txt beside it gives the size, the bytes
// per sample (2: unsigned 16-bit, 4: signed 32-bit) and the pixel size. The
// rows are read from the file at their offsets.
Model read_raw_model(const std::string& path, int unit)
{
    Model model;
    const std::string descriptor = stem_of(path) + ".txt";
    int32_t val = 0, mind = 0, maxd = 0;
    {
        std::FILE* f1d = open_input(descriptor);
        int32_t* const values[6] = {&model.nb_lig1, &model.nb_col1, &val, &mind, &maxd, &model.pix_size};
        const int read = read_descriptor(f1d, values);
        std::fclose(f1d);
        if (read < 3)
            throw RunError(descriptor + ": a descriptor holds lines, columns and bytes per sample (then smallest and "
                                        "largest sample and pixel size), one integer per line");
    }
    if (val != 2 && val != 4)
        throw RunError(descriptor + ": " + std::to_string(val) + " bytes per sample; a raw model has 2 or 4");
    auto rows = std::make_unique<RawRowSource>(open_input(path), path, model.nb_lig1, model.nb_col1, val == 2 ? 0 : 1);
    rows->measure_raw_range(engine_threads());
    rows->set_unit(unit);
    model.rows = std::move(rows);
    model.files = {path, descriptor};
    return model;
}

// A projection is a few kilobytes of text; a larger .prj is no projection.
constexpr size_t kLargestPrj = size_t{1} << 20;

// The text of the .prj file `prj` beside an ASCII grid, which names the
// grid's projection; none when there is no such file. A .prj that is there
// but cannot be read ends the run: the user meant the result to have it.
std::optional<std::string> read_prj(const std::string& prj)
{
    bool not_regular = false, is_folder = false;
    std::FILE* f = platform::open_regular(prj, "rb", not_regular, is_folder);
    if (f == nullptr) {
        if (is_folder) throw RunError("cannot read the projection " + prj + ": " + std::strerror(EISDIR));
        if (not_regular)
            throw RunError("cannot read the projection " + prj + ": not a regular file (a FIFO, device or socket)");
        if (errno == ENOENT) return std::nullopt;
        throw RunError("cannot read the projection " + prj + ": " + std::strerror(errno));
    }
    std::string text(kLargestPrj + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f));
    const bool failed = std::ferror(f) != 0;
    const int error = errno;
    std::fclose(f);
    if (failed) throw RunError("cannot read the projection " + prj + ": " + std::strerror(error));
    if (text.size() > kLargestPrj)
        throw RunError("cannot read the projection " + prj + ": larger than " + std::to_string(kLargestPrj) +
                       " bytes, which no projection is");
    return text;
}

// An ASCII grid, parsed once; its values are kept in memory, or in a scratch
// file in `scratch_folder` when large. Its header places it on the map, and
// the .prj beside it, when there is one, names its projection.
Model read_ascii_model(const std::string& path, int unit, const std::string& scratch_folder, Progress& progress)
{
    if (unit != 0) throw RunError(path + ": the values of an ASCII grid are read as meters; leave out --scale");
    std::FILE* f1 = open_input(path);
    Model model;
    AsciiGridSize header;
    try {
        // Before the grid, which may take long to parse.
        const std::string prj = stem_of(path) + ".prj";
        if (const std::optional<std::string> text = read_prj(prj)) {
            model.georeference.projection_wkt = projection_from_prj(prj, *text);
            model.prj_file = prj;
        }
        // The grid's lines are not known before its header is read: the
        // progress is the share of the file's bytes read so far.
        std::fseek(f1, 0, SEEK_END);
        const int64_t bytes = std::ftell(f1);
        std::rewind(f1);
        model.rows = read_ascii_source(f1, path, scratch_folder, stored_rows_budget,
                                       [&](int32_t) { progress.report("reading", std::ftell(f1), bytes); }, header);
    } catch (...) {
        std::fclose(f1);
        throw;
    }
    std::fclose(f1);
    model.nb_lig1 = model.rows->nb_lig1();
    model.nb_col1 = model.rows->nb_col1();
    const double dsizepix = header.dsizepix;
    model.pix_size = dsizepix >= 1 && dsizepix < 2147483648.0 ? static_cast<int32_t>(dsizepix) : 0;
    model.georeference.present = header.georeference.present;
    model.georeference.geotransform = header.georeference.geotransform;
    model.files = {path};
    if (!model.prj_file.empty()) model.files.push_back(model.prj_file);
    return model;
}

// A raster read through GDAL, its rows read once and kept like an ASCII
// grid's (cells without data counted apart from the range).
Model read_gdal_model(const std::string& path, int band, int unit, const std::string& scratch_folder,
                      Progress& progress)
{
    std::unique_ptr<RasterRowSource> source = gdal_formats(path).open_source(path, band, unit);
    Model model;
    model.nb_lig1 = source->nb_lig1();
    model.nb_col1 = source->nb_col1();
    model.pix_size = source->pixel_size();
    model.georeference = source->georeference();
    model.files = {path};
    const auto on_row = [&](int32_t i) { progress.report("reading", i + 1, model.nb_lig1); };
    // A model larger than the budget is read twice from the raster (once for
    // its range) rather than kept: a copy of it as doubles would take four
    // times a 16-bit file's room on the disk.
    const uint64_t cells = static_cast<uint64_t>(model.nb_lig1) * static_cast<uint64_t>(model.nb_col1);
    if (cells > stored_rows_budget / sizeof(double)) {
        model.rows = std::make_unique<RasterPassSource>(std::move(source), on_row);
        return model;
    }
    auto rows = std::make_unique<StoredRowSource>(model.nb_lig1, model.nb_col1, scratch_folder, stored_rows_budget);
    std::vector<double> buffer(static_cast<size_t>(model.nb_col1));
    for (int32_t i = 0; i < model.nb_lig1; ++i) {
        rows->append_row(source->read_row(i, buffer).data());
        on_row(i);
    }
    rows->finish();
    model.rows = std::move(rows);
    return model;
}

Model read_model(const CommandLine& options, Progress& progress)
{
    const std::string extension = extension_of(options.input);
    // Scratch files go where the results go: a folder the run may write.
    const std::string scratch_folder = platform::folder_of(options.output);
    if (extension != ".raw" && extension != ".asc")
        return read_gdal_model(options.input, options.band, options.unit, scratch_folder, progress);
    if (options.band != 1) throw RunError(options.input + ": a " + extension + " model has only band 1");
    return extension == ".raw" ? read_raw_model(options.input, options.unit)
                               : read_ascii_model(options.input, options.unit, scratch_folder, progress);
}

Model read_model_with_data(const CommandLine& options, Progress& progress)
{
    Model model = read_model(options, progress);
    model.range = model.rows->range();
    model.no_data = model.range.no_data_cells;
    if (model.no_data == static_cast<int64_t>(model.nb_lig1) * model.nb_col1)
        throw RunError(options.input + ": the model holds no cell with an altitude");
    return model;
}

struct Plan {
    double dmin_alt = 0;
    double int_hypso = 0;
    double dmax_alt = 0;
    int num_CL = 0;
};

// The smallest interval of the form 1, 2, 2.5 or 5 times a power of ten that
// is at least `at_least`.
double round_interval(double at_least)
{
    double power = std::pow(10.0, std::floor(std::log10(at_least)));
    for (;; power *= 10)
        for (double step : {1.0, 2.0, 2.5, 5.0})
            if (step * power >= at_least) return step * power;
}

// The smallest multiple of the interval at or above the altitude.
double first_multiple_at_or_above(double altitude, double interval)
{
    double multiple = std::ceil(altitude / interval) * interval;
    if (multiple < altitude) multiple += interval;
    return multiple + 0.0;  // never -0, which would print as "-0.000000"
}

Plan make_plan(const CommandLine& options, const AltitudeRange& range)
{
    Plan plan;
    plan.int_hypso = options.int_hypso;
    plan.dmin_alt = options.dmin_alt ? *options.dmin_alt : first_multiple_at_or_above(range.min_dyn, plan.int_hypso);
    plan.dmax_alt = options.dmax_alt ? *options.dmax_alt : range.max_dyn;
    const int64_t count = count_levels(plan.dmin_alt, plan.int_hypso, plan.dmax_alt);
    const auto altitude = [](double value) { return std::to_string(value); };
    if (count > kMaxLevels) {
        const double suggested = round_interval((plan.dmax_alt - plan.dmin_alt) / (kMaxLevels - 1));
        throw RunError("the plan from " + altitude(plan.dmin_alt) + " to " + altitude(plan.dmax_alt) + " m every " +
                       altitude(plan.int_hypso) + " m has " + std::to_string(count) + " levels, more than " +
                       std::to_string(kMaxLevels) + "; try -i " + altitude(suggested));
    }
    if (count < 1) {
        const double span = range.max_dyn - range.min_dyn;
        const std::string hint = plan.dmin_alt > plan.dmax_alt && (options.dmin_alt || options.dmax_alt)
                                     ? "; check --min and --max (the model's altitudes run from " +
                                           altitude(range.min_dyn) + " to " + altitude(range.max_dyn) + " m)"
                                     : "; try -i " + altitude(span > 0 ? round_interval(span / 20) : 1);
        throw RunError("the plan from " + altitude(plan.dmin_alt) + " to " + altitude(plan.dmax_alt) + " m every " +
                       altitude(plan.int_hypso) + " m has no level" + hint);
    }
    plan.num_CL = static_cast<int>(count);
    return plan;
}

// Hands the finished result rows on to the image's sink, counting them for
// the progress.
class CountingSink final : public RowSink {
public:
    CountingSink(RowSink& sink, int32_t nb_lig1, Progress& progress)
        : sink_(sink), nb_lig1_(nb_lig1), progress_(progress)
    {
    }
    void write_row(int32_t i, ToneRow row) override { write_rows(i, 1, row.size(), row.data()); }
    void write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows) override
    {
        sink_.write_rows(first, count, width, rows);
        // A repaired row comes twice: the count may pass the rows, not 100%.
        progress_.report("tracing", std::min<int64_t>(written_ += count, nb_lig1_), nb_lig1_);
    }

private:
    RowSink& sink_;
    int32_t nb_lig1_;
    Progress& progress_;
    std::atomic<int64_t> written_{0};
};

// The results of a run, under temporary names until all are complete.
struct Results {
    std::unique_ptr<ResultLock> lock;
    std::unique_ptr<OutputFile> table;
    std::unique_ptr<OutputFile> image;
    std::unique_ptr<OutputFile> descriptor;   // a raw image's
    std::unique_ptr<OutputFile> world_file;   // beside a georeferenced .bmp or .png
    std::unique_ptr<OutputFile> projection;   // its .prj

    std::vector<OutputFile*> all() const
    {
        std::vector<OutputFile*> files;
        for (OutputFile* file : {image.get(), descriptor.get(), world_file.get(), projection.get(), table.get()})
            if (file != nullptr) files.push_back(file);
        return files;
    }
};

std::string world_file_extension(ImageFormat format) { return format == ImageFormat::png ? ".pgw" : ".bpw"; }

// Every result lies in the output's folder: the set is replaced there at once.
void check_same_folder(const std::string& output, const std::string& table)
{
    const auto folder = [](const std::string& path) {
        const std::string f = platform::folder_of(path);
        return f.empty() ? std::string(".") : f;
    };
    platform::FileId a, b;
    if (!platform::identify(folder(output), a)) throw RunError("cannot write " + output + ": " + std::strerror(errno));
    if (!platform::identify(folder(table), b)) throw RunError("cannot write " + table + ": " + std::strerror(errno));
    if (!platform::same_file(a, b))
        throw RunError("the table " + table + " must lie in the folder of " + output +
                       " (the results are replaced together)");
}

bool same_existing_file(const std::string& a, const std::string& b)
{
    platform::FileId id_a, id_b;
    return platform::identify(a, id_a) && platform::identify(b, id_b) && platform::same_file(id_a, id_b);
}

Results create_results(const CommandLine& options, const Model& model)
{
    Results results;
    const std::string stem = stem_of(options.output);
    std::vector<std::string> paths{options.output, options.table};
    if (options.format == ImageFormat::raw) paths.push_back(stem + ".txt");
    const bool side_files =
        model.georeference.present && (options.format == ImageFormat::bmp || options.format == ImageFormat::png);
    // A result beside its ASCII grid, under the grid's name, finds the grid's
    // own .prj where its .prj would go: that file already names the
    // projection and is left as it is.
    const bool writes_prj = side_files && !model.georeference.projection_wkt.empty() &&
                            !(!model.prj_file.empty() && same_existing_file(stem + ".prj", model.prj_file));
    if (side_files) paths.push_back(stem + world_file_extension(options.format));
    if (writes_prj) paths.push_back(stem + ".prj");
    for (size_t a = 0; a < paths.size(); ++a)
        for (size_t b = a + 1; b < paths.size(); ++b)
            if (paths[a] == paths[b]) throw RunError("the table and the image would both be " + paths[a]);
    check_same_folder(options.output, options.table);
    const ModelFiles model_files = identify_model_files(model.files);
    for (const std::string& path : paths) refuse_overwriting_model(path, model_files);

    // One run at a time writes a result; what ended runs left in its folder
    // is cleaned up before anything of this one goes in place.
    results.lock = std::make_unique<ResultLock>(stem);
    clean_up_folder(*results.lock);
    results.image = std::make_unique<OutputFile>(options.output);
    results.table = std::make_unique<OutputFile>(options.table);
    if (options.format == ImageFormat::raw) results.descriptor = std::make_unique<OutputFile>(paths[2]);
    if (side_files) results.world_file = std::make_unique<OutputFile>(stem + world_file_extension(options.format));
    if (writes_prj) results.projection = std::make_unique<OutputFile>(stem + ".prj");
    return results;
}

// A world file: the cell's size and rotation, then the map coordinates of
// the centre of the top-left cell.
void write_world_file(OutputFile& file, const Georeference& geo)
{
    const auto& gt = geo.geotransform;
    file.printf("%.10f\n%.10f\n%.10f\n%.10f\n%.10f\n%.10f\n", gt[1], gt[4], gt[2], gt[5],
                gt[0] + gt[1] / 2 + gt[2] / 2, gt[3] + gt[4] / 2 + gt[5] / 2);
}

// The bitmap's palette, which follows its 54-byte header, replaced by `palette`.
void put_palette(OutputFile& image, const std::array<Color32, 256>& palette)
{
    static_assert(sizeof(Color32) == 4, "a palette entry is 4 bytes in the file");
    if (std::fflush(image.stream()) != 0 ||
        !platform::write_at(platform::descriptor_of(image.stream()), palette.data(), sizeof palette, 54))
        throw RunError("cannot write " + image.final_path() + ": " + std::strerror(errno));
}

// Traces the model into the image: through the image's own sink for .raw and
// .bmp (each row written at its offset as it comes), through a scratch
// GeoTIFF beside the result for the formats GDAL writes (the image file is
// then copied from it).
void trace_and_write(const CommandLine& options, const Model& model, const Plan& plan,
                     const std::vector<Level>& levels, Results& results, Progress& progress)
{
    const PreparedPlan prepared(&levels, options.first_GT, plan.num_CL, model.range.max_dyn);
    const StripeOptions stripes = run_stripe_options(prepared, *model.rows);
    OutputFile& image = *results.image;
    const std::array<Color32, 256> palette =
        options.distinct ? distinct_palette(options.first_GT, plan.num_CL) : gray_palette();
    if (options.format == ImageFormat::raw || options.format == ImageFormat::bmp) {
        const std::unique_ptr<RowSink> sink =
            make_image_sink(options.format == ImageFormat::raw ? 0 : 1, image, model.nb_lig1, model.nb_col1);
        CountingSink counting(*sink, model.nb_lig1, progress);
        extract_in_stripes(prepared, model.nb_lig1, model.nb_col1, *model.rows, counting, stripes);
        progress.finish("tracing");
        if (options.distinct) put_palette(image, palette);
        image.close();
        if (results.descriptor) {
            write_result_descriptor(*results.descriptor, model.nb_lig1, model.nb_col1, plan.num_CL, model.pix_size);
            results.descriptor->close();
        }
    } else {
        // A private name in the result folder: removed when the run ends,
        // however it fails, and by the next run if this one is killed.
        OutputFile scratch(options.output);
        scratch.hand_over();
        image.hand_over();
        GdalImage target{image.temp_path(), options.output,
                         options.format == ImageFormat::png ? GdalFormat::png : GdalFormat::geotiff,
                         model.nb_lig1, model.nb_col1, palette, !options.distinct, model.georeference};
        const std::unique_ptr<GdalImageSink> sink =
            gdal_formats(options.output).open_image_sink(scratch.temp_path(), target);
        CountingSink counting(*sink, model.nb_lig1, progress);
        extract_in_stripes(prepared, model.nb_lig1, model.nb_col1, *model.rows, counting, stripes);
        progress.finish("tracing");
        sink->write_image([&](double share) { progress.report("writing", std::llround(share * 1000), 1000); });
        image.seal();
    }
    if (results.world_file) {
        write_world_file(*results.world_file, model.georeference);
        results.world_file->close();
    }
    if (results.projection) {
        const std::string prj = prj_text_of(options.input, model.georeference.projection_wkt);
        results.projection->write(prj.data(), prj.size());
        results.projection->close();
    }
    progress.finish("writing");
}

void run(const CommandLine& options)
{
    Progress progress(options.quiet);
    const Model model = read_model_with_data(options, progress);
    progress.finish("reading");
    const Plan plan = make_plan(options, model.range);
    if (!options.quiet) {
        std::printf("%s: %d lines x %d columns, altitudes %f to %f m", options.input.c_str(), model.nb_lig1,
                    model.nb_col1, model.range.min_dyn, model.range.max_dyn);
        if (model.no_data > 0) std::printf(", %lld cells without data", static_cast<long long>(model.no_data));
        std::printf("\n%d levels from %f m every %f m, tones %d to %d\n", plan.num_CL, plan.dmin_alt, plan.int_hypso,
                    options.first_GT, options.first_GT + plan.num_CL - 1);
        std::fflush(stdout);
    }
    Results results = create_results(options, model);

    const std::vector<Level> levels =
        level_sequence(plan.dmin_alt, plan.int_hypso, options.first_GT, plan.num_CL, model.range.max_dyn);
    for (const Level& level : levels) write_table_line(*results.table, level, options.scale);
    results.table->close();

    trace_and_write(options, model, plan, levels, results, progress);
    commit_together(results.all(), *results.lock);
    if (!options.quiet) {
        std::printf("written:");
        for (const OutputFile* file : results.all()) std::printf(" %s", file->final_path().c_str());
        std::printf("\n");
    }
}

void report_failure(const std::string& message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "Error: %s\n", message.c_str());
    std::fflush(stderr);
}

}  // namespace

int run_command_line(const CommandLine& options)
{
    try {
        run(options);
    } catch (const RunError& failure) {
        report_failure(failure.what());
        return 1;
    } catch (const std::bad_alloc&) {
        report_failure("not enough memory");
        return 1;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        report_failure(std::string("cannot write the report to standard output: ") + std::strerror(errno));
        return 1;
    }
    return 0;
}
