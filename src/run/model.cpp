#include "run/model.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "shared/file_names.h"
#include "gdal/gdal_formats.h"
#include "input/descriptor.h"
#include "input/measuring_row_source.h"
#include "input/model_size.h"
#include "input/raster_pass_source.h"
#include "input/raw_row_source.h"
#include "input/stored_row_source.h"
#include "platform/memory_limits.h"
#include "platform/platform.h"
#include "shared/private_names.h"
#include "run/raster_paths.h"
#include "shared/run_error.h"
#include "shared/run_in_parallel.h"

namespace {

// A projection is a few kilobytes of text; a larger .prj is no projection.
constexpr size_t kLargestPrj = size_t{1} << 20;

// The text of the .prj file `prj`; none when there is no such file. A .prj
// that is there but cannot be read ends the run: the user meant the result to
// have it.
std::optional<std::string> read_prj(const std::string& prj)
{
    std::FILE* f = nullptr;
    const platform::Status opened = platform::open_regular(prj, "rb", f);
    if (!opened) {
        if (opened.is_folder()) throw RunError("cannot read the projection " + prj + ": " + std::strerror(EISDIR));
        if (opened.not_regular())
            throw RunError("cannot read the projection " + prj + ": not a regular file (a FIFO, device or socket)");
        if (opened.not_found()) return std::nullopt;
        throw RunError("cannot read the projection " + prj + ": " + opened.reason());
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

// How many threads may read the raster at once: as many as the engine has,
// as far as the memory available holds the blocks each one reads in GDAL's
// cache, besides what a run needs and GDAL's libraries. A raster whose blocks
// do not fit for one thread is refused.
unsigned raster_readers(const RasterRowSource& raster, const std::string& path)
{
    const MemoryLimit available = memory_available();
    const uint64_t base = run_memory_needed(raster.column_count()) + gdal_library_bytes + gdal_cache_floor;
    const uint64_t per_reader = raster.cache_bytes_per_reader();
    for (unsigned readers = engine_threads(); readers >= 1; --readers)
        if (base + readers * per_reader <= available.bytes) return readers;
    throw RunError(path + ": reading it needs " + std::to_string(base + per_reader) + " bytes (" +
                   std::to_string(per_reader) + " for the blocks of " + std::to_string(raster.column_count()) +
                   " columns a thread reads at once), more than the " + std::to_string(available.bytes) +
                   " bytes of " + available.what);
}

// Every model must hold an altitude: one whose every cell is without data has
// no range and nothing to trace.
Model with_data(Model model)
{
    check_model_has_data(*model.altitudes, model.path);
    return model;
}

}  // namespace

ModelKind model_kind(const std::string& path)
{
    const std::string extension = extension_of(path);
    if (extension == ".raw") return ModelKind::raw;
    if (extension == ".asc") return ModelKind::ascii;
    return ModelKind::raster;
}

std::string raster_formats_version() { return gdal_version_text(); }

void refuse_private_model_name(const std::string& path)
{
    if (named_like_private(platform::name_in_folder(path)))
        throw RunError(path + " is named as the program's own private files are (.it4-..., .it4~...); rename it "
                              "to read it as a model");
}

FileHandle open_model_file(const std::string& path)
{
    std::FILE* stream = nullptr;
    const platform::Status opened = platform::open_regular(path, "rb", stream);
    if (opened) return FileHandle(stream);
    if (opened.is_folder()) throw RunError(path + " is a folder, not a model file");
    if (opened.not_regular())
        throw RunError(path + " is not a regular file (a FIFO, device or socket), not a model file");
    if (!opened.not_found()) throw RunError(path + ": " + opened.reason());
    return nullptr;
}

int32_t pixel_size_in_meters(double cell_size)
{
    const double size = cell_size < 0 ? -cell_size : cell_size;
    return size >= 1 && size < 2147483648.0 ? static_cast<int32_t>(size) : 0;
}

namespace {

// The model of a raw raster whose rows `rows` serves.
Model raw_model(const std::string& path, const std::string& descriptor, const RawLayout& layout,
                std::unique_ptr<RowSource> rows)
{
    Model model;
    model.path = path;
    model.rows = layout.rows;
    model.columns = layout.columns;
    model.pixel_size = layout.pixel_size;
    model.files = {path, descriptor};
    model.altitudes = std::move(rows);
    return model;
}

}  // namespace

Model open_raw_model(FileHandle f1, const std::string& path, const std::string& descriptor, const RawLayout& layout,
                     const std::function<double(const RawRange&)>& factor_for)
{
    auto source = std::make_unique<RawRowSource>(std::move(f1), path, layout.rows, layout.columns, layout.sample_kind);
    source->set_factor(factor_for(source->measure_raw_range(engine_threads())));
    return raw_model(path, descriptor, layout, std::move(source));
}

RawLayout read_raw_layout(FileHandle descriptor_file, const std::string& descriptor)
{
    int32_t val = 0, mind = 0, maxd = 0;
    RawLayout layout;
    int32_t* const values[6] = {&layout.rows, &layout.columns, &val, &mind, &maxd, &layout.pixel_size};
    const int read = read_descriptor(descriptor_file.get(), values);
    if (read < 3)
        throw RunError(descriptor + ": a descriptor holds lines, columns and bytes per sample (then smallest and "
                                    "largest sample and pixel size), one integer per line");
    if (val != 2 && val != 4)
        throw RunError(descriptor + ": " + std::to_string(val) + " bytes per sample; a raw model has 2 or 4");
    layout.sample_kind = val == 2 ? 0 : 1;
    return layout;
}

Model open_ascii_model(FileHandle f1, const std::string& path, const std::string& scratch_folder,
                       const std::function<void(int32_t)>& on_progress)
{
    Model model;
    AsciiGridSize header;
    model.altitudes = read_ascii_source(f1.get(), path, scratch_folder, stored_rows_budget, on_progress, header);
    f1.reset();
    model.path = path;
    model.rows = model.altitudes->row_count();
    model.columns = model.altitudes->column_count();
    model.pixel_size = pixel_size_in_meters(header.cell_size);
    model.georeference = header.georeference;
    model.files = {path};
    return with_data(std::move(model));
}

std::optional<Projection> projection_beside(const std::string& model_path)
{
    const std::string prj = stem_of(model_path) + ".prj";
    const std::optional<std::string> text = read_prj(prj);
    if (!text) return std::nullopt;
    return Projection{projection_from_prj(prj, *text), prj};
}

void attach_projection(Model& model, const Projection& projection)
{
    model.georeference.projection_wkt = projection.wkt;
    model.files.push_back(projection.file);
}

namespace {

// A model file that must exist.
FileHandle open_existing(const std::string& path)
{
    // open_model_file gives none only for a file that does not exist.
    FileHandle f = open_model_file(path);
    if (!f) throw RunError(path + ": " + std::strerror(ENOENT));
    return f;
}

// A raw raster: its descriptor <name>.txt beside it gives the size, the bytes
// per sample and the pixel size.
Model open_raw_model_for(const ModelRequest& request)
{
    const std::string descriptor = stem_of(request.path) + ".txt";
    const RawLayout layout = read_raw_layout(open_existing(descriptor), descriptor);
    if (request.range_first)
        return open_raw_model(open_existing(request.path), request.path, descriptor, layout,
                              [&](const RawRange&) { return request.sample_factor; });
    auto source = std::make_unique<RawRowSource>(open_existing(request.path), request.path, layout.rows,
                                                 layout.columns, layout.sample_kind);
    source->set_factor(request.sample_factor);
    return raw_model(request.path, descriptor, layout, std::make_unique<MeasuringRowSource>(std::move(source)));
}

// An ASCII grid, with the projection of the .prj beside it when there is one.
Model open_ascii_model_for(const ModelRequest& request, const std::function<void(int64_t, int64_t)>& on_reading)
{
    const std::string& path = request.path;
    if (request.sample_factor != 1)
        throw RunError(path + ": the values of an ASCII grid are read as they stand; leave out --scale");
    if (request.no_data) throw RunError(path + ": an ASCII grid names its own NODATA_value; leave out --snodata");
    const std::optional<Projection> projection = projection_beside(path);
    FileHandle f1 = open_existing(path);
    // The grid's lines are not known before its header is read: the progress
    // is the share of the file's bytes read so far.
    std::FILE* const stream = f1.get();
    const int64_t bytes = platform::regular_length(platform::descriptor_of(stream));
    Model model = open_ascii_model(std::move(f1), path, request.scratch_folder,
                                   [&](int32_t) { on_reading(std::ftell(stream), bytes); });
    if (projection) attach_projection(model, *projection);
    return model;
}

}  // namespace

Model open_model_for(const ModelRequest& request, const std::function<void(int64_t, int64_t)>& on_reading_asked)
{
    const std::function<void(int64_t, int64_t)> on_reading =
        on_reading_asked ? on_reading_asked : [](int64_t, int64_t) {};
    refuse_private_model_name(request.path);
    const ModelKind kind = model_kind(request.path);
    if (kind == ModelKind::raster) {
        return open_raster_model(request.path, request.band, request.sample_factor, request.no_data,
                                 request.scratch_folder, request.range_first,
                                 [&](int32_t read, int32_t total) { on_reading(read, total); });
    }
    if (request.band != 1)
        throw RunError(request.path + ": a " + extension_of(request.path) + " model has only band 1");
    if (kind == ModelKind::raw && request.no_data)
        throw RunError(request.path + ": a raw model has no cells without data; leave out --snodata");
    return kind == ModelKind::raw ? open_raw_model_for(request) : open_ascii_model_for(request, on_reading);
}

Model open_raster_model(const std::string& path, int band, double factor, std::optional<double> no_data,
                        const std::string& scratch_folder, bool range_first,
                        const std::function<void(int32_t read, int32_t total)>& on_rows)
{
    // Every file GDAL opens for the model is checked before it is opened: the
    // model, the files beside it, a VRT's sources and theirs.
    RasterFileCheck check;
    check(path);
    std::unique_ptr<RasterRowSource> raster =
        gdal_formats(path).open_source(path, band, no_data, [&](const std::string& file) { check(file); });
    Model model;
    model.path = path;
    model.rows = raster->row_count();
    model.columns = raster->column_count();
    check_model_size(model.rows, model.columns, path);
    const unsigned readers = raster_readers(*raster, path);
    model.pixel_size = pixel_size_in_meters(raster->cell_width());
    model.value_scale = raster->value_scale();
    model.value_offset = raster->value_offset();
    model.unit = raster->unit();
    model.band_no_data = raster->band_no_data();
    model.georeference = raster->georeference();
    // The files behind every name GDAL gave (the file inside /vsigzip/ or
    // behind GTIFF_DIR:1:...) are the model's, which no result may replace.
    for (const std::string& name : raster->files())
        for (const std::string& file : files_behind(name)) model.files.push_back(file);
    for (const std::string& file : files_behind(path)) model.files.push_back(file);
    model.files.push_back(path);
    const auto on_row = [&](int32_t i) { on_rows(i + 1, model.rows); };
    // A model larger than the budget is read again from the raster rather
    // than kept: a copy of it as doubles would take four times a 16-bit
    // file's room on the disk. Its range takes a pass of its own, unless it is
    // measured as the rows are traced.
    const uint64_t cells = static_cast<uint64_t>(model.rows) * static_cast<uint64_t>(model.columns);
    if (cells > stored_rows_budget / sizeof(double)) {
        raster->bound_cache(readers);
        auto rows = std::make_unique<RasterPassSource>(std::move(raster), factor, readers);
        if (!range_first) {
            model.altitudes = std::make_unique<MeasuringRowSource>(std::move(rows));
            return model;
        }
        rows->measure_range(on_row);
        model.altitudes = std::move(rows);
        return with_data(std::move(model));
    }
    auto rows = std::make_unique<StoredRowSource>(model.rows, model.columns, scratch_folder, stored_rows_budget);
    std::vector<double> buffer(static_cast<size_t>(model.columns));
    for (int32_t i = 0; i < model.rows; ++i) {
        rows->append_row(read_scaled_row(*raster, i, buffer, factor).data());
        on_row(i);
    }
    rows->finish();
    model.altitudes = std::move(rows);
    return with_data(std::move(model));
}
