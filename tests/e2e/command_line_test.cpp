// The program run from its command line: usage errors, help, the same
// results as the dialogue, failures of a run, rasters read and written
// through GDAL, and the reference engine's tones on any number of threads.
#include "harness.h"

#include <cstring>

#include "model_builders.h"
#include "reference/extraction.h"

using e2e::Workspace;
namespace fs = std::filesystem;

namespace {

const std::string kModel = "images/dem/himalaya_m4.raw";

// A workspace holding the bundled raw 32-bit model and its descriptor.
struct ModelWorkspace : Workspace {
    ModelWorkspace()
    {
        add_model("himalaya_m4.raw", "himalaya_m4.raw");
        add_model("himalaya_m4.txt", "himalaya_m4.txt");
    }
    std::string result(const std::string& name) const { return e2e::read_file(model_folder() / name); }
};

// An ASCII grid of 12 rows of 16 under `position` (the header's corner or
// centre and cell size): a slope with a hill.
std::string small_grid(const std::string& position)
{
    std::string text = "ncols 16\nnrows 12\n" + position;
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 16; ++j)
            text += std::to_string(i * 3 + j * 2 + ((i - 6) * (i - 6) + (j - 8) * (j - 8) < 10 ? 20 : 0)) +
                    (j == 15 ? "\n" : " ");
    return text;
}

// WGS 84 / UTM zone 32N as ESRI WKT, the usual text of a .prj.
const std::string kUtm32Prj =
    "PROJCS[\"WGS_1984_UTM_Zone_32N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,"
    "298.257223563]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],"
    "PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",500000.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",9.0],"
    "PARAMETER[\"Scale_Factor\",0.9996],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]";

}  // namespace

TEST(CommandLine, UsageErrorsEndWithStatus2AndWriteNothing)
{
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{kModel, "images/dem/out.bmp"}, "--interval is required"},
        {{"-i", "65", kModel}, "OUTPUT is required"},
        {{"-i", "0", kModel, "images/dem/out.bmp"}, "0 is not above 0"},
        {{"--interval=-5", kModel, "images/dem/out.bmp"}, "-5 is not above 0"},
        {{"-i", "nan", kModel, "images/dem/out.bmp"}, "nan is not a decimal number"},
        {{"-i", "65", "--max", "inf", kModel, "images/dem/out.bmp"}, "inf is not a decimal number"},
        {{"-i", "0x1F4", kModel, "images/dem/out.bmp"}, "--interval: 0x1F4 is not a decimal number"},
        {{"-i", "65", "--min", "600", "--max", "500", kModel, "images/dem/out.bmp"}, "--min 600 is above --max 500"},
        {{"-i", "65", "-b", "0", kModel, "images/dem/out.bmp"}, "--band: 0 is not a band (they count from 1)"},
        {{"-i", "65", "-b", "0x1", kModel, "images/dem/out.bmp"}, "--band: 0x1 is not a whole number"},
        {{"-i", "6x5", kModel, "images/dem/out.bmp"}, "6x5"},
        {{"-i", "65", kModel, "images/dem/out.jpg"}, "OUTPUT images/dem/out.jpg: the extension must be"},
        {{"-i", "65", "", "images/dem/out.bmp"}, "INPUT: the path is empty"},
        {{"-i", "65", "--first-tone", "2", kModel, "images/dem/out.bmp"}, "--first-tone"},
        {{"-i", "65", "--table-unit", "5", kModel, "images/dem/out.bmp"}, "--table-unit"},
        {{"-i", "65", "--scale", "0", kModel, "images/dem/out.bmp"}, "--scale: 0 is not above 0"},
        {{"-i", "65", "--levels", "0", "1000", kModel, "images/dem/out.bmp"}, "--levels gives every level"},
        {{kModel, "images/dem/out.bmp", "--index-every", "0"}, "--index-every"},
        {{"-i", "65", "--palette", "rainbow", kModel, "images/dem/out.bmp"}, "--palette"},
        {{"-i", "65", "--palette", "distinct", kModel, "images/dem/out.raw"}, "a .raw image holds no colours"},
        {{"-i", "65", "--index-every", "2", kModel, "images/dem/out.raw"}, "--index-every: a .raw image holds no"},
        {{"-i", "65", kModel, "images/dem/.bmp"}, "OUTPUT images/dem/.bmp: the name has nothing before its extension"},
        {{"-i", "65", "--bogus", kModel, "images/dem/out.bmp"}, "--bogus: unknown option"},
        {{"-i", "65", "-off", "100", kModel, "images/dem/out.bmp"}, "-off: unknown option"},
    };
    ModelWorkspace ws;
    const std::set<std::string> before = ws.files();
    for (const auto& c : cases) {
        const e2e::Run run = ws.run_command(c.args);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(ws.files(), before) << c.message;
    }
}

