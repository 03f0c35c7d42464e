// Faults a user can cause or meet: a disk that fills up while the result is
// written, a folder without write permission, empty or misplaced model files.
// Each ends with one message naming the file, a non-zero status, any earlier
// result of the same name intact, and no temporary file left behind.
#include "harness.h"

#include <sys/stat.h>

namespace {

using e2e::Workspace;

// A model large enough that its result does not fit under a small file-size limit.
std::string ramp_model(int rows, int cols)
{
    std::string text = "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) +
                       "\nxllcorner 0\nyllcorner 0\ncellsize 10\n";
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) text += std::to_string((i * 7 + j * 3) % 100) + " ";
        text += "\n";
    }
    return text;
}

TEST(Faults, DiskFullWhileWritingTheRawResult)
{
    Workspace ws;
    ws.add_file("ramp.asc", ramp_model(100, 120));  // a raw result of 12000 bytes
    ws.add_file("iso.raw", "earlier image");
    ws.add_file("iso.txt", "earlier descriptor");
    ws.add_file("iso_tab.txt", "earlier table");
    // Files may not grow beyond 8 blocks (4 or 8 KiB, depending on the shell).
    const auto run = ws.run("dem ramp 1 iso 0\n0 1 10 90 1\n", 60, "ulimit -f 8;");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write images/dem/iso.raw"), std::string::npos) << run.err;
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.raw"), "earlier image");
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.txt"), "earlier descriptor");
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "earlier table");
    EXPECT_EQ(ws.files(), (std::set<std::string>{"ramp.asc", "iso.raw", "iso.txt", "iso_tab.txt"}));
}

TEST(Faults, DiskFullWhileWritingTheBitmap)
{
    Workspace ws;
    ws.add_file("ramp.asc", ramp_model(100, 120));
    ws.add_file("iso.bmp", "earlier bitmap");
    const auto run = ws.run("dem ramp 1 iso 1\n0 1 10 90 1\n", 60, "ulimit -f 8;");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write images/dem/iso.bmp: File too large"), std::string::npos) << run.err;
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.bmp"), "earlier bitmap");
    EXPECT_EQ(ws.files(), (std::set<std::string>{"ramp.asc", "iso.bmp"}));
}

TEST(Faults, FolderWithoutWritePermission)
{
    // The superuser may write anywhere, so the program then runs as nobody.
    const int user = geteuid() == 0 ? 65534 : -1;
    Workspace ws;
    ws.add_file("ramp.asc", ramp_model(5, 6));
    ws.add_file("iso_tab.txt", "earlier table");
    std::filesystem::permissions(ws.root(), std::filesystem::perms::all, std::filesystem::perm_options::add);
    std::filesystem::permissions(ws.root() / "images", std::filesystem::perms::all,
                                 std::filesystem::perm_options::add);
    chmod(ws.model_folder().c_str(), 0555);
    chmod((ws.model_folder() / "ramp.asc").c_str(), 0444);
    chmod((ws.model_folder() / "iso_tab.txt").c_str(), 0444);
    const auto run = ws.run("dem ramp 1 iso 0\n0 1 10 90 1\n", 60, "", user);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot create images/dem/iso_tab.txt"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Image type"), std::string::npos);  // reported before any further question
    EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "earlier table");
    EXPECT_EQ(ws.files(), (std::set<std::string>{"ramp.asc", "iso_tab.txt"}));
}

TEST(Faults, EmptyModelFiles)
{
    Workspace ws;
    ws.add_file("empty.asc", "");
    const auto ascii = ws.run("dem empty 1 iso 0\n");
    EXPECT_EQ(ascii.status, 1);
    EXPECT_NE(ascii.err.find("images/dem/empty.asc"), std::string::npos) << ascii.err;

    ws.add_file("empty_m4.raw", "");
    ws.add_file("empty_m4.txt", "10\n10\n4\n0\n0\n5\n");
    const auto raw = ws.run("dem empty 0 1 0 iso 0\n");
    EXPECT_EQ(raw.status, 1);
    EXPECT_NE(raw.err.find("images/dem/empty_m4.raw holds 0 bytes"), std::string::npos) << raw.err;
    EXPECT_EQ(ws.files(), (std::set<std::string>{"empty.asc", "empty_m4.raw", "empty_m4.txt"}));
}

TEST(Faults, RawModelThatIsAFolder)
{
    Workspace ws;
    std::filesystem::create_directory(ws.model_folder() / "dir_m2.raw");
    const auto run = ws.run("dem dir 0 0 5 5 5 0 iso 0\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("images/dem/dir_m2.raw is a folder"), std::string::npos) << run.err;
    EXPECT_EQ(ws.files(), (std::set<std::string>{"dir_m2.raw"}));
}

TEST(Faults, TranscriptOnAFullDeviceEndsWithStatus1)
{
    // A normal end and the Exit choice of the level plan.
    for (const char* answers : {"dem ramp 1 iso 1\n0 1 10 90 1\n", "dem ramp 1 iso 1\n0 1 0.01 90 0\n"}) {
        Workspace ws;
        ws.add_file("ramp.asc", ramp_model(5, 6));
        const auto run = ws.run(answers, 60, "exec >/dev/full;");
        EXPECT_EQ(run.status, 1) << answers;
        EXPECT_EQ(run.err, "\n\tError: cannot write the transcript to standard output: No space left on device\n")
            << answers;
    }
}

TEST(Faults, UnderAnAddressSpaceLimitLongModelsRunAndTooWideOnesAreRefused)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer needs more address space than the limit leaves";
#endif
    // Under a limit of about 1 GB a small model runs, and so does one of
    // 130 million cells (1.17 GB if it were held whole): a run holds a few
    // rows. A model whose rows alone would not fit is refused before
    // anything is allocated (not killed).
    Workspace ws;
    ws.add_model("himalaya.asc", "himalaya.asc");
    const auto small = ws.run("dem himalaya 1 iso 1\n-5000 1 500 6000 1\n", 60, "ulimit -v 1000000;");
    EXPECT_EQ(small.status, 0) << small.err;
    EXPECT_TRUE(std::filesystem::exists(ws.model_folder() / "iso.bmp"));

    ws.add_file("long_m2.txt", "130000\n1000\n2\n0\n0\n30\n");
    ws.add_file("long_m2.raw", "");
    std::filesystem::resize_file(ws.model_folder() / "long_m2.raw", 260000000);  // sparse: no disk taken
    const auto long_run = ws.run("dem long 0 0 0 long 0\n0 1 10 90 1\n", 120, "ulimit -v 1000000;");
    EXPECT_EQ(long_run.status, 0) << long_run.err;
    EXPECT_EQ(std::filesystem::file_size(ws.model_folder() / "long.raw"), 130000000u);

    ws.add_file("wide_m2.txt", "1\n8000000\n2\n0\n0\n30\n");
    ws.add_file("wide_m2.raw", "");
    std::filesystem::resize_file(ws.model_folder() / "wide_m2.raw", 16000000);
    const auto wide = ws.run("dem wide 0 0 0 wide 0\n", 60, "ulimit -v 1000000;");
    EXPECT_EQ(wide.status, 1);
    const std::string refusal = "wide_m2.raw: the model size 1 lines x 8000000 columns is too large for the memory "
                                "available: a run on 8000000 columns needs ";
    EXPECT_NE(wide.err.find(refusal), std::string::npos) << wide.err;
    EXPECT_NE(wide.err.find("bytes of the address space left under the process's limit"), std::string::npos) << wide.err;
}

}  // namespace
