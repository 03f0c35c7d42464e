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
    Grid<Tone> tab3 = make_grid<Tone>(input.nb_col1, input.nb_lig1, "result grid");
    extract_contours_reference(input, tab3.rows());
    const size_t row_bytes = static_cast<size_t>(input.nb_col1) * sizeof(Tone);
    for (int32_t i = 0; i < input.nb_lig1; ++i)
        result.write_row(i, ToneRow(reinterpret_cast<const unsigned char*>(tab3[i]), row_bytes));
}

}  // namespace

void extract_with_reference(const Model& model, const std::vector<Level>& levels, const Plan& plan,
                            ResultRowSink& result)
{
    check_grid_size(model.rows, model.columns, model.path);
    Grid<double> dtab1 = make_grid<double>(model.columns, model.rows, "altitude grid");
    std::vector<double> buffer(static_cast<size_t>(model.columns));
    for (int32_t i = 0; i < model.rows; ++i) {
        const AltitudeRow row = model.altitudes->read_row(i, buffer);
        std::copy(row.begin(), row.end(), dtab1[i]);
    }
    const ExtractionInput input{dtab1.rows(), model.rows,  model.columns,
                                &levels,      plan.first_tone,  plan.level_count,
                                model.altitudes->range().max_dyn};
    if (tone_bytes_for(plan.level_count) == 2)
        extract_into<uint16_t>(input, result);
    else
        extract_into<unsigned char>(input, result);
}
