// The row engine: fed the rows of altitudes of a model top to bottom, it hands
// finished result rows (gray tones on background 255, cleaned, summits filled)
// to a sink, a few rows behind. It holds a few rows whatever the number of
// rows of the model: no grid.
//
// The stages, and what each holds:
//   tracing           two rows behind the altitudes: the altitude bounds of
//                     four rows and the thinned masks of the row above
//   spur pass         one row behind tracing: the row above (already cleaned)
//                     and the row waiting for the row below
//   corner pass       likewise, one row behind the spur pass
//   isolated pixels   likewise, one row behind the corner pass
//   summit fill       the summit cells of the rows still in the stages above
#ifndef CONTOURS_ROW_ENGINE_H
#define CONTOURS_ROW_ENGINE_H

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "contours/prepared_plan.h"
#include "contours/row_cleaning.h"
#include "contours/trace_sweep.h"

// What a run carries from one row to the next, after a given row was pushed.
// Two runs over the same altitudes in the same state give the same rows after
// it.
struct EngineState {
    std::array<int32_t, 4> last_rows{};   // last row finished by each stage (-1: none)
    std::vector<uint64_t> thinned;        // the thinned masks of the last traced row
    std::vector<unsigned char> cleaned;   // the last row finished by each cleaning pass, as bytes
    bool operator==(const EngineState&) const = default;

    // The memory it holds.
    uint64_t bytes() const { return thinned.capacity() * sizeof(uint64_t) + cleaned.capacity(); }
};

// The engine for results of tones of type Tone (uint8_t, or uint16_t for
// plans of more than 250 levels: see background_tone in levels.h).
template <typename Tone>
class RowEngine {
public:
    // Rows pushed after row k reach the sink at the latest with row k + finish_lag.
    static constexpr int32_t finish_lag = 5;

    // A run over the rows first_row .. rows - 1 of a model of `rows` x
    // `columns` cells. With first_row > 0 the run starts from a guess: row
    // first_row is neither thinned nor cleaned (like the top row of a model),
    // and row first_row - 1 is pushed first. Every finished row goes to the
    // sink, unless set_written_rows says otherwise.
    RowEngine(const PreparedPlan& plan, int32_t rows, int32_t columns, ResultRowSink& sink, int32_t first_row = 0);
    RowEngine(const RowEngine&) = delete;  // its stages hold parts of it
    RowEngine& operator=(const RowEngine&) = delete;

    // The row of altitudes to push next (`rows` when all were pushed).
    int32_t next_input() const { return next_input_; }

    // Pushes the next row of altitudes (one per column).
    void push(AltitudeRow altitudes);

    // Every result row before this one (from first_row on) is finished.
    int32_t rows_finished() const { return rows_finished_; }

    // Only the finished rows from `first` while below `end` go to the sink.
    void set_written_rows(int32_t first, int32_t end);

    void save_state(EngineState& out) const;

    // The bytes save_state would give a state now.
    uint64_t state_bytes() const;

    // Hands the finished rows still held to the sink. Finished rows go to the
    // sink in batches of about 256 KiB (fewer, larger writes): a batch goes
    // when full, with the last row of the model or of the written rows, and
    // here.
    void flush();

private:
    void finish(int32_t i, const Tone* row);

    const PreparedPlan& plan_;
    int32_t rows_;
    int32_t columns_;
    ResultRowSink& sink_;
    int32_t next_input_;
    int32_t rows_finished_;
    int32_t first_written_;
    int32_t end_written_;
    std::unique_ptr<TraceStage<Tone>> trace_;
    typename CleaningStage<Tone>::Scratch cleaning_scratch_;  // shared by the three passes (before them: made first)
    GapRows gaps_;                            // the columns without data of the rows in the passes
    CleaningStage<Tone> spurs_;
    CleaningStage<Tone> corners_;
    CleaningStage<Tone> isolated_;
    std::array<int32_t, 3> cleaned_rows_;     // last row finished by each cleaning pass
    std::vector<Tone> traced_;                // the row just traced
    std::vector<Tone> batch_;                 // finished rows not yet handed to the sink
    int32_t batch_rows_;                      // rows a batch holds at most
    int32_t batch_first_ = 0;
    int32_t batch_count_ = 0;
    // The summit cells of the rows pushed but not yet finished, by row mod 8
    // (only when the plan has a top level).
    std::array<std::vector<int32_t>, 8> summits_;
};

#endif
