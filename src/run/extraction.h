// How a run traces the rows of its model into its result image.
#ifndef RUN_EXTRACTION_H
#define RUN_EXTRACTION_H

#include <functional>
#include <vector>

#include "shared/levels.h"
#include "shared/rows.h"
#include "run/model.h"
#include "run/plan.h"

// An engine that traces the levels of the plan over the model's rows into
// `result`. The program's is the row engine in stripes on every core; the
// reference build hands the pass-by-pass engine, which gives the same bytes.
using ExtractionEngine =
    std::function<void(const Model& model, const std::vector<Level>& levels, const Plan& plan, ResultRowSink& result)>;

// The row engine in stripes on every core, within the run's memory bound and
// the memory available: the rows stream from the model to the result.
void extract_on_every_core(const Model& model, const std::vector<Level>& levels, const Plan& plan,
                           ResultRowSink& result);

#endif
