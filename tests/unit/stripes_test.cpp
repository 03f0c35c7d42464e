// The row engine alone and in stripes on several threads, against the
// pass-by-pass engine: wherever the seams fall and whatever the number of
// threads, every tone agrees, in tones of one byte and of two; and where a
// seam cuts a line whose cleaning depends on rows far above, the repair
// really runs that far.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gap_plane.h"
#include "model_builders.h"
#include "reference/extraction.h"
#include "contours/row_engine.h"
#include "contours/stripes.h"
#include "reference/grid.h"
#include "shared/run_error.h"
#include "shared/run_in_parallel.h"

namespace {

using namespace test_models;

// Every row as last written (tones of type Tone), and how many times each was
// written.
template <typename Tone = uint8_t>
class RecordingSink final : public ResultRowSink {
public:
    RecordingSink(int32_t row_count, int32_t column_count)
        : writes(static_cast<size_t>(row_count), 0),
          rows_(static_cast<size_t>(row_count), std::vector<Tone>(static_cast<size_t>(column_count), 77))
    {
        for (auto& row : rows_) pointers_.push_back(row.data());
    }
    void write_row(int32_t i, ToneRow row) override
    {
        std::memcpy(rows_[static_cast<size_t>(i)].data(), row.data(), row.size());
        ++writes[static_cast<size_t>(i)];
    }
    Tone** rows() { return pointers_.data(); }
    std::vector<Tone> cells() const
    {
        std::vector<Tone> all;
        for (const auto& row : rows_) all.insert(all.end(), row.begin(), row.end());
        return all;
    }

    std::vector<int> writes;

private:
    std::vector<std::vector<Tone>> rows_;
    std::vector<Tone*> pointers_;
};

template <typename Tone>
struct StripedRun {
    StripeStats stats;
    std::string difference;  // first cell that differs from the reference, "" when none
    int64_t lines = 0;       // line cells of the reference result
    std::vector<int> writes;
    std::vector<Tone> result;  // row after row
};

// The pass-by-pass engine's result, in tones of type Tone.
template <typename Tone>
Grid<Tone> reference_result(const Model& m, const Plan& p)
{
    Grid<Tone> expected = make_grid<Tone>(m.column_count, m.row_count, "expected");
    const ExtractionInput in{m.grid.rows(), m.row_count, m.column_count, &p.levels, p.first_tone, p.level_count, p.highest};
    extract_contours_reference(in, expected.rows());
    return expected;
}

// Bands of one run traced on threads of this process, as processes of an
// MPI job trace them, the truth handed down through mailboxes.
class LocalBands {
public:
    explicit LocalBands(int bands) : boxes_(static_cast<size_t>(bands)) {}

    class Link final : public BandLinks {
    public:
        Link(LocalBands& all, int band) : all_(all), band_(band) {}
        int band() const override { return band_; }
        int bands() const override { return static_cast<int>(all_.boxes_.size()); }
        int32_t wait_for_truth(const std::function<std::optional<StripeCheckpoints>(size_t)>& describe) override
        {
            Box& box = all_.boxes_[static_cast<size_t>(band_)];
            std::unique_lock<std::mutex> hold(all_.lock_);
            for (;;) {
                if (box.asked && !box.described) {
                    box.stripe = describe(box.asked_for);
                    box.described = true;
                    all_.changed_.notify_all();
                }
                if (box.told) return box.truth;
                all_.changed_.wait(hold);
            }
        }
        std::optional<StripeCheckpoints> stripe_of(int below, size_t k) override
        {
            Box& box = all_.boxes_[static_cast<size_t>(below)];
            std::unique_lock<std::mutex> hold(all_.lock_);
            box.asked = true;
            box.described = false;
            box.asked_for = k;
            all_.changed_.notify_all();
            all_.changed_.wait(hold, [&] { return box.described; });
            box.asked = false;
            return box.stripe;
        }
        void hand_truth(int below, int32_t stripe) override
        {
            const std::lock_guard<std::mutex> hold(all_.lock_);
            all_.boxes_[static_cast<size_t>(below)].told = true;
            all_.boxes_[static_cast<size_t>(below)].truth = stripe;
            all_.changed_.notify_all();
        }

