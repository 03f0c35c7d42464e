// The cleaning passes, one row at a time.
//
// Each scan works row by row. A cell's decision reads NW, N and NE (the row
// above, already final), E, SE, S and SW (not yet examined) and W (examined
// just before). So a first, simple loop over the row decides every cell as if
// its W kept the value it had before the scan (the compiler turns that loop
// into vector code); a second loop walks the row in order, keeps those
// decisions, and decides again only the cells whose W has just changed.
#include "contours/row_cleaning.h"

#include <algorithm>

#include "contours/cell_codes.h"

namespace {

template <typename Tone>
inline bool is_handled(Tone v, const HandledTones<Tone>& tones)
{
    return static_cast<Tone>(v - tones.low) <= tones.span;
}

// Rows i - 1, i, i + 1 and scratch rows, for one scan of row i.
template <typename Tone>
struct ScanRows {
    const Tone* up;
    Tone* row;
    const Tone* down;
    unsigned char* facts;       // what the decision needs besides W
    Tone* planned;              // the decision with W as it was before the scan
    unsigned char* doubtful;    // 1 where the plan may be wrong
    const unsigned char* edge;  // 1 at the edge of the data (never changed), or null: no gap near the row
};

// A cell at the edge of the data is planned to keep its value, as a border
// cell is.
template <typename Tone>
void keep_data_edge(const ScanRows<Tone>& r, int32_t end)
{
    if (r.edge == nullptr) return;
    for (int32_t j = 1; j < end; ++j)
        if (r.edge[j] != 0) r.planned[j] = r.row[j];
}

// The first loops below see the rows through restrict pointers and do the
// same simple work at every column, so that the compiler makes vector code of
// them.

// Marks the cells whose plan may be wrong: their W is planned to change and
// is of the same value. W changes only to background, so a cell of another
// value sees no difference, and a background cell stays background anyway.
template <typename Tone>
void mark_doubtful(const Tone* __restrict row, Tone* __restrict planned, unsigned char* __restrict doubtful,
                   int32_t end)
{
    planned[0] = row[0];
    for (int32_t j = 1; j < end; ++j)
        doubtful[j] = static_cast<unsigned char>((planned[j - 1] != row[j - 1]) & (row[j - 1] == row[j]));
}

// Writes the planned values into row columns 1 .. columns - 2, in column
// order. The doubtful cells, and any cell after one whose result differed
// from its plan, are decided again by decide(j), which reads the row as it
// stands; runs of eight cells without doubt take their plan at once.
template <typename Tone, typename Decide>
void apply_plan(const ScanRows<Tone>& r, int32_t columns, Decide decide)
{
    const int32_t end = columns - 1;
    keep_data_edge(r, end);
    mark_doubtful(r.row, r.planned, r.doubtful, end);
    bool off_plan = false;  // the cell to the left ended otherwise than planned
    int32_t j = 1;
    while (j < end) {
        uint64_t doubts;
        if (!off_plan && j + 8 <= end && (std::memcpy(&doubts, r.doubtful + j, sizeof doubts), doubts == 0)) {
            std::memcpy(r.row + j, r.planned + j, 8 * sizeof(Tone));
            j += 8;
            continue;
        }
        const Tone now = r.edge != nullptr && r.edge[j] != 0 ? r.row[j] : decide(j);
        r.row[j] = now;
        off_plan = now != r.planned[j];
        ++j;
    }
}

// Spur pass: a line cell touching exactly one cell of its own tone is cleared
// (all tones, one in-place scan). A background cell "cleared" stays
// background, so it needs no test.
template <typename Tone>
void plan_spurs(const Tone* __restrict up, const Tone* __restrict row, const Tone* __restrict down,
                unsigned char* __restrict facts, Tone* __restrict planned, int32_t end)
{
    constexpr Tone background = background_tone<Tone>;
    for (int32_t j = 1; j < end; ++j) {
        const Tone v = row[j];
        const auto others = static_cast<unsigned char>((up[j - 1] == v) + (up[j] == v) + (up[j + 1] == v) +
                                                       (row[j + 1] == v) + (down[j + 1] == v) + (down[j] == v) +
                                                       (down[j - 1] == v));  // equal neighbours but W
        facts[j] = others;
        planned[j] = static_cast<unsigned char>(others + (row[j - 1] == v)) == 1 ? background : v;
    }
}

template <typename Tone>
void spur_row(const ScanRows<Tone>& r, int32_t columns)
{
    plan_spurs(r.up, r.row, r.down, r.facts, r.planned, columns - 1);
    apply_plan(r, columns, [&r](int32_t j) {
        const Tone v = r.row[j];
        return static_cast<unsigned char>(r.facts[j] + (r.row[j - 1] == v)) == 1 ? background_tone<Tone> : v;
    });
}

// Corner pass: a handled cell whose equal neighbours are exactly two sides
// at a right angle is cleared. The pass handles each tone in its own scan, but
// a scan for tone t reads and clears only cells of tone t (a cleared cell was
// t and becomes 255, no other tone either), so the scans do not see each
// other, and one scan that handles every tone at its cell, in the same raster
// order, gives the same grid.
constexpr unsigned char corner_if_w_differs = 1;  // a corner when W is not of the same tone
constexpr unsigned char corner_if_w_equal = 2;    // a corner when W is of the same tone

template <typename Tone>
void plan_corners(const Tone* __restrict up, const Tone* __restrict row, const Tone* __restrict down,
                  unsigned char* __restrict facts, Tone* __restrict planned, int32_t end, HandledTones<Tone> tones)
{
    constexpr Tone background = background_tone<Tone>;
    for (int32_t j = 1; j < end; ++j) {
        const Tone v = row[j];
        const auto code = static_cast<unsigned char>((up[j - 1] == v) * NB_NW | (up[j] == v) * NB_N |
                                                     (up[j + 1] == v) * NB_NE | (row[j + 1] == v) * NB_E |
                                                     (down[j + 1] == v) * NB_SE | (down[j] == v) * NB_S |
                                                     (down[j - 1] == v) * NB_SW);  // all but W
        const bool without_w = code == (NB_N | NB_E) || code == (NB_E | NB_S);
        const bool with_w = code == NB_S || code == NB_N;  // S+W, N+W
        const auto corner = is_handled(v, tones)
                                ? static_cast<unsigned char>(without_w * corner_if_w_differs | with_w * corner_if_w_equal)
                                : static_cast<unsigned char>(0);
        facts[j] = corner;
        planned[j] = (corner & (row[j - 1] == v ? corner_if_w_equal : corner_if_w_differs)) != 0 ? background : v;
    }
}

template <typename Tone>
void corner_row(const ScanRows<Tone>& r, int32_t columns, const HandledTones<Tone>& tones)
{
    plan_corners(r.up, r.row, r.down, r.facts, r.planned, columns - 1, tones);
    apply_plan(r, columns, [&r](int32_t j) {
        const Tone v = r.row[j];
        return (r.facts[j] & (r.row[j - 1] == v ? corner_if_w_equal : corner_if_w_differs)) != 0 ? background_tone<Tone>
                                                                                                    : v;
    });
}

// Isolated-pixel pass: a handled cell whose eight neighbours are all
// background is cleared. Its neighbours were background before the pass too
// (a cleared neighbour would have had this cell, not background, around it),
// so neither the order of cells nor that of tones matters: the row is decided
// from its values before the scan.
template <typename Tone>
void plan_isolated(const Tone* __restrict up, const Tone* __restrict row, const Tone* __restrict down,
                   Tone* __restrict planned, int32_t end, HandledTones<Tone> tones)
{
    constexpr Tone background = background_tone<Tone>;
    for (int32_t j = 1; j < end; ++j) {
        const Tone v = row[j];
        const bool alone =
            (up[j - 1] & up[j] & up[j + 1] & row[j + 1] & down[j + 1] & down[j] & down[j - 1] & row[j - 1]) == background;
        planned[j] = (alone && is_handled(v, tones)) ? background : v;
    }
}

template <typename Tone>
void isolated_row(const ScanRows<Tone>& r, int32_t columns, const HandledTones<Tone>& tones)
{
    plan_isolated(r.up, r.row, r.down, r.planned, columns - 1, tones);
    keep_data_edge(r, columns - 1);
    std::memcpy(r.row + 1, r.planned + 1, static_cast<size_t>(columns - 2) * sizeof(Tone));
}

}  // namespace

