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

void check_grid_size(int64_t nb_lig1, int64_t nb_col1, const std::string& path)
{
    check_model_shape(nb_lig1, nb_col1, path);
    // Both factors are below 2^31, so the cell count fits; the byte count may not.
    const uint64_t cells = static_cast<uint64_t>(nb_lig1) * static_cast<uint64_t>(nb_col1);
    uint64_t needed = 0;
    if (__builtin_mul_overflow(cells, grid_bytes_per_cell, &needed))
        throw RunError(path + ": " + size_text(nb_lig1, nb_col1) + " is too large: its " + std::to_string(cells) +
                       " cells would need more bytes of memory than can be counted");
    const MemoryLimit available = memory_available();
    if (needed > available.bytes)
        throw RunError(path + ": " + size_text(nb_lig1, nb_col1) + " is too large for the memory available: its " +
                       std::to_string(cells) + " cells need " + std::to_string(needed) + " bytes (" +
                       std::to_string(grid_bytes_per_cell) + " per cell), more than the " +
                       std::to_string(available.bytes) + " bytes of " + available.what);
    prefer_huge_pages_for_grids(needed);
}

Grid<double> read_raw_samples(std::FILE* f1, const std::string& path, int32_t nb_lig1, int32_t nb_col1, int itype,
                              RawRange& range)
{
    const int width = sample_width(itype);
    if (nb_lig1 <= 0 || nb_col1 <= 0) check_grid_size(nb_lig1, nb_col1, path);  // refuses at once
    check_file_holds_samples(platform::regular_length(platform::descriptor_of(f1)), path, nb_lig1, nb_col1, itype);
    check_grid_size(nb_lig1, nb_col1, path);

    Grid<double> dtab1 = make_grid<double>(nb_col1, nb_lig1, "altitude grid");
    std::vector<unsigned char> buffer(static_cast<size_t>(nb_col1) * static_cast<size_t>(width));

    // The range starts from the first sample, so that any model, all negative
    // or all very high, reports its true extremes.
    for (int32_t i = 0; i < nb_lig1; ++i) {
        read_row_bytes(f1, path, buffer, i);
        if (i == 0) {
            const int32_t first = first_raw_sample(buffer.data(), itype);
            range = RawRange{first, first};
        }
        decode_raw_row(buffer.data(), nb_col1, itype, dtab1[i], range);
    }
    return dtab1;
}

void convert_to_meters(double** dtab1, int32_t nb_lig1, int32_t nb_col1, int unit)
{
    for (int32_t i = 0; i < nb_lig1; ++i) convert_row_to_meters(dtab1[i], nb_col1, unit);
}

AsciiModel read_ascii_grid(std::FILE* f1, const std::string& path, const std::function<void(int32_t)>& on_progress)
{
    AsciiModel model;
    const auto make_grid_for = [&model, &path](const AsciiGridSize& size) {
        check_grid_size(size.nb_lig1, size.nb_col1, path);
        model.nb_col1 = size.nb_col1;
        model.nb_lig1 = size.nb_lig1;
        model.dsizepix = size.dsizepix;
        model.georeference = size.georeference;
        model.dtab1 = make_grid<double>(size.nb_col1, size.nb_lig1, "altitude grid");
    };
    const auto store_row = [&model](int32_t i, const double* row) {
        std::copy(row, row + model.nb_col1, model.dtab1[i]);
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
