// Models with cells without data: a real crop with gaps traced next to the
// same crop without them, and a model without any data.
#include "harness.h"
#include "gap_plane.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

using e2e::Workspace;

// The cells of an ASCII grid with the usual six-pair header, NaN where a
// cell holds the header's NODATA_value.
struct AsciiCells {
    int32_t column_count = 0;
    int32_t row_count = 0;
    std::vector<double> cells;
    bool has_data(int32_t i, int32_t j) const { return !std::isnan(at(i, j)); }
    double at(int32_t i, int32_t j) const { return cells[static_cast<size_t>(i) * column_count + j]; }
};

AsciiCells read_cells(const std::string& text)
{
    std::istringstream in(text);
    std::string keyword, value[6];
    for (std::string& v : value) in >> keyword >> v;
    AsciiCells grid;
    grid.column_count = std::stoi(value[0]);
    grid.row_count = std::stoi(value[1]);
    for (std::string token; in >> token;)
        grid.cells.push_back(token == value[5] ? std::nan("") : std::strtod(token.c_str(), nullptr));
    EXPECT_EQ(grid.cells.size(), static_cast<size_t>(grid.column_count) * grid.row_count);
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

// The himalaya crop and the same crop with gaps (tests/data/make_gaps.py),
// traced with the same plan.
//
// No line along a gap: a contour of level a runs between a cell at or below a
// and a side neighbour above a, and a gap has no altitude. So every line
// pixel of the gapped picture must be a cell with data, at or below its
// level, with a side neighbour that has data and lies above it.
//
// No line lost away from a gap: the edge of the data is the edge of the grid,
// so a line that meets a gap is not eaten from there. Beside a gap a line may
// keep a second pixel or pass one pixel over, so the check is on the line
// pixels of the gapless picture farther than three cells from any gap: each
// must have a pixel of its tone within one pixel in the gapped picture.
TEST(NoData, RealCropWithGapsKeepsItsLinesAndDrawsNoneAlongAGap)
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

    const auto inside = [&](int32_t i, int32_t j) { return i >= 0 && j >= 0 && i < model.row_count && j < model.column_count; };
    const auto tone_at = [&](const std::string& image, int32_t i, int32_t j) {
        return inside(i, j) ? static_cast<unsigned char>(image[static_cast<size_t>(i) * model.column_count + j]) : 255;
    };
    const auto within = [&](int32_t i, int32_t j, int32_t distance, const auto& holds) {
        for (int32_t di = -distance; di <= distance; ++di)
            for (int32_t dj = -distance; dj <= distance; ++dj)
                if (holds(i + di, j + dj)) return true;
        return false;
    };
    int64_t line_pixels = 0, kept = 0, lost = 0;
    for (int32_t i = 0; i < model.row_count; ++i)
        for (int32_t j = 0; j < model.column_count; ++j) {
            const std::string where = "line pixel (" + std::to_string(i) + ", " + std::to_string(j) + ")";
            const bool far_from_gaps =
                !within(i, j, 3, [&](int32_t a, int32_t b) { return inside(a, b) && !model.has_data(a, b); });
            const unsigned char was = tone_at(gapless_picture, i, j);
            if (was != 255 && far_from_gaps) {
                ++kept;
                if (!within(i, j, 1, [&](int32_t a, int32_t b) { return tone_at(picture, a, b) == was; })) {
                    ++lost;
                    ADD_FAILURE() << where << " of tone " << int(was) << " is lost";
                }
            }
            const unsigned char tone = tone_at(picture, i, j);
            if (tone == 255) continue;
            ++line_pixels;
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
        }
    EXPECT_GT(line_pixels, 4000);
    EXPECT_GT(kept, 1500);
    EXPECT_LT(lost * 10000, kept);
}

// The tilted plane with gaps of every shape, through the dialogue and the
// command line: away from the gaps the picture is the gapless plane's, and the
// two front-ends give the same bytes.
TEST(NoData, LinesMeetingAGapAreKeptThroughBothFrontEnds)
{
    Workspace ws;
    ws.add_file("plane.asc", gap_plane::ascii_grid(nullptr));
    const std::string plan = "100 1 100 2600 1\n\n";
    ASSERT_EQ(ws.run("dem plane 1 plain 0\n" + plan).status, 0);
    const std::string gapless = e2e::read_file(ws.model_folder() / "plain.raw");
    for (const gap_plane::GapShape& shape : gap_plane::shapes()) {
        ws.add_file("gaps.asc", gap_plane::ascii_grid(&shape));
        const e2e::Run dialogue = ws.run("dem gaps 1 dialogue 0\n" + plan);
        const e2e::Run command_line =
            ws.run("", 60, "", -1, {"-q", "-i", "100", "--min", "100", "images/dem/gaps.asc", "images/dem/cli.raw"});
        ASSERT_EQ(dialogue.status, 0) << shape.name << ": " << dialogue.err;
        ASSERT_EQ(command_line.status, 0) << shape.name << ": " << command_line.err;
        const std::string picture = e2e::read_file(ws.model_folder() / "dialogue.raw");
        EXPECT_EQ(picture, e2e::read_file(ws.model_folder() / "cli.raw")) << shape.name;
        const gap_plane::Comparison away = gap_plane::compare_away_from_gaps(
            shape, std::vector<unsigned char>(gapless.begin(), gapless.end()),
            std::vector<unsigned char>(picture.begin(), picture.end()));
        EXPECT_EQ(away.difference, "") << shape.name;
        EXPECT_GT(away.lines_near_gaps, 0) << shape.name;
    }
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
