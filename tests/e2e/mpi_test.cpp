// One command-line run shared by the processes of an MPI job (mpirun on this
// machine, one folder): whatever their number, the files are those the
// program alone writes, and a process killed mid-run leaves the earlier
// result set whole.
#include "harness.h"

#include <map>

#include "gdal_levels.h"

using e2e::Workspace;
namespace fs = std::filesystem;

namespace {

std::string launcher(int processes)
{
    return std::string(ISOLINES_MPIRUN) + " --oversubscribe --allow-run-as-root -n " + std::to_string(processes);
}

struct SharedRun {
    const char* what;
    std::vector<std::string> args;     // the output last
    std::vector<std::string> outputs;  // in images/dem/
    bool through_gdal = false;
};

// What a result file holds as another run must write it: a GeoTIFF's pixels
// and overviews (its bytes depend on the order of its tiles), any other
// file's bytes.
std::string contents(const Workspace& ws, const std::string& name)
{
    const fs::path path = ws.model_folder() / name;
#ifdef ISOLINES_WITH_GDAL
    if (path.extension() == ".tif") return gdal_levels_text(path.string());
#endif
    return e2e::read_file(path);
}

TEST(MpiRuns, AnyNumberOfProcessesWritesTheFilesOfOne)
{
    Workspace ws;
    ws.add_tiled_raw("himalaya_m4", "tall_m4", 4, 2);  // 480 lines x 320 columns
    ws.add_model("himalaya_gaps.asc", "gaps.asc");
    const bool gdal = e2e::gdal_tests_can_run();
    // 2,400 lines: the tile rows of the image and of its overviews belong
    // to several processes.
    ws.add_tiled_raw("himalaya_m4", "long_m4", 20, 1);
    if (gdal) e2e::gdal_tool(ws, "tif images/dem/tall_m4.raw images/dem/tall.tif");
    if (gdal) e2e::gdal_tool(ws, "tif images/dem/long_m4.raw images/dem/long.tif");
    const std::string dem = "images/dem/";
    const std::vector<SharedRun> runs = {
        {"the range read first, a bitmap", {"-i", "250", dem + "tall_m4.raw", dem + "a.bmp"},
         {"a.bmp", "a_tab.txt", "a.bmp.aux.xml", "a.qml"}},
        {"read once, a raw image", {"-i", "100", "--min", "-5000", "--max", "6000", dem + "tall_m4.raw", dem + "b.raw"},
         {"b.raw", "b.txt", "b_tab.txt"}},
        {"a level on the top, traced again", {"--levels", "-2000", "0", "2000", "6229", "--", dem + "tall_m4.raw", dem + "c.bmp"},
         {"c.bmp", "c_tab.txt"}},
        {"an ASCII grid with gaps", {"-i", "500", dem + "gaps.asc", dem + "d.bmp"}, {"d.bmp", "d_tab.txt"}},
        {"a GeoTIFF, a level on the top",
         {"--levels", "-2000", "0", "2000", "6229", "--palette", "distinct", "--", dem + "long.tif", dem + "e.tif"},
         {"e.tif", "e_tab.txt", "e.qml"}, true},
        {"a PNG of two-byte tones", {"-i", "5", dem + "tall.tif", dem + "f.png"},
         {"f.png", "f_tab.txt", "f.pgw", "f.prj", "f.png.aux.xml"}, true},
    };
    for (const SharedRun& shared : runs) {
        if (shared.through_gdal && !gdal) continue;
        const e2e::Run alone = ws.run_command(shared.args);
        ASSERT_EQ(alone.status, 0) << shared.what << ": " << alone.err;
        std::map<std::string, std::string> expected;
        for (const std::string& output : shared.outputs) expected[output] = contents(ws, output);
        for (int processes : {1, 2, 3, 5}) {
            const std::string what = std::string(shared.what) + ", " + std::to_string(processes) + " processes";
            const e2e::Run run = ws.run("", 120, "", -1, shared.args, launcher(processes));
            ASSERT_EQ(run.status, 0) << what << ": " << run.err;
            EXPECT_EQ(run.out, alone.out) << what;
            for (const std::string& output : shared.outputs)
                EXPECT_TRUE(contents(ws, output) == expected[output]) << what << ": " << output << " differs";
            EXPECT_TRUE(e2e::private_files(ws).empty()) << what;
        }
    }
}

// What comes before a run (the dialogue, the help, a wrong option) is the
// first process's alone: said once, as alone.
TEST(MpiRuns, OnlyTheFirstProcessSpeaksBeforeTheRun)
{
    Workspace ws;
    ws.add_tiled_raw("himalaya_m4", "relief_m4", 1, 1);
    const std::string answers = "dem relief 0 1 0 iso 1\n-5200 1 1000 6229 1\n\n";
    const e2e::Run alone_dialogue = ws.run(answers);
    ASSERT_EQ(alone_dialogue.status, 0) << alone_dialogue.err;
    const e2e::Run dialogue = ws.run(answers, 120, "", -1, {}, launcher(3));
    EXPECT_EQ(dialogue.status, 0) << dialogue.err;
    EXPECT_EQ(dialogue.out, alone_dialogue.out);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"}, {"--no-such-option", "a", "b"}}) {
        const e2e::Run alone = ws.run_command(args);
        const e2e::Run shared = ws.run("", 120, "", -1, args, launcher(3));
        EXPECT_EQ(shared.out, alone.out) << args[0];
        EXPECT_EQ(shared.status == 0, alone.status == 0) << args[0];
        // Open MPI adds its own lines about a process that failed.
        EXPECT_EQ(shared.err.substr(0, alone.err.size()), alone.err) << args[0];
        EXPECT_EQ(shared.err.find(alone.err, 1), std::string::npos) << args[0];
    }
}

