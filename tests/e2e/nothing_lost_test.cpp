// What an adversarial user of the command line found could lose a file, draw
// a wrong picture or hang, each reproduced: every run ends with the model's
// files and any earlier result as they were, or with a complete new set, a
// message that names the file and the reason, and no private file left once
// the next run in the folder has cleaned up.
#include "harness.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>

namespace {

using e2e::Workspace;

// A slope of 40 rows x 60 columns from 300 to 2700 m, as an ASCII grid.
std::string slope_grid()
{
    std::string text = "ncols 60\nnrows 40\nxllcorner 500000\nyllcorner 4000000\ncellsize 30\nNODATA_value -9999\n";
    for (int r = 0; r < 40; ++r) {
        for (int c = 0; c < 60; ++c) text += std::to_string(300 + 40 * c + r) + " ";
        text += "\n";
    }
    return text;
}

// The values of a grid of w x h cells for gdal_tool.py grid, `at(r, c)` each.
std::string cells(int w, int h, const std::function<std::string(int, int)>& at)
{
    std::string text;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            text += ' ';
            text += at(r, c);
        }
    return text;
}

// In the model folder, as the command line sees it from the workspace root.
std::string in(const std::string& name) { return "images/dem/" + name; }

struct Reproduction {
    const char* what;
    std::function<void(Workspace&)> setup;  // the model and any earlier result, in the model folder
    std::vector<std::string> args;
    std::string prefix;                     // a shell prefix: settings, limits, the fault shim
    int status;
    std::string message;                    // in what the run printed ("" for nothing to look for)
    std::vector<std::string> kept;          // files of the model folder that must keep their bytes
    std::vector<std::string> gone = {};     // files of the model folder that must be gone
};

// A FIFO under `name` in the model folder.
void fifo(const Workspace& ws, const std::string& name) { ASSERT_EQ(mkfifo((ws.model_folder() / name).c_str(), 0644), 0); }

// Runs the program in the workspace with `args`; it must succeed.
void earlier_run(const Workspace& ws, const std::vector<std::string>& args)
{
    const e2e::Run run = ws.run_command(args);
    EXPECT_EQ(run.status, 0) << run.err;
}

// The reproductions of a FIFO that GDAL would open beside a model, or beside
// a file of it, before the program could look at it: each is refused by name.
std::vector<Reproduction> fifos_beside_models(const std::function<void(Workspace&)>& tif_of_slope)
{
    std::vector<Reproduction> cases;
    for (const char* side : {"dem.tif.aux.xml", "dem.tif.ovr", "dem.tif.msk", "dem.aux", "dem.imd", "dem.rpb",
                             "dem_rpc.txt", "DEM.TFW"})
        cases.push_back({side, [=](Workspace& ws) { tif_of_slope(ws); fifo(ws, side); },
                         {"-q", "-i", "500", in("dem.tif"), in("o.bmp")}, "", 1,
                         std::string("images/dem/") + side + " is not a regular file", {"dem.tif"}});
    cases.push_back({"an EHdr model's .prj",
                     [=](Workspace& ws) {
                         tif_of_slope(ws);
                         e2e::gdal_tool(ws, "ehdr images/dem/dem.tif images/dem/e.bil");
                         std::filesystem::remove(ws.model_folder() / "e.prj");
                         fifo(ws, "e.prj");
                     },
                     {"-q", "-i", "500", in("e.bil"), in("o.bmp")}, "", 1, "images/dem/e.prj is not a regular file",
                     {"e.bil", "e.hdr"}});
    cases.push_back({"a source's .aux.xml through a nested VRT",
                     [=](Workspace& ws) {
                         tif_of_slope(ws);
                         e2e::gdal_tool(ws, "vrt images/dem/dem.tif images/dem/a.vrt");
                         e2e::gdal_tool(ws, "vrt images/dem/a.vrt images/dem/top.vrt");
                         fifo(ws, "dem.tif.aux.xml");
                     },
                     {"-q", "-i", "500", in("top.vrt"), in("o.bmp")}, "", 1,
                     "images/dem/dem.tif.aux.xml is not a regular file", {"dem.tif", "a.vrt", "top.vrt"}});
    cases.push_back({"an .aux.xml beside a gzipped model",
                     [=](Workspace& ws) {
                         tif_of_slope(ws);
                         EXPECT_EQ(std::system(("gzip -k '" + (ws.model_folder() / "dem.tif").string() + "'").c_str()), 0);
                         fifo(ws, "dem.tif.aux.xml");
                     },
                     {"-q", "-i", "500", "/vsigzip/" + in("dem.tif.gz"), in("o.bmp")}, "", 1,
                     "images/dem/dem.tif.aux.xml is not a regular file", {"dem.tif.gz"}});
    return cases;
}

