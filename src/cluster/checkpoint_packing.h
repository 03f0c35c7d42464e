// The checkpoints of a band's stripes as the bytes of one message, and back.
#ifndef CLUSTER_CHECKPOINT_PACKING_H
#define CLUSTER_CHECKPOINT_PACKING_H

#include <vector>

#include "contours/band_links.h"

std::vector<unsigned char> pack_checkpoints(const std::vector<StripeCheckpoints>& stripes);

// Bytes that pack_checkpoints did not give end in std::runtime_error.
std::vector<StripeCheckpoints> unpack_checkpoints(const std::vector<unsigned char>& bytes);

#endif
