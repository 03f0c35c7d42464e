// The opening dialogue and the model readers, run through the real program.
// The answers stop where the level plan begins, so every run ends there with
// the end-of-input message; what was printed and written up to that point is
// compared byte for byte.
#include "harness.h"

#include <cmath>
#include <cstdio>

namespace {

using e2e::Workspace;

TEST(Opening, Raw16WithDescriptor)
{
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    ws.add_model("land_m2.txt", "land_m2.txt");
    const auto run = ws.run("dem\nland\n0\n0\n0\niso\n1\n");
    EXPECT_EQ(run.status, 1);
    e2e::expect_case("raw16_with_descriptor", ws, run, {});
    // The run did not complete: no result file and no temporary file remain.
    EXPECT_EQ(ws.files(), (std::set<std::string>{"land_m2.raw", "land_m2.txt"}));
}

TEST(Opening, Raw32WithoutDescriptorCreatesItThenReadsIt)
{
    Workspace ws;
    ws.add_model("himalaya_m4.raw", "himalaya_m4.raw");
    const auto first = ws.run("dem himalaya 0 1 120 160 37000 1 iso 0\n");
    EXPECT_EQ(first.status, 1);
    e2e::expect_case("raw32_new_descriptor", ws, first, {"himalaya_m4.txt"});
    EXPECT_EQ(ws.files(), (std::set<std::string>{"himalaya_m4.raw", "himalaya_m4.txt"}));

    // The second run reads the descriptor and asks none of the three questions.
    const auto second = ws.run("dem himalaya 0 1 1 iso 0\n");
    EXPECT_EQ(second.status, 1);
    e2e::expect_case("raw32_descriptor_read", ws, second, {});
}

TEST(Opening, AsciiGrid)
{
    Workspace ws;
    ws.add_model("himalaya.asc", "himalaya.asc");
    const auto run = ws.run("dem himalaya 1 iso 1\n");
    EXPECT_EQ(run.status, 1);
    e2e::expect_case("ascii_grid", ws, run, {});
}

TEST(Opening, MenusAskAgainOutsideTheirChoices)
{
    // Format 2, -1 and a word; width 5; unit 4 and -2; image type 3 and -1.
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    ws.add_model("land_m2.txt", "land_m2.txt");
    const auto run = ws.run("dem land 2 -1 x 0 5 0 4 -2 0 iso 3 -1 0\n");
    EXPECT_EQ(run.status, 1);
    e2e::expect_case("menus_ask_again", ws, run, {});
}

TEST(Opening, ZeroPixelSizeIsAskedAgainButNotStored)
{
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    const auto run = ws.run("dem land 0 0 60 90 0 0 25 iso 0\n");
    EXPECT_EQ(run.status, 1);
    e2e::expect_case("zero_pixel_size", ws, run, {"land_m2.txt"});
}

TEST(Opening, AsciiCellSizeBelowOneMeterAsksForThePixelSize)
{
    // The cell size truncated to whole meters is the pixel size; below 1 m
    // that is 0, and the pixel size is asked (here answered 7).
    struct Case {
        const char* cell_size;
        bool asked;
        const char* pixel_size;
    };
    for (const Case& c : {Case{"0.999999", true, "7"}, Case{"1", false, "1"}, Case{"1.999", false, "1"}}) {
        Workspace ws;
        ws.add_file("tiny.asc", std::string("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize ") + c.cell_size +
                                    "\n1 2 3\n4 5 6\n");
        const auto run = ws.run(std::string("dem tiny 1 ") + (c.asked ? "7 " : "") + "iso 0\n0 1 1 5 1\n");
        EXPECT_EQ(run.status, 0) << c.cell_size << run.err;
        EXPECT_EQ(run.out.find("Pixel Size (in meters) ? ") != std::string::npos, c.asked) << c.cell_size;
        EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.txt"), std::string("2\n3\n1\n0\n6\n") + c.pixel_size + "\n")
            << c.cell_size;
    }
}

TEST(Opening, MissingModelEndsAfterOneKey)
{
    Workspace ws;
    const auto run = ws.run("dem nothere 1\nk");
    EXPECT_EQ(run.status, 1);
    e2e::expect_case("missing_model", ws, run, {});
    EXPECT_TRUE(ws.files().empty());
}

TEST(Opening, ClosedInputEndsAtOnce)
{
    Workspace ws;
    const auto run = ws.run("", 10);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 1);
    e2e::expect_case("closed_input", ws, run, {});
}

TEST(Opening, ShortRawModelIsRefusedWithBothSizes)
{
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    ws.add_file("land_m2.txt", "61\n90\n2\n0\n0\n111000\n");  // one line more than the file holds
    const auto run = ws.run("dem land 0 0\n");
    EXPECT_EQ(run.status, 1);
    e2e::expect_case("short_raw_model", ws, run, {});

    // A descriptor promising far more than the file is refused at once.
    ws.add_file("land_m2.txt", "100000\n100000\n2\n0\n0\n1\n");
    const auto huge = ws.run("dem land 0 0\n", 10);
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find("land_m2.raw"), std::string::npos) << huge.err;
}