    private:
        LocalBands& all_;
        int band_;
    };

private:
    struct Box {
        bool asked = false, described = false, told = false;
        size_t asked_for = 0;
        int32_t truth = -1;
        std::optional<StripeCheckpoints> stripe;
    };
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Box> boxes_;
};

// The extraction in `bands` bands (one: the run of one process).
StripeStats extract_in_bands(int bands, const PreparedPlan& plan, const Model& m, const AltitudeSource& source,
                             ResultRowSink& sink, const StripeOptions& options)
{
    if (bands == 1) return extract_in_stripes(plan, m.row_count, m.column_count, source, sink, options);
    LocalBands all(bands);
    std::vector<StripeStats> stats(static_cast<size_t>(bands));
    run_in_parallel(static_cast<size_t>(bands), [&](size_t k) {
        LocalBands::Link link(all, static_cast<int>(k));
        stats[k] = extract_band_in_stripes(plan, m.row_count, m.column_count, source, sink, options, link);
    });
    StripeStats total;
    for (const StripeStats& band : stats) {
        total.stripes += band.stripes;
        total.repaired_rows += band.repaired_rows;
        total.recomputed_stripes += band.recomputed_stripes;
        total.longest_repair = std::max(total.longest_repair, band.longest_repair);
    }
    return total;
}

// The row engine in stripes, in tones of type Tone, against the reference
// result `expected` (worked out here when not given).
template <typename Tone = uint8_t>
StripedRun<Tone> run_in_stripes(const Model& m, const Plan& p, const StripeOptions& options,
                                 const Grid<Tone>* expected = nullptr, int bands = 1)
{
    const Grid<Tone> own = expected == nullptr ? reference_result<Tone>(m, p) : Grid<Tone>();
    const PreparedPlan plan(&p.levels, p.first_tone, p.level_count, p.highest, sizeof(Tone) == 2);
    const CopyingSource source(m);
    RecordingSink<Tone> sink(m.row_count, m.column_count);
    StripedRun<Tone> run;
    run.stats = extract_in_bands(bands, plan, m, source, sink, options);
    run.difference = first_difference((expected != nullptr ? *expected : own).rows(), sink.rows(), m.row_count,
                                      m.column_count, run.lines);
    run.writes = sink.writes;
    run.result = sink.cells();
    return run;
}

StripeOptions stripes_of(unsigned threads, int32_t min_rows, int32_t lead, int32_t checkpoints, unsigned max_stripes = 0)
{
    StripeOptions options;
    options.threads = threads;
    options.max_stripes = max_stripes;
    options.min_stripe_rows = min_rows;
    options.lead_rows = lead;
    options.checkpoints = checkpoints;
    return options;
}

TEST(RowEngine, FinishesEveryRowAFewRowsAfterItIsPushed)
{
    const Model m = smooth_model(60, 40, 3);
    const Plan p = plan_of(250, m.min_alt, m.max_alt, true, 1, m.max_alt);
    Grid<unsigned char> expected = make_grid<unsigned char>(m.column_count, m.row_count, "expected");
    const ExtractionInput in{m.grid.rows(), m.row_count, m.column_count, &p.levels, p.first_tone, p.level_count, p.highest};
    extract_contours_reference(in, expected.rows());

    const PreparedPlan plan(&p.levels, p.first_tone, p.level_count, p.highest);
    RecordingSink sink(m.row_count, m.column_count);
    RowEngine<uint8_t> engine(plan, m.row_count, m.column_count, sink);
    for (int32_t k = 0; k < m.row_count; ++k) {
        ASSERT_EQ(engine.next_input(), k);
        engine.push(AltitudeRow(m.grid[k], static_cast<size_t>(m.column_count)));
        EXPECT_GE(engine.rows_finished(), k + 1 - RowEngine<uint8_t>::finish_lag) << "after row " << k;
    }
    EXPECT_EQ(engine.rows_finished(), m.row_count);
    EXPECT_EQ(sink.writes, std::vector<int>(static_cast<size_t>(m.row_count), 1));
    int64_t lines = 0;
    EXPECT_EQ(first_difference(expected.rows(), sink.rows(), m.row_count, m.column_count, lines), "");
    EXPECT_GT(lines, 0);
}

// A model and a plan, traced in tones of `tone_bytes` bytes.
struct StripesCase {
    const char* kind;
    Model model;
    Plan plan;
    int tone_bytes = 1;
};

// The case on 1, 2, 3 and 8 threads, and in 2, 3 and 5 bands of 1 or 2
// threads each, with leads of 0 and 4 rows and three budgets of repair
// states: every tone agrees with the reference. Returns
// the rows repaired.
template <typename Tone>
int64_t expect_reference_tones_on_any_threads(const StripesCase& c)
{
    const Grid<Tone> expected = reference_result<Tone>(c.model, c.plan);
    // The bytes of repair states a stripe may keep: no bound; room for about
    // one state (the three cleaned rows and a few mask words); none, so that
    // every stripe below the first is redone whole by its repair.
    const uint64_t state_budgets[] = {UINT64_MAX, 3 * sizeof(Tone) * uint64_t(c.model.column_count) + 64, 0};
    int64_t repaired = 0;
    for (int bands : {1, 2, 3, 5})
        for (unsigned threads : {1u, 2u, 3u, 8u})
            for (int32_t lead : {0, 4})
                for (const uint64_t state_bytes : state_budgets) {
                    if (bands > 1 && threads > 2) continue;
                    StripeOptions options = stripes_of(threads, 8, lead, 16);
                    options.state_bytes = state_bytes;
                    const StripedRun<Tone> run = run_in_stripes(c.model, c.plan, options, &expected, bands);
                    const std::string what = std::string(c.kind) + ", " + std::to_string(bands) + " bands of " +
                                             std::to_string(threads) + " threads, lead " + std::to_string(lead) +
                                             ", states of " + std::to_string(state_bytes) + " bytes, tones of " +
                                             std::to_string(sizeof(Tone)) + " bytes";
                    if (state_bytes == 0) {
                        EXPECT_EQ(run.stats.recomputed_stripes, run.stats.stripes - 1) << what;
                    }
                    // One stripe per thread, and those cut from running stripes.
                    const int32_t initial = std::min<int32_t>(static_cast<int32_t>(threads), c.model.row_count / 8);
                    if (bands == 1) {
                        EXPECT_GE(run.stats.stripes, initial) << what;
                        EXPECT_LE(run.stats.stripes, std::max<int32_t>(initial, 2 * static_cast<int32_t>(threads)))
                            << what;
                    }
                    EXPECT_EQ(run.difference, "") << what;
                    EXPECT_GT(run.lines, 0) << what;
                    EXPECT_EQ(std::count(run.writes.begin(), run.writes.end(), 0), 0) << what << ": a row never written";
                    repaired += run.stats.repaired_rows;
                }
    return repaired;
}

TEST(Stripes, AnyNumberOfThreadsGivesTheReferenceBytes)
{
    std::vector<StripesCase> cases;
    {
        Model m = smooth_model(150, 53, 7);
        Plan p = plan_of(250, m.min_alt, m.max_alt, true, 1, m.max_alt);
        cases.push_back({"smooth", std::move(m), std::move(p)});
    }
    {
        Model m = rough_model(120, 41, 8, -50, 50);
        Plan p = plan_of(65, m.min_alt, m.max_alt, false, 0, m.max_alt);
        cases.push_back({"rough", std::move(m), std::move(p)});
    }
    {
        Model m = terraced_model(130, 47, 9, 1.0);  // plateaus, levels on them, the top level
        Plan p = plan(m.min_alt, 1.0, m.max_alt, 1, m.max_alt);
        cases.push_back({"plateaus", std::move(m), std::move(p)});
    }
    {
        Model m = model(100, 37, [gen = std::mt19937_64(10)](int32_t, int32_t) mutable {
            return static_cast<double>(gen() % 4);
        });
        Plan p = plan(0, 1, 3, 1, m.max_alt);
        cases.push_back({"random steps", std::move(m), std::move(p)});
    }
    for (Gaps shape : {Gaps::single_cells, Gaps::block, Gaps::whole_rows, Gaps::borders}) {
        Model m = with_gaps(smooth_model(140, 45, 11), shape, 12);
        Plan p = plan_of(100, m.min_alt, m.max_alt, true, 1, m.max_alt);
        cases.push_back({name_of(shape), std::move(m), std::move(p)});
    }
    // Plans of more than 250 levels, in tones of two bytes: the real crop
    // every 10 m (1,143 levels), plateaus every meter and a smooth surface
    // with a block of gaps.
    {
        Model m = himalaya();
        Plan p = plan(-5200, 10, m.max_alt, 1, m.max_alt);
        cases.push_back({"himalaya every 10 m", std::move(m), std::move(p), 2});
    }
    {
        Model m = terraced_model(130, 47, 9, 20.0);
        Plan p = plan(m.min_alt, 1.0, m.max_alt, 1, m.max_alt);
        EXPECT_GT(p.level_count, 250);
        cases.push_back({"plateaus every meter", std::move(m), std::move(p), 2});
    }
    {
        Model m = with_gaps(smooth_model(140, 45, 13), Gaps::block, 14);
        Plan p = plan_of(400, m.min_alt, m.max_alt, false, 0, m.max_alt);
        cases.push_back({"a block of gaps, 400 levels", std::move(m), std::move(p), 2});
    }

    int64_t repaired = 0;
    for (const StripesCase& c : cases)
        repaired += c.tone_bytes == 2 ? expect_reference_tones_on_any_threads<uint16_t>(c)
                                      : expect_reference_tones_on_any_threads<uint8_t>(c);
    EXPECT_GT(repaired, 0);  // the guesses were wrong somewhere, and mended
}

// The edge of the data is the edge of the grid: a line that meets a gap keeps
// its pixel beside the gap instead of becoming a spur that the cleaning eats.
// Away from the gaps the picture is the gapless one, wherever the seams fall.
TEST(Stripes, LinesMeetingAGapAreKeptAwayFromIt)
{
    const auto plane = [](const gap_plane::GapShape* shape) {
        return model(gap_plane::rows, gap_plane::cols, [shape](int32_t r, int32_t c) {
            return shape != nullptr && shape->is_gap(r, c) ? std::numeric_limits<double>::quiet_NaN()
                                                           : gap_plane::altitude(r, c);
        });
    };
    const Model gapless = plane(nullptr);
    const Plan p = plan(100, 100, gapless.max_alt, 1, gapless.max_alt);
    const std::vector<unsigned char> expected = run_in_stripes(gapless, p, stripes_of(1, 8, 64, 48)).result;
    for (const gap_plane::GapShape& shape : gap_plane::shapes()) {
        const Model m = plane(&shape);
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            const std::string what = std::string(shape.name) + ", " + std::to_string(threads) + " threads";
            const auto run = run_in_stripes(m, p, stripes_of(threads, 8, 4, 16));
            EXPECT_EQ(run.difference, "") << what << ": against the reference engine";
            const gap_plane::Comparison away = gap_plane::compare_away_from_gaps(shape, expected, run.result);
            EXPECT_EQ(away.difference, "") << what;
            EXPECT_GT(away.lines_near_gaps, 0) << what << ": no line meets the gaps";
        }
    }
}

