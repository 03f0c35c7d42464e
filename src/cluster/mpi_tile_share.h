// The processes of an MPI job writing one GeoTIFF together (gdal/tile_share.h):
// tile rows go to their owners in messages, places in the file are reserved
// from a counter the first process keeps, and the places of every tile are
// gathered onto it at the end.
#ifndef CLUSTER_MPI_TILE_SHARE_H
#define CLUSTER_MPI_TILE_SHARE_H

#include <mpi.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "gdal/tile_share.h"

class MpiTileShare final : public TileShare {
public:
    // Tile rows are owned by the process whose band (band_rows) holds their
    // first row of the image's `image_rows`.
    MpiTileShare(int32_t image_rows);
    // A receiving thread still running (a run that failed) is left to end
    // with the job: it no longer hands rows to anyone.
    ~MpiTileShare() override;
    MpiTileShare(const MpiTileShare&) = delete;
    MpiTileShare& operator=(const MpiTileShare&) = delete;

    int process() const override { return rank_; }
    int owner_of_row(int64_t image_row) const override;
    void send_rows(int to, uint32_t level, int32_t first, int32_t count, size_t width,
                   const unsigned char* rows) override;
    void start_taking(RowsTaker take) override;
    void settle() override;
    void wait_for_all() override;
    void drop_rows() override;
    void stop_taking() override;
    void set_free_space(uint64_t start) override;
    uint64_t reserve(uint64_t bytes) override;
    void largest_onto_first(std::vector<uint64_t>& values) override;

private:
    struct Sending {
        std::vector<unsigned char> message;
        MPI_Request request = MPI_REQUEST_NULL;
    };
    // The messages on their way to one process. Each has its own window:
    // a thread waiting for one process to take its rows holds up no message
    // to another (the receiving threads send overview rows to processes of
    // lower rank only, and the first one's sends none: no wait goes round).
    struct Outbox {
        std::mutex lock;
        std::deque<Sending> sending;
        bool since_settle = false;  // rows sent since the last settle()
        void complete_sends(size_t most);  // under lock
    };
    void send_message(int to, uint32_t level, int32_t first, int32_t count, size_t width, const unsigned char* rows);
    struct Receiving;  // what the receiving thread shares with this
    static void receive(MPI_Comm requests, MPI_Comm answers, int others, Receiving& into);

    // Requests (rows, questions, reservations, ends) go on one communicator,
    // taken by the receiving thread; answers and collectives on another.
    MPI_Comm requests_ = MPI_COMM_NULL;
    MPI_Comm answers_ = MPI_COMM_NULL;
    int rank_ = 0;
    int size_ = 1;
    std::vector<int64_t> band_ends_;  // the first row after each process's band
    std::vector<std::unique_ptr<Outbox>> outboxes_;  // by process
    // One question of each kind on its way from this process at a time.
    std::mutex settling_lock_;
    std::mutex reserving_lock_;
    std::shared_ptr<Receiving> receiving_;
    std::thread receiver_;
};

#endif
