// The row engine on the program's row-pointer grids.
#include "reference/grid_engine.h"

#include <cstring>

#include "contours/row_engine.h"
#include "contours/row_cleaning.h"
#include "contours/trace_sweep.h"

namespace {

// The rows of dtab1, read in place.
class GridSource final : public AltitudeSource {
public:
    GridSource(double** dtab1, int32_t nb_col1) : dtab1_(dtab1), nb_col1_(nb_col1) {}
    AltitudeRow read_row(int32_t i, std::span<double>) const override
    {
        return AltitudeRow(dtab1_[i], static_cast<size_t>(nb_col1_));
    }

private:
    double** dtab1_;
    int32_t nb_col1_;
};

// Finished rows copied into tab3.
class GridSink final : public ResultRowSink {
public:
    explicit GridSink(unsigned char** tab3) : tab3_(tab3) {}
    void write_row(int32_t i, ToneRow row) override { std::memcpy(tab3_[i], row.data(), row.size()); }

private:
    unsigned char** tab3_;
};

}  // namespace

StripeStats extract_contours_fast(const ExtractionInput& in, unsigned char** tab3, const StripeOptions& options)
{
    const PreparedPlan plan(in.levels, in.first_GT, in.num_CL, in.max_dyn);
    const GridSource source(in.dtab1, in.nb_col1);
    GridSink sink(tab3);
    return extract_in_stripes(plan, in.nb_lig1, in.nb_col1, source, sink, options);
}

void extract_contours_fast(const ExtractionInput& in, unsigned char** tab3)
{
    extract_contours_fast(in, tab3, StripeOptions{});
}

void trace_levels_fast(const ExtractionInput& in, unsigned char** tab3)
{
    if (in.nb_lig1 <= 0 || in.nb_col1 <= 0) return;
    const SortedLevels levels = sort_traced_levels(in.levels);
    const std::unique_ptr<TraceStage<uint8_t>> trace = make_trace_stage<uint8_t>(levels, in.nb_lig1, in.nb_col1, 0);
    for (int32_t k = 0; k < in.nb_lig1; ++k) {
        trace->push(AltitudeRow(in.dtab1[k], static_cast<size_t>(in.nb_col1)));
        while (trace->next_row() < in.nb_lig1 && trace->trace_next(tab3[trace->next_row()])) {
        }
    }
}

void clean_contours_fast(unsigned char** tab3, int32_t nb_lig1, int32_t nb_col1, int first_GT, int num_CL)
{
    if (nb_lig1 <= 0 || nb_col1 <= 0) return;
    using Stage = CleaningStage<uint8_t>;
    const HandledTones<uint8_t> tones = handled_tones<uint8_t>(first_GT, num_CL);
    Stage::Scratch scratch;
    Stage spurs(CleaningPass::spurs, tones, nb_lig1, nb_col1, 0, scratch);
    Stage corners(CleaningPass::corners, tones, nb_lig1, nb_col1, 0, scratch);
    Stage isolated(CleaningPass::isolated_pixels, tones, nb_lig1, nb_col1, 0, scratch);
    // A row goes back into tab3 only once all three passes are past it, and
    // every pass keeps its own copies of the rows it still needs.
    const auto write_back = [&](int32_t i, const unsigned char* row) {
        std::memcpy(tab3[i], row, static_cast<size_t>(nb_col1));
    };
    for (int32_t k = 0; k < nb_lig1; ++k)
        spurs.push(k, tab3[k], [&](int32_t a, const unsigned char* spurred) {
            corners.push(a, spurred, [&](int32_t b, const unsigned char* cornered) {
                isolated.push(b, cornered, write_back);
            });
        });
}
