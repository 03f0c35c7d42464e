// How a run traces the rows of its model into its result image.
#ifndef RUN_EXTRACTION_H
#define RUN_EXTRACTION_H

#include <functional>
#include <vector>

#include "contours/stripe_options.h"
#include "input/row_source.h"
#include "shared/levels.h"
#include "shared/rows.h"
#include "run/model.h"
#include "run/plan.h"
#include "run/run_group.h"

// An engine that traces the levels of the plan over the model's rows into
// `result`. The program's is the row engine in stripes on every core; the
// reference build hands the pass-by-pass engine, which gives the same bytes.
using ExtractionEngine =
    std::function<void(const Model& model, const std::vector<Level>& levels, const Plan& plan, ResultRowSink& result)>;

// The stripes of the row engine over `altitudes` on every core: as many as
// the run's memory bound holds besides the model's rows and the result's
// (`result_bytes`), and the memory `available` holds besides a library's
// cache (GDAL's blocks of the model, its own share).
StripeOptions stripes_for(const RowSource& altitudes, int32_t traced_levels, int tone_bytes, uint64_t result_bytes,
                          uint64_t available);

// The row engine in stripes on every core, within the run's memory bound and
// the memory available: the rows stream from the model to the result.
void extract_on_every_core(const Model& model, const std::vector<Level>& levels, const Plan& plan,
                           ResultRowSink& result);

// The same shared by the processes of `group`, each tracing its band (see
// RunGroup::extract). A range measured as the rows are read is measured band
// by band, and known to every process once the bands are traced.
ExtractionEngine shared_extraction(RunGroup& group, bool rows_to_first);

#endif