TEST(NothingLost, EveryReproductionEndsWithTheFilesWholeAndAMessage)
{
    if (!e2e::gdal_tests_can_run()) GTEST_SKIP() << "needs a build with GDAL, python3-gdal and python3-pil";
    const auto tif_of_slope = [](Workspace& ws) {
        ws.add_file("slope.asc", slope_grid());
        EXPECT_EQ(std::system(("cd '" + ws.model_folder().string() +
                               "' && gdal_translate -q slope.asc dem.tif > /dev/null 2>&1").c_str()),
                  0);
    };
    const auto earlier = [](Workspace& ws, const std::vector<std::string>& names) {
        for (const std::string& name : names) ws.add_file(name, "earlier " + name);
    };
    const std::vector<Reproduction> reproductions = {
        {"a VRT over the GeoTIFF named as the result",
         [&](Workspace& ws) {
             tif_of_slope(ws);
             e2e::gdal_tool(ws, "vrt images/dem/dem.tif images/dem/dem.vrt");
         },
         {"-q", "-i", "500", in("dem.vrt"), in("dem.tif")}, "", 1, "is the model file images/dem/dem.tif",
         {"dem.tif", "dem.vrt"}},
        {"the table under another spelling of the image",
         [&](Workspace& ws) { earlier(ws, {"out.bmp"}); },
         {"-q", "-i", "500", "--table", "images/dem/./out.bmp", in("slope.asc"), in("out.bmp")}, "", 1,
         "would be one file", {"out.bmp"}},
        {"an EHdr model's own .prj beside a PNG result of its name",
         [&](Workspace& ws) {
             tif_of_slope(ws);
             e2e::gdal_tool(ws, "ehdr images/dem/dem.tif images/dem/dem.bil");
             ws.add_file("dem.prj", "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,"
                                    "298.257223563],TOWGS84[1,2,3,0,0,0,0]],PRIMEM[\"Greenwich\",0.0],"
                                    "UNIT[\"Degree\",0.0174532925199433]]");
         },
         {"-q", "-i", "500", in("dem.bil"), in("dem.png")}, "", 1,
         "the model images/dem/dem.bil and images/dem/dem.png share their name: dem.qml would serve both",
         {"dem.prj", "dem.bil", "dem.hdr"}},
        {"a SIGTERM during the renames, GDAL's threads running",
         [&](Workspace& ws) {
             tif_of_slope(ws);
             earlier(ws, {"th.tif", "th_tab.txt"});
         },
         {"-i", "500", in("dem.tif"), in("th.tif")}, "GDAL_NUM_THREADS=ALL_CPUS " + e2e::with_fault("IT4_TERM_AT_RENAME=2"),
         0, "written: images/dem/th.tif images/dem/th.tif.aux.xml images/dem/th.qml images/dem/th_tab.txt", {"dem.tif"}},
        {"a PNG whose last bytes are lost as it is closed",
         [&](Workspace& ws) { earlier(ws, {"r.png", "r_tab.txt", "r.pgw"}); },
         {"-q", "-i", "500", in("slope.asc"), in("r.png")}, e2e::with_fault("IT4_CUT_PNG_AT_CLOSE=1"), 1,
         "cannot write images/dem/r.png: the file is incomplete", {"r.png", "r_tab.txt", "r.pgw"}},
        {"a no-data value kept in the model's .aux.xml",
         [&](Workspace& ws) {
             e2e::gdal_tool(ws, "grid images/dem/aux.tif Int16 6 4 - - -" +
                                    cells(6, 4, [](int r, int c) { return r == 1 && c == 2 ? "-9999" : std::to_string(500 + 200 * c); }));
             ws.add_file("aux.tif.aux.xml", "<PAMDataset><PAMRasterBand band=\"1\"><NoDataValue>-9999</NoDataValue>"
                                            "</PAMRasterBand></PAMDataset>\n");
         },
         {"-i", "100", in("aux.tif"), in("lines.bmp")}, "", 0, "altitudes 500 to 1500 m, 1 cells without data",
         {"aux.tif", "aux.tif.aux.xml"}},
        {"a band's scale and offset, and a cell without data (a void, not -899.9 m)",
         [&](Workspace& ws) {
             e2e::gdal_tool(ws, "grid images/dem/scaled.tif Int16 5 3 0.1 100 -9999" +
                                    cells(5, 3, [](int r, int c) {
                                        return r == 1 && c == 3 ? "-9999" : std::to_string(4000 + 2500 * c + r);
                                    }));
         },
         {"-i", "100", in("scaled.tif"), in("lines.bmp")}, "", 0,
         "altitudes 500 to 1500.2 m, 1 cells without data (the band's values x 0.1 + 100)", {"scaled.tif"}},
        {"an infinite cell",
         [&](Workspace& ws) {
             e2e::gdal_tool(ws, "grid images/dem/inf.tif Float32 4 3 - - -" +
                                    cells(4, 3, [](int r, int c) { return r == 2 && c == 1 ? "inf" : "500"; }));
         },
         {"-q", "-i", "100", in("inf.tif"), in("inf.bmp")}, "", 1,
         "images/dem/inf.tif: row 3, column 2 (counting from 1) holds an infinite value", {"inf.tif"}},
        {"a FIFO named .tif",
         [&](Workspace& ws) { ASSERT_EQ(mkfifo((ws.model_folder() / "fifo.tif").c_str(), 0644), 0); },
         {"-q", "-i", "100", in("fifo.tif"), in("f.bmp")}, "", 1, "images/dem/fifo.tif is not a regular file", {}},
        {"a VRT whose source is a FIFO",
         [&](Workspace& ws) {
             tif_of_slope(ws);
             e2e::gdal_tool(ws, "vrt images/dem/dem.tif images/dem/fifo.vrt");
             std::filesystem::remove(ws.model_folder() / "dem.tif");
             ASSERT_EQ(mkfifo((ws.model_folder() / "dem.tif").c_str(), 0644), 0);
         },
         {"-q", "-i", "100", in("fifo.vrt"), in("f.bmp")}, "", 1, "dem.tif is not a regular file", {"fifo.vrt"}},
        {"a VRT over a VRT over the GeoTIFF named as the result",
         [&](Workspace& ws) {
             tif_of_slope(ws);
             e2e::gdal_tool(ws, "vrt images/dem/dem.tif images/dem/a.vrt");
             e2e::gdal_tool(ws, "vrt images/dem/a.vrt images/dem/top.vrt");
         },
         {"-q", "-i", "500", in("top.vrt"), in("dem.tif")}, "", 1, "is the model file images/dem/dem.tif",
         {"dem.tif", "a.vrt", "top.vrt"}},
        {"a VRT over GTIFF_DIR:1: of the GeoTIFF named as the result",
         [&](Workspace& ws) {
             tif_of_slope(ws);
             e2e::gdal_tool(ws, "vrt GTIFF_DIR:1:images/dem/dem.tif images/dem/d.vrt");
         },
         {"-q", "-i", "500", in("d.vrt"), in("dem.tif")}, "", 1, "is the model file images/dem/dem.tif",
         {"dem.tif", "d.vrt"}},
        {"/vsisubfile/ of the GeoTIFF named as the result",
         [&](Workspace& ws) { tif_of_slope(ws); },
         {"-q", "-i", "500", "/vsisubfile/0_99999999," + in("dem.tif"), in("dem.tif")}, "", 1,
         "is the model file images/dem/dem.tif", {"dem.tif"}},
        {"a model named as a lock",
         [&](Workspace& ws) { ws.add_file(".it4~dem.asc", slope_grid()); },
         {"-q", "-i", "500", in(".it4~dem.asc"), in("o.bmp")}, "", 1, "is named as the program's own private files",
         {".it4~dem.asc"}},
        {"a result named as a lock",
         [&](Workspace&) {}, {"-q", "-i", "500", in("slope.asc"), in(".it4~x.png")}, "", 1,
         "the result images/dem/.it4~x.png is named as the program's own private files", {}, {".it4~x.png"}},
        {"a user's file that begins as the private files do",
         [&](Workspace& ws) { ws.add_file(".it4-dem.tmp", "mine"); },
         {"-q", "-i", "500", in("slope.asc"), in("o.bmp")}, "", 0, "", {".it4-dem.tmp"}},
        {"a journal that names a file outside its folder",
         [&](Workspace& ws) {
             e2e::write_file(ws.model_folder() / "../victim.txt", "the user's");
             ws.add_file(".it4-1r0badcafe-0.tmp", "not arrived");
             ws.add_file(".it4-1r0badcafe-4.jnl", ".it4~o\n0 .it4-1r0badcafe-0.tmp .it4-1r0badcafe-1.bak o.bmp\n"
                                                  "0 .it4-1r0badcafe-2.tmp .it4-1r0badcafe-3.bak ../victim.txt\nend\n");
         },
         {"-q", "-i", "500", in("slope.asc"), in("o.bmp")}, "", 0, "",
         {"../victim.txt", ".it4-1r0badcafe-0.tmp", ".it4-1r0badcafe-4.jnl"}},
        {"side files of an earlier set that the new one lacks",
         [&](Workspace& ws) {
             ws.add_file("slope.prj", "PROJCS[\"WGS_1984_UTM_Zone_32N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\","
                                      "SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],PRIMEM[\"Greenwich\",0.0],"
                                      "UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
                                      "PARAMETER[\"False_Easting\",500000.0],PARAMETER[\"False_Northing\",0.0],"
                                      "PARAMETER[\"Central_Meridian\",9.0],PARAMETER[\"Scale_Factor\",0.9996],"
                                      "PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]");
             earlier_run(ws, {"-q", "-i", "500", in("slope.asc"), in("o.png")});
             ws.add_model("himalaya_m4.raw", "raw.raw");
             ws.add_model("himalaya_m4.txt", "raw.txt");
         },
         {"-q", "-i", "500", in("raw.raw"), in("o.png")}, "", 0, "", {"slope.prj"}, {"o.pgw", "o.prj"}},
        {"a second result of the same name in another format",
         [&](Workspace& ws) { earlier_run(ws, {"-q", "-i", "500", in("slope.asc"), in("same.tif")}); },
         {"-q", "-i", "100", in("slope.asc"), in("same.png")}, "", 1,
         "images/dem/same.tif and images/dem/same.png share their name: same_tab.txt and same.qml would serve both",
         {"same.tif", "same.qml", "same_tab.txt", "same.tif.aux.xml"}, {"same.png"}},
        {"a table spelled from another spelling of the folder",
         [&](Workspace&) {}, {"-q", "-i", "500", "--table", "images/dem/./t.txt", in("slope.asc"), in("o.bmp")}, "",
         0, "", {}},
        {"the result folder's link swapped between two renames",
         [&](Workspace& ws) {
             std::filesystem::create_directory(ws.root() / "images/other");
             std::filesystem::create_directory_symlink("dem", ws.root() / "images/lnk");
             std::filesystem::create_directory_symlink("other", ws.root() / "images/lnk2");
         },
         {"-i", "500", in("slope.asc"), "images/lnk/o.bmp"},
         e2e::with_fault("IT4_SWAP_AT_RENAME=2 IT4_SWAP_FROM=images/lnk2 IT4_SWAP_TO=images/lnk"), 0,
         "in the folder images/lnk/ led to when the run began; it now leads to another",
         {}, {"../other/o.bmp", "../other/o_tab.txt"}},
        {"the result folder's link swapped before the commit",
         [&](Workspace& ws) {
             earlier(ws, {"o.bmp"});
             std::filesystem::create_directory(ws.root() / "images/other");
             std::filesystem::create_directory_symlink("dem", ws.root() / "images/lnk");
             std::filesystem::create_directory_symlink("other", ws.root() / "images/lnk2");
         },
         {"-q", "-i", "500", in("slope.asc"), "images/lnk/o.bmp"},
         e2e::with_fault("IT4_SWAP_AT_FSYNC=1 IT4_SWAP_FROM=images/lnk2 IT4_SWAP_TO=images/lnk"), 1,
         "the folder images/lnk/ is no longer the folder this run began writing in", {"o.bmp"},
         {"../other/o.bmp", "o_tab.txt"}},
        // Each dataset of a tiled model is opened twice (the first open tells
        // it is tiled): the third open is the second thread's.
        {"the model replaced by a wider raster while a second thread opens it",
         [&](Workspace& ws) {
             e2e::gdal_tool(ws, "tiled images/dem/big.tif 2500 2000");
             e2e::gdal_tool(ws, "tiled images/dem/wider.tif 3000 2000");
         },
         {"-q", "--threads", "2", "-i", "10", "--min", "50", "--max", "150", in("big.tif"), in("o.bmp")},
         e2e::with_fault("IT4_SWAP_AT_OPEN=3 IT4_SWAP_FROM=images/dem/wider.tif IT4_SWAP_TO=images/dem/big.tif"), 1,
         "images/dem/big.tif: the file changed while it was read", {}, {"o.bmp"}},
        {"a failed commit in the current folder",
         [&](Workspace& ws) { e2e::write_file(ws.root() / "o.bmp", "earlier"); },
         {"-q", "-i", "500", in("slope.asc"), "o.bmp"}, e2e::with_fault("IT4_FAIL_RENAME=2,3"), 1,
         "the next run in the current folder puts them back", {}},
        {"a wide tiled GeoTIFF under an address-space limit",
         [&](Workspace& ws) { e2e::gdal_tool(ws, "tiled images/dem/wide.tif 300000 1024"); },
         {"-q", "-i", "10", "--min", "50", "--max", "150", in("wide.tif"), in("w.bmp")}, "ulimit -v 409600;", 1,
         "images/dem/wide.tif: reading it needs", {"wide.tif"}},
        {"a result name with a line end, the run killed in its renames",
         [&](Workspace& ws) { earlier(ws, {"a\nb.bmp", "a\nb_tab.txt"}); },
         {"-q", "-i", "500", in("slope.asc"), in("a\nb.bmp")}, e2e::with_fault("IT4_KILL_AT_RENAME=2"), 128 + SIGKILL,
         "", {"a\nb.bmp", "a\nb_tab.txt"}},
        {"an ASCII grid spilled to its scratch file beyond the file-size limit",
         [&](Workspace& ws) {
             std::string big = "ncols 2100\nnrows 2100\nxllcorner 0\nyllcorner 0\ncellsize 30\n";
             const std::string row = [] {
                 std::string r;
                 for (int c = 0; c < 2100; ++c) r += "1 ";
                 return r + "\n";
             }();
             for (int r = 0; r < 2100; ++r) big += row;
             ws.add_file("big.asc", big);
         },
         {"-q", "-i", "1", in("big.asc"), in("big.bmp")}, "ulimit -f 20000;", 1, "images/dem/", {"big.asc"}},
    };
    std::vector<Reproduction> all = reproductions;
    for (const Reproduction& r : fifos_beside_models(tif_of_slope)) all.push_back(r);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr bool address_space_limits = false;  // the sanitizer needs more address space than a limit leaves
#else
    constexpr bool address_space_limits = true;
#endif
    for (const Reproduction& r : all) {
        if (!address_space_limits && r.prefix.find("ulimit -v") != std::string::npos) continue;
        SCOPED_TRACE(r.what);
        Workspace ws;
        ws.add_file("slope.asc", slope_grid());
        r.setup(ws);
        std::map<std::string, std::string> before;
        for (const std::string& name : r.kept) before[name] = e2e::read_file(ws.model_folder() / name);
        const e2e::Run run = ws.run("", 60, r.prefix, -1, r.args);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.status, r.status) << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(r.message), std::string::npos) << run.out << run.err;
        if (r.status == 1) {
            EXPECT_NE(run.err.find("Error: "), std::string::npos);
        }
        // The next run in the folder settles what this one left.
        const e2e::Run next = ws.run("", 60, "", -1, {"-q", "-i", "500", in("slope.asc"), in("next.bmp")});
        EXPECT_EQ(next.status, 0) << next.err;
        for (const auto& [name, bytes] : before)
            EXPECT_TRUE(e2e::read_file(ws.model_folder() / name) == bytes) << name << " changed";
        for (const std::string& name : r.gone) EXPECT_FALSE(std::filesystem::exists(ws.model_folder() / name)) << name;
        // What is left of the program's names is the user's own, kept.
        for (const std::string& name : e2e::private_files(ws))
            EXPECT_NE(std::find(r.kept.begin(), r.kept.end(), name), r.kept.end()) << name << " left";
    }
}

