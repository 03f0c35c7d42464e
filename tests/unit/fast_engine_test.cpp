// The row engine on whole grids against the pass-by-pass engine: on many
// generated models and plans, every byte of the result grid must agree, both
// after the tracing alone and after the whole extraction, in tones of one
// byte and of two.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "contours/stripes.h"
#include "reference/grid_engine.h"
#include "reference/reference_engine.h"
#include "reference/grid.h"
#include "model_builders.h"
#include "reference/whole_grid_readers.h"

namespace {

using namespace test_models;

// The pass-by-pass level loop alone, before cleaning.
template <typename Tone>
void reference_trace(const Model& m, const Plan& p, Tone** result_grid)
{
    Grid<unsigned char> tab1 = make_grid<unsigned char>(m.column_count, m.row_count, "tab1");
    Grid<unsigned char> tab2 = make_grid<unsigned char>(m.column_count, m.row_count, "tab2");
    fill_grid(result_grid, m.row_count, m.column_count, background_of_grid<Tone>);
    for (const Level& level : p.levels) {
        if (level.top) continue;
        fill_grid(tab1.rows(), m.row_count, m.column_count, 255);
        threshold_pass(m.grid.rows(), tab1.rows(), m.row_count, m.column_count, level.altitude);
        fill_grid(tab2.rows(), m.row_count, m.column_count, 255);
        boundary_pass(tab1.rows(), tab2.rows(), m.row_count, m.column_count);
        thinning_pass(tab2.rows(), m.row_count, m.column_count, m.grid.rows());
        tone_transfer(tab2.rows(), result_grid, m.row_count, m.column_count, level.tone);
    }
}

// Runs both engines (the tracing alone, then the whole extraction) in tones
// of type Tone and compares every tone. Returns the number of line cells of
// the result.
template <typename Tone>
int64_t expect_same_result_in(const Model& m, const Plan& p, const std::string& what)
{
    Grid<Tone> expected = make_grid<Tone>(m.column_count, m.row_count, "expected");
    Grid<Tone> actual = make_grid<Tone>(m.column_count, m.row_count, "actual");
    const ExtractionInput in{m.grid.rows(), m.row_count, m.column_count, &p.levels, p.first_tone, p.level_count, p.highest};
    int64_t lines = 0;

    reference_trace(m, p, expected.rows());
    fill_grid(actual.rows(), m.row_count, m.column_count, 77);
    trace_levels_fast(in, actual.rows());
    const std::string traced = first_difference(expected.rows(), actual.rows(), m.row_count, m.column_count, lines);
    EXPECT_EQ(traced, "") << what << ": tracing";

    extract_contours_reference(in, expected.rows());
    fill_grid(actual.rows(), m.row_count, m.column_count, 77);
    extract_contours_fast(in, actual.rows());
    const std::string cleaned = first_difference(expected.rows(), actual.rows(), m.row_count, m.column_count, lines);
    EXPECT_EQ(cleaned, "") << what << ": extraction";
    return lines;
}

// The same in tones of two bytes (those of a plan of more than 250 levels,
// whose tones above 254 are cleaned like the others), then of one (the low 8
// bits of the plan's tones). Returns the number of line cells of the one-byte
// result, so that a case can check it drew something.
int64_t expect_same_result(const Model& m, const Plan& p, const std::string& what)
{
    expect_same_result_in<uint16_t>(m, p, what + ", tones of two bytes");
    return expect_same_result_in<uint8_t>(m, p, what);
}

std::string describe(const Model& m, const Plan& p, const std::string& kind)
{
    return kind + " " + std::to_string(m.row_count) + "x" + std::to_string(m.column_count) + ", " +
           std::to_string(p.level_count) + " levels, first_tone " + std::to_string(p.first_tone);
}

// ---------------------------------------------------------------------------
// Whole extractions

TEST(FastEngine, SmoothSurfacesWithPlansOfManySizes)
{
    for (uint64_t seed = 1; seed <= 3; ++seed) {
        const Model m = smooth_model(41 + 7 * static_cast<int32_t>(seed), 67, seed);
        for (int count : {1, 2, 64, 65, 128, 250})
            for (bool rising : {true, false}) {
                const Plan p = plan_of(count, m.min_alt, m.max_alt, rising, static_cast<int>(seed % 2), m.max_alt);
                const int64_t lines = expect_same_result(m, p, describe(m, p, rising ? "smooth rising" : "smooth falling"));
                if (count >= 64) {
                    EXPECT_GT(lines, 0);
                }
            }
    }
}

TEST(FastEngine, RoughSurfaces)
{
    for (uint64_t seed = 10; seed < 14; ++seed) {
        const Model m = rough_model(30, 45, seed, -50.0, 50.0);
        for (int count : {2, 3, 64, 65, 250}) {
            const Plan p = plan_of(count, m.min_alt, m.max_alt, seed % 2 == 0, 1, m.max_alt);
            EXPECT_GT(expect_same_result(m, p, describe(m, p, "rough")), 0);
        }
    }
}

TEST(FastEngine, PlateausAndAltitudesExactlyOnTheLevels)
{
    for (uint64_t seed = 20; seed < 24; ++seed) {
        const Model m = terraced_model(40, 52, seed, 1.0);
        // Whole levels on whole altitudes, steps of 1, 2 and 3; the plan ends
        // on the maximum (the top level) or passes it.
        for (double interval : {1.0, 2.0, 3.0})
            for (double beyond : {0.0, 4.0}) {
                const Plan p = plan(m.min_alt, interval, m.max_alt + beyond, static_cast<int>(seed % 2), m.max_alt);
                EXPECT_GT(expect_same_result(m, p, describe(m, p, "terraced")), 0);
            }
        // Small random steps over few whole values: plateaus everywhere.
        const Model steps = model(33, 29, [gen = std::mt19937_64(seed)](int32_t, int32_t) mutable {
            return static_cast<double>(gen() % 4);
        });
        const Plan p = plan(0, 1, 3, 1, steps.max_alt);
        expect_same_result(steps, p, describe(steps, p, "random steps"));
    }
}

TEST(FastEngine, TopLevelFillsTheSummitsAndShiftsTheLevelsAfterIt)
{
    const Model m = terraced_model(45, 38, 31, 10.0);
    ASSERT_EQ(m.max_alt, std::floor(m.max_alt));
    // Rising plans that meet the maximum exactly, some with levels after it.
    for (double beyond : {0.0, 10.0, 55.0}) {
        const Plan p = plan(m.min_alt, 10, m.max_alt + beyond, 1, m.max_alt);
        bool has_top = false;
        for (const Level& level : p.levels) has_top |= level.top;
        ASSERT_TRUE(has_top);
        expect_same_result(m, p, describe(m, p, "top level, rising"));
    }
    // A falling plan starting at the maximum: the top level first, then
    // every later level half an interval lower.
    const Plan falling = plan(m.max_alt, -10, m.min_alt, 0, m.max_alt);
    ASSERT_TRUE(falling.levels.front().top);
    expect_same_result(m, falling, describe(m, falling, "top level, falling"));
    // Two top levels: the tone of the last one fills the summits.
    Plan twice;
    twice.highest = m.max_alt;
    twice.levels = {{1, m.max_alt, true}, {2, m.max_alt - 25, false}, {3, m.max_alt, true}, {4, m.min_alt + 20, false}};
    twice.level_count = 4;
    expect_same_result(m, twice, describe(m, twice, "repeated top level"));
}

TEST(FastEngine, PlansWithoutLevelsAndLevelsOutsideTheRange)
{
    const Model m = smooth_model(25, 31, 41);
    for (int level_count : {0, -3}) {
        Plan p;
        p.level_count = level_count;
        p.highest = m.max_alt;
        p.levels = level_sequence(m.min_alt, 10, 1, level_count, m.max_alt);
        EXPECT_EQ(expect_same_result(m, p, "no levels"), 0);
    }
    // All below, all above, and a plan straddling the range.
    EXPECT_EQ(expect_same_result(m, plan(m.min_alt - 500, 10, m.min_alt - 1, 1, m.max_alt), "below"), 0);
    EXPECT_EQ(expect_same_result(m, plan(m.max_alt + 1, 10, m.max_alt + 500, 0, m.max_alt), "above"), 0);
    EXPECT_GT(expect_same_result(m, plan(m.min_alt - 300, 25, m.max_alt + 300, 1, m.max_alt), "straddling"), 0);
    // A maximum that is no altitude of the model: no summit to fill.
    EXPECT_GT(expect_same_result(m, plan(m.min_alt, 20, m.max_alt + 100, 1, m.max_alt + 0.5), "foreign maximum"), 0);
}

TEST(FastEngine, NarrowGrids)
{
    const std::vector<std::pair<int32_t, int32_t>> sizes = {{1, 1}, {1, 2}, {2, 1}, {1, 40}, {40, 1}, {2, 40},
                                                            {40, 2}, {3, 40}, {40, 3}, {2, 2}, {3, 3}, {4, 5}};
    uint64_t seed = 50;
    for (const auto& [lig, col] : sizes) {
        const Model rough = rough_model(lig, col, ++seed, 0, 100);
        const Model smooth = smooth_model(lig, col, ++seed);
        for (const Model* m : {&rough, &smooth}) {
            for (int count : {1, 2, 65, 250}) {
                const double high = m->max_alt > m->min_alt ? m->max_alt : m->min_alt + 1;
                const Plan p = plan_of(count, m->min_alt, high, count % 2 == 0, 0, m->max_alt);
                expect_same_result(*m, p, describe(*m, p, "narrow"));
            }
        }
    }
}

TEST(FastEngine, HimalayaCropWithRealPlans)
{
    const Model m = himalaya();
    ASSERT_EQ(m.row_count, 120);
    ASSERT_EQ(m.column_count, 160);
    const Plan fine = plan(0, 100, 24900, 1, m.max_alt);
    ASSERT_EQ(fine.level_count, 250);
    EXPECT_GT(expect_same_result(m, fine, "himalaya, interval 100"), 0);
    EXPECT_GT(expect_same_result(m, plan(0, 500, 9000, 0, m.max_alt), "himalaya, interval 500"), 0);
    EXPECT_GT(expect_same_result(m, plan(9000, -250, 0, 1, m.max_alt), "himalaya, interval -250"), 0);
    EXPECT_GT(expect_same_result(m, plan_of(250, m.min_alt, m.max_alt, true, 1, m.max_alt), "himalaya, 250 to the top"),
              0);
    // Every 10 m: 1,143 levels, the program's plan in tones of two bytes.
    const Plan every_10 = plan(-5200, 10, m.max_alt, 1, m.max_alt);
    ASSERT_EQ(every_10.level_count, 1143);
    EXPECT_GT(expect_same_result(m, every_10, "himalaya, every 10 m"), 0);
}

TEST(FastEngine, PlansLongerThanTheProgramMakes)
{
    // Up to 254 traced levels the sweep numbers them in one byte, beyond in
    // 32 bits: both sides of that limit, rising and falling.
    const Model smooth = smooth_model(37, 41, 81);
    const Model rough = rough_model(23, 29, 82, 0, 1000);
    for (const Model* m : {&smooth, &rough})
        for (int count : {254, 255, 300})
            for (bool rising : {true, false}) {
                const Plan p = plan_of(count, m->min_alt, m->max_alt, rising, 1, m->max_alt);
                EXPECT_GT(expect_same_result(*m, p, describe(*m, p, "long plan")), 0);
            }
}

TEST(FastEngine, GapsOfEveryShape)
{
    // Cells without data are on no line and bound none; the range and the
    // summits come from the data left. Smooth, rough and terraced models;
    // plans rising, falling and from the top level, one and two-word masks.
    uint64_t seed = 100;
    int64_t lines = 0;
    for (Gaps shape : every_gap_shape) {
        seed += 3;
        const Model models[] = {with_gaps(smooth_model(43, 37, seed), shape, seed),
                                with_gaps(rough_model(29, 31, seed + 1, 0, 100), shape, seed + 1),
                                with_gaps(terraced_model(35, 40, seed + 2, 1.0), shape, seed + 2)};
        for (const Model& m : models) {
            const double high = m.max_alt > m.min_alt ? m.max_alt : m.min_alt + 1;
            for (int count : {2, 65, 250})
                for (bool rising : {true, false}) {
                    const Plan p = plan_of(count, m.min_alt, high, rising, 1, m.max_alt);
                    lines += expect_same_result(m, p, describe(m, p, std::string("gaps: ") + name_of(shape)));
                }
            // Falling from the maximum: the top level first.
            const Plan to_top = plan(m.max_alt, -std::max(1.0, (high - m.min_alt) / 40), m.min_alt, 0, m.max_alt);
            expect_same_result(m, to_top, describe(m, to_top, std::string("gaps up to the top: ") + name_of(shape)));
        }
    }
    EXPECT_GT(lines, 0);
}

TEST(FastEngine, LevelListsInAnyOrderAndOddValues)
{
    // The engines take any list of levels: out of order, repeated, NaN or
    // infinite altitudes; and a model with a NaN cell and infinite cells.
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Model m = smooth_model(30, 34, 61);
    m.grid[10][10] = nan;
    m.grid[15][3] = inf;
    m.grid[20][25] = -inf;
    m.grid[0][5] = nan;
    std::mt19937_64 gen(62);
    std::uniform_real_distribution<double> u(m.min_alt, m.max_alt);
    Plan p;
    p.first_tone = 1;
    p.highest = m.max_alt;
    for (int k = 0; k < 140; ++k) p.levels.push_back({1 + k, u(gen), false});
    p.levels[7].altitude = p.levels[3].altitude;
    p.levels[20].altitude = nan;
    p.levels[30].altitude = inf;
    p.levels[40].altitude = -inf;
    p.levels[50].altitude = p.highest;
    p.levels[50].top = true;
    p.levels[60].tone = 300;  // written as its low 8 bits
    p.level_count = static_cast<int>(p.levels.size());
    EXPECT_GT(expect_same_result(m, p, "shuffled levels"), 0);
}

// The rows of a result, as bytes, kept whole.
class ToneCollector final : public ResultRowSink {
public:
    ToneCollector(int32_t row_count, size_t row_bytes) : row_bytes_(row_bytes), bytes_(row_count * row_bytes) {}
    void write_row(int32_t i, ToneRow row) override
    {
        std::memcpy(&bytes_[static_cast<size_t>(i) * row_bytes_], row.data(), row.size());
    }

