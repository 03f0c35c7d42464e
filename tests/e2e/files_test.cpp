// What the program does to files that are not its own: the model is never
// replaced, whatever spelling of its path a result name uses; a model or
// descriptor that cannot be read ends the run with the system's reason; the
// earlier set of results is replaced whole or not at all, even when a rename
// or sync fails or the process dies in the middle; one run at a time writes a
// result; and whatever a dead run left is cleaned up by the next one.
#include "harness.h"

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using e2e::Workspace;

const char* kBlockModel =
    "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 25\n"
    "10 20 30 40\n10 20 30 40\n10 20 30 40\n";
const std::string kPlan = "15 1 10 25 1\n";
const std::string kTooManyLevelsThenExit = "0 1 0.0001 90 0\n";

std::string model_bytes(const std::string& sample)
{
    return e2e::read_file(fs::path(ISOLINES_TEST_DATA) / "models" / sample);
}

TEST(Files, ResultThatIsTheModelUnderAnotherSpellingIsRefused)
{
    Workspace ws("al");
    ws.add_model("land_m2.raw", "land_m2.raw");
    ws.add_model("land_m2.txt", "land_m2.txt");
    fs::create_directory_symlink(".", ws.model_folder() / "sub");
    fs::create_symlink("land_m2.raw", ws.model_folder() / "link_tab.txt");
    fs::create_symlink("land_m2.txt", ws.model_folder() / "other.txt");
    const std::set<std::string> before = ws.files();
    const struct {
        const char* result;
        const char* refused;  // the result file named in the message
        const char* model;    // the model file it would replace
    } cases[] = {
        {"./land_m2", "./land_m2.raw", "land_m2.raw"},
        {".//land_m2", ".//land_m2.raw", "land_m2.raw"},
        {"sub/land_m2", "sub/land_m2.raw", "land_m2.raw"},
        {"../al/land_m2", "../al/land_m2.raw", "land_m2.raw"},
        {"link", "link_tab.txt", "land_m2.raw"},  // refused before the image type is asked
        {"other", "other.txt", "land_m2.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        const auto run = ws.run(std::string("al land 0 0 0 ") + c.result + " 0\n" + kPlan);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(std::string("the result images/al/") + c.refused + " is the model file images/al/" +
                               c.model),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.out.find("Treatment"), std::string::npos);
        EXPECT_EQ(e2e::read_file(ws.model_folder() / "land_m2.raw"), model_bytes("land_m2.raw"));
        EXPECT_EQ(e2e::read_file(ws.model_folder() / "land_m2.txt"), model_bytes("land_m2.txt"));
        EXPECT_EQ(ws.files(), before);
    }
    EXPECT_EQ(ws.run("al land 0 0 0 link 0\n").out.find("Image type"), std::string::npos);
}

