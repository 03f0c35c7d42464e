// The refusal of model sizes a run (rows streamed) or a whole grid cannot
// hold, before anything is allocated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "input/model_size.h"
#include "platform/memory_limits.h"
#include "reference/whole_grid_readers.h"
#include "shared/run_error.h"

namespace {

TEST(CheckModelSize, RefusesEmptyNegativeAndOverlongSizesNamingTheFile)
{
    const std::string path = "images/dev/x_m4.raw";
    for (const auto check : {check_model_size, check_grid_size}) {
        const auto message = [&](int64_t l, int64_t c) {
            try {
                check(l, c, path);
            } catch (const RunError& e) {
                return std::string(e.what());
            }
            return std::string("(accepted)");
        };
        EXPECT_EQ(message(0, 12), "images/dev/x_m4.raw: the model size 0 lines x 12 columns is empty");
        EXPECT_EQ(message(7, 0), "images/dev/x_m4.raw: the model size 7 lines x 0 columns is empty");
        EXPECT_EQ(message(7, -1), "images/dev/x_m4.raw: the model size 7 lines x -1 columns is negative");
        EXPECT_EQ(message(int64_t{INT32_MAX} + 1, 1),
                  "images/dev/x_m4.raw: the model size 2147483648 lines x 1 columns is too large "
                  "(at most 2147483647 lines and columns)");
        EXPECT_EQ(message(1, 1), "(accepted)");
        EXPECT_EQ(message(5000, 4000), "(accepted)");
    }
    // Held whole, 2^62 cells times 9 bytes does not fit 64 bits.
    try {
        check_grid_size(INT32_MAX, INT32_MAX, path);
        ADD_FAILURE() << "2^62 cells were accepted as a grid";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("more bytes of memory than can be counted"), std::string::npos);
    }
}

TEST(CheckModelSize, AGridIsRefusedBeyondTheMemoryAvailableAtNineBytesPerCell)
{
    const MemoryLimit available = memory_available();
    ASSERT_LT(available.bytes, UINT64_MAX);  // physical memory at least is known
    const int64_t lines = INT32_MAX;
    const int64_t columns = static_cast<int64_t>(available.bytes / 9 / uint64_t(lines)) + 1;  // just beyond
    ASSERT_LE(columns, INT32_MAX);
    try {
        check_grid_size(lines, columns, "big.asc");
        FAIL() << "a model of " << lines * columns * 9 << " bytes was accepted with " << available.bytes << " bytes";
    } catch (const RunError& e) {
        const std::string m = e.what();
        EXPECT_EQ(m.rfind("big.asc: the model size 2147483647 lines x " + std::to_string(columns) + " columns", 0), 0u)
            << m;
        EXPECT_NE(m.find(std::to_string(lines * columns * 9) + " bytes"), std::string::npos) << m;
        EXPECT_NE(m.find(std::to_string(available.bytes) + " bytes of " + available.what), std::string::npos) << m;
    }
    // A model needing a ninth of the memory available, in cells of 9 bytes, fits.
    EXPECT_NO_THROW(check_grid_size(1, static_cast<int64_t>(std::min<uint64_t>(available.bytes / 81, INT32_MAX)),
                                    "ok.asc"));
}

// A run streams the rows: any number of rows fits, and only a width whose
// rows do not fit the memory available is refused.
TEST(CheckModelSize, ARunIsRefusedOnlyForAWidthBeyondTheMemoryAvailable)
{
    const MemoryLimit available = memory_available();
    ASSERT_LT(available.bytes, UINT64_MAX);
    const uint64_t per_column = run_memory_needed(2) - run_memory_needed(1);
    const uint64_t fixed = run_memory_needed(1) - per_column;
    ASSERT_GT(per_column, 0u);
    EXPECT_LT(run_memory_needed(30000), uint64_t{256} << 20) << "a 30000-column run fits in 256 MiB";
    EXPECT_LT(run_memory_needed(600000), uint64_t{200} << 20) << "so does a 600000-column run";

    EXPECT_NO_THROW(check_model_size(INT32_MAX, 30000, "long.asc"));
    const int64_t beyond = static_cast<int64_t>((available.bytes - fixed) / per_column) + 1;
    if (beyond > INT32_MAX) GTEST_SKIP() << "no width of at most 2^31 - 1 columns exceeds the memory available";
    EXPECT_NO_THROW(check_model_size(1, beyond - 1, "wide.asc"));
    try {
        check_model_size(1, beyond, "wide.asc");
        FAIL() << beyond << " columns accepted";
    } catch (const RunError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("a run on " + std::to_string(beyond) + " columns needs " +
                         std::to_string(run_memory_needed(beyond)) + " bytes"),
                  std::string::npos)
            << m;
        EXPECT_NE(m.find(std::to_string(available.bytes) + " bytes of " + available.what), std::string::npos) << m;
    }
}

}  // namespace
