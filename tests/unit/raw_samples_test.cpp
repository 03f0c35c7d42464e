// The conversion of raw samples to meters, in extended precision.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "input/raw_samples.h"

namespace {

TEST(ConvertToMeters, MultipliesByTheNearestDoubleInExtendedPrecision)
{
    double row[] = {3, 35, 9, 65535, -1};
    convert_row_to_meters(row, 1, 1);
    EXPECT_EQ(row[0], 0.30000000000000004);
    convert_row_to_meters(row, 1, 0);
    EXPECT_EQ(row[0], 0.30000000000000004);  // meters are kept

    double cm[] = {35};
    double mm[] = {9};
    convert_row_to_meters(cm, 1, 2);
    convert_row_to_meters(mm, 1, 3);
    EXPECT_EQ(cm[0], 0.35000000000000003);
    EXPECT_EQ(mm[0], 0.009000000000000001);

    // The other cells of the first row were not touched by the 1-column calls.
    EXPECT_EQ(row[1], 35.0);
    EXPECT_EQ(row[3], 65535.0);
}

TEST(ConvertToMeters, RoundsTheExtendedProductWhereItDiffersFromTheDoubleProduct)
{
    const double factors[] = {0.1, 0.01, 0.001};
    constexpr int32_t count = 100001;
    for (int unit = 1; unit <= 3; ++unit) {
        const double factor = factors[unit - 1];
        std::vector<double> cells(count);
        for (int32_t s = 0; s < count; ++s) cells[s] = s;
        convert_row_to_meters(cells.data(), count, unit);

        int differing = 0;
        for (int32_t s = 0; s < count; ++s) {
            const double extended = static_cast<double>(static_cast<long double>(s) * static_cast<long double>(factor));
            const volatile double plain = static_cast<double>(s) * factor;
            if (extended != plain) ++differing;
            ASSERT_EQ(cells[s], extended) << "sample " << s << " unit " << unit;
        }
        // The check above can tell the two products apart only if they differ somewhere.
        EXPECT_GT(differing, 0) << "unit " << unit;
    }
}

}  // namespace
