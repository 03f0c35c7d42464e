// The processes that share one command-line run (the ranks of an MPI job),
// as the run sees them. Each traces a band of the model's rows on its own
// cores; the first (rank 0) alone reports, holds the result set and commits
// it, once every process has made its rows final. A run on its own has no
// group.
#ifndef RUN_RUN_GROUP_H
#define RUN_RUN_GROUP_H

#include <string>

#include "contours/prepared_plan.h"
#include "gdal/tile_share.h"
#include "contours/stripe_options.h"
#include "input/rows_range.h"
#include "shared/rows.h"

struct Model;

class RunGroup {
public:
    virtual ~RunGroup() = default;

    virtual int rank() const = 0;
    virtual int size() const = 0;

    // The threads each process traces on when the run is not told: its share
    // of the cores of its machine.
    virtual unsigned threads_per_process() const = 0;

    // `text` as the first process gives it, on every process.
    virtual std::string from_first(const std::string& text) = 0;

    // The range of every band: each process's own (`band`), merged.
    virtual RowsRange merged(const RowsRange& band) = 0;

    // How the processes write one GeoTIFF of `image_rows` rows together, for
    // as long as the group lives.
    virtual TileShare& tile_share(int32_t image_rows) = 0;

    // This process's band of the extraction (contours/band_links.h), its
    // rows into `result`; with `rows_to_first`, the rows of every process go
    // to the first one's `result` instead (a PNG, which only one process can
    // write). Returns once every process has made its rows final.
    virtual void extract(const PreparedPlan& plan, const Model& model, const StripeOptions& options,
                         ResultRowSink& result, bool rows_to_first) = 0;
};

#endif