TEST(Files, ResultNameOfAFolderIsRefusedBeforeTheImageType)
{
    Workspace ws;
    ws.add_file("block.asc", kBlockModel);
    fs::create_directory(ws.model_folder() / "iso_tab.txt");
    const auto run = ws.run("dem block 1 iso 0\n" + kPlan);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("images/dem/iso_tab.txt exists and is not a plain file"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Image type"), std::string::npos);
    EXPECT_EQ(ws.files(), (std::set<std::string>{"block.asc", "iso_tab.txt"}));
}

// Only a descriptor that does not exist is created; any other failure to read
// it ends the run with the system's reason, the descriptor untouched.
TEST(Files, DescriptorThatCannotBeReadEndsTheRun)
{
    Workspace ws;
    ws.add_model("land_m2.raw", "land_m2.raw");
    const fs::path descriptor = ws.model_folder() / "land_m2.txt";
    const struct {
        const char* kind;
        const char* reason;
    } cases[] = {{"link to itself", "Too many levels of symbolic links"},
                 {"folder", "is a folder, not a model file"},
                 {"no read permission", "Permission denied"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        fs::remove_all(descriptor);
        int user = -1;
        if (std::string(c.kind) == "link to itself") {
            fs::create_symlink("land_m2.txt", descriptor);
        } else if (std::string(c.kind) == "folder") {
            fs::create_directory(descriptor);
        } else {
            e2e::write_file(descriptor, "60\n90\n2\n0\n0\n25\n");
            chmod(descriptor.c_str(), 0);
            // The superuser reads anything, so the program then runs as nobody.
            if (geteuid() == 0) {
                user = 65534;
                for (const fs::path& p : {ws.root(), ws.root() / "images", ws.model_folder()})
                    fs::permissions(p, fs::perms::all, fs::perm_options::add);
            }
        }
        const auto run = ws.run("dem land 0 0 60 90 25 1 iso 0\n", 10, "", user);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("images/dem/land_m2.txt"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("No File"), std::string::npos);
        EXPECT_EQ(ws.files(), (std::set<std::string>{"land_m2.raw", "land_m2.txt"}));
    }
    EXPECT_EQ(e2e::read_file(descriptor), "60\n90\n2\n0\n0\n25\n");
}

// A model that is not a regular file is refused at once, by name.
TEST(Files, ModelThatIsNotARegularFileIsRefusedWithoutBlocking)
{
    Workspace ws;
    ASSERT_EQ(mkfifo((ws.model_folder() / "fifo.asc").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", ws.model_folder() / "zero_m2.raw");
    ws.add_file("zero_m2.txt", "60\n90\n2\n0\n0\n25\n");
    fs::create_symlink("loop.asc", ws.model_folder() / "loop.asc");
    const struct {
        const char* answers;
        const char* message;
    } cases[] = {{"dem fifo 1\n", "images/dem/fifo.asc is not a regular file"},
                 {"dem zero 0 0\n", "images/dem/zero_m2.raw is not a regular file"},
                 {"dem loop 1\n", "images/dem/loop.asc: Too many levels of symbolic links"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers);
        const auto run = ws.run(c.answers, 10);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(ws.files(), (std::set<std::string>{"fifo.asc", "zero_m2.raw", "zero_m2.txt", "loop.asc"}));
}

TEST(Files, NameWithANulByteIsRefusedWhole)
{
    Workspace ws;
    const auto run = ws.run(std::string("dem la\0nd 1\n", 12));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the name la\\0nd holds a NUL byte"), std::string::npos) << run.err;
}

// A workspace holding the block model and an earlier set of raw results.
struct EarlierSet {
    Workspace ws;
    EarlierSet()
    {
        ws.add_file("block.asc", kBlockModel);
        ws.add_file("iso.raw", "earlier image");
        ws.add_file("iso.txt", "earlier descriptor");
        ws.add_file("iso_tab.txt", "earlier table");
    }
    void expect_intact() const
    {
        EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.raw"), "earlier image");
        EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso.txt"), "earlier descriptor");
        EXPECT_EQ(e2e::read_file(ws.model_folder() / "iso_tab.txt"), "earlier table");
        EXPECT_EQ(ws.files(), (std::set<std::string>{"block.asc", "iso.raw", "iso.txt", "iso_tab.txt"}));
    }
};

// The commit syncs the three files, writes the journal and syncs it and the
// folder, renames each earlier file aside and the new one into place (six
// renames), and syncs the folder again.
TEST(Files, FailureAtEachRenameOrSyncOfTheCommitKeepsTheEarlierSet)
{
    for (const char* fault : {"IT4_FAIL_RENAME", "IT4_FAIL_FSYNC"}) {
        for (int n = 1; n <= 6; ++n) {
            const std::string setting = std::string(fault).append("=").append(std::to_string(n));
            SCOPED_TRACE(setting);
            EarlierSet set;
            const auto run = set.ws.run("dem block 1 iso 0\n" + kPlan, 60, e2e::with_fault(setting));
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find("Input/output error"), std::string::npos) << run.err;
            if (std::string(fault) == "IT4_FAIL_RENAME" || n > 3) {  // past the syncs of the three files
                EXPECT_NE(run.err.find("the earlier results were kept"), std::string::npos) << run.err;
            }
            set.expect_intact();
        }
    }
}

// When putting an earlier file back fails too, the journal and the new files
// stay, and the next run puts the earlier set back.
TEST(Files, EarlierSetThatCannotBePutBackAtOnceIsPutBackByTheNextRun)
{
    EarlierSet set;
    // Rename 2 puts the new image in place; rename 3 would put the earlier one back.
    const auto run = set.ws.run("dem block 1 iso 0\n" + kPlan, 60, e2e::with_fault("IT4_FAIL_RENAME=2,3"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the next run in images/dem/ puts them back"), std::string::npos) << run.err;
    EXPECT_FALSE(e2e::private_files(set.ws).empty());
    EXPECT_EQ(set.ws.run("dem block 1 iso 0\n" + kTooManyLevelsThenExit).status, 0);
    set.expect_intact();
}

// A process killed in the middle of the commit (as by a power cut) leaves a
// journal; the next run in the folder puts the earlier set back, or keeps the
// new set when all of it had arrived.
TEST(Files, CommitCutByADeathIsSettledByTheNextRun)
{
    Workspace reference;
    reference.add_file("block.asc", kBlockModel);
    ASSERT_EQ(reference.run("dem block 1 iso 0\n" + kPlan).status, 0);
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE("killed before rename " + std::to_string(n));
        EarlierSet set;
        const auto cut = set.ws.run("dem block 1 iso 0\n" + kPlan, 60, e2e::with_fault("IT4_KILL_AT_RENAME=" + std::to_string(n)));
        ASSERT_EQ(cut.status, 128 + SIGKILL);
        EXPECT_FALSE(e2e::private_files(set.ws).empty());
        EXPECT_EQ(set.ws.run("dem block 1 iso 0\n" + kTooManyLevelsThenExit).status, 0);
        set.expect_intact();
    }
    EarlierSet set;  // killed before the last sync of the folder: every new file is in place
    const auto cut = set.ws.run("dem block 1 iso 0\n" + kPlan, 60, e2e::with_fault("IT4_KILL_AT_FSYNC=6"));
    ASSERT_EQ(cut.status, 128 + SIGKILL);
    EXPECT_EQ(set.ws.run("dem block 1 iso 0\n" + kTooManyLevelsThenExit).status, 0);
    for (const char* name : {"iso.raw", "iso.txt", "iso_tab.txt"})
        EXPECT_EQ(e2e::read_file(set.ws.model_folder() / name), e2e::read_file(reference.model_folder() / name))
            << name;
    EXPECT_EQ(set.ws.files(), (std::set<std::string>{"block.asc", "iso.raw", "iso.txt", "iso_tab.txt"}));
}

// A second run on a result being written is refused at once; what a killed
// run leaves (its temporary file, its lock) goes with the next run.
TEST(Files, OneRunAtATimePerResultAndKilledRunsAreCleanedUp)
{
    EarlierSet set;
    e2e::TerminalRun first(set.ws);
    ASSERT_TRUE(first.type("dem\rblock\r1\riso\r"));
    ASSERT_TRUE(first.read_until("Image type")) << first.seen;

    const auto second = set.ws.run("dem block 1 iso 0\n" + kPlan, 10);
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("images/dem/iso: another run is writing this result now"), std::string::npos)
        << second.err;
    EXPECT_EQ(e2e::private_files(set.ws).size(), 3u);  // the table's temporary file, the run's lock, the result's
    EXPECT_EQ(set.ws.run("dem block 1 other 0\n" + kPlan, 10).status, 0);  // another result is free

    kill(first.child, SIGKILL);
    EXPECT_EQ(first.wait_for_end(), 128 + SIGKILL);
    EXPECT_EQ(e2e::private_files(set.ws).size(), 3u);
    const auto third = set.ws.run("dem block 1 iso 0\n" + kPlan, 10);
    EXPECT_EQ(third.status, 0) << third.err;
    EXPECT_EQ(e2e::private_files(set.ws), std::set<std::string>{});
    EXPECT_EQ(e2e::read_file(set.ws.model_folder() / "iso_tab.txt"), "1\t15\n2\t25\n");
}

// Every final name up to the system's limit works: the longest is the table's,
// 247 characters and "_tab.txt".
TEST(Files, LongestResultNameWorks)
{
    Workspace ws;
    ws.add_file("block.asc", kBlockModel);
    const std::string longest(247, 'r');
    for (const char* type : {"0", "1"}) {
        const auto run = ws.run("dem block 1 " + longest + " " + type + "\n" + kPlan, 10);
        EXPECT_EQ(run.status, 0) << run.err;
    }
    EXPECT_EQ(ws.files(), (std::set<std::string>{"block.asc", longest + "_tab.txt", longest + ".raw",
                                                 longest + ".txt", longest + ".bmp"}));
    const auto too_long = ws.run("dem block 1 " + longest + "r 0\n" + kPlan, 10);
    EXPECT_EQ(too_long.status, 1);
    EXPECT_NE(too_long.err.find(longest + "r_tab.txt: File name too long"), std::string::npos) << too_long.err;
}

}  // namespace
