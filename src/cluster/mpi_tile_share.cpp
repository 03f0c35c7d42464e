#include "cluster/mpi_tile_share.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "cluster/mpi_links.h"
#include "cluster/mpi_tags.h"
#include "cluster/polite_waits.h"
#include "contours/band_links.h"
#include "contours/stripe_options.h"

namespace {

// What leads the rows of a message.
struct TileRowsHeader {
    uint32_t level;
    int32_t first;
    int32_t count;
    uint64_t width;
};

// Messages on their way at most, as for the rows sent to the first process.
constexpr size_t most_sending = 8;

}  // namespace

struct MpiTileShare::Receiving {
    std::mutex lock;
    RowsTaker take;  // empty once dropped
    std::exception_ptr failure;
    std::mutex space_lock;
    uint64_t free = 0;  // on the first process: the file's first free byte

    void take_rows(const TileRowsHeader& header, const unsigned char* rows)
    {
        // Under the lock, so that drop_rows() returns once no taker runs.
        const std::lock_guard<std::mutex> hold(lock);
        if (!take) return;
        try {
            take(header.level, header.first, header.count, header.width, rows);
        } catch (...) {
            failure = std::current_exception();
            take = nullptr;
        }
    }
    uint64_t reserve(uint64_t bytes)
    {
        const std::lock_guard<std::mutex> hold(space_lock);
        const uint64_t place = free + free % 2;  // TIFF offsets are even
        free = place + bytes;
        return place;
    }
};

MpiTileShare::MpiTileShare(int32_t image_rows) : receiving_(std::make_shared<Receiving>())
{
    MPI_Comm_dup(MPI_COMM_WORLD, &requests_);
    MPI_Comm_dup(MPI_COMM_WORLD, &answers_);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
    for (int k = 0; k < size_; ++k) band_ends_.push_back(band_rows(image_rows, k, size_, StripeOptions{}.lead_rows).end);
    for (int k = 0; k < size_; ++k) outboxes_.push_back(std::make_unique<Outbox>());
}

MpiTileShare::~MpiTileShare()
{
    for (auto& outbox : outboxes_) {
        const std::lock_guard<std::mutex> hold(outbox->lock);
        outbox->complete_sends(0);
    }
    if (receiver_.joinable()) {
        drop_rows();
        receiver_.detach();
    }
    MPI_Comm_free(&answers_);
    MPI_Comm_free(&requests_);
}

int MpiTileShare::owner_of_row(int64_t image_row) const
{
    const auto band = std::upper_bound(band_ends_.begin(), band_ends_.end(), image_row);
    return band == band_ends_.end() ? size_ - 1 : static_cast<int>(band - band_ends_.begin());
}

void MpiTileShare::Outbox::complete_sends(size_t most)
{
    while (sending.size() > most) {
        wait_politely(sending.front().request);
        sending.pop_front();
    }
}

void MpiTileShare::send_rows(int to, uint32_t level, int32_t first, int32_t count, size_t width,
                             const unsigned char* rows)
{
    // A message's length is an int: rows of a very wide image go a few at a
    // time.
    const auto most_rows = static_cast<int32_t>(std::max<size_t>(1, (size_t{1} << 30) / std::max<size_t>(width, 1)));
    for (int32_t k = 0; k < count; k += most_rows)
        send_message(to, level, first + k, std::min(most_rows, count - k), width, rows + static_cast<size_t>(k) * width);
}

void MpiTileShare::send_message(int to, uint32_t level, int32_t first, int32_t count, size_t width,
                                const unsigned char* rows)
{
    const TileRowsHeader header{level, first, count, width};
    std::vector<unsigned char> message(sizeof header + width * static_cast<size_t>(count));
    std::memcpy(message.data(), &header, sizeof header);
    std::memcpy(message.data() + sizeof header, rows, width * static_cast<size_t>(count));
    Outbox& outbox = *outboxes_[static_cast<size_t>(to)];
    const std::lock_guard<std::mutex> hold(outbox.lock);
    outbox.complete_sends(most_sending - 1);
    Sending& sending = outbox.sending.emplace_back();
    sending.message = std::move(message);
    outbox.since_settle = true;
    MPI_Isend(sending.message.data(), static_cast<int>(sending.message.size()), MPI_BYTE, to, mpi_tag::tile_rows,
              requests_, &sending.request);
}