    // Every tone, row after row, read as one or two bytes each.
    std::vector<int> tones(int tone_bytes) const
    {
        std::vector<int> tones(bytes_.size() / static_cast<size_t>(tone_bytes));
        for (size_t k = 0; k < tones.size(); ++k) {
            if (tone_bytes == 1) {
                tones[k] = bytes_[k];
                continue;
            }
            uint16_t wide = 0;
            std::memcpy(&wide, &bytes_[2 * k], 2);
            tones[k] = wide;
        }
        return tones;
    }

private:
    size_t row_bytes_;
    std::vector<unsigned char> bytes_;
};

// The tones of the plan's result through the row engine on three threads,
// each of `tone_bytes` bytes.
std::vector<int> striped_tones(const Model& m, const Plan& p, int tone_bytes)
{
    const PreparedPlan plan(&p.levels, p.first_tone, p.level_count, p.highest, tone_bytes == 2);
    ToneCollector sink(m.row_count, static_cast<size_t>(m.column_count) * static_cast<size_t>(tone_bytes));
    StripeOptions options;
    options.threads = 3;
    options.min_stripe_rows = 16;
    options.lead_rows = 8;
    const CopyingSource source(m);
    extract_in_stripes(plan, m.row_count, m.column_count, source, sink, options);
    return sink.tones(tone_bytes);
}

// Every line pixel of a traced level lies on the level's boundary: at or
// below the level, with a side neighbour that has data and lies above it
// (thinning and cleaning only take pixels away, and a later level's pixel
// lies on its own boundary). Checked on the real crop for a list of levels
// given in any order as a user types them, in tones of one byte and of two,
// and for a plan of 1,143 levels every 10 m in tones of two bytes; a plan
// of few levels has the same tones in either width.
TEST(FastEngine, EveryLinePixelLiesOnItsLevelInTonesOfOneAndTwoBytes)
{
    const Model m = himalaya();
    Plan listed;
    listed.first_tone = 1;
    listed.levels = listed_levels({2500, -4321.5, 0, 350.25, -100, 5999, 1000, -2000, 4000.125, 3000}, 1, m.max_alt);
    listed.level_count = static_cast<int>(listed.levels.size());
    listed.highest = m.max_alt;
    const Plan every_10 = plan(-5200, 10, m.max_alt, 1, m.max_alt);
    ASSERT_EQ(every_10.level_count, 1143);
    const struct {
        const Plan& plan;
        int tone_bytes;
    } cases[] = {{listed, 1}, {listed, 2}, {every_10, 2}};
    std::vector<std::vector<int>> results;
    for (const auto& c : cases) {
        const std::vector<int> tones = striped_tones(m, c.plan, c.tone_bytes);
        const int background = background_of(c.tone_bytes);
        int64_t line_pixels = 0;
        for (int32_t i = 0; i < m.row_count; ++i)
            for (int32_t j = 0; j < m.column_count; ++j) {
                const int tone = tones[static_cast<size_t>(i) * static_cast<size_t>(m.column_count) + static_cast<size_t>(j)];
                if (tone == background) continue;
                ++line_pixels;
                const double level = c.plan.levels[static_cast<size_t>(tone - c.plan.first_tone)].altitude;
                const auto above = [&](int32_t a, int32_t b) {
                    return a >= 0 && b >= 0 && a < m.row_count && b < m.column_count && m.grid[a][b] > level;
                };
                ASSERT_LE(m.grid[i][j], level) << "cell (" << i << ", " << j << "), " << c.plan.level_count << " levels";
                ASSERT_TRUE(above(i - 1, j) || above(i + 1, j) || above(i, j - 1) || above(i, j + 1))
                    << "cell (" << i << ", " << j << ") of level " << level;
            }
        EXPECT_GT(line_pixels, 1000);
        results.push_back(tones);
    }
    std::replace(results[1].begin(), results[1].end(), 65535, 255);
    EXPECT_EQ(results[0], results[1]);
}

// ---------------------------------------------------------------------------
// Cleaning alone, on dense pictures of few tones (many corners, spurs and
// lone pixels, tones touching each other)

// Tones of type Tone from first_tone on; a first tone of 253 puts the tones
// on both sides of the one-byte background.
template <typename Tone>
void expect_same_cleaning(std::mt19937_64& gen)
{
    const std::vector<std::pair<int32_t, int32_t>> sizes = {{1, 9}, {2, 9}, {3, 3}, {3, 17}, {17, 3}, {40, 57}};
    for (const auto& [lig, col] : sizes)
        for (int first_tone : {0, 1, 253})
            for (int level_count : {-1, 1, 2, 3, 5, 250})
                for (int density : {10, 40, 70}) {
                    Grid<Tone> expected = make_grid<Tone>(col, lig, "expected");
                    Grid<Tone> actual = make_grid<Tone>(col, lig, "actual");
                    for (int32_t i = 0; i < lig; ++i)
                        for (int32_t j = 0; j < col; ++j) {
                            const bool line = static_cast<int>(gen() % 100) < density;
                            const auto tone = static_cast<Tone>(first_tone + static_cast<int>(gen() % 4));
                            expected[i][j] = actual[i][j] = line ? tone : background_of_grid<Tone>;
                        }
                    spur_pass(expected.rows(), lig, col);
                    corner_pass(expected.rows(), lig, col, first_tone, level_count);
                    isolated_pixel_pass(expected.rows(), lig, col, first_tone, level_count);
                    clean_contours_fast(actual.rows(), lig, col, first_tone, level_count);
                    int64_t lines = 0;
                    EXPECT_EQ(first_difference(expected.rows(), actual.rows(), lig, col, lines), "")
                        << lig << "x" << col << " first_tone " << first_tone << " level_count " << level_count << " density "
                        << density << ", tones of " << sizeof(Tone) << " bytes";
                }
}

TEST(FastCleaning, MatchesThePassesOnRandomPictures)
{
    std::mt19937_64 gen(70);
    expect_same_cleaning<uint8_t>(gen);
    expect_same_cleaning<uint16_t>(gen);
}

}  // namespace
