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

// Finished rows copied into tab3 (a row's bytes are its tones in the
// machine's order).
template <typename Tone>
class GridSink final : public ResultRowSink {
public:
    explicit GridSink(Tone** tab3) : tab3_(tab3) {}
    void write_row(int32_t i, ToneRow row) override { std::memcpy(tab3_[i], row.data(), row.size()); }

private:
    Tone** tab3_;
};

}  // namespace

template <typename Tone>
StripeStats extract_contours_fast(const ExtractionInput& in, Tone** tab3, const StripeOptions& options)
{
    const PreparedPlan plan(in.levels, in.first_GT, in.num_CL, in.max_dyn, sizeof(Tone) == 2);
    const GridSource source(in.dtab1, in.nb_col1);
    GridSink<Tone> sink(tab3);
    return extract_in_stripes(plan, in.nb_lig1, in.nb_col1, source, sink, options);
}

template <typename Tone>
void extract_contours_fast(const ExtractionInput& in, Tone** tab3)
{
    extract_contours_fast(in, tab3, StripeOptions{});
}

template <typename Tone>
void trace_levels_fast(const ExtractionInput& in, Tone** tab3)
{
    if (in.nb_lig1 <= 0 || in.nb_col1 <= 0) return;
    const SortedLevels levels = sort_traced_levels(in.levels);
    const std::unique_ptr<TraceStage<Tone>> trace = make_trace_stage<Tone>(levels, in.nb_lig1, in.nb_col1, 0);
    for (int32_t k = 0; k < in.nb_lig1; ++k) {
        trace->push(AltitudeRow(in.dtab1[k], static_cast<size_t>(in.nb_col1)));
        while (trace->next_row() < in.nb_lig1 && trace->trace_next(tab3[trace->next_row()])) {
        }
    }
}

template <typename Tone>
void clean_contours_fast(Tone** tab3, int32_t nb_lig1, int32_t nb_col1, int first_GT, int num_CL)
{
    if (nb_lig1 <= 0 || nb_col1 <= 0) return;
    using Stage = CleaningStage<Tone>;
    const HandledTones<Tone> tones = handled_tones<Tone>(first_GT, num_CL);
    typename Stage::Scratch scratch;
    Stage spurs(CleaningPass::spurs, tones, nb_lig1, nb_col1, 0, scratch);
    Stage corners(CleaningPass::corners, tones, nb_lig1, nb_col1, 0, scratch);
    Stage isolated(CleaningPass::isolated_pixels, tones, nb_lig1, nb_col1, 0, scratch);
    // A row goes back into tab3 only once all three passes are past it, and
    // every pass keeps its own copies of the rows it still needs.
    const auto write_back = [&](int32_t i, const Tone* row) {
        std::memcpy(tab3[i], row, static_cast<size_t>(nb_col1) * sizeof(Tone));
    };
    for (int32_t k = 0; k < nb_lig1; ++k)
        spurs.push(k, tab3[k], [&](int32_t a, const Tone* spurred) {
            corners.push(a, spurred, [&](int32_t b, const Tone* cornered) {
                isolated.push(b, cornered, write_back);
            });
        });
}

template StripeStats extract_contours_fast(const ExtractionInput&, uint8_t**, const StripeOptions&);
template StripeStats extract_contours_fast(const ExtractionInput&, uint16_t**, const StripeOptions&);
template void extract_contours_fast(const ExtractionInput&, uint8_t**);
template void extract_contours_fast(const ExtractionInput&, uint16_t**);
template void trace_levels_fast(const ExtractionInput&, uint8_t**);
template void trace_levels_fast(const ExtractionInput&, uint16_t**);
template void clean_contours_fast(uint8_t**, int32_t, int32_t, int, int);
template void clean_contours_fast(uint16_t**, int32_t, int32_t, int, int);
