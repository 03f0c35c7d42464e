#include "reference/whole_grid_readers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "shared/file_handle.h"
#include "input/ascii_reader.h"
#include "input/model_size.h"
#include "platform/memory_limits.h"
#include "platform/platform.h"
#include "reference/huge_pages.h"
#include "shared/run_error.h"

namespace {

// A model held whole keeps, per cell, the altitude grid (8 bytes) and the
// result grid (1 byte).
constexpr uint64_t grid_bytes_per_cell = 9;

void read_row_bytes(std::FILE* f1, const std::string& path, std::vector<unsigned char>& buffer, int32_t row)
{
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), f1);
    if (got == buffer.size()) return;
    if (std::ferror(f1))
        throw RunError("read error on " + path + " in line " + std::to_string(row + 1) + ": " + std::strerror(errno));
    throw RunError(path + " ends in line " + std::to_string(row + 1) + " (counting from 1): the line holds " +
                   std::to_string(got) + " of its " + std::to_string(buffer.size()) + " bytes");
}

}  // namespace

void check_grid_size(int64_t row_count, int64_t column_count, const std::string& path)
{
    check_model_shape(row_count, column_count, path);
    // Both factors are below 2^31, so the cell count fits; the byte count may not.
    const uint64_t cells = static_cast<uint64_t>(row_count) * static_cast<uint64_t>(column_count);
    uint64_t needed = 0;
    if (__builtin_mul_overflow(cells, grid_bytes_per_cell, &needed))
        throw RunError(path + ": " + size_text(row_count, column_count) + " is too large: its " + std::to_string(cells) +
                       " cells would need more bytes of memory than can be counted");
    const MemoryLimit available = memory_available();
    if (needed > available.bytes)
        throw RunError(path + ": " + size_text(row_count, column_count) + " is too large for the memory available: its " +
                       std::to_string(cells) + " cells need " + std::to_string(needed) + " bytes (" +
                       std::to_string(grid_bytes_per_cell) + " per cell), more than the " +
                       std::to_string(available.bytes) + " bytes of " + available.what);
    prefer_huge_pages_for_grids(needed);
}

Grid<double> read_raw_samples(std::FILE* f1, const std::string& path, int32_t row_count, int32_t column_count, int sample_kind,
                              RawRange& range)
{
    const int width = sample_width(sample_kind);
    if (row_count <= 0 || column_count <= 0) check_grid_size(row_count, column_count, path);  // refuses at once
    check_file_holds_samples(platform::regular_length(platform::descriptor_of(f1)), path, row_count, column_count, sample_kind);
    check_grid_size(row_count, column_count, path);

    Grid<double> altitude_grid = make_grid<double>(column_count, row_count, "altitude grid");
    std::vector<unsigned char> buffer(static_cast<size_t>(column_count) * static_cast<size_t>(width));

    // The range starts from the first sample, so that any model, all negative
    // or all very high, reports its true extremes.
    for (int32_t i = 0; i < row_count; ++i) {
        read_row_bytes(f1, path, buffer, i);
        if (i == 0) {
            const int32_t first = first_raw_sample(buffer.data(), sample_kind);
            range = RawRange{first, first};
        }
        decode_raw_row(buffer.data(), column_count, sample_kind, altitude_grid[i], range);
    }
    return altitude_grid;
}

void convert_to_meters(double** altitude_grid, int32_t row_count, int32_t column_count, int unit)
{
    for (int32_t i = 0; i < row_count; ++i) convert_row_to_meters(altitude_grid[i], column_count, unit);
}

AsciiModel read_ascii_grid(std::FILE* f1, const std::string& path, const std::function<void(int32_t)>& on_progress)
{
    AsciiModel model;
    const auto make_grid_for = [&model, &path](const AsciiGridSize& size) {
        check_grid_size(size.row_count, size.column_count, path);
        model.column_count = size.column_count;
        model.row_count = size.row_count;
        model.cell_size = size.cell_size;
        model.georeference = size.georeference;
        model.altitude_grid = make_grid<double>(size.column_count, size.row_count, "altitude grid");
    };
    const auto store_row = [&model](int32_t i, const double* row) {
        std::copy(row, row + model.column_count, model.altitude_grid[i]);
    };
    model.no_data_cells = read_ascii_rows(f1, path, on_progress, make_grid_for, store_row).no_data_cells;
    return model;
}

AsciiModel read_ascii_grid_file(const std::string& path)
{
    const FileHandle f(std::fopen(path.c_str(), "rb"));
    if (!f) throw RunError("cannot open " + path + ": " + std::strerror(errno));
    return read_ascii_grid(f.get(), path, [](int32_t) {});
}