// A process killed outright, and processes past a file size limit as they
// write a GeoTIFF's tiles: the job ends with a failure, the earlier set is
// whole, and the next run leaves no private file.
TEST(MpiRuns, AFailingProcessLeavesTheEarlierSetWhole)
{
    struct Failure {
        const char* what;
        std::string image;
        std::vector<std::string> plan;  // another plan than the earlier set's
        std::string shell_prefix;
        std::string wrapper;  // between the launcher and the program
        bool killed;          // else the failure is the program's own: a message and status 1
        int processes;
    };
    const std::vector<Failure> failures = {
        {"rank 2 killed as it makes its rows final", "a.bmp", {"-i", "500"},
         e2e::with_fault("IT4_KILL_AT_DATASYNC=1 IT4_ONLY_RANK=2"), "", true, 3},
        {"every process under a file size limit", "b.tif", {"-i", "10", "--min", "-5000"}, "",
         "sh -c 'ulimit -f 100; exec \"$0\" \"$@\"'", false, 5},
    };
    Workspace ws;
    ws.add_tiled_raw("himalaya_m4", "tall_m4", 20, 1);  // 2,400 lines: tiles of the .tif written as rows come
    const std::string dem = "images/dem/";
    for (const Failure& failure : failures) {
        if (failure.image.ends_with(".tif") && !e2e::gdal_tests_can_run()) continue;
        ASSERT_EQ(ws.run_command({"-i", "250", dem + "tall_m4.raw", dem + failure.image}).status, 0) << failure.what;
        const std::set<std::string> earlier_files = ws.files();
        const std::string earlier = e2e::read_file(ws.model_folder() / failure.image);

        std::vector<std::string> args = failure.plan;
        args.insert(args.end(), {dem + "tall_m4.raw", dem + failure.image});
        const e2e::Run failed =
            ws.run("", 120, failure.shell_prefix, -1, args, launcher(failure.processes) + " " + failure.wrapper);
        EXPECT_NE(failed.status, 0) << failure.what;
        if (!failure.killed) {
            EXPECT_EQ(failed.status, 1) << failure.what << "\n" << failed.err;
            EXPECT_TRUE(e2e::private_files(ws).empty()) << failure.what;
        }
        EXPECT_EQ(e2e::read_file(ws.model_folder() / failure.image), earlier) << failure.what;

        // The next run settles whatever the failed one left.
        const e2e::Run next = ws.run("", 120, "", -1, args, launcher(3));
        ASSERT_EQ(next.status, 0) << failure.what << ": " << next.err;
        EXPECT_NE(e2e::read_file(ws.model_folder() / failure.image), earlier) << failure.what;
        EXPECT_EQ(ws.files(), earlier_files) << failure.what;
    }
}

}  // namespace
