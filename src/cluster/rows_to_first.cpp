#include "cluster/rows_to_first.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "cluster/mpi_links.h"
#include "cluster/mpi_tags.h"
#include "cluster/polite_waits.h"

namespace {

// What leads the rows of a message.
struct RowsHeader {
    int32_t first;
    int32_t count;
    uint64_t width;
};

}  // namespace

// Messages on their way at most: enough to go on tracing while the first
// process takes them, few enough to hold little (a batch is about 256 KiB).
constexpr size_t most_sending = 8;

RowsToFirst::~RowsToFirst() { complete_sends(0); }

void RowsToFirst::complete_sends(size_t most)
{
    // Under sending_lock_.
    while (sending_.size() > most) {
        wait_politely(sending_.front().request);
        sending_.pop_front();
    }
}

void RowsToFirst::write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows)
{
    const RowsHeader header{first, count, width};
    std::vector<unsigned char> message(sizeof header + width * static_cast<size_t>(count));
    std::memcpy(message.data(), &header, sizeof header);
    std::memcpy(message.data() + sizeof header, rows, width * static_cast<size_t>(count));
    const std::lock_guard<std::mutex> hold(sending_lock_);
    complete_sends(most_sending - 1);
    Sending& sending = sending_.emplace_back();
    sending.message = std::move(message);
    MPI_Isend(sending.message.data(), static_cast<int>(sending.message.size()), MPI_BYTE, 0, mpi_tag::rows, rows_,
              &sending.request);
}

void RowsToFirst::settle()
{
    {
        const std::lock_guard<std::mutex> hold(sending_lock_);
        complete_sends(0);
    }
    // Messages from one process arrive in the order they were sent: the
    // answer comes once the rows before the question are written.
    MPI_Send(nullptr, 0, MPI_BYTE, 0, mpi_tag::flush, rows_);
    MPI_Status status;
    receive_message(rows_, 0, mpi_tag::flushed, status);
}

void RowsToFirst::finish()
{
    {
        const std::lock_guard<std::mutex> hold(sending_lock_);
        complete_sends(0);
    }
    MPI_Send(nullptr, 0, MPI_BYTE, 0, mpi_tag::done, rows_);
}

struct RowsReceiver::Shared {
    std::mutex lock;
    ResultRowSink* result;  // null once closed
    std::exception_ptr failure;

    void write(const RowsHeader& header, const unsigned char* rows)
    {
        const std::lock_guard<std::mutex> hold(lock);
        if (result == nullptr) return;
        try {
            result->write_rows(header.first, header.count, header.width, rows);
        } catch (...) {
            failure = std::current_exception();
            result = nullptr;
        }
    }
    void close()
    {
        const std::lock_guard<std::mutex> hold(lock);
        result = nullptr;
    }
};

void RowsReceiver::receive(MPI_Comm rows, int others, Shared& into)
{
    while (others > 0) {
        MPI_Status status;
        const std::vector<unsigned char> message = receive_message(rows, MPI_ANY_SOURCE, MPI_ANY_TAG, status);
        if (status.MPI_TAG == mpi_tag::rows && message.size() >= sizeof(RowsHeader)) {
            RowsHeader header{};
            std::memcpy(&header, message.data(), sizeof header);
            if (header.count < 0 || message.size() != sizeof header + header.width * static_cast<uint64_t>(header.count))
                throw std::logic_error("a message of rows of the wrong length");
            into.write(header, message.data() + sizeof header);
        } else if (status.MPI_TAG == mpi_tag::flush) {
            MPI_Send(nullptr, 0, MPI_BYTE, status.MPI_SOURCE, mpi_tag::flushed, rows);
        } else if (status.MPI_TAG == mpi_tag::done) {
            --others;
        }
    }
}

RowsReceiver::RowsReceiver(MPI_Comm rows, int others, ResultRowSink& result)
    : shared_(std::make_shared<Shared>())
{
    shared_->result = &result;
    thread_ = std::thread([rows, others, shared = shared_] {
        try {
            receive(rows, others, *shared);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(shared->lock);
            shared->failure = std::current_exception();
        }
    });
}

RowsReceiver::~RowsReceiver()
{
    if (!thread_.joinable()) return;
    shared_->close();
    thread_.detach();
}

void RowsReceiver::finish()
{
    thread_.join();
    const std::lock_guard<std::mutex> hold(shared_->lock);
    if (shared_->failure) std::rethrow_exception(shared_->failure);
}
