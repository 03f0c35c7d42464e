// The program run from its command line: usage errors, help, the same
// results as the dialogue, failures of a run, and rasters read and written
// through GDAL.
#include "harness.h"

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
        {{"-i", "nan", kModel, "images/dem/out.bmp"}, "nan is not a finite number"},
        {{"-i", "65", "--max", "inf", kModel, "images/dem/out.bmp"}, "inf is not a finite number"},
        {{"-i", "6x5", kModel, "images/dem/out.bmp"}, "6x5"},
        {{"-i", "65", kModel, "images/dem/out.jpg"}, "OUTPUT images/dem/out.jpg: the extension must be"},
        {{"-i", "65", "--first-tone", "2", kModel, "images/dem/out.bmp"}, "--first-tone"},
        {{"-i", "65", "--table-unit", "5", kModel, "images/dem/out.bmp"}, "--table-unit"},
        {{"-i", "65", "--scale", "0.5", kModel, "images/dem/out.bmp"}, "--scale: 0.500000 is none of 1, 0.1"},
        {{"-i", "65", "--palette", "rainbow", kModel, "images/dem/out.bmp"}, "--palette"},
        {{"-i", "65", "--palette", "distinct", kModel, "images/dem/out.raw"}, "a .raw image holds no colours"},
        {{"-i", "65", "--bogus", kModel, "images/dem/out.bmp"}, "--bogus"},
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
        {{"-i", "1", kModel, "images/dem/out.bmp"}, "has 11435 levels, more than 250; try -i 50.000000"},
        {{"-i", "10", "--min", "7000", kModel, "images/dem/out.bmp"}, "has no level; check --min and --max"},
        {{"-i", "65", "images/dem/none.raw", "images/dem/out.bmp"}, "images/dem/none.txt: No such file or directory"},
        {{"-i", "65", "-b", "2", kModel, "images/dem/out.bmp"}, "has only band 1"},
        {{"-i", "500", "--scale", "0.1", "images/dem/himalaya.asc", "images/dem/out.bmp"},
         "the values of an ASCII grid are read as meters"},
        {{"-i", "65", kModel, "images/dem/himalaya_m4.bmp", "--table", "images/dem/himalaya_m4.txt"},
         "is the model file"},
        {{"-i", "65", kModel, "images/dem/out.bmp", "--table", "images/out_tab.txt"}, "must lie in the folder of"},
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

#ifdef ISOLINES_WITH_GDAL

namespace {

// Runs gdal_tool.py in the workspace's root and returns what it printed.
std::string gdal_tool(const Workspace& ws, const std::string& args)
{
    const fs::path out = ws.root() / ".tool";
    const std::string command = "cd '" + ws.root().string() + "' && /usr/bin/python3 '" +
                                std::string(ISOLINES_E2E_DIR) + "/gdal_tool.py' " + args + " > .tool 2>&1";
    const int status = std::system(command.c_str());
    const std::string printed = e2e::read_file(out);
    EXPECT_EQ(status, 0) << command << "\n" << printed;
    return printed;
}

bool gdal_tools_present()
{
    return std::system("/usr/bin/python3 -c 'import osgeo.gdal, PIL' > /dev/null 2>&1") == 0;
}

}  // namespace