TEST(CommandLine, HelpAndVersion)
{
    Workspace ws;
    const e2e::Run help = ws.run_command({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"Usage:", "INPUT", "OUTPUT", "--interval", "--min", "--max", "--first-tone",
                               "--table-unit", "--band", "--scale", "--table", "--palette", "--quiet", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const e2e::Run version = ws.run_command({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("isolines_trace_4 ", 0), 0u) << version.out;
}

// The same model and plan give the same files through the dialogue and the
// command line.
TEST(CommandLine, SameResultsAsTheDialogue)
{
    const struct {
        std::string answers;
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> same;  // dialogue's file, command line's file
    } cases[] = {
        {"dem himalaya 0 1 0 iso 1\n-5000 1 500 6000 1\n\n",
         {"-q", "-i", "500", "--min", "-5000", "--max", "6000", kModel, "images/dem/cli.bmp"},
         {{"iso.bmp", "cli.bmp"}, {"iso_tab.txt", "cli_tab.txt"}}},
        // Samples in decimeters, tones from 0, table with decimals, raw image.
        {"dem himalaya 0 1 1 iso 0\n-500 0 25.5 600 0\n",
         {"-i", "25.5", "--min", "-500", "--max", "600", "--first-tone", "0", "--table-unit", "0", "--scale", "0.1",
          kModel, "images/dem/cli.raw", "--table", "images/dem/table.txt"},
         {{"iso.raw", "cli.raw"}, {"iso.txt", "cli.txt"}, {"iso_tab.txt", "table.txt"}}},
        // ASCII grid; the defaults: from the first multiple of the interval
        // above the smallest altitude up to the largest.
        {"dem himalaya 1 iso 1\n-5000 1 500 6228.8125 4\n\n",
         {"-q", "--interval=500", "--table-unit", "4", "images/dem/himalaya.asc", "images/dem/cli.bmp"},
         {{"iso.bmp", "cli.bmp"}, {"iso_tab.txt", "cli_tab.txt"}}},
    };
    for (const auto& c : cases) {
        ModelWorkspace ws;
        ws.add_model("himalaya.asc", "himalaya.asc");
        ASSERT_EQ(ws.run(c.answers).status, 0) << c.answers;
        const e2e::Run run = ws.run_command(c.args);
        ASSERT_EQ(run.status, 0) << run.err;
        for (const auto& [dialogue, command_line] : c.same)
            EXPECT_TRUE(ws.result(dialogue) == ws.result(command_line)) << dialogue << " differs from " << command_line;
        EXPECT_TRUE(e2e::private_files(ws).empty());
    }
}

TEST(CommandLine, RunFailuresEndWithStatus1AndLeaveEarlierResults)
{
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"-i", "1", kModel, "images/dem/out.bmp"},
         "has 11435 levels, more than 250 (a .bmp result holds tones of 8 bits); write a .tif or .png, which hold "
         "16 bits, or try -i 50"},
#ifdef ISOLINES_WITH_GDAL
        {{"-i", "0.1", kModel, "images/dem/out.png"}, "has 114340 levels, more than 65534; try -i 0.2"},
#endif
        {{"-i", "10", "--min", "7000", kModel, "images/dem/out.bmp"}, "has no level; check --min and --max"},
        {{"-fl", "9000", "7000", kModel, "images/dem/out.bmp"},
         "the list of levels from 7000 to 9000 m has no level within the model's altitudes (-5205 to 6229 m)"},
        {{"-fl", "7000", kModel, "images/dem/out.bmp"},
         "the level 7000 m lies outside the model's altitudes (-5205 to 6229 m)"},
        {{"-i", "1e-320", kModel, "images/dem/out.bmp"}, "has more levels than can be counted"},
        {{"-i", "65", kModel, kModel}, "the result " + kModel + " is the model file " + kModel + "; choose"},
        {{"-i", "1e306", "--min", "-1e308", "--max", "1e308", "--table-unit", "1", kModel, "images/dem/out.bmp"},
         "the table unit 1 cannot hold the altitude -1e+308 m; leave out --table-unit"},
        {{"-i", "65", "images/dem/none.raw", "images/dem/out.bmp"}, "images/dem/none.txt: No such file or directory"},
        {{"-i", "65", "-b", "2", kModel, "images/dem/out.bmp"}, "has only band 1"},
        {{"-i", "500", "--scale", "0.1", "images/dem/himalaya.asc", "images/dem/out.bmp"},
         "the values of an ASCII grid are read as they stand"},
        {{"-i", "65", kModel, "images/dem/himalaya_m4.bmp", "--table", "images/dem/himalaya_m4.txt"},
         "is the model file"},
        {{"-i", "65", kModel, "images/dem/out.bmp", "--table", "images/out_tab.txt"}, "must lie in the folder of"},
        {{"-i", "65", kModel, "images/none/out.bmp"}, "cannot write images/none/out.bmp: No such file or directory"},
    };
    ModelWorkspace ws;
    ws.add_model("himalaya.asc", "himalaya.asc");
    ws.add_file("out.bmp", "earlier");
    const std::set<std::string> before = ws.files();
    for (const auto& c : cases) {
        const e2e::Run run = ws.run_command(c.args);
        EXPECT_EQ(run.status, 1) << c.message;
        EXPECT_NE(run.err.find("Error: "), std::string::npos);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(ws.files(), before) << c.message;
    }
    EXPECT_TRUE(ws.result("out.bmp") == "earlier") << "the earlier result was replaced";
}

