#include "cluster/mpi_links.h"

#include "cluster/checkpoint_packing.h"
#include "cluster/mpi_tags.h"
#include "cluster/polite_waits.h"

std::vector<unsigned char> receive_message(MPI_Comm comm, int source, int tag, MPI_Status& status)
{
    probe_politely(comm, source, tag, status);
    int size = 0;
    MPI_Get_count(&status, MPI_BYTE, &size);
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    MPI_Recv(bytes.data(), size, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, comm, MPI_STATUS_IGNORE);
    return bytes;
}

MpiLinks::MpiLinks(MPI_Comm seams, ResultRowSink& rows) : seams_(seams), rows_(rows)
{
    MPI_Comm_rank(seams_, &rank_);
    MPI_Comm_size(seams_, &size_);
}

int32_t MpiLinks::wait_for_truth(const std::function<std::vector<StripeCheckpoints>()>& describe)
{
    for (;;) {
        MPI_Status status;
        const std::vector<unsigned char> message = receive_message(seams_, MPI_ANY_SOURCE, MPI_ANY_TAG, status);
        if (status.MPI_TAG == mpi_tag::truth && message.size() == sizeof(int32_t)) {
            int32_t stripe = 0;
            std::memcpy(&stripe, message.data(), sizeof stripe);
            return stripe;
        }
        if (status.MPI_TAG == mpi_tag::describe) {
            rows_.settle();  // the holder may write them again
            const std::vector<unsigned char> bytes = pack_checkpoints(describe());
            MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, status.MPI_SOURCE, mpi_tag::description,
                     seams_);
        }
    }
}

std::vector<StripeCheckpoints> MpiLinks::stripes_of(int below)
{
    MPI_Send(nullptr, 0, MPI_BYTE, below, mpi_tag::describe, seams_);
    MPI_Status status;
    return unpack_checkpoints(receive_message(seams_, below, mpi_tag::description, status));
}

void MpiLinks::hand_truth(int below, int32_t stripe)
{
    MPI_Send(&stripe, sizeof stripe, MPI_BYTE, below, mpi_tag::truth, seams_);
}
