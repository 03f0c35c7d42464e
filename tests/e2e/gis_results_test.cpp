// Results as a GIS opens them: every format carries where it lies (to the
// last digit of its cell size), its background as no data (transparent), the
// altitude of every tone and a QGIS style; a large GeoTIFF its overviews, each
// pixel the smallest tone of the 2 x 2 it covers, so that the lines stay; and
// the plans a gdal_contour user writes (a list of levels, a no-data value, feet).
#include "harness.h"

#include <set>
#include <sstream>

namespace {

using e2e::Workspace;

std::string in(const std::string& name) { return "images/dem/" + name; }

TEST(GisResults, EveryFormatCarriesItsPlaceLegendAndTransparentBackground)
{
    if (!e2e::gdal_tests_can_run()) GTEST_SKIP() << "needs a build with GDAL, python3-gdal and python3-pil";
    Workspace ws;
    // The relief at its resolution, cells of 1/12 degree, cut to 479 x 637:
    // a GeoTIFF with an overview whose last row and column cover one pixel.
    ws.add_tiled_raw("himalaya_m4", "relief_m4", 4, 4);
    e2e::gdal_tool(ws, "tif images/dem/relief_m4.raw images/dem/relief.tif 4326 80 30 0.08333333333333333 479 637");
    const std::string common = "nodata 255.0\ngeoref same\naltitudes same\nunit m, labels same\nstyle labels 23 of 23\n";
    const std::string lines = "8 bits, 0 line pixels off their level\n";
    // Every 10 m, 1,143 levels: tones of 16 bits, background 65535.
    const std::string wide =
        "nodata 65535.0\ngeoref same\naltitudes same\nunit m, labels same\nstyle labels 1143 of 1143\n";
    const std::string wide_lines = "16 bits, 0 line pixels off their level\n";
    const std::string overview = "overview 0, 319 x 240: smallest of 2 x 2\n";
    const struct {
        const char* output;
        const char* stem;
        const char* interval;
        std::string found;  // what gdal_tool.py gis prints
        const char* environment = "";  // GDAL settings of the user's, which the result does not follow
    } cases[] = {
        {"r.tif", "r", "500", common + lines + overview},
        {"p.png", "p", "500", common + "png transparent 255\n" + lines},
        {"b.bmp", "b", "500", common + lines},
        {"d.png", "d", "500", common + "png transparent 255\n" + lines},
        {"w.tif", "w", "10", wide + wide_lines + overview},
        {"wp.png", "wp", "10", wide + "png transparent 65535\n" + wide_lines},
        // Overviews inside the image and lossless, whatever GDAL's settings say.
        {"e.tif", "e", "500", common + lines + overview, "TIFF_USE_OVR=YES COMPRESS_OVERVIEW=JPEG"},
        {"ew.tif", "ew", "10", wide + wide_lines + overview, "USE_RRD=YES PHOTOMETRIC_OVERVIEW=YCBCR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        std::vector<std::string> args{"-q", "-i", c.interval, "--table-unit", "0", in("relief.tif"), in(c.output)};
        if (std::string(c.stem) == "d") args.insert(args.begin(), {"--palette", "distinct"});
        const std::set<std::string> before = ws.files();
        const e2e::Run run = ws.run("", 120, c.environment, -1, args);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string stem = std::string(c.stem);
        // No overviews beside the image (.ovr, or .aux for RRD), no private file left.
        for (const std::string& name : ws.files()) {
            const bool of_the_set = name.rfind(stem + ".", 0) == 0 || name == stem + "_tab.txt";
            if (!before.count(name)) {
                EXPECT_TRUE(of_the_set && !name.ends_with(".ovr") && !name.ends_with(".aux")) << name;
            }
        }
        EXPECT_EQ(e2e::gdal_tool(ws, "gis " + in(c.output) + " " + in("relief.tif") + " " + in(stem + "_tab.txt") + " " +
                                         in(stem + ".qml")),
                  c.found);
    }
}

// GDAL places a PNG or BMP where it places the GeoTIFF of the same model, in
// a projection whose first axis is the latitude (EPSG:4326, as most global
// models are) as in one that is east then north (UTM): warped to Web
// Mercator, their lines fall on the GeoTIFF's.
TEST(GisResults, PngAndBmpLieWhereTheGeoTiffLies)
{
    if (!e2e::gdal_tests_can_run()) GTEST_SKIP() << "needs a build with GDAL, python3-gdal and python3-pil";
    Workspace ws;
    ws.add_tiled_raw("himalaya_m4", "h_m4", 1, 1);
    for (const char* place : {"4326 80 30 0.08333333333333333", "32645 200000 3400000 5000"}) {
        SCOPED_TRACE(place);
        e2e::gdal_tool(ws, "tif images/dem/h_m4.raw images/dem/h.tif " + std::string(place));
        for (const char* output : {"t.tif", "p.png", "b.bmp"}) {
            const e2e::Run run = ws.run_command({"-q", "-i", "500", in("h.tif"), in(output)});
            ASSERT_EQ(run.status, 0) << run.err;
        }
        EXPECT_EQ(e2e::gdal_tool(ws, "place " + in("t.tif") + " " + in("p.png") + " " + in("b.bmp")),
                  in("p.png") + " placed\n" + in("b.bmp") + " placed\n");
    }
}

// The same three cases a gdal_contour user would write, each in one run.
TEST(GisResults, FixedLevelsABandsNoDataAndFeet)
{
    if (!e2e::gdal_tests_can_run()) GTEST_SKIP() << "needs a build with GDAL, python3-gdal and python3-pil";
    Workspace ws;
    std::string ramp;  // 6 x 4 cells from 0 to 3000
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c) {
            ramp += ' ';
            ramp += std::to_string(r == 1 && c == 1 ? -32768 : 600 * c + r);
        }
    e2e::gdal_tool(ws, "grid images/dem/ramp.tif Int16 6 4 - - -" + ramp);
    e2e::gdal_tool(ws, "grid images/dem/feet.tif Int16 6 4 - - -9999" + ramp);  // its own no-data value
    ASSERT_EQ(std::system(("cd '" + ws.model_folder().string() +
                           "' && gdal_edit.py -units ft feet.tif > /dev/null 2>&1 || "
                           "/usr/bin/python3 -c \"from osgeo import gdal; d=gdal.Open('feet.tif', 1); "
                           "d.GetRasterBand(1).SetUnitType('ft')\"").c_str()),
              0);

    const e2e::Run listed =
        ws.run_command({"-fl", "2500", "0", "1000", "-snodata", "-32768", in("ramp.tif"), in("listed.tif")});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("altitudes 0 to 3003 m, 1 cells without data (--snodata -32768)\n3 levels at 0, 1000, 2500 m, tones 1 to 3"),
              std::string::npos)
        << listed.out;
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "listed_tab.txt"), "1\t0\n2\t1000\n3\t2500\n");

    const e2e::Run feet = ws.run_command({"-i", "50", "--min", "2400", "--snodata", "-32768", in("feet.tif"), in("feet.tif.png")});
    ASSERT_EQ(feet.status, 0) << feet.err;
    EXPECT_NE(feet.out.find("altitudes 0 to 3003 ft, 1 cells without data (--snodata -32768, in place of the band's -9999)\n"
                            "13 levels from 2400 ft every 50 ft"),
              std::string::npos)
        << feet.out;
    const std::string style = e2e::read_file(ws.model_folder() / "feet.tif.qml");
    EXPECT_NE(style.find("label=\"2400 ft\""), std::string::npos) << style;
    EXPECT_EQ(e2e::gdal_tool(ws, "gis " + in("feet.tif.png") + " " + in("feet.tif") + " " + in("feet.tif_tab.txt") + " " +
                                     in("feet.tif.qml")),
              "nodata 255.0\ngeoref same\naltitudes same\nunit ft, labels same\nstyle labels 13 of 13\n"
              "png transparent 255\n8 bits, 0 line pixels off their level\n");

    const e2e::Run meters = ws.run_command(
        {"-i", "50", "--scale", "0.3048", "--snodata", "-32768", in("feet.tif"), in("meters.bmp")});
    ASSERT_EQ(meters.status, 0) << meters.err;
    EXPECT_NE(meters.out.find("altitudes 0 to 915.3144"), std::string::npos) << meters.out;
}

}  // namespace