// What the plan's table and the image's palette hold for plans a user of
// the command line writes: every level exactly in the table by default, and
// index levels in the image's own colours.
TEST(CommandLine, TablesHoldEveryLevelExactlyAndPalettesTheIndexLevels)
{
    const struct {
        std::vector<std::string> args;
        std::string table;                // the table written, or its first lines
        std::string palette_of_tones_1_2; // the bitmap's colours of tones 1 and 2 (BGR and a zero)
    } cases[] = {
        {{"-fl", "2", "2.5", "123.5", "-0.5"}, "1\t-0.5\n2\t2\n3\t2.5\n4\t123.5\n", std::string("\1\1\1\0\2\2\2\0", 8)},
        {{"-fl", "2", "2.5", "--table-unit", "1"}, "1\t2\n2\t2\n", std::string("\1\1\1\0\2\2\2\0", 8)},
        {{"-i", "1e306", "--min", "-1e308", "--max", "1e308"}, "1\t-1e+308\n2\t-9.9e+307\n", ""},
        {{"-i", "2000", "--min", "-4000", "--index-every", "2"}, "1\t-4000\n2\t-2000\n3\t0\n",
         std::string("\0\0\0\0\xa0\xa0\xa0\0", 8)},
    };
    for (const auto& c : cases) {
        ModelWorkspace ws;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-q", kModel, "images/dem/out.bmp"});
        const e2e::Run run = ws.run_command(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ws.result("out_tab.txt").substr(0, c.table.size()), c.table);
        // A bitmap's palette follows its 54-byte headers, 4 bytes a tone.
        if (!c.palette_of_tones_1_2.empty()) {
            EXPECT_EQ(ws.result("out.bmp").substr(58, 8), c.palette_of_tones_1_2);
        }
    }
}

