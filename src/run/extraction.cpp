#include "run/extraction.h"

#include <algorithm>
#include <limits>

#include "contours/engine_memory.h"
#include "contours/stripes.h"
#include "input/measuring_row_source.h"
#include "platform/memory_limits.h"
#include "shared/run_in_parallel.h"

StripeOptions stripes_for(const RowSource& altitudes, int32_t traced_levels, int tone_bytes, uint64_t result_bytes,
                          uint64_t available)
{
    const unsigned threads = std::min(engine_threads(), altitudes.max_readers());
    // GDAL's cache is its own share of the memory, outside the run's bound,
    // but what the engine may take is what it leaves.
    const uint64_t library = std::min(altitudes.library_bytes(threads), available);
    return stripes_within(altitudes.column_count(), traced_levels, tone_bytes, threads,
                          altitudes.bytes_held(threads) + result_bytes, available - library);
}

namespace {

// The plan of the extraction, and its stripes within the run's memory.
struct PreparedExtraction {
    PreparedPlan plan;
    StripeOptions options;
};

PreparedExtraction prepare(const Model& model, const std::vector<Level>& levels, const Plan& plan,
                           const ResultRowSink& result)
{
    const int tone_bytes = tone_bytes_for(plan.level_count);
    // The highest altitude matters only where a level lies on it; before a
    // range measured by this very tracing is known, none does.
    const double highest = model.altitudes->range_known() ? model.altitudes->range().highest
                                                           : std::numeric_limits<double>::quiet_NaN();
    PreparedPlan prepared(&levels, plan.first_tone, plan.level_count, highest, tone_bytes == 2);
    const StripeOptions options =
        stripes_for(*model.altitudes, prepared.sorted.count, tone_bytes, result.bytes_held(), memory_available().bytes);
    return {std::move(prepared), options};
}

}  // namespace

void extract_on_every_core(const Model& model, const std::vector<Level>& levels, const Plan& plan,
                           ResultRowSink& result)
{
    const PreparedExtraction prepared = prepare(model, levels, plan, result);
    extract_in_stripes(prepared.plan, model.rows, model.columns, *model.altitudes, result, prepared.options);
}

ExtractionEngine shared_extraction(RunGroup& group, bool rows_to_first)
{
    return [&group, rows_to_first](const Model& model, const std::vector<Level>& levels, const Plan& plan,
                                   ResultRowSink& result) {
        const PreparedExtraction prepared = prepare(model, levels, plan, result);
        // A range measured as the rows are traced: each process measures its
        // band, and all take the bands' ranks merged.
        const auto* measuring = dynamic_cast<const MeasuringRowSource*>(model.altitudes.get());
        if (measuring != nullptr && measuring->range_known()) measuring = nullptr;
        if (measuring != nullptr) {
            const BandRows band = band_rows(model.rows, group.rank(), group.size(), prepared.options.lead_rows);
            measuring->count_only(band.first, band.end);
        }
        group.extract(prepared.plan, model, prepared.options, result, rows_to_first);
        if (measuring != nullptr) measuring->take_range(group.merged(measuring->counted()));
    };
}