// A trench one cell wide: its contour is an open vertical line, which the
// spur pass eats from its top end down, one row after the other. A stripe
// starting inside it guesses the line whole, and is wrong down to the line's
// end.
TEST(Stripes, SeamAcrossALineEatenFromFarAboveIsRepairedDownToItsEnd)
{
    const Model trench = model(80, 12, [](int32_t i, int32_t j) { return (j == 5 && i >= 20 && i < 70) ? 0.0 : 100.0; });
    const Plan p = plan(50, 100, 150, 1, trench.max_alt);  // tone 1 at 50 (cleaned), tone 2 at 150 (draws nothing)
    ASSERT_EQ(p.level_count, 2);

    // Without a lead the stripes meet at row 40, and the second one's run
    // starts there; the states meet again past row 69.
    const auto whole = run_in_stripes(trench, p, stripes_of(2, 8, 0, 48, 2));
    EXPECT_EQ(whole.difference, "");
    EXPECT_EQ(whole.stats.stripes, 2);
    EXPECT_GE(whole.stats.longest_repair, 69 - 40);
    EXPECT_EQ(whole.stats.recomputed_stripes, 0);
    EXPECT_EQ(whole.writes[45], 2);  // written by the guess, then by the repair
    EXPECT_EQ(whole.writes[79], 1);  // already right

    // With fewer checkpoints than the repair needs, the stripe is redone whole.
    const auto redone = run_in_stripes(trench, p, stripes_of(2, 8, 0, 4, 2));
    EXPECT_EQ(redone.difference, "");
    EXPECT_EQ(redone.stats.recomputed_stripes, 1);
    EXPECT_EQ(redone.stats.longest_repair, 40);
}