// Beside a bitmap made from an ASCII grid: a world file from the header (cell
// size, rotation, centre of the top-left cell) and the grid's projection.
TEST(CommandLine, AnAsciiGridsPositionAndPrjGoBesideABitmap)
{
    Workspace ws;
    ws.add_file("g.asc", small_grid("xllcorner 500000.5\nyllcorner 4100000.25\ncellsize 30\n"));
    ws.add_file("g.prj", kUtm32Prj);
    const std::string world = "30\n0\n0\n-30\n500015.5\n4100345.25\n";
    ASSERT_EQ(ws.run_command({"-q", "-i", "5", "images/dem/g.asc", "out.bmp"}).status, 0);
    EXPECT_EQ(e2e::read_file(ws.root() / "out.bpw"), world);
    EXPECT_EQ(e2e::read_file(ws.root() / "out.prj"), kUtm32Prj);
    // Beside its grid under the grid's name, the result's style would become
    // the grid's in a GIS: refused, the grid's files as they were.
    const std::set<std::string> before = ws.files();
    const e2e::Run beside = ws.run_command({"-i", "5", "images/dem/g.asc", "images/dem/g.bmp"});
    EXPECT_EQ(beside.status, 1);
    EXPECT_EQ(beside.err, "Error: the model images/dem/g.asc and images/dem/g.bmp share their name: g.qml would serve "
                          "both; give images/dem/g.bmp another name\n");
    EXPECT_EQ(ws.files(), before);
}