// A run's private files and a result's lock held by a run that is alive
// (here, this test), whatever process it is: the cleanup of another run in
// the folder leaves them, a run on the same table is refused, and once the
// locks are free the next run removes what is left.
TEST(NothingLost, FilesOfALiveRunAreLeftAndItsTableIsLocked)
{
    Workspace ws;
    ws.add_file("slope.asc", slope_grid());
    const auto hold = [&](const std::string& name) {
        const int fd = open((ws.model_folder() / name).c_str(), O_RDWR | O_CREAT, 0644);
        EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
        return fd;
    };
    const int run_lock = hold(".it4-1r0badcafe.run");
    ws.add_file(".it4-1r0badcafe-0.tmp", "a live run's table");
    const int table_lock = hold(".it4~shared_tab");

    const e2e::Run other = ws.run("", 60, "", -1, {"-q", "-i", "500", in("slope.asc"), in("other.bmp")});
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(e2e::read_file(ws.model_folder() / ".it4-1r0badcafe-0.tmp"), "a live run's table");
    const e2e::Run shared = ws.run("", 60, "", -1,
                                   {"-q", "-i", "500", "--table", in("shared_tab.txt"), in("slope.asc"), in("x.bmp")});
    EXPECT_EQ(shared.status, 1);
    EXPECT_NE(shared.err.find("images/dem/shared_tab: another run is writing this result now"), std::string::npos)
        << shared.err;

    close(run_lock);
    close(table_lock);
    EXPECT_EQ(ws.run("", 60, "", -1, {"-q", "-i", "500", in("slope.asc"), in("other.bmp")}).status, 0);
    EXPECT_EQ(e2e::private_files(ws), std::set<std::string>{});
}

}  // namespace