void MpiTileShare::receive(MPI_Comm requests, MPI_Comm answers, int others, Receiving& into)
{
    while (others > 0) {
        MPI_Status status;
        const std::vector<unsigned char> message = receive_message(requests, MPI_ANY_SOURCE, MPI_ANY_TAG, status);
        if (status.MPI_TAG == mpi_tag::tile_rows && message.size() >= sizeof(TileRowsHeader)) {
            TileRowsHeader header{};
            std::memcpy(&header, message.data(), sizeof header);
            if (header.count < 0 || message.size() != sizeof header + header.width * static_cast<uint64_t>(header.count))
                throw std::logic_error("a message of tile rows of the wrong length");
            into.take_rows(header, message.data() + sizeof header);
        } else if (status.MPI_TAG == mpi_tag::flush) {
            // Messages from one process arrive in the order it sent them.
            MPI_Send(nullptr, 0, MPI_BYTE, status.MPI_SOURCE, mpi_tag::flushed, answers);
        } else if (status.MPI_TAG == mpi_tag::reserve && message.size() == sizeof(uint64_t)) {
            uint64_t bytes = 0;
            std::memcpy(&bytes, message.data(), sizeof bytes);
            const uint64_t place = into.reserve(bytes);
            MPI_Send(&place, 1, MPI_UINT64_T, status.MPI_SOURCE, mpi_tag::reserved, answers);
        } else if (status.MPI_TAG == mpi_tag::done) {
            --others;
        } else {
            throw std::logic_error("a message of tiles of an unknown kind");
        }
    }
}

void MpiTileShare::start_taking(RowsTaker take)
{
    receiving_->take = std::move(take);
    receiver_ = std::thread([requests = requests_, answers = answers_, others = size_ - 1, into = receiving_] {
        try {
            receive(requests, answers, others, *into);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(into->lock);
            into->failure = std::current_exception();
            into->take = nullptr;
        }
    });
}

void MpiTileShare::settle()
{
    const std::lock_guard<std::mutex> one_question(settling_lock_);
    for (int to = 0; to < size_; ++to) {
        Outbox& outbox = *outboxes_[static_cast<size_t>(to)];
        {
            const std::lock_guard<std::mutex> hold(outbox.lock);
            outbox.complete_sends(0);
            if (!outbox.since_settle) continue;
            outbox.since_settle = false;
        }
        MPI_Send(nullptr, 0, MPI_BYTE, to, mpi_tag::flush, requests_);
        MPI_Status status;
        receive_message(answers_, to, mpi_tag::flushed, status);
    }
}

void MpiTileShare::wait_for_all()
{
    MPI_Request request;
    MPI_Ibarrier(answers_, &request);
    wait_politely(request);
}

void MpiTileShare::drop_rows()
{
    const std::lock_guard<std::mutex> hold(receiving_->lock);
    receiving_->take = nullptr;
}

void MpiTileShare::stop_taking()
{
    for (int to = 0; to < size_; ++to) {
        Outbox& outbox = *outboxes_[static_cast<size_t>(to)];
        const std::lock_guard<std::mutex> hold(outbox.lock);
        outbox.complete_sends(0);
        if (to != rank_) MPI_Send(nullptr, 0, MPI_BYTE, to, mpi_tag::done, requests_);
    }
    if (receiver_.joinable()) receiver_.join();
    const std::lock_guard<std::mutex> hold(receiving_->lock);
    if (receiving_->failure) std::rethrow_exception(receiving_->failure);
}

void MpiTileShare::set_free_space(uint64_t start)
{
    const std::lock_guard<std::mutex> hold(receiving_->space_lock);
    receiving_->free = start;
}

uint64_t MpiTileShare::reserve(uint64_t bytes)
{
    if (rank_ == 0) return receiving_->reserve(bytes);
    const std::lock_guard<std::mutex> one_question(reserving_lock_);
    MPI_Send(&bytes, 1, MPI_UINT64_T, 0, mpi_tag::reserve, requests_);
    MPI_Status status;
    const std::vector<unsigned char> answer = receive_message(answers_, 0, mpi_tag::reserved, status);
    uint64_t place = 0;
    if (answer.size() != sizeof place) throw std::logic_error("an answer to a reservation of the wrong length");
    std::memcpy(&place, answer.data(), sizeof place);
    return place;
}

void MpiTileShare::largest_onto_first(std::vector<uint64_t>& values)
{
    MPI_Request request;
    MPI_Ireduce(rank_ == 0 ? MPI_IN_PLACE : values.data(), values.data(), static_cast<int>(values.size()),
                MPI_UINT64_T, MPI_MAX, 0, answers_, &request);
    wait_politely(request);
}
