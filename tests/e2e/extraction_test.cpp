// Whole runs of the program, from the model to the finished contour image.
#include "harness.h"

#include <algorithm>

namespace {

using e2e::Workspace;

// A 7 x 7 model: altitude 10 on rows 2 to 4, columns 2 to 4, and 50
// elsewhere. At level 20 the block's rim thins to a four-pixel diamond.
const char* kBlockModel =
    "ncols 7\nnrows 7\nxllcorner 0\nyllcorner 0\ncellsize 25\nNODATA_value -9999\n"
    "50 50 50 50 50 50 50\n50 50 50 50 50 50 50\n50 50 10 10 10 50 50\n50 50 10 10 10 50 50\n"
    "50 50 10 10 10 50 50\n50 50 50 50 50 50 50\n50 50 50 50 50 50 50\n";

TEST(Extraction, DiamondAsRawResult)
{
    Workspace ws;
    ws.add_file("block.asc", kBlockModel);
    // One level at 20 m, first tone 1, table in whole meters.
    const auto run = ws.run("dem block 1 iso 0\n20 1 10 20 1\nk");
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("diamond_raw", ws, run, {"iso.raw", "iso.txt", "iso_tab.txt"});

    std::string expected(49, '\xff');
    for (int cell : {2 * 7 + 3, 3 * 7 + 2, 3 * 7 + 4, 4 * 7 + 3}) expected[static_cast<size_t>(cell)] = 1;
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.raw"), expected);
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.txt"), "7\n7\n1\n0\n1\n25\n");
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "1\t20\n");
    EXPECT_EQ(ws.files(), (std::set<std::string>{"block.asc", "iso.raw", "iso.txt", "iso_tab.txt"}));
}

TEST(Extraction, DiamondAsBitmap)
{
    Workspace ws;
    ws.add_file("block.asc", kBlockModel);
    const auto run = ws.run("dem block 1 iso 1\n20 0 10 20 0\n");
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("diamond_bitmap", ws, run, {"iso.bmp", "iso_tab.txt"});
    const std::string bmp = e2e::read_file(ws.model_folder() / "iso.bmp");
    ASSERT_EQ(bmp.size(), 1078u + 7 * 8);  // rows of 7 pixels padded to 8 bytes
    // Stored bottom-up: grid line 4 is the third stored row; its pixel 3 has tone 0.
    EXPECT_EQ(bmp[1078 + 2 * 8 + 3], 0);
    EXPECT_EQ(static_cast<unsigned char>(bmp[1078 + 2 * 8 + 2]), 255);
    EXPECT_EQ(bmp[1078 + 2 * 8 + 7], 0);  // fill byte
    EXPECT_EQ(ws.files(), (std::set<std::string>{"block.asc", "iso.bmp", "iso_tab.txt"}));
}

TEST(Extraction, RealModelToBitmap)
{
    Workspace ws;
    ws.add_model("himalaya.asc", "himalaya.asc");
    const auto run = ws.run("dem himalaya 1 contours 1\n-5000 1 500 6000 1\n\n");
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("himalaya_bitmap", ws, run, {"contours.bmp", "contours_tab.txt"});
}

TEST(Extraction, Raw32ModelToRawResultWithDecimalTable)
{
    Workspace ws;
    ws.add_model("himalaya_m4.raw", "himalaya_m4.raw");
    ws.add_model("himalaya_m4.txt", "himalaya_m4.txt");
    // Samples in decimeters; levels every 25.5 m from -500 m; table with decimals.
    const auto run = ws.run("dem himalaya 0 1 1 iso 0\n-500 0 25.5 600 0\n");
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("himalaya_raw_decimal_table", ws, run, {"iso.raw", "iso.txt", "iso_tab.txt"});
}

TEST(Extraction, PlanRefusedThenRedefined)
{
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    ws.add_model("land_m2.txt", "land_m2.txt");
    // 0 to 6229 by 1: 6230 levels, refused; the menu asked again after 5;
    // then a first tone of 2 and an interval of 0 refused; table unit 9 asked
    // again, then decimeters.
    const auto run = ws.run("dem land 0 0 0 iso 0\n0 1 1 6229\n5\n1\n100 2 1 0 400 5731\n9 2\n");
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("plan_redefined", ws, run, {"iso.raw", "iso.txt", "iso_tab.txt"});
}

TEST(Extraction, TopLevelEqualToTheMaximumFillsTheSummit)
{
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    ws.add_model("land_m2.txt", "land_m2.txt");
    // The model's maximum is 5731: levels 731 .. 5731 by 1000, then two more
    // levels half an interval lower than planned. Table in centimeters.
    const auto run = ws.run("dem land 0 0 0 iso 0\n731 1 1000 7731 3\n");
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("top_level", ws, run, {"iso.raw", "iso.txt", "iso_tab.txt"});
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"),
              "1\t73100\n2\t173100\n3\t273100\n4\t373100\n5\t473100\n6\t573100\n7\t623100\n8\t723100\n");
}

TEST(Extraction, MillimeterTable)
{
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    ws.add_model("land_m2.txt", "land_m2.txt");
    const auto run = ws.run("dem land 0 0 2 iso 0\n12.34 1 7.5 40 4\n");
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("millimeter_table", ws, run, {"iso.raw", "iso.txt", "iso_tab.txt"});
}