// Rows of the lower half slow to come, as costly rows are: the thread of the
// upper stripe runs out of work first and takes part of the lower one (and
// maybe parts of parts), each a new seam to repair.
TEST(Stripes, ThreadsOutOfWorkTakePartOfTheSlowestStripe)
{
    class SlowLowerHalf final : public AltitudeSource {
    public:
        explicit SlowLowerHalf(const Model& m) : rows_(m), half_(m.row_count / 2) {}
        AltitudeRow read_row(int32_t i, std::span<double> buffer) const override
        {
            if (i >= half_) std::this_thread::sleep_for(std::chrono::microseconds(300));
            return rows_.read_row(i, buffer);
        }

    private:
        CopyingSource rows_;
        int32_t half_;
    };
    const Model m = rough_model(400, 30, 21, 0, 100);
    const Plan p = plan_of(65, m.min_alt, m.max_alt, true, 1, m.max_alt);
    Grid<unsigned char> expected = make_grid<unsigned char>(m.column_count, m.row_count, "expected");
    const ExtractionInput in{m.grid.rows(), m.row_count, m.column_count, &p.levels, p.first_tone, p.level_count, p.highest};
    extract_contours_reference(in, expected.rows());
    const PreparedPlan plan(&p.levels, p.first_tone, p.level_count, p.highest);
    for (const unsigned most : {3u, 6u}) {
        RecordingSink sink(m.row_count, m.column_count);
        const StripeStats stats =
            extract_in_stripes(plan, m.row_count, m.column_count, SlowLowerHalf(m), sink, stripes_of(2, 16, 4, 16, most));
        EXPECT_GT(stats.stripes, 2) << "at most " << most;
        EXPECT_LE(stats.stripes, static_cast<int32_t>(most));
        int64_t lines = 0;
        EXPECT_EQ(first_difference(expected.rows(), sink.rows(), m.row_count, m.column_count, lines), "") << "at most " << most;
        EXPECT_EQ(std::count(sink.writes.begin(), sink.writes.end(), 0), 0);
    }
}

