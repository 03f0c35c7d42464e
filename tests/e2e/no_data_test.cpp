// Models with cells without data: a real crop with gaps traced next to the
// same crop without them, and a model without any data.
#include "harness.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

using e2e::Workspace;

// The cells of an ASCII grid with the usual six-pair header, NaN where a
// cell holds the header's NODATA_value.
struct AsciiCells {
    int32_t nb_col1 = 0;
    int32_t nb_lig1 = 0;
    std::vector<double> cells;
    bool has_data(int32_t i, int32_t j) const { return !std::isnan(at(i, j)); }
    double at(int32_t i, int32_t j) const { return cells[static_cast<size_t>(i) * nb_col1 + j]; }
};

AsciiCells read_cells(const std::string& text)
{
    std::istringstream in(text);
    std::string keyword, value[6];
    for (std::string& v : value) in >> keyword >> v;
    AsciiCells grid;
    grid.nb_col1 = std::stoi(value[0]);
    grid.nb_lig1 = std::stoi(value[1]);
    for (std::string token; in >> token;)
        grid.cells.push_back(token == value[5] ? std::nan("") : std::strtod(token.c_str(), nullptr));
    EXPECT_EQ(grid.cells.size(), static_cast<size_t>(grid.nb_col1) * grid.nb_lig1);
    return grid;
}

// Level altitude by tone, from a table in whole meters.
std::map<int, double> read_levels(const std::string& table)
{
    std::istringstream in(table);
    std::map<int, double> levels;
    for (int tone = 0, alti = 0; in >> tone >> alti;) levels[tone] = alti;
    return levels;
}

// The himalaya crop and the same crop with a block of 600 cells and 150
// scattered cells without data (tests/data/make_gaps.py), traced with the same
// plan. A contour of level a runs between a cell at or below a and a side
// neighbour above a. A gap has no altitude, so the only lines it may leave are
// those of the gapless model between two cells that both kept their data:
// every line pixel of the gapped picture must be such a cell, at or below its
// level, with a side neighbour that has data and lies above it. A pixel whose
// only higher neighbour is a gap cell (a line along the gap's edge) fails
// this, and so does any line pixel on a gap. The check is on the altitudes
// rather than on the gapless picture, because thinning keeps one pixel of a
// boundary according to its neighbours: where a gap takes away a neighbour,
// the line may pass one pixel over from where the gapless picture has it,
// while still following the same level between the same cells.
TEST(NoData, RealCropWithGapsDrawsNoLineAlongAGap)
{
    Workspace ws;
    ws.add_model("himalaya.asc", "himalaya.asc");
    ws.add_model("himalaya_gaps.asc", "himalaya_gaps.asc");
    const std::string plan = "-5000 1 500 6000 1\n\n";
    const auto gapless = ws.run("dem himalaya 1 plain 0\n" + plan);
    const auto run = ws.run("dem himalaya_gaps 1 gaps 0\n" + plan);
    ASSERT_EQ(gapless.status, 0) << gapless.err;
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("himalaya_gaps", ws, run, {"gaps.raw", "gaps_tab.txt"});

    const AsciiCells model = read_cells(e2e::read_file(ws.model_folder() / "himalaya_gaps.asc"));
    const std::map<int, double> levels = read_levels(e2e::read_file(ws.model_folder() / "gaps_tab.txt"));
    const std::string picture = e2e::read_file(ws.model_folder() / "gaps.raw");
    const std::string gapless_picture = e2e::read_file(ws.model_folder() / "plain.raw");
    ASSERT_EQ(picture.size(), model.cells.size());

    const auto tone_at = [&](int32_t i, int32_t j) {
        return static_cast<unsigned char>(picture[static_cast<size_t>(i) * model.nb_col1 + j]);
    };
    const auto inside = [&](int32_t i, int32_t j) { return i >= 0 && j >= 0 && i < model.nb_lig1 && j < model.nb_col1; };
    const auto next_to_a_gap = [&](int32_t i, int32_t j) {
        for (int32_t di = -1; di <= 1; ++di)
            for (int32_t dj = -1; dj <= 1; ++dj)
                if (inside(i + di, j + dj) && !model.has_data(i + di, j + dj)) return true;
        return false;
    };
    int64_t line_pixels = 0, next_to_gaps = 0, unlike_gapless = 0;
    for (int32_t i = 0; i < model.nb_lig1; ++i)
        for (int32_t j = 0; j < model.nb_col1; ++j) {
            const unsigned char tone = tone_at(i, j);
            if (tone == 255) continue;
            ++line_pixels;
            const std::string where = "line pixel (" + std::to_string(i) + ", " + std::to_string(j) + ")";
            ASSERT_TRUE(model.has_data(i, j)) << where << " lies on a gap";
            ASSERT_EQ(levels.count(tone), 1u) << where;
            const double level = levels.at(tone);
            EXPECT_LE(model.at(i, j), level) << where;
            bool higher_data_neighbour = false;
            for (const auto& [di, dj] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
                const int32_t ni = i + di, nj = j + dj;
                higher_data_neighbour |= inside(ni, nj) && model.has_data(ni, nj) && model.at(ni, nj) > level;
            }
            EXPECT_TRUE(higher_data_neighbour) << where << " has no higher neighbour with data at level " << level;
            if (next_to_a_gap(i, j)) {
                ++next_to_gaps;
                unlike_gapless += gapless_picture[static_cast<size_t>(i) * model.nb_col1 + j] != picture[static_cast<size_t>(i) * model.nb_col1 + j];
            }
        }
    // The gaps cut through many lines; most pixels beside them are where the
    // gapless picture has them too.
    EXPECT_GT(line_pixels, 4000);
    EXPECT_GT(next_to_gaps, 100);
    EXPECT_LT(unlike_gapless * 5, next_to_gaps);
}

TEST(NoData, ModelWithoutAnyDataIsRefused)
{
    Workspace ws;
    ws.add_file("empty.asc", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 25\nNODATA_value -9999\n"
                             "-9999 -9999 -9999\nnan -9999 -9999\n");
    const auto run = ws.run("dem empty 1 iso 1\n20 1 10 20 1\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "\n\tError: images/dem/empty.asc: all 6 cells of the model are without data: there is no altitude to trace\n");
    EXPECT_EQ(ws.files(), (std::set<std::string>{"empty.asc"}));
}

}  // namespace