TEST(Opening, ImpossibleSizesAreRefused)
{
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    for (const char* sizes : {"0 90", "60 0", "-60 90", "60 -90"}) {
        const auto run = ws.run(std::string("dem land 0 0 ") + sizes + " 25\n", 10);
        EXPECT_EQ(run.status, 1) << sizes;
        EXPECT_NE(run.err.find("images/dem/land_m2.raw"), std::string::npos) << sizes << ": " << run.err;
        EXPECT_EQ(ws.files(), (std::set<std::string>{"land_m2.raw"})) << sizes;
    }
}

TEST(Opening, BathymetricModelReportsItsTrueRange)
{
    // Four 32-bit samples, all below sea level.
    Workspace ws;
    const std::string samples("\x18\xfc\xff\xff\x0c\xfe\xff\xff\x9c\xff\xff\xff\x30\xf8\xff\xff", 16);
    ws.add_file("deep_m4.raw", samples);
    const auto run = ws.run("dem deep 0 1 2 2 10 0 iso 0\n");
    EXPECT_EQ(run.status, 1);
    e2e::expect_case("bathymetric_model", ws, run, {"deep_m4.txt"});
}

TEST(Opening, BadAsciiValueNamesRowAndColumn)
{
    Workspace ws;
    ws.add_file("bad.asc", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 10\n1 2 3\n4 x5 6\n");
    const auto run = ws.run("dem bad 1 iso 0\n");
    EXPECT_EQ(run.status, 1);
    e2e::expect_case("bad_ascii_value", ws, run, {});
}

TEST(Opening, ModelFolderThatIsAFileOrMissing)
{
    Workspace ws;
    ws.add_file("dir.asc", "");
    std::filesystem::remove(ws.model_folder() / "dir.asc");
    std::filesystem::create_directory(ws.model_folder() / "dir.asc");
    const auto run = ws.run("dem dir 1\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("images/dem/dir.asc"), std::string::npos) << run.err;

    const auto missing_folder = ws.run("nofolder dem 1\n");
    EXPECT_EQ(missing_folder.status, 1);
    EXPECT_NE(missing_folder.out.find("File images/nofolder/dem.asc unknown"), std::string::npos);
}

}  // namespace

namespace {

TEST(Opening, NamesOfAnyLengthAreSafe)
{
    // Far longer than any fixed path buffer: a model or result name the
    // system refuses is reported by name with the system's reason.
    e2e::Workspace ws;
    const std::string long_name(300, 'm');
    const auto missing = ws.run("dem " + long_name + " 1\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("images/dem/" + long_name + ".asc: File name too long"), std::string::npos)
        << missing.err;

    ws.add_file("ramp.asc", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 5\n1 2 3\n4 5 6\n");
    const auto refused = ws.run("dem ramp 1 " + long_name + " 0\n");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("cannot create images/dem/" + long_name + "_tab.txt"), std::string::npos)
        << refused.err;
    EXPECT_EQ(ws.files(), (std::set<std::string>{"ramp.asc"}));
}

}  // namespace

namespace {

// The same real relief as an ASCII grid and as its raw copy rounded to whole
// meters reports the same range.
TEST(Opening, RealModelsLoadInBothFormatsWithTheSameRange)
{
    e2e::Workspace ws;
    ws.add_model("himalaya.asc", "himalaya.asc");
    ws.add_model("himalaya_m4.raw", "himalaya_m4.raw");
    ws.add_model("himalaya_m4.txt", "himalaya_m4.txt");
    const auto ascii = ws.run("dem himalaya 1 iso 0\n");
    const auto raw = ws.run("dem himalaya 0 1 0 iso 0\n");
    const std::string range = "Dynamic scale in meters : \n\t\tMin. = ";
    const auto ascii_at = ascii.out.find(range), raw_at = raw.out.find(range);
    ASSERT_NE(ascii_at, std::string::npos) << ascii.err;
    ASSERT_NE(raw_at, std::string::npos) << raw.err;
    double ascii_min = 0, ascii_max = 0, raw_min = 0, raw_max = 0;
    ASSERT_EQ(std::sscanf(ascii.out.c_str() + ascii_at + range.size(), "%lf\tMax. = %lf", &ascii_min, &ascii_max), 2);
    ASSERT_EQ(std::sscanf(raw.out.c_str() + raw_at + range.size(), "%lf\tMax. = %lf", &raw_min, &raw_max), 2);
    EXPECT_EQ(std::round(ascii_min), raw_min);
    EXPECT_EQ(std::round(ascii_max), raw_max);
    EXPECT_NE(ascii.out.find("120 LINES"), std::string::npos);
    EXPECT_NE(raw.out.find("160 COLUMNS"), std::string::npos);
}

}  // namespace