TEST(Stripes, AReadFailureInAnyStripeReachesTheCaller)
{
    // A source that fails on one row, as a file cut short would.
    class FailingSource final : public AltitudeSource {
    public:
        FailingSource(const Model& m, int32_t bad_row) : rows_(m), bad_row_(bad_row) {}
        AltitudeRow read_row(int32_t i, std::span<double> buffer) const override
        {
            if (i == bad_row_) throw RunError("model.raw: row " + std::to_string(i) + " cannot be read");
            return rows_.read_row(i, buffer);
        }

    private:
        CopyingSource rows_;
        int32_t bad_row_;
    };
    const Model m = smooth_model(96, 20, 12);
    const Plan p = plan_of(10, m.min_alt, m.max_alt, true, 1, m.max_alt);
    const PreparedPlan plan(&p.levels, p.first_tone, p.level_count, p.highest);
    for (int32_t bad_row : {5, 50, 95}) {  // in the first, a middle and the last of four stripes
        RecordingSink sink(m.row_count, m.column_count);
        EXPECT_THROW(extract_in_stripes(plan, m.row_count, m.column_count, FailingSource(m, bad_row), sink,
                                        stripes_of(4, 8, 4, 48)),
                     RunError)
            << "row " << bad_row;
    }
}

TEST(Stripes, TinyGridsAndFewerRowsThanThreads)
{
    uint64_t seed = 90;
    for (const auto& [lig, col] : std::vector<std::pair<int32_t, int32_t>>{
             {1, 1}, {1, 40}, {40, 1}, {2, 2}, {3, 5}, {7, 9}, {17, 2}, {33, 3}}) {
        const Model m = rough_model(lig, col, ++seed, 0, 100);
        const double high = m.max_alt > m.min_alt ? m.max_alt : m.min_alt + 1;
        const Plan p = plan_of(65, m.min_alt, high, true, 1, m.max_alt);
        const auto run = run_in_stripes(m, p, stripes_of(8, 1, 4, 16, 8));
        EXPECT_EQ(run.difference, "") << lig << "x" << col;
        EXPECT_EQ(run.stats.stripes, std::max(1, std::min(8, lig / 8))) << lig << "x" << col;
    }
}

}  // namespace
