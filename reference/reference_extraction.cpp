#include "reference/reference_extraction.h"

#include <algorithm>
#include <span>

#include "reference/extraction.h"
#include "reference/grid.h"
#include "reference/whole_grid_readers.h"

namespace {

// The result in tones of type Tone, handed on as the bytes of each row (in
// the machine's order).
template <typename Tone>
void extract_into(const ExtractionInput& input, ResultRowSink& result)
{
    Grid<Tone> result_grid = make_grid<Tone>(input.column_count, input.row_count, "result grid");
    extract_contours_reference(input, result_grid.rows());
    const size_t row_bytes = static_cast<size_t>(input.column_count) * sizeof(Tone);
    for (int32_t i = 0; i < input.row_count; ++i)
        result.write_row(i, ToneRow(reinterpret_cast<const unsigned char*>(result_grid[i]), row_bytes));
}

}  // namespace

void extract_with_reference(const Model& model, const std::vector<Level>& levels, const Plan& plan,
                            ResultRowSink& result)
{
    check_grid_size(model.rows, model.columns, model.path);
    Grid<double> altitude_grid = make_grid<double>(model.columns, model.rows, "altitude grid");
    std::vector<double> buffer(static_cast<size_t>(model.columns));
    for (int32_t i = 0; i < model.rows; ++i) {
        const AltitudeRow row = model.altitudes->read_row(i, buffer);
        std::copy(row.begin(), row.end(), altitude_grid[i]);
    }
    const ExtractionInput input{altitude_grid.rows(), model.rows,  model.columns,
                                &levels,      plan.first_tone,  plan.level_count,
                                model.altitudes->range().highest};
    if (tone_bytes_for(plan.level_count) == 2)
        extract_into<uint16_t>(input, result);
    else
        extract_into<unsigned char>(input, result);
}
