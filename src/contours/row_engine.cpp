// The row engine: the tracing stage and the three cleaning passes chained
// row by row, then the summit fill.
#include "contours/row_engine.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "contours/engine_memory.h"

template <typename Tone>
RowEngine<Tone>::RowEngine(const PreparedPlan& plan, int32_t rows, int32_t columns, ResultRowSink& sink,
                           int32_t first_row)
    : plan_(plan), rows_(rows), columns_(columns), sink_(sink),
      next_input_(first_row > 0 ? first_row - 1 : 0), rows_finished_(first_row), first_written_(0),
      end_written_(std::numeric_limits<int32_t>::max()),
      trace_(make_trace_stage<Tone>(plan.sorted, rows, columns, first_row)),
      spurs_(CleaningPass::spurs, handled_tones<Tone>(plan.first_tone, plan.level_count), rows, columns, first_row,
             cleaning_scratch_, &gaps_),
      corners_(CleaningPass::corners, handled_tones<Tone>(plan.first_tone, plan.level_count), rows, columns,
               first_row, cleaning_scratch_, &gaps_),
      isolated_(CleaningPass::isolated_pixels, handled_tones<Tone>(plan.first_tone, plan.level_count), rows, columns,
                first_row, cleaning_scratch_, &gaps_),
      cleaned_rows_{-1, -1, -1}, traced_(static_cast<size_t>(columns)),
      batch_rows_(static_cast<int32_t>(std::clamp<int64_t>(
          (int64_t{256} << 10) / (std::max<int64_t>(columns, 1) * static_cast<int64_t>(sizeof(Tone))), 1, 64)))
{
    batch_.resize(static_cast<size_t>(batch_rows_) * static_cast<size_t>(std::max(columns, 0)));
}

template <typename Tone>
void RowEngine<Tone>::set_written_rows(int32_t first, int32_t end)
{
    first_written_ = first;
    end_written_ = end;
}

template <typename Tone>
void RowEngine<Tone>::push(AltitudeRow altitudes)
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
        spurs_.push(i, traced_.data(), [this](int32_t a, const Tone* spurred) {
            cleaned_rows_[0] = a;
            corners_.push(a, spurred, [this](int32_t b, const Tone* cornered) {
                cleaned_rows_[1] = b;
                isolated_.push(b, cornered, [this](int32_t c, const Tone* cleaned) {
                    cleaned_rows_[2] = c;
                    finish(c, cleaned);
                });
            });
        });
    }
}

// Summit fill, after the cleaning: the cells at the maximum take the tone of
// the top level.
template <typename Tone>
void RowEngine<Tone>::finish(int32_t i, const Tone* row)
{
    rows_finished_ = i + 1;
    if (i < first_written_ || i >= end_written_) return;
    if (batch_count_ > 0 && i != batch_first_ + batch_count_) flush();
    if (batch_count_ == 0) batch_first_ = i;
    const auto width = static_cast<size_t>(columns_);
    Tone* result = batch_.data() + static_cast<size_t>(batch_count_++) * width;
    std::memcpy(result, row, width * sizeof(Tone));
    if (plan_.has_top_level) {
        const auto tone = static_cast<Tone>(plan_.top_tone);
        for (int32_t j : summits_[static_cast<size_t>(i) & 7]) result[static_cast<size_t>(j)] = tone;
    }
    if (batch_count_ == batch_rows_ || i + 1 == rows_ || i + 1 == end_written_) flush();
}

template <typename Tone>
void RowEngine<Tone>::flush()
{
    if (batch_count_ == 0) return;
    const int32_t count = batch_count_;
    batch_count_ = 0;
    sink_.write_rows(batch_first_, count, static_cast<size_t>(columns_) * sizeof(Tone),
                     reinterpret_cast<const unsigned char*>(batch_.data()));
}

template <typename Tone>
void RowEngine<Tone>::save_state(EngineState& out) const
{
    out.last_rows = {trace_->next_row() - 1, cleaned_rows_[0], cleaned_rows_[1], cleaned_rows_[2]};
    trace_->save_state(out.thinned);
    out.cleaned.clear();
    const size_t row_bytes = static_cast<size_t>(columns_) * sizeof(Tone);
    out.cleaned.resize(3 * row_bytes);  // no room to spare: a stripe keeps dozens
    unsigned char* at = out.cleaned.data();
    for (const CleaningStage<Tone>* stage : {&spurs_, &corners_, &isolated_}) {
        std::memcpy(at, stage->last_finished().data(), row_bytes);
        at += row_bytes;
    }
}

template <typename Tone>
uint64_t RowEngine<Tone>::state_bytes() const
{
    return trace_->state_words() * sizeof(uint64_t) + 3 * static_cast<uint64_t>(columns_) * sizeof(Tone);
}

template class RowEngine<uint8_t>;
template class RowEngine<uint16_t>;

uint64_t row_engine_bytes_per_column(int32_t traced_levels, int tone_bytes)
{
    // The tracing keeps four rows of run bounds (one byte each up to 254
    // levels, else four) and lists of cells on a line (4 bytes), three rows
    // of masks (8 bytes a word) with the list of their written words (4
    // bytes), and a row of bounds standing for a missing row.
    const auto key = static_cast<uint64_t>(sorted_position_bytes(traced_levels));
    const uint64_t tracing = 4 * (2 * key + 4) + 3 * (8 * static_cast<uint64_t>(mask_words(traced_levels)) + 4) + key;
    // Each cleaning pass keeps two rows of tones, and the three share two
    // rows of decisions and a row of planned tones; the row just traced, a
    // row of the batch of finished rows at least, and the row of altitudes
    // read.
    const auto tone = static_cast<uint64_t>(tone_bytes);
    const uint64_t cleaning = 3 * 2 * tone + 2 + tone;
    return tracing + cleaning + tone + tone + sizeof(double);
}

uint64_t engine_state_bytes_per_column(int32_t traced_levels, int tone_bytes)
{
    return 8 * static_cast<uint64_t>(mask_words(traced_levels)) + 3 * static_cast<uint64_t>(tone_bytes);
}
