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
    check_grid_size(model.nb_lig1, model.nb_col1, model.nomim1);
    Grid<double> dtab1 = make_grid<double>(model.nb_col1, model.nb_lig1, "altitude grid");
    std::vector<double> buffer(static_cast<size_t>(model.nb_col1));
    for (int32_t i = 0; i < model.nb_lig1; ++i) {
        const AltitudeRow row = model.rows->read_row(i, buffer);
        std::copy(row.begin(), row.end(), dtab1[i]);
    }
    const ExtractionInput input{dtab1.rows(), model.nb_lig1,  model.nb_col1,
                                &levels,      plan.first_GT,  plan.num_CL,
                                model.rows->range().max_dyn};
    if (tone_bytes_for(plan.num_CL) == 2)
        extract_into<uint16_t>(input, result);
    else
        extract_into<unsigned char>(input, result);
}
