#include <cmath>
#include <cstdio>
#include <memory>

#include "../console.h"
#include "../run_error.h"
#include "model_readers.h"
#include "opening.h"

namespace {

// The pixel size in whole meters: the cell size truncated toward zero, 0 (the
// question follows) for a cell size below one meter.
int32_t whole_meters(double cell_size, const std::string& path)
{
    if (cell_size < 1) return 0;
    if (cell_size >= 2147483648.0) throw RunError(path + ": the cell size " + std::to_string(cell_size) + " is too large");
    return static_cast<int32_t>(cell_size);
}

}  // namespace

void ascii_lecture(OpeningState& s, std::FILE* f1, const std::string& folder)
{
    console::print("\n");
    std::unique_ptr<StoredRowSource> rows;
    AsciiGridSize header;
    try {
        rows = read_ascii_source(f1, s.nomim1, folder, stored_rows_budget,
                                 [](int32_t i) { console::print("\tline %d                   \r", i); }, header);
    } catch (...) {
        std::fclose(f1);
        throw;
    }
    std::fclose(f1);
    s.dsizepix = header.dsizepix;
    check_model_has_data(*rows, s.nomim1);
    s.nb_col1 = rows->nb_col1();
    s.nb_lig1 = rows->nb_lig1();
    s.rows = std::move(rows);
    s.pix_size = whole_meters(s.dsizepix, s.nomim1);
    console::print("\n");
}