// A .prj beside the grid that cannot be read ends the run before any result.
TEST(CommandLine, AnUnreadablePrjIsRefusedByName)
{
    const struct {
        const char* kind;
        std::string message;
    } cases[] = {
        {"folder", "Error: cannot read the projection images/dem/g.prj: Is a directory\n"},
        {"no read permission", "Error: cannot read the projection images/dem/g.prj: Permission denied\n"},
#ifdef ISOLINES_WITH_GDAL
        // Without GDAL the text is carried as it stands.
        {"not a projection", "Error: images/dem/g.prj: GDAL does not understand the projection it holds"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        Workspace ws;
        ws.add_file("g.asc", small_grid("xllcorner 0\nyllcorner 0\ncellsize 30\n"));
        const fs::path prj = ws.model_folder() / "g.prj";
        int user = -1;
        if (std::string(c.kind) == "folder") {
            fs::create_directory(prj);
        } else if (std::string(c.kind) == "not a projection") {
            ws.add_file("g.prj", "PROJCS[\"cut short\"");
        } else {
            ws.add_file("g.prj", kUtm32Prj);
            chmod(prj.c_str(), 0);
            // The superuser reads anything, so the program then runs as nobody.
            if (geteuid() == 0) {
                user = 65534;
                for (const fs::path& p : {ws.root(), ws.root() / "images", ws.model_folder()})
                    fs::permissions(p, fs::perms::all, fs::perm_options::add);
            }
        }
        const std::set<std::string> before = ws.files();
        const e2e::Run run =
            ws.run("", 60, "", user, {"-q", "-i", "5", "images/dem/g.asc", "images/dem/out.bmp"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
        EXPECT_EQ(ws.files(), before);
    }
}

#ifdef ISOLINES_WITH_GDAL

using e2e::gdal_tool;
using e2e::gdal_tests_can_run;

TEST(CommandLineGdal, GeoTiffGivesTheRawModelsBytesAndKeepsItsGeoreference)
{
    if (!gdal_tests_can_run()) GTEST_SKIP() << "needs a build with GDAL, python3-gdal and python3-pil";
    ModelWorkspace ws;
    gdal_tool(ws, "tif " + kModel + " model.tif");
    const std::vector<std::string> plan{"-q", "-i", "250", "--min", "-5000", "--max", "6000"};
    const auto run = [&](const std::string& input, const std::string& output, const std::string& palette) {
        std::vector<std::string> args = plan;
        args.insert(args.end(), {"--palette", palette, input, output});
        const e2e::Run result = ws.run_command(args);
        EXPECT_EQ(result.status, 0) << result.err;
    };
    run(kModel, "raw.bmp", "gray");
    // One name per format: images of one stem would share their table and style.
    for (const char* output : {"gray.bmp", "gray_png.png", "gray_tif.tif"}) run("model.tif", output, "gray");
    for (const char* output : {"distinct.bmp", "distinct_png.png", "distinct_tif.tif"})
        run("model.tif", output, "distinct");
    EXPECT_TRUE(e2e::read_file(ws.root() / "raw.bmp") == e2e::read_file(ws.root() / "gray.bmp"));
    EXPECT_EQ(e2e::read_file(ws.root() / "raw_tab.txt"), e2e::read_file(ws.root() / "gray_tab.txt"));
    EXPECT_EQ(gdal_tool(ws, "pixels raw.bmp gray_png.png gray_tif.tif distinct.bmp distinct_png.png distinct_tif.tif"),
              "same\n");
    for (const char* output : {"gray_tif.tif", "distinct_tif.tif"})
        EXPECT_EQ(gdal_tool(ws, std::string("georef model.tif ") + output), "same\n") << output;
    // Beside a BMP or PNG: a world file (cell size, rotation, centre of the
    // top-left cell) and the projection.
    EXPECT_EQ(e2e::read_file(ws.root() / "gray_png.pgw"),
              "0.25\n0\n0\n-0.25\n80.125\n29.875\n");
    EXPECT_EQ(e2e::read_file(ws.root() / "gray.bpw"), e2e::read_file(ws.root() / "gray_png.pgw"));
    EXPECT_EQ(e2e::read_file(ws.root() / "gray.prj").rfind("GEOGCS[\"GCS_WGS_1984\"", 0), 0u);
    EXPECT_FALSE(fs::exists(ws.root() / "raw.bpw")) << "a model without georeference has no world file";

    const e2e::Run band = ws.run_command({"-i", "250", "-b", "2", "model.tif", "band.bmp"});
    EXPECT_EQ(band.status, 1);
    EXPECT_EQ(band.err, "Error: model.tif: there is no band 2 (the raster has 1)\n");
}

// The real relief tiled three times each way, a raw model of several blocks
// of rows, as a GeoTIFF of 32-bit integers: a plan of exactly 250 levels gives
// the bytes of the dialogue on the raw model.
TEST(CommandLineGdal, TiledReliefGeoTiffGivesTheDialoguesBytesAt250Levels)
{
    if (!gdal_tests_can_run()) GTEST_SKIP() << "needs a build with GDAL, python3-gdal and python3-pil";
    Workspace ws;
    ws.add_tiled_raw("himalaya_m4", "relief_m4", 3, 3);
    gdal_tool(ws, "tif images/dem/relief_m4.raw relief.tif");
    const std::string plan = "-5200 1 45.8 6229 1\n\n";
    const e2e::Run dialogue = ws.run("dem relief 0 1 0 iso 1\n" + plan);
    ASSERT_EQ(dialogue.status, 0) << dialogue.err;
    EXPECT_NE(dialogue.out.find("the resulting image will have 250 contour lines"), std::string::npos);
    const e2e::Run run = ws.run_command({"-i", "45.8", "--min", "-5200", "--max", "6229", "--table-unit", "1", "relief.tif", "out.bmp"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(e2e::read_file(ws.model_folder() / "iso.bmp") == e2e::read_file(ws.root() / "out.bmp"));
    EXPECT_TRUE(e2e::read_file(ws.model_folder() / "iso_tab.txt") == e2e::read_file(ws.root() / "out_tab.txt"));
}

// The real relief tiled six times down (720 rows: five stripes of at least
// 128 rows) traced every 10 m, 1,143 levels in tones of two bytes, on 1, 2,
// 3 and 5 threads: the same PNG every time, holding the reference engine's
// tones. A strip of plateau at 1000 m replaces the last 8 columns, and a
// trench one cell wide at 900 m runs down its middle from row 20 to row 699:
// its contour, an open vertical line, is eaten by the spur pass from its top
// end down. A stripe's own run, which starts 64 rows above the stripe inside
// the trench, keeps the line; so the repair of every seam must rewrite the
// trench's rows below it.
TEST(CommandLineGdal, TallReliefOf1143LevelsGivesTheReferenceTonesOnAnyNumberOfThreads)
{
    if (!gdal_tests_can_run()) GTEST_SKIP() << "needs a build with GDAL, python3-gdal and python3-pil";
    Workspace ws;
    ws.add_tiled_raw("himalaya_m4", "relief_m4", 6, 1);
    const std::string bytes = e2e::read_file(ws.model_folder() / "relief_m4.raw");
    const int32_t rows = 720, columns = 160;
    ASSERT_EQ(bytes.size(), size_t{rows} * columns * 4);
    std::vector<int32_t> samples(size_t{rows} * columns);
    std::memcpy(samples.data(), bytes.data(), bytes.size());
    for (int32_t i = 0; i < rows; ++i)
        for (int32_t j = columns - 8; j < columns; ++j)
            samples[size_t(i) * columns + j] = j == columns - 5 && i >= 20 && i < 700 ? 900 : 1000;
    ws.add_file("relief_m4.raw", std::string(reinterpret_cast<const char*>(samples.data()), bytes.size()));

    for (const std::string threads : {"1", "2", "3", "5"}) {
        const std::string result = "t" + threads + ".png";
        const e2e::Run run = ws.run_command(
            {"-q", "-i", "10", "--min", "-5200", "--threads", threads, "images/dem/relief_m4.raw", result});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(e2e::read_file(ws.root() / "t1.png") == e2e::read_file(ws.root() / result)) << threads << " threads";
    }

    const test_models::Model m = test_models::model(
        rows, columns, [&](int32_t i, int32_t j) { return double(samples[size_t(i) * columns + j]); });
    const test_models::Plan p = test_models::plan(-5200, 10, m.max_alt, 1, m.max_alt);
    ASSERT_EQ(p.level_count, 1143);
    Grid<uint16_t> expected = make_grid<uint16_t>(columns, rows, "expected");
    extract_contours_reference(ExtractionInput{m.grid.rows(), rows, columns, &p.levels, 1, p.level_count, p.highest},
                               expected.rows());
    gdal_tool(ws, "tones t1.png t1.tones");
    const std::string tones = e2e::read_file(ws.root() / "t1.tones");
    ASSERT_EQ(tones.size(), size_t{rows} * columns * 2);
    Grid<uint16_t> actual = make_grid<uint16_t>(columns, rows, "actual");
    for (int32_t i = 0; i < rows; ++i) std::memcpy(actual[i], tones.data() + size_t(i) * columns * 2, columns * 2);
    int64_t lines = 0;
    EXPECT_EQ(test_models::first_difference(expected.rows(), actual.rows(), rows, columns, lines), "");
    EXPECT_GT(lines, 50000);
    // The trench's line, which every seam cuts, is gone from the true result.
    for (int32_t i = 20; i < 700; ++i) ASSERT_EQ(expected[i][columns - 5], 65535) << "the trench at row " << i;
}

TEST(CommandLineGdal, Signed16BitGeoTiffWithGapsReportsItsTrueRange)
{
    if (!gdal_tests_can_run()) GTEST_SKIP() << "needs a build with GDAL, python3-gdal and python3-pil";
    ModelWorkspace ws;
    std::istringstream expected(gdal_tool(ws, "gaps " + kModel + " gaps.tif"));
    int lowest = 0, highest = 0;
    long gaps = 0;
    expected >> lowest >> highest >> gaps;
    ASSERT_LT(lowest, -1000);
    const e2e::Run run = ws.run_command({"-i", "500", "gaps.tif", "lines.bmp"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string report = "gaps.tif: 120 lines x 160 columns, altitudes " + std::to_string(lowest) +
                               " to " + std::to_string(highest) + " m, " + std::to_string(gaps) +
                               " cells without data\n";
    EXPECT_EQ(run.out.rfind(report, 0), 0u) << run.out;
}

// An ASCII grid's header places its GeoTIFF, PNG or BMP result where GDAL
// places the grid itself, with the projection of the .prj beside the grid.
TEST(CommandLineGdal, AnAsciiGridsResultsLieWhereGdalPlacesTheGrid)
{
    if (!gdal_tests_can_run()) GTEST_SKIP() << "needs a build with GDAL, python3-gdal and python3-pil";
    const struct {
        std::string position;
        bool prj;
    } cases[] = {
        {"xllcorner 500000.5\nyllcorner 4100000.25\ncellsize 30\n", true},
        {"XLLCENTER 500000.5\nYLLCENTER 4100000.25\nCELLSIZE 30\nNODATA_value -9999\n", true},
        {"xllcorner -0.1\nyllcorner 0.7\ndx 0.3\ndy 0.2\n", true},
        {"xllcenter 0.1\nyllcenter 0.7\ndx 0.3\ndy 0.2\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        Workspace ws;
        ws.add_file("g.asc", small_grid(c.position));
        if (c.prj) ws.add_file("g.prj", kUtm32Prj);
        for (const char* output : {"t.tif", "p.png", "b.bmp"}) {
            const e2e::Run run = ws.run_command({"-q", "-i", "5", "images/dem/g.asc", output});
            EXPECT_EQ(run.status, 0) << run.err;
        }
        EXPECT_EQ(gdal_tool(ws, "georef images/dem/g.asc t.tif p.png b.bmp"), "same\n");
        EXPECT_EQ(fs::exists(ws.root() / "p.prj"), c.prj);
    }
}

// A .png result streams through a scratch GeoTIFF beside it, a .tif
// straight into its file: no run leaves either behind, not a run that fails
// on a full disk (a GeoTIFF's at its first tiles, or after some of them
// while the stripes still run), and not a killed run (the next run in the
// folder removes them).
TEST(CommandLineGdal, NoRunLeavesItsScratchFile)
{
    const struct {
        std::string name, model, limit, threads;
    } cases[] = {
        {"out.tif", kModel, "ulimit -f 8;", "2"},
        {"out.png", kModel, "ulimit -f 8;", "2"},
        {"out.tif", "images/dem/relief_m4.raw", "ulimit -f 64;", "2"},  // 720 x 960, with an overview
        // Tiles of many stripes written in one another's calls: every call
        // after the failed write fails, and gives the first one's reason.
        {"out.tif", "images/dem/relief_m4.raw", "ulimit -f 30;", "7"},
    };
    for (const auto& [name, model, limit, threads] : cases) {
        SCOPED_TRACE(name + " of " + model);
        ModelWorkspace ws;
        ws.add_tiled_raw("himalaya_m4", "relief_m4", 6, 6);
        ws.add_file(name, "earlier");
        const std::set<std::string> before = ws.files();
        const std::vector<std::string> args{"-q", "--threads", threads, "-i", "250", model, "images/dem/" + name};
        // The image does not fit under the file-size limit: the reason is the system's.
        const e2e::Run full = ws.run("", 60, limit, -1, args);
        EXPECT_EQ(full.status, 1);
        EXPECT_EQ(full.err.rfind("Error: cannot write images/dem/" + name + ": ", 0), 0u) << full.err;
        EXPECT_NE(full.err.find("File too large"), std::string::npos) << full.err;
        EXPECT_EQ(ws.files(), before);
        EXPECT_EQ(ws.result(name), "earlier");

        // Killed at the sync of the written image, the scratch file still there.
        const e2e::Run killed = ws.run("", 60, e2e::with_fault("IT4_KILL_AT_FSYNC=2"), -1, args);
        EXPECT_EQ(killed.status, 128 + SIGKILL);
        const std::set<std::string> left = e2e::private_files(ws);
        EXPECT_EQ(std::count_if(left.begin(), left.end(), [](const std::string& f) { return f.ends_with(".tmp"); }), 5)
            << "the image, the scratch file, the .aux.xml, the style and the table";
        const e2e::Run next = ws.run_command(args);
        EXPECT_EQ(next.status, 0) << next.err;
        EXPECT_TRUE(e2e::private_files(ws).empty());
    }
}

// The result is not held in memory: under an address-space limit of 342 MiB,
// a model of 100 million cells gives its GeoTIFF and PNG (a run that held the
// result whole, as a grid and as GDAL's copy of it, needed over 390 MiB; a run
// with GDAL loaded takes about 250 MiB of address space).
TEST(CommandLineGdal, AResultLargerThanTheMemoryLimitIsWritten)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer needs more address space than the limit leaves";
#endif
    Workspace ws;
    ws.add_file("flat_m2.txt", "10000\n10000\n2\n0\n0\n30\n");
    ws.add_file("flat_m2.raw", "");
    fs::resize_file(ws.model_folder() / "flat_m2.raw", 200000000);  // sparse: no disk taken
    for (const char* output : {"images/dem/flat_t.tif", "images/dem/flat_p.png"}) {
        const e2e::Run run =
            ws.run("", 120, "ulimit -v 350000;", -1, {"-q", "-i", "10", "images/dem/flat_m2.raw", output});
        EXPECT_EQ(run.status, 0) << output << ": " << run.err;
        EXPECT_TRUE(fs::exists(ws.root() / output)) << output;
    }
    EXPECT_TRUE(e2e::private_files(ws).empty());
}

TEST(CommandLineGdal, ARasterGdalCannotReadIsRefusedByName)
{
    ModelWorkspace ws;
    ws.add_file("bad.tif", "not a raster");
    const e2e::Run run = ws.run_command({"-i", "65", "images/dem/bad.tif", "out.tif"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("Error: images/dem/bad.tif: not a raster GDAL can read", 0), 0u) << run.err;
    EXPECT_FALSE(fs::exists(ws.root() / "out.tif"));
}

#else

// A build without GDAL refuses other formats clearly; the tests above need GDAL.
TEST(CommandLineGdal, ABuildWithoutGdalRefusesOtherFormats)
{
    ModelWorkspace ws;
    const e2e::Run output = ws.run_command({"-i", "500", kModel, "out.tif"});
    EXPECT_EQ(output.status, 2);
    EXPECT_NE(output.err.find("this build has no GDAL"), std::string::npos) << output.err;
    ws.add_file("model.tif", "any bytes");
    const e2e::Run input = ws.run_command({"-i", "500", "images/dem/model.tif", "out.bmp"});
    EXPECT_EQ(input.status, 1);
    EXPECT_EQ(input.err,
              "Error: images/dem/model.tif: this build reads and writes only .raw, .asc and .bmp files (it was built "
              "without GDAL)\n");
    GTEST_SKIP() << "GeoTIFF, PNG and georeference tests need a build with GDAL";
}

#endif
