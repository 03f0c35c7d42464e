// The pass-by-pass contour engine: each pass on its own, then whole extractions
// on small models worked out by hand.
//
// Pictures are written as strings, one per row: '.' is 255 (background), a
// digit is that value.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "reference/reference_engine.h"
#include "reference/grid.h"
#include "model_builders.h"

namespace {

using namespace test_models;

using Rows = std::vector<std::string>;

// An 8-bit grid with its size.
struct Picture {
    Grid<unsigned char> grid;
    int32_t row_count = 0;
    int32_t column_count = 0;
    unsigned char** rows() const { return grid.rows(); }
};

Picture picture(const Rows& text)
{
    Picture p;
    p.row_count = static_cast<int32_t>(text.size());
    p.column_count = static_cast<int32_t>(text.front().size());
    p.grid = make_grid<unsigned char>(p.column_count, p.row_count, "test picture");
    for (int32_t i = 0; i < p.row_count; ++i)
        for (int32_t j = 0; j < p.column_count; ++j) {
            const char c = text[i][j];
            p.grid[i][j] = (c == '.') ? 255 : static_cast<unsigned char>(c - '0');
        }
    return p;
}

Picture blank_picture(int32_t row_count, int32_t column_count)
{
    return picture(Rows(row_count, std::string(column_count, '.')));
}

Rows text_of(unsigned char** grid, int32_t row_count, int32_t column_count)
{
    Rows text;
    for (int32_t i = 0; i < row_count; ++i) {
        std::string row;
        for (int32_t j = 0; j < column_count; ++j) {
            const unsigned char v = grid[i][j];
            row += (v == 255) ? '.' : (v <= 9 ? static_cast<char>('0' + v) : '?');
        }
        text.push_back(row);
    }
    return text;
}

Rows text_of(const Picture& p) { return text_of(p.rows(), p.row_count, p.column_count); }

// Traces one level the way the level loop does: threshold, boundary, thinning.
// Returns tab2 before and after the thinning.
struct TracedLevel {
    Rows boundary;
    Rows thinned;
};

TracedLevel trace_level(const Model& m, double alti)
{
    Picture tab1 = blank_picture(m.row_count, m.column_count);
    Picture tab2 = blank_picture(m.row_count, m.column_count);
    threshold_pass(m.grid.rows(), tab1.rows(), m.row_count, m.column_count, alti);
    boundary_pass(tab1.rows(), tab2.rows(), m.row_count, m.column_count);
    TracedLevel traced;
    traced.boundary = text_of(tab2);
    thinning_pass(tab2.rows(), m.row_count, m.column_count);
    traced.thinned = text_of(tab2);
    return traced;
}

// Runs the whole reference extraction and returns result_grid as text.
Rows extract(const Model& m, const std::vector<Level>& levels, int first_tone, int level_count, double highest)
{
    Picture result_grid = picture(Rows(m.row_count, std::string(m.column_count, '0')));
    ExtractionInput in{m.grid.rows(), m.row_count, m.column_count, &levels, first_tone, level_count, highest};
    extract_contours_reference(in, result_grid.rows());
    return text_of(result_grid);
}

// The 7 x 7 basin of the worked example: 10 on the centre block, 50 elsewhere.
Model basin_7x7()
{
    return model(7, 7, [](int32_t i, int32_t j) { return (i >= 2 && i <= 4 && j >= 2 && j <= 4) ? 10.0 : 50.0; });
}

// ---------------------------------------------------------------------------
// Neighbour codes

TEST(NeighbourCode, BitsRunClockwiseFromTheUpperLeft)
{
    // Each neighbour in turn holds 1; the bit follows the position.
    const int32_t rows[] = {0, 0, 0, 1, 2, 2, 2, 1};
    const int32_t cols[] = {0, 1, 2, 2, 2, 1, 0, 0};
    const int bits[] = {NB_NW, NB_N, NB_NE, NB_E, NB_SE, NB_S, NB_SW, NB_W};
    for (int n = 0; n < 8; ++n) {
        Picture p = blank_picture(3, 3);
        p.grid[rows[n]][cols[n]] = 1;
        EXPECT_EQ(neighbour_code(p.rows(), 1, 1, 1), bits[n]) << "neighbour " << n;
    }
    EXPECT_EQ(bits[0] + bits[1] + bits[2] + bits[3] + bits[4] + bits[5] + bits[6] + bits[7], 255);
}

TEST(NeighbourCode, OnlyNeighboursEqualToTheReferenceCount)
{
    Picture p = picture({"374", "1.3", "333"});
    EXPECT_EQ(neighbour_code(p.rows(), 1, 1, 3), NB_NW | NB_E | NB_SE | NB_S | NB_SW);
    EXPECT_EQ(neighbour_code(p.rows(), 1, 1, 255), 0);  // the centre itself never counts
}

TEST(ClearingCodes, ExactlyTheThirtyTwoCodesOfTheEightGroups)
{
    const std::vector<int> clearing = {3,   6,   12,  24,  48,  96,  192, 129, 131, 14, 56,  224, 7,   28,  112, 193,
                                       10,  40,  160, 130, 26,  194, 104, 11,  161, 44, 134, 176, 42,  168, 162, 138};
    std::vector<bool> expected(256, false);
    for (int code : clearing) expected[code] = true;
    for (int code = 0; code < 256; ++code) EXPECT_EQ(is_clearing_code(code), expected[code]) << "code " << code;
}

// ---------------------------------------------------------------------------
// Level tracing

TEST(LevelTracing, BlockBasinThinsToADiamond)
{
    const TracedLevel traced = trace_level(basin_7x7(), 20);
    EXPECT_EQ(traced.boundary, (Rows{".......",
                                     ".......",
                                     "..111..",
                                     "..1.1..",
                                     "..111..",
                                     ".......",
                                     "......."}));
    EXPECT_EQ(traced.thinned, (Rows{".......",
                                    ".......",
                                    "...1...",
                                    "..1.1..",
                                    "...1...",
                                    ".......",
                                    "......."}));
}

TEST(LevelTracing, RampLineStaysWholeAndNeverRunsAlongTheEdge)
{
    const Model ramp = model(5, 6, [](int32_t, int32_t j) { return 10.0 * j; });
    const TracedLevel at35 = trace_level(ramp, 35);
    const Rows column3 = {"...1..", "...1..", "...1..", "...1..", "...1.."};
    EXPECT_EQ(at35.boundary, column3);
    EXPECT_EQ(at35.thinned, column3);  // code 34 (N and S) keeps the inner cells

    const TracedLevel at45 = trace_level(ramp, 45);
    const Rows column4 = {"....1.", "....1.", "....1.", "....1.", "....1."};
    EXPECT_EQ(at45.boundary, column4);
    EXPECT_EQ(at45.thinned, column4);
}

TEST(LevelTracing, LevelsOutsideTheRangeDrawNothing)
{
    const Model ramp = model(5, 6, [](int32_t, int32_t j) { return 10.0 * j; });
    const Rows nothing(5, "......");
    EXPECT_EQ(trace_level(ramp, -1).boundary, nothing);  // no cell at or below
    EXPECT_EQ(trace_level(ramp, 50).boundary, nothing);  // every cell at or below
    EXPECT_EQ(trace_level(ramp, 1e9).boundary, nothing);
}

TEST(LevelTracing, GapsBoundNoLine)
{
    // A ramp rising to the east, 10 per column; NaN marks a cell without data.
    const auto ramp_with_gap = [](const std::function<bool(int32_t, int32_t)>& gap) {
        return model(7, 8, [&](int32_t i, int32_t j) { return gap(i, j) ? std::nan("") : 10.0 * j; });
    };
    // The east part is a gap: the level that would follow its edge draws
    // nothing there, the level before it is unchanged.
    const Model east_gap = ramp_with_gap([](int32_t, int32_t j) { return j >= 5; });
    EXPECT_EQ(trace_level(east_gap, 45).boundary, Rows(7, "........"));
    EXPECT_EQ(trace_level(east_gap, 35).thinned, Rows(7, "...1...."));

    // A gap across the line: the line stops on both sides of it, and no line
    // runs around it.
    const Model crossed = ramp_with_gap([](int32_t i, int32_t j) { return i == 3 && j >= 2 && j <= 4; });
    const Rows stopped = {"...1....", "...1....", "...1....", "........", "...1....", "...1....", "...1...."};
    EXPECT_EQ(trace_level(crossed, 35).boundary, stopped);
    EXPECT_EQ(trace_level(crossed, 35).thinned, stopped);

    // A hole in a plain below the level: no ring of line around it.
    const Model holed = model(7, 7, [](int32_t i, int32_t j) { return (i == 3 && j >= 2 && j <= 3) ? std::nan("") : 10.0; });
    for (double level : {5.0, 20.0, 1e9}) EXPECT_EQ(trace_level(holed, level).boundary, Rows(7, ".......")) << level;
}

TEST(LevelTracing, BoundaryCountsSideNeighboursOnly)
{
    // Only the high corner cell lies above the level: its side neighbours
    // become boundary, the centre that sees it diagonally does not.
    Picture tab1 = picture({".11", "111", "111"});
    Picture tab2 = blank_picture(3, 3);
    boundary_pass(tab1.rows(), tab2.rows(), 3, 3);
    EXPECT_EQ(text_of(tab2), (Rows{".1.", "1..", "..."}));

    // A single low cell among high ones is its own boundary.
    Picture pit = picture({"...", ".1.", "..."});
    Picture pit_line = blank_picture(3, 3);
    boundary_pass(pit.rows(), pit_line.rows(), 3, 3);
    EXPECT_EQ(text_of(pit_line), (Rows{"...", ".1.", "..."}));
}

TEST(LevelTracing, ThinningSeesEarlierClearingsOfTheSamePass)
{
    // A solid 2 x 3 band. (1, 1) has E, SE and S (code 56) and goes; (1, 2)
    // then lacks its W and has code 120, kept; (1, 3) has S, SW, W (224), goes.
    // In the second row (2, 1) sees NE and E (12), goes; (2, 2) sees N and E
    // (10), goes; (2, 3) is left with NW alone (1) and remains. Judged on the
    // untouched band instead, (1, 2) would have code 248 and (2, 3) code 131.
    Picture tab2 = picture({".....", ".111.", ".111.", "....."});
    thinning_pass(tab2.rows(), 4, 5);
    EXPECT_EQ(text_of(tab2), (Rows{".....", "..1..", "...1.", "....."}));
}

TEST(LevelTracing, NarrowGridsAreNotThinned)
{
    // Two rows: every cell would have a clearing code in a larger grid.
    Picture two_rows = picture({"1111", "1..1"});
    thinning_pass(two_rows.rows(), 2, 4);
    EXPECT_EQ(text_of(two_rows), (Rows{"1111", "1..1"}));

    Picture two_cols = picture({"11", "11", "11"});
    thinning_pass(two_cols.rows(), 3, 2);
    EXPECT_EQ(text_of(two_cols), (Rows{"11", "11", "11"}));

    // The boundary of a two-row model goes to the result unthinned.
    const Model low_corner = model(2, 4, [](int32_t i, int32_t j) { return (i == 1 || j == 0) ? 0.0 : 9.0; });
    const TracedLevel traced = trace_level(low_corner, 5);
    EXPECT_EQ(traced.boundary, (Rows{"1...", ".111"}));
    EXPECT_EQ(traced.thinned, traced.boundary);
}

TEST(LevelTracing, ToneTransferOverwritesOnlyTheLine)
{
    Picture tab2 = picture({"1..", ".1."});
    Picture result_grid = picture({"55.", "5.5"});
    tone_transfer(tab2.rows(), result_grid.rows(), 2, 3, 7);
    EXPECT_EQ(text_of(result_grid), (Rows{"75.", "575"}));
}

// ---------------------------------------------------------------------------
// Spur pass

TEST(SpurPass, WestSpurShrinksToTheLineEastSpurLosesItsEnd)
{
    Picture p = picture({".....3....",
                         ".....3....",
                         ".33333....",
                         ".....3....",
                         ".....3....",
                         ".....3333.",
                         ".....3....",
                         ".....3...."});
    spur_pass(p.rows(), p.row_count, p.column_count);
    EXPECT_EQ(text_of(p), (Rows{".....3....",
                                ".....3....",
                                "....33....",
                                ".....3....",
                                ".....3....",
                                ".....333..",
                                ".....3....",
                                ".....3...."}));
}

TEST(SpurPass, OpenLineKeepsOnlyItsLastVisitedPixel)
{
    Picture p = picture({"..........", ".2222222..", ".........."});
    spur_pass(p.rows(), 3, 10);
    EXPECT_EQ(text_of(p), (Rows{"..........", ".......2..", ".........."}));
    // With tone 2 handled, the lone pixel left is isolated and goes too.
    isolated_pixel_pass(p.rows(), 3, 10, 1, 3);
    EXPECT_EQ(text_of(p), Rows(3, ".........."));
}

TEST(SpurPass, LoneAndCrowdedPixelsStayAndTonesDoNotMix)
{
    // (1, 1) has no equal neighbour; (1, 4) touches only a pixel of another
    // tone; the 1 at (3, 1) has one equal neighbour on the border and goes.
    Picture p = picture({"......", ".4..56", "......", "11....", "......"});
    spur_pass(p.rows(), 5, 6);
    EXPECT_EQ(text_of(p), (Rows{"......", ".4..56", "......", "1.....", "......"}));
}

TEST(SpurPass, BorderLineEndsAreNeverCleared)
{
    // The 1 of row 1 has one equal neighbour and goes; the one on row 0 then
    // has none, but border cells are not examined anyway. The 2s lie wholly on
    // the border and stay although each has a single equal neighbour.
    Picture p = picture({"..1..", "..1..", ".....", "2....", "2...."});
    spur_pass(p.rows(), 5, 5);
    EXPECT_EQ(text_of(p), (Rows{"..1..", ".....", ".....", "2....", "2...."}));
}

// ---------------------------------------------------------------------------
// Corner and isolated-pixel passes

TEST(CornerPass, SquareLoopLosesItsFourCorners)
{
    const Rows loop = {"......", ".1111.", ".1..1.", ".1..1.", ".1111.", "......"};
    Picture p = picture(loop);
    corner_pass(p.rows(), 6, 6, 1, 2);
    EXPECT_EQ(text_of(p), (Rows{"......", "..11..", ".1..1.", ".1..1.", "..11..", "......"}));
}

TEST(CornerPass, LastToneOfThePlanIsNotHandled)
{
    const Rows loop = {"......", ".2222.", ".2..2.", ".2..2.", ".2222.", "......"};
    Picture p = picture(loop);
    corner_pass(p.rows(), 6, 6, 1, 2);
    EXPECT_EQ(text_of(p), loop);
}

TEST(CornerPass, StaircaseWithDiagonalNeighboursIsKept)
{
    const Rows stairs = {"......", ".11...", "..11..", "...11.", "......"};
    Picture p = picture(stairs);
    corner_pass(p.rows(), 5, 6, 1, 5);
    EXPECT_EQ(text_of(p), stairs);
}

TEST(IsolatedPixelPass, OnlyHandledTonesWithAllBackgroundAroundGo)
{
    Picture p = picture({"......", ".1..2.", "......", "..1...", "..2.1.", ".....1"});
    isolated_pixel_pass(p.rows(), 6, 6, 1, 2);
    EXPECT_EQ(text_of(p), (Rows{"......", "....2.", "......", "..1...", "..2.1.", ".....1"}));
}

TEST(ToneLoop, FirstToneZeroWithFiveLevelsHandlesTonesZeroToThree)
{
    const Rows lone = {".........", ".0.1.2.3.", ".........", ".4.......", "........."};
    Picture isolated = picture(lone);
    isolated_pixel_pass(isolated.rows(), 5, 9, 0, 5);
    EXPECT_EQ(text_of(isolated), (Rows{".........", ".........", ".........", ".4.......", "........."}));

    // Corners of tones 0 and 3 are cleared; the same corner in tone 4 stays.
    const Rows corners = {"..........", ".00...33..", ".0....3...", "..........", ".44.......",
                          ".4........", ".........."};
    Picture corner = picture(corners);
    corner_pass(corner.rows(), 7, 10, 0, 5);
    EXPECT_EQ(text_of(corner), (Rows{"..........", "..0....3..", ".0....3...", "..........", ".44.......",
                                     ".4........", ".........."}));
}

TEST(ToneLoop, PlansOfOneLevelOrFewerMakeNoScan)
{
    const Rows shapes = {"......", ".11...", ".1....", "....1.", "......"};
    for (int level_count : {1, 0, -4}) {
        Picture p = picture(shapes);
        corner_pass(p.rows(), 5, 6, 1, level_count);
        isolated_pixel_pass(p.rows(), 5, 6, 1, level_count);
        EXPECT_EQ(text_of(p), shapes) << "level_count " << level_count;
    }
}

TEST(Cleaning, GridsWithoutInteriorAreUntouched)
{
    const std::vector<Rows> narrow = {{"1.11.1"}, {"1.11.1", "..1..."}, {"1", ".", "1"}, {"1.", "11", ".1"}};
    for (const Rows& shape : narrow) {
        Picture p = picture(shape);
        spur_pass(p.rows(), p.row_count, p.column_count);
        corner_pass(p.rows(), p.row_count, p.column_count, 1, 5);
        isolated_pixel_pass(p.rows(), p.row_count, p.column_count, 1, 5);
        EXPECT_EQ(text_of(p), shape);
    }
}

// ---------------------------------------------------------------------------
// Summit fill

TEST(SummitFill, PaintsEveryCellAtTheMaximumBorderIncluded)
{
    const Model m = model(3, 4, [](int32_t i, int32_t j) { return (i + j == 0 || (i == 1 && j == 2)) ? 90.0 : 89.5; });
    Picture result_grid = picture({"....", "..1.", "...."});
    summit_fill(m.grid.rows(), result_grid.rows(), 3, 4, 90.0, 1, 7);
    EXPECT_EQ(text_of(result_grid), (Rows{"7...", "..7.", "...."}));
}

TEST(SummitFill, NothingWithoutATopLevel)
{
    const Model m = model(3, 3, [](int32_t, int32_t) { return 90.0; });
    Picture result_grid = blank_picture(3, 3);
    summit_fill(m.grid.rows(), result_grid.rows(), 3, 3, 90.0, 0, 7);
    EXPECT_EQ(text_of(result_grid), Rows(3, "..."));
}

// ---------------------------------------------------------------------------
// Whole extractions

TEST(ReferenceExtraction, BasinGivesTheDiamond)
{
    const Model m = basin_7x7();
    // One level at 20: its tone is the last of the plan, so only the spur pass
    // touches it, and every diamond cell has two equal neighbours.
    const Rows result = extract(m, level_sequence(20, 10, 1, 1, 50), 1, 1, 50);
    EXPECT_EQ(result, (Rows{".......", ".......", "...1...", "..1.1..", "...1...", ".......", "......."}));
}

TEST(ReferenceExtraction, HillWithItsTopLevel)
{
    // A 3 x 3 hill at 50 on a plain at 10. Plan: minimum 20, interval 30,
    // maximum 50, two levels; the second equals the maximum and is the top.
    // The level at 20 rings the hill on the low side: twelve cells whose
    // codes are none of the clearing codes, each with two equal neighbours.
    const Model hill = model(7, 7, [](int32_t i, int32_t j) { return (i >= 2 && i <= 4 && j >= 2 && j <= 4) ? 50.0 : 10.0; });
    const int64_t level_count = count_levels(20, 30, 50);
    ASSERT_EQ(level_count, 2);
    const std::vector<Level> levels = level_sequence(20, 30, 1, static_cast<int>(level_count), 50);
    ASSERT_TRUE(levels[1].top);
    EXPECT_EQ(extract(hill, levels, 1, 2, 50), (Rows{".......",
                                                    "..111..",
                                                    ".12221.",
                                                    ".12221.",
                                                    ".12221.",
                                                    "..111..",
                                                    "......."}));
}

TEST(ReferenceExtraction, LaterLevelWinsOnASharedCell)
{
    // A cliff between column 2 (altitude 10) and column 3 (altitude 50): the
    // levels 20 and 30 both follow column 2, which ends in the tone of 30.
    const Model cliff = model(5, 6, [](int32_t, int32_t j) { return j <= 2 ? 10.0 : 50.0; });
    const std::vector<Level> levels = {{1, 20, false}, {2, 30, false}};
    EXPECT_EQ(extract(cliff, levels, 1, 2, 50), Rows(5, "..2..."));
}

TEST(ReferenceExtraction, PlanWithoutLevelsLeavesBackground)
{
    const Model m = basin_7x7();
    for (int level_count : {0, -1}) {
        const std::vector<Level> levels = level_sequence(20, 10, 1, level_count, 50);
        EXPECT_EQ(extract(m, levels, 1, level_count, 50), Rows(7, ".......")) << "level_count " << level_count;
    }
}

TEST(ReferenceExtraction, TopLevelOnlyFillsTheSummit)
{
    // The summit is a single cell on the border: it still receives the tone.
    const Model m = model(4, 4, [](int32_t i, int32_t j) { return (i == 0 && j == 3) ? 8.0 : 1.0; });
    const std::vector<Level> levels = {{0, 8.0, true}};
    EXPECT_EQ(extract(m, levels, 0, 1, 8.0), (Rows{"...0", "....", "....", "...."}));
}

}  // namespace
