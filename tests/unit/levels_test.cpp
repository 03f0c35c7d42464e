// Level plan arithmetic: the count of levels, the altitudes of the levels and
// the integer altitudes of the gray-tone table.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "shared/levels.h"

namespace {

struct CountCase {
    double lowest_level;
    double interval;
    double highest_level;
    int64_t expected;
};

TEST(CountLevels, WorkedPlans)
{
    const std::vector<CountCase> cases = {
        {1000, 100, 2000, 11},  // 1000, 1100, ..., 2000
        {1000, 100, 2050, 11},  // the part beyond the last whole step is dropped
        {1000, 100, 1050, 1},
        {0, 0.1, 1, 10},        // 1 / (double nearest 0.1) lies just below 10 in extended precision
        {0, 1, 249, 250},       // the largest accepted plan
        {0, 1, 250, 251},       // refused by the dialogue
        {100, 10, 99, 1},       // trunc(-0.1) is 0
        {100, 10, 80, -1},      // trunc(-2) is -2: a plan without levels
        {200, -10, 100, 11},    // falling levels
        {-1e308, 1e306, 1e308, 200},  // a difference beyond a double's range is kept in extended precision
        {1e308, -1e306, -1e308, 200},
    };
    for (const CountCase& c : cases)
        EXPECT_EQ(count_levels(c.lowest_level, c.interval, c.highest_level), c.expected)
            << c.lowest_level << ", " << c.interval << ", " << c.highest_level;
}

TEST(CountLevels, DifferenceIsRoundedThroughExtendedPrecision)
{
    // 1 - (-(2^-53 + 2^-105)) is 1 + 2^-53 + 2^-105 exactly: extended precision
    // keeps 1 + 2^-53, which then rounds to 1.0 as a double (ties to even),
    // whereas a direct double difference would give 1 + 2^-52.
    const double just_over_half_ulp = 0x1.0000000000001p-53;
    const double step = 0x1p-52;
    EXPECT_EQ(count_levels(-just_over_half_ulp, step, 1.0), (int64_t{1} << 52) + 1);
}

TEST(CountLevels, QuotientsBeyondInt64KeepTheirSign)
{
    EXPECT_EQ(count_levels(0, 1e-300, 1e300), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(count_levels(1e300, 1e-300, 0), std::numeric_limits<int64_t>::min());
    // Beyond 32 bits but inside 64 bits the count is exact.
    EXPECT_EQ(count_levels(0, 1, 1e12), int64_t{1000000000001});
}

TEST(CountLevels, ZeroIntervalGivesNoLevels)
{
    EXPECT_EQ(count_levels(0, 0, 100), 0);
    EXPECT_EQ(count_levels(0, -0.0, 0), 0);
}

TEST(LevelSequence, ToneAndAltitudeStepTogether)
{
    const std::vector<Level> levels = level_sequence(1000, 100, 1, 4, 5000);
    ASSERT_EQ(levels.size(), 4u);
    const double altitudes[] = {1000, 1100, 1200, 1300};
    for (size_t k = 0; k < levels.size(); ++k) {
        EXPECT_EQ(levels[k].tone, static_cast<int>(k) + 1);
        EXPECT_EQ(levels[k].altitude, altitudes[k]);
        EXPECT_FALSE(levels[k].top);
    }
}

TEST(LevelSequence, TopLevelShiftsEveryLaterLevelByHalfAnInterval)
{
    const std::vector<Level> levels = level_sequence(100, 100, 0, 7, 500);
    ASSERT_EQ(levels.size(), 7u);
    const double altitudes[] = {100, 200, 300, 400, 500, 550, 650};
    for (size_t k = 0; k < levels.size(); ++k) {
        EXPECT_EQ(levels[k].tone, static_cast<int>(k));
        EXPECT_EQ(levels[k].altitude, altitudes[k]) << "level " << k;
        EXPECT_EQ(levels[k].top, k == 4) << "level " << k;
    }
}

TEST(LevelSequence, FallingPlanStartsAtTheMinimum)
{
    const std::vector<Level> levels = level_sequence(200, -10, 1, 11, 1e9);
    ASSERT_EQ(levels.size(), 11u);
    EXPECT_EQ(levels.front().altitude, 200);
    EXPECT_EQ(levels.back().altitude, 100);
    EXPECT_EQ(levels.back().tone, 11);
}

TEST(LevelSequence, AltitudesComeFromRepeatedAddition)
{
    // Ten additions of the double nearest 0.1 end just below 1.0, whereas
    // 0 + 10 * 0.1 computed at once gives 1.0 exactly.
    const std::vector<Level> levels = level_sequence(0, 0.1, 1, 11, 1e9);
    ASSERT_EQ(levels.size(), 11u);
    EXPECT_EQ(levels[3].altitude, 0.30000000000000004);
    EXPECT_EQ(levels[10].altitude, 0.9999999999999999);
}

TEST(LevelSequence, EachSumIsRoundedThroughExtendedPrecision)
{
    // Starting at 1.0 and adding 2^-53 + 2^-105: the exact sum rounds to
    // 1 + 2^-53 with a 64-bit significand, then to 1.0 as a double, while a
    // plain double sum would give 1 + 2^-52.
    const double step = 0x1.0000000000001p-53;
    const std::vector<Level> levels = level_sequence(1.0, step, 1, 2, 1e9);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0].altitude, 1.0);
    EXPECT_EQ(levels[1].altitude, 1.0);
}

TEST(LevelSequence, NoLevelsBelowOneLevel)
{
    EXPECT_TRUE(level_sequence(0, 1, 1, 0, 10).empty());
    EXPECT_TRUE(level_sequence(0, 1, 1, -1, 10).empty());
}

TEST(LevelSequence, TopAtTheFirstLevelShiftsAllTheOthers)
{
    const std::vector<Level> levels = level_sequence(0, 10, 1, 3, 0);
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_TRUE(levels[0].top);
    EXPECT_EQ(levels[0].altitude, 0);  // recorded before the shift
    EXPECT_EQ(levels[1].altitude, 5);
    EXPECT_FALSE(levels[1].top);
    EXPECT_EQ(levels[2].altitude, 15);
}

TEST(TableAltitude, ProductIsTruncatedWithoutRoundingToDouble)
{
    EXPECT_EQ(table_altitude(12.34, 3), 1233);  // 12.34 is a little below 12.34
    EXPECT_EQ(table_altitude(-12.5, 1), -12);
    EXPECT_EQ(table_altitude(1300, 1), 1300);
    EXPECT_EQ(table_altitude(1234.56, 2), 12345);
    EXPECT_EQ(table_altitude(-0.5, 4), -500);
    EXPECT_EQ(table_altitude(0.999, 1), 0);
}

TEST(TableAltitude, HugeAltitudesSaturate)
{
    EXPECT_EQ(table_altitude(1e30, 4), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(table_altitude(-1e30, 1), std::numeric_limits<int64_t>::min());
}

}  // namespace