TEST(CommandLineGdal, GeoTiffGivesTheRawModelsBytesAndKeepsItsGeoreference)
{
    if (!gdal_tools_present()) GTEST_SKIP() << "needs python3-gdal and python3-pil";
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
    for (const char* output : {"gray.bmp", "gray.png", "gray.tif"}) run("model.tif", output, "gray");
    for (const char* output : {"distinct.bmp", "distinct.png", "distinct.tif"}) run("model.tif", output, "distinct");
    EXPECT_TRUE(e2e::read_file(ws.root() / "raw.bmp") == e2e::read_file(ws.root() / "gray.bmp"));
    EXPECT_EQ(e2e::read_file(ws.root() / "raw_tab.txt"), e2e::read_file(ws.root() / "gray_tab.txt"));
    EXPECT_EQ(gdal_tool(ws, "pixels raw.bmp gray.png gray.tif distinct.bmp distinct.png distinct.tif"), "same\n");
    for (const char* output : {"gray.tif", "distinct.tif"})
        EXPECT_EQ(gdal_tool(ws, std::string("georef model.tif ") + output), "same\n") << output;
    // Beside a BMP or PNG: a world file (cell size, rotation, centre of the
    // top-left cell) and the projection.
    EXPECT_EQ(e2e::read_file(ws.root() / "gray.pgw"),
              "0.2500000000\n0.0000000000\n0.0000000000\n-0.2500000000\n80.1250000000\n29.8750000000\n");
    EXPECT_EQ(e2e::read_file(ws.root() / "gray.bpw"), e2e::read_file(ws.root() / "gray.pgw"));
    EXPECT_EQ(e2e::read_file(ws.root() / "gray.prj").rfind("GEOGCS[\"GCS_WGS_1984\"", 0), 0u);
    EXPECT_FALSE(fs::exists(ws.root() / "raw.bpw")) << "a model without georeference has no world file";
    EXPECT_FALSE(fs::exists(ws.root() / "gray.tif.aux.xml"));

    const e2e::Run band = ws.run_command({"-i", "250", "-b", "2", "model.tif", "band.bmp"});
    EXPECT_EQ(band.status, 1);
    EXPECT_EQ(band.err, "Error: model.tif: there is no band 2 (the raster has 1)\n");
}

// The real relief as a GeoTIFF of 32-bit integers gives the bytes of the
// dialogue on the raw model.
TEST(CommandLineGdal, EtopoGeoTiffGivesTheDialoguesBytes)
{
    const fs::path shared = ISOLINES_SHARED_DATA;
    if (!fs::exists(shared / "etopo20_m4.raw")) GTEST_SKIP() << "no " << shared / "etopo20_m4.raw";
    if (!gdal_tools_present()) GTEST_SKIP() << "needs python3-gdal and python3-pil";
    Workspace ws;
    for (const char* name : {"etopo20_m4.raw", "etopo20_m4.txt"}) fs::copy_file(shared / name, ws.model_folder() / name);
    gdal_tool(ws, "tif images/dem/etopo20_m4.raw etopo.tif");
    ASSERT_EQ(ws.run("dem etopo20 0 1 0 iso 1\n-10000 1 65 6185 1\n\n").status, 0);
    const e2e::Run run = ws.run_command({"-i", "65", "--min", "-10000", "--max", "6185", "etopo.tif", "out.bmp"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(e2e::read_file(ws.model_folder() / "iso.bmp") == e2e::read_file(ws.root() / "out.bmp"));
    EXPECT_TRUE(e2e::read_file(ws.model_folder() / "iso_tab.txt") == e2e::read_file(ws.root() / "out_tab.txt"));
}

TEST(CommandLineGdal, Signed16BitGeoTiffWithGapsReportsItsTrueRange)
{
    if (!gdal_tools_present()) GTEST_SKIP() << "needs python3-gdal and python3-pil";
    ModelWorkspace ws;
    std::istringstream expected(gdal_tool(ws, "gaps " + kModel + " gaps.tif"));
    int lowest = 0, highest = 0;
    long gaps = 0;
    expected >> lowest >> highest >> gaps;
    ASSERT_LT(lowest, -1000);
    const e2e::Run run = ws.run_command({"-i", "500", "gaps.tif", "gaps.bmp"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string report = "gaps.tif: 120 lines x 160 columns, altitudes " + std::to_string(lowest) +
                               ".000000 to " + std::to_string(highest) + ".000000 m, " + std::to_string(gaps) +
                               " cells without data\n";
    EXPECT_EQ(run.out.rfind(report, 0), 0u) << run.out;
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
