// The rows of an image that only the first process of a shared run can write
// (a PNG, one compressed stream): the other processes send
// theirs to it, and it writes them with its own.
#ifndef CLUSTER_ROWS_TO_FIRST_H
#define CLUSTER_ROWS_TO_FIRST_H

#include <mpi.h>

#include <deque>
#include <exception>
#include <memory>
#include <thread>
#include <mutex>
#include <vector>

#include "shared/rows.h"

// A sink of a process other than the first: each batch of rows is one
// message, sent while the engine goes on (a few messages at most on their
// way). settle() returns once the first process has written every row sent
// before it.
class RowsToFirst final : public ResultRowSink {
public:
    explicit RowsToFirst(MPI_Comm rows) : rows_(rows) {}
    ~RowsToFirst();
    void write_row(int32_t i, ToneRow row) override { write_rows(i, 1, row.size(), row.data()); }
    void write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows) override;
    void settle() override;

    // No more rows come from this process.
    void finish();

private:
    struct Sending {
        std::vector<unsigned char> message;
        MPI_Request request = MPI_REQUEST_NULL;
    };
    // Completes the oldest sends while more than `most` are on their way.
    void complete_sends(size_t most);

    MPI_Comm rows_;
    std::mutex sending_lock_;
    std::deque<Sending> sending_;
};

// On the first process: a thread that writes the rows the `others` processes
// send into `result` until each has finished, answering their settle() on
// the way. A write that fails closes it: later rows are taken and dropped, so
// that no process waits on this one while the run ends.
class RowsReceiver {
public:
    RowsReceiver(MPI_Comm rows, int others, ResultRowSink& result);
    // Closes the receiver if it still runs: its thread, left to end with the
    // job, no longer touches `result`.
    ~RowsReceiver();
    RowsReceiver(const RowsReceiver&) = delete;
    RowsReceiver& operator=(const RowsReceiver&) = delete;

    // Waits until every other process has finished; throws the first failure
    // to write their rows.
    void finish();

private:
    struct Shared;  // what the thread shares with this, for as long as either needs it
    static void receive(MPI_Comm rows, int others, Shared& into);
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

#endif