template <typename Tone>
HandledTones<Tone> handled_tones(int first_tone, int level_count)
{
    HandledTones<Tone> tones;
    const int64_t low = std::max<int64_t>(first_tone, 0);
    const int64_t high = std::min<int64_t>(int64_t{first_tone} + level_count - 2, background_tone<Tone> - 1);
    if (level_count < 2 || low > high) return tones;
    tones.low = static_cast<Tone>(low);
    tones.span = static_cast<Tone>(high - low);
    tones.any = true;
    return tones;
}

template <typename Tone>
CleaningStage<Tone>::CleaningStage(CleaningPass pass, HandledTones<Tone> tones, int32_t rows, int32_t columns,
                                   int32_t first_row, Scratch& scratch, const GapRows* gaps)
    : pass_(pass), tones_(tones), rows_(rows), columns_(columns), first_row_(first_row),
      finished_(static_cast<size_t>(columns)), waiting_(static_cast<size_t>(columns)), scratch_(scratch), gaps_(gaps)
{
    if (scratch_.size() < scratch_size(columns)) scratch_.resize(scratch_size(columns));
}

template <typename Tone>
void CleaningStage<Tone>::clean_row(int32_t i, const Tone* up, Tone* row, const Tone* down)
{
    if (columns_ < 3) return;  // no interior cell
    const auto width = static_cast<size_t>(columns_);
    const bool near_gap = gaps_ != nullptr && gaps_->near_gap(i, rows_);
    if (near_gap && scratch_.size() < scratch_size(columns_) + width) scratch_.resize(scratch_size(columns_) + width);
    // The planned tones first, where the scratch's start keeps them aligned.
    Tone* planned = reinterpret_cast<Tone*>(scratch_.data());
    unsigned char* facts = scratch_.data() + width * sizeof(Tone);
    unsigned char* doubtful = facts + width;
    unsigned char* edge = near_gap ? doubtful + width : nullptr;
    if (near_gap) gaps_->mark_edge(i, rows_, edge, columns_);
    const ScanRows<Tone> scan{up, row, down, facts, planned, doubtful, edge};
    switch (pass_) {
    case CleaningPass::spurs:
        spur_row(scan, columns_);
        break;
    case CleaningPass::corners:
        if (tones_.any) corner_row(scan, columns_, tones_);
        break;
    case CleaningPass::isolated_pixels:
        if (tones_.any) isolated_row(scan, columns_, tones_);
        break;
    }
}

template HandledTones<uint8_t> handled_tones<uint8_t>(int, int);
template HandledTones<uint16_t> handled_tones<uint16_t>(int, int);
template class CleaningStage<uint8_t>;
template class CleaningStage<uint16_t>;
