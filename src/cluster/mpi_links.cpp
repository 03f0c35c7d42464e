#include "cluster/mpi_links.h"

#include <cstring>

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

int32_t MpiLinks::wait_for_truth(const std::function<std::optional<StripeCheckpoints>(size_t k)>& describe)
{
    bool settled = false;
    for (;;) {
        MPI_Status status;
        const std::vector<unsigned char> message = receive_message(seams_, MPI_ANY_SOURCE, MPI_ANY_TAG, status);
        if (status.MPI_TAG == mpi_tag::truth && message.size() == sizeof(int32_t)) {
            int32_t stripe = 0;
            std::memcpy(&stripe, message.data(), sizeof stripe);
            return stripe;
        }
        if (status.MPI_TAG == mpi_tag::describe && message.size() == sizeof(uint64_t)) {
            if (!settled) rows_.settle();  // the holder may write them again
            settled = true;
            uint64_t k = 0;
            std::memcpy(&k, message.data(), sizeof k);
            std::vector<StripeCheckpoints> described;
            if (std::optional<StripeCheckpoints> stripe = describe(k)) described.push_back(std::move(*stripe));
            const std::vector<unsigned char> bytes = pack_checkpoints(described);
            MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, status.MPI_SOURCE, mpi_tag::description,
                     seams_);
        }
    }
}

std::optional<StripeCheckpoints> MpiLinks::stripe_of(int below, size_t k)
{
    const auto index = static_cast<uint64_t>(k);
    MPI_Send(&index, sizeof index, MPI_BYTE, below, mpi_tag::describe, seams_);
    MPI_Status status;
    std::vector<StripeCheckpoints> described = unpack_checkpoints(receive_message(seams_, below, mpi_tag::description, status));
    if (described.empty()) return std::nullopt;
    return std::move(described.front());
}

void MpiLinks::hand_truth(int below, int32_t stripe)
{
    MPI_Send(&stripe, sizeof stripe, MPI_BYTE, below, mpi_tag::truth, seams_);
}
