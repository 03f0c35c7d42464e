// The cleaning passes of the result, each fed one traced (or already partly
// cleaned) row at a time: the spur pass, the corner pass and the
// isolated-pixel pass of the row engine.
//
// Every pass scans the interior in place: when row i is examined, the row
// above holds its final value for this pass and the row below the value it
// had before the pass. So a pass runs one row behind the rows it is fed, and
// all it carries from one row to the next is its last finished row.
#ifndef CONTOURS_ROW_CLEANING_H
#define CONTOURS_ROW_CLEANING_H

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "contours/data_edge.h"
#include "shared/levels.h"

// The tones handled by the corner and isolated-pixel passes, as one range of
// cell values: first_tone .. first_tone + level_count - 2, below the
// background (a background cell is never changed by either pass, even when
// the background is one of those tones).
template <typename Tone>
struct HandledTones {
    Tone low = 0;
    Tone span = 0;  // values low .. low + span
    bool any = false;
};

template <typename Tone>
HandledTones<Tone> handled_tones(int first_tone, int level_count);

enum class CleaningPass { spurs, corners, isolated_pixels };

// One cleaning pass over the rows first_row .. rows - 1 of tones of type
// Tone (uint8_t or uint16_t), fed in order. Row first_row is passed on
// unchanged, as the top row of the grid is; when first_row > 0 that is a
// guess of the true state, which a stripe of rows starts from. The last row
// of the grid is passed on unchanged.
template <typename Tone>
class CleaningStage {
public:
    // The room for a pass's decisions on a row: a byte of facts, a planned
    // tone and a byte of doubt per column, which the stages of one chain share
    // (a pass uses it only while it cleans a row, before handing the row on).
    // A row of bytes for the edge of the data is added when a row near a gap
    // is cleaned.
    using Scratch = std::vector<unsigned char>;
    static size_t scratch_size(int32_t columns)
    {
        return (2 + sizeof(Tone)) * static_cast<size_t>(columns > 0 ? columns : 0);
    }

    // `scratch` (of scratch_size bytes) must outlive the stage, and so must
    // `gaps`, the columns without data of the rows around the rows fed (null
    // when no cell lacks data): a cell at the edge of the data is never
    // changed (data_edge.h).
    CleaningStage(CleaningPass pass, HandledTones<Tone> tones, int32_t rows, int32_t columns, int32_t first_row,
                  Scratch& scratch, const GapRows* gaps = nullptr);

    // Takes row i (`columns` cells) and hands every row it finishes to
    // next(index, const Tone* cells): row i - 1, and row i itself when it is
    // the first or the last row.
    template <typename Next>
    void push(int32_t i, const Tone* row, Next&& next)
    {
        const auto bytes = static_cast<size_t>(columns_) * sizeof(Tone);
        if (pending_) {
            clean_row(i - 1, finished_.data(), waiting_.data(), row);
            std::swap(finished_, waiting_);
            next(i - 1, static_cast<const Tone*>(finished_.data()));
        }
        if (i == first_row_ || i + 1 == rows_) {
            std::memcpy(finished_.data(), row, bytes);
            pending_ = false;
            next(i, static_cast<const Tone*>(finished_.data()));
        } else {
            std::memcpy(waiting_.data(), row, bytes);
            pending_ = true;
        }
    }

    // The last finished row: all that the rows below depend on besides the
    // rows fed.
    const std::vector<Tone>& last_finished() const { return finished_; }

private:
    // Cleans row i in place, between the finished row above and the fed row below.
    void clean_row(int32_t i, const Tone* up, Tone* row, const Tone* down);

    CleaningPass pass_;
    HandledTones<Tone> tones_;
    int32_t rows_;
    int32_t columns_;
    int32_t first_row_;
    bool pending_ = false;        // waiting_ holds a row to clean
    std::vector<Tone> finished_;  // the last row finished
    std::vector<Tone> waiting_;   // the row fed before the last one, not yet cleaned
    Scratch& scratch_;            // the rows of decisions and of edge marks, shared
    const GapRows* gaps_;
};

#endif
