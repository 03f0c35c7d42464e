// The model of a run: its altitudes served as rows, its size, where it lies,
// and every file it is made of. Both front-ends open models here; they only
// say which model and answer the questions a model raises (the unit of raw
// samples once their range is known).
#ifndef RUN_MODEL_H
#define RUN_MODEL_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shared/file_handle.h"
#include "shared/georeference.h"
#include "input/raw_samples.h"
#include "input/row_source.h"

struct Model {
    std::string path;                      // the model file, named in messages
    int32_t rows = 0;
    int32_t columns = 0;
    int32_t pixel_size = 0;                // in whole meters; 0 when the model does not say
    Georeference georeference;             // where it lies, when it says
    std::vector<std::string> files;        // every file it is made of: no result may replace one
    std::unique_ptr<RowSource> altitudes;  // served row by row, with their range
    // How a raster's band turns its stored values into altitudes (value x
    // scale + offset, as GDAL's tools read it): 1 and 0 but for such a band.
    double value_scale = 1;
    double value_offset = 0;
    std::string unit;  // the unit the band names for its values ("ft"), empty when it names none
    std::optional<double> band_no_data;  // the band's own no-data value, when it names one
};

// What a model file holds, by the extension of its name: a raw raster with a
// descriptor (.raw), an ASCII grid (.asc), or any raster GDAL reads.
enum class ModelKind { raw, ascii, raster };
ModelKind model_kind(const std::string& path);

// Refuses a model whose name begins as the program's private files do
// (".it4-", ".it4~"): such a name belongs to the program's own files.
void refuse_private_model_name(const std::string& path);

// Opens a model file (or a raw raster's descriptor) for reading without ever
// blocking on it. Null when it does not exist (each
// front-end says so in its own way); a folder, a FIFO, device or socket, and
// any other failure end the run with a RunError naming the file.
FileHandle open_model_file(const std::string& path);

// The pixel size in whole meters of a cell `cell_size` wide: truncated toward
// zero; 0 (unknown) below one meter or beyond 2^31 - 1 meters.
int32_t pixel_size_in_meters(double cell_size);

// A raw raster's layout, from its descriptor or from the dialogue's answers.
struct RawLayout {
    int32_t rows = 0;
    int32_t columns = 0;
    int sample_kind = 0;     // 0: unsigned 16-bit samples, 1: signed 32-bit
    int32_t pixel_size = 0;  // whole meters, 0 when unknown
};

// The raw raster `f1` (taken over) at `path`, described by `descriptor`: its
// raw range is measured on every core, then `factor_for(range)` gives the
// altitude of one unit of its samples (unit_factors for the dialogue's units).
Model open_raw_model(FileHandle f1, const std::string& path, const std::string& descriptor, const RawLayout& layout,
                     const std::function<double(const RawRange&)>& factor_for);

// The layout a raw raster's descriptor gives (at least its lines, columns and
// bytes per sample, 2 or 4); a descriptor that does not give it ends the run
// with a RunError naming it.
RawLayout read_raw_layout(FileHandle descriptor_file, const std::string& descriptor);

// The ASCII grid `f1` at `path`, parsed once: its values kept in
// memory, or in a scratch file without a name in `scratch_folder` when large.
// `on_progress(i)` is called before row i is read, every 100 rows. The header
// places the grid; its cell size gives the pixel size.
Model open_ascii_model(FileHandle f1, const std::string& path, const std::string& scratch_folder,
                       const std::function<void(int32_t)>& on_progress);

// The projection named by the .prj beside a model file (an ASCII grid's),
// read before the model (which may take long to parse): none when there is
// no such file. A .prj that cannot be read or understood ends the run.
struct Projection {
    std::string wkt;
    std::string file;  // the .prj, one of the model's files
};
std::optional<Projection> projection_beside(const std::string& model_path);

// Gives the model that projection and counts its file among the model's.
void attach_projection(Model& model, const Projection& projection);

// Band `band` of the raster GDAL reads at `path`, its samples times
// `factor`, the cells of `no_data` (when given) without data: kept like an
// ASCII grid's values when small, else read twice, once for its range
// (`range_first`), or once, its range measured as the rows are traced.
// `on_rows(read, total)` is called as each row is read for the range.
Model open_raster_model(const std::string& path, int band, double factor, std::optional<double> no_data,
                        const std::string& scratch_folder, bool range_first,
                        const std::function<void(int32_t read, int32_t total)>& on_rows);

// The library that reads other rasters, and its version, for --version (or
// why there is none).
std::string raster_formats_version();

// A model as a front-end names it by its path alone: the kind of file
// (model_kind) says how it is read.
struct ModelRequest {
    std::string path;
    int band = 1;                   // of a raster (a .raw or .asc model has only band 1)
    double sample_factor = 1;       // the altitude of one unit of a .raw's or raster's samples
    std::optional<double> no_data;  // a raster's no-data value, in place of its own
    std::string scratch_folder;     // where a large ASCII grid's values may be kept
    // The range measured in a pass of its own before the rows are traced;
    // else a raw model and a large raster measure it as the tracing reads
    // their rows (the model read once, its range known after the tracing).
    bool range_first = true;
};

// Opens the model the request names: a .raw with its descriptor <name>.txt
// beside it, an ASCII grid with the projection of the .prj beside it, or any
// raster GDAL reads. `on_reading(done, total)` is called as it is read. A
// model that is missing, cannot be read, or does not take the request's
// settings ends the run (RunError).
Model open_model_for(const ModelRequest& request, const std::function<void(int64_t done, int64_t total)>& on_reading);

#endif
