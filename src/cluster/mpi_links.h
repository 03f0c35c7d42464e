// The links between the bands of a shared run (contours/band_links.h) as MPI
// messages: band k is traced by the process of rank k.
#ifndef CLUSTER_MPI_LINKS_H
#define CLUSTER_MPI_LINKS_H

#include <mpi.h>

#include "contours/band_links.h"
#include "shared/rows.h"

class MpiLinks final : public BandLinks {
public:
    // `rows`: where this process writes its rows; they are made final before
    // its checkpoints go to a holder that may write them again.
    MpiLinks(MPI_Comm seams, ResultRowSink& rows);

    int band() const override { return rank_; }
    int bands() const override { return size_; }
    int32_t wait_for_truth(const std::function<std::optional<StripeCheckpoints>(size_t k)>& describe) override;
    std::optional<StripeCheckpoints> stripe_of(int below, size_t k) override;
    void hand_truth(int below, int32_t stripe) override;

private:
    MPI_Comm seams_;
    ResultRowSink& rows_;
    int rank_ = 0;
    int size_ = 1;
};

// A message of any length from `source` with `tag` (MPI_ANY_SOURCE,
// MPI_ANY_TAG: the next one); `status` says which it was.
std::vector<unsigned char> receive_message(MPI_Comm comm, int source, int tag, MPI_Status& status);

#endif
