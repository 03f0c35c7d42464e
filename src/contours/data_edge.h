// The edge of the data is treated as the edge of the grid.
//
// The passes that examine only interior cells and never change border cells
// (the thinning of each level's boundary, the spur, corner and isolated-pixel
// passes) treat an interior cell with a cell without data among its eight
// neighbours as a border cell: never examined, never changed, still read as a
// neighbour by the cells around it. Without this, a line that meets a gap
// ends there in a free end, and the spur pass eats the line from that end.
//
// The row engine knows the cells without data of a row as the list of their
// columns (usually empty); these helpers turn the lists of three rows into the
// marks of the middle row's cells at the edge of the data.
#ifndef CONTOURS_DATA_EDGE_H
#define CONTOURS_DATA_EDGE_H

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

using GapColumns = std::span<const int32_t>;

// Sets edge[j] to 1 for every column j (0 .. `columns` - 1) whose cell has a
// cell without data among its eight neighbours in the rows above, here and
// below, given by their columns without data (the cell's own gap counts too:
// such a cell is never on a line either way). Returns false, and leaves edge
// as it was, when no gap lies in the three rows; otherwise edge is cleared
// first.
inline bool mark_data_edge(GapColumns above, GapColumns here, GapColumns below, unsigned char* edge, int32_t columns)
{
    if (above.empty() && here.empty() && below.empty()) return false;
    std::memset(edge, 0, static_cast<size_t>(columns));
    for (const GapColumns gaps : {above, here, below})
        for (const int32_t j : gaps) {
            if (j > 0) edge[j - 1] = 1;
            edge[j] = 1;
            if (j + 1 < columns) edge[j + 1] = 1;
        }
    return true;
}

// The columns without data of the last rows pushed into a row engine, by row
// number: the rows that its cleaning passes have yet to finish.
class GapRows {
public:
    // Rows pushed ahead of the oldest row a cleaning pass may still read.
    static constexpr int32_t rows_held = 8;

    void set(int32_t i, GapColumns columns) { slot(i).assign(columns.begin(), columns.end()); }

    // The columns without data of row i; none outside the grid.
    GapColumns of(int32_t i, int32_t rows) const
    {
        if (i < 0 || i >= rows) return {};
        return columns_by_row_[static_cast<size_t>(i) % rows_held];
    }

    // Whether a gap lies in row i or next to it.
    bool near_gap(int32_t i, int32_t rows) const
    {
        return !of(i - 1, rows).empty() || !of(i, rows).empty() || !of(i + 1, rows).empty();
    }

    // The edge marks of row i (see mark_data_edge).
    bool mark_edge(int32_t i, int32_t rows, unsigned char* edge, int32_t columns) const
    {
        return mark_data_edge(of(i - 1, rows), of(i, rows), of(i + 1, rows), edge, columns);
    }

private:
    std::vector<int32_t>& slot(int32_t i) { return columns_by_row_[static_cast<size_t>(i) % rows_held]; }

    std::array<std::vector<int32_t>, rows_held> columns_by_row_;
};

#endif
