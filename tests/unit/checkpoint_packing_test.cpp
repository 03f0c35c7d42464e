// The checkpoints of a band's stripes, packed into one message for the
// process that repairs them, come back as they were; bytes cut short or
// followed by more are refused rather than read past.
#include <gtest/gtest.h>

#include "cluster/checkpoint_packing.h"

namespace {

bool same(const StripeCheckpoints& a, const StripeCheckpoints& b)
{
    return a.first == b.first && a.end == b.end && a.states_from == b.states_from && a.offsets == b.offsets &&
           a.states == b.states;
}

TEST(CheckpointPacking, StripesComeBackAsTheyWereAndDamagedBytesAreRefused)
{
    EngineState wide;
    wide.last_rows = {40, 39, 38, 37};
    wide.thinned = {1, ~uint64_t{0}, 3};
    wide.cleaned.assign(3 * 7, 255);
    const EngineState empty;  // a stripe's state before it traced a row
    const std::vector<std::vector<StripeCheckpoints>> bands = {
        {},
        {{0, 100, 0, {}, {}}},
        {{128, 300, 67, {0, 1, 2}, {wide, empty, wide}}, {300, 480, 240, {0}, {empty}}},
    };
    for (const std::vector<StripeCheckpoints>& band : bands) {
        const std::vector<unsigned char> bytes = pack_checkpoints(band);
        const std::vector<StripeCheckpoints> back = unpack_checkpoints(bytes);
        ASSERT_EQ(back.size(), band.size());
        for (size_t s = 0; s < band.size(); ++s) EXPECT_TRUE(same(back[s], band[s])) << "stripe " << s;

        for (size_t cut = 0; cut < bytes.size(); ++cut)
            EXPECT_THROW(unpack_checkpoints(std::vector<unsigned char>(bytes.begin(), bytes.begin() + cut)),
                         std::runtime_error)
                << "cut at " << cut << " of " << bytes.size();
        std::vector<unsigned char> longer = bytes;
        longer.push_back(0);
        EXPECT_THROW(unpack_checkpoints(longer), std::runtime_error);
    }
}

}  // namespace
