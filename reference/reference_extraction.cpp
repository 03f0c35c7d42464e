#include "reference/reference_extraction.h"

#include <algorithm>
#include <span>

#include "reference/extraction.h"
#include "reference/grid.h"
#include "reference/whole_grid_readers.h"

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
    Grid<unsigned char> tab3 = make_grid<unsigned char>(model.nb_col1, model.nb_lig1, "result grid");
    const ExtractionInput input{dtab1.rows(), model.nb_lig1,  model.nb_col1,
                                &levels,      plan.first_GT,  plan.num_CL,
                                model.rows->range().max_dyn};
    extract_contours_reference(input, tab3.rows());
    for (int32_t i = 0; i < model.nb_lig1; ++i)
        result.write_row(i, ToneRow(tab3[i], static_cast<size_t>(model.nb_col1)));
}
