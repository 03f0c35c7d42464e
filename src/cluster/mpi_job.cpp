// The processes of an MPI job as the group of one run: band k traced by rank
// k, the seams handed down in messages, the results held by rank 0 (a
// GeoTIFF's tiles written by the rank that owns them).
#include "cluster/mpi_job.h"

#include <mpi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

#include "cluster/mpi_links.h"
#include "cluster/mpi_tile_share.h"
#include "cluster/polite_waits.h"
#include "cluster/rows_to_first.h"
#include "contours/stripes.h"
#include "platform/platform.h"
#include "results/run_lock.h"
#include "run/failure.h"
#include "run/model.h"

namespace {

// Whether a launcher started this process as one of a job: each sets its
// own variables (Open MPI's mpirun, a PMI or PMIx server such as Slurm's).
bool started_as_job_process()
{
    for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
        if (std::getenv(name) != nullptr) return true;
    return false;
}

// The rank the launcher gave this process, or -1.
long rank_from_launcher()
{
    for (const char* name : {"OMPI_COMM_WORLD_RANK", "PMIX_RANK", "PMI_RANK"})
        if (const char* value = std::getenv(name); value != nullptr) return std::strtol(value, nullptr, 10);
    return -1;
}

class MpiGroup final : public RunGroup {
public:
    MpiGroup()
    {
        MPI_Comm_dup(MPI_COMM_WORLD, &seams_);
        MPI_Comm_dup(MPI_COMM_WORLD, &rows_);
        MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
        MPI_Comm_size(MPI_COMM_WORLD, &size_);
        MPI_Comm machine;
        MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &machine);
        MPI_Comm_size(machine, &on_this_machine_);
        MPI_Comm_free(&machine);
    }
    ~MpiGroup() override
    {
        MPI_Comm_free(&rows_);
        MPI_Comm_free(&seams_);
    }
    MpiGroup(const MpiGroup&) = delete;
    MpiGroup& operator=(const MpiGroup&) = delete;

    int rank() const override { return rank_; }
    int size() const override { return size_; }

    // The cores mpirun bound this process to (by default one core per
    // process for up to two processes), else an even share of the machine's.
    unsigned threads_per_process() const override
    {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        const unsigned bound = platform::cores_of_this_process();
        if (bound > 0 && bound < cores) return bound;
        return std::max(1u, cores / static_cast<unsigned>(std::max(on_this_machine_, 1)));
    }

    std::string from_first(const std::string& text) override
    {
        auto size = static_cast<uint64_t>(text.size());
        MPI_Request request;
        MPI_Ibcast(&size, 1, MPI_UINT64_T, 0, seams_, &request);
        wait_politely(request);
        std::string shared = rank_ == 0 ? text : std::string(size, '\0');
        MPI_Ibcast(shared.data(), static_cast<int>(size), MPI_CHAR, 0, seams_, &request);
        wait_politely(request);
        return shared;
    }

    RowsRange merged(const RowsRange& band) override
    {
        std::vector<RowsRange> bands(static_cast<size_t>(size_));
        MPI_Request request;
        MPI_Iallgather(&band, sizeof band, MPI_BYTE, bands.data(), sizeof band, MPI_BYTE, seams_, &request);
        wait_politely(request);
        RowsRange all;
        for (const RowsRange& each : bands) all.merge(each);
        return all;
    }

    TileShare& tile_share(int32_t image_rows) override
    {
        if (!tiles_) tiles_ = std::make_unique<MpiTileShare>(image_rows);
        return *tiles_;
    }

    void extract(const PreparedPlan& plan, const Model& model, const StripeOptions& options, ResultRowSink& result,
                 bool rows_to_first) override
    {
        if (rows_to_first && rank_ > 0) {
            RowsToFirst to_first(rows_);
            extract_band(plan, model, options, to_first);
            to_first.finish();
        } else if (rows_to_first) {
            // The rows of the others come in while this process traces.
            RowsReceiver others(rows_, size_ - 1, result);
            extract_band(plan, model, options, result);
            others.finish();
        } else {
            extract_band(plan, model, options, result);
        }
        MPI_Request request;
        MPI_Ibarrier(seams_, &request);
        wait_politely(request);
    }

private:
    void extract_band(const PreparedPlan& plan, const Model& model, const StripeOptions& options,
                      ResultRowSink& rows)
    {
        MpiLinks links(seams_, rows);
        extract_band_in_stripes(plan, model.rows, model.columns, *model.altitudes, rows, options, links);
        rows.settle();
    }

    MPI_Comm seams_ = MPI_COMM_NULL;
    MPI_Comm rows_ = MPI_COMM_NULL;
    int rank_ = 0;
    int size_ = 1;
    int on_this_machine_ = 1;
    std::unique_ptr<MpiTileShare> tiles_;
};

}  // namespace

bool later_process_of_job() { return started_as_job_process() && rank_from_launcher() > 0; }

int run_in_mpi_job(int& argc, char**& argv, const std::function<int(RunGroup*)>& body)
{
    if (!started_as_job_process()) return body(nullptr);
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_MULTIPLE, &provided);
    if (provided < MPI_THREAD_MULTIPLE) {
        report_failure("", "this MPI library does not let several threads of a process exchange messages");
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
    int status = 0;
    {
        MpiGroup group;
        status = body(&group);
        // The lock of the result folder goes now, as at a normal end: neither
        // MPI_Abort nor an mpirun that kills a process stuck in MPI_Finalize
        // (as it does once it was told to stop) leaves the process one.
        release_run_locks();
        // A process that failed leaves the others waiting for it. Its results
        // are gone already.
        if (status != 0 && group.size() > 1) MPI_Abort(MPI_COMM_WORLD, status);
    }
    MPI_Finalize();
    return status;
}
