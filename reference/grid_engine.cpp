// The row engine on the program's row-pointer grids.
#include "reference/grid_engine.h"

#include <cstring>

#include "contours/row_engine.h"
#include "contours/row_cleaning.h"
#include "contours/trace_sweep.h"

namespace {

// The rows of altitude_grid, read in place.
class GridSource final : public AltitudeSource {
public:
    GridSource(double** altitude_grid, int32_t column_count) : dtab1_(altitude_grid), column_count_(column_count) {}
    AltitudeRow read_row(int32_t i, std::span<double>) const override
    {
        return AltitudeRow(dtab1_[i], static_cast<size_t>(column_count_));
    }

private:
    double** dtab1_;
    int32_t column_count_;
};

// Finished rows copied into result_grid (a row's bytes are its tones in the
// machine's order).
template <typename Tone>
class GridSink final : public ResultRowSink {
public:
    explicit GridSink(Tone** result_grid) : tab3_(result_grid) {}
    void write_row(int32_t i, ToneRow row) override { std::memcpy(tab3_[i], row.data(), row.size()); }

private:
    Tone** tab3_;
};

}  // namespace

template <typename Tone>
StripeStats extract_contours_fast(const ExtractionInput& in, Tone** result_grid, const StripeOptions& options)
{
    const PreparedPlan plan(in.levels, in.first_tone, in.level_count, in.highest, sizeof(Tone) == 2);
    const GridSource source(in.altitude_grid, in.column_count);
    GridSink<Tone> sink(result_grid);
    return extract_in_stripes(plan, in.row_count, in.column_count, source, sink, options);
}

template <typename Tone>
void extract_contours_fast(const ExtractionInput& in, Tone** result_grid)
{
    extract_contours_fast(in, result_grid, StripeOptions{});
}

template <typename Tone>
void trace_levels_fast(const ExtractionInput& in, Tone** result_grid)
{
    if (in.row_count <= 0 || in.column_count <= 0) return;
    const SortedLevels levels = sort_traced_levels(in.levels);
    const std::unique_ptr<TraceStage<Tone>> trace = make_trace_stage<Tone>(levels, in.row_count, in.column_count, 0);
    for (int32_t k = 0; k < in.row_count; ++k) {
        trace->push(AltitudeRow(in.altitude_grid[k], static_cast<size_t>(in.column_count)));
        while (trace->next_row() < in.row_count && trace->trace_next(result_grid[trace->next_row()])) {
        }
    }
}

template <typename Tone>
void clean_contours_fast(Tone** result_grid, int32_t row_count, int32_t column_count, int first_tone, int level_count)
{
    if (row_count <= 0 || column_count <= 0) return;
    using Stage = CleaningStage<Tone>;
    const HandledTones<Tone> tones = handled_tones<Tone>(first_tone, level_count);
    typename Stage::Scratch scratch;
    Stage spurs(CleaningPass::spurs, tones, row_count, column_count, 0, scratch);
    Stage corners(CleaningPass::corners, tones, row_count, column_count, 0, scratch);
    Stage isolated(CleaningPass::isolated_pixels, tones, row_count, column_count, 0, scratch);
    // A row goes back into result_grid only once all three passes are past it, and
    // every pass keeps its own copies of the rows it still needs.
    const auto write_back = [&](int32_t i, const Tone* row) {
        std::memcpy(result_grid[i], row, static_cast<size_t>(column_count) * sizeof(Tone));
    };
    for (int32_t k = 0; k < row_count; ++k)
        spurs.push(k, result_grid[k], [&](int32_t a, const Tone* spurred) {
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
