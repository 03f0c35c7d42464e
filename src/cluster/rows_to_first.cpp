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

void RowsToFirst::write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows)
{
    const RowsHeader header{first, count, width};
    std::vector<unsigned char> message(sizeof header + width * static_cast<size_t>(count));
    std::memcpy(message.data(), &header, sizeof header);
    std::memcpy(message.data() + sizeof header, rows, width * static_cast<size_t>(count));
    MPI_Request sent;
    MPI_Isend(message.data(), static_cast<int>(message.size()), MPI_BYTE, 0, mpi_tag::rows, rows_, &sent);
    wait_politely(sent);
}

void RowsToFirst::settle()
{
    // Messages from one process arrive in the order they were sent: the
    // answer comes once the rows before the question are written.
    MPI_Send(nullptr, 0, MPI_BYTE, 0, mpi_tag::flush, rows_);
    MPI_Status status;
    receive_message(rows_, 0, mpi_tag::flushed, status);
}

void RowsToFirst::finish() { MPI_Send(nullptr, 0, MPI_BYTE, 0, mpi_tag::done, rows_); }

void receive_rows(MPI_Comm rows, int others, ResultRowSink& result)
{
    while (others > 0) {
        MPI_Status status;
        const std::vector<unsigned char> message = receive_message(rows, MPI_ANY_SOURCE, MPI_ANY_TAG, status);
        if (status.MPI_TAG == mpi_tag::rows && message.size() >= sizeof(RowsHeader)) {
            RowsHeader header{};
            std::memcpy(&header, message.data(), sizeof header);
            if (header.count < 0 || message.size() != sizeof header + header.width * static_cast<uint64_t>(header.count))
                throw std::logic_error("a message of rows of the wrong length");
            result.write_rows(header.first, header.count, header.width, message.data() + sizeof header);
        } else if (status.MPI_TAG == mpi_tag::flush) {
            MPI_Send(nullptr, 0, MPI_BYTE, status.MPI_SOURCE, mpi_tag::flushed, rows);
        } else if (status.MPI_TAG == mpi_tag::done) {
            --others;
        }
    }
}
