// The row engine: the tracing stage and the three cleaning passes chained
// row by row, then the summit fill.
#include "contours/row_engine.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "contours/engine_memory.h"

RowEngine::RowEngine(const PreparedPlan& plan, int32_t rows, int32_t columns, ResultRowSink& sink,
                     int32_t first_row)
    : plan_(plan), rows_(rows), columns_(columns), sink_(sink),
      next_input_(first_row > 0 ? first_row - 1 : 0), rows_finished_(first_row), first_written_(0),
      end_written_(std::numeric_limits<int32_t>::max()),
      trace_(make_trace_stage(plan.sorted, rows, columns, first_row)),
      spurs_(CleaningPass::spurs, plan.cleaned_tones, rows, columns, first_row, cleaning_scratch_, &gaps_),
      corners_(CleaningPass::corners, plan.cleaned_tones, rows, columns, first_row, cleaning_scratch_, &gaps_),
      isolated_(CleaningPass::isolated_pixels, plan.cleaned_tones, rows, columns, first_row, cleaning_scratch_, &gaps_),
      cleaned_rows_{-1, -1, -1}, traced_(static_cast<size_t>(columns)),
      batch_rows_(static_cast<int32_t>(std::clamp<int64_t>((int64_t{256} << 10) / std::max(columns, 1), 1, 64)))
{
    batch_.resize(static_cast<size_t>(batch_rows_) * static_cast<size_t>(std::max(columns, 0)));
}

void RowEngine::set_written_rows(int32_t first, int32_t end)
{
    first_written_ = first;
    end_written_ = end;
}

void RowEngine::push(AltitudeRow altitudes)
{
    const int32_t k = next_input_++;
    if (plan_.has_top_level) {
        std::vector<int32_t>& summit = summits_[static_cast<size_t>(k) & 7];
        summit.clear();
        for (int32_t j = 0; j < columns_; ++j)
            if (altitudes[static_cast<size_t>(j)] == plan_.highest_altitude) summit.push_back(j);
    }
    trace_->push(altitudes);
    gaps_.set(k, trace_->last_gaps());
    for (int32_t i = trace_->next_row(); trace_->trace_next(traced_.data()); i = trace_->next_row()) {
        spurs_.push(i, traced_.data(), [this](int32_t a, const unsigned char* spurred) {
            cleaned_rows_[0] = a;
            corners_.push(a, spurred, [this](int32_t b, const unsigned char* cornered) {
                cleaned_rows_[1] = b;
                isolated_.push(b, cornered, [this](int32_t c, const unsigned char* cleaned) {
                    cleaned_rows_[2] = c;
                    finish(c, cleaned);
                });
            });
        });
    }
}

// Summit fill, after the cleaning: the cells at the maximum take the tone of
// the top level.
void RowEngine::finish(int32_t i, const unsigned char* row)
{
    rows_finished_ = i + 1;
    if (i < first_written_ || i >= end_written_) return;
    if (batch_count_ > 0 && i != batch_first_ + batch_count_) flush();
    if (batch_count_ == 0) batch_first_ = i;
    const auto width = static_cast<size_t>(columns_);
    unsigned char* result = batch_.data() + static_cast<size_t>(batch_count_++) * width;
    std::memcpy(result, row, width);
    if (plan_.has_top_level) {
        const auto tone = static_cast<unsigned char>(plan_.top_tone);
        for (int32_t j : summits_[static_cast<size_t>(i) & 7]) result[static_cast<size_t>(j)] = tone;
    }
    if (batch_count_ == batch_rows_ || i + 1 == rows_ || i + 1 == end_written_) flush();
}

void RowEngine::flush()
{
    if (batch_count_ == 0) return;
    const int32_t count = batch_count_;
    batch_count_ = 0;
    sink_.write_rows(batch_first_, count, static_cast<size_t>(columns_), batch_.data());
}

void RowEngine::save_state(EngineState& out) const
{
    out.last_rows = {trace_->next_row() - 1, cleaned_rows_[0], cleaned_rows_[1], cleaned_rows_[2]};
    trace_->save_state(out.thinned);
    out.cleaned.clear();
    out.cleaned.reserve(3 * static_cast<size_t>(columns_));  // no room to spare: a stripe keeps dozens
    for (const CleaningStage* stage : {&spurs_, &corners_, &isolated_})
        out.cleaned.insert(out.cleaned.end(), stage->last_finished().begin(), stage->last_finished().end());
}

uint64_t RowEngine::state_bytes() const
{
    return trace_->state_words() * sizeof(uint64_t) + 3 * static_cast<uint64_t>(columns_);
}

uint64_t row_engine_bytes_per_column(int32_t traced_levels)
{
    // The tracing keeps four rows of run bounds (one byte each up to 254
    // levels, else four) and lists of cells on a line (4 bytes), three rows
    // of masks (8 bytes a word) with the list of their written words (4
    // bytes), and a row of bounds standing for a missing row.
    const auto key = static_cast<uint64_t>(sorted_position_bytes(traced_levels));
    const uint64_t tracing = 4 * (2 * key + 4) + 3 * (8 * static_cast<uint64_t>(mask_words(traced_levels)) + 4) + key;
    // Each cleaning pass keeps two rows, and the three share three rows of
    // decisions; the row just traced, a row of the batch of finished rows at
    // least, and the row of altitudes read.
    const uint64_t cleaning = 3 * 2 + 3;
    return tracing + cleaning + 1 + 1 + sizeof(double);
}

uint64_t engine_state_bytes_per_column(int32_t traced_levels)
{
    return 8 * static_cast<uint64_t>(mask_words(traced_levels)) + 3;
}