TEST(Extraction, PlanWithoutLevels)
{
    Workspace ws;
    ws.add_file("block.asc", kBlockModel);
    // Minimum 100, interval 10, maximum 80: -1 levels, accepted, nothing traced.
    const auto run = ws.run("dem block 1 iso 0\n100 1 10 80 1\n");
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("no_levels", ws, run, {"iso.raw", "iso.txt", "iso_tab.txt"});
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.raw"), std::string(49, '\xff'));
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.txt"), "7\n7\n1\n0\n-1\n25\n");
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "");
}

TEST(Extraction, PlanOf250LevelsIsAcceptedAnd251Refused)
{
    Workspace ws;
    ws.add_file("block.asc", kBlockModel);
    // 0 to 249 by 1: 250 levels, traced. Then 0 to 250 by 1: 251, refused, and Exit.
    const auto accepted = ws.run("dem block 1 iso 0\n0 1 1 249 1\n");
    EXPECT_EQ(accepted.status, 0);
    EXPECT_NE(accepted.out.find("the resulting image will have 250 contour lines \n\n\tAltitude Values Units"),
              std::string::npos);
    EXPECT_EQ(accepted.out.find("too big"), std::string::npos);
    const std::string table = e2e::read_file(ws.model_folder() / "iso_tab.txt");
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 250);
    EXPECT_NE(table.find("\n250\t"), std::string::npos);  // the last tone

    const auto refused = ws.run("dem block 1 iso2 0\n0 1 1 250 0\n");
    EXPECT_EQ(refused.status, 0);
    EXPECT_NE(refused.out.find("the resulting image will have 251 contour lines \n\n\tThis number is too big. "),
              std::string::npos);
    EXPECT_EQ(refused.out.find("Treatment"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(ws.model_folder() / "iso2_tab.txt"));
}

TEST(Extraction, ExitLeavesEarlierResultsIntact)
{
    Workspace ws;
    ws.add_file("block.asc", kBlockModel);
    ws.add_file("iso.raw", "earlier image");
    ws.add_file("iso.txt", "earlier descriptor");
    ws.add_file("iso_tab.txt", "earlier table");
    const auto run = ws.run("dem block 1 iso 0\n0 1 0.1 100 0\n");
    EXPECT_EQ(run.status, 0);
    e2e::expect_case("exit_choice", ws, run, {"iso.raw", "iso.txt", "iso_tab.txt"});
    EXPECT_EQ(run.out.find("Hit any key"), std::string::npos);
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.raw"), "earlier image");
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "earlier table");
    EXPECT_EQ(ws.files(), (std::set<std::string>{"block.asc", "iso.raw", "iso.txt", "iso_tab.txt"}));
}

TEST(Extraction, EndOfInputLeavesEarlierResultsIntact)
{
    Workspace ws;
    ws.add_file("block.asc", kBlockModel);
    ws.add_file("iso.bmp", "earlier bitmap");
    ws.add_file("iso_tab.txt", "earlier table");
    const auto run = ws.run("dem block 1 iso 1\n20 1 10\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.bmp"), "earlier bitmap");
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "earlier table");
    EXPECT_EQ(ws.files(), (std::set<std::string>{"block.asc", "iso.bmp", "iso_tab.txt"}));
}

TEST(Extraction, ResultNamedAfterTheModelIsRefused)
{
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    ws.add_model("land_m2.txt", "land_m2.txt");
    const auto run = ws.run("dem land 0 0 0 land_m2 0\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("images/dem/land_m2.raw"), std::string::npos) << run.err;
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "land_m2.txt"), "60\n90\n2\n0\n5731\n111000\n");
    EXPECT_EQ(ws.files(), (std::set<std::string>{"land_m2.raw", "land_m2.txt"}));
}

}  // namespace

namespace {

TEST(Extraction, ResultInAMissingFolderIsReportedBeforeAnyWork)
{
    e2e::Workspace ws;
    ws.add_file("block.asc", kBlockModel);
    const auto run = ws.run("dem block 1 missing/iso 0\n20 1 10 20 1\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("images/dem/missing/iso_tab.txt"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Image type"), std::string::npos);
    EXPECT_EQ(ws.files(), (std::set<std::string>{"block.asc"}));
}

}  // namespace

namespace {

// The bitmap the program writes, opened by a common image library (Pillow),
// shows exactly the pixels of the raw result of the same plan, top line first.
TEST(Extraction, BitmapOpensInPillowWithTheRawResultsPixels)
{
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no Python with Pillow (Debian package python3-pil)";
    e2e::Workspace ws;
    ws.add_model("himalaya.asc", "himalaya.asc");  // 160 columns: rows padded in the file
    ASSERT_EQ(ws.run("dem himalaya 1 iso 0\n-3000 0 400 6000 1\n").status, 0);
    ASSERT_EQ(ws.run("dem himalaya 1 iso 1\n-3000 0 400 6000 1\n").status, 0);
    const auto folder = ws.model_folder();
    const std::string script = "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                               "print(im.format, im.mode, im.size[0], im.size[1]); "
                               "open(sys.argv[2], 'wb').write(im.tobytes())";
    const std::string command = "/usr/bin/python3 -c \"" + script + "\" '" + (folder / "iso.bmp").string() + "' '" +
                                (folder / "pillow.bin").string() + "' > '" + (folder / "pillow.txt").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(e2e::read_file(folder / "pillow.txt"), "BMP L 160 120\n");
    EXPECT_EQ(e2e::read_file(folder / "pillow.bin"), e2e::read_file(folder / "iso.raw"));
}

}  // namespace
